// The search box of the four list screens, driven by the keyboard: the bytes
// each list asks for, one request after a pause in typing, paging and the
// scroll reload that keep the text, the no-data picture, Esc back to the
// whole list; and the trade list's date range.
#include "screens/parties/consigneelistactivity.h"
#include "screens/parties/shipperlistactivity.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trucks/trucklistactivity.h"

#include "support/screentestkit.h"

#include "net/api.h"

#include "shell/activitycontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// `count` records that every row class can show.
QByteArray rows(int first, int count)
{
    QJsonArray records;
    for (int i = first; i < first + count; ++i)
        records.append(QJsonObject { { "id", i }, { "number", QStringLiteral("鲁Q%1").arg(i) },
            { "name", QStringLiteral("甲%1").arg(i) }, { "truck_number", QStringLiteral("鲁Q%1").arg(i) },
            { "goods", "瓷砖" } });
    return R"({"success":true,"data":)" + QJsonDocument(records).toJson(QJsonDocument::Compact) + "}";
}

PagedListActivity* makeList(const QString& kind)
{
    if (kind == "truck")
        return new TruckListActivity;
    if (kind == "shipper")
        return new ShipperListActivity;
    if (kind == "consignee")
        return new ConsigneeListActivity;
    return new TradeListActivity;
}

} // namespace

class TestListSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init() { kit.initTest(); }
    void cleanup();

    void searchAsksWithTheText_data();
    void searchAsksWithTheText();
    void tradeDateRangeNarrowsTheList();
    void headerReadsBoxThenButtons_data();
    void headerReadsBoxThenButtons();
    void chosenTradesHaveNoSearch();

private:
    // Shows `kind`'s list in a section of its own; its requests go to
    // `path`, answered with a full first page, and nothing for a text with
    // "无".
    PagedListActivity* showList(const QString& kind, const QByteArray& path);
    QByteArray lastTarget(const QByteArray& path) const { return kit.requestsTo(path).last().target; }

    ScreenTestKit kit;
    ActivityController* controller = nullptr;
};

void TestListSearch::cleanup()
{
    delete controller;
    controller = nullptr;
    kit.cleanupTest();
}

PagedListActivity* TestListSearch::showList(const QString& kind, const QByteArray& path)
{
    kit.server.on(path, [](const RecordingHttpServer::Request& request) {
        const QByteArray query = request.target.mid(request.target.indexOf("&page="));
        const bool firstPage = query.startsWith("&page=1&") || query == "&page=1";
        const bool found = !query.contains("%E6%97%A0"); // "无"
        return RecordingHttpServer::json(found && firstPage ? rows(1, 20) : rows(0, 0));
    });
    controller = new ActivityController;
    controller->resize(900, 500);
    PagedListActivity* list = makeList(kind);
    controller->startActivity(list, false, false);
    controller->show();
    QApplication::setActiveWindow(controller);
    return list;
}

void TestListSearch::searchAsksWithTheText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("path");
    // The plain first page, and the first page of the search for "鲁Q".
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("searched");

    QTest::newRow("trucks") << "truck" << QByteArray("/api/truck/") << QByteArray("&page=1&number=")
                            << QByteArray("&page=1&number=%E9%B2%81Q");
    QTest::newRow("shippers") << "shipper" << QByteArray("/api/shipper/") << QByteArray("&page=1&name=")
                              << QByteArray("&page=1&name=%E9%B2%81Q");
    QTest::newRow("consignees") << "consignee" << QByteArray("/api/consignee/") << QByteArray("&page=1&name=")
                                << QByteArray("&page=1&name=%E9%B2%81Q");
    QTest::newRow("trades") << "trade" << QByteArray("/api/trade/") << QByteArray("&page=1")
                            << QByteArray("&page=1&q=%E9%B2%81Q");
}

void TestListSearch::searchAsksWithTheText()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, searched);

    PagedListActivity* list = showList(kind, path);
    QVERIFY(kit.waitForRequests(path, 1));
    QVERIFY2(lastTarget(path).endsWith(plain), lastTarget(path));
    auto* box = list->findChild<QLineEdit*>("SearchBox");
    auto* timer = list->findChild<QTimer*>("SearchTimer");
    QVERIFY(box && timer);
    QTRY_COMPARE(list->findChildren<QFrame*>(QRegularExpression("Item$")).size(), 20);

    // Ctrl+F from anywhere in the screen; two characters, one request.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(box->hasFocus());
    ScreenTestKit::typeText(box, QStringLiteral("鲁Q"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 300);
    QCOMPARE(kit.requestsTo(path).size(), 1);
    QVERIFY(kit.waitForRequests(path, 2));
    QVERIFY2(lastTarget(path).endsWith(searched), lastTarget(path));
    QTRY_COMPARE(list->findChildren<QFrame*>(QRegularExpression("Item$")).size(), 20);

    // The next page and the scroll reload keep the text.
    QScrollBar* bar = list->findChild<QScrollArea*>("ListScrollArea")->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QVERIFY(kit.waitForRequests(path, 3));
    QVERIFY2(lastTarget(path).endsWith(QByteArray(searched).replace("page=1", "page=2")), lastTarget(path));
    QVERIFY(kit.waitForIdle());
    bar->setValue(bar->minimum());
    QVERIFY(kit.waitForRequests(path, 4));
    QVERIFY2(lastTarget(path).endsWith(searched), lastTarget(path));

    // Nothing found: the no-data picture, and the box with its text stays.
    ScreenTestKit::typeText(box, QStringLiteral("无"));
    QVERIFY(kit.waitForRequests(path, 5));
    QTRY_VERIFY(list->findChildren<QFrame*>(QRegularExpression("Item$")).isEmpty());
    QTRY_VERIFY(list->findChild<QLabel*>("NoData")->isVisible());
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("鲁Q无"));

    // Esc empties the box and asks for the whole list without waiting.
    QVERIFY(kit.waitForIdle());
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(box->text(), QString());
    QVERIFY(!timer->isActive());
    QVERIFY(kit.waitForRequests(path, 6));
    QVERIFY2(lastTarget(path).endsWith(plain), lastTarget(path));
    QTRY_COMPARE(list->findChildren<QFrame*>(QRegularExpression("Item$")).size(), 20);
}

void TestListSearch::tradeDateRangeNarrowsTheList()
{
    const QByteArray path("/api/trade/");
    PagedListActivity* list = showList("trade", path);
    QVERIFY(kit.waitForRequests(path, 1));
    auto* check = list->findChild<QCheckBox*>("DateRangeCheck");
    auto* from = list->findChild<QDateEdit*>("FromDate");
    auto* to = list->findChild<QDateEdit*>("ToDate");
    QVERIFY(check && from && to);
    QVERIFY(!from->isEnabled());

    from->setDate(QDate(2025, 5, 1));
    to->setDate(QDate(2025, 5, 3));
    check->click();
    QVERIFY(from->isEnabled() && to->isEnabled());
    QVERIFY(kit.waitForRequests(path, 2));
    QVERIFY2(lastTarget(path).endsWith("&page=1&from=2025-05-01&to=2025-05-03"), lastTarget(path));

    // With a text, both; unticked, the text alone.
    ScreenTestKit::typeText(list->findChild<QLineEdit*>("SearchBox"), "Q7");
    QVERIFY(kit.waitForRequests(path, 3));
    QVERIFY2(lastTarget(path).endsWith("&page=1&q=Q7&from=2025-05-01&to=2025-05-03"), lastTarget(path));
    check->click();
    QVERIFY(kit.waitForRequests(path, 4));
    QVERIFY2(lastTarget(path).endsWith("&page=1&q=Q7"), lastTarget(path));
    QVERIFY(kit.waitForIdle());
    QCOMPARE(kit.requestsTo(path).size(), 4);
}

void TestListSearch::headerReadsBoxThenButtons_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("path");
    // The header's parts that show, by object name, left to right.
    QTest::addColumn<QStringList>("order");

    QTest::newRow("trucks") << "truck" << QByteArray("/api/truck/")
                            << QStringList { "TitleLabel", "SearchBox", "ActionButton", "ExportButton" };
    QTest::newRow("trades") << "trade" << QByteArray("/api/trade/")
                            << QStringList { "TitleLabel", "DateRange", "SearchBox", "ExportButton" };
}

void TestListSearch::headerReadsBoxThenButtons()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, path);
    QFETCH(QStringList, order);

    PagedListActivity* list = showList(kind, path);
    QVERIFY(kit.waitForRequests(path, 1));
    auto* header = list->findChild<QWidget*>("Header");
    QVERIFY(header);
    QMap<int, QString> shown;
    for (QWidget* part : header->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (part->isVisible() && !part->objectName().isEmpty())
            shown.insert(part->x(), part->objectName());
    }
    QCOMPARE(shown.values(), order);
}

void TestListSearch::chosenTradesHaveNoSearch()
{
    // The trades another screen chose (a ledger's drill-down): no box, no
    // date range, and Ctrl+F leaves the focus where it was.
    const QByteArray path("/api/trade/");
    kit.server.on(path, [](const RecordingHttpServer::Request&) { return RecordingHttpServer::json(rows(1, 3)); });
    controller = new ActivityController;
    controller->resize(900, 500);
    auto* list = new TradeListActivity(
        QStringLiteral("甲 未付运费"), [](int page) { return API::instance()->fetchTrade(page); });
    controller->startActivity(list, false, false);
    controller->show();
    QApplication::setActiveWindow(controller);
    QVERIFY(kit.waitForRequests(path, 1));
    QVERIFY(!list->findChild<QLineEdit*>("SearchBox")->isVisible());
    QVERIFY(!list->findChild<QWidget*>("DateRange")->isVisible());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(!list->findChild<QLineEdit*>("SearchBox")->hasFocus());
}

QTEST_MAIN(TestListSearch)
#include "tst_listsearch.moc"
