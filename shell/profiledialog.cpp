#include "shell/profiledialog.h"

#include "net/api.h"

#include <QFrame>
#include <QGridLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

ProfileDialog::ProfileDialog(QWidget* parent)
    : DialogWidget(parent)
{
    setObjectName(QStringLiteral("ProfileDialog"));
    setTitle(QStringLiteral("货站资料"));
    auto* content = new QFrame(this);
    auto* grid = new QGridLayout(content);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 10);
    const auto addEdit = [content, grid](int row, const QString& label, const QString& name, int maxLength) {
        auto* edit = new QLineEdit(content);
        edit->setObjectName(name);
        edit->setMaxLength(maxLength);
        edit->setFixedWidth(320);
        grid->addWidget(new QLabel(label, content), row, 0, Qt::AlignRight);
        grid->addWidget(edit, row, 1, Qt::AlignLeft);
        return edit;
    };
    // The station's name is the platform's to change; it is shown only.
    organEdit = addEdit(0, QStringLiteral("货站:"), QStringLiteral("profileOrgan"), 200);
    organEdit->setReadOnly(true);
    nameEdit = addEdit(1, QStringLiteral("联系人:"), QStringLiteral("profileName"), 20);
    mobileEdit = addEdit(2, QStringLiteral("联系电话:"), QStringLiteral("profileMobile"), 12);
    mobileEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,12}")), mobileEdit));
    addressEdit = addEdit(3, QStringLiteral("地址:"), QStringLiteral("profileAddress"), 200);
    summaryEdit = new QPlainTextEdit(content);
    summaryEdit->setObjectName(QStringLiteral("profileSummary"));
    summaryEdit->setFixedSize(320, 60);
    grid->addWidget(new QLabel(QStringLiteral("简介:"), content), 4, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(summaryEdit, 4, 1, Qt::AlignLeft);
    setContent(content);

    connect(this, &DialogWidget::signal_ok, this, &ProfileDialog::slot_ok);
}

void ProfileDialog::open()
{
    for (QLineEdit* edit : { organEdit, nameEdit, mobileEdit, addressEdit })
        edit->clear();
    summaryEdit->clear();
    for (ApiCall* call : { fetching.data(), submitting.data() }) {
        if (call)
            call->abandon();
    }
    submitting = nullptr;
    show();
    raise();
    nameEdit->setFocus(Qt::OtherFocusReason);
    fetching = API::instance()->fetchProfile();
    connect(fetching, &ApiCall::finished, this, &ProfileDialog::slot_fetch_profile_finished);
}

void ProfileDialog::slot_fetch_profile_finished(const ApiAnswer& answer)
{
    fetching = nullptr;
    if (!answer.success)
        return;
    const QJsonObject record = answer.data.toObject();
    const QJsonObject* profile = &record;
    organEdit->setText(profile->value(QStringLiteral("organ")).toString());
    nameEdit->setText(profile->value(QStringLiteral("name")).toString());
    mobileEdit->setText(profile->value(QStringLiteral("mobile_number")).toVariant().toString());
    addressEdit->setText(profile->value(QStringLiteral("address")).toString());
    summaryEdit->setPlainText(profile->value(QStringLiteral("summary")).toString());
}

void ProfileDialog::slot_ok(DialogWidget* dlg, QWidget* content)
{
    Q_UNUSED(dlg)
    Q_UNUSED(content)
    if (submitting)
        return;
    const QString name = nameEdit->text().trimmed();
    if (name.isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("请输入联系人！"));
        nameEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString mobile = mobileEdit->text().trimmed();
    if (mobile.size() < 7) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("请输入7到12位数字的联系电话！"));
        mobileEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString summary = summaryEdit->toPlainText().trimmed();
    if (summary.size() > 500) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("简介不能超过500个字符！"));
        summaryEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    QMap<QString, QString> params;
    params.insert(QStringLiteral("name"), name);
    params.insert(QStringLiteral("mobile_number"), mobile);
    params.insert(QStringLiteral("address"), addressEdit->text().trimmed());
    params.insert(QStringLiteral("summary"), summary);
    submitting = API::instance()->submitProfile(params);
    connect(submitting, &ApiCall::finished, this, &ProfileDialog::slot_submit_profile_finished);
}

void ProfileDialog::slot_submit_profile_finished(const ApiAnswer& answer)
{
    submitting = nullptr;
    if (!answer.success) {
        QMessageBox::warning(nullptr, QStringLiteral("抱歉"), QStringLiteral("保存失败！\n") + answer.errors);
        return;
    }
    hide();
    QMessageBox::information(nullptr, QStringLiteral("恭喜"), QStringLiteral("货站资料已保存！"));
}
