// The transport on its own: form encoding, what reaches the wire, reply
// tagging, the transfer time-out and the masked debug lines.
#include "net/basehttp.h"

#include "buildconfig.h"
#include "support/recordinghttpserver.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

namespace {

struct Finished
{
    int code = -1;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
};

// The smallest concrete transport: keeps what each finished reply carried.
class Probe : public BaseHttp
{
    Q_OBJECT

public:
    QList<Finished> finished;

    void slot_finished(QNetworkReply* reply) override
    {
        Finished f;
        f.code = reply->property("mothed").toInt();
        f.error = reply->error();
        if (reply->isReadable())
            f.body = reply->readAll();
        finished << f;
        reply->deleteLater();
        emit signal_trans_finished();
    }

    bool waitFor(int count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return finished.size() >= count; }, timeoutMs);
    }
};

using Params = QMap<QString, QString>;

QStringList capturedMessages;
void captureMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedMessages << message;
}

} // namespace

Q_DECLARE_METATYPE(Params)

class TestBaseHttp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void encodeForm_data();
    void encodeForm();
    void postReachesTheWire_data();
    void postReachesTheWire();
    void getPathReachesTheWire_data();
    void getPathReachesTheWire();
    void everyReplyIsTaggedWithItsCode();
    void silentServerTimesOut();
    void postDebugLinesMaskSecrets();
    void debugLinesNeverShowTheToken_data();
    void debugLinesNeverShowTheToken();
    void connectionFollowsTheOutcomes();

private:
    std::unique_ptr<RecordingHttpServer> server;
};

void TestBaseHttp::initTestCase()
{
    QCOMPARE(BaseHttp::baseAddress(), QStringLiteral("http://" FREYMO_PLATFORM_HOST "/api"));
    QCOMPARE(BaseHttp::transferTimeout(), 30000);
    server = std::make_unique<RecordingHttpServer>();
    server->otherwise(RecordingHttpServer::json(R"({"success":true})"));
    BaseHttp::setBaseAddressForTesting(server->apiBase());
    QCOMPARE(BaseHttp::baseAddress(), server->apiBase());
}

void TestBaseHttp::init()
{
    server->clearRequests();
}

void TestBaseHttp::encodeForm_data()
{
    QTest::addColumn<Params>("params");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("empty") << Params() << QByteArray();
    QTest::newRow("keys ascending, trailing &") << Params { { "b", "2" }, { "a", "1" } } << QByteArray("a=1&b=2&");
    QTest::newRow("upper case sorts first") << Params { { "a", "x" }, { "B", "y" } } << QByteArray("B=y&a=x&");
    QTest::newRow("UTF-8 and space") << Params { { "name", QString::fromUtf8("张 三") } }
                                     << QByteArray("name=%E5%BC%A0%20%E4%B8%89&");
    QTest::newRow("unreserved kept, the rest escaped")
        << Params { { "v", "Az09-._~&=+%#/?!" } } << QByteArray("v=Az09-._~%26%3D%2B%25%23%2F%3F%21&");
    QTest::newRow("keys escaped too") << Params { { "a b", "" } } << QByteArray("a%20b=&");
}

void TestBaseHttp::encodeForm()
{
    QFETCH(Params, params);
    QFETCH(QByteArray, body);
    QCOMPARE(BaseHttp::encodeForm(params), body);
}

void TestBaseHttp::postReachesTheWire_data()
{
    QTest::addColumn<Params>("params");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("fields") << Params { { "b", QString::fromUtf8("乙") }, { "a", "1 2" } }
                            << QByteArray("a=1%202&b=%E4%B9%99&");
    QTest::newRow("empty map") << Params() << QByteArray();
}

void TestBaseHttp::postReachesTheWire()
{
    QFETCH(Params, params);
    QFETCH(QByteArray, body);

    Probe probe;
    probe.performPost(QStringLiteral("/x/add/?token=t&user=1"), params, 11);
    QVERIFY(probe.waitFor(1));

    const auto request = server->lastRequest();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/api/x/add/?token=t&user=1"));
    QCOMPARE(request.contentType, QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(request.body, body);
}

void TestBaseHttp::getPathReachesTheWire_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("plain") << "/truck/?token=t&user=1&page=2" << QByteArray("/api/truck/?token=t&user=1&page=2");
    QTest::newRow("space and Chinese encoded by the parser")
        << QString::fromUtf8("/shipper/?name=张 三") << QByteArray("/api/shipper/?name=%E5%BC%A0%20%E4%B8%89");
    QTest::newRow("escapes made by the caller stay intact")
        << "/shipper/?name=a%26b%23c%2Bd%25e%20f" << QByteArray("/api/shipper/?name=a%26b%23c%2Bd%25e%20f");
    QTest::newRow("escaped UTF-8 stays intact")
        << "/shipper/?name=%E5%BC%A0" << QByteArray("/api/shipper/?name=%E5%BC%A0");
}

void TestBaseHttp::getPathReachesTheWire()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, target);

    Probe probe;
    probe.performGet(path, 5);
    QVERIFY(probe.waitFor(1));
    QCOMPARE(server->lastRequest().method, QByteArray("GET"));
    QCOMPARE(server->lastRequest().target, target);
    QCOMPARE(server->lastRequest().body, QByteArray());
}

void TestBaseHttp::everyReplyIsTaggedWithItsCode()
{
    Probe probe;
    QSignalSpy starts(&probe, &BaseHttp::signal_trans_start);
    probe.performGet(QStringLiteral("/a/"), 3);
    QCOMPARE(starts.count(), 1); // at once, before anything comes back
    probe.performPost(QStringLiteral("/b/"), Params { { "k", "v" } }, 17);
    probe.performGet(QStringLiteral("/c/"), -4);
    QCOMPARE(starts.count(), 3);
    QVERIFY(probe.waitFor(3));

    QList<int> codes;
    for (const auto& f : probe.finished)
        codes << f.code;
    std::sort(codes.begin(), codes.end());
    QCOMPARE(codes, (QList<int> { -4, 3, 17 }));
}

void TestBaseHttp::silentServerTimesOut()
{
    RecordingHttpServer silent;
    RecordingHttpServer::Reply never;
    never.silent = true;
    silent.otherwise(never);
    BaseHttp::setBaseAddressForTesting(silent.apiBase());
    BaseHttp::setTransferTimeoutForTesting(300);

    Probe probe;
    probe.performGet(QStringLiteral("/slow/"), 9);
    const bool done = probe.waitFor(1, 10000);

    BaseHttp::setTransferTimeoutForTesting(BaseHttp::DefaultTransferTimeoutMs);
    BaseHttp::setBaseAddressForTesting(server->apiBase());
    QVERIFY(done);
    QCOMPARE(probe.finished.first().code, 9);
    QVERIFY(probe.finished.first().error != QNetworkReply::NoError);
    QCOMPARE(probe.finished.first().body, QByteArray());
    QCOMPARE(silent.requestCount(), 1);
}

void TestBaseHttp::postDebugLinesMaskSecrets()
{
    Probe probe;
    capturedMessages.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    probe.performPost(QStringLiteral("/login/"),
        Params { { "username", "station" }, { "password", "Sesame42" }, { "sub_account_pwd", "SubSecret" },
            { "voip_pwd", "VoipSecret" } },
        0);
    qInstallMessageHandler(previous);
    QVERIFY(probe.waitFor(1));

    const QString log = capturedMessages.join(QLatin1Char('\n'));
    QVERIFY2(log.contains(QLatin1String("Post with params #")), qPrintable(log));
    QVERIFY2(log.contains(QLatin1String("station")), qPrintable(log));
    QCOMPARE(log.count(QLatin1String("***")), 3);
    for (const char* secret : { "Sesame42", "SubSecret", "VoipSecret" })
        QVERIFY2(!log.contains(QLatin1String(secret)), qPrintable(log));
    QVERIFY(server->lastRequest().body.contains("voip_pwd=VoipSecret&"));
}

void TestBaseHttp::debugLinesNeverShowTheToken_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QString>("path");
    QTest::newRow("GET, token first") << false << "/truck/?token=Tok3nX&user=1&page=2";
    QTest::newRow("GET, token last") << false << "/profile/?user=1&token=Tok3nX";
    QTest::newRow("POST") << true << "/truck/add/?token=Tok3nX&user=1";
}

void TestBaseHttp::debugLinesNeverShowTheToken()
{
    QFETCH(bool, post);
    QFETCH(QString, path);
    Probe probe;
    capturedMessages.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    if (post)
        probe.performPost(path, Params { { "token", "Tok3nX" }, { "number", "A1" } }, 11);
    else
        probe.performGet(path, 5);
    qInstallMessageHandler(previous);
    QVERIFY(probe.waitFor(1));

    const QString log = capturedMessages.join(QLatin1Char('\n'));
    QVERIFY2(!log.contains(QLatin1String("Tok3nX")), qPrintable(log));
    QVERIFY2(log.contains(QLatin1String("token=***")), qPrintable(log));
    QVERIFY2(log.contains(QLatin1String("user=1")), qPrintable(log));
    // Only the log is masked: the server gets the token.
    QVERIFY(server->lastRequest().target.contains("token=Tok3nX"));
}

void TestBaseHttp::connectionFollowsTheOutcomes()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString deadBase = QStringLiteral("http://127.0.0.1:%1/api").arg(closed.serverPort());
    closed.close();

    Probe probe;
    QVERIFY(probe.isConnected());
    QSignalSpy changes(&probe, &BaseHttp::signal_connection_changed);
    struct Step
    {
        QString base;
        const char* path;
        bool connected;
    };
    server->on("/api/broken/", RecordingHttpServer::Reply { 500, "oops", "text/plain", QString(), false });
    const Step steps[] = {
        { server->apiBase(), "/fine/", true },
        { deadBase, "/fine/", false },
        { deadBase, "/fine/", false },
        // The server answered, if only with an error: the platform is reached.
        { server->apiBase(), "/broken/", true },
        { deadBase, "/fine/", false },
        { server->apiBase(), "/fine/", true },
    };
    int count = 0;
    for (const Step& step : steps) {
        BaseHttp::setBaseAddressForTesting(step.base);
        probe.performGet(QLatin1String(step.path), 5);
        QVERIFY(probe.waitFor(++count));
        QCOMPARE(probe.isConnected(), step.connected);
    }
    BaseHttp::setBaseAddressForTesting(server->apiBase());
    QCOMPARE(changes.size(), 4);
    QCOMPARE(changes.at(0).at(0).toBool(), false);
    QCOMPARE(changes.at(1).at(0).toBool(), true);
}

QTEST_GUILESS_MAIN(TestBaseHttp)
#include "tst_basehttp.moc"
