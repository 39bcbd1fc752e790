#pragma once

#include "screens/lists/pagedlistactivity.h"
#include "screens/parties/partybook.h"

#include <QVariant>

// The list screen of a book of parties (shippers or consignees), page by
// page, one PartyItem row per record. The action button opens the add form;
// a record of the book saved anywhere reloads the list from page 1. A
// subclass names the slot that takes the pages in takePage().
class PartyListActivity : public PagedListActivity
{
    Q_OBJECT

public slots:
    void slot_action() override;
    // The add form's result: valid once a record was saved (which the change
    // notice brings to the list already).
    void slot_packactivity_finish(QVariant data);

protected:
    PartyListActivity(const PartyBook& book, QWidget* parent);

    ApiCall* requestPage(int page) override;
    QWidget* createRow(const QJsonObject& record, int number) override;
    QList<ExportTable::Column> exportColumns() const override;

    const PartyBook& book;
};
