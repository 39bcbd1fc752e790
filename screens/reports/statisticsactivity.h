#pragma once

#include "net/apicall.h"
#include "screens/reports/reportactivity.h"

#include <QDate>
#include <QJsonArray>
#include <QPointer>

class QDateEdit;
class QLabel;
class QPushButton;

namespace QtCharts {
class QBarSet;
class QChart;
class QChartView;
class QLineSeries;
} // namespace QtCharts

// "经营统计": the station's figures day by day over a chosen range (the last
// 30 days at first), opened from the ••• menu on the home section. One chart
// counts the trades of each day, another sets the day's revenue against its
// payout; under them stand the period's totals. Every day of the range has
// its point, a day without trades a zero.
class StatisticsActivity : public ReportActivity
{
    Q_OBJECT

public:
    static constexpr int DefaultDays = 30;

    explicit StatisticsActivity(QWidget* parent = nullptr);

    QDate from() const { return shownFrom; }
    QDate to() const { return shownTo; }
    // The daily rows of the range shown, in plain values.
    ExportTable table() const override;

public slots:
    // "查询": fetches the range in the two date fields.
    void slot_action() override;
    void slot_fetch_daily_finished(const ApiAnswer& answer);

private:
    void fetch() override;
    // Only trades make the figures.
    bool dependsOn(RecordKind kind) const override;
    void draw();

    QDateEdit* fromEdit;
    QDateEdit* toEdit;
    QtCharts::QChartView* tradesView;
    QtCharts::QChartView* moneyView;
    QtCharts::QBarSet* tradesSet = nullptr;
    QtCharts::QLineSeries* revenueSeries = nullptr;
    QtCharts::QLineSeries* payoutSeries = nullptr;
    QLabel* totalLabel;
    QDate shownFrom;
    QDate shownTo;
    QJsonArray days;
    QPointer<ApiCall> fetching;
};
