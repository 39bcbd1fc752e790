// A record's history: two presses away from a trade's row, one from the truck,
// shipper and consignee forms, and shown as who, when and what changed.
#include "screens/trades/historydialog.h"

#include "support/screentestkit.h"

#include "screens/parties/consigneeactivity.h"
#include "screens/parties/shipperactivity.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trades/traderow.h"
#include "screens/trucks/truckactivity.h"

#include <QJsonObject>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

namespace {

const QByteArray entries = R"({"success":true,"data":[
    {"time":"2026-12-07 09:00:00","user":"li","name":"李四","action":"add","changes":{}},
    {"time":"2026-12-07 10:30:00","user":"dongfeng","name":"张三","action":"edit",
     "changes":{"goods":["瓷砖","钢材"],"notes":["","易碎"]}},
    {"time":"2026-12-07 11:00:00","user":"li","name":"李四","action":"settle","changes":{"payout_status":[0,2]}},
    {"time":"2026-12-07 12:00:00","user":"li","name":"李四","action":"status","changes":{"status":[0,1]}}]})";

} // namespace

class TestHistoryDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void tradeHistoryFromItsRowInTwoPresses();
    void formsShowTheirRecordsHistory_data();
    void formsShowTheirRecordsHistory();
    void addFormsHaveNoHistory();
    void refusalIsShownInTheList();

private:
    QStringList shownEntries() const;

    ScreenTestKit kit;
    QWidget* host = nullptr;
};

void TestHistoryDialog::init()
{
    kit.initTest();
    host = new QWidget;
    host->resize(800, 500);
}

void TestHistoryDialog::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

QStringList TestHistoryDialog::shownEntries() const
{
    QStringList texts;
    auto* dialog = host->findChild<HistoryDialog*>();
    if (!dialog || !dialog->isVisible())
        return texts;
    const QListWidget* list = dialog->findChild<QListWidget*>(QStringLiteral("historyList"));
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

void TestHistoryDialog::tradeHistoryFromItsRowInTwoPresses()
{
    kit.server.on("/api/trade/",
        RecordingHttpServer::json(R"({"success":true,"data":[{"id":42,"status":1,"goods":"钢材","weight":20}]})"));
    kit.server.on("/api/trade/42/history/", RecordingHttpServer::json(entries));
    auto* list = new TradeListActivity(host);
    list->resize(host->size());
    host->show();
    QTRY_COMPARE(list->findChildren<TradeItem*>().size(), 1);

    QTest::mouseClick(list->findChild<TradeItem*>(), Qt::LeftButton);
    auto* historyButton = list->findChild<QToolButton*>(QStringLiteral("historyButton"));
    QTRY_VERIFY(historyButton->isVisible());
    QTest::mouseClick(historyButton, Qt::LeftButton);

    QVERIFY(kit.waitForRequests("/api/trade/42/history/"));
    QTRY_COMPARE(shownEntries(),
        (QStringList { "2026-12-07 09:00:00  李四（li）  新建",
            "2026-12-07 10:30:00  张三（dongfeng）  修改\n货物：瓷砖 → 钢材；备注：（空） → 易碎",
            "2026-12-07 11:00:00  李四（li）  结算\n支付司机：未付 → 已全部支付",
            "2026-12-07 12:00:00  李四（li）  状态变更\n状态：待发车 → 运输在途" }));
    // The settlement dialog gives way to the history.
    QVERIFY(!historyButton->isVisible());
}

void TestHistoryDialog::formsShowTheirRecordsHistory_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("truck") << "truck";
    QTest::newRow("shipper") << "shipper";
    QTest::newRow("consignee") << "consignee";
}

void TestHistoryDialog::formsShowTheirRecordsHistory()
{
    QFETCH(QString, kind);
    const QByteArray path = "/api/" + kind.toLatin1() + "/7/history/";
    kit.server.on(path,
        RecordingHttpServer::json(R"({"success":true,"data":[{"time":"2026-12-07 09:00:00","user":"li","name":"李四",)"
                                  R"("action":"status","changes":{"status":[1,0]}}]})"));
    QJsonObject record { { QStringLiteral("id"), 7 }, { QStringLiteral("name"), QStringLiteral("东风") } };
    QWidget* form = nullptr;
    if (kind == QLatin1String("truck"))
        form = new TruckActivity(record, host);
    else if (kind == QLatin1String("shipper"))
        form = new ShipperActivity(&record, host);
    else
        form = new ConsigneeActivity(&record, host);
    form->resize(host->size());
    host->show();

    QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("historyButton")), Qt::LeftButton);
    QVERIFY(kit.waitForRequests(path));
    const QString status
        = kind == QLatin1String("truck") ? QStringLiteral("状态：运输在途 → 空闲") : QStringLiteral("状态：1 → 0");
    QTRY_COMPARE(shownEntries(), QStringList { "2026-12-07 09:00:00  李四（li）  状态变更\n" + status });

    // Esc closes the history before anything else.
    QTest::keyClick(form, Qt::Key_Escape);
    QVERIFY(shownEntries().isEmpty());
}

void TestHistoryDialog::addFormsHaveNoHistory()
{
    new TruckActivity(host);
    new ShipperActivity(host);
    new ConsigneeActivity(host);
    host->show();
    QVERIFY(!host->findChild<QToolButton*>(QStringLiteral("historyButton")));
}

void TestHistoryDialog::refusalIsShownInTheList()
{
    kit.server.on("/api/truck/9/history/", RecordingHttpServer::json(R"({"success":false,"errors":"货车不存在！"})"));
    auto* form = new TruckActivity(QJsonObject { { QStringLiteral("id"), 9 } }, host);
    form->resize(host->size());
    host->show();
    QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("historyButton")), Qt::LeftButton);
    QTRY_COMPARE(shownEntries(), QStringList { "读取失败！货车不存在！" });
}

QTEST_MAIN(TestHistoryDialog)
#include "tst_historydialog.moc"
