#pragma once

#include "screens/parties/partyrow.h"

// A row of the shipper list.
class ShipperItem : public PartyItem
{
    Q_OBJECT

public:
    ShipperItem(const QJsonObject& record, int number, QWidget* host, QWidget* parent);

public slots:
    void slot_delete_shipper_finished(bool success, const QString errors);

protected:
    void takeDeleteAnswer(bool success, const QString& errors) override;
};
