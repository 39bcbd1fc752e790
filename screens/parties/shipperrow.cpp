#include "screens/parties/shipperrow.h"

#include "screens/parties/partybook.h"

ShipperItem::ShipperItem(const QJsonObject& record, int number, QWidget* host, QWidget* parent)
    : PartyItem(PartyBook::shippers, record, number, host, parent)
{
}

void ShipperItem::slot_delete_shipper_finished(bool success, const QString errors)
{
    handleDeleteAnswer(success, errors);
}

void ShipperItem::takeDeleteAnswer(bool success, const QString& errors)
{
    slot_delete_shipper_finished(success, errors);
}
