#pragma once

#include "screens/parties/partyactivity.h"

// The add and edit form of a shipper.
class ShipperActivity : public PartyActivity
{
    Q_OBJECT

public:
    // Add mode: a new record.
    explicit ShipperActivity(QWidget* parent);
    // Edit mode: the fields start from `record`, which is read here only.
    ShipperActivity(QJsonObject* record, QWidget* parent);

public slots:
    void slot_submit_shipper_finished(int shipperId, const QString errors);

protected:
    void takeSubmitAnswer(int recordId, const QString& errors) override;

private:
    static const Kind traits;
};
