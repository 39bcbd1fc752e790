#include "widgets/suggestionwidget.h"

#include "widgets/suggestionitem.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const int MaxEntries = 10;
const int ListHeight = 270;
// The target sits in the activity's body, under the 35-pixel header, while
// the list is a child of the activity itself: 35 + 1 puts the list's top
// one pixel below the target.
const int BelowTarget = 36;
} // namespace

SuggestionWidget::SuggestionWidget(QLineEdit* target, QWidget* parent)
    : QFrame(parent)
    , target(target)
    , layout(new QVBoxLayout(this))
    , addNewButton(new QToolButton(this))
    , failureRow(new QWidget(this))
    , failureLabel(new QLabel(failureRow))
{
    setObjectName(QStringLiteral("Suggestion"));
    setStyleSheet(QStringLiteral("QFrame#Suggestion{border:1px solid #cccccc; background:#ffffff; border-radius: 3px;}"
                                 "                   QFrame#Suggestion QLabel:hover{background:#eeeeee;}"));
    layout->setSpacing(0);
    layout->setContentsMargins(0, 2, 0, 2);

    addNewButton->setObjectName(QStringLiteral("Button"));
    addNewButton->setText(QStringLiteral("添加新的"));
    addNewButton->setStyleSheet(QStringLiteral(
        "QToolButton{border:0px; width:132px; height:25px; background:url(:/images/btn_green_normal.png);}"
        "                              QToolButton:hover{background:url(:/images/btn_green_hover.png)}"
        "                              QToolButton:pressed{background:url(:/images/btn_green_pressed.png)}"));
    // A failed search says so where the names would be.
    failureRow->setObjectName(QStringLiteral("SuggestionFailure"));
    failureLabel->setObjectName(QStringLiteral("suggestionFailureText"));
    failureLabel->setWordWrap(true);
    failureLabel->setStyleSheet(QStringLiteral("color:#666666;"));
    auto* retryButton = new QToolButton(failureRow);
    retryButton->setObjectName(QStringLiteral("suggestionRetryButton"));
    retryButton->setText(QStringLiteral("重试"));
    auto* failureLayout = new QHBoxLayout(failureRow);
    failureLayout->setContentsMargins(5, 2, 5, 2);
    failureLayout->addWidget(failureLabel, 1);
    failureLayout->addWidget(retryButton);
    failureRow->hide();
    connect(retryButton, &QToolButton::clicked, this, &SuggestionWidget::slot_retry_clicked);

    layout->addWidget(failureRow);
    layout->addStretch(1);
    layout->addWidget(addNewButton, 0, Qt::AlignCenter);

    hide();
    resize(target->width(), ListHeight);

    connect(target, &QLineEdit::textEdited, this, &SuggestionWidget::slot_target_textchanged);
    connect(qApp, &QApplication::focusChanged, this, &SuggestionWidget::slot_target_focused);
    connect(addNewButton, &QToolButton::pressed, this, &SuggestionWidget::slot_addnew_clicked);
    // The list follows its target wherever the target's layout moves it.
    target->installEventFilter(this);
}

void SuggestionWidget::setSuggestions(QMap<QString, int> nameToId)
{
    // Everything but the add-new button goes; the button stays last, at the
    // bottom of the box.
    failureRow->hide();
    highlight(-1);
    for (int i = layout->count() - 1; i >= 0; --i) {
        QWidget* kept = layout->itemAt(i)->widget();
        if (kept == addNewButton || kept == failureRow)
            continue;
        QLayoutItem* item = layout->takeAt(i);
        delete item->widget();
        delete item;
    }

    int added = 0;
    for (auto it = nameToId.cbegin(); it != nameToId.cend() && added < MaxEntries; ++it, ++added) {
        auto* item = new SuggestionItem(it.key(), it.value(), this);
        layout->insertWidget(0, item);
        connect(item, &SuggestionItem::clicked, this, &SuggestionWidget::slot_item_clicked);
        hasEntries = true;
    }
    layout->insertStretch(added, 1);
}

void SuggestionWidget::setFailed(const QString& errors)
{
    setSuggestions({});
    layout->removeWidget(failureRow);
    layout->insertWidget(0, failureRow);
    failureLabel->setText(
        QStringLiteral("查询失败！") + (errors.isEmpty() ? QString() : QStringLiteral("\n") + errors));
    failureRow->show();
    hasEntries = true;
}

void SuggestionWidget::setSelected(int id, QString text)
{
    QLineEdit* edit = liveTarget();
    if (!edit)
        return;
    edit->setText(text);
    edit->setProperty("id", id);
}

void SuggestionWidget::slot_target_textchanged(const QString&)
{
    QLineEdit* edit = liveTarget();
    if (!edit)
        return;
    edit->setProperty("id", 0);
    show();
    raise();
    adjustSize();
    emit signal_suggestion_request(edit->text());
}

void SuggestionWidget::slot_target_focused(QWidget*, QWidget* now)
{
    if (now && now == liveTarget() && hasEntries) {
        show();
        raise();
    } else {
        hide();
        highlight(-1);
    }
}

void SuggestionWidget::slot_item_clicked(const QString& text, const int id)
{
    hide();
    highlight(-1);
    setSelected(id, text);
}

void SuggestionWidget::slot_retry_clicked()
{
    if (QLineEdit* edit = liveTarget())
        emit signal_suggestion_request(edit->text());
}

void SuggestionWidget::slot_addnew_clicked()
{
    emit signal_suggestion_addnew(tag);
}

void SuggestionWidget::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    place();
}

bool SuggestionWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == liveTarget()) {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
            place();
        // An open list keeps Esc for itself, ahead of any shortcut: the form
        // under it takes Esc for "返回".
        if (event->type() == QEvent::ShortcutOverride && isVisible()
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress && takeKey(static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QFrame::eventFilter(watched, event);
}

bool SuggestionWidget::takeKey(QKeyEvent* event)
{
    if (event->modifiers() & ~Qt::KeypadModifier)
        return false;
    const QList<SuggestionItem*> items = entries();
    switch (event->key()) {
    case Qt::Key_Down:
        if (!isVisible()) {
            if (!hasEntries)
                return false;
            show();
            raise();
        }
        highlight(qMin(highlighted + 1, items.size()));
        return true;
    case Qt::Key_Up:
        if (!isVisible())
            return false;
        highlight(qMax(highlighted - 1, 0));
        return true;
    case Qt::Key_Escape:
        if (!isVisible())
            return false;
        hide();
        highlight(-1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!isVisible() || highlighted < 0)
            return false;
        if (highlighted < items.size()) {
            // Chosen as a click chooses; the key goes on, and the form moves
            // to the next field.
            items.at(highlighted)->choose();
            return false;
        }
        highlight(-1);
        slot_addnew_clicked();
        return true;
    default:
        return false;
    }
}

QList<SuggestionItem*> SuggestionWidget::entries() const
{
    QList<SuggestionItem*> items;
    for (int i = 0; i < layout->count(); ++i) {
        if (auto* item = qobject_cast<SuggestionItem*>(layout->itemAt(i)->widget()))
            items << item;
    }
    return items;
}

void SuggestionWidget::highlight(int row)
{
    const QList<SuggestionItem*> items = entries();
    highlighted = row;
    for (int i = 0; i < items.size(); ++i) {
        if (items.at(i)->isHighlighted() != (i == row))
            items.at(i)->setHighlighted(i == row);
    }
    addNewButton->setDown(row >= 0 && row == items.size());
}

QLineEdit* SuggestionWidget::liveTarget() const
{
    return qobject_cast<QLineEdit*>(target.data());
}

void SuggestionWidget::place()
{
    const QLineEdit* edit = liveTarget();
    if (!edit)
        return;
    const int width = edit->width();
    const QRect wanted(edit->x(), edit->y() + edit->height() + BelowTarget, width, ListHeight);
    if (minimumWidth() != width || maximumWidth() != width)
        setFixedWidth(width);
    if (geometry() != wanted)
        setGeometry(wanted);
}
