#include "screens/parties/partyactivity.h"

#include "net/api.h"
#include "screens/trades/historydialog.h"
#include "widgets/fieldcheck.h"
#include "widgets/guardedmessagebox.h"

#include <QGridLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QVariantMap>

PartyActivity::PartyActivity(const Kind& kind, const QJsonObject* record, QWidget* parent)
    : BaseActivity(parent)
    , kind(kind)
{
    setTitle(record ? kind.editTitle : kind.addTitle);
    showBackButton();
    setActionButton(QStringLiteral("保存"), this);
    QGridLayout* grid = addFormGrid();

    const auto caption = [grid](const QString& text, int row, int column) {
        grid->addWidget(new QLabel(text), row, column, Qt::AlignRight);
    };
    // The fields take what is typed; a text too long, or a number that is
    // neither a mobile nor a fixed line with its area code, is marked on the
    // field and refused by the save (FieldCheck).
    const auto field
        = [&](const QString& key, const QString& text, int row, int column, int maxLength, const QString& missing) {
              caption(text, row, column);
              auto* edit = new QLineEdit;
              edit->setObjectName(key + QStringLiteral("Edit"));
              grid->addWidget(edit, row, column + 1);
              fields.append({ key, edit, missing });
              checks.append((new FieldCheck(edit, text.chopped(1)))->maxLength(maxLength));
              return edit;
          };

    nameEdit = field(QStringLiteral("name"), QStringLiteral("名称:"), 0, 0, 200, QStringLiteral("请输入名称！"));
    field(QStringLiteral("address"), QStringLiteral("地址:"), 0, 2, 200, QStringLiteral("请输入地址！"));
    if (kind.hasIndustry)
        field(QStringLiteral("industry"), QStringLiteral("行业:"), 1, 0, 20, QStringLiteral("请输入行业！"));
    field(QStringLiteral("linkman"), QStringLiteral("联系人:"), 1, kind.hasIndustry ? 2 : 0, 20,
        QStringLiteral("请输入联系人姓名！"));
    // The phones' length is their pattern's business.
    tel1Edit = field(QStringLiteral("tel1"), QStringLiteral("联系电话1:"), 2, 0, 0, QString());
    tel2Edit = field(QStringLiteral("tel2"), QStringLiteral("联系电话2:"), 2, 2, 0, QString());
    for (QLineEdit* tel : { tel1Edit, tel2Edit }) {
        FieldCheck::of(tel)->pattern(
            QLatin1String(FieldCheck::PhonePattern), QStringLiteral("应为11位手机号码，或以0开头的区号加7至8位号码。"));
        tel->setPlaceholderText(QStringLiteral("固定电话请带区号"));
    }
    caption(QStringLiteral("备注:"), 3, 0);
    notesEdit = new QPlainTextEdit;
    notesEdit->setObjectName(QStringLiteral("notesEdit"));
    grid->addWidget(notesEdit, 3, 1, 1, 3);

    if (!record)
        return;
    // Texts only: a value of another JSON type starts as an empty field.
    recordId = record->value(QLatin1String("id")).toVariant().toInt();
    HistoryDialog::addButton(this, headerLayout, actionButton, kind.records, recordId);
    for (const Field& f : qAsConst(fields))
        f.edit->setText(record->value(f.key).toString());
    notesEdit->setPlainText(record->value(QLatin1String("notes")).toString());
}

void PartyActivity::presetName(const QString& name)
{
    nameEdit->setText(name);
}

void PartyActivity::slot_action()
{
    // The overlay covers the form while a save is under way; a second save
    // would only orphan the first answer.
    if (saveCall)
        return;

    for (const Field& f : qAsConst(fields)) {
        if (!f.missing.isEmpty() && f.edit->text().trimmed().isEmpty()) {
            if (GuardedMessageBox::warning(this, QStringLiteral("提醒"), f.missing))
                f.edit->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    if (tel1Edit->text().trimmed().isEmpty() && tel2Edit->text().trimmed().isEmpty()) {
        if (GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("请至少输入一个联系电话！")))
            tel1Edit->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!FieldCheck::passAll(checks, this))
        return;

    QMap<QString, QString> params;
    params.insert(QStringLiteral("id"), QString::number(recordId));
    for (const Field& f : qAsConst(fields))
        params.insert(f.key, f.edit->text().trimmed());
    params.insert(QStringLiteral("notes"), notesEdit->toPlainText().trimmed());

    showLoading(QStringLiteral("正在保存数据，请稍候..."));
    saveCall = (API::instance()->*kind.submit)(params)->then(this, [this](const ApiAnswer& answer) {
        saveCall.clear();
        takeSubmitAnswer(answer.value, answer.errors);
    });
}

void PartyActivity::handleSubmitAnswer(int savedId, const QString& errors)
{
    hideLoading();

    if (savedId <= 0) {
        GuardedMessageBox::warning(this, QStringLiteral("抱歉"), QStringLiteral("保存失败！\n") + errors);
        return;
    }
    if (!GuardedMessageBox::information(this, QStringLiteral("提醒"), QStringLiteral("保存成功！")))
        return;
    QVariantMap result;
    result.insert(kind.resultKey, savedId);
    result.insert(QStringLiteral("name"), nameEdit->text());
    finish(result);
}
