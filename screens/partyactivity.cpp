#include "screens/partyactivity.h"

#include "net/api.h"
#include "screens/historydialog.h"
#include "widgets/guardedmessagebox.h"

#include <QGridLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegExpValidator>
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
    // Only digits; 7, 8 or 11 of them make a complete number. One validator
    // serves both phone fields.
    auto* phone = new QRegExpValidator(QRegExp(QStringLiteral("^\\d{7}|\\d{8}|\\d{11}|\\d{12}$")), this);
    const auto field
        = [&](const QString& key, const QString& text, int row, int column, int maxLength, const QString& missing) {
              caption(text, row, column);
              auto* edit = new QLineEdit;
              edit->setObjectName(key + QStringLiteral("Edit"));
              edit->setMaxLength(maxLength);
              grid->addWidget(edit, row, column + 1);
              fields.append({ key, edit, missing });
              return edit;
          };

    nameEdit = field(QStringLiteral("name"), QStringLiteral("名称:"), 0, 0, 200, QStringLiteral("请输入名称！"));
    field(QStringLiteral("address"), QStringLiteral("地址:"), 0, 2, 200, QStringLiteral("请输入地址！"));
    if (kind.hasIndustry)
        field(QStringLiteral("industry"), QStringLiteral("行业:"), 1, 0, 20, QStringLiteral("请输入行业！"));
    field(QStringLiteral("linkman"), QStringLiteral("联系人:"), 1, kind.hasIndustry ? 2 : 0, 20,
        QStringLiteral("请输入联系人姓名！"));
    tel1Edit = field(QStringLiteral("tel1"), QStringLiteral("联系电话1:"), 2, 0, 11, QString());
    tel2Edit = field(QStringLiteral("tel2"), QStringLiteral("联系电话2:"), 2, 2, 11, QString());
    for (QLineEdit* tel : { tel1Edit, tel2Edit }) {
        tel->setValidator(phone);
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
    const QString title = QStringLiteral("提醒");
    const QString text = QStringLiteral("保存成功！");
    const bool alive = kind.savedAsWarning ? GuardedMessageBox::warning(this, title, text)
                                           : GuardedMessageBox::information(this, title, text);
    if (!alive)
        return;
    QVariantMap result;
    result.insert(kind.resultKey, savedId);
    result.insert(QStringLiteral("name"), nameEdit->text());
    finish(result);
}
