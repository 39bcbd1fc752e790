#pragma once

#include "screens/lists/pagedlistactivity.h"

#include <QDate>
#include <QPointer>

#include <functional>

class ApiCall;
class DialogWidget;
class HistoryDialog;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class TradeItem;

// The root screen of the trade section ("业务管理"): the station's trades, a
// page at a time, and the settlement dialog ("业务操作") that a press on a row
// opens, where the clerk records how far the driver has been paid and whether
// the cash collected on delivery has been paid over.
//
// The dialog is built once and reused; it names the trade pressed and opens
// on that trade's present states. A settlement the server accepted shows in
// its row at once and is confirmed with a short message.
//
// Beside the search box, a date range narrows the list to the trades
// consigned on those days (both included) while its box is ticked.
class TradeListActivity : public PagedListActivity
{
    Q_OBJECT

public:
    // Asks for page N of the trades a list shows.
    using PageRequest = std::function<ApiCall*(int page)>;

    explicit TradeListActivity(QWidget* parent = nullptr);
    // A list of some of the trades (those that `request` fetches) under
    // `title`, opened over another screen and left with "返回".
    TradeListActivity(const QString& title, PageRequest request, QWidget* parent = nullptr);

public slots:
    void slot_action() override;
    void slot_fetch_trade_finished(QJsonArray* trades, const QString errors);
    void slot_dashboard_ok_clicked(DialogWidget* dlg, QWidget* content);
    void slot_item_clicked(int index, int id);
    void slot_change_trade_status_finished(bool success, const QString errors);
    // The dialog's "打印托运单": the waybill of the trade it is about.
    void slot_print_waybill();

protected:
    ApiCall* requestPage(int pageNumber) override;
    void takePage(QJsonArray* rows, const QString& errors) override;
    QWidget* createRow(const QJsonObject& record, int number) override;
    QList<ExportTable::Column> exportColumns() const override;
    void resizeEvent(QResizeEvent* event) override;
    void applySearchFilters() override;

private:
    void buildDashboard();
    void buildDateRange();

    PageRequest pageRequest;
    int tradeId = 0;
    DialogWidget* dashboard = nullptr;
    QComboBox* payoutChoice = nullptr;
    QComboBox* collectionChoice = nullptr;
    // The trade history, made when first asked for.
    QPointer<HistoryDialog> history;
    QLabel* tradeLabel = nullptr;
    // The row of the trade in the dialog.
    QPointer<TradeItem> settledRow;
    // The status change while it awaits its answer.
    QPointer<ApiCall> statusCall;
    QWidget* dateRange = nullptr;
    QCheckBox* dateRangeCheck = nullptr;
    QDateEdit* fromDate = nullptr;
    QDateEdit* toDate = nullptr;
    // The days the shown list was asked for; null without a range.
    QDate shownFrom;
    QDate shownTo;
};
