#include "screens/homeactivity.h"

#include "net/api.h"
#include "shell/sidebar.h"
#include "widgets/dialogwidget.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QVBoxLayout>

HomeActivity::HomeActivity(QWidget* parent)
    : BaseActivity(parent)
    , sideBar(nullptr)
    , feedbackDialog(nullptr)
    , categoryBox(nullptr)
    , contentEdit(nullptr)
{
    setObjectName(QStringLiteral("HomeActivity"));
    setTitle(QStringLiteral("货车场站"));
    // The truck board, the body of this screen, arrives with its own work.

    sideBar = new SideBar(this);
    sideLayout->addWidget(sideBar);

    buildFeedbackDialog();
}

void HomeActivity::buildFeedbackDialog()
{
    feedbackDialog = new DialogWidget(this);
    // The dialog keeps its own object name: its style sheet dims the screen
    // through "#Main". Tests and assistive tools find it by this name.
    feedbackDialog->setAccessibleName(QStringLiteral("意见反馈"));
    feedbackDialog->setTitle(QStringLiteral("意见反馈"));

    auto* content = new QFrame(this);
    content->setStyleSheet(QStringLiteral("border:none;background:white;"));
    auto* grid = new QGridLayout(content);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 10);

    categoryBox = new QComboBox(content);
    categoryBox->setObjectName(QStringLiteral("feedbackCategory"));
    categoryBox->addItem(QStringLiteral("功能建议"), 0);
    categoryBox->addItem(QStringLiteral("错误报告"), 1);
    categoryBox->addItem(QStringLiteral("其它"), 2);
    contentEdit = new QPlainTextEdit(content);
    contentEdit->setObjectName(QStringLiteral("feedbackContent"));
    contentEdit->setFixedWidth(400);

    grid->addWidget(new QLabel(QStringLiteral("类别:"), content), 0, 0, Qt::AlignRight);
    grid->addWidget(categoryBox, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("内容:"), content), 1, 0, Qt::AlignRight);
    grid->addWidget(contentEdit, 1, 1, Qt::AlignLeft);
    feedbackDialog->setContent(content);

    connect(feedbackDialog, &DialogWidget::signal_ok, this, &HomeActivity::slot_feedback_ok_clicked);
    connect(API::instance(), &API::signal_submit_feedback_finished, this, &HomeActivity::slot_submit_feedback_finished);
}

void HomeActivity::slot_action()
{
    // The home screen has no action button.
}

void HomeActivity::slot_feedback_clicked()
{
    feedbackDialog->resize(size());
    feedbackDialog->show();
    feedbackDialog->raise();
}

void HomeActivity::slot_feedback_ok_clicked(DialogWidget* dlg, QWidget* container)
{
    Q_UNUSED(dlg)
    Q_UNUSED(container)
    if (categoryBox->currentText().isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("请选择反馈类别！"));
        categoryBox->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString text = contentEdit->toPlainText().trimmed();
    if (text.isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("请输入反馈内容！"));
        contentEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    API::instance()->submitFeedback(categoryBox->currentIndex(), text);
}

void HomeActivity::slot_submit_feedback_finished(bool success, const QString errors)
{
    Q_UNUSED(errors)
    if (success) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("反馈成功！"));
        feedbackDialog->hide();
        contentEdit->clear();
    } else {
        QMessageBox::warning(nullptr, QStringLiteral("错误"), QStringLiteral("抱歉，反馈失败！"));
    }
}

void HomeActivity::resizeEvent(QResizeEvent* event)
{
    BaseActivity::resizeEvent(event);
    boardWidth = width() - 255;
    feedbackDialog->resize(size());
}
