#include "shell/baseactivity.h"

#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "widgets/dialogwidget.h"
#include "widgets/guardedmessagebox.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPlainTextEdit>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const char* const separatorStyle = "image: url(:/images/line_v.png);";
}

BaseActivity::BaseActivity(QWidget* parent)
    : QWidget(parent)
    , gridLayout(new QGridLayout(this))
    , headerLayout(new QHBoxLayout)
    , backButton(new QToolButton)
    , leftSeparator(new QLabel)
    , titleLabel(new QLabel)
    , rightSeparator(new QLabel)
    , actionButton(new QToolButton)
    , loadingOverlay(new QFrame(this))
    , loadingMovieLabel(new QLabel(loadingOverlay))
    , loadingTextLabel(new QLabel(loadingOverlay))
    , loadingMovie(new QMovie(QStringLiteral(":/images/loading_gear.gif"), QByteArray(), this))
    , noDataLabel(new QLabel(this))
    , headerWidget(new QWidget(this))
    , bodyWidget(new QWidget(this))
    , sideLayout(new QVBoxLayout)
    , bodyLayout(new QVBoxLayout(bodyWidget))
{
    gridLayout->setSpacing(0);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setContentsMargins(0, 0, 0, 0);

    backButton->setObjectName(QStringLiteral("BackButton"));
    backButton->setText(QStringLiteral("返回"));
    backButton->setFixedSize(60, 28);
    backButton->setStyleSheet(
        QStringLiteral("QToolButton{border:none;color:#ffffff;margin-left:5px;font-size:12px;padding-left:10px;"
                       "background-image:url(:/images/btn_back_normal.png)}"
                       "QToolButton:hover{color:#ff6600;background-image:url(:/images/btn_back_hover.png);}"));
    backButton->hide();

    for (QLabel* separator : { leftSeparator, rightSeparator }) {
        separator->setStyleSheet(QString::fromLatin1(separatorStyle));
        separator->setFixedWidth(2);
        separator->hide();
    }

    titleLabel->setObjectName(QStringLiteral("TitleLabel"));
    titleLabel->setMargin(5);

    actionButton->setObjectName(QStringLiteral("ActionButton"));
    actionButton->setText(QStringLiteral("开始"));
    actionButton->setStyleSheet(QStringLiteral(
        "QToolButton{border:none;color:#ffffff;margin-right:6px;font-size:12px;border-width:4px;"
        "border-image:url(:/images/btn_action_normal.png) 4 4 4 4 stretch stretch;}"
        "QToolButton:hover{color:#ff6600;border-image:url(:/images/btn_action_hover.png) 4 4 4 4 stretch stretch;}"));
    actionButton->hide();

    headerLayout->addWidget(backButton);
    headerLayout->addWidget(leftSeparator);
    headerLayout->addWidget(titleLabel);
    headerLayout->addStretch(1);
    headerLayout->addWidget(rightSeparator);
    headerLayout->addWidget(actionButton);

    loadingOverlay->setObjectName(QStringLiteral("LoadingOverlay"));
    loadingOverlay->setStyleSheet(QStringLiteral("background-color:rgba(100,100,100,70);"));
    loadingOverlay->hide();
    loadingMovie->setScaledSize(QSize(48, 48));
    loadingMovieLabel->setObjectName(QStringLiteral("LoadingMovie"));
    loadingMovieLabel->setStyleSheet(QStringLiteral("color:white;background:transparent;"));
    loadingMovieLabel->setMovie(loadingMovie);
    loadingTextLabel->setObjectName(QStringLiteral("LoadingText"));
    loadingTextLabel->setStyleSheet(QStringLiteral("color:white;background:transparent;font-weight:bold;"));

    noDataLabel->setObjectName(QStringLiteral("NoData"));
    noDataLabel->setPixmap(QPixmap(QStringLiteral(":/images/img_nodata.png")));
    noDataLabel->hide();

    headerWidget->setObjectName(QStringLiteral("Header"));
    headerWidget->setFixedHeight(35);
    headerWidget->setStyleSheet(QStringLiteral("font-size:14px;background:#E7F7D9;border-bottom:1px solid #42A85B;"));
    headerWidget->setContentsMargins(0, 0, 0, 0);
    headerWidget->setLayout(headerLayout);
    // A plain QWidget only draws its style sheet background when asked to.
    headerWidget->setAttribute(Qt::WA_StyledBackground);

    bodyWidget->setObjectName(QStringLiteral("Body"));
    bodyWidget->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(0);
    bodyLayout->setContentsMargins(0, 0, 0, 0);

    gridLayout->addWidget(headerWidget, 0, 0);
    gridLayout->addWidget(bodyWidget, 1, 0);
    gridLayout->addLayout(sideLayout, 0, 1, 2, 1);
}

BaseActivity::~BaseActivity() = default;

void BaseActivity::showBackButton()
{
    backButton->show();
    leftSeparator->show();
    if (!backConnected) {
        connect(backButton, &QToolButton::pressed, this, &BaseActivity::slot_back);
        backConnected = true;
    }
}

void BaseActivity::setActionButton(const QString& text, QObject* receiver)
{
    rightSeparator->show();
    actionButton->show();
    actionButton->setText(text);
    disconnect(actionConnection);
    actionReceiver = receiver;
    if (!receiver)
        return;
    if (auto* activity = qobject_cast<BaseActivity*>(receiver)) {
        actionConnection = connect(actionButton, &QToolButton::pressed, activity, &BaseActivity::slot_action);
        return;
    }
    // Any other receiver is asked for its slot_action() by name.
    actionConnection = connect(actionButton, &QToolButton::pressed, receiver,
        [receiver] { QMetaObject::invokeMethod(receiver, "slot_action"); });
}

void BaseActivity::addHeaderWidget(QWidget* widget, QWidget* before)
{
    const int at = before ? headerLayout->indexOf(before) : -1;
    // A widget of a fixed height is centred in the header's height; the
    // others fill it, as the action button does.
    headerLayout->insertWidget(at >= 0 ? at : headerLayout->indexOf(rightSeparator), widget);
}

void BaseActivity::setTitle(const QString& text)
{
    titleLabel->setText(text);
}

void BaseActivity::showLoading(const QString& text)
{
    loadingTextLabel->setText(text.isEmpty() ? QStringLiteral("正在读取数据，请稍候...") : text);
    layoutLoading();
    loadingOverlay->show();
    loadingOverlay->raise();
    loadingMovie->start();
    // The overlay is see-through: painted in a frame of its own, it would
    // paint everything under it again.
    markShownWidgetsDirty();
}

void BaseActivity::markShownWidgetsDirty()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

void BaseActivity::hideLoading()
{
    loadingOverlay->hide();
    loadingMovie->stop();
}

void BaseActivity::showNoData()
{
    noDataLabel->show();
    noDataLabel->adjustSize();
    const int W = bodyWidget->width();
    const int H = bodyWidget->height();
    const int w = noDataLabel->width();
    const int h = noDataLabel->height();
    slideNoData(QRect(W, (H - h) / 2, w, h), QRect((W - w) / 2, (H - h) / 2, w, h), QEasingCurve::InOutBack);
}

void BaseActivity::hideNoData()
{
    const int W = bodyWidget->width();
    const int H = bodyWidget->height();
    const int w = noDataLabel->width();
    const int h = noDataLabel->height();
    const QRect out(-w, (H - h) / 2, w, h);
    // A picture never shown, or resting out of sight already, has nowhere
    // to slide: its animation would only tick for 500 ms where nobody sees it.
    const bool sliding = noDataAnimation && noDataAnimation->state() == QAbstractAnimation::Running;
    if (noDataLabel->isHidden() || (!sliding && noDataLabel->geometry() == out))
        return;
    slideNoData(QRect((W - w) / 2, (H - h) / 2, w, h), out, QEasingCurve::OutBack);
}

void BaseActivity::slideNoData(const QRect& from, const QRect& to, QEasingCurve::Type easing)
{
    // Only the latest slide may move the picture; an older one still running
    // would fight it frame by frame and could end last.
    if (noDataAnimation)
        noDataAnimation->stop();
    auto* animation = new QPropertyAnimation(noDataLabel, "geometry", this);
    animation->setDuration(NoDataAnimationMs);
    animation->setEasingCurve(easing);
    animation->setStartValue(from);
    animation->setEndValue(to);
    noDataAnimation = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void BaseActivity::slot_back()
{
    qDebug() << "Back clicked";
    if (hasUnsavedChanges()
        && GuardedMessageBox::question(this, QStringLiteral("提醒"), QStringLiteral("放弃未保存的修改吗？"))
            != GuardedMessageBox::Answer::Yes)
        return;
    finish();
}

ActivityController* BaseActivity::controller() const
{
    return qobject_cast<ActivityController*>(parentWidget());
}

void BaseActivity::finish(const QVariant& result)
{
    ActivityController* own = controller();
    if (!own || own->topActivity() != this || own->isFinishing())
        return;
    own->setResult(result);
    own->finishActivity();
}

void BaseActivity::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutLoading();
}

void BaseActivity::layoutLoading()
{
    const int W = width();
    const int H = height();
    loadingOverlay->setGeometry(0, 0, W, H);
    // Sized from the text, not from the label's current size, so repeated
    // resizes and new texts keep it centred.
    const QSize hint = loadingTextLabel->sizeHint();
    const int w = hint.width();
    const int h = hint.height();
    loadingTextLabel->setGeometry((W - w) / 2, (H - h) / 2, w + 30, h);
    loadingMovieLabel->setGeometry((W - 50) / 2, loadingTextLabel->y() - 40, 50, 50);
    loadingOverlay->raise();
}

QToolButton* BaseActivity::addHeaderButton(const QString& text, const QString& objectName)
{
    auto* button = new QToolButton;
    button->setObjectName(objectName);
    button->setText(text);
    button->setStyleSheet(actionButton->styleSheet());
    headerLayout->addWidget(button);
    return button;
}

QGridLayout* BaseActivity::addFormGrid()
{
    setStyleSheet(QStringLiteral("background:white"));
    auto* grid = new QGridLayout;
    grid->setContentsMargins(20, 20, 20, 20);
    grid->setSpacing(10);
    bodyLayout->addLayout(grid);
    if (!isForm) {
        isForm = true;
        // Ctrl+S is a shortcut so that no field takes it as typing; Esc and
        // Enter reach the form as key presses that its fields left alone, so
        // that a field with a use of its own for them (an open suggestion
        // list) keeps it.
        auto* save = new QShortcut(QKeySequence::Save, this);
        save->setContext(Qt::WidgetWithChildrenShortcut);
        connect(save, &QShortcut::activated, this, &BaseActivity::triggerAction);
    }
    return grid;
}

QList<QWidget*> BaseActivity::formFields() const
{
    QList<QWidget*> fields;
    for (QWidget* w : bodyWidget->findChildren<QWidget*>()) {
        const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)
            || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w);
        // An editable combo box's own line edit is part of the combo box.
        if (input && !qobject_cast<QComboBox*>(w->parentWidget()) && w->isVisibleTo(bodyWidget) && w->isEnabled())
            fields << w;
    }
    // A row is the fields whose middles are level, whatever their heights.
    const auto middle = [this](const QWidget* w) { return w->mapTo(bodyWidget, w->rect().center()); };
    std::stable_sort(fields.begin(), fields.end(), [&middle](const QWidget* a, const QWidget* b) {
        const QPoint pa = middle(a);
        const QPoint pb = middle(b);
        if (qAbs(pa.y() - pb.y()) > 5)
            return pa.y() < pb.y();
        return pa.x() < pb.x();
    });
    return fields;
}

QStringList BaseActivity::formSnapshot() const
{
    QStringList values;
    for (const QWidget* w : bodyWidget->findChildren<QWidget*>()) {
        if (const auto* edit = qobject_cast<const QLineEdit*>(w))
            values << edit->text();
        else if (const auto* choice = qobject_cast<const QComboBox*>(w))
            values << choice->currentText();
        else if (const auto* text = qobject_cast<const QPlainTextEdit*>(w))
            values << text->toPlainText();
        else if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(w))
            values << spin->text();
    }
    return values;
}

bool BaseActivity::hasUnsavedChanges() const
{
    return isForm && shownOnce && formSnapshot() != savedSnapshot;
}

void BaseActivity::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!isForm || shownOnce)
        return;
    shownOnce = true;
    savedSnapshot = formSnapshot();
    const QList<QWidget*> fields = formFields();
    if (!fields.isEmpty())
        fields.first()->setFocus(Qt::OtherFocusReason);
}

void BaseActivity::keyPressEvent(QKeyEvent* event)
{
    // Keys are the form's only while nothing covers it.
    if (!isForm || loadingOverlay->isVisible()) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // A dialog open over the form (its history) goes first, as its "取消".
        for (DialogWidget* dialog : findChildren<DialogWidget*>()) {
            if (dialog->isVisible()) {
                dialog->slot_cancel_button_clicked();
                return;
            }
        }
        if (!backButton->isHidden()) {
            slot_back();
            return;
        }
    }
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (enter && edit && bodyWidget->isAncestorOf(edit)) {
        const QList<QWidget*> fields = formFields();
        const int at = fields.indexOf(edit);
        if (at >= 0 && at + 1 < fields.size())
            fields.at(at + 1)->setFocus(Qt::TabFocusReason);
        return;
    }
    QWidget::keyPressEvent(event);
}

void BaseActivity::triggerAction()
{
    if (loadingOverlay->isVisible() || actionButton->isHidden() || !actionButton->isEnabled() || !actionReceiver)
        return;
    if (auto* activity = qobject_cast<BaseActivity*>(actionReceiver.data()))
        activity->slot_action();
    else
        QMetaObject::invokeMethod(actionReceiver.data(), "slot_action");
}

MainWindow* BaseActivity::mainWindow() const
{
    if (auto* active = qobject_cast<MainWindow*>(QApplication::activeWindow()))
        return active;
    return qobject_cast<MainWindow*>(window());
}
