#pragma once

#include "net/api.h"
#include "screens/pagedlistactivity.h"
#include "screens/partybook.h"

#include <QVariant>

// The list screen of a book of parties (shippers or consignees), page by
// page, one PartyItem row per record. The action button opens the add form;
// a saved record reloads the list from page 1.
//
// The book's fetch signal is shared with the packing screen's searches:
// whichever of the two was shown last receives the answers. A subclass names
// the slot that takes them in takeOverAnswers().
class PartyListActivity : public PagedListActivity
{
    Q_OBJECT

public slots:
    void slot_action() override;
    // The add form's result: a valid one (a saved record) reloads the list.
    void slot_packactivity_finish(QVariant data);

protected:
    PartyListActivity(const PartyBook& book, QWidget* parent);

    int requestPage(int page) override;
    QWidget* createRow(const QJsonObject& record, int number) override;

    // Disconnects every receiver of the book's fetch signal and connects
    // `list`'s `slot` instead.
    template <class List> void takeOverFetches(List* list, void (List::*slot)(QJsonArray*, QString))
    {
        API* api = API::instance();
        disconnect(api, book.fetched, nullptr, nullptr);
        connect(api, book.fetched, list, slot);
    }

    const PartyBook& book;
};
