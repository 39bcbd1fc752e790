#pragma once

#include "screens/pagedlistactivity.h"

#include <QVariant>

class QJsonArray;

// The root screen of the truck section ("货车管理"): the station's trucks, a
// page at a time, one MyTruckItem row each. "添加货车" opens the truck form;
// a truck saved there reloads the list from page 1.
//
// The truck board shares the truck-fetch answers; whichever of the two
// screens was shown last receives them.
class TruckListActivity : public PagedListActivity
{
    Q_OBJECT

public:
    explicit TruckListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
    void slot_fetch_truck_finished(QJsonArray* trucks, const QString errors);
    // The add form's result: valid once a truck was saved.
    void slot_packactivity_finish(QVariant data);

protected:
    int requestPage(int pageNumber) override;
    QWidget* createRow(const QJsonObject& record, int number) override;
    void takeOverAnswers() override;
};
