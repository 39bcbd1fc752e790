#pragma once

#include "screens/parties/partylistactivity.h"

// The root screen of the consignee section: the station's consignees, page by page.
class ConsigneeListActivity : public PartyListActivity
{
    Q_OBJECT

public:
    explicit ConsigneeListActivity(QWidget* parent = nullptr);

public slots:
    void slot_fetch_consignee_finished(QJsonArray* consignee, const QString errors);

protected:
    void takePage(QJsonArray* rows, const QString& errors) override;
};
