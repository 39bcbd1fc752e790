#include "screens/parties/partybook.h"

#include "net/api.h"
#include "screens/parties/consigneeactivity.h"
#include "screens/parties/consigneerow.h"
#include "screens/parties/shipperactivity.h"
#include "screens/parties/shipperrow.h"

namespace {

template <class Row> QFrame* newRow(const QJsonObject& record, int number, QWidget* host, QWidget* parent)
{
    return new Row(record, number, host, parent);
}

template <class Form> BaseActivity* newForm(QJsonObject* record, QWidget* parent)
{
    return new Form(record, parent);
}

} // namespace

const PartyBook PartyBook::shippers { 2, QStringLiteral("托运人管理"), QStringLiteral("添加托运人"),
    QStringLiteral("ShipperItem"), true, QStringLiteral("确定要删除托运人 %1 吗？"), &API::fetchShipper,
    RecordKind::Shipper, &API::deleteShipper, &newRow<ShipperItem>, &newForm<ShipperActivity> };

const PartyBook PartyBook::consignees { 4, QStringLiteral("收货人管理"), QStringLiteral("添加收货人"),
    QStringLiteral("ConsigneeItem"), false, QStringLiteral("确定要删除收货人 %1 吗？"), &API::fetchConsignee,
    RecordKind::Consignee, &API::deleteConsignee, &newRow<ConsigneeItem>, &newForm<ConsigneeActivity> };
