#pragma once

#include "screens/parties/partyrow.h"

// A row of the consignee list.
class ConsigneeItem : public PartyItem
{
    Q_OBJECT

public:
    ConsigneeItem(const QJsonObject& record, int number, QWidget* host, QWidget* parent);

public slots:
    void slot_delete_consignee_finished(bool success, const QString errors);

protected:
    void takeDeleteAnswer(bool success, const QString& errors) override;
};
