// A station of its own: accounts made by the admin commands of the real
// executable (also while a server runs on the same database), clerks who
// share their station's records and nothing else, and the history of every
// write.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"
#include "voiceswitch.h"

#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

const QString password = QStringLiteral("station-pw1");

// The next line from the voice switch, without its LF; empty when none came.
QByteArray voiceLine(QTcpSocket& socket)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(10000) && !socket.canReadLine())
            return {};
    }
    return socket.readLine().chopped(1);
}

} // namespace

class TestPlatformStation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void helpListsTheCommands();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void commandsTakeEffectOnTheRunningServer();
    void clerksShareTheirStationOnly();
    void historyRecordsEveryWrite();
    void historyOfAnotherStationIsRefused_data();
    void historyOfAnotherStationIsRefused();
    void newPasswordLiftsTheWaitOfGuesses();
    void voiceSessionsEndWithTheirAccount();
    void stationTextsReachTheTerminalPrintable();

private:
    Run admin(const QStringList& command, const QByteArray& input = QByteArray());
    std::unique_ptr<PlatformTestClient> signIn(const QString& login, const QString& secret = password);

    // The database that the executable and the in-process server share.
    PlatformTestServer server { false };
};

Run TestPlatformStation::admin(const QStringList& command, const QByteArray& input)
{
    QProcess process;
    process.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE), server.databaseArguments() + command);
    Run run;
    if (!process.waitForStarted(10000))
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

std::unique_ptr<PlatformTestClient> TestPlatformStation::signIn(const QString& login, const QString& secret)
{
    auto client = std::make_unique<PlatformTestClient>(server.port());
    if (!client->login(login, secret))
        return nullptr;
    return client;
}

void TestPlatformStation::initTestCase()
{
    QVERIFY(server.start());
    const QByteArray line = password.toUtf8() + '\n';
    const QList<QStringList> commands = {
        { "station", "add", "--name", QStringLiteral("东风货站"), "--contact", QStringLiteral("张三"), "--mobile",
            "13800001111", "--login", "dongfeng" },
        { "clerk", "add", "--station", "dongfeng", "--login", "li", "--name", QStringLiteral("李四") },
        { "clerk", "add", "--station", "dongfeng", "--login", "wang", "--name", QStringLiteral("王五") },
        { "station", "add", "--name", QStringLiteral("西山货站"), "--contact", QStringLiteral("赵六"), "--mobile",
            "05398123456", "--login", "xishan" },
        { "clerk", "add", "--station", "xishan", "--login", "zhou", "--name", QStringLiteral("周七") },
    };
    for (const QStringList& command : commands) {
        const Run run = admin(command, line);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY(run.out.startsWith(QStringLiteral("added ")));
    }
    const Run list = admin({ "list" });
    QCOMPARE(list.exitCode, 0);
    QVERIFY(list.out.contains(QStringLiteral("  li  clerk  李四")));
    QVERIFY(!list.out.contains(password));
}

void TestPlatformStation::helpListsTheCommands()
{
    const Run help = admin({ "--help" });
    QCOMPARE(help.exitCode, 0);
    for (const char* command : { "station add", "clerk add", "passwd LOGIN", "disable LOGIN", "enable LOGIN", "list" })
        QVERIFY2(help.out.contains(QLatin1String(command)), command);
}

void TestPlatformStation::refusalsChangeNothing_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    const QByteArray good = password.toUtf8() + '\n';
    const auto station = [](const QString& login, const QString& mobile) {
        return QStringList { "station", "add", "--name", QStringLiteral("新货站"), "--contact", QStringLiteral("钱八"),
            "--mobile", mobile, "--login", login };
    };
    QTest::newRow("duplicate login") << station("li", "13800002222") << good << 1;
    QTest::newRow("bad mobile") << station("fresh", "1380000x") << good << 1;
    QTest::newRow("mobile of no network") << station("fresh", "12345678901") << good << 1;
    QTest::newRow("short password") << station("fresh", "13800002222") << QByteArray("short12\n") << 1;
    QTest::newRow("no password") << station("fresh", "13800002222") << QByteArray() << 1;
    QTest::newRow("unknown station") << QStringList { "clerk", "add", "--station", "nowhere", "--login", "fresh",
        "--name", QStringLiteral("孙九") }
                                     << good << 1;
    QTest::newRow("a clerk is no station")
        << QStringList { "clerk", "add", "--station", "li", "--login", "fresh", "--name", QStringLiteral("孙九") }
        << good << 1;
    QTest::newRow("missing option") << QStringList { "clerk", "add", "--station", "dongfeng", "--login", "fresh" }
                                    << good << 2;
    QTest::newRow("password of nobody") << QStringList { "passwd", "nobody" } << good << 1;
    QTest::newRow("short new password") << QStringList { "passwd", "li" } << QByteArray("1234567\n") << 1;
    QTest::newRow("disable nobody") << QStringList { "disable", "nobody" } << QByteArray() << 1;
    QTest::newRow("password in the arguments") << QStringList { "passwd", "li", password } << good << 2;
}

void TestPlatformStation::refusalsChangeNothing()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    const QString before = admin({ "list" }).out;
    const Run run = admin(command, input);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    QCOMPARE(admin({ "list" }).out, before);
    QVERIFY(signIn("li"));
}

void TestPlatformStation::commandsTakeEffectOnTheRunningServer()
{
    auto first = signIn("wang");
    auto second = signIn("wang");
    QVERIFY(first && second);

    // Disabling ends every open session at once and stops new ones, the
    // voice switch's sign-in too.
    PlatformTestClient third(server.port());
    const QJsonObject voice = third.post("/auth/", { { "username", "wang" }, { "password", password } }).json;
    const auto voiceAccepted = [&] {
        const auto field = [&](const char* key) { return voice.value(QLatin1String(key)).toString().toStdString(); };
        return server.storage()->hasVoiceAccount(
            field("sub_account"), field("sub_account_pwd"), field("voip_account"), field("voip_pwd"));
    };
    QVERIFY(voiceAccepted());
    const Run disable = admin({ "disable", "wang" });
    QCOMPARE(disable.exitCode, 0);
    QVERIFY(disable.out.contains(QStringLiteral("ended 3")));
    QVERIFY(!first->get("/truck/" + first->suffix()).success());
    PlatformTestClient refused(server.port());
    QVERIFY(!refused.login("wang", password));
    QCOMPARE(refused.post("/auth/", { { "username", "wang" }, { "password", password } }).errors(),
        QStringLiteral("该账号已停用，请联系货站管理员！"));

    QVERIFY(!voiceAccepted());

    QCOMPARE(admin({ "enable", "wang" }).exitCode, 0);
    QVERIFY(voiceAccepted());
    auto again = signIn("wang");
    QVERIFY(again);

    // A new password ends the sessions of the old one.
    QCOMPARE(admin({ "passwd", "wang" }, "wang-new-pw\n").exitCode, 0);
    QVERIFY(!again->get("/truck/" + again->suffix()).success());
    QVERIFY(!signIn("wang"));
    QVERIFY(signIn("wang", "wang-new-pw"));
}

void TestPlatformStation::clerksShareTheirStationOnly()
{
    auto station = signIn("dongfeng");
    auto li = signIn("li");
    auto wang = signIn("wang", "wang-new-pw");
    auto zhou = signIn("zhou");
    QVERIFY(station && li && wang && zhou);
    QCOMPARE(li->organ(), station->organ());
    QCOMPARE(wang->organ(), station->organ());
    QVERIFY(li->user() != station->user() && li->user() != wang->user());
    QVERIFY(zhou->organ() != station->organ());

    const qint64 truck = li->addTruck(QStringLiteral("鲁Q10001"));
    QVERIFY(truck > 0);
    QCOMPARE(wang->truck(truck).value("number").toString(), QStringLiteral("鲁Q10001"));
    QCOMPARE(station->truck(truck).value("number").toString(), QStringLiteral("鲁Q10001"));
    QVERIFY(wang->post(QStringLiteral("/truck/%1/edit/").arg(truck) + wang->suffix(),
                    PlatformTestClient::truckForm(QStringLiteral("鲁Q10002")))
                .success());

    QVERIFY(zhou->truck(truck).isEmpty());
    QVERIFY(!zhou->post(QStringLiteral("/truck/%1/edit/").arg(truck) + zhou->suffix(),
                     PlatformTestClient::truckForm(QStringLiteral("鲁Q10003")))
                 .success());
    QVERIFY(!zhou->get(QStringLiteral("/truck/%1/delete/").arg(truck) + zhou->suffix()).success());

    // The profile is the station's, whoever asks.
    const QJsonObject profile = li->get("/mine/profile/" + li->suffix()).data();
    QCOMPARE(profile.value("organ").toString(), QStringLiteral("东风货站"));
    QCOMPARE(profile.value("name").toString(), QStringLiteral("张三"));
}

void TestPlatformStation::historyRecordsEveryWrite()
{
    auto li = signIn("li");
    auto station = signIn("dongfeng");
    QVERIFY(li && station);
    const qint64 truck = li->addTruck(QStringLiteral("鲁Q20001"));
    const qint64 shipper = li->addShipper(QStringLiteral("历史测试托运人"));
    const qint64 consignee = li->addConsignee(QStringLiteral("历史测试收货人"));
    const qint64 trade = li->addTrade(truck, shipper, consignee);
    QVERIFY(truck > 0 && shipper > 0 && consignee > 0 && trade > 0);

    QMap<QString, QString> tradeForm = PlatformTestClient::tradeForm(truck, shipper, consignee);
    tradeForm["goods"] = QStringLiteral("钢材");
    QVERIFY(station->post(QStringLiteral("/trade/%1/edit/").arg(trade) + station->suffix(), tradeForm).success());
    // A refused write leaves no entry.
    tradeForm["weight"] = "-1";
    QVERIFY(!station->post(QStringLiteral("/trade/%1/edit/").arg(trade) + station->suffix(), tradeForm).success());
    QVERIFY(li->post(QStringLiteral("/trade/%1/status/change/").arg(trade) + li->suffix(),
                  { { "payout_status", "2" }, { "agency_status", "-1" } })
                .success());
    QVERIFY(li->get(QStringLiteral("/truck/%1/work/").arg(truck) + li->suffix()).success());
    QVERIFY(!li->get(QStringLiteral("/truck/%1/work/").arg(truck) + li->suffix()).success());
    QVERIFY(li->get(QStringLiteral("/truck/%1/sleep/").arg(truck) + li->suffix()).success());
    QVERIFY(li->get(QStringLiteral("/shipper/%1/delete/").arg(shipper) + li->suffix()).success());

    const auto history = [&](const QString& kind, qint64 id) {
        const PlatformTestClient::Answer answer
            = li->get(QStringLiteral("/%1/%2/history/").arg(kind).arg(id) + li->suffix());
        QStringList lines;
        for (const QJsonValue& value : answer.array()) {
            const QJsonObject entry = value.toObject();
            QString line = entry.value("user").toString() + ' ' + entry.value("name").toString() + ' '
                + entry.value("action").toString();
            const QJsonObject changes = entry.value("changes").toObject();
            for (auto it = changes.begin(); it != changes.end(); ++it) {
                const QJsonArray pair = it.value().toArray();
                line += ' ' + it.key() + '=' + pair.at(0).toVariant().toString() + '>'
                    + pair.at(1).toVariant().toString();
            }
            if (!QDateTime::fromString(entry.value("time").toString(), "yyyy-MM-dd HH:mm:ss").isValid())
                line += QStringLiteral(" (bad time)");
            lines.append(line);
        }
        return lines;
    };
    QCOMPARE(history("trade", trade),
        QStringList({ QStringLiteral("li 李四 add"), QStringLiteral("dongfeng 张三 edit goods=瓷砖>钢材"),
            QStringLiteral("li 李四 settle payout_status=0>2"), QStringLiteral("li 李四 status status=0>1"),
            QStringLiteral("li 李四 status status=1>2") }));
    QCOMPARE(history("truck", truck),
        QStringList({ QStringLiteral("li 李四 add"), QStringLiteral("li 李四 status status=0>1"),
            QStringLiteral("li 李四 status status=1>0") }));
    QCOMPARE(
        history("shipper", shipper), QStringList({ QStringLiteral("li 李四 add"), QStringLiteral("li 李四 delete") }));
    QCOMPARE(history("consignee", consignee), QStringList { QStringLiteral("li 李四 add") });
}

void TestPlatformStation::historyOfAnotherStationIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("truck") << "truck";
    QTest::newRow("shipper") << "shipper";
    QTest::newRow("consignee") << "consignee";
    QTest::newRow("trade") << "trade";
}

void TestPlatformStation::historyOfAnotherStationIsRefused()
{
    QFETCH(QString, kind);
    auto li = signIn("li");
    auto zhou = signIn("zhou");
    QVERIFY(li && zhou);
    const qint64 truck = li->addTruck(QStringLiteral("鲁Q3%1").arg(qHash(kind) % 10000, 4, 10, QLatin1Char('0')));
    const qint64 shipper = li->addShipper(QStringLiteral("隔离托运人") + kind);
    const qint64 consignee = li->addConsignee(QStringLiteral("隔离收货人") + kind);
    const qint64 trade = li->addTrade(truck, shipper, consignee);
    const QMap<QString, qint64> ids
        = { { "truck", truck }, { "shipper", shipper }, { "consignee", consignee }, { "trade", trade } };
    const QString path = QStringLiteral("/%1/%2/history/").arg(kind).arg(ids.value(kind));
    QCOMPARE(li->get(path + li->suffix()).array().size(), 1);
    const PlatformTestClient::Answer foreign = zhou->get(path + zhou->suffix());
    QVERIFY(foreign.isEnvelope() && !foreign.success() && !foreign.errors().isEmpty());
    QVERIFY(!li->get(QStringLiteral("/%1/999999/history/").arg(kind) + li->suffix()).success());
}

void TestPlatformStation::newPasswordLiftsTheWaitOfGuesses()
{
    // The owner who forgot the password guessed until held up; the password
    // the administrator sets lets them in at once, from the same address.
    PlatformTestClient client(server.port());
    const auto signInWith = [&](const QString& secret) {
        return client.post("/auth/", { { "username", "zhou" }, { "password", secret } }).errors();
    };
    for (int i = 0; i < 5; ++i)
        QCOMPARE(signInWith(QStringLiteral("forgotten-%1").arg(i)), QStringLiteral("用户名或密码错误！"));
    QVERIFY(signInWith(password).startsWith(QStringLiteral("密码错误次数过多")));
    QCOMPARE(admin({ "passwd", "zhou" }, "zhou-new-pw\n").exitCode, 0);
    QCOMPARE(signInWith(QStringLiteral("zhou-new-pw")), QString());
}

void TestPlatformStation::voiceSessionsEndWithTheirAccount()
{
    // The voice switch as the platform hosts it, on this database.
    platform::Storage* storage = server.storage();
    using Account = voiceswitch::VoiceSwitch::Account;
    voiceswitch::VoiceSwitch voice(
        [storage](const std::string& sub, const std::string& subPwd, const std::string& voip, const std::string& pwd) {
            switch (storage->checkVoiceAccount(sub, subPwd, voip, pwd)) {
            case platform::Storage::VoiceAccount::Held:
                return Account::Accepted;
            case platform::Storage::VoiceAccount::NotHeld:
                return Account::Refused;
            case platform::Storage::VoiceAccount::Unknown:
                break;
            }
            return Account::Unknown;
        });
    QVERIFY(voice.start("127.0.0.1", 0));
    QCOMPARE(admin({ "clerk", "add", "--station", "dongfeng", "--login", "sun", "--name", QStringLiteral("孙九") },
                 password.toUtf8() + '\n')
                 .exitCode,
        0);
    // Signs in over HTTP on `port`, then to the switch with the voice account.
    const auto openSession = [&](QTcpSocket& socket, const QString& secret, int port) {
        PlatformTestClient client(port);
        const QJsonObject account = client.post("/auth/", { { "username", "sun" }, { "password", secret } }).json;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(voice.port()));
        if (!socket.waitForConnected(10000) || voiceLine(socket) != "HELLO FVP/1")
            return false;
        QByteArray login = QByteArray("LOGIN ") + voiceswitch::VoiceSwitch::DefaultApplicationId + ' '
            + voiceswitch::VoiceSwitch::DefaultApplicationToken;
        for (const char* key : { "sub_account", "sub_account_pwd", "voip_account", "voip_pwd" })
            login += ' ' + account.value(QLatin1String(key)).toString().toUtf8();
        socket.write(login + '\n');
        return voiceLine(socket) == "LOGIN-OK";
    };
    const auto keepAlive = [](QTcpSocket& socket) {
        socket.write("PING\n");
        return voiceLine(socket);
    };

    // Stopped by the administrator, from another process.
    QTcpSocket stopped;
    QVERIFY(openSession(stopped, password, server.port()));
    QCOMPARE(keepAlive(stopped), QByteArray("PONG"));
    QCOMPARE(admin({ "disable", "sun" }).exitCode, 0);
    QCOMPARE(keepAlive(stopped), QByteArray("BYE"));
    QCOMPARE(admin({ "enable", "sun" }).exitCode, 0);

    // A new password from the administrator.
    QTcpSocket renewed;
    QVERIFY(openSession(renewed, password, server.port()));
    QCOMPARE(admin({ "passwd", "sun" }, "sun-new-pw1\n").exitCode, 0);
    QCOMPARE(keepAlive(renewed), QByteArray("BYE"));

    // A password changed through another platform process on the database.
    PlatformTestServer other(false, server.dataDir());
    QVERIFY(other.start());
    QTcpSocket changed;
    QVERIFY(openSession(changed, QStringLiteral("sun-new-pw1"), server.port()));
    PlatformTestClient elsewhere(other.port());
    QVERIFY(elsewhere.login("sun", QStringLiteral("sun-new-pw1")));
    QVERIFY(elsewhere
                .post("/mine/password/edit/" + elsewhere.suffix(),
                    { { "old_password", "sun-new-pw1" }, { "new_password", "sun-new-pw2" } })
                .success());
    QCOMPARE(keepAlive(changed), QByteArray("BYE"));
    QTcpSocket again;
    QVERIFY(openSession(again, QStringLiteral("sun-new-pw2"), other.port()));
    QCOMPARE(keepAlive(again), QByteArray("PONG"));
}

void TestPlatformStation::stationTextsReachTheTerminalPrintable()
{
    // What a station writes into its profile is stored without control
    // characters; line breaks stay in the summary.
    auto station = signIn("dongfeng");
    QVERIFY(station);
    QVERIFY(
        station
            ->post("/mine/profile/edit/" + station->suffix(),
                { { "name", QStringLiteral("张\u001b[31m三") }, { "summary", QStringLiteral("一行\r\n二行\u0007") } })
            .success());
    const QJsonObject profile = station->get("/mine/profile/" + station->suffix()).data();
    QCOMPARE(profile.value("name").toString(), QStringLiteral("张[31m三"));
    QCOMPARE(profile.value("summary").toString(), QStringLiteral("一行\n二行"));

    // What the database held from before reaches the administrator's
    // terminal as printable text.
    platform::Sql stored(server.storage()->connection(), QStringLiteral("UPDATE organs SET linkman = ? WHERE id = ?"));
    stored.bind(QStringLiteral("张\u001b]0;owned\u0007三")).bind(station->organ()).exec();
    const Run list = admin({ "list" });
    QCOMPARE(list.exitCode, 0);
    QVERIFY2(list.out.contains(QStringLiteral("(contact 张?]0;owned?三, ")), qPrintable(list.out));
    for (const QChar c : list.out)
        QVERIFY2(c.isPrint() || c == QLatin1Char('\n'), qPrintable(list.out));
    QVERIFY(station->post("/mine/profile/edit/" + station->suffix(), { { "name", QStringLiteral("张三") } }).success());
}

QTEST_GUILESS_MAIN(TestPlatformStation)
#include "tst_platformstation.moc"
