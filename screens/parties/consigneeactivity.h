#pragma once

#include "screens/parties/partyactivity.h"

// The add and edit form of a consignee.
class ConsigneeActivity : public PartyActivity
{
    Q_OBJECT

public:
    // Add mode: a new record.
    explicit ConsigneeActivity(QWidget* parent);
    // Edit mode: the fields start from `record`, which is read here only.
    ConsigneeActivity(QJsonObject* record, QWidget* parent);

public slots:
    void slot_submit_consignee_finished(int consigneeId, const QString errors);

protected:
    void takeSubmitAnswer(int recordId, const QString& errors) override;

private:
    static const Kind traits;
};
