#include "buildconfig.h"
#include "debuglinerecorder.h"
#include "net/voiceaccount.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicereconnector.h"
#include "telephony/voicesession.h"
#include "voiceswitch.h"

#include <QLibrary>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <memory>
#include <mutex>

namespace {

int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when `probe` goes
}

} // namespace

class TestVoiceSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void tableHoldsTheClientCallbacksOnly();
    void startCallsInitThenLoginWithArgumentsInOrder();
    void callsReachTheLibraryAsGiven();
    void missingOrIncompleteLibraryLeavesTheSessionOffline_data();
    void missingOrIncompleteLibraryLeavesTheSessionOffline();
    void unreachableSwitchLeavesTheSessionOffline();
    void signsInToTheSwitchAndGoesOfflineWhenItStops();
    void signsInAgainWithGrowingWaitsUntilTheSwitchReturns();

private:
    QStringList lines() const { return debug->lines(); }

    VoiceSession::CallbackTable table = {};
    VoiceAccount account;
    std::unique_ptr<DebugLineRecorder> debug;
};

void TestVoiceSession::initTestCase()
{
    debug = std::make_unique<DebugLineRecorder>();
    VoiceSession::fillCallbacks(table);
    account.subAccount = QStringLiteral("sub-1");
    account.subAccountPwd = QStringLiteral("子密码");
    account.voipAccount = QStringLiteral("voip-7");
    account.voipPwd = QStringLiteral("pw 7");
}

void TestVoiceSession::cleanupTestCase()
{
    debug.reset();
    VoiceSession::setLibraryForTesting(QString());
    VoiceSession::setServerForTesting(QByteArray(), 0);
}

void TestVoiceSession::init()
{
    debug->clear();
}

void TestVoiceSession::tableHoldsTheClientCallbacksOnly()
{
    const QList<int> filled { 1, 2, 4, 5, 6, 7, 10, 12, 13 };
    for (int i = 0; i < VoiceSession::CallbackCount; ++i)
        QVERIFY2((table[i] != nullptr) == filled.contains(i), qPrintable(QString::number(i)));
    // The pop-up's callbacks sit where the SDK looks for call progress.
    QCOMPARE(table[4], reinterpret_cast<void*>(&TelNumberWidget::onCallProceeding));
    QCOMPARE(table[6], reinterpret_cast<void*>(&TelNumberWidget::onCallAnswered));
    QCOMPARE(table[7], reinterpret_cast<void*>(&TelNumberWidget::onMakeCallFailed));
    QCOMPARE(table[10], reinterpret_cast<void*>(&TelNumberWidget::onCallReleased));

    // The main window's callbacks only write their debug lines, from any thread.
    reinterpret_cast<void (*)()>(table[1])();
    reinterpret_cast<void (*)(void*)>(table[2])(nullptr);
    reinterpret_cast<void (*)(const char*)>(table[5])("call-1");
    reinterpret_cast<void (*)(const char*)>(table[13])("日志 text");
    reinterpret_cast<void (*)()>(table[12])();
    QCOMPARE(lines(),
        QStringList({ QStringLiteral("连接服务器成功！"), QStringLiteral("连接服务器失败！"), QStringLiteral("来电..."),
            QStringLiteral("日志 text") }));
}

void TestVoiceSession::startCallsInitThenLoginWithArgumentsInOrder()
{
    VoiceSession::setLibraryForTesting(QStringLiteral(VOICE_RECORDER_PATH));
    QLibrary recorder(QStringLiteral(VOICE_RECORDER_PATH));
    auto reset = reinterpret_cast<void (*)(int)>(recorder.resolve("recorderReset"));
    auto journal = reinterpret_cast<const char* (*)()>(recorder.resolve("recorderJournal"));
    auto keptTable = reinterpret_cast<void** (*)()>(recorder.resolve("recorderTable"));
    QVERIFY(reset && journal && keptTable);
    reset(0);

    QVERIFY(VoiceSession::start(table, account));
    QCOMPARE(keptTable(), static_cast<void**>(table));
    const QStringList calls = QString::fromUtf8(journal()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls[0], QStringLiteral("voiceInit"));
    const QRegularExpression login(QStringLiteral("^voiceLogin \"%1\" 8883 \"([0-9a-f]{32})\" \"([0-9a-f]{32})\" "
                                                  "\"sub-1\" \"子密码\" \"voip-7\" \"pw 7\"$")
                                       .arg(QRegularExpression::escape(QStringLiteral(FREYMO_VOICE_HOST))));
    const QRegularExpressionMatch match = login.match(calls[1]);
    QVERIFY2(match.hasMatch(), qPrintable(calls[1]));
    QVERIFY(match.captured(1) != match.captured(2));
    QVERIFY(lines().contains(QStringLiteral("0.==================== 11")));
    QVERIFY(lines().contains(QStringLiteral("1.==================== 22")));

    // The test seam moves the server; the application never uses it.
    reset(0);
    VoiceSession::setServerForTesting("10.1.2.3", 4567);
    QVERIFY(VoiceSession::start(table, account));
    VoiceSession::setServerForTesting(QByteArray(), 0);
    QVERIFY(QString::fromUtf8(journal()).contains(QStringLiteral("voiceLogin \"10.1.2.3\" 4567 ")));
}

void TestVoiceSession::callsReachTheLibraryAsGiven()
{
    VoiceSession::setLibraryForTesting(QStringLiteral(VOICE_RECORDER_PATH));
    QLibrary recorder(QStringLiteral(VOICE_RECORDER_PATH));
    auto reset = reinterpret_cast<void (*)(int)>(recorder.resolve("recorderReset"));
    auto journal = reinterpret_cast<const char* (*)()>(recorder.resolve("recorderJournal"));
    QVERIFY(reset && journal);

    reset(1);
    QVERIFY(VoiceSession::isOnline());
    reset(0);
    QVERIFY(!VoiceSession::isOnline());
    VoiceSession::makeCall("0086 138-1234");
    VoiceSession::releaseCall();
    QCOMPARE(QString::fromUtf8(journal()),
        QStringLiteral("voiceIsOnline\nvoiceMakeCall 1 \"0086 138-1234\"\nvoiceReleaseCall 0\n"));
}

void TestVoiceSession::missingOrIncompleteLibraryLeavesTheSessionOffline_data()
{
    QTest::addColumn<QString>("library");
    QTest::newRow("missing") << QStringLiteral("/nonexistent/libVoiceSdk");
    QTest::newRow("without the functions") << QStringLiteral("libm.so.6");
}

void TestVoiceSession::missingOrIncompleteLibraryLeavesTheSessionOffline()
{
    QFETCH(QString, library);
    VoiceSession::setLibraryForTesting(library);
    QVERIFY(!VoiceSession::isLoaded());
    QVERIFY(!VoiceSession::start(table, account));
    QVERIFY(!VoiceSession::isOnline());
    VoiceSession::makeCall("008613812345678");
    VoiceSession::releaseCall();
    QVERIFY(!lines().filter(QStringLiteral("voice SDK")).isEmpty());
}

void TestVoiceSession::unreachableSwitchLeavesTheSessionOffline()
{
    VoiceSession::setLibraryForTesting(QString()); // the real one, beside this executable
    QVERIFY(VoiceSession::isLoaded());
    VoiceSession::setServerForTesting("127.0.0.1", closedPort());
    QVERIFY(VoiceSession::start(table, account));
    VoiceSession::setServerForTesting(QByteArray(), 0);
    QTRY_VERIFY(lines().contains(QStringLiteral("连接服务器失败！")));
    QVERIFY(!lines().contains(QStringLiteral("连接服务器成功！")));
    QVERIFY(!VoiceSession::isOnline());
}

void TestVoiceSession::signsInToTheSwitchAndGoesOfflineWhenItStops()
{
    std::mutex checkedMutex;
    QStringList checked;
    voiceswitch::VoiceSwitch voiceSwitch(
        [&](const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
            std::lock_guard<std::mutex> lock(checkedMutex);
            checked << QString::fromStdString(a + "|" + b + "|" + c + "|" + d);
            return voiceswitch::VoiceSwitch::Account::Accepted;
        });
    QVERIFY(voiceSwitch.start("127.0.0.1", 0));
    VoiceSession::setLibraryForTesting(QString());
    VoiceSession::setServerForTesting("127.0.0.1", voiceSwitch.port());
    QVERIFY(VoiceSession::start(table, account));
    VoiceSession::setServerForTesting(QByteArray(), 0);

    QTRY_VERIFY(VoiceSession::isOnline());
    QTRY_VERIFY(lines().contains(QStringLiteral("连接服务器成功！")));
    // The SDK's own log text reaches the debug output as it is.
    QVERIFY(lines().contains(QStringLiteral("VoiceSdk: signed in as voip-7")));
    {
        // The switch accepted the client's application credentials and got
        // the account in its order.
        std::lock_guard<std::mutex> lock(checkedMutex);
        QCOMPARE(checked, QStringList { QStringLiteral("sub-1|子密码|voip-7|pw 7") });
    }

    voiceSwitch.stop();
    QTRY_VERIFY(!VoiceSession::isOnline());
    QTRY_VERIFY(lines().contains(QStringLiteral("连接服务器失败！")));
}

void TestVoiceSession::signsInAgainWithGrowingWaitsUntilTheSwitchReturns()
{
    VoiceReconnector::setWaitsForTesting(40, 160);
    auto voiceSwitch = std::make_unique<voiceswitch::VoiceSwitch>(nullptr);
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
    const int port = voiceSwitch->port();
    VoiceSession::setLibraryForTesting(QString());
    VoiceSession::setServerForTesting("127.0.0.1", port);
    QVERIFY(VoiceSession::start(table, account));
    VoiceSession::setServerForTesting(QByteArray(), 0);
    QTRY_VERIFY(VoiceSession::isOnline());
    VoiceReconnector* reconnector = VoiceReconnector::instance();
    QVERIFY(!reconnector->isReconnecting());

    debug->clear();
    voiceSwitch.reset();
    QTRY_VERIFY(!VoiceSession::isOnline());
    QTRY_VERIFY(reconnector->isReconnecting());
    // While the switch stays away each try waits twice as long, up to the limit.
    const QRegularExpression planned(QStringLiteral("^voice session lost; signing in again in (\\d+) ms$"));
    const auto waits = [&] {
        QStringList found;
        for (const QString& line : lines()) {
            const QRegularExpressionMatch m = planned.match(line);
            if (m.hasMatch())
                found << m.captured(1);
        }
        return found;
    };
    QTRY_VERIFY_WITH_TIMEOUT(waits().size() >= 4, 10000);
    QCOMPARE(waits().mid(0, 4), (QStringList { "40", "80", "160", "160" }));

    // Back at its address: the session signs in again by itself.
    voiceSwitch = std::make_unique<voiceswitch::VoiceSwitch>(nullptr);
    QVERIFY(voiceSwitch->start("127.0.0.1", port));
    QTRY_VERIFY_WITH_TIMEOUT(VoiceSession::isOnline(), 10000);
    QTRY_VERIFY(!reconnector->isReconnecting());
    QCOMPARE(reconnector->nextWaitMs(), 40);
    voiceSwitch.reset();
    QTRY_VERIFY(!VoiceSession::isOnline());
    VoiceReconnector::setWaitsForTesting(VoiceReconnector::FirstWaitMs, VoiceReconnector::LongestWaitMs);
}

QTEST_GUILESS_MAIN(TestVoiceSession)
#include "tst_voicesession.moc"
