#include "screens/parties/shipperlistactivity.h"

#include "screens/parties/partybook.h"

ShipperListActivity::ShipperListActivity(QWidget* parent)
    : PartyListActivity(PartyBook::shippers, parent)
{
    setObjectName(QStringLiteral("ShipperListActivity"));
}

void ShipperListActivity::slot_fetch_shipper_finished(QJsonArray* shipper, const QString)
{
    appendPage(shipper, "slot_fetch_shipper_finished");
}

void ShipperListActivity::takePage(QJsonArray* rows, const QString& errors)
{
    slot_fetch_shipper_finished(rows, errors);
}
