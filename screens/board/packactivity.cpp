#include "screens/board/packactivity.h"

#include "net/api.h"
#include "screens/parties/consigneeactivity.h"
#include "screens/parties/shipperactivity.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "widgets/fieldcheck.h"
#include "widgets/guardedmessagebox.h"
#include "widgets/suggestionwidget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QVariantMap>

namespace {
const char* const IdProperty = "id";

int chosenId(const QLineEdit* edit)
{
    return edit->property(IdProperty).toInt();
}
} // namespace

PackActivity::PackActivity(int truckId, const QString& truckNumber, QWidget* parent)
    : BaseActivity(parent)
    , truckId(truckId)
    , truckNumber(truckNumber)
{
    setObjectName(QStringLiteral("PackActivity"));
    setTitle(truckNumber + QStringLiteral(" 配货"));
    showBackButton();
    setActionButton(QStringLiteral("保存"), this);
    QGridLayout* grid = addFormGrid();

    const auto caption = [grid](const QString& text, int row, int column) {
        grid->addWidget(new QLabel(text), row, column, Qt::AlignRight);
    };
    const auto edit = [&](const char* name, const QString& text, int row, int column) {
        caption(text, row, column);
        auto* e = new QLineEdit;
        e->setObjectName(QLatin1String(name));
        grid->addWidget(e, row, column + 1);
        return e;
    };
    // Weight and money take plain decimals: what else is typed ("5万",
    // "1e3", "-3") stays in the field, marked, and the save refuses it.
    const auto number = [this](QLineEdit* e, const QString& unit, const QString& caption, bool weight) {
        e->setPlaceholderText(unit);
        auto* check = new FieldCheck(e, caption);
        if (weight)
            check->decimal(0, false, 100000, 3, QStringLiteral("应为大于0的数字（吨），最多3位小数，如 12.5。"));
        else
            check->decimal(0, true, 1e10, 2, QStringLiteral("应为数字（元），最多2位小数，如 5000 或 5000.50。"));
        numberChecks.append(check);
        return e;
    };
    const QString tons = QStringLiteral("单位：吨");
    const QString yuan = QStringLiteral("单位：元");

    // No length limit on either party: a chosen name is shown whole, and the
    // result text is made of it.
    shipperEdit = edit("shipperEdit", QStringLiteral("托运人:"), 0, 0);
    consigneeEdit = edit("consigneeEdit", QStringLiteral("收货人:"), 0, 2);
    lineEdit = edit("lineEdit", QStringLiteral("线路:"), 1, 0);
    goodsEdit = edit("goodsEdit", QStringLiteral("货物:"), 1, 2);
    weightEdit = number(edit("weightEdit", QStringLiteral("重量:"), 2, 0), tons, QStringLiteral("重量"), true);
    valueEdit = number(edit("valueEdit", QStringLiteral("价值:"), 2, 2), yuan, QStringLiteral("价值"), false);

    caption(QStringLiteral("是否代收款:"), 3, 0);
    isAgencyCombo = new QComboBox;
    isAgencyCombo->setObjectName(QStringLiteral("isAgencyCombo"));
    isAgencyCombo->addItem(QString(), -1);
    isAgencyCombo->addItem(QStringLiteral("否"), 0);
    isAgencyCombo->addItem(QStringLiteral("是"), 1);
    grid->addWidget(isAgencyCombo, 3, 1);

    revenueEdit = number(edit("revenueEdit", QStringLiteral("收入:"), 4, 0), yuan, QStringLiteral("收入"), false);
    payoutEdit = number(edit("payoutEdit", QStringLiteral("支出:"), 4, 2), yuan, QStringLiteral("支出"), false);

    caption(QStringLiteral("备注:"), 5, 0);
    notesEdit = new QPlainTextEdit;
    notesEdit->setObjectName(QStringLiteral("notesEdit"));
    grid->addWidget(notesEdit, 5, 1, 1, 3);

    // Created after the form, so that they are drawn over it.
    shipperList = new SuggestionWidget(shipperEdit, this);
    shipperList->tag = 1;
    shipperList->setAccessibleName(QStringLiteral("shipperSuggestions"));
    consigneeList = new SuggestionWidget(consigneeEdit, this);
    consigneeList->tag = 2;
    consigneeList->setAccessibleName(QStringLiteral("consigneeSuggestions"));

    connect(shipperList, &SuggestionWidget::signal_suggestion_request, this,
        &PackActivity::slot_shipper_suggestion_request);
    connect(consigneeList, &SuggestionWidget::signal_suggestion_request, this,
        &PackActivity::slot_consignee_suggestion_request);
    connect(shipperList, &SuggestionWidget::signal_suggestion_addnew, this, &PackActivity::slot_suggestion_addnew);
    connect(consigneeList, &SuggestionWidget::signal_suggestion_addnew, this, &PackActivity::slot_suggestion_addnew);
}

void PackActivity::setTruckLoad(double booked, double rated)
{
    bookedWeight = booked;
    ratedLoad = rated;
}

void PackActivity::resizeEvent(QResizeEvent* event)
{
    shipperList->adjustSize();
    consigneeList->adjustSize();
    BaseActivity::resizeEvent(event);
}

void PackActivity::slot_shipper_suggestion_request(const QString keyword)
{
    search(shipperSearch, API::instance()->fetchShipper(1, keyword), &PackActivity::slot_fetch_shipper_finished);
}

void PackActivity::slot_consignee_suggestion_request(const QString keyword)
{
    search(consigneeSearch, API::instance()->fetchConsignee(1, keyword), &PackActivity::slot_fetch_consignee_finished);
}

void PackActivity::search(QPointer<ApiCall>& latest, ApiCall* call, void (PackActivity::*slot)(QJsonArray*, QString))
{
    // Only the latest text's answer may fill the list: an earlier search
    // answered late would show names that no longer match.
    if (latest)
        latest->abandon();
    latest = call;
    call->then(this, [this, &latest, slot](const ApiAnswer& answer) {
        latest.clear();
        QJsonArray records = answer.data.toArray();
        (this->*slot)(answer.success ? &records : nullptr, answer.errors);
    });
}

void PackActivity::slot_fetch_shipper_finished(QJsonArray* shippers, const QString errors)
{
    fill(shipperList, shippers, errors);
}

void PackActivity::slot_fetch_consignee_finished(QJsonArray* consignee, const QString errors)
{
    fill(consigneeList, consignee, errors);
}

void PackActivity::fill(SuggestionWidget* list, const QJsonArray* records, const QString& errors)
{
    // A failed search says so: an empty list would claim that no such party
    // exists.
    if (!records) {
        list->setFailed(errors);
        return;
    }
    // A later record of the same name replaces the earlier id.
    QMap<QString, int> nameToId;
    for (const QJsonValue& value : *records) {
        const QJsonObject record = value.toObject();
        nameToId.insert(
            record.value(QLatin1String("name")).toString(), record.value(QLatin1String("id")).toVariant().toInt());
    }
    list->setSuggestions(nameToId);
}

void PackActivity::slot_suggestion_addnew(const int tag)
{
    // One press, one form: not while this screen still slides in, nor a
    // second one while the first slides over it.
    if (!ActivityController::acceptsPressFrom(this))
        return;
    PartyActivity* form = nullptr;
    if (tag == 1)
        form = new ShipperActivity(nullptr);
    else if (tag == 2)
        form = new ConsigneeActivity(nullptr);
    else
        return;
    // What was typed in the edit is the name the new party is meant to have.
    form->presetName((tag == 1 ? shipperEdit : consigneeEdit)->text().trimmed());

    // The form goes on the controller that shows this screen, and its result
    // comes back here alone.
    ActivityController* host = controller();
    if (!host && mainWindow())
        host = mainWindow()->controllerAt(0);
    if (!host) {
        delete form;
        return;
    }
    host->startActivityForResult(form, this, [this](const QVariant& data) { slot_addnew_activity_finish(data); });
}

void PackActivity::slot_addnew_activity_finish(QVariant data)
{
    if (!data.isValid())
        return;
    const QVariantMap map = data.toMap();
    const QString name = map.value(QStringLiteral("name")).toString();
    if (map.contains(QStringLiteral("shipper_id")))
        shipperList->setSelected(map.value(QStringLiteral("shipper_id")).toInt(), name);
    else if (map.contains(QStringLiteral("consignee_id")))
        consigneeList->setSelected(map.value(QStringLiteral("consignee_id")).toInt(), name);
}

void PackActivity::slot_action()
{
    // The overlay covers the screen while a save is under way; a second save
    // would only orphan the first answer.
    if (saveCall)
        return;

    struct Check
    {
        bool failed;
        const char* message;
        QWidget* focus;
    };
    const Check checks[] = {
        { chosenId(shipperEdit) == 0, "请选择托运人！", shipperEdit },
        { chosenId(consigneeEdit) == 0, "请选择收货人！", consigneeEdit },
        { lineEdit->text().trimmed().isEmpty(), "请输入线路！", lineEdit },
        { goodsEdit->text().trimmed().isEmpty(), "请输入货物！", goodsEdit },
        { weightEdit->text().trimmed().isEmpty(), "请输入重量！", weightEdit },
    };
    for (const Check& check : checks) {
        if (!check.failed)
            continue;
        if (GuardedMessageBox::warning(this, QStringLiteral("提醒"), QString::fromUtf8(check.message)))
            check.focus->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (!FieldCheck::passAll(numberChecks, this))
        return;
    if (!overloadAccepted())
        return;

    QMap<QString, QString> params;
    params.insert(QStringLiteral("id"), QStringLiteral("0"));
    params.insert(QStringLiteral("truck"), QString::number(truckId));
    params.insert(QStringLiteral("shipper"), QString::number(chosenId(shipperEdit)));
    params.insert(QStringLiteral("consignee"), QString::number(chosenId(consigneeEdit)));
    params.insert(QStringLiteral("line"), lineEdit->text());
    params.insert(QStringLiteral("goods"), goodsEdit->text().trimmed());
    params.insert(QStringLiteral("weight"), weightEdit->text());
    params.insert(QStringLiteral("value"), valueEdit->text().trimmed());
    params.insert(QStringLiteral("is_agency"), QString::number(isAgencyCombo->currentData().toInt()));
    params.insert(QStringLiteral("revenue"), revenueEdit->text().trimmed());
    params.insert(QStringLiteral("payout"), payoutEdit->text().trimmed());
    params.insert(QStringLiteral("notes"), notesEdit->toPlainText().trimmed());

    resultText = shipperEdit->text() + QStringLiteral("托运的") + goodsEdit->text().trimmed();
    showLoading(QStringLiteral("正在保存数据，请稍候..."));
    saveCall = API::instance()->submitTrade(params)->then(this, [this](const ApiAnswer& answer) {
        saveCall.clear();
        slot_submit_trade_finished(answer.success, answer.errors);
    });
}

void PackActivity::slot_submit_trade_finished(bool success, const QString errors)
{
    hideLoading();

    if (!success) {
        GuardedMessageBox::warning(this, QStringLiteral("抱歉"), QStringLiteral("保存失败！\n") + errors);
        return;
    }
    if (!GuardedMessageBox::information(this, QStringLiteral("提醒"), QStringLiteral("配货成功！")))
        return;
    emit signal_packed(weightEdit->text().trimmed().toDouble());
    finish(QVariant(resultText));
}

bool PackActivity::overloadAccepted()
{
    const double total = bookedWeight + weightEdit->text().trimmed().toDouble();
    // A thousandth of a tonne is the finest weight a trade carries.
    if (ratedLoad <= 0 || total <= ratedLoad + 0.0005)
        return true;
    // Ten digits drop the float noise of a sum ("18", not "18.000000000000004").
    const auto tons = [](double weight) { return QString::number(weight, 'g', 10); };
    const QString text = QStringLiteral("配货后本车共载 %1 吨，超过额定载重 %2 吨。\n确定要配货吗？")
                             .arg(tons(total), tons(ratedLoad));
    const auto answer = GuardedMessageBox::question(this, QStringLiteral("超载提醒"), text);
    if (answer == GuardedMessageBox::Answer::Yes)
        return true;
    if (answer == GuardedMessageBox::Answer::No)
        weightEdit->setFocus(Qt::OtherFocusReason);
    return false;
}
