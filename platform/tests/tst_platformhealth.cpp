// What a balancer and a monitoring system see of the platform: the health
// check, and the metrics on their own port.

#include "platformmetrics.h"
#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"
#include "support/postgrescluster.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The value of the sample `series` (name and labels as written) in a text
// exposition; -1 when it is not there.
double sample(const QString& text, const QString& series)
{
    const QRegularExpression line(
        QStringLiteral("^%1 (\\S+)$").arg(QRegularExpression::escape(series)), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

} // namespace

class TestPlatformHealth : public QObject
{
    Q_OBJECT

private slots:
    void healthAnswersWithoutASession_data();
    void healthAnswersWithoutASession();
    void healthIs503WhileTheDatabaseIsDown();
    void metricsParseAndMove();
};

void TestPlatformHealth::healthAnswersWithoutASession_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::newRow("GET") << QByteArray("GET");
    QTest::newRow("HEAD") << QByteArray("HEAD");
}

void TestPlatformHealth::healthAnswersWithoutASession()
{
    QFETCH(QByteArray, method);
    PlatformTestServer server;
    QVERIFY(server.start());
    PlatformTestClient client(server.port());
    const PlatformTestClient::Answer answer = client.raw(method.toStdString(), "/api/health/");
    QCOMPARE(answer.status, 200);
    if (method == "GET") {
        QVERIFY(answer.isEnvelope() && answer.success());
        QCOMPARE(answer.data().value(QStringLiteral("database")).toString(), QStringLiteral("ok"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"))
                    .match(answer.data().value(QStringLiteral("version")).toString())
                    .hasMatch());
    }
}

void TestPlatformHealth::healthIs503WhileTheDatabaseIsDown()
{
    if (!PlatformTestServer::onPostgreSQL())
        QSKIP("a SQLite file cannot go away");
    QString error;
    PostgresCluster* cluster = PostgresCluster::instance(&error);
    QVERIFY2(cluster, qPrintable(error));
    PlatformTestServer server;
    QVERIFY(server.start());
    PlatformTestClient client(server.port());
    QCOMPARE(client.get(QStringLiteral("/health/")).status, 200);
    // This thread's own connection, which the outage drops.
    QSqlDatabase mine = server.storage()->connection();
    const QString series = QStringLiteral("freymo_platform_database_reconnections_total");
    const double reconnections = sample(QString::fromStdString(platform::PlatformMetrics::instance().text()), series);

    QVERIFY(cluster->stopServer());
    QVERIFY_EXCEPTION_THROWN(platform::Sql::scalar(mine, QStringLiteral("SELECT 1")), platform::Sql::Error);
    mine = QSqlDatabase();
    for (int asked = 0; asked < 2; ++asked) {
        const PlatformTestClient::Answer down = client.get(QStringLiteral("/health/"));
        QCOMPARE(down.status, 503);
        QVERIFY(down.isEnvelope() && !down.success());
        QCOMPARE(down.data().value(QStringLiteral("database")).toString(), QStringLiteral("unavailable"));
    }

    QVERIFY(cluster->startServer());
    QTRY_COMPARE_WITH_TIMEOUT(client.get(QStringLiteral("/health/")).status, 200, 20000);
    QCOMPARE(platform::Sql::scalar(server.storage()->connection(), QStringLiteral("SELECT 1")).toInt(), 1);
    QVERIFY(sample(QString::fromStdString(platform::PlatformMetrics::instance().text()), series) > reconnections);
}

void TestPlatformHealth::metricsParseAndMove()
{
    int metricsPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        metricsPort = probe.serverPort();
    }
    PlatformTestServer seeded;
    QVERIFY(seeded.start());
    seeded.stop();
    QProcess process;
    process.setProgram(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE));
    process.setArguments(seeded.databaseArguments()
        + QStringList { "--port", "0", "--voice-port", "0", "--metrics-port", QString::number(metricsPort) });
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    QByteArray said;
    const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/api");
    QTRY_VERIFY_WITH_TIMEOUT(
        listening.match(QString::fromUtf8(said += process.readAllStandardOutput())).hasMatch(), 30000);
    // Loopback unless told otherwise.
    QVERIFY2(said.contains(QStringLiteral("metrics on http://127.0.0.1:%1/metrics").arg(metricsPort).toUtf8()), said);
    PlatformTestClient client(listening.match(QString::fromUtf8(said)).captured(1).toInt());
    const auto scrape = [&] {
        // A connection a scrape, as Prometheus makes them.
        const PlatformTestClient::Answer answer = PlatformTestClient(metricsPort).raw("GET", "/metrics");
        return answer.status == 200 ? QString::fromUtf8(answer.body) : QString();
    };

    // Ends the server also when a check fails.
    const std::unique_ptr<QProcess, void (*)(QProcess*)> stopper(&process, [](QProcess* running) {
        running->terminate();
        running->waitForFinished(15000);
    });
    const QString before = scrape();
    QVERIFY(!before.isEmpty());
    QVERIFY(client.login(QStringLiteral("demo")));
    // More reads of the board than the server has workers, each of which
    // keeps its own answers: one at least finds the answer kept.
    for (int board = 0; board < 20; ++board)
        QVERIFY(client.get(QStringLiteral("/truck/") + client.suffix()).success());
    QVERIFY(client.addShipper(QStringLiteral("度量托运人")) > 0);
    const std::string tooLarge = "notes=" + std::string(20000, 'x');
    QVERIFY(!client.raw("POST", ("/api/shipper/add/" + client.suffix()).toStdString(), tooLarge).success());

    // A request is counted once its answer has gone out, which the client
    // may see first: each count is scraped until it shows.
    QString after;
    const auto moved = [&](const QString& series) {
        after = scrape();
        return sample(after, series) - std::max(0.0, sample(before, series));
    };
    QTRY_COMPARE(moved(QStringLiteral("freymo_platform_requests_total{route=\"auth\",status=\"200\"}")), 1.0);
    QTRY_COMPARE(moved(QStringLiteral("freymo_platform_request_duration_seconds_count{route=\"truck\"}")), 20.0);
    QTRY_COMPARE(moved(QStringLiteral("freymo_platform_refusals_total{limit=\"body_size\"}")), 1.0);
    QVERIFY(moved(QStringLiteral("freymo_platform_answer_reuse_total{result=\"hit\"}")) >= 1);
    QVERIFY(moved(QStringLiteral("freymo_platform_write_lock_wait_seconds_count")) >= 1);
    QVERIFY(sample(after, QStringLiteral("freymo_platform_sessions")) >= 1);
    QVERIFY(sample(after, QStringLiteral("freymo_platform_open_connections")) >= 1);

    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool is missing (Debian package prometheus; ./test.sh installs it): the format is not checked");
    QProcess check;
    check.start(promtool, { QStringLiteral("check"), QStringLiteral("metrics") });
    QVERIFY(check.waitForStarted());
    check.write(after.toUtf8());
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(30000));
    QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput() + check.readAllStandardError());
}

QTEST_GUILESS_MAIN(TestPlatformHealth)
#include "tst_platformhealth.moc"
