#include "screens/shipperitem.h"

#include "net/api.h"
#include "screens/partybook.h"

ShipperItem::ShipperItem(const QJsonObject& record, int number, QWidget* parent)
    : PartyItem(PartyBook::shippers, record, number, parent)
{
    connect(API::instance(), &API::signal_delete_shipper_finished, this, &ShipperItem::slot_delete_shipper_finished);
}

void ShipperItem::slot_delete_shipper_finished(bool success, const QString errors)
{
    handleDeleteAnswer(success, errors);
}
