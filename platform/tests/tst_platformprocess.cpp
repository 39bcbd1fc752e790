// The freymo-platform executable itself: its command line, the line that
// tells the real port, requests from outside, and a clean stop on signals.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "voiceswitch.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <csignal>

namespace {

// The next line from the voice switch without its LF; empty when none came
// within 10 s.
QByteArray voiceLine(QTcpSocket& socket)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(10000) && !socket.canReadLine())
            return {};
    }
    return socket.readLine().chopped(1);
}

// Signs in to the voice switch with the voice account of a login answer;
// the switch's answer, or what it said instead of its greeting.
QByteArray voiceSignIn(QTcpSocket& socket, int port, const QJsonObject& account)
{
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!socket.waitForConnected(10000))
        return {};
    const QByteArray greeting = voiceLine(socket);
    if (greeting != "HELLO FVP/1")
        return greeting;
    QByteArray login = QByteArray("LOGIN ") + voiceswitch::VoiceSwitch::DefaultApplicationId + ' '
        + voiceswitch::VoiceSwitch::DefaultApplicationToken;
    for (const char* key : { "sub_account", "sub_account_pwd", "voip_account", "voip_pwd" })
        login += ' ' + account.value(QLatin1String(key)).toString().toLatin1();
    socket.write(login + '\n');
    return voiceLine(socket);
}

} // namespace

class TestPlatformProcess : public QObject
{
    Q_OBJECT

private slots:
    void helpListsEveryFlag();
    void badCommandLinesAreRefused_data();
    void badCommandLinesAreRefused();
    void servesOnTheAnnouncedPortAndStopsCleanly_data();
    void servesOnTheAnnouncedPortAndStopsCleanly();
    void writeLimitsFollowTheFlags_data();
    void writeLimitsFollowTheFlags();
    void passwordChangeEndsTheVoiceSecretsAndSessions();
    void dataStaysPrivateAndIsNotCopiedWhileServed();

private:
    // Starts the server and reads the port from its "listening on" line; -1
    // on failure. What was read of standard output is added to `output`.
    static int startServer(QProcess& process, const QStringList& arguments, QByteArray* output);
};

int TestPlatformProcess::startServer(QProcess& process, const QStringList& arguments, QByteArray* output)
{
    process.setProgram(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE));
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(10000))
        return -1;
    const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/api");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        const auto match = listening.match(QString::fromUtf8(*output));
        if (match.hasMatch())
            return match.captured(1).toInt();
        if (!process.waitForReadyRead(1000) && process.state() != QProcess::Running)
            return -1;
        *output += process.readAllStandardOutput();
    }
    return -1;
}

void TestPlatformProcess::helpListsEveryFlag()
{
    QProcess process;
    process.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE), { "--help" });
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* flag : { "--address", "--port", "--data-dir", "--seed-demo", "--announce-version", "--installer",
             "--voice-port", "--voice-max-connections", "--voice-max-connections-per-address", "--voice-login-timeout",
             "--voice-idle-timeout", "--voice-max-connections-per-group", "--voice-reserved-percent",
             "--record-writes-per-day", "--max-trucks-per-station", "--unread-answers-per-group-mib",
             "--unread-answers-mib", "--metrics-address", "--metrics-port", "--proxy-protocol-from", "--help" })
        QVERIFY2(help.contains(QLatin1String(flag)), flag);
}

void TestPlatformProcess::badCommandLinesAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port not a number") << QStringList { "--port", "http" };
    QTest::newRow("port out of range") << QStringList { "--port", "70000" };
    QTest::newRow("voice port negative") << QStringList { "--voice-port", "-1" };
    QTest::newRow("metrics port out of range") << QStringList { "--metrics-port", "65536" };
    QTest::newRow("write limit negative") << QStringList { "--feedback-per-day", "-1" };
    QTest::newRow("write limit not a number") << QStringList { "--parties-per-minute", "many" };
    QTest::newRow("no voice connections") << QStringList { "--voice-max-connections", "0" };
    QTest::newRow("voice idle timeout below the keep-alive") << QStringList { "--voice-idle-timeout", "20" };
    QTest::newRow("voice slots all reserved") << QStringList { "--voice-reserved-percent", "95" };
    QTest::newRow("no room for unread answers") << QStringList { "--unread-answers-mib", "0" };
    QTest::newRow("unknown flag") << QStringList { "--colour" };
    QTest::newRow("stray argument") << QStringList { "serve" };
}

void TestPlatformProcess::badCommandLinesAreRefused()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    QProcess process;
    process.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE), arguments + QStringList { "--data-dir", dir.path() });
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void TestPlatformProcess::servesOnTheAnnouncedPortAndStopsCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestPlatformProcess::servesOnTheAnnouncedPortAndStopsCleanly()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    int voicePort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        voicePort = probe.serverPort();
    }
    const QStringList arguments = { "--port", "0", "--data-dir", dir.path(), "--seed-demo", "--announce-version", "2.0",
        "--voice-port", QString::number(voicePort) };
    qint64 truck = 0;
    {
        QProcess process;
        QByteArray early;
        const int port = startServer(process, arguments, &early);
        QVERIFY(port > 0);
        {
            PlatformTestClient client(port);
            QVERIFY(client.login("demo"));
            QCOMPARE(
                client.get("/system/version/windesktop/").data().value("version").toString(), QStringLiteral("2.0"));
            truck = client.addTruck(QStringLiteral("鲁Q80808"));
            QVERIFY(truck > 0);
        }
        // The voice switch runs, with a session open, when the signal comes.
        QTcpSocket voice;
        voice.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(voicePort));
        QVERIFY(voice.waitForReadyRead(10000));
        QCOMPARE(voice.readLine(), QByteArray("HELLO FVP/1\n"));

        ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString output = QString::fromUtf8(early + process.readAllStandardOutput());
        QVERIFY(output.contains(dir.path()));
        QVERIFY(output.contains("stopped"));
        // The request log went to standard error, one line per request.
        const QString log = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(log.contains(QRegularExpression("POST /api/truck/add/ 200 \\d+\\.\\d\\d ms")), qPrintable(log));
    }
    // Started again on the same folder: the records are there, the demo was not seeded twice.
    QProcess process;
    QByteArray output;
    const int port = startServer(process, arguments, &output);
    QVERIFY(port > 0);
    QVERIFY(!output.contains("demo stations"));
    {
        PlatformTestClient client(port);
        QVERIFY(client.login("demo"));
        QCOMPARE(client.truck(truck).value("number").toString(), QStringLiteral("鲁Q80808"));
        QCOMPARE(client.allPages("/shipper/").size(), 30);
    }
    process.terminate();
    QVERIFY(process.waitForFinished(15000));
    QCOMPARE(process.exitCode(), 0);
}

void TestPlatformProcess::writeLimitsFollowTheFlags_data()
{
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("secondRefusal");
    QTest::newRow("feedback a day") << QStringList { "--feedback-per-day", "1" } << "/system/feedback/add/"
                                    << QStringLiteral("今天的反馈已达1条的上限，请明天再试！");
    QTest::newRow("visits a day") << QStringList { "--visits-per-day", "1" } << "/system/visit/start/"
                                  << QStringLiteral("今天的访问记录已达1条的上限，请明天再试！");
    QTest::newRow("shippers a minute") << QStringList { "--parties-per-minute", "1" } << "/shipper/add/"
                                       << QStringLiteral("操作过于频繁，请稍后再试！");
    QTest::newRow("trades a minute") << QStringList { "--record-writes-per-minute", "1" } << "/trade/add/"
                                     << QStringLiteral("操作过于频繁，请稍后再试！");
    QTest::newRow("trades a day") << QStringList { "--record-writes-per-day", "1" } << "/trade/add/"
                                  << QStringLiteral("今天修改的记录已达1次的上限，请明天再试！");
}

void TestPlatformProcess::writeLimitsFollowTheFlags()
{
    QFETCH(QStringList, flags);
    QFETCH(QString, path);
    QFETCH(QString, secondRefusal);
    QTemporaryDir dir;
    QProcess process;
    QByteArray output;
    // No voice switch: the default port may be another suite's at the moment.
    const int port = startServer(process,
        flags + QStringList { "--port", "0", "--voice-port", "0", "--data-dir", dir.path(), "--seed-demo" }, &output);
    QVERIFY(port > 0);
    {
        PlatformTestClient client(port);
        QVERIFY(client.login("demo"));
        const auto form = [&](int serial) -> QMap<QString, QString> {
            if (path.startsWith(QLatin1String("/shipper")))
                return PlatformTestClient::shipperForm(QStringLiteral("旗标托运%1").arg(serial));
            if (path.startsWith(QLatin1String("/trade"))) {
                const QJsonObject truck = client.get("/truck/0/" + client.suffix()).array().first().toObject();
                const QJsonObject shipper = client.get("/shipper/" + client.suffix()).array().first().toObject();
                const QJsonObject consignee = client.get("/consignee/" + client.suffix()).array().first().toObject();
                return PlatformTestClient::tradeForm(truck.value("id").toVariant().toLongLong(),
                    shipper.value("id").toVariant().toLongLong(), consignee.value("id").toVariant().toLongLong());
            }
            return { { "type", "1" }, { "content", "好用" }, { "sessionid", QStringLiteral("s%1").arg(serial) } };
        };
        const auto first = client.post(path + client.suffix(), form(1));
        QVERIFY2(first.success(), qPrintable(first.errors()));
        QCOMPARE(client.post(path + client.suffix(), form(2)).errors(), secondRefusal);
    }
    process.terminate();
    QVERIFY(process.waitForFinished(15000));
}

void TestPlatformProcess::passwordChangeEndsTheVoiceSecretsAndSessions()
{
    QTemporaryDir dir;
    int voicePort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        voicePort = probe.serverPort();
    }
    QProcess process;
    QByteArray output;
    const int port = startServer(process,
        { "--port", "0", "--data-dir", dir.path(), "--seed-demo", "--voice-port", QString::number(voicePort),
            "--voice-max-connections-per-address", "2" },
        &output);
    QVERIFY(port > 0);
    PlatformTestClient client(port);
    const auto login = [&client](const QString& name, const QString& password) {
        return client.post(QStringLiteral("/auth/"), { { "username", name }, { "password", password } }).json;
    };
    const QJsonObject before = login("demo", "load");
    const QJsonObject neighbour = login("demo2", "load");
    QTcpSocket session;
    QTcpSocket neighbourSession;
    QCOMPARE(voiceSignIn(session, voicePort, before), QByteArray("LOGIN-OK"));
    QCOMPARE(voiceSignIn(neighbourSession, voicePort, neighbour), QByteArray("LOGIN-OK"));
    // The limit per address is the command line's.
    const QByteArray busy("ERR 503 too%20many%20sessions%20from%20this%20address");
    QTcpSocket third;
    QCOMPARE(voiceSignIn(third, voicePort, before), busy);

    const QString suffix
        = QStringLiteral("?token=%1&user=%2").arg(before.value("token").toString()).arg(before.value("user").toInt());
    const auto changed
        = client.post("/mine/password/edit/" + suffix, { { "old_password", "load" }, { "new_password", "cargo-van" } });
    QVERIFY2(changed.success(), qPrintable(changed.errors()));
    QCOMPARE(voiceLine(session), QByteArray("BYE"));
    QVERIFY(session.state() == QAbstractSocket::UnconnectedState || session.waitForDisconnected(10000));
    neighbourSession.write("PING\n");
    QCOMPARE(voiceLine(neighbourSession), QByteArray("PONG"));

    // The secrets captured before no longer sign in; the next login hands out
    // new ones, for the same accounts, that do.
    const auto signInAnew = [voicePort](const QJsonObject& account) {
        QTcpSocket socket;
        return voiceSignIn(socket, voicePort, account);
    };
    QByteArray stale;
    QTRY_VERIFY((stale = signInAnew(before)) != busy);
    QCOMPARE(stale, QByteArray("LOGIN-ERR 403 voice%20account%20refused"));
    const QJsonObject after = login("demo", "cargo-van");
    QCOMPARE(after.value("sub_account"), before.value("sub_account"));
    QCOMPARE(after.value("voip_account"), before.value("voip_account"));
    QVERIFY(after.value("sub_account_pwd") != before.value("sub_account_pwd"));
    QVERIFY(after.value("voip_pwd") != before.value("voip_pwd"));
    QByteArray fresh;
    QTRY_VERIFY((fresh = signInAnew(after)) != busy);
    QCOMPARE(fresh, QByteArray("LOGIN-OK"));

    process.terminate();
    QVERIFY(process.waitForFinished(15000));
    QCOMPARE(process.exitCode(), 0);
}

void TestPlatformProcess::dataStaysPrivateAndIsNotCopiedWhileServed()
{
    if (PlatformTestServer::onPostgreSQL())
        QSKIP("the data folder holds a SQLite file");
    // A manual run under a common umask: the folder it makes and the files
    // (password hashes, voice secrets) are the owner's alone all the same.
    QTemporaryDir parent;
    const QString dir = parent.filePath("data");
    const mode_t umask = ::umask(022);
    QProcess process;
    QByteArray output;
    const int port
        = startServer(process, { "--port", "0", "--data-dir", dir, "--seed-demo", "--voice-port", "0" }, &output);
    ::umask(umask);
    QVERIFY(port > 0);
    QVERIFY(PlatformTestClient(port).login("demo"));
    const auto mode = [](const QString& path) {
        struct stat info
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    };
    QCOMPARE(mode(dir), 0700);
    for (const char* suffix : { "", "-wal", "-shm" })
        QCOMPARE(mode(dir + "/platform.db" + suffix), 0600);

    // A copy of the file while the service still writes it is refused; once
    // the service stopped, it goes ahead (here to a database that is not
    // there).
    const auto copy = [&] {
        QProcess copying;
        copying.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE),
            { "--data-dir", dir, "copy-to", "postgresql://nobody@127.0.0.1:1/nothing" });
        copying.waitForFinished(30000);
        return QString::number(copying.exitCode()) + ' ' + QString::fromUtf8(copying.readAllStandardError());
    };
    const QString whileServed = copy();
    QVERIFY2(whileServed.startsWith("1 ") && whileServed.contains("stop it first"), qPrintable(whileServed));
    process.terminate();
    QVERIFY(process.waitForFinished(15000));
    const QString afterwards = copy();
    QVERIFY2(afterwards.startsWith("1 ") && !afterwards.contains("stop it first"), qPrintable(afterwards));
}

QTEST_GUILESS_MAIN(TestPlatformProcess)
#include "tst_platformprocess.moc"
