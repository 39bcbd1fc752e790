#pragma once

#include "screens/parties/partylistactivity.h"

// The root screen of the shipper section: the station's shippers, page by page.
class ShipperListActivity : public PartyListActivity
{
    Q_OBJECT

public:
    explicit ShipperListActivity(QWidget* parent = nullptr);

public slots:
    void slot_fetch_shipper_finished(QJsonArray* shipper, const QString errors);

protected:
    void takePage(QJsonArray* rows, const QString& errors) override;
};
