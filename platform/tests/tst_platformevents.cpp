// The stream of a station's changes (GET /api/events/): what reaches a desk,
// what a desk that comes back gets, and how a stream lives and ends, on one
// platform and across two processes on one database.

#include "credentials.h"
#include "eventstreamreader.h"
#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sessionservice.h"
#include "sql.h"
#include "transaction.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <memory>

using Write = std::function<QPair<QString, qint64>(PlatformTestClient&)>;
Q_DECLARE_METATYPE(Write)

class TestPlatformEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void writesReachTheStationsDesks_data();
    void writesReachTheStationsDesks();
    void anotherStationHearsNothing();
    void comingBackGetsWhatWasMissed_data();
    void comingBackGetsWhatWasMissed();
    void lostPlaceGetsReload_data();
    void lostPlaceGetsReload();
    void refusedWriteTellsNothing();
    void oldChangesArePruned();
    void quietStreamGetsKeepAlive();
    void secondStreamOfASessionReplacesTheFirst();
    void streamEndsWithItsSession();
    void refusedWithoutSession();
    void streamHoldsAConnection();
    void writeOnAnotherProcessArrives();

private:
    // A stream of `client`'s session, open; `query` is added to its target.
    std::unique_ptr<EventStreamReader> openStream(
        const PlatformTestClient& client, const QString& query = QString(), const QList<QByteArray>& headers = {});
    // The id the stream starts from (its first block's id).
    static qint64 startOf(EventStreamReader& stream);
    static QJsonObject dataOf(const EventStreamReader::Event& event);

    PlatformTestServer server;
    std::unique_ptr<PlatformTestClient> owner;
    std::unique_ptr<PlatformTestClient> clerk;
    qint64 shipper = 0;
    qint64 consignee = 0;
    std::unique_ptr<QProcess> other;
};

void TestPlatformEvents::initTestCase()
{
    platform::PlatformServer::Config config;
    config.eventKeepAliveSeconds = 1;
    QVERIFY(server.start(config));
    owner = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(owner->login(QStringLiteral("demo")));
    {
        // A clerk of the same station, who works at the second desk.
        const QSqlDatabase db = server.storage()->connection();
        platform::Transaction transaction(db, platform::Transaction::Write);
        platform::SessionService::insertUser(db, owner->organ(), QStringLiteral("lisi"),
            platform::Credentials::hashPassword(QStringLiteral("load1234")), QStringLiteral("李四"),
            QStringLiteral("clerk"));
        transaction.commit();
    }
    clerk = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(clerk->login(QStringLiteral("lisi"), QStringLiteral("load1234")));
    shipper = owner->addShipper(QStringLiteral("兰山推送测试建材"));
    consignee = owner->addConsignee(QStringLiteral("济南推送测试商贸"));
    QVERIFY(shipper > 0 && consignee > 0);
}

void TestPlatformEvents::cleanupTestCase()
{
    if (other) {
        other->terminate();
        other->waitForFinished(10000);
    }
}

std::unique_ptr<EventStreamReader> TestPlatformEvents::openStream(
    const PlatformTestClient& client, const QString& query, const QList<QByteArray>& headers)
{
    auto stream = std::make_unique<EventStreamReader>(server.port());
    if (!stream->open(QStringLiteral("/events/") + client.suffix() + query, headers))
        return nullptr;
    return stream;
}

qint64 TestPlatformEvents::startOf(EventStreamReader& stream)
{
    EventStreamReader::Event first;
    return stream.next(&first) ? first.id.toLongLong() : -1;
}

QJsonObject TestPlatformEvents::dataOf(const EventStreamReader::Event& event)
{
    return QJsonDocument::fromJson(event.data).object();
}

void TestPlatformEvents::writesReachTheStationsDesks_data()
{
    QTest::addColumn<Write>("write");
    const auto form = [](const QString& number) { return PlatformTestClient::truckForm(number); };
    QTest::newRow("truck added") << Write([form](PlatformTestClient& c) {
        return qMakePair(QStringLiteral("truck"), c.addTruck(QStringLiteral("鲁Q70001")));
    });
    QTest::newRow("truck edited") << Write([form](PlatformTestClient& c) {
        const qint64 id = c.addTruck(QStringLiteral("鲁Q70002"));
        QMap<QString, QString> edit = form(QStringLiteral("鲁Q70002"));
        edit.insert("id", QString::number(id));
        edit.insert("tonnage", "32");
        c.post(QStringLiteral("/truck/%1/edit/").arg(id) + c.suffix(), edit);
        return qMakePair(QStringLiteral("truck"), id);
    });
    QTest::newRow("truck on the road") << Write([this](PlatformTestClient& c) {
        const qint64 id = c.addTruck(QStringLiteral("鲁Q70003"));
        c.addTrade(id, shipper, consignee);
        c.get(QStringLiteral("/truck/%1/work/").arg(id) + c.suffix());
        return qMakePair(QStringLiteral("truck"), id);
    });
    QTest::newRow("shipper added") << Write([](PlatformTestClient& c) {
        return qMakePair(QStringLiteral("shipper"), c.addShipper(QStringLiteral("罗庄推送测试陶瓷")));
    });
    QTest::newRow("consignee deleted") << Write([](PlatformTestClient& c) {
        const qint64 id = c.addConsignee(QStringLiteral("青岛推送测试商贸"));
        c.get(QStringLiteral("/consignee/%1/delete/").arg(id) + c.suffix());
        return qMakePair(QStringLiteral("consignee"), id);
    });
    QTest::newRow("trade settled") << Write([this](PlatformTestClient& c) {
        const qint64 truck = c.addTruck(QStringLiteral("鲁Q70004"));
        const qint64 id = c.addTrade(truck, shipper, consignee);
        c.post(QStringLiteral("/trade/%1/status/change/").arg(id) + c.suffix(),
            { { "payout_status", "2" }, { "agency_status", "4294967295" } });
        return qMakePair(QStringLiteral("trade"), id);
    });
    QTest::newRow("profile edited") << Write([](PlatformTestClient& c) {
        c.post(QStringLiteral("/mine/profile/edit/") + c.suffix(),
            { { "address", QStringLiteral("义堂镇物流园A区20号") } });
        return qMakePair(QStringLiteral("profile"), c.organ());
    });
}

void TestPlatformEvents::writesReachTheStationsDesks()
{
    QFETCH(Write, write);
    // The owner's desk hears of the clerk's write; the last of its events
    // is the record written.
    const auto stream = openStream(*owner);
    QVERIFY(stream);
    QCOMPARE(stream->status(), 200);
    QVERIFY(stream->header("content-type").startsWith("text/event-stream"));
    const qint64 start = startOf(*stream);
    QVERIFY(start >= 0);

    const QPair<QString, qint64> written = write(*clerk);
    QVERIFY(written.second > 0);
    const qint64 last = platform::Sql::scalar(server.storage()->connection(),
        QStringLiteral("SELECT max(id) FROM changes WHERE kind = ? AND record = ?"), { written.first, written.second })
                            .toLongLong();
    EventStreamReader::Event event;
    qint64 previous = start;
    do {
        QVERIFY2(stream->nextOfType(QStringLiteral("change"), &event), "the change never came");
        // In the order they were written.
        QVERIFY(event.id.toLongLong() > previous);
        previous = event.id.toLongLong();
    } while (previous < last);
    QCOMPARE(previous, last);
    const QJsonObject data = dataOf(event);
    QCOMPARE(data.value("kind").toString(), written.first);
    QCOMPARE(data.value("id").toVariant().toLongLong(), written.second);
    QCOMPARE(data.value("user").toString(), QStringLiteral("李四"));
    QVERIFY(data.value("version").isDouble());
    // It names the record, never its values.
    QCOMPARE(data.keys(), QStringList({ "id", "kind", "user", "version" }));
}

void TestPlatformEvents::anotherStationHearsNothing()
{
    PlatformTestClient other(server.port());
    QVERIFY(other.login(QStringLiteral("demo2")));
    const auto stream = openStream(other);
    QVERIFY(stream);
    QVERIFY(startOf(*stream) >= 0);
    QVERIFY(owner->addShipper(QStringLiteral("外站听不到的托运人")) > 0);
    // Its own station's next write is the first change it hears of.
    const qint64 own = other.addShipper(QStringLiteral("义乌推送测试饰品"));
    EventStreamReader::Event event;
    QVERIFY(stream->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), own);
}

void TestPlatformEvents::comingBackGetsWhatWasMissed_data()
{
    QTest::addColumn<bool>("asHeader");
    QTest::newRow("last in the query") << false;
    QTest::newRow("Last-Event-ID header") << true;
}

void TestPlatformEvents::comingBackGetsWhatWasMissed()
{
    QFETCH(bool, asHeader);
    qint64 seen = 0;
    {
        const auto stream = openStream(*owner);
        QVERIFY(stream);
        seen = startOf(*stream);
    }
    // While the desk was away.
    const qint64 first = clerk->addShipper(QStringLiteral("离线时新增的托运人%1").arg(asHeader));
    const qint64 second = clerk->addConsignee(QStringLiteral("离线时新增的收货人%1").arg(asHeader));
    QVERIFY(first > 0 && second > 0);

    const auto back = asHeader ? openStream(*owner, QString(), { "Last-Event-ID: " + QByteArray::number(seen) })
                               : openStream(*owner, QStringLiteral("&last=%1").arg(seen));
    QVERIFY(back);
    EventStreamReader::Event event;
    QVERIFY(back->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("kind").toString(), QStringLiteral("shipper"));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), first);
    QVERIFY(back->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("kind").toString(), QStringLiteral("consignee"));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), second);

    // And then what comes live.
    const qint64 live = clerk->addShipper(QStringLiteral("回来后新增的托运人%1").arg(asHeader));
    QVERIFY(back->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), live);
}

void TestPlatformEvents::lostPlaceGetsReload_data()
{
    QTest::addColumn<QString>("lost");
    QTest::newRow("an id the database never gave") << "beyond";
    QTest::newRow("changes pruned since") << "pruned";
}

void TestPlatformEvents::lostPlaceGetsReload()
{
    QFETCH(QString, lost);
    const QSqlDatabase db = server.storage()->connection();
    QVERIFY(clerk->addShipper(QStringLiteral("重新加载前的托运人%1").arg(lost)) > 0);
    const qint64 latest = platform::Sql::scalar(db, QStringLiteral("SELECT max(id) FROM changes")).toLongLong();
    qint64 last = latest + 1000;
    if (lost == QLatin1String("pruned")) {
        last = latest - 1;
        platform::Transaction transaction(db, platform::Transaction::Write);
        platform::Sql floor(db,
            QStringLiteral("INSERT INTO change_floors (organ, pruned_to) VALUES (?, ?)"
                           " ON CONFLICT (organ) DO UPDATE SET pruned_to = excluded.pruned_to"));
        floor.bind(owner->organ()).bind(latest).exec();
        transaction.commit();
    }
    const auto stream = openStream(*owner, QStringLiteral("&last=%1").arg(last));
    QVERIFY(stream);
    EventStreamReader::Event event;
    QVERIFY(stream->next(&event));
    QCOMPARE(event.type, QStringLiteral("reload"));
    QCOMPARE(event.data, QByteArray("{}"));
    QCOMPARE(event.id.toLongLong(), latest);
    // The live events follow.
    const qint64 live = clerk->addShipper(QStringLiteral("重新加载后的托运人%1").arg(lost));
    QVERIFY(stream->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), live);
}

void TestPlatformEvents::refusedWriteTellsNothing()
{
    const auto stream = openStream(*owner);
    QVERIFY(stream);
    QVERIFY(startOf(*stream) >= 0);
    // An empty truck may not depart: nothing was written, nothing is told.
    const qint64 truck = clerk->addTruck(QStringLiteral("鲁Q70009"));
    QVERIFY(!clerk->get(QStringLiteral("/truck/%1/work/").arg(truck) + clerk->suffix()).success());
    const qint64 after = clerk->addShipper(QStringLiteral("拒绝之后的托运人"));
    EventStreamReader::Event event;
    QVERIFY(stream->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), truck);
    QVERIFY(stream->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("kind").toString(), QStringLiteral("shipper"));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), after);
}

void TestPlatformEvents::oldChangesArePruned()
{
    const QSqlDatabase db = server.storage()->connection();
    const QString twoDaysAgo = QDateTime::currentDateTime().addDays(-2).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    qint64 old = 0;
    {
        platform::Transaction transaction(db, platform::Transaction::Write);
        platform::Sql q(db,
            QStringLiteral("INSERT INTO changes (organ, kind, record, version, user, user_name, time)"
                           " VALUES (?, 'truck', 1, 0, ?, '', ?)"));
        q.bind(owner->organ()).bind(owner->user()).bind(twoDaysAgo).exec();
        old = q.lastInsertId();
        transaction.commit();
    }
    const auto oldRows = [&] {
        return platform::Sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM changes WHERE organ = ? AND time < ?"),
            { owner->organ(), twoDaysAgo.left(10) + QStringLiteral(" 23:59:59") })
            .toInt();
    };
    QCOMPARE(oldRows(), 1);
    // Pruning comes with the station's writes, now and then.
    for (int i = 0; i < 200 && oldRows() > 0; ++i)
        QVERIFY(clerk->addTruck(QStringLiteral("鲁Q8%1").arg(i, 4, 10, QLatin1Char('0'))) > 0);
    QCOMPARE(oldRows(), 0);
    const qint64 floor = platform::Sql::scalar(
        db, QStringLiteral("SELECT pruned_to FROM change_floors WHERE organ = ?"), { owner->organ() })
                             .toLongLong();
    QVERIFY(floor >= old);
    // The changes since stay.
    QVERIFY(platform::Sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM changes WHERE organ = ? AND id > ?"),
                { owner->organ(), floor })
                .toInt()
        > 0);
}

void TestPlatformEvents::quietStreamGetsKeepAlive()
{
    const auto stream = openStream(*owner);
    QVERIFY(stream);
    QVERIFY(startOf(*stream) >= 0);
    EventStreamReader::Event event;
    QVERIFY(stream->next(&event));
    QCOMPARE(event.comment, QByteArray("keep-alive"));
    QVERIFY(event.type.isEmpty() && event.data.isEmpty());
}

void TestPlatformEvents::secondStreamOfASessionReplacesTheFirst()
{
    const auto first = openStream(*clerk);
    QVERIFY(first);
    QVERIFY(startOf(*first) >= 0);
    const auto second = openStream(*clerk);
    QVERIFY(second);
    QVERIFY(startOf(*second) >= 0);
    QVERIFY(first->ends());
    const qint64 live = owner->addShipper(QStringLiteral("第二条流听到的托运人"));
    EventStreamReader::Event event;
    QVERIFY(second->nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), live);
}

void TestPlatformEvents::streamEndsWithItsSession()
{
    PlatformTestClient desk(server.port());
    QVERIFY(desk.login(QStringLiteral("demo")));
    const auto stream = openStream(desk);
    QVERIFY(stream);
    QVERIFY(startOf(*stream) >= 0);
    // Leaving ends the session; its stream follows.
    QVERIFY(
        desk.get(QStringLiteral("/system/visit/0123456789abcdef0123456789abcdef/end/") + desk.suffix()).status == 200);
    QVERIFY(stream->ends());
}

void TestPlatformEvents::refusedWithoutSession()
{
    EventStreamReader stream(server.port());
    QVERIFY(stream.open(QStringLiteral("/events/?token=nobody&user=1")));
    QCOMPARE(stream.status(), 200);
    QVERIFY(stream.header("content-type").startsWith("application/json"));
    const QJsonObject answer = QJsonDocument::fromJson(stream.body()).object();
    QCOMPARE(answer.value("success").toBool(true), false);
    QCOMPARE(answer.value("errors").toString(), QStringLiteral("登录已失效，请重新登录！"));
}

void TestPlatformEvents::streamHoldsAConnection()
{
    // A platform on the same records that lets one address hold two
    // connections: two desks' streams hold both.
    PlatformTestServer small(false, server.dataDir());
    platform::PlatformServer::Config config;
    config.maxConnectionsPerAddress = 2;
    config.eventKeepAliveSeconds = 1;
    QVERIFY(small.start(config));
    auto first = std::make_unique<EventStreamReader>(small.port());
    QVERIFY(first->open(QStringLiteral("/events/") + clerk->suffix()));
    EventStreamReader second(small.port());
    QVERIFY(second.open(QStringLiteral("/events/") + owner->suffix()));
    QVERIFY(startOf(*first) >= 0 && startOf(second) >= 0);
    EventStreamReader third(small.port());
    QVERIFY(!third.open(QStringLiteral("/system/version/windesktop/"), {}, 2000));
    // Once a desk has gone, its place is free again.
    first.reset();
    QTRY_VERIFY_WITH_TIMEOUT(
        EventStreamReader(small.port()).open(QStringLiteral("/system/version/windesktop/"), {}, 1000), 15000);
}

void TestPlatformEvents::writeOnAnotherProcessArrives()
{
    // A second platform process on the same database.
    other = std::make_unique<QProcess>();
    other->setProgram(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE));
    other->setArguments(server.databaseArguments() + QStringList { "--port", "0", "--voice-port", "0" });
    other->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    other->start();
    const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/api");
    QByteArray output;
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += other->readAllStandardOutput();
            return listening.match(QString::fromUtf8(output)).hasMatch() || other->state() == QProcess::NotRunning;
        },
        30000));
    const int otherPort = listening.match(QString::fromUtf8(output)).captured(1).toInt();
    QVERIFY(otherPort > 0);

    // The owner's stream is on this process; the clerk writes on the other.
    const auto stream = openStream(*owner);
    QVERIFY(stream);
    const qint64 start = startOf(*stream);
    PlatformTestClient there(otherPort);
    QVERIFY(there.login(QStringLiteral("lisi"), QStringLiteral("load1234")));
    const qint64 added = there.addShipper(QStringLiteral("另一进程新增的托运人"));
    QVERIFY(added > 0);
    QElapsedTimer heard;
    heard.start();
    EventStreamReader::Event event;
    QVERIFY(stream->nextOfType(QStringLiteral("change"), &event));
    QVERIFY2(heard.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(heard.elapsed())));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), added);
    QCOMPARE(dataOf(event).value("user").toString(), QStringLiteral("李四"));

    // A desk that comes back on the other process gets what it missed there.
    EventStreamReader back(otherPort);
    QVERIFY(back.open(QStringLiteral("/events/") + owner->suffix() + QStringLiteral("&last=%1").arg(start)));
    QVERIFY(back.nextOfType(QStringLiteral("change"), &event));
    QCOMPARE(dataOf(event).value("id").toVariant().toLongLong(), added);
}

QTEST_GUILESS_MAIN(TestPlatformEvents)
#include "tst_platformevents.moc"
