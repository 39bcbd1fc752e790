// The paged list base with a stand-in row: what it asks for on show, at the
// bottom and at the top, what it does with empty and late answers, and the
// striping that continues across a reload.
#include "screens/lists/pagedlistactivity.h"

#include "support/screentestkit.h"

#include "net/api.h"

#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QByteArray tradePath("/api/trade/");

class StandInList : public PagedListActivity
{
    Q_OBJECT

public:
    explicit StandInList(QWidget* parent)
        : PagedListActivity(parent)
    {
        showsRecords({ RecordKind::Trade });
    }
    void slot_action() override { }

    using PagedListActivity::contentHeight;
    using PagedListActivity::listContainer;
    using PagedListActivity::listRows;
    using PagedListActivity::listScrollArea;
    using PagedListActivity::loaded;
    using PagedListActivity::page;
    using PagedListActivity::rowCount;

    QStringList rowTexts() const
    {
        QStringList texts;
        for (QWidget* row : listRows)
            texts << row->findChild<QLabel*>()->text();
        return texts;
    }

public slots:
    void slot_fetch_trade_finished(QJsonArray* trades, const QString&)
    {
        appending = true;
        appendPage(trades, "slot_fetch_trade_finished");
        appending = false;
    }

public:
    bool appending = false;

protected:
    ApiCall* requestPage(int pageNumber) override { return API::instance()->fetchTrade(pageNumber); }
    void takePage(QJsonArray* rows, const QString& errors) override { slot_fetch_trade_finished(rows, errors); }
    QWidget* createRow(const QJsonObject& record, int number) override
    {
        auto* row = new QFrame(listContainer);
        row->setObjectName(QStringLiteral("StandInRow"));
        row->setFixedHeight(40);
        new QLabel(record.value(QLatin1String("n")).toVariant().toString(), row);
        stripeRow(row, number);
        return row;
    }
};

// A page of `count` rows numbered from `first`.
QByteArray pageOf(int first, int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(QJsonObject { { QStringLiteral("n"), first + i } });
    return R"({"success":true,"data":)" + QJsonDocument(rows).toJson(QJsonDocument::Compact) + "}";
}

} // namespace

class TestPagedListActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void showLoadsPageOneAndTheBottomAppends();
    void topReloadsAndStripingContinues();
    void keysScrollAndReload();
    void emptyPageShowsNoData();
    void failedLoadSaysSoAndAsksAgain_data();
    void failedLoadSaysSoAndAsksAgain();
    void answerToARequestBeforeTheReloadIsDropped();
    void otherListenersTakeNoAnswerAway();
    void changesReachTheList_data();
    void changesReachTheList();
    void rowsFollowTheWidthAndCloseUp();
    void pagesArePaintedInTheFrameDue();

private:
    // Serves `pages[n]` for page n (an empty page beyond them).
    void servePages(const QMap<int, QByteArray>& pages);
    void scrollTo(int value);

    ScreenTestKit kit;
    QWidget* host = nullptr;
    StandInList* list = nullptr;
};

void TestPagedListActivity::init()
{
    kit.initTest();
    host = new QWidget;
    host->resize(600, 300);
    list = new StandInList(host);
    list->resize(600, 300);
}

void TestPagedListActivity::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

void TestPagedListActivity::servePages(const QMap<int, QByteArray>& pages)
{
    kit.server.on(tradePath, [pages](const RecordingHttpServer::Request& request) {
        const int pageNumber = request.target.mid(request.target.indexOf("page=") + 5).toInt();
        return RecordingHttpServer::json(pages.value(pageNumber, R"({"success":true,"data":[]})"));
    });
}

void TestPagedListActivity::scrollTo(int value)
{
    list->listScrollArea->verticalScrollBar()->setValue(value);
}

void TestPagedListActivity::showLoadsPageOneAndTheBottomAppends()
{
    servePages({ { 1, pageOf(1, 20) }, { 2, pageOf(21, 5) } });
    host->show();
    QVERIFY(kit.waitForRequests(tradePath, 1));
    QTRY_COMPARE(list->rowCount, 20);
    QVERIFY(kit.requestsTo(tradePath).first().target.endsWith("&page=1"));
    QCOMPARE(list->page, 2);
    QCOMPARE(list->contentHeight, 800);
    QCOMPARE(list->listContainer->size(), QSize(596, 800));

    // A second show of a loaded list asks for nothing.
    host->hide();
    host->show();
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo(tradePath).size(), 1);

    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    scrollTo(bar->maximum());
    QVERIFY(list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QTRY_COMPARE(list->rowCount, 25);
    QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=2"));
    QVERIFY(!list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(list->rowTexts().last(), QStringLiteral("25"));
    QCOMPARE(list->page, 3);

    // The end of the list: an empty page leaves the page where it is.
    QTRY_VERIFY(bar->maximum() > 0 && bar->value() < bar->maximum());
    scrollTo(bar->maximum());
    QVERIFY(kit.waitForRequests(tradePath, 3));
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(list->page, 3);
    QCOMPARE(list->rowCount, 25);
}

// End appends the next page as reaching the bottom does; Home and F5 reload
// from page 1, Home also from the top, where the bar cannot move.
void TestPagedListActivity::keysScrollAndReload()
{
    servePages({ { 1, pageOf(1, 20) }, { 2, pageOf(21, 5) } });
    host->show();
    QTRY_COMPARE(list->rowCount, 20);
    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);

    list->scrollToEnd();
    QTRY_COMPARE(list->rowCount, 25);
    QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=2"));

    for (int reloads = 1; reloads <= 3; ++reloads) {
        if (reloads == 3)
            list->reloadFromStart();
        else
            list->scrollToStart();
        QTRY_COMPARE(list->rowCount, 25 + 20 * reloads);
        QCOMPARE(bar->value(), bar->minimum());
        QCOMPARE(list->listRows.size(), 20);
        QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=1"));
    }
    QCOMPARE(kit.requestsTo(tradePath).size(), 5);
}

void TestPagedListActivity::topReloadsAndStripingContinues()
{
    servePages({ { 1, pageOf(1, 9) } });
    host->show();
    QTRY_COMPARE(list->rowCount, 9);
    const auto rowAt = [this](int i) { return qobject_cast<QFrame*>(list->listRows.at(i)); };
    QCOMPARE(rowAt(0)->property("stripe").toString(), QStringLiteral("odd"));
    QCOMPARE(rowAt(1)->property("stripe").toString(), QStringLiteral("even"));

    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->blockSignals(true);
    bar->setValue(bar->maximum());
    bar->blockSignals(false);
    scrollTo(bar->minimum());
    QVERIFY(list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QTRY_COMPARE(list->rowCount, 18);
    QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=1"));
    QCOMPARE(list->listRows.size(), 9);
    QCOMPARE(list->contentHeight, 360);
    QCOMPARE(list->page, 2);
    // The running number goes on: the first reloaded row is the 10th, even.
    QCOMPARE(rowAt(0)->property("stripe").toString(), QStringLiteral("even"));
    QCOMPARE(rowAt(1)->property("stripe").toString(), QStringLiteral("odd"));
}

void TestPagedListActivity::emptyPageShowsNoData()
{
    kit.server.on(tradePath, RecordingHttpServer::json(R"({"success":true,"data":[]})"));
    host->show();
    QTRY_VERIFY(list->loaded);
    QVERIFY(list->findChild<QLabel*>(QStringLiteral("NoData"))->isVisible());
    QVERIFY(!list->findChild<QWidget*>(QStringLiteral("LoadFailure"))->isVisible());
    QCOMPARE(list->rowCount, 0);
    QCOMPARE(list->page, 1);
}

void TestPagedListActivity::failedLoadSaysSoAndAsksAgain_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("text");
    QTest::newRow("refused") << QByteArray(R"({"success":false,"errors":"no"})")
                             << QStringLiteral("读取数据失败！\nno");
    QTest::newRow("not JSON") << QByteArray("<html>") << QStringLiteral("读取数据失败！");
}

void TestPagedListActivity::failedLoadSaysSoAndAsksAgain()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, text);
    kit.server.on(tradePath, RecordingHttpServer::json(answer));
    host->show();
    auto* failure = list->findChild<QWidget*>(QStringLiteral("LoadFailure"));
    QTRY_VERIFY(failure->isVisible());
    QCOMPARE(failure->findChild<QLabel*>(QStringLiteral("loadFailureText"))->text(), text);
    QVERIFY(!list->loaded);

    // Shown again, the list asks again.
    host->hide();
    host->show();
    QVERIFY(kit.waitForRequests(tradePath, 2));
    QTRY_VERIFY(failure->isVisible());

    // The platform is back: the button asks again and the rows come.
    servePages({ { 1, pageOf(1, 3) } });
    QTest::mouseClick(failure->findChild<QPushButton*>(QStringLiteral("retryButton")), Qt::LeftButton);
    QTRY_COMPARE(list->listRows.size(), 3);
    QVERIFY(!failure->isVisible());
    QVERIFY(list->loaded);
    QCOMPARE(kit.requestsTo(tradePath).size(), 3);
}

void TestPagedListActivity::answerToARequestBeforeTheReloadIsDropped()
{
    servePages({ { 1, pageOf(1, 20) } });
    host->show();
    QTRY_COMPARE(list->rowCount, 20);

    // Page 2 is held back; the user scrolls back to the top before it comes.
    kit.server.on(tradePath, [](const RecordingHttpServer::Request& request) {
        const bool second = request.target.endsWith("page=2");
        auto reply = RecordingHttpServer::json(second ? pageOf(900, 3) : pageOf(1, 20));
        reply.gate = second ? QStringLiteral("late") : QString();
        return reply;
    });
    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    scrollTo(bar->maximum());
    QVERIFY(kit.waitForRequests(tradePath, 2));
    scrollTo(bar->minimum());
    QTRY_COMPARE(list->rowCount, 40);
    kit.server.release(QStringLiteral("late"));
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(list->listRows.size(), 20);
    QVERIFY(!list->rowTexts().contains(QStringLiteral("900")));
    QCOMPARE(list->page, 2);
}

void TestPagedListActivity::otherListenersTakeNoAnswerAway()
{
    // Another screen listens to every trade answer, even while the list's
    // own request is still open.
    QObject rival;
    int rivalAnswers = 0;
    connect(API::instance(), &API::signal_fetch_trade_finished, &rival, [&rivalAnswers] { ++rivalAnswers; });
    auto held = RecordingHttpServer::json(pageOf(1, 5));
    held.gate = QStringLiteral("held");
    kit.server.on(tradePath, held);
    host->show();
    QVERIFY(kit.waitForRequests(tradePath, 1));
    host->hide();
    kit.server.release(QStringLiteral("held"));
    QTRY_COMPARE(rivalAnswers, 1);
    QCOMPARE(list->listRows.size(), 5);

    // An answer the list never asked for adds nothing to it.
    API::instance()->fetchTrade(2);
    QTRY_COMPARE(rivalAnswers, 2);
    host->show();
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(list->listRows.size(), 5);
    QCOMPARE(kit.requestsTo(tradePath).size(), 2);
}

void TestPagedListActivity::changesReachTheList_data()
{
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("tradeChanged");
    QTest::newRow("shown, a trade settled") << true << true;
    QTest::newRow("hidden, a trade settled") << false << true;
    QTest::newRow("shown, a shipper deleted") << true << false;
}

void TestPagedListActivity::changesReachTheList()
{
    QFETCH(bool, visible);
    QFETCH(bool, tradeChanged);
    servePages({ { 1, pageOf(1, 3) } });
    host->show();
    QTRY_COMPARE(list->listRows.size(), 3);
    if (!visible)
        host->hide();

    // The platform holds a fourth trade by now.
    servePages({ { 1, pageOf(1, 4) } });
    kit.server.on("/api/trade/9/status/change/", RecordingHttpServer::json(R"({"success":true})"));
    kit.server.on("/api/shipper/9/delete/", RecordingHttpServer::json(R"({"success":true})"));
    if (tradeChanged)
        API::instance()->changeTradeStatus(9, 1, 1);
    else
        API::instance()->deleteShipper(9);
    const bool atOnce = visible && tradeChanged;
    if (atOnce)
        QVERIFY(kit.waitForRequests(tradePath, 2));
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo(tradePath).size(), atOnce ? 2 : 1);

    host->show();
    QVERIFY(ScreenTestKit::waitForIdle());
    QTRY_COMPARE(list->listRows.size(), tradeChanged ? 4 : 3);
    QCOMPARE(kit.requestsTo(tradePath).size(), tradeChanged ? 2 : 1);
    QVERIFY(!list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
}

void TestPagedListActivity::rowsFollowTheWidthAndCloseUp()
{
    servePages({ { 1, pageOf(1, 3) } });
    host->show();
    QTRY_COMPARE(list->listRows.size(), 3);
    QCOMPARE(list->listContainer->size(), QSize(596, 120));

    list->resize(400, 300);
    QCOMPARE(list->listContainer->width(), 396);
    QWidget* first = list->listRows.at(0);
    QTRY_COMPARE(first->width(), 396);

    // The middle row goes; the last one moves up into its place.
    QWidget* last = list->listRows.at(2);
    delete list->listRows.at(1);
    QCOMPARE(list->contentHeight, 80);
    QCOMPARE(list->listContainer->height(), 80);
    QTRY_COMPARE(last->y(), 40);
}

// Qt paints a widget shown in a visible window through an update that it
// posts. One that reaches the overlay or a row from the event loop comes
// after the paint that was due, and paints the see-through overlay and every
// row under it once more.
void TestPagedListActivity::pagesArePaintedInTheFrameDue()
{
    struct LateUpdates : QObject
    {
        StandInList* list = nullptr;
        bool scrolling = false;
        int count = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* widget = qobject_cast<QWidget*>(watched);
            auto* overlay = list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"));
            // The overlay and its parts, the rows and their parts.
            const bool painted = widget
                && (overlay->isAncestorOf(widget) || list->listContainer->isAncestorOf(widget->parentWidget()));
            count += event->type() == QEvent::UpdateLater && painted && !scrolling && !list->appending;
            return false;
        }
    } late;
    late.list = list;
    servePages({ { 1, pageOf(1, 20) }, { 2, pageOf(21, 20) } });
    qApp->installEventFilter(&late);
    host->show();
    QTRY_COMPARE(list->rowCount, 20);
    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    late.scrolling = true;
    scrollTo(bar->maximum());
    late.scrolling = false;
    QTRY_COMPARE(list->rowCount, 40);
    QVERIFY(ScreenTestKit::waitForIdle());
    qApp->removeEventFilter(&late);
    QCOMPARE(late.count, 0);
}

QTEST_MAIN(TestPagedListActivity)
#include "tst_pagedlistactivity.moc"
