// The paged list base with a stand-in row: what it asks for on show, at the
// bottom and at the top, what it does with empty and late answers, and the
// striping that continues across a reload.
#include "screens/pagedlistactivity.h"

#include "support/screentestkit.h"

#include "net/api.h"

#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
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
    using PagedListActivity::PagedListActivity;
    void slot_action() override { }

    using PagedListActivity::contentHeight;
    using PagedListActivity::listContainer;
    using PagedListActivity::listLayout;
    using PagedListActivity::listScrollArea;
    using PagedListActivity::loaded;
    using PagedListActivity::page;
    using PagedListActivity::rowCount;

    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < listLayout->count(); ++i)
            texts << listLayout->itemAt(i)->widget()->findChild<QLabel*>()->text();
        return texts;
    }

public slots:
    void slot_fetch_trade_finished(QJsonArray* trades, const QString&)
    {
        appendPage(trades, "slot_fetch_trade_finished");
    }

protected:
    int requestPage(int pageNumber) override { return API::instance()->fetchTrade(pageNumber); }
    QWidget* createRow(const QJsonObject& record, int number) override
    {
        auto* row = new QFrame(parentWidget());
        row->setObjectName(QStringLiteral("StandInRow"));
        row->setFixedHeight(40);
        new QLabel(record.value(QLatin1String("n")).toVariant().toString(), row);
        stripeRow(row, number);
        return row;
    }
    void takeOverAnswers() override
    {
        disconnect(API::instance(), &API::signal_fetch_trade_finished, nullptr, nullptr);
        connect(API::instance(), &API::signal_fetch_trade_finished, this, &StandInList::slot_fetch_trade_finished);
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
    void emptyAnswersShowNoData_data();
    void emptyAnswersShowNoData();
    void answerToARequestBeforeTheReloadIsDropped();
    void answerTakenByAnotherScreenIsAskedAgain();

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

void TestPagedListActivity::topReloadsAndStripingContinues()
{
    servePages({ { 1, pageOf(1, 9) } });
    host->show();
    QTRY_COMPARE(list->rowCount, 9);
    const auto rowAt = [this](int i) { return qobject_cast<QFrame*>(list->listLayout->itemAt(i)->widget()); };
    QVERIFY(!rowAt(0)->styleSheet().contains(QLatin1String("#F6F6F6")));
    QVERIFY(rowAt(1)->styleSheet().contains(QLatin1String("#F6F6F6")));
    QCOMPARE(rowAt(0)->styleSheet(),
        QStringLiteral("#StandInRow:hover{background:#F8FFF0;}#StandInRow{border-bottom:1px solid #eeeeee;}"));

    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->blockSignals(true);
    bar->setValue(bar->maximum());
    bar->blockSignals(false);
    scrollTo(bar->minimum());
    QVERIFY(list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QTRY_COMPARE(list->rowCount, 18);
    QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=1"));
    QCOMPARE(list->listLayout->count(), 9);
    QCOMPARE(list->contentHeight, 360);
    QCOMPARE(list->page, 2);
    // The running number goes on: the first reloaded row is the 10th, even.
    QVERIFY(rowAt(0)->styleSheet().contains(QLatin1String("#F6F6F6")));
    QVERIFY(!rowAt(1)->styleSheet().contains(QLatin1String("#F6F6F6")));
}

void TestPagedListActivity::emptyAnswersShowNoData_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("empty page") << QByteArray(R"({"success":true,"data":[]})");
    QTest::newRow("refused") << QByteArray(R"({"success":false,"errors":"no"})");
    QTest::newRow("not JSON") << QByteArray("<html>");
}

void TestPagedListActivity::emptyAnswersShowNoData()
{
    QFETCH(QByteArray, answer);
    kit.server.on(tradePath, RecordingHttpServer::json(answer));
    host->show();
    QTRY_VERIFY(list->loaded);
    auto* noData = list->findChild<QLabel*>(QStringLiteral("NoData"));
    QVERIFY(noData->isVisible());
    QCOMPARE(list->rowCount, 0);
    QCOMPARE(list->page, 1);
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
    QCOMPARE(list->listLayout->count(), 20);
    QVERIFY(!list->rowTexts().contains(QStringLiteral("900")));
    QCOMPARE(list->page, 2);
}

void TestPagedListActivity::answerTakenByAnotherScreenIsAskedAgain()
{
    servePages({ { 1, pageOf(1, 20) } });
    host->show();
    QTRY_COMPARE(list->rowCount, 20);

    // The reload's answer is held back; meanwhile the user switches to a
    // screen that takes the shared answers over, and the answer goes there.
    kit.server.on(tradePath, [](const RecordingHttpServer::Request&) {
        auto reply = RecordingHttpServer::json(pageOf(1, 20));
        reply.gate = QStringLiteral("held");
        return reply;
    });
    QScrollBar* bar = list->listScrollArea->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->blockSignals(true);
    bar->setValue(bar->maximum());
    bar->blockSignals(false);
    scrollTo(bar->minimum());
    QVERIFY(kit.waitForRequests(tradePath, 2));
    host->hide();
    QObject rival;
    int rivalAnswers = 0;
    disconnect(API::instance(), &API::signal_fetch_trade_finished, nullptr, nullptr);
    connect(API::instance(), &API::signal_fetch_trade_finished, &rival, [&rivalAnswers] { ++rivalAnswers; });
    kit.server.release(QStringLiteral("held"));
    QTRY_COMPARE(rivalAnswers, 1);

    // Back on the list: it asks again and comes out from under its overlay.
    servePages({ { 1, pageOf(1, 20) } });
    host->show();
    QVERIFY(kit.waitForRequests(tradePath, 3));
    QTRY_COMPARE(list->rowCount, 40);
    QVERIFY(!list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(list->listLayout->count(), 20);
}

QTEST_MAIN(TestPagedListActivity)
#include "tst_pagedlistactivity.moc"
