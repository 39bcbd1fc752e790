#pragma once

#include "shell/baseactivity.h"

#include <QSet>

class QFrame;
class QJsonArray;
class QJsonObject;
class QScrollArea;
class QVBoxLayout;

// The base of the list screens (trucks, shippers, consignees, trades): a
// scroll area of rows that loads one page at a time. Reaching the bottom asks
// for the next page and appends it; scrolling back to the top reloads from
// page 1. The page size is the server's; an empty page adds nothing and does
// not advance the page, so the bottom asks for the same page again.
//
// A list screen adds only its request (requestPage), its row (createRow) and
// the slot of its fetch signal, which hands the answer to appendPage().
class PagedListActivity : public BaseActivity
{
    Q_OBJECT

public:
    explicit PagedListActivity(QWidget* parent = nullptr);
    ~PagedListActivity() override;

    // Every list row wears the same striping, selected by its object name
    // (the row's class name): a hover rule, then a bottom border, on a grey
    // background for even running numbers.
    static void stripeRow(QFrame* row, int number);
    // A row's delete answer. Every row hears every delete answer of its kind:
    // only the one whose request `pending` names acts. It clears `pending`,
    // then removes the row, or tells why the server refused.
    static void takeRowDeleteAnswer(QFrame* row, int& pending, bool success, const QString& errors);

public slots:
    void slot_scroller_top_bottom_reached(int pos);

protected:
    // Sends the fetch request for `page` and returns its request number.
    virtual int requestPage(int page) = 0;
    // Builds the row for `record`, the list's `number`th row since the screen
    // was created. The base adds it to the list and counts its height.
    virtual QWidget* createRow(const QJsonObject& record, int number) = 0;
    // Called on every show before the first load: screens whose fetch signal
    // another screen shares take the signal over here.
    virtual void takeOverAnswers() { }

    // Handles a fetch answer: appends its rows, or shows the no-data picture
    // while the list is empty. `slotName` names the screen's slot in the
    // debug line. Answers to this screen's own requests sent before its
    // latest reload are dropped: they belong to the list that was cleared.
    void appendPage(const QJsonArray* rows, const char* slotName);
    // Empties the list and asks for page 1, as scrolling to the top does.
    void reload();
    // Removes every row, deleting it.
    void clearRows();

    void showEvent(QShowEvent* event) override;

    bool loaded = false;
    int page = 1;
    int rowCount = 0;
    int contentHeight = 0;
    QScrollArea* listScrollArea;
    QWidget* listContainer;
    QVBoxLayout* listLayout;

private:
    void ask(int pageNumber);

    // Requests of this screen not answered yet, and those of them that a
    // reload made obsolete.
    QSet<int> outstanding;
    QSet<int> obsolete;
};
