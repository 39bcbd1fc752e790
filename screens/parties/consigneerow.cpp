#include "screens/parties/consigneerow.h"

#include "screens/parties/partybook.h"

ConsigneeItem::ConsigneeItem(const QJsonObject& record, int number, QWidget* host, QWidget* parent)
    : PartyItem(PartyBook::consignees, record, number, host, parent)
{
}

void ConsigneeItem::slot_delete_consignee_finished(bool success, const QString errors)
{
    handleDeleteAnswer(success, errors);
}

void ConsigneeItem::takeDeleteAnswer(bool success, const QString& errors)
{
    slot_delete_consignee_finished(success, errors);
}
