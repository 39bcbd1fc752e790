// The ledgers of unpaid cash on delivery and drivers' pay, and the daily
// figures in charts, against a recording server.
#include "screens/reports/ledgeractivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "screens/reports/ledgerrow.h"
#include "screens/reports/statisticsactivity.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trades/traderow.h"
#include "shell/activitycontroller.h"
#include "widgets/dialogwidget.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

using namespace QtCharts;

namespace {

const QByteArray agencyPath("/api/report/agency/");
const QByteArray payoutPath("/api/report/payout/");
const QByteArray dailyPath("/api/report/daily/");

QString daysAgo(int days)
{
    return QDateTime::currentDateTime().addDays(-days).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList cells(const LedgerItem* row, int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << row->cellText(i);
    return texts;
}

} // namespace

class TestLedgers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void agencyRowsMarkOldDebts_data();
    void agencyRowsMarkOldDebts();
    void payoutRowsAndTotal();
    void settlingARowsTradeUpdatesTheLedger();
    void chartsHaveAPointForEveryDay();
    void backwardsRangeIsRefused();

private:
    template <typename T> T* open(T* screen);

    ScreenTestKit kit;
    ActivityController* host = nullptr;
};

void TestLedgers::init()
{
    kit.initTest();
    host = new ActivityController;
    host->resize(888, 440);
}

void TestLedgers::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

template <typename T> T* TestLedgers::open(T* screen)
{
    host->startActivity(screen, false, false);
    host->show();
    return screen;
}

void TestLedgers::agencyRowsMarkOldDebts_data()
{
    QTest::addColumn<int>("age");
    QTest::addColumn<QString>("mark");
    QTest::newRow("today") << 0 << "";
    QTest::newRow("a week") << 7 << "";
    QTest::newRow("eight days") << 8 << "week";
    QTest::newRow("thirty days") << 30 << "week";
    QTest::newRow("thirty-one days") << 31 << "month";
}

void TestLedgers::agencyRowsMarkOldDebts()
{
    QFETCH(int, age);
    QFETCH(QString, mark);
    const QString oldest = daysAgo(age);
    kit.server.on(agencyPath,
        RecordingHttpServer::json(QStringLiteral(R"({"success":true,"total":1234.5,"data":[)"
                                                 R"({"shipper_id":3,"shipper_name":"兰山华泰建材","trades":2,)"
                                                 R"("amount":1234.5,"oldest":"%1"}]})")
                                      .arg(oldest)
                                      .toUtf8()));
    auto* ledger = open(new LedgerActivity(LedgerActivity::Kind::Agency));
    QTRY_COMPARE(ledger->findChildren<LedgerItem*>().size(), 1);
    const LedgerItem* row = ledger->findChild<LedgerItem*>();
    QCOMPARE(cells(row, 5), (QStringList { "兰山华泰建材", "2", "1,234.50", oldest, QString::number(age) }));
    QCOMPARE(row->property("age").toString(), mark);
    QCOMPARE(row->findChild<QLabel*>(QStringLiteral("cell4"))->property("age").toString(), mark);
    QCOMPARE(
        ledger->findChild<QLabel*>(QStringLiteral("ledgerTotal"))->text(), QStringLiteral("合计：2笔，1,234.50元"));
    QCOMPARE(kit.requestsTo(agencyPath).first().target.contains("shipper"), false);
}

void TestLedgers::payoutRowsAndTotal()
{
    kit.server.on(payoutPath, RecordingHttpServer::json(R"({"success":true,"total":1234567.89,"data":[
            {"truck_id":5,"truck_number":"鲁Q12345","driver1_name":"王师傅","trades":3,"amount":1234000.19},
            {"truck_id":6,"truck_number":"鲁Q54321","driver1_name":"","trades":1,"amount":4567.7}]})"));
    auto* ledger = open(new LedgerActivity(LedgerActivity::Kind::Payout));
    QTRY_COMPARE(ledger->findChildren<LedgerItem*>().size(), 2);
    const QList<LedgerItem*> rows = ledger->findChildren<LedgerItem*>();
    QCOMPARE(cells(rows.at(0), 4), (QStringList { "鲁Q12345", "王师傅", "3", "1,234,000.19" }));
    QCOMPARE(cells(rows.at(1), 4), (QStringList { "鲁Q54321", "", "1", "4,567.70" }));
    QCOMPARE(
        ledger->findChild<QLabel*>(QStringLiteral("ledgerTotal"))->text(), QStringLiteral("合计：4笔，1,234,567.89元"));
    // "导出" writes the rows as shown, amounts exact to the cent.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("payout.csv"));
    kit.boxes->expectDialog([&folder](QWidget* dialog) {
        auto* chooser = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(chooser);
        QCOMPARE(QFileInfo(chooser->selectedFiles().value(0)).fileName(),
            QStringLiteral("司机运费-") + QDate::currentDate().toString(Qt::ISODate) + ".xlsx");
        chooser->setDirectory(folder.path());
        chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("payout.csv"));
        QMetaObject::invokeMethod(chooser, "accept");
    });
    kit.boxes->expect(QMessageBox::Ok);
    QTest::mouseClick(ledger->findChild<QToolButton*>(QStringLiteral("ExportButton")), Qt::LeftButton);
    QVERIFY(kit.boxes->waitForAll());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(kit.boxes->seenTexts().join("\n")));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(1), QStringLiteral("鲁Q12345,王师傅,3,1234000.19"));
    QCOMPARE(lines.value(2), QStringLiteral("鲁Q54321,,1,4567.70"));
}

void TestLedgers::settlingARowsTradeUpdatesTheLedger()
{
    // The ledger lists the shipper until its trade is paid over.
    std::atomic<bool> paid { false };
    kit.server.on(agencyPath, [&paid](const RecordingHttpServer::Request& request) {
        if (request.target.contains("&shipper=3"))
            return RecordingHttpServer::json(R"({"success":true,"data":[{"id":42,"status":2,"is_agency":true,)"
                                             R"("agency_status":0,"shipper_name":"华泰","goods":"瓷砖"}]})");
        if (paid)
            return RecordingHttpServer::json(R"({"success":true,"total":0,"data":[]})");
        return RecordingHttpServer::json(
            R"({"success":true,"total":800,"data":[{"shipper_id":3,)"
            R"("shipper_name":"华泰","trades":1,"amount":800,"oldest":"2026-12-01 08:00:00"}]})");
    });
    kit.server.on("/api/trade/42/status/change/", [&paid](const RecordingHttpServer::Request&) {
        paid = true;
        return RecordingHttpServer::json(R"({"success":true})");
    });
    auto* ledger = open(new LedgerActivity(LedgerActivity::Kind::Agency));
    QTRY_COMPARE(ledger->findChildren<LedgerItem*>().size(), 1);

    QTest::mouseClick(ledger->findChild<LedgerItem*>(), Qt::LeftButton);
    TradeListActivity* trades = nullptr;
    QTRY_VERIFY((trades = qobject_cast<TradeListActivity*>(host->topActivity())));
    QTRY_COMPARE(trades->findChildren<TradeItem*>().size(), 1);
    QVERIFY(kit.requestsTo(agencyPath).last().target.endsWith("&shipper=3&page=1"));
    QTRY_VERIFY(!host->isSliding());

    QTest::mouseClick(trades->findChild<TradeItem*>(), Qt::LeftButton);
    auto* collection = trades->findChild<QComboBox*>(QStringLiteral("collectionChoice"));
    QTRY_VERIFY(collection->isVisible());
    collection->setCurrentIndex(collection->findData(1));
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(trades->findChild<DialogWidget*>(), QStringLiteral("确定")));
    QVERIFY(kit.boxes->waitForAll());

    // Back on the ledger, the paid shipper is gone.
    QVERIFY(ScreenTestKit::clickButton(trades, QStringLiteral("返回")));
    QTRY_COMPARE(host->topActivity(), ledger);
    QTRY_COMPARE(ledger->findChildren<LedgerItem*>().size(), 0);
    QCOMPARE(ledger->findChild<QLabel*>(QStringLiteral("ledgerTotal"))->text(), QStringLiteral("合计：0笔，0.00元"));
}

void TestLedgers::chartsHaveAPointForEveryDay()
{
    const QDate today = QDate::currentDate();
    const QString first = today.addDays(-29).toString(Qt::ISODate);
    const QString third = today.addDays(-27).toString(Qt::ISODate);
    kit.server.on(dailyPath,
        RecordingHttpServer::json(QStringLiteral(
            R"({"success":true,"data":[)"
            R"({"day":"%1","trades":2,"weight":12.5,"value":3000,"revenue":1500.25,"payout":1000.1,"agency_collected":3000,"agency_paid":0},)"
            R"({"day":"%2","trades":5,"weight":1.25,"value":0,"revenue":99.99,"payout":80,"agency_collected":0,"agency_paid":0}],)"
            R"("total":{"trades":7,"weight":13.75,"value":3000,"revenue":1600.24,"payout":1080.1,"agency_collected":3000,"agency_paid":0}})")
                                      .arg(first, third)
                                      .toUtf8()));
    auto* statistics = open(new StatisticsActivity);
    QTRY_VERIFY(statistics->from().isValid());
    QVERIFY(kit.requestsTo(dailyPath).first().target.endsWith(
        QStringLiteral("&from=%1&to=%2").arg(first, today.toString(Qt::ISODate)).toLatin1()));

    QChart* tradesChart = statistics->findChild<QChartView*>(QStringLiteral("tradesChart"))->chart();
    QCOMPARE(tradesChart->series().size(), 1);
    QBarSet* counts = qobject_cast<QBarSeries*>(tradesChart->series().first())->barSets().first();
    QCOMPARE(counts->count(), 30);
    QCOMPARE(counts->at(0), 2.0);
    QCOMPARE(counts->at(1), 0.0);
    QCOMPARE(counts->at(2), 5.0);
    QCOMPARE(counts->sum(), 7.0);

    QChart* moneyChart = statistics->findChild<QChartView*>(QStringLiteral("moneyChart"))->chart();
    QCOMPARE(moneyChart->series().size(), 2);
    const auto* revenue = qobject_cast<QLineSeries*>(moneyChart->series().at(0));
    const auto* payout = qobject_cast<QLineSeries*>(moneyChart->series().at(1));
    QCOMPARE(revenue->name(), QStringLiteral("收入"));
    QCOMPARE(revenue->count(), 30);
    QCOMPARE(payout->count(), 30);
    QCOMPARE(revenue->at(0).y(), 1500.25);
    QCOMPARE(payout->at(2).y(), 80.0);
    QCOMPARE(payout->at(29).y(), 0.0);
    QCOMPARE(qint64(revenue->at(29).x()), QDateTime(today, QTime(0, 0)).toMSecsSinceEpoch());

    QCOMPARE(statistics->findChild<QLabel*>(QStringLiteral("statisticsTotal"))->text(),
        QStringLiteral(
            "%1至%2合计：业务7笔，重量13.75吨，货值3,000.00元；收入1,600.24元，支出1,080.10元，毛利520.14元；"
            "代收款3,000.00元，已付0.00元")
            .arg(first, today.toString(Qt::ISODate)));
}

void TestLedgers::backwardsRangeIsRefused()
{
    auto* statistics = open(new StatisticsActivity);
    QVERIFY(kit.waitForRequests(dailyPath));
    QVERIFY(ScreenTestKit::waitForIdle());
    auto* from = statistics->findChild<QDateEdit*>(QStringLiteral("fromDate"));
    from->setDate(QDate::currentDate().addDays(1));
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(statistics, QStringLiteral("查询")));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { "提醒|起始日期不能晚于结束日期！" });
    QCOMPARE(kit.requestsTo(dailyPath).size(), 1);
}

QTEST_MAIN(TestLedgers)
#include "tst_ledgers.moc"
