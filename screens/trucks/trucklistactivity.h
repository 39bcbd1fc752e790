#pragma once

#include "screens/lists/pagedlistactivity.h"

#include <QVariant>

class QJsonArray;

// The root screen of the truck section ("货车管理"): the station's trucks, a
// page at a time, one MyTruckItem row each. "添加货车" opens the truck form;
// a truck saved anywhere reloads the list from page 1.
class TruckListActivity : public PagedListActivity
{
    Q_OBJECT

public:
    explicit TruckListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
    void slot_fetch_truck_finished(QJsonArray* trucks, const QString errors);
    // The add form's result: valid once a truck was saved (which the change
    // notice brings to the list already).
    void slot_packactivity_finish(QVariant data);

protected:
    ApiCall* requestPage(int pageNumber) override;
    void takePage(QJsonArray* rows, const QString& errors) override;
    QWidget* createRow(const QJsonObject& record, int number) override;
    QList<ExportTable::Column> exportColumns() const override;
};
