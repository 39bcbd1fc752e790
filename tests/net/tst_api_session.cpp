// The session side of the API against a recording server: the login record,
// the answer envelope, the truck dictionary and the visit records.
#include "apirecorder.h"
#include "signedinapifixture.h"

#include "net/api.h"
#include "net/truckdict.h"
#include "net/usertoken.h"
#include "net/voiceaccount.h"
#include "support/recordinghttpserver.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QTcpServer>
#include <QTest>
#include <QUrlQuery>

#include <memory>

Q_DECLARE_METATYPE(RecordingHttpServer::Reply)

namespace {

// A port on 127.0.0.1 where nothing listens any more.
int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QMap<QString, QString> formFields(const QByteArray& body)
{
    QMap<QString, QString> fields;
    const QUrlQuery query(QString::fromLatin1(body));
    for (const auto& item : query.queryItems(QUrl::FullyDecoded))
        fields.insert(item.first, item.second);
    return fields;
}

} // namespace

class TestApiSession : public QObject, private SignedInApiFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void loginRequestBody();
    void loginRecord_data();
    void loginRecord();
    void suffixCarriesTheTokenPercentEncoded_data();
    void suffixCarriesTheTokenPercentEncoded();
    void failedLoginDropsSessionAndNextLoginStartsAfresh();
    void loginsWithinOneSecondHaveDifferentSessionIds();
    void refusedLoginReportsConnectionFailure();
    void passwordsAreMaskedInDebugOutput();

    void envelope_data();
    void envelope();
    void pathsWithAndWithoutSuffix();

    void dictionaryFillsTruckDict();
    void dictionaryWithoutTonnageStillSucceeds();
    void failedDictionaryLeavesTruckDictAlone();

    void visitStartSendsDeviceFieldsAndIsNotRead();
    void visitEndEmitsExitWhateverTheAnswer_data();
    void visitEndEmitsExitWhateverTheAnswer();
};

void TestApiSession::initTestCase()
{
    QVERIFY(startSignedIn());
}

void TestApiSession::cleanupTestCase()
{
    stopServer();
}

void TestApiSession::init()
{
    beginTest();
}

void TestApiSession::cleanup()
{
    // Leave no reply in flight for the next test, and a signed-in session.
    QVERIFY(endTest());
    if (!api->userToken() || api->userToken()->token != QLatin1String("tk"))
        QVERIFY(ApiRecorder::signIn(*server));
}

void TestApiSession::loginRequestBody()
{
    api->login(QString::fromUtf8("张三 李"), QStringLiteral("p@ss&=+%"));
    QVERIFY(recorder->waitForResults());

    const auto request = server->lastRequest();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/api/auth/"));
    QCOMPARE(request.contentType, QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(request.body, QByteArray("password=p%40ss%26%3D%2B%25&username=%E5%BC%A0%E4%B8%89%20%E6%9D%8E&"));
    QCOMPARE(api->userToken()->username, QString::fromUtf8("张三 李"));
    QCOMPARE(api->userToken()->password, QStringLiteral("p@ss&=+%"));
}

void TestApiSession::loginRecord_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<quint32>("user");
    QTest::addColumn<quint32>("organ");
    QTest::addColumn<QString>("token");

    QTest::newRow("numbers") << QByteArray(R"({"success":true,"user":42,"organ":7,"token":"abc"})") << 42u << 7u
                             << "abc";
    QTest::newRow("strings of digits") << QByteArray(R"({"success":true,"user":"42","organ":"7","token":"abc"})") << 42u
                                       << 7u << "abc";
    QTest::newRow("fractions round") << QByteArray(R"({"success":true,"user":41.6,"organ":7.4,"token":"abc"})") << 42u
                                     << 7u << "abc";
    QTest::newRow("other types give 0 and empty")
        << QByteArray(R"({"success":true,"user":"x42","organ":true,"token":5})") << 0u << 0u << "";
}

void TestApiSession::loginRecord()
{
    QFETCH(QByteArray, answer);
    QFETCH(quint32, user);
    QFETCH(quint32, organ);
    QFETCH(QString, token);

    QJsonObject object = QJsonDocument::fromJson(answer).object();
    object.insert(QStringLiteral("sub_account"), QStringLiteral("sa"));
    object.insert(QStringLiteral("sub_account_pwd"), QStringLiteral("sp"));
    object.insert(QStringLiteral("voip_account"), QStringLiteral("va"));
    object.insert(QStringLiteral("voip_pwd"), 12);
    server->on("/api/auth/", RecordingHttpServer::json(QJsonDocument(object).toJson()));

    UserToken* delivered = nullptr;
    QObject context;
    connect(api, &API::signal_login_finished, &context, [&](UserToken* t, const QString&) { delivered = t; });
    api->login(QStringLiteral("u"), QStringLiteral("p"));
    QVERIFY(recorder->waitForResults());

    QCOMPARE(recorder->results.first(), QStringLiteral("login(%1/%2/%3, \"\")").arg(user).arg(organ).arg(token));
    QCOMPARE(delivered, api->userToken());
    QCOMPARE(api->userToken()->user, user);
    QCOMPARE(api->userToken()->organ, organ);
    QCOMPARE(api->userToken()->token, token);
    QCOMPARE(api->voiceAccount()->subAccount, QStringLiteral("sa"));
    QCOMPARE(api->voiceAccount()->subAccountPwd, QStringLiteral("sp"));
    QCOMPARE(api->voiceAccount()->voipAccount, QStringLiteral("va"));
    QCOMPARE(api->voiceAccount()->voipPwd, QString()); // a number is not a string
}

void TestApiSession::suffixCarriesTheTokenPercentEncoded_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("suffix");
    QTest::newRow("none") << QByteArray(R"({"success":true,"user":42,"organ":7})") << QString()
                          << QByteArray("?token=&user=42");
    QTest::newRow("plain") << QByteArray(R"({"success":true,"user":42,"organ":7,"token":"a1-b_c.d~e"})")
                           << QStringLiteral("a1-b_c.d~e") << QByteArray("?token=a1-b_c.d~e&user=42");
    // A token must not end the value early, add a parameter or turn into a space.
    QTest::newRow("reserved") << QByteArray(R"({"success":true,"user":42,"organ":7,"token":"a+b&user=1 #%/"})")
                              << QStringLiteral("a+b&user=1 #%/")
                              << QByteArray("?token=a%2Bb%26user%3D1%20%23%25%2F&user=42");
}

void TestApiSession::suffixCarriesTheTokenPercentEncoded()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, token);
    QFETCH(QByteArray, suffix);
    server->on("/api/auth/", RecordingHttpServer::json(answer));
    api->login(QStringLiteral("u"), QStringLiteral("p"));
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results.first(), QStringLiteral("login(42/7/%1, \"\")").arg(token));
    QCOMPARE(api->userToken()->token, token);

    QCOMPARE(api->sessionSuffix(), QString::fromLatin1(suffix));
    api->fetchProfile();
    QVERIFY(recorder->waitForResults(2));
    QCOMPARE(server->lastRequest().target, "/api/mine/profile/" + suffix);
}

void TestApiSession::failedLoginDropsSessionAndNextLoginStartsAfresh()
{
    UserToken* before = api->userToken();
    QVERIFY(before);
    const QString firstSession = before->sessionid;

    server->on("/api/auth/", RecordingHttpServer::json(R"({"success":false,"errors":"密码错误"})"));
    api->login(QStringLiteral("u"), QStringLiteral("wrong"));
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results.first(), QString::fromUtf8("login(null, \"密码错误\")"));
    QVERIFY(!api->userToken());
    QCOMPARE(api->sessionSuffix(), QStringLiteral("?token=&user=0"));

    QVERIFY(ApiRecorder::signIn(*server));
    const QRegularExpression hex32(QStringLiteral("^[0-9a-f]{32}$"));
    QVERIFY(hex32.match(api->userToken()->sessionid).hasMatch());
    QVERIFY(api->userToken()->sessionid != firstSession);
}

void TestApiSession::loginsWithinOneSecondHaveDifferentSessionIds()
{
    QSet<QString> seen;
    for (int i = 0; i < 3; ++i) {
        api->login(QStringLiteral("station"), QStringLiteral("secret"));
        seen.insert(api->userToken()->sessionid);
    }
    QCOMPARE(seen.size(), 3);
    QVERIFY(recorder->waitForResults(3));
}

void TestApiSession::refusedLoginReportsConnectionFailure()
{
    BaseHttp::setBaseAddressForTesting(QStringLiteral("http://127.0.0.1:%1/api").arg(closedPort()));
    api->login(QStringLiteral("u"), QStringLiteral("p"));
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results, QStringList { QString::fromUtf8("login(null, \"连接管理平台失败！\")") });
    QVERIFY(!api->userToken());
}

namespace {
QStringList capturedMessages;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedMessages << message;
}
} // namespace

void TestApiSession::passwordsAreMaskedInDebugOutput()
{
    capturedMessages.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    api->login(QStringLiteral("station"), QStringLiteral("Sesame42"));
    QMap<QString, QString> change;
    change.insert(QStringLiteral("old_password"), QStringLiteral("Sesame42"));
    change.insert(QStringLiteral("new_password"), QStringLiteral("Open43"));
    api->submitPassword(change);
    qInstallMessageHandler(previous);
    QVERIFY(recorder->waitForResults(2));

    const QString log = capturedMessages.join(QLatin1Char('\n'));
    QVERIFY2(log.contains(QLatin1String("station")), qPrintable(log)); // the parameters are still logged
    QVERIFY2(log.contains(QLatin1String("***")), qPrintable(log));
    QVERIFY2(!log.contains(QLatin1String("Sesame42")), qPrintable(log));
    QVERIFY2(!log.contains(QLatin1String("Open43")), qPrintable(log));
    // The wire still carries them.
    QVERIFY(server->requests().first().body.contains("password=Sesame42&"));
}

void TestApiSession::envelope_data()
{
    QTest::addColumn<RecordingHttpServer::Reply>("reply");
    QTest::addColumn<QString>("expected");

    using S = RecordingHttpServer;
    QTest::newRow("success") << S::json(R"({"success":true,"errors":"ignored","data":{"name":"站"}})")
                             << QString::fromUtf8("fetch_profile({\"name\":\"站\"}, \"\")");
    QTest::newRow("success without data") << S::json(R"({"success":true})") << "fetch_profile({}, \"\")";
    QTest::newRow("success with array data") << S::json(R"({"success":true,"data":[1]})") << "fetch_profile({}, \"\")";
    QTest::newRow("success 1 is failure") << S::json(R"({"success":1,"errors":"e"})") << "fetch_profile(null, \"e\")";
    QTest::newRow("success string is failure") << S::json(R"({"success":"true"})") << "fetch_profile(null, \"\")";
    QTest::newRow("errors of other type")
        << S::json(R"({"success":false,"errors":["x"]})") << "fetch_profile(null, \"\")";
    QTest::newRow("array body") << S::json(R"([{"success":true}])") << "fetch_profile(null, \"\")";
    QTest::newRow("empty body") << S::json("") << "fetch_profile(null, \"\")";
    QTest::newRow("not json") << S::json("<html>oops</html>") << "fetch_profile(null, \"\")";
    QTest::newRow("white space around") << S::json(" \r\n {\"success\":true,\"data\":{\"a\":1}} \n\t")
                                        << "fetch_profile({\"a\":1}, \"\")";
    QTest::newRow("cut at NUL") << S::json(QByteArray("{\"success\":true,\"data\":{\"a\":1}}\0trailing junk", 44))
                                << "fetch_profile({\"a\":1}, \"\")";
    QTest::newRow("NUL inside the object")
        << S::json(QByteArray("{\"success\":true,\0\"data\":{}}", 27)) << "fetch_profile(null, \"\")";
    QTest::newRow("server error with json body") << S::json(R"({"success":false,"errors":"维护中"})", 500)
                                                 << QString::fromUtf8("fetch_profile(null, \"维护中\")");
    QTest::newRow("server error with html body") << S::json("<h1>500</h1>", 500) << "fetch_profile(null, \"\")";
    QTest::newRow("not found") << S::json(R"({"success":true,"data":{}})", 404)
                               << QString::fromUtf8("fetch_profile(null, \"连接管理平台失败！\")");
}

void TestApiSession::envelope()
{
    QFETCH(RecordingHttpServer::Reply, reply);
    QFETCH(QString, expected);

    server->on("/api/mine/profile/", reply);
    api->fetchProfile();
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results, QStringList { expected });
    QCOMPARE(recorder->all.last(), QStringLiteral("trans_finished"));
}

void TestApiSession::pathsWithAndWithoutSuffix()
{
    api->fetchVersion();
    api->fetchServiceInfo();
    QVERIFY(recorder->waitForResults(2));
    QSet<QByteArray> targets;
    for (const auto& request : server->requests())
        targets.insert(request.target);
    QCOMPARE(
        targets, (QSet<QByteArray> { "/api/system/version/windesktop/", "/api/system/serviceinfo/?token=tk&user=42" }));
}

void TestApiSession::dictionaryFillsTruckDict()
{
    server->on("/api/truck/dict/",
        RecordingHttpServer::json(R"({"success":true,"data":{"driving_mode":{"1":"自卸","2":"厢式"},)"
                                  R"("tonnage":{"1":"5吨"},"packingcase_mode":{"3":"敞篷"}}})"));
    api->fetchTruckDict();
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results.first(), QStringLiteral("fetch_truckdict(true, \"\")"));
    QCOMPARE(server->lastRequest().target, QByteArray("/api/truck/dict/?token=tk&user=42"));

    auto* dict = TruckDict::instance();
    QCOMPARE(dict->drivingMode().keys(), (QStringList { "1", "2" }));
    QCOMPARE(dict->drivingMode().value(QStringLiteral("2")).toString(), QString::fromUtf8("厢式"));
    QCOMPARE(dict->tonnage().value(QStringLiteral("1")).toString(), QString::fromUtf8("5吨"));
    QCOMPARE(dict->packingcaseMode().value(QStringLiteral("3")).toString(), QString::fromUtf8("敞篷"));
}

void TestApiSession::dictionaryWithoutTonnageStillSucceeds()
{
    TruckDict::instance()->setTonnage(QJsonObject { { QStringLiteral("9"), QStringLiteral("old") } });
    server->on("/api/truck/dict/",
        RecordingHttpServer::json(R"({"success":true,"data":{"driving_mode":{"1":"a"},)"
                                  R"("packingcase_mode":[1,2]}})"));
    api->fetchTruckDict();
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results.first(), QStringLiteral("fetch_truckdict(true, \"\")"));
    QVERIFY(TruckDict::instance()->tonnage().isEmpty());
    QVERIFY(TruckDict::instance()->packingcaseMode().isEmpty());
    QCOMPARE(TruckDict::instance()->drivingMode().size(), 1);
}

void TestApiSession::failedDictionaryLeavesTruckDictAlone()
{
    const QJsonObject kept { { QStringLiteral("1"), QStringLiteral("kept") } };
    TruckDict::instance()->setDrivingMode(kept);
    server->on("/api/truck/dict/",
        RecordingHttpServer::json(R"({"success":false,"errors":"no",)"
                                  R"("data":{"driving_mode":{"2":"new"}}})"));
    api->fetchTruckDict();
    QVERIFY(recorder->waitForResults());
    QCOMPARE(recorder->results.first(), QStringLiteral("fetch_truckdict(false, \"no\")"));
    QCOMPARE(TruckDict::instance()->drivingMode(), kept);
}

void TestApiSession::visitStartSendsDeviceFieldsAndIsNotRead()
{
    server->on("/api/system/visit/start/", RecordingHttpServer::json(R"({"success":true,"data":{}})"));
    api->visitStart();
    QVERIFY(recorder->waitForIdle());
    QCOMPARE(recorder->all, (QStringList { "trans_start", "trans_finished" }));

    const auto request = server->lastRequest();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/api/system/visit/start/?token=tk&user=42"));
    const QByteArray expected = "app_version=1.0.1%20Beta&machine="
        + QByteArray::number(QSysInfo::currentCpuArchitecture() == QLatin1String("x86_64") ? 8664 : 0)
        + "&network_type=ADSL&organ=7&os_version=unknown&platform=PC&resolution=0%C3%970"
          "&sessionid="
        + api->userToken()->sessionid.toLatin1() + "&user=42&";
    QCOMPARE(request.body, expected);
    QCOMPARE(formFields(request.body).value(QStringLiteral("resolution")), QString::fromUtf8("0×0"));
}

void TestApiSession::visitEndEmitsExitWhateverTheAnswer_data()
{
    QTest::addColumn<RecordingHttpServer::Reply>("reply");
    QTest::addColumn<bool>("refused");
    QTest::newRow("success") << RecordingHttpServer::json(R"({"success":true})") << false;
    QTest::newRow("failure") << RecordingHttpServer::json(R"({"success":false,"errors":"x"})") << false;
    QTest::newRow("garbage 500") << RecordingHttpServer::json("boom", 500) << false;
    QTest::newRow("refused") << RecordingHttpServer::Reply() << true;
}

void TestApiSession::visitEndEmitsExitWhateverTheAnswer()
{
    QFETCH(RecordingHttpServer::Reply, reply);
    QFETCH(bool, refused);

    const QByteArray path = "/api/system/visit/" + api->userToken()->sessionid.toLatin1() + "/end/";
    server->on(path, reply);
    if (refused)
        BaseHttp::setBaseAddressForTesting(QStringLiteral("http://127.0.0.1:%1/api").arg(closedPort()));
    api->visitEnd();
    QVERIFY(recorder->waitForIdle());
    QCOMPARE(recorder->all, (QStringList { "trans_start", "exit()", "trans_finished" }));
    if (!refused)
        QCOMPARE(server->lastRequest().target, path + "?token=tk&user=42");
}

QTEST_GUILESS_MAIN(TestApiSession)
#include "tst_api_session.moc"
