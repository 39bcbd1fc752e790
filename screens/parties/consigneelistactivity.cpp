#include "screens/parties/consigneelistactivity.h"

#include "screens/parties/partybook.h"

ConsigneeListActivity::ConsigneeListActivity(QWidget* parent)
    : PartyListActivity(PartyBook::consignees, parent)
{
    setObjectName(QStringLiteral("ConsigneeListActivity"));
}

void ConsigneeListActivity::slot_fetch_consignee_finished(QJsonArray* consignee, const QString)
{
    appendPage(consignee, "slot_fetch_consignee_finished");
}

void ConsigneeListActivity::takePage(QJsonArray* rows, const QString& errors)
{
    slot_fetch_consignee_finished(rows, errors);
}
