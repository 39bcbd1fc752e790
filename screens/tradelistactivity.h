#pragma once

#include "screens/pagedlistactivity.h"

#include <QPointer>

class DialogWidget;
class HistoryDialog;
class QComboBox;

// The root screen of the trade section ("业务管理"): the station's trades, a
// page at a time, and the settlement dialog ("业务操作") that a press on a row
// opens, where the clerk records how far the driver has been paid and whether
// the cash collected on delivery has been paid over.
//
// The dialog is built once and reused: its two choices keep whatever was
// chosen last, from trade to trade. A settlement changes nothing in its row;
// the new states show after the list is reloaded.
class TradeListActivity : public PagedListActivity
{
    Q_OBJECT

public:
    explicit TradeListActivity(QWidget* parent = nullptr);

public slots:
    void slot_action() override;
    void slot_fetch_trade_finished(QJsonArray* trades, const QString errors);
    void slot_dashboard_ok_clicked(DialogWidget* dlg, QWidget* content);
    void slot_item_clicked(int index, int id);
    void slot_change_trade_status_finished(bool success, const QString errors);

protected:
    int requestPage(int pageNumber) override;
    QWidget* createRow(const QJsonObject& record, int number) override;
    // This screen is the only receiver of the trade fetch answers: it
    // subscribes once and takes nothing over from others.
    void takeOverAnswers() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildDashboard();

    int tradeId = 0;
    DialogWidget* dashboard = nullptr;
    QComboBox* payoutChoice = nullptr;
    QComboBox* collectionChoice = nullptr;
    // The trade history, made when first asked for.
    QPointer<HistoryDialog> history;
    // The status change awaiting its answer; 0 when none is.
    int statusRequest = 0;
};
