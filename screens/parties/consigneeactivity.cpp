#include "screens/parties/consigneeactivity.h"

#include "net/api.h"

const PartyActivity::Kind ConsigneeActivity::traits { QStringLiteral("添加收货人"), QStringLiteral("修改收货人资料"),
    false, QStringLiteral("consignee_id"), &API::submitConsignee, RecordKind::Consignee };

ConsigneeActivity::ConsigneeActivity(QWidget* parent)
    : ConsigneeActivity(nullptr, parent)
{
}

ConsigneeActivity::ConsigneeActivity(QJsonObject* record, QWidget* parent)
    : PartyActivity(traits, record, parent)
{
    setObjectName(QStringLiteral("ConsigneeActivity"));
}

void ConsigneeActivity::slot_submit_consignee_finished(int consigneeId, const QString errors)
{
    handleSubmitAnswer(consigneeId, errors);
}

void ConsigneeActivity::takeSubmitAnswer(int recordId, const QString& errors)
{
    slot_submit_consignee_finished(recordId, errors);
}
