#include "shell/statusbar.h"

#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "support/testsession.h"

#include "net/api.h"
#include "telephony/voicereconnector.h"

#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <thread>

class TestStatusBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void newerServerVersionShowsTheLink_data();
    void newerServerVersionShowsTheLink();
    void versionIsAskedOnFirstShowOnly();
    void transferIndicatorTurnsUntilAReplyIsHandled();
    void connectionIsShownAsTheRequestsFare();
    void unreachableVoiceIsShownBesideThePlatform();

private:
    RecordingHttpServer server;
};

void TestStatusBar::initTestCase()
{
    initClientTestEnvironment();
    BaseHttp::setBaseAddressForTesting(server.apiBase());
}

void TestStatusBar::newerServerVersionShowsTheLink_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("linkShown");
    auto version = [](const char* v) { return QByteArray(R"({"success":true,"data":{"version":")") + v + R"("}})"; };
    QTest::newRow("1.0.2") << version("1.0.2") << true;
    QTest::newRow("1.0.10 sorts after by characters") << version("1.0.10") << true;
    QTest::newRow("2.0") << version("2.0") << true;
    QTest::newRow("same") << version("1.0.1 Beta") << false;
    QTest::newRow("1.0.1") << version("1.0.1") << false;
    QTest::newRow("1.0.0") << version("1.0.0") << false;
    QTest::newRow("0.9") << version("0.9") << false;
    QTest::newRow("lower-case beta") << version("1.0.1 beta") << true;
    QTest::newRow("refused") << QByteArray(R"({"success":false,"errors":"x","data":{"version":"9"}})") << false;
    QTest::newRow("number, not text") << QByteArray(R"({"success":true,"data":{"version":9}})") << false;
    QTest::newRow("not JSON") << QByteArray("<html>") << false;
}

void TestStatusBar::newerServerVersionShowsTheLink()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, linkShown);
    server.on("/api/system/version/windesktop/", RecordingHttpServer::json(reply));
    StatusBar bar;
    QSignalSpy answered(API::instance(), &API::signal_fetch_version_finished);
    bar.show();
    QVERIFY(answered.wait(5000));
    QCOMPARE(bar.findChild<QLabel*>(QStringLiteral("UpdateLink"))->isVisibleTo(&bar), linkShown);
}

void TestStatusBar::versionIsAskedOnFirstShowOnly()
{
    server.on("/api/system/version/windesktop/", RecordingHttpServer::json(R"({"success":true,"data":{}})"));
    server.clearRequests();
    StatusBar bar;
    QSignalSpy answered(API::instance(), &API::signal_fetch_version_finished);
    // Requests are announced as they are sent, so a second one would show here at once.
    QSignalSpy sent(API::instance(), &BaseHttp::signal_trans_start);
    bar.show();
    QVERIFY(answered.wait(5000));
    bar.hide();
    bar.show();
    QCOMPARE(sent.count(), 1);
    QCOMPARE(server.requestCount(), 1);
    QCOMPARE(server.lastRequest().target, QByteArray("/api/system/version/windesktop/"));
}

void TestStatusBar::transferIndicatorTurnsUntilAReplyIsHandled()
{
    RecordingHttpServer::Reply held = RecordingHttpServer::json(R"({"success":true,"data":{}})");
    held.gate = QStringLiteral("version");
    server.on("/api/system/version/windesktop/", held);
    StatusBar bar;
    auto* indicator = bar.findChild<QLabel*>(QStringLiteral("TransferLabel"));
    QVERIFY(!indicator->movie());
    QVERIFY(indicator->pixmap(Qt::ReturnByValue).isNull());

    QSignalSpy done(API::instance(), &BaseHttp::signal_trans_finished);
    bar.show(); // sends the version request
    QVERIFY(indicator->movie());
    QCOMPARE(indicator->movie()->fileName(), QStringLiteral(":/images/loading.gif"));
    QCOMPARE(indicator->movie()->state(), QMovie::Running);

    server.release(QStringLiteral("version"));
    QVERIFY(done.wait(5000));
    QVERIFY(!indicator->movie());
    QVERIFY(!indicator->pixmap(Qt::ReturnByValue).isNull());
}

void TestStatusBar::connectionIsShownAsTheRequestsFare()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString deadBase = QStringLiteral("http://127.0.0.1:%1/api").arg(closed.serverPort());
    closed.close();
    server.on("/api/system/version/windesktop/", RecordingHttpServer::json(R"({"success":true,"data":{}})"));

    StatusBar bar;
    auto* connection = bar.findChild<QLabel*>(QStringLiteral("ConnectionLabel"));
    auto* indicator = bar.findChild<QLabel*>(QStringLiteral("TransferLabel"));
    QCOMPARE(connection->text(), QStringLiteral("已成功连接至管理平台"));
    const QImage cloud = QPixmap(QStringLiteral(":/images/ico_cloud.png")).toImage();

    QSignalSpy done(API::instance(), &BaseHttp::signal_trans_finished);
    BaseHttp::setBaseAddressForTesting(deadBase);
    bar.show(); // the version request finds nobody
    QVERIFY(done.wait(5000));
    QCOMPARE(connection->text(), QStringLiteral("无法连接至管理平台，请检查网络"));
    QVERIFY(indicator->pixmap(Qt::ReturnByValue).toImage() != cloud);

    BaseHttp::setBaseAddressForTesting(server.apiBase());
    API::instance()->fetchVersion();
    QVERIFY(done.wait(5000));
    QCOMPARE(connection->text(), QStringLiteral("已成功连接至管理平台"));
    QCOMPARE(indicator->pixmap(Qt::ReturnByValue).toImage(), cloud);
}

void TestStatusBar::unreachableVoiceIsShownBesideThePlatform()
{
    server.on("/api/system/version/windesktop/", RecordingHttpServer::json(R"({"success":true,"data":{}})"));
    StatusBar bar;
    bar.resize(800, 27);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    auto* voice = bar.findChild<QLabel*>(QStringLiteral("VoiceLabel"));
    auto* connection = bar.findChild<QLabel*>(QStringLiteral("ConnectionLabel"));
    QVERIFY(voice && connection);
    QVERIFY(!voice->isVisible());
    const QRect platformState = connection->geometry();

    // The voice session reports from the SDK's thread that it could not
    // connect, then that it is back.
    VoiceReconnector::instance();
    std::thread([] { VoiceReconnector::post(false); }).join();
    QTRY_VERIFY(voice->isVisible());
    QCOMPARE(voice->text(), QStringLiteral("无法连接至通讯服务器"));
    QCOMPARE(connection->text(), QStringLiteral("已成功连接至管理平台"));
    QCOMPARE(connection->geometry(), platformState);
    QTRY_VERIFY(voice->geometry().right() < connection->geometry().left());
    VoiceReconnector::post(true);
    QTRY_VERIFY(!voice->isVisible());
}

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
