// Several platform processes on one database: what one of them does, the
// others see at once; and a database that goes away and comes back.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"
#include "storage.h"
#include "support/postgrescluster.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <memory>

class TestPlatformSharedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void processesServeOneStation();
    void oneOfTwoSavesOfOneVersionWins();
    void oneRequestIdOnTwoProcessesWritesOnce();
    void failedSignInsCountOnEveryProcess();
    void writeLimitsCountOnEveryProcess();
    void unreachableDatabaseEndsTheStart_data();
    void unreachableDatabaseEndsTheStart();
    void lostDatabaseIsRefusedThenServedAgain();
    void copyMovesAStationIntoAnEmptyDatabase();
    void bothEnginesHaveTheSameColumns();

private:
    // Starts freymo-platform on the suite's database; its HTTP port, or -1.
    int startProcess(QProcess& process, const QStringList& options = {});
    // Starts two more processes on the suite's database, the demo station
    // signed in on the first and its second desk (a clerk) on the second.
    bool twoDesks(std::unique_ptr<PlatformTestClient>* first, std::unique_ptr<PlatformTestClient>* second);

    // Holds the suite's database (and its seed); the processes share it.
    PlatformTestServer seeded;
    std::vector<std::unique_ptr<QProcess>> processes;
};

void TestPlatformSharedDatabase::initTestCase()
{
    QVERIFY(seeded.start());
    QVERIFY(seeded.addClerk("demo", "desk2", QStringLiteral("李四")) > 0);
    seeded.stop();
}

void TestPlatformSharedDatabase::cleanupTestCase()
{
    for (auto& process : processes) {
        process->terminate();
        process->waitForFinished(10000);
    }
}

int TestPlatformSharedDatabase::startProcess(QProcess& process, const QStringList& options)
{
    process.setProgram(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE));
    process.setArguments(seeded.databaseArguments() + QStringList { "--port", "0", "--voice-port", "0" } + options);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/api");
    QByteArray output;
    const bool started = QTest::qWaitFor(
        [&] {
            output += process.readAllStandardOutput();
            return listening.match(QString::fromUtf8(output)).hasMatch() || process.state() == QProcess::NotRunning;
        },
        30000);
    const auto match = listening.match(QString::fromUtf8(output));
    return started && match.hasMatch() ? match.captured(1).toInt() : -1;
}

void TestPlatformSharedDatabase::processesServeOneStation()
{
    processes.push_back(std::make_unique<QProcess>());
    processes.push_back(std::make_unique<QProcess>());
    const int portA = startProcess(*processes.at(0));
    const int portB = startProcess(*processes.at(1));
    QVERIFY(portA > 0 && portB > 0);

    // A session made on one is accepted by the other.
    PlatformTestClient a(portA);
    QVERIFY(a.login(QStringLiteral("demo")));
    PlatformTestClient b(portB);
    const QString suffix = a.suffix();
    QVERIFY(b.get("/truck/" + suffix).success());

    // A write on one is on the next read of the other, although the other
    // had answered the same list before (and may keep answers for reuse).
    const int before = a.get("/truck/" + suffix).array().size();
    const auto added = b.post("/truck/add/" + suffix, PlatformTestClient::truckForm(QStringLiteral("鲁Q55501")));
    QVERIFY2(added.success(), qPrintable(added.errors()));
    const qint64 truck = added.integer("truck_id");
    QVERIFY(truck > 0);
    QCOMPARE(a.get("/truck/" + suffix).array().size(), before + 1);

    // Both send the same loaded truck on the road at once: one of them does.
    const QJsonArray shippers = a.allPages("/shipper/");
    const QJsonArray consignees = a.allPages("/consignee/");
    QVERIFY(!shippers.isEmpty() && !consignees.isEmpty());
    const qint64 trade = a.addTrade(truck, shippers.first()["id"].toInt(), consignees.first()["id"].toInt());
    QVERIFY(trade > 0);
    const QString work = QStringLiteral("/truck/%1/work/").arg(truck) + suffix;
    auto fromA = std::async(std::launch::async, [&] { return PlatformTestClient(portA).get(work).success(); });
    auto fromB = std::async(std::launch::async, [&] { return PlatformTestClient(portB).get(work).success(); });
    const int winners = int(fromA.get()) + int(fromB.get());
    QCOMPARE(winners, 1);
    QCOMPARE(a.trade(trade).value("status").toInt(), 1);
}

bool TestPlatformSharedDatabase::twoDesks(
    std::unique_ptr<PlatformTestClient>* first, std::unique_ptr<PlatformTestClient>* second)
{
    processes.push_back(std::make_unique<QProcess>());
    processes.push_back(std::make_unique<QProcess>());
    const int portA = startProcess(*processes.at(processes.size() - 2));
    const int portB = startProcess(*processes.back());
    if (portA <= 0 || portB <= 0)
        return false;
    *first = std::make_unique<PlatformTestClient>(portA);
    *second = std::make_unique<PlatformTestClient>(portB);
    return (*first)->login(QStringLiteral("demo")) && (*second)->login(QStringLiteral("desk2"));
}

void TestPlatformSharedDatabase::oneOfTwoSavesOfOneVersionWins()
{
    std::unique_ptr<PlatformTestClient> a;
    std::unique_ptr<PlatformTestClient> b;
    QVERIFY(twoDesks(&a, &b));
    const qint64 truck = a->addTruck(QStringLiteral("鲁Q55502"));
    QVERIFY(truck > 0);
    // Round after round, both desks save the copy they both opened, at once
    // and each through its own process: one save is done, one refused.
    for (int round = 0; round < 8; ++round) {
        const int version = a->truck(truck).value("version").toInt();
        const auto save = [&](PlatformTestClient* desk, int tonnage) {
            QMap<QString, QString> form = PlatformTestClient::truckForm(QStringLiteral("鲁Q55502"));
            form.insert("id", QString::number(truck));
            form.insert("tonnage", QString::number(tonnage));
            form.insert("version", QString::number(version));
            return desk->post(QStringLiteral("/truck/%1/edit/").arg(truck) + desk->suffix(), form);
        };
        auto fromA = std::async(std::launch::async, [&] { return save(a.get(), 31); });
        auto fromB = std::async(std::launch::async, [&] { return save(b.get(), 32); });
        const PlatformTestClient::Answer answers[] = { fromA.get(), fromB.get() };
        QCOMPARE(int(answers[0].success()) + int(answers[1].success()), 1);
        const PlatformTestClient::Answer& refused = answers[0].success() ? answers[1] : answers[0];
        QVERIFY2(refused.json.value("stale").toBool(), refused.body.constData());
        QCOMPARE(a->truck(truck).value("version").toInt(), version + 1);
        QCOMPARE(a->truck(truck).value("tonnage").toString(), answers[0].success() ? "31" : "32");
    }
}

void TestPlatformSharedDatabase::oneRequestIdOnTwoProcessesWritesOnce()
{
    std::unique_ptr<PlatformTestClient> a;
    std::unique_ptr<PlatformTestClient> b;
    QVERIFY(twoDesks(&a, &b));
    const qint64 truck = a->addTruck(QStringLiteral("鲁Q55503"));
    const QJsonArray shippers = a->allPages("/shipper/");
    const QJsonArray consignees = a->allPages("/consignee/");
    QVERIFY(truck > 0 && !shippers.isEmpty() && !consignees.isEmpty());
    // The same packing, sent under one id through both processes at once (a
    // retry that overtook its first try): both are answered alike, one is done.
    for (int round = 1; round <= 8; ++round) {
        QMap<QString, QString> form
            = PlatformTestClient::tradeForm(truck, shippers.first()["id"].toInt(), consignees.first()["id"].toInt());
        form.insert("request_id", QStringLiteral("%1").arg(round, 32, 10, QLatin1Char('0')));
        const auto pack = [&](PlatformTestClient* desk) { return desk->post("/trade/add/" + desk->suffix(), form); };
        auto fromA = std::async(std::launch::async, [&] { return pack(a.get()); });
        auto fromB = std::async(std::launch::async, [&] { return pack(b.get()); });
        const PlatformTestClient::Answer first = fromA.get();
        const PlatformTestClient::Answer second = fromB.get();
        QVERIFY2(first.success(), qPrintable(first.errors()));
        QCOMPARE(second.body, first.body);
        QCOMPARE(a->truck(truck).value("loads").toArray().size(), round);
    }
}

void TestPlatformSharedDatabase::failedSignInsCountOnEveryProcess()
{
    processes.push_back(std::make_unique<QProcess>());
    processes.push_back(std::make_unique<QProcess>());
    const int ports[] = { startProcess(*processes.at(processes.size() - 2)), startProcess(*processes.back()) };
    QVERIFY(ports[0] > 0 && ports[1] > 0);
    const auto signIn = [](int port, const QString& password) {
        return PlatformTestClient(port)
            .post(QStringLiteral("/auth/"), { { "username", "demo2" }, { "password", password } })
            .errors();
    };
    // Five wrong passwords, spread over both, are the free ones of the name
    // from this address; each process alone has seen fewer.
    for (int i = 0; i < 5; ++i)
        QCOMPARE(signIn(ports[i % 2], QStringLiteral("guess")), QStringLiteral("用户名或密码错误！"));
    for (const int port : ports) {
        const QString refused = signIn(port, QStringLiteral("load"));
        QVERIFY2(refused.startsWith(QStringLiteral("密码错误次数过多")), qPrintable(refused));
    }
}

void TestPlatformSharedDatabase::writeLimitsCountOnEveryProcess()
{
    // A station's daily cap is the station's, whichever process takes its
    // writes; a refused write counts nothing on either.
    const QStringList cap { "--parties-per-minute", "0", "--parties-per-day", "3" };
    processes.push_back(std::make_unique<QProcess>());
    processes.push_back(std::make_unique<QProcess>());
    const int ports[]
        = { startProcess(*processes.at(processes.size() - 2), cap), startProcess(*processes.back(), cap) };
    QVERIFY(ports[0] > 0 && ports[1] > 0);
    PlatformTestClient a(ports[0]);
    QVERIFY(a.login(QStringLiteral("demo")));
    PlatformTestClient b(ports[1]);
    QVERIFY(b.login(QStringLiteral("demo")));
    QVERIFY(a.addShipper(QStringLiteral("限额托运人甲")) > 0);
    QVERIFY(!b.post("/shipper/add/" + b.suffix(), PlatformTestClient::shipperForm(QString())).success());
    QVERIFY(b.addShipper(QStringLiteral("限额托运人乙")) > 0);
    QVERIFY(a.addConsignee(QStringLiteral("限额收货人甲")) > 0);
    for (PlatformTestClient* client : { &a, &b }) {
        const auto refused = client->post(
            "/consignee/add/" + client->suffix(), PlatformTestClient::consigneeForm(QStringLiteral("限额收货人乙")));
        QCOMPARE(refused.errors(), QStringLiteral("今天新增的托运人和收货人已达3个的上限，请明天再试！"));
    }
}

void TestPlatformSharedDatabase::unreachableDatabaseEndsTheStart_data()
{
    QTest::addColumn<QString>("database");
    QTest::newRow("no server on the port") << QStringLiteral("postgresql://freymo@127.0.0.1:1/freymo");
    QTest::newRow("no such host") << QStringLiteral("postgresql://freymo@no-such-host.invalid:5432/freymo");
}

void TestPlatformSharedDatabase::unreachableDatabaseEndsTheStart()
{
    QFETCH(QString, database);
    QProcess process;
    process.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE),
        { "--data-dir", seeded.dataDir(), "--database", database, "--port", "0", "--voice-port", "0" });
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(error.count(QLatin1Char('\n')), 1);
    QVERIFY2(error.startsWith(QStringLiteral("freymo-platform: cannot open postgresql://")), qPrintable(error));
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

void TestPlatformSharedDatabase::lostDatabaseIsRefusedThenServedAgain()
{
    if (!PlatformTestServer::onPostgreSQL())
        QSKIP("a SQLite file cannot go away");
    QString error;
    PostgresCluster* cluster = PostgresCluster::instance(&error);
    QVERIFY2(cluster, qPrintable(error));
    PlatformTestServer server(true, seeded.dataDir());
    QVERIFY(server.start());
    PlatformTestClient client(server.port());
    QVERIFY(client.login(QStringLiteral("demo")));
    QVERIFY(client.get("/shipper/" + client.suffix()).success());

    QVERIFY(cluster->stopServer());
    const auto refused = client.get("/shipper/" + client.suffix());
    QCOMPARE(refused.status, 200);
    QVERIFY(refused.isEnvelope());
    QVERIFY(!refused.success());
    QCOMPARE(refused.errors(), QStringLiteral("服务器繁忙，请稍后再试！"));

    QVERIFY(cluster->startServer());
    QTRY_VERIFY_WITH_TIMEOUT(client.get("/shipper/" + client.suffix()).success(), 20000);
    const auto added
        = client.post("/shipper/add/" + client.suffix(), PlatformTestClient::shipperForm(QStringLiteral("重连托运人")));
    QVERIFY2(added.success(), qPrintable(added.errors()));
}

void TestPlatformSharedDatabase::copyMovesAStationIntoAnEmptyDatabase()
{
    if (!PlatformTestServer::onPostgreSQL())
        QSKIP("the copy goes into PostgreSQL");
    QString error;
    PostgresCluster* cluster = PostgresCluster::instance(&error);
    QVERIFY2(cluster, qPrintable(error));
    const QString target = cluster->freshDatabaseUrl(&error);
    QVERIFY2(!target.isEmpty(), qPrintable(error));

    // A SQLite station with trades, edits and their history.
    QTemporaryDir folder;
    QString before;
    {
        qputenv("FREYMO_TEST_DATABASE", "sqlite");
        PlatformTestServer source(true, folder.path());
        const bool started = source.start();
        qputenv("FREYMO_TEST_DATABASE", "postgresql");
        QVERIFY(started);
        PlatformTestClient client(source.port());
        QVERIFY(client.login(QStringLiteral("demo")));
        const qint64 shipper = client.addShipper(QStringLiteral("搬家前托运人"));
        QVERIFY(shipper > 0);
        QMap<QString, QString> edit = PlatformTestClient::shipperForm(QStringLiteral("搬家前托运人乙"));
        edit.insert("id", QString::number(shipper));
        QVERIFY(client.post(QStringLiteral("/shipper/%1/edit/").arg(shipper) + client.suffix(), edit).success());
        before = QString::fromUtf8(QJsonDocument(client.allPages("/trade/")).toJson());
    }

    const auto copyTo = [&](QString* out) {
        QProcess process;
        process.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE), { "--data-dir", folder.path(), "copy-to", target });
        if (!process.waitForFinished(120000))
            return -1;
        *out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitCode();
    };
    QString out;
    QCOMPARE(copyTo(&out), 0);
    QVERIFY2(
        out.contains(QRegularExpression("^history: [1-9]\\d*$", QRegularExpression::MultilineOption)), qPrintable(out));
    QVERIFY2(out.contains("trades: "), qPrintable(out));

    // A second copy finds the database in use and changes nothing.
    QCOMPARE(copyTo(&out), 1);
    QVERIFY2(out.contains("not empty"), qPrintable(out));

    QProcess copied;
    copied.setProgram(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE));
    copied.setArguments({ "--data-dir", folder.path(), "--database", target, "--port", "0", "--voice-port", "0" });
    const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/api");
    copied.start();
    QByteArray output;
    QVERIFY(QTest::qWaitFor(
        [&] {
            output += copied.readAllStandardOutput();
            return listening.match(QString::fromUtf8(output)).hasMatch();
        },
        30000));
    PlatformTestClient client(listening.match(QString::fromUtf8(output)).captured(1).toInt());
    QVERIFY(client.login(QStringLiteral("demo")));
    QCOMPARE(QString::fromUtf8(QJsonDocument(client.allPages("/trade/")).toJson()), before);
    // New records take ids after the copied ones.
    QVERIFY(client.addShipper(QStringLiteral("搬家后托运人")) > 0);
    copied.terminate();
    QVERIFY(copied.waitForFinished(10000));
}

namespace {

// "table: column, column, ..." for each table, the columns sorted by name.
// A virtual table of SQLite (and the tables that hold its data) is how that
// engine spells an index, and is left out.
QStringList columnsOf(const platform::Storage& storage, bool postgres)
{
    const QSqlDatabase db = storage.connection();
    const QString query = postgres
        ? QStringLiteral("SELECT table_name, column_name FROM information_schema.columns"
                         " WHERE table_schema = 'public' ORDER BY table_name, column_name")
        : QStringLiteral("SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p"
                         " WHERE m.type = 'table' AND m.sql NOT LIKE 'CREATE VIRTUAL%'"
                         " AND NOT EXISTS (SELECT 1 FROM sqlite_master v WHERE v.sql LIKE 'CREATE VIRTUAL%'"
                         " AND m.name LIKE v.name || '\\_%' ESCAPE '\\') ORDER BY m.name, p.name");
    QMap<QString, QStringList> tables;
    platform::Sql q(db, query);
    q.exec();
    while (q.next())
        tables[q.text(0)].append(q.text(1));
    QStringList lines;
    for (auto it = tables.cbegin(); it != tables.cend(); ++it)
        lines.append(it.key() + QStringLiteral(": ") + it.value().join(QStringLiteral(", ")));
    return lines;
}

} // namespace

void TestPlatformSharedDatabase::bothEnginesHaveTheSameColumns()
{
    if (!PlatformTestServer::onPostgreSQL())
        QSKIP("compared on the run that has a PostgreSQL server");
    QTemporaryDir folder;
    platform::Storage sqlite;
    QString error;
    QVERIFY2(sqlite.open(QDir(folder.path()).filePath("platform.db"), &error), qPrintable(error));
    PostgresCluster* cluster = PostgresCluster::instance(&error);
    QVERIFY2(cluster, qPrintable(error));
    platform::DatabaseUrl url;
    QVERIFY2(platform::DatabaseUrl::parse(cluster->freshDatabaseUrl(&error), &url, &error), qPrintable(error));
    platform::Storage postgres;
    QVERIFY2(postgres.open(url, &error), qPrintable(error));

    // PostgreSQL keeps its schema version in a table (SQLite in the file's
    // header) and counts the changes that kept answers depend on in another.
    QStringList expected = columnsOf(sqlite, false);
    expected << QStringLiteral("data_changes: id, n") << QStringLiteral("schema_version: version");
    expected.sort();
    // PostgreSQL's search keeps a trade's four texts in a column of its own
    // for its trigram index; SQLite keeps them in its full-text table.
    QStringList actual = columnsOf(postgres, true);
    actual.replaceInStrings(QStringLiteral("search_text, "), QString());
    QCOMPARE(actual, expected);
}

QTEST_GUILESS_MAIN(TestPlatformSharedDatabase)
#include "tst_platformshareddatabase.moc"
