// Sign-in, sessions and the station-level requests of the platform.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>

class TestPlatformSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void loginAnswersTheSessionAndTheVoiceAccount();
    void loginRefusesWithAMessage_data();
    void loginRefusesWithAMessage();
    void everySignedRequestChecksTheToken_data();
    void everySignedRequestChecksTheToken();
    void dictionaryProfileAndContacts();
    void profileEditStaysInTheOwnStation();
    void passwordChangeEndsTheOtherSessions();
    void versionAndInstallerFollowTheFlags();
    void visitRecordsStartAndEnd();
    void onlyAPathThatNamesNoRequestIs404_data();
    void onlyAPathThatNamesNoRequestIs404();
    void requestLogHasOneLinePerRequestWithoutTheToken();

private:
    PlatformTestServer server;
    // Signed in once: Argon2 makes every sign-in take a while on purpose.
    std::unique_ptr<PlatformTestClient> demo;
    std::unique_ptr<PlatformTestClient> demo2;
};

void TestPlatformSession::initTestCase()
{
    QVERIFY(server.start());
    demo = std::make_unique<PlatformTestClient>(server.port());
    demo2 = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(demo->login("demo"));
    QVERIFY(demo2->login("demo2"));
}

void TestPlatformSession::loginAnswersTheSessionAndTheVoiceAccount()
{
    PlatformTestClient client(server.port());
    const auto answer = client.post(QStringLiteral("/auth/"), { { "username", "demo" }, { "password", "load" } });
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.success());
    QCOMPARE(answer.errors(), QString());
    QVERIFY(answer.integer("user") > 0);
    QVERIFY(answer.integer("organ") > 0);
    const QString token = answer.json.value("token").toString();
    QVERIFY(token.size() >= 32);

    const QStringList voiceKeys = { "sub_account", "sub_account_pwd", "voip_account", "voip_pwd" };
    for (const QString& key : voiceKeys)
        QVERIFY2(!answer.json.value(key).toString().isEmpty(), qPrintable(key));
    const auto voice = [&](const QString& key) { return answer.json.value(key).toString().toStdString(); };
    QVERIFY(server.storage()->hasVoiceAccount(
        voice("sub_account"), voice("sub_account_pwd"), voice("voip_account"), voice("voip_pwd")));
    QVERIFY(!server.storage()->hasVoiceAccount(
        voice("sub_account"), voice("sub_account_pwd"), voice("voip_account"), voice("voip_pwd") + "x"));
    QVERIFY(!server.storage()->hasVoiceAccount(voice("sub_account"), "", voice("voip_account"), voice("voip_pwd")));

    // Each sign-in opens its own session; the voice account stays the user's.
    PlatformTestClient again(server.port());
    QVERIFY(again.login("demo"));
    QVERIFY(again.token() != token);
    QVERIFY(again.get("/mine/profile/" + again.suffix()).success());
    QVERIFY(
        client.get(QStringLiteral("/mine/profile/?token=%1&user=%2").arg(token).arg(answer.integer("user"))).success());

    // The two demo stations are different stations with different voice accounts.
    PlatformTestClient other(server.port());
    const auto second = other.post(QStringLiteral("/auth/"), { { "username", "demo2" }, { "password", "load" } });
    QVERIFY(second.success());
    QVERIFY(second.integer("organ") != answer.integer("organ"));
    QVERIFY(second.json.value("sub_account") != answer.json.value("sub_account"));
}

void TestPlatformSession::loginRefusesWithAMessage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << QByteArray("password=lost&username=demo&")
                                    << QStringLiteral("用户名或密码错误！");
    QTest::newRow("unknown user") << QByteArray("password=load&username=nobody&")
                                  << QStringLiteral("用户名或密码错误！");
    QTest::newRow("name in other case") << QByteArray("password=load&username=DEMO&")
                                        << QStringLiteral("用户名或密码错误！");
    QTest::newRow("no user name") << QByteArray("password=load&") << QStringLiteral("请输入用户名！");
    QTest::newRow("blank user name") << QByteArray("password=load&username=%20%20&")
                                     << QStringLiteral("请输入用户名！");
    QTest::newRow("no password") << QByteArray("username=demo&") << QStringLiteral("请输入密码！");
    QTest::newRow("empty body") << QByteArray() << QStringLiteral("请输入用户名！");
    QTest::newRow("huge password") << QByteArray("username=demo&password=") + QByteArray(5000, 'a')
                                   << QStringLiteral("用户名或密码错误！");
}

void TestPlatformSession::loginRefusesWithAMessage()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    PlatformTestClient client(server.port());
    const auto answer = client.raw("POST", "/api/auth/", body.toStdString());
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.isEnvelope());
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), message);
    QVERIFY(!answer.json.contains("token"));
}

void TestPlatformSession::everySignedRequestChecksTheToken_data()
{
    QTest::addColumn<QString>("query");
    // %T is demo's token, %U demo's user number, %V demo2's token, %W demo2's user.
    QTest::newRow("no suffix") << QString();
    QTest::newRow("no token") << QStringLiteral("?user=%U");
    QTest::newRow("empty token") << QStringLiteral("?token=&user=%U");
    QTest::newRow("no user") << QStringLiteral("?token=%T");
    QTest::newRow("made-up token") << QStringLiteral("?token=0123456789abcdef0123456789abcdef&user=%U");
    QTest::newRow("token of another user") << QStringLiteral("?token=%V&user=%U");
    QTest::newRow("user of another token") << QStringLiteral("?token=%T&user=%W");
    QTest::newRow("user not a number") << QStringLiteral("?token=%T&user=abc");
    QTest::newRow("negative user") << QStringLiteral("?token=%T&user=-1");
    QTest::newRow("token with a tail") << QStringLiteral("?token=%Tx&user=%U");
}

void TestPlatformSession::everySignedRequestChecksTheToken()
{
    QFETCH(QString, query);
    query.replace("%T", demo->token()).replace("%U", QString::number(demo->user()));
    query.replace("%V", demo2->token()).replace("%W", QString::number(demo2->user()));

    const QStringList reads = { "/truck/dict/", "/mine/profile/", "/system/serviceinfo/", "/truck/", "/truck/0/",
        "/shipper/", "/consignee/", "/trade/", "/system/notification/", "/truck/1/work/", "/truck/1/delete/",
        "/system/visit/abc/end/" };
    for (const QString& path : reads) {
        const auto answer = demo->get(path + query);
        QCOMPARE(answer.status, 200);
        QVERIFY2(!answer.success(), qPrintable(path));
        QCOMPARE(answer.errors(), QStringLiteral("登录已失效，请重新登录！"));
    }
    const QStringList writes = { "/truck/add/", "/shipper/add/", "/consignee/add/", "/trade/add/", "/sms/send/",
        "/system/feedback/add/", "/trade/1/status/change/", "/mine/profile/edit/" };
    for (const QString& path : writes) {
        const auto answer
            = demo->post(path + query, { { "name", "x" }, { "content", "x" }, { "number", "13800000000" } });
        QVERIFY2(!answer.success(), qPrintable(path));
        QCOMPARE(answer.errors(), QStringLiteral("登录已失效，请重新登录！"));
    }
}

void TestPlatformSession::dictionaryProfileAndContacts()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));

    const auto dict = client.get("/truck/dict/" + client.suffix());
    QVERIFY(dict.success());
    for (const QString& kind :
        { QStringLiteral("driving_mode"), QStringLiteral("tonnage"), QStringLiteral("packingcase_mode") }) {
        const QJsonObject entries = dict.data().value(kind).toObject();
        QVERIFY2(!entries.isEmpty(), qPrintable(kind));
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            bool decimal = false;
            it.key().toInt(&decimal);
            QVERIFY(decimal);
            QVERIFY(!it.value().toString().isEmpty());
        }
    }
    // The truck pictures exist for the tonnage levels 0 (heavy) and 1 (medium).
    QCOMPARE(dict.data().value("tonnage").toObject().value("0").toString(), QStringLiteral("重卡"));
    QCOMPARE(dict.data().value("tonnage").toObject().value("1").toString(), QStringLiteral("中卡"));

    const auto profile = client.get("/mine/profile/" + client.suffix());
    QVERIFY(profile.success());
    for (const QString& key :
        { QStringLiteral("organ"), QStringLiteral("name"), QStringLiteral("mobile_number"), QStringLiteral("summary") })
        QVERIFY2(
            profile.data().value(key).isString() && !profile.data().value(key).toString().isEmpty(), qPrintable(key));

    const auto service = client.get("/system/serviceinfo/" + client.suffix());
    QVERIFY(service.success());
    QCOMPARE(service.data().value("mobile").toString(), QStringLiteral("4008765432"));
    QCOMPARE(service.data().value("qq").toString(), QStringLiteral("800087654"));

    const auto notification = client.get("/system/notification/" + client.suffix());
    QVERIFY(notification.success());
    QVERIFY(notification.json.value("data").isObject());
}

void TestPlatformSession::profileEditStaysInTheOwnStation()
{
    PlatformTestClient demo(server.port());
    PlatformTestClient demo2(server.port());
    QVERIFY(demo.login("demo"));
    QVERIFY(demo2.login("demo2"));
    const QString before = demo2.get("/mine/profile/" + demo2.suffix()).data().value("summary").toString();

    auto answer = demo.post("/mine/profile/edit/" + demo.suffix(),
        { { "summary", QStringLiteral("  夜间也发车  ") }, { "mobile_number", "13912345678" } });
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    const QJsonObject profile = demo.get("/mine/profile/" + demo.suffix()).data();
    QCOMPARE(profile.value("summary").toString(), QStringLiteral("夜间也发车"));
    QCOMPARE(profile.value("mobile_number").toString(), QStringLiteral("13912345678"));
    QCOMPARE(demo2.get("/mine/profile/" + demo2.suffix()).data().value("summary").toString(), before);

    answer = demo.post("/mine/profile/edit/" + demo.suffix(), { { "mobile_number", "12ab" } });
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), QStringLiteral("联系电话格式不正确！"));
    answer = demo.post("/mine/profile/edit/" + demo.suffix(), { { "name", " " } });
    QCOMPARE(answer.errors(), QStringLiteral("请输入联系人！"));
    answer = demo.post("/mine/profile/edit/" + demo.suffix(), {});
    QCOMPARE(answer.errors(), QStringLiteral("没有需要修改的资料！"));
    // A refused edit changes nothing, not even the fields that were valid.
    answer = demo.post("/mine/profile/edit/" + demo.suffix(), { { "summary", "changed" }, { "mobile_number", "x" } });
    QVERIFY(!answer.success());
    QCOMPARE(
        demo.get("/mine/profile/" + demo.suffix()).data().value("summary").toString(), QStringLiteral("夜间也发车"));
}

void TestPlatformSession::passwordChangeEndsTheOtherSessions()
{
    QTemporaryDir dir;
    PlatformTestServer own(true, dir.path());
    QVERIFY(own.start());
    PlatformTestClient first(own.port());
    PlatformTestClient second(own.port());
    QVERIFY(first.login("demo"));
    QVERIFY(second.login("demo"));

    auto answer = first.post(
        "/mine/password/edit/" + first.suffix(), { { "old_password", "wrong" }, { "new_password", "cargo-van" } });
    QCOMPARE(answer.errors(), QStringLiteral("原密码错误！"));
    answer = first.post(
        "/mine/password/edit/" + first.suffix(), { { "old_password", "load" }, { "new_password", " cargo7 " } });
    QCOMPARE(answer.errors(), QStringLiteral("新密码须为8到64个字符！"));
    answer = first.post(
        "/mine/password/edit/" + first.suffix(), { { "old_password", "load" }, { "new_password", "cargo-van" } });
    QVERIFY2(answer.success(), qPrintable(answer.errors()));

    QVERIFY(first.get("/mine/profile/" + first.suffix()).success());
    QCOMPARE(second.get("/mine/profile/" + second.suffix()).errors(), QStringLiteral("登录已失效，请重新登录！"));
    PlatformTestClient third(own.port());
    QVERIFY(!third.login("demo", "load"));
    QVERIFY(third.login("demo", "cargo-van"));
    // The password is kept only as an Argon2id hash.
    const QString hash
        = platform::Sql::scalar(own.storage()->connection(), "SELECT password_hash FROM users WHERE username = 'demo'")
              .toString();
    QVERIFY2(hash.startsWith("$argon2id$"), qPrintable(hash));
    QVERIFY(!hash.contains("cargo"));
}

void TestPlatformSession::versionAndInstallerFollowTheFlags()
{
    // Without flags: the default version and no installer.
    PlatformTestClient client(server.port());
    auto answer = client.get("/system/version/windesktop/");
    QVERIFY(answer.success());
    QCOMPARE(answer.data().value("version").toString(), QStringLiteral("1.0.1 Beta"));
    auto download = client.raw("GET", "/download/setup.exe");
    QCOMPARE(download.status, 404);
    QVERIFY(download.isEnvelope());

    QTemporaryDir dir;
    const QString installer = dir.filePath("freymo-setup.exe");
    QByteArray content;
    for (int i = 0; i < 200000; ++i)
        content.append(static_cast<char>(i * 7));
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    PlatformTestServer flagged(false, dir.path());
    platform::PlatformServer::Config config;
    config.announcedVersion = QStringLiteral("1.0.2");
    config.installerPath = installer;
    QVERIFY(flagged.start(config));
    PlatformTestClient flaggedClient(flagged.port());
    answer = flaggedClient.get("/system/version/windesktop/");
    QCOMPARE(answer.data().value("version").toString(), QStringLiteral("1.0.2"));
    QCOMPARE(platform::Sql::scalar(
                 flagged.storage()->connection(), "SELECT value FROM settings WHERE key = 'announced_version'")
                 .toString(),
        QStringLiteral("1.0.2"));
    QCOMPARE(answer.data().value("url").toString(),
        QStringLiteral("http://127.0.0.1:%1/download/setup.exe").arg(flagged.port()));
    download = flaggedClient.raw("GET", "/download/setup.exe");
    QCOMPARE(download.status, 200);
    QCOMPARE(download.body.size(), content.size());
    QVERIFY(download.body == content);
}

void TestPlatformSession::visitRecordsStartAndEnd()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    const QString sessionId = QStringLiteral("0123456789abcdef0123456789abcdef");
    const QMap<QString, QString> fields
        = { { "organ", QString::number(client.organ()) }, { "user", QString::number(client.user()) },
              { "platform", "PC" }, { "machine", "8664" }, { "os_version", "unknown" }, { "app_version", "1.0.1 Beta" },
              { "network_type", "ADSL" }, { "resolution", QStringLiteral("1920×1080") }, { "sessionid", sessionId } };
    auto answer = client.post("/system/visit/start/" + client.suffix(), fields);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    // Another user cannot end this user's visit.
    PlatformTestClient other(server.port());
    QVERIFY(other.login("demo2"));
    QVERIFY(!other.get("/system/visit/" + sessionId + "/end/" + other.suffix()).success());
    QVERIFY(platform::Sql::scalar(
        server.storage()->connection(), "SELECT end_time FROM visits WHERE sessionid = ?", { sessionId })
                .toString()
                .isEmpty());

    // The visit end, sent as the client exits, ends the session too; the
    // visit can be ended again from a new session, harmlessly.
    answer = client.get("/system/visit/" + sessionId + "/end/" + client.suffix());
    QVERIFY(answer.success());
    QCOMPARE(client.get("/mine/profile/" + client.suffix()).errors(), QStringLiteral("登录已失效，请重新登录！"));
    QVERIFY(client.login("demo"));
    QVERIFY(client.get("/system/visit/" + sessionId + "/end/" + client.suffix()).success());
    QVERIFY(client.login("demo"));
    answer = client.get("/system/visit/ffffffffffffffffffffffffffffffff/end/" + client.suffix());
    QCOMPARE(answer.errors(), QStringLiteral("访问记录不存在！"));
    QVERIFY(!client.get("/mine/profile/" + client.suffix()).success());

    QVERIFY(client.login("demo"));
    QMap<QString, QString> missing = fields;
    missing.remove("sessionid");
    QCOMPARE(
        client.post("/system/visit/start/" + client.suffix(), missing).errors(), QStringLiteral("请输入会话编号！"));
}

void TestPlatformSession::onlyAPathThatNamesNoRequestIs404_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown resource") << "GET"
                                      << "/api/warehouse/" << 404 << QStringLiteral("请求的地址不存在！");
    QTest::newRow("outside the api") << "GET"
                                     << "/index.html" << 404 << QStringLiteral("请求的地址不存在！");
    QTest::newRow("api root") << "GET"
                              << "/api/" << 404 << QStringLiteral("请求的地址不存在！");
    QTest::newRow("status change without an operation") << "GET"
                                                        << "/api/truck/5%S" << 200 << QStringLiteral("未知的操作！");
    QTest::newRow("unknown truck operation") << "GET"
                                             << "/api/truck/5/fly/%S" << 200 << QStringLiteral("未知的操作！");
    QTest::newRow("doubled slash") << "GET"
                                   << "/api/truck//work/%S" << 200 << QStringLiteral("未知的操作！");
    QTest::newRow("POST to a read") << "POST"
                                    << "/api/truck/dict/%S" << 200 << QStringLiteral("不支持的请求方法！");
    QTest::newRow("GET of a submission") << "GET"
                                         << "/api/truck/add/%S" << 200 << QStringLiteral("不支持的请求方法！");
    QTest::newRow("DELETE") << "DELETE"
                            << "/api/truck/1/%S" << 200 << QStringLiteral("不支持的请求方法！");
    QTest::newRow("group out of range") << "GET"
                                        << "/api/truck/2/%S" << 200 << QStringLiteral("货车分组无效！");
    QTest::newRow("id not a number") << "GET"
                                     << "/api/truck/abc/work/%S" << 200 << QStringLiteral("货车编号无效！");
    QTest::newRow("id too large") << "GET"
                                  << "/api/truck/99999999999/work/%S" << 200 << QStringLiteral("货车编号无效！");
    QTest::newRow("id zero") << "GET"
                             << "/api/shipper/0/delete/%S" << 200 << QStringLiteral("托运人编号无效！");
    QTest::newRow("another station's truck") << "GET"
                                             << "/api/truck/%D/work/%S" << 200 << QStringLiteral("货车不存在！");
}

void TestPlatformSession::onlyAPathThatNamesNoRequestIs404()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QString, message);
    // A truck of demo2's station, asked for by demo.
    const QJsonArray trucks = demo2->get("/truck/" + demo2->suffix()).array();
    QVERIFY(!trucks.isEmpty());
    path.replace("%D", QString::number(trucks.first().toObject().value("id").toInt()));
    path.replace("%S", demo->suffix());

    const auto answer = demo->raw(method.toStdString(), path.toStdString());
    QCOMPARE(answer.status, status);
    QVERIFY(answer.isEnvelope());
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), message);
}

void TestPlatformSession::requestLogHasOneLinePerRequestWithoutTheToken()
{
    QTemporaryDir dir;
    PlatformTestServer own(true, dir.path());
    QVERIFY(own.start());
    {
        PlatformTestClient client(own.port());
        QVERIFY(client.login("demo"));
        QVERIFY(client.get("/truck/" + client.suffix({ { "page", "1" }, { "number", "" } })).success());
        QCOMPARE(client.get("/nothing/").status, 404);
        QVERIFY(client.raw("GET", "/api/truck/%0Afake%20200/work/" + client.suffix().toStdString()).isEnvelope());
        QTRY_COMPARE(own.logLines().size(), 4); // logged right after the answer went out
        const QStringList lines = own.logLines();
        QVERIFY(QRegularExpression("^POST /api/auth/ 200 \\d+\\.\\d\\d ms$").match(lines.at(0)).hasMatch());
        QVERIFY(QRegularExpression("^GET /api/truck/ 200 \\d+\\.\\d\\d ms$").match(lines.at(1)).hasMatch());
        QVERIFY(QRegularExpression("^GET /api/nothing/ 404 ").match(lines.at(2)).hasMatch());
        QVERIFY2(lines.at(3).startsWith("GET /api/truck/?fake 200/work/ 200 "), qPrintable(lines.at(3)));
        for (const QString& line : lines)
            QVERIFY(!line.contains(client.token()));
    }
}

QTEST_GUILESS_MAIN(TestPlatformSession)
#include "tst_platformsession.moc"
