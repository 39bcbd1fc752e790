#include "screens/parties/shipperactivity.h"

#include "net/api.h"

const PartyActivity::Kind ShipperActivity::traits { QStringLiteral("添加托运人"), QStringLiteral("修改托运人"), true,
    QStringLiteral("shipper_id"), &API::submitShipper, RecordKind::Shipper };

ShipperActivity::ShipperActivity(QWidget* parent)
    : ShipperActivity(nullptr, parent)
{
}

ShipperActivity::ShipperActivity(QJsonObject* record, QWidget* parent)
    : PartyActivity(traits, record, parent)
{
    setObjectName(QStringLiteral("ShipperActivity"));
}

void ShipperActivity::slot_submit_shipper_finished(int shipperId, const QString errors)
{
    handleSubmitAnswer(shipperId, errors);
}

void ShipperActivity::takeSubmitAnswer(int recordId, const QString& errors)
{
    slot_submit_shipper_finished(recordId, errors);
}
