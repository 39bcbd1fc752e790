#include "screens/consigneeitem.h"

#include "net/api.h"
#include "screens/partybook.h"

ConsigneeItem::ConsigneeItem(const QJsonObject& record, int number, QWidget* parent)
    : PartyItem(PartyBook::consignees, record, number, parent)
{
    connect(
        API::instance(), &API::signal_delete_consignee_finished, this, &ConsigneeItem::slot_delete_consignee_finished);
}

void ConsigneeItem::slot_delete_consignee_finished(bool success, const QString errors)
{
    handleDeleteAnswer(success, errors);
}
