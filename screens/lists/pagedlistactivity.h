#pragma once

#include "net/apicall.h"
#include "screens/lists/exporttable.h"
#include "shell/baseactivity.h"

#include <QList>
#include <QPointer>

class QFrame;
class QJsonArray;
class QJsonObject;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QPixmap;
class QRect;
class QTimer;
class QToolButton;
class TableExport;

// The base of the list screens (trucks, shippers, consignees, trades): a
// scroll area of rows that loads one page at a time. Reaching the bottom asks
// for the next page and appends it; scrolling back to the top reloads from
// page 1. The page size is the server's; an empty page adds nothing and does
// not advance the page, so the bottom asks for the same page again.
//
// Only the answer to the list's latest page request reaches it: a reload
// abandons the request before it. A failed request says so in the list's
// place, with a button that asks again. A successful change of a record kind
// the list shows (see showsRecords()) reloads a visible list at once and a
// hidden one when it is next shown; so does showing a list whose last request
// failed.
//
// The search box in the header narrows the list: once the clerk pauses
// typing (SearchPauseMs), the list reloads from page 1 with the text; Esc or
// an empty box brings the whole list back at once. Ctrl+F puts the focus in
// the box while the list is its section's top screen. Every page request,
// the scroll reloads' too, carries the text that was last applied
// (searchText()), never a half-typed one.
//
// A list screen adds only its request (requestPage), its row (createRow) and
// the slot of its fetch answer (takePage), which hands the rows to
// appendPage(). A list that names its columns (exportColumns) gets "导出" in
// its header, which writes every page of the list, fetched with the list's
// own request, to a spreadsheet or CSV file.
class PagedListActivity : public BaseActivity
{
    Q_OBJECT

public:
    static constexpr int SearchPauseMs = 300;

    explicit PagedListActivity(QWidget* parent = nullptr);
    ~PagedListActivity() override;

    // Every list row wears the same striping: a bottom border, on a grey
    // background for even running numbers, and a light green one under the
    // pointer. The row carries the property "stripe" ("odd" or "even"),
    // which rowStyleRules() select; a row striped again is polished again.
    static void stripeRow(QFrame* row, int number);
    // The striping's rules, for the style sheet of the widget that holds the
    // rows (a sheet on an ancestor takes precedence over the application's).
    static QString rowStyleRules();
    // A row's delete answer: removes the row, or tells why the server refused.
    static void takeRowDeleteAnswer(QFrame* row, bool success, const QString& errors);
    // The arrow at a row's right end, read once for all rows (a picture read
    // by its path looks at the file's time on every read).
    static QPixmap rowArrow();
    // A row's remove button ("removeButton") at `geometry`, for a row to make
    // the first time the pointer comes over it: a row never pointed at keeps
    // no button.
    static QToolButton* newRemoveButton(QFrame* row, const QRect& geometry);

    // The list as a table to export: the screen's title, its columns, and
    // its own page request.
    ExportTable exportTable();
    // Exports the list to `path` (".csv", else ".xlsx"); "导出" asks for the
    // path first. Does nothing while an export is under way.
    void exportTo(const QString& path);
    // F5: the list again from page 1. Home: to the top, which reloads as
    // scrolling there does. End: to the bottom, which asks for the next page.
    void reloadFromStart() override;
    void scrollToStart() override;
    void scrollToEnd() override;

public slots:
    void slot_scroller_top_bottom_reached(int pos);
    void slot_records_changed(RecordKind kind);
    // "导出": asks where to save the list, then exports it.
    void slot_export();

protected:
    // Sends the fetch request for `page` and returns its handle.
    virtual ApiCall* requestPage(int page) = 0;
    // Hands the answer to the latest page request to the screen's fetch slot:
    // the rows, null on failure, and the error text.
    virtual void takePage(QJsonArray* rows, const QString& errors) = 0;
    // Builds the row for `record`, the list's `number`th row since the screen
    // was created, as a child of listContainer (made in its final parent, it
    // is polished once). The base adds it to the list and counts its height.
    virtual QWidget* createRow(const QJsonObject& record, int number) = 0;
    // The columns of the exported list; none (the default) hides "导出".
    virtual QList<ExportTable::Column> exportColumns() const { return {}; }

    // The record kinds whose changes this list shows.
    void showsRecords(const QList<RecordKind>& kinds);
    // Adds style rules for what the screen's rows hold (their labels, their
    // chips) to the list's one style sheet; call before the first row.
    void addRowStyleRules(const QString& rules);
    // Handles a fetch answer: appends its rows, shows the no-data picture
    // while the list is empty, or the failure and a way to ask again when
    // `rows` is null. `slotName` names the screen's slot in the debug line.
    void appendPage(const QJsonArray* rows, const char* slotName);
    // Empties the list and asks for page 1, as scrolling to the top does.
    void reload();
    // Removes every row, deleting it.
    void clearRows();

    // The search text the shown list was asked for, trimmed.
    QString searchText() const { return appliedSearch; }
    // What the empty box says it searches.
    void setSearchHint(const QString& hint);
    // For a list whose records another screen chose: no box, and Ctrl+F does
    // nothing.
    void hideSearch();
    // Asks for the list's search anew once the clerk pauses, for filters of a
    // subclass that changed.
    void scheduleSearch();
    // Called as a search is applied, before page 1 is asked for: a subclass
    // takes over the state of its own filters here.
    virtual void applySearchFilters() { }

    QLineEdit* searchBox = nullptr;

    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // True once a page has been received; a failed answer leaves it as it was.
    bool loaded = false;
    int page = 1;
    int rowCount = 0;
    int contentHeight = 0;
    QScrollArea* listScrollArea;
    // The rows, in order, one under the other. They are placed by hand, so
    // that a page places only its own rows; the container has no layout,
    // which would size itself over every row of the list at each page.
    QWidget* listContainer;
    QList<QWidget*> listRows;

private:
    void buildSearch();
    // Asks for `pageNumber` unless a page request is open already.
    void ask(int pageNumber);
    // Gives the list container and every row the list's width, and the
    // container the rows' height.
    void fitContainer();
    int rowWidth() const;
    // Takes a deleted row out of the list and moves the rows below it up.
    void closeUp(QObject* row, int height);
    void showFailure(const QString& errors);
    void hideFailure();
    void placeFailure();
    void slot_retry();
    void searchEdited(const QString& text);
    void applySearch();
    void focusSearch();

    QList<RecordKind> kinds;
    QPointer<ApiCall> pageCall;
    QString pageErrors;
    // A change of the shown records came while the list was hidden.
    bool stale = false;
    // The latest page request failed.
    bool failed = false;
    QFrame* failurePanel;
    QLabel* failureLabel;
    QPushButton* retryButton;
    QTimer* searchTimer;
    QString appliedSearch;
    QToolButton* exportButton = nullptr;
    QPointer<TableExport> running;
};
