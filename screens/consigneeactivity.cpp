#include "screens/consigneeactivity.h"

#include "net/api.h"

const PartyActivity::Kind ConsigneeActivity::traits { QStringLiteral("添加收货人"), QStringLiteral("修改收货人资料"),
    false, QStringLiteral("consignee_id"), &API::submitConsignee };

ConsigneeActivity::ConsigneeActivity(QWidget* parent)
    : ConsigneeActivity(nullptr, parent)
{
}

ConsigneeActivity::ConsigneeActivity(QJsonObject* record, QWidget* parent)
    : PartyActivity(traits, record, parent)
{
    setObjectName(QStringLiteral("ConsigneeActivity"));
    connect(API::instance(), &API::signal_submit_consignee_finished, this,
        &ConsigneeActivity::slot_submit_consignee_finished);
}

void ConsigneeActivity::slot_submit_consignee_finished(int consigneeId, const QString errors)
{
    handleSubmitAnswer(consigneeId, errors);
}
