#pragma once

#include "net/apicall.h"
#include "screens/reports/reportactivity.h"

#include <QJsonArray>
#include <QPointer>

class QLabel;
class QScrollArea;
class QVBoxLayout;

// A ledger of money the station holds for others, opened from the ••• menu
// on the home section: "代收款台账", the cash collected on delivery not yet
// paid over, one row per shipper with the age of its oldest debt; or "司机运费",
// the drivers' pay still owed, one row per truck. A row opens the trades
// behind it in a trade list, where they are settled; a settlement (any change
// of trades) brings the ledger up to date.
class LedgerActivity : public ReportActivity
{
    Q_OBJECT

public:
    enum class Kind { Agency, Payout };

    explicit LedgerActivity(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return ledgerKind; }
    // The rows as shown, in plain values.
    ExportTable table() const override;

    // Whole days from the consignment time `oldest` ("YYYY-MM-DD HH:MM:SS")
    // to `today`; -1 when the time cannot be read.
    static int ageInDays(const QString& oldest, const QDate& today);
    // The row's mark: "month" past 30 days, "week" past 7, else empty.
    static QString ageMark(int days);

public slots:
    // "刷新": asks for the ledger again.
    void slot_action() override;
    void slot_fetch_report_finished(const ApiAnswer& answer);
    void slot_item_clicked(int id);

private:
    void fetch() override;
    void clearRows();

    Kind ledgerKind;
    QScrollArea* scrollArea;
    QWidget* rowsContainer;
    QVBoxLayout* rowsLayout;
    QLabel* totalLabel;
    QJsonArray rows;
    QPointer<ApiCall> fetching;
};
