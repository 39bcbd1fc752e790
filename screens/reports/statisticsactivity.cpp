#include "screens/reports/statisticsactivity.h"

#include "documents/money.h"
#include "net/api.h"
#include "widgets/guardedmessagebox.h"

#include <QDateEdit>
#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

// The platform answers ranges of at most this many days.
const int maxDays = 366;

qint64 integer(const QJsonObject& row, const char* key)
{
    return row.value(QLatin1String(key)).toVariant().toLongLong();
}

qint64 cents(const QJsonObject& row, const char* key)
{
    return Money::cents(row.value(QLatin1String(key)));
}

// Tons with up to three decimals, without trailing zeros.
QString tons(const QJsonValue& value)
{
    const qint64 kilograms = qRound64(value.toDouble() * 1000.0);
    QString text = QString::number(kilograms / 1000);
    QString fraction = QStringLiteral("%1").arg(qAbs(kilograms % 1000), 3, 10, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    return fraction.isEmpty() ? text : text + QLatin1Char('.') + fraction;
}

QChartView* makeView(const QString& name, const QString& title, QWidget* parent)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    QFont titleFont = chart->titleFont();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(160);
    return view;
}

void clearChart(QChart* chart)
{
    chart->removeAllSeries();
    const QList<QAbstractAxis*> axes = chart->axes();
    for (QAbstractAxis* axis : axes) {
        chart->removeAxis(axis);
        delete axis;
    }
}

} // namespace

StatisticsActivity::StatisticsActivity(QWidget* parent)
    : ReportActivity(parent)
    , fromEdit(new QDateEdit(this))
    , toEdit(new QDateEdit(this))
    , tradesView(makeView(QStringLiteral("tradesChart"), QStringLiteral("每日业务笔数"), this))
    , moneyView(makeView(QStringLiteral("moneyChart"), QStringLiteral("每日收入与支出（元）"), this))
    , totalLabel(new QLabel(this))
{
    // One series: the title says what the bars count.
    tradesView->chart()->legend()->hide();
    setObjectName(QStringLiteral("StatisticsActivity"));
    setTitle(QStringLiteral("经营统计"));
    showBackButton();
    setActionButton(QStringLiteral("查询"), this);
    setStyleSheet(QStringLiteral("background:white"));

    const QDate today = QDate::currentDate();
    for (QDateEdit* edit : { fromEdit, toEdit }) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
        edit->setFixedWidth(130);
    }
    fromEdit->setObjectName(QStringLiteral("fromDate"));
    toEdit->setObjectName(QStringLiteral("toDate"));
    fromEdit->setDate(today.addDays(1 - DefaultDays));
    toEdit->setDate(today);

    auto* range = new QHBoxLayout;
    range->setContentsMargins(20, 10, 20, 0);
    range->addWidget(new QLabel(QStringLiteral("统计时间："), this));
    range->addWidget(fromEdit);
    range->addWidget(new QLabel(QStringLiteral("至"), this));
    range->addWidget(toEdit);
    range->addStretch(1);

    totalLabel->setObjectName(QStringLiteral("statisticsTotal"));
    totalLabel->setTextFormat(Qt::PlainText);
    totalLabel->setWordWrap(true);
    totalLabel->setStyleSheet(QStringLiteral("padding:8px 20px;border-top:1px solid #42A85B;color:#054500;"));

    bodyLayout->setSpacing(4);
    bodyLayout->addLayout(range);
    bodyLayout->addWidget(tradesView, 1);
    bodyLayout->addWidget(moneyView, 1);
    bodyLayout->addWidget(totalLabel);
}

void StatisticsActivity::slot_action()
{
    const QDate first = fromEdit->date();
    const QDate last = toEdit->date();
    if (first > last) {
        GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("起始日期不能晚于结束日期！"));
        fromEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (first.daysTo(last) >= maxDays) {
        GuardedMessageBox::warning(
            this, QStringLiteral("提醒"), QStringLiteral("统计的时间不能超过%1天！").arg(maxDays));
        fromEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    fetch();
}

bool StatisticsActivity::dependsOn(RecordKind kind) const
{
    return kind == RecordKind::Trade;
}

void StatisticsActivity::fetch()
{
    if (fetching)
        fetching->abandon();
    stale = false;
    const QDate first = fromEdit->date();
    const QDate last = toEdit->date();
    showLoading(QString());
    fetching = API::instance()->fetchDailyReport(first, last);
    fetching->then(this, [this, first, last](const ApiAnswer& answer) {
        fetching.clear();
        if (answer.success) {
            shownFrom = first;
            shownTo = last;
        }
        slot_fetch_daily_finished(answer);
    });
}

void StatisticsActivity::slot_fetch_daily_finished(const ApiAnswer& answer)
{
    hideLoading();
    if (!answer.success) {
        qDebug() << "daily report failed:" << answer.errors;
        totalLabel->setText(QStringLiteral("读取失败，请重新查询。") + answer.errors);
        return;
    }
    loaded = true;
    days = answer.data.toArray();
    draw();
    const QJsonObject total = answer.total.toObject();
    totalLabel->setText(
        QStringLiteral("%1至%2合计：业务%3笔，重量%4吨，货值%5元；收入%6元，支出%7元，毛利%8元；"
                       "代收款%9元，已付%10元")
            .arg(shownFrom.toString(Qt::ISODate), shownTo.toString(Qt::ISODate))
            .arg(integer(total, "trades"))
            .arg(tons(total.value(QLatin1String("weight"))), Money::text(cents(total, "value")),
                Money::text(cents(total, "revenue")), Money::text(cents(total, "payout")),
                Money::text(cents(total, "revenue") - cents(total, "payout")),
                Money::text(cents(total, "agency_collected")), Money::text(cents(total, "agency_paid"))));
}

void StatisticsActivity::draw()
{
    QHash<QString, QJsonObject> byDay;
    for (const QJsonValue& value : qAsConst(days)) {
        const QJsonObject row = value.toObject();
        byDay.insert(row.value(QLatin1String("day")).toString(), row);
    }

    QChart* tradesChart = tradesView->chart();
    QChart* moneyChart = moneyView->chart();
    clearChart(tradesChart);
    clearChart(moneyChart);

    tradesSet = new QBarSet(QStringLiteral("业务笔数"));
    tradesSet->setColor(QColor(0x42, 0xA8, 0x5B));
    revenueSeries = new QLineSeries;
    revenueSeries->setName(QStringLiteral("收入"));
    payoutSeries = new QLineSeries;
    payoutSeries->setName(QStringLiteral("支出"));
    QStringList categories;
    double most = 0;
    double largest = 0;
    for (QDate day = shownFrom; day <= shownTo; day = day.addDays(1)) {
        const QJsonObject row = byDay.value(day.toString(Qt::ISODate));
        const qreal x = static_cast<qreal>(QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch());
        const double trades = static_cast<double>(integer(row, "trades"));
        const double revenue = Money::yuan(cents(row, "revenue"));
        const double payout = Money::yuan(cents(row, "payout"));
        tradesSet->append(trades);
        revenueSeries->append(x, revenue);
        payoutSeries->append(x, payout);
        categories << day.toString(QStringLiteral("M-d"));
        most = qMax(most, trades);
        largest = qMax(largest, qMax(revenue, payout));
    }

    auto* bars = new QBarSeries;
    bars->append(tradesSet);
    tradesChart->addSeries(bars);
    auto* dayAxis = new QBarCategoryAxis;
    dayAxis->append(categories);
    // A month's days side by side leave room for the day of the month only.
    if (categories.size() > 31) {
        dayAxis->setLabelsAngle(-90);
    } else {
        QStringList dayNumbers;
        for (const QString& category : qAsConst(categories))
            dayNumbers << category.section(QLatin1Char('-'), 1);
        dayAxis->clear();
        dayAxis->append(dayNumbers);
    }
    auto* countAxis = new QValueAxis;
    countAxis->setLabelFormat(QStringLiteral("%d"));
    countAxis->setRange(0, qMax(1.0, most));
    countAxis->applyNiceNumbers();
    countAxis->setTickCount(3);
    tradesChart->addAxis(dayAxis, Qt::AlignBottom);
    tradesChart->addAxis(countAxis, Qt::AlignLeft);
    bars->attachAxis(dayAxis);
    bars->attachAxis(countAxis);

    moneyChart->addSeries(revenueSeries);
    moneyChart->addSeries(payoutSeries);
    auto* timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(QStringLiteral("MM-dd"));
    timeAxis->setRange(QDateTime(shownFrom, QTime(0, 0)), QDateTime(shownTo, QTime(0, 0)));
    auto* moneyAxis = new QValueAxis;
    moneyAxis->setLabelFormat(QStringLiteral("%.0f"));
    moneyAxis->setRange(0, qMax(1.0, largest));
    moneyAxis->applyNiceNumbers();
    moneyAxis->setTickCount(3);
    moneyChart->addAxis(timeAxis, Qt::AlignBottom);
    moneyChart->addAxis(moneyAxis, Qt::AlignLeft);
    for (QLineSeries* series : { revenueSeries, payoutSeries }) {
        series->attachAxis(timeAxis);
        series->attachAxis(moneyAxis);
    }
}

ExportTable StatisticsActivity::table() const
{
    using K = ExportTable::Kind;
    ExportTable table;
    table.name = titleLabel->text();
    for (const auto& [title, kind] : std::initializer_list<std::pair<QString, K>> { { QStringLiteral("日期"), K::Date },
             { QStringLiteral("业务笔数"), K::Integer }, { QStringLiteral("重量（吨）"), K::Number },
             { QStringLiteral("货值（元）"), K::Money }, { QStringLiteral("收入（元）"), K::Money },
             { QStringLiteral("支出（元）"), K::Money }, { QStringLiteral("代收款（元）"), K::Money },
             { QStringLiteral("已付代收款（元）"), K::Money } })
        table.columns.append({ title, kind, QString() });
    for (const QJsonValue& value : days) {
        const QJsonObject row = value.toObject();
        QVariantList cells { QDate::fromString(row.value(QLatin1String("day")).toString(), Qt::ISODate),
            integer(row, "trades"),
            static_cast<double>(qRound64(row.value(QLatin1String("weight")).toDouble() * 1000)) / 1000.0 };
        for (const char* key : { "value", "revenue", "payout", "agency_collected", "agency_paid" })
            cells << Money::yuan(cents(row, key));
        table.rows.append(cells);
    }
    return table;
}
