#include "shell/passworddialog.h"

#include "net/api.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

PasswordDialog::PasswordDialog(QWidget* parent)
    : DialogWidget(parent)
{
    setObjectName(QStringLiteral("PasswordDialog"));
    setTitle(QStringLiteral("修改密码"));
    auto* content = new QFrame(this);
    auto* grid = new QGridLayout(content);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 10);
    const auto addRow = [content, grid](int row, const QString& label, const QString& name) {
        auto* edit = new QLineEdit(content);
        edit->setObjectName(name);
        edit->setEchoMode(QLineEdit::Password);
        edit->setMaxLength(64);
        edit->setFixedWidth(260);
        grid->addWidget(new QLabel(label, content), row, 0, Qt::AlignRight);
        grid->addWidget(edit, row, 1, Qt::AlignLeft);
        return edit;
    };
    oldEdit = addRow(0, QStringLiteral("原密码:"), QStringLiteral("oldPasswordEdit"));
    newEdit = addRow(1, QStringLiteral("新密码:"), QStringLiteral("newPasswordEdit"));
    againEdit = addRow(2, QStringLiteral("确认新密码:"), QStringLiteral("againPasswordEdit"));
    setContent(content);

    connect(this, &DialogWidget::signal_ok, this, &PasswordDialog::slot_ok);
}

void PasswordDialog::open()
{
    for (QLineEdit* edit : { oldEdit, newEdit, againEdit })
        edit->clear();
    if (pending)
        pending->abandon();
    pending = nullptr;
    show();
    raise();
    oldEdit->setFocus(Qt::OtherFocusReason);
}

void PasswordDialog::slot_ok(DialogWidget* dlg, QWidget* content)
{
    Q_UNUSED(dlg)
    Q_UNUSED(content)
    if (pending)
        return;
    const struct
    {
        QLineEdit* edit;
        QString message;
    } required[] = {
        { oldEdit, QStringLiteral("请输入原密码！") },
        { newEdit, QStringLiteral("请输入新密码！") },
        { againEdit, QStringLiteral("请再次输入新密码！") },
    };
    for (const auto& field : required) {
        if (field.edit->text().isEmpty()) {
            QMessageBox::warning(nullptr, QStringLiteral("提醒"), field.message);
            field.edit->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    if (newEdit->text() != againEdit->text()) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("两次输入的新密码不一致！"));
        againEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The rules of a new password are the platform's: it says which one a
    // refused password breaks.
    QMap<QString, QString> params;
    params.insert(QStringLiteral("old_password"), oldEdit->text());
    params.insert(QStringLiteral("new_password"), newEdit->text());
    pending = API::instance()->submitPassword(params);
    connect(pending, &ApiCall::finished, this, &PasswordDialog::slot_submit_password_finished);
}

void PasswordDialog::slot_submit_password_finished(const ApiAnswer& answer)
{
    pending = nullptr;
    if (!answer.success) {
        QMessageBox::warning(nullptr, QStringLiteral("抱歉"), QStringLiteral("修改密码失败！\n") + answer.errors);
        return;
    }
    hide();
    QMessageBox::information(nullptr, QStringLiteral("恭喜"), QStringLiteral("密码已修改！"));
}
