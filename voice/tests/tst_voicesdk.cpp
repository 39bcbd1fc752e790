#include "voicesdk.h"
#include "voiceswitch.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <mutex>
#include <thread>

using voiceswitch::VoiceSwitch;

namespace {

// What the callbacks saw, in order, and on which threads.
struct Events
{
    std::mutex mutex;
    QStringList seen;
    bool onCallerThread = false;

    void add(const QString& event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        seen << event;
        if (std::this_thread::get_id() == callerThread)
            onCallerThread = true;
    }
    QStringList all()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }
    bool has(const QString& event) { return all().contains(event); }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        seen.clear();
    }

    std::thread::id callerThread = std::this_thread::get_id();
};

Events& events()
{
    static Events instance;
    return instance;
}

QString text(const char* value)
{
    return QString::fromUtf8(value ? value : "(null)");
}

void onConnected()
{
    events().add(QStringLiteral("connected"));
}
void onConnectError(VoiceReason* reason)
{
    events().add(QStringLiteral("error:%1").arg(reason ? reason->code : -1));
}
void onProceeding(const char* id)
{
    events().add(QStringLiteral("proceeding:") + text(id));
}
void onAlerting(const char* id)
{
    events().add(QStringLiteral("alerting:") + text(id));
}
void onAnswered(const char* id)
{
    events().add(QStringLiteral("answered:") + text(id));
}
void onFailed(const char* id, int reason)
{
    events().add(QStringLiteral("failed:%1:%2").arg(text(id)).arg(reason));
}
void onReleased(const char* id)
{
    events().add(QStringLiteral("released:") + text(id));
}
void onLogInfo(const char* line)
{
    events().add(QStringLiteral("log:") + text(line));
}

template <typename Fn> void* entry(Fn function)
{
    return reinterpret_cast<void*>(function);
}

const char* const AppId = VoiceSwitch::DefaultApplicationId;
const char* const AppToken = VoiceSwitch::DefaultApplicationToken;

} // namespace

class TestVoiceSdk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusesBadArgumentsAndLoginBeforeInit();
    void signsInOnItsOwnThread();
    void reportsWhyItCouldNotSignIn_data();
    void reportsWhyItCouldNotSignIn();
    void placesAndReleasesACall();
    void reportsAFailedCall();
    void lostSwitchEndsTheCallAndTheSession();
    void signingInAgainReplacesTheSession();
    void keepsItsOwnCopyOfTheTable();

private:
    void signIn(const char* voipPwd = "voippwd");
    QString waitForCallId(const QString& prefix);

    std::unique_ptr<VoiceSwitch> voiceSwitch;
    void* table[VOICE_CALLBACK_COUNT] = {};
};

void TestVoiceSdk::initTestCase()
{
    table[VOICE_CB_ON_CONNECTED] = entry(&onConnected);
    table[VOICE_CB_ON_CONNECT_ERROR] = entry(&onConnectError);
    table[VOICE_CB_ON_CALL_PROCEEDING] = entry(&onProceeding);
    table[VOICE_CB_ON_CALL_ALERTING] = entry(&onAlerting);
    table[VOICE_CB_ON_CALL_ANSWERED] = entry(&onAnswered);
    table[VOICE_CB_ON_MAKE_CALL_FAILED] = entry(&onFailed);
    table[VOICE_CB_ON_CALL_RELEASED] = entry(&onReleased);
    table[VOICE_CB_ON_LOG_INFO] = entry(&onLogInfo);
}

void TestVoiceSdk::init()
{
    events().clear();
    voiceSwitch = std::make_unique<VoiceSwitch>(
        [](const std::string& sub, const std::string& subPwd, const std::string& voip, const std::string& voipPwd) {
            return sub == "sub" && subPwd == "subpwd" && voip == "voip1" && voipPwd == "voippwd"
                ? VoiceSwitch::Account::Accepted
                : VoiceSwitch::Account::Refused;
        });
    voiceSwitch->setCallTiming(std::chrono::milliseconds(10), std::chrono::milliseconds(10));
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
}

void TestVoiceSdk::cleanup()
{
    voiceSwitch.reset();
    // Whatever session a test left goes down with the switch.
    QTRY_VERIFY(!voiceIsOnline());
}

void TestVoiceSdk::signIn(const char* voipPwd)
{
    QCOMPARE(voiceInit(table), int(VOICE_OK));
    QCOMPARE(voiceLogin("127.0.0.1", voiceSwitch->port(), AppId, AppToken, "sub", "subpwd", "voip1", voipPwd),
        int(VOICE_OK));
}

QString TestVoiceSdk::waitForCallId(const QString& prefix)
{
    QString found;
    [[maybe_unused]] const bool arrived = QTest::qWaitFor([&] {
        for (const QString& e : events().all()) {
            if (e.startsWith(prefix))
                found = e.mid(prefix.size()).section(QLatin1Char(':'), 0, 0);
        }
        return !found.isEmpty();
    });
    return found;
}

void TestVoiceSdk::refusesBadArgumentsAndLoginBeforeInit()
{
    QCOMPARE(voiceLogin("127.0.0.1", voiceSwitch->port(), AppId, AppToken, "sub", "subpwd", "voip1", "voippwd"),
        int(VOICE_ERR_NO_TABLE));
    QCOMPARE(voiceInit(nullptr), int(VOICE_ERR_ARGUMENT));
    QCOMPARE(voiceInit(table), int(VOICE_OK));
    QCOMPARE(voiceLogin(nullptr, 8883, AppId, AppToken, "a", "b", "c", "d"), int(VOICE_ERR_ARGUMENT));
    QCOMPARE(voiceLogin("127.0.0.1", 0, AppId, AppToken, "a", "b", "c", "d"), int(VOICE_ERR_ARGUMENT));
    QCOMPARE(voiceLogin("127.0.0.1", 8883, AppId, AppToken, "a", "b", "c", nullptr), int(VOICE_ERR_ARGUMENT));
    QCOMPARE(voiceIsOnline(), 0);
    QCOMPARE(voiceMakeCall(1, "008613812345678"), int(VOICE_ERR_OFFLINE));
    QCOMPARE(voiceMakeCall(1, nullptr), int(VOICE_ERR_ARGUMENT));
    QCOMPARE(voiceReleaseCall(0), int(VOICE_ERR_OFFLINE));
    QVERIFY(events().all().isEmpty());
}

void TestVoiceSdk::signsInOnItsOwnThread()
{
    signIn();
    QTRY_VERIFY(events().has(QStringLiteral("connected")));
    QCOMPARE(voiceIsOnline(), 1);
    QCOMPARE(voiceSwitch->sessionCount(), 1);
    QVERIFY(events().has(QStringLiteral("log:VoiceSdk: connecting to 127.0.0.1:%1").arg(voiceSwitch->port())));
    QVERIFY(events().has(QStringLiteral("log:VoiceSdk: signed in as voip1")));
    QVERIFY(!events().onCallerThread);
}

void TestVoiceSdk::reportsWhyItCouldNotSignIn_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<int>("reason");
    QTest::newRow("wrong voice password") << "switch" << int(VOICE_REASON_BAD_ACCOUNT);
    QTest::newRow("nobody listening") << "closed port" << int(VOICE_REASON_UNREACHABLE);
    QTest::newRow("not a voice switch") << "other server" << int(VOICE_REASON_PROTOCOL);
}

void TestVoiceSdk::reportsWhyItCouldNotSignIn()
{
    QFETCH(QString, peer);
    QFETCH(int, reason);
    QCOMPARE(voiceInit(table), int(VOICE_OK));
    QTcpServer other;
    if (peer == QLatin1String("switch")) {
        signIn("wrong");
    } else {
        QVERIFY(other.listen(QHostAddress::LocalHost));
        const int port = other.serverPort();
        if (peer == QLatin1String("closed port"))
            other.close();
        connect(&other, &QTcpServer::newConnection, &other, [&other] {
            QTcpSocket* socket = other.nextPendingConnection();
            socket->write("HTTP/1.1 400 Bad Request\r\n\r\n");
        });
        QCOMPARE(voiceLogin("127.0.0.1", port, AppId, AppToken, "sub", "subpwd", "voip1", "voippwd"), int(VOICE_OK));
    }
    QTRY_VERIFY(events().has(QStringLiteral("error:%1").arg(reason)));
    QVERIFY(!events().has(QStringLiteral("connected")));
    QCOMPARE(voiceIsOnline(), 0);
    QCOMPARE(voiceMakeCall(1, "008613812345678"), int(VOICE_ERR_OFFLINE));
}

void TestVoiceSdk::placesAndReleasesACall()
{
    signIn();
    QTRY_COMPARE(voiceIsOnline(), 1);
    QCOMPARE(voiceMakeCall(1, "008613812345678"), int(VOICE_OK));
    const QString id = waitForCallId(QStringLiteral("proceeding:"));
    QVERIFY(!id.isEmpty());
    QTRY_VERIFY(events().has(QStringLiteral("answered:") + id));
    QCOMPARE(voiceReleaseCall(1), int(VOICE_ERR_ARGUMENT));
    QCOMPARE(voiceReleaseCall(0), int(VOICE_OK));
    QTRY_VERIFY(events().has(QStringLiteral("released:") + id));

    QStringList calls;
    for (const QString& e : events().all()) {
        if (!e.startsWith(QLatin1String("log:")) && e != QLatin1String("connected"))
            calls << e;
    }
    QCOMPARE(calls, QStringList({ "proceeding:" + id, "alerting:" + id, "answered:" + id, "released:" + id }));
    QCOMPARE(voiceSwitch->callLog().back().number, std::string("008613812345678"));
}

void TestVoiceSdk::reportsAFailedCall()
{
    signIn();
    QTRY_COMPARE(voiceIsOnline(), 1);
    QCOMPARE(voiceMakeCall(1, "0086 138"), int(VOICE_OK));
    const QString id = waitForCallId(QStringLiteral("proceeding:"));
    QTRY_VERIFY(events().has(QStringLiteral("failed:%1:%2").arg(id).arg(int(VOICE_FAIL_UNREACHABLE))));
    // The number reached the switch unchanged, space and all.
    QCOMPARE(voiceSwitch->callLog().back().number, std::string("0086 138"));
    QCOMPARE(voiceIsOnline(), 1);
}

void TestVoiceSdk::lostSwitchEndsTheCallAndTheSession()
{
    signIn();
    QTRY_COMPARE(voiceIsOnline(), 1);
    QCOMPARE(voiceMakeCall(1, "008613812345678"), int(VOICE_OK));
    const QString id = waitForCallId(QStringLiteral("answered:"));
    QVERIFY(!id.isEmpty());
    voiceSwitch->stop();
    QTRY_VERIFY(events().has(QStringLiteral("error:%1").arg(int(VOICE_REASON_CONNECTION_LOST))));
    QVERIFY(events().has(QStringLiteral("released:") + id));
    QCOMPARE(voiceIsOnline(), 0);
    QCOMPARE(voiceMakeCall(1, "008613812345678"), int(VOICE_ERR_OFFLINE));
}

void TestVoiceSdk::signingInAgainReplacesTheSession()
{
    signIn();
    QTRY_COMPARE(voiceSwitch->sessionCount(), 1);
    signIn();
    QTRY_COMPARE(events().all().count(QStringLiteral("connected")), 2);
    QTRY_COMPARE(voiceSwitch->sessionCount(), 1);
    QCOMPARE(voiceIsOnline(), 1);
}

void TestVoiceSdk::keepsItsOwnCopyOfTheTable()
{
    {
        void* local[VOICE_CALLBACK_COUNT] = {};
        local[VOICE_CB_ON_CONNECTED] = entry(&onConnected);
        QCOMPARE(voiceInit(local), int(VOICE_OK));
        std::fill(std::begin(local), std::end(local), nullptr);
    }
    QCOMPARE(voiceLogin("127.0.0.1", voiceSwitch->port(), AppId, AppToken, "sub", "subpwd", "voip1", "voippwd"),
        int(VOICE_OK));
    QTRY_VERIFY(events().has(QStringLiteral("connected")));
    // Only that one entry was given: nothing else was called.
    QCOMPARE(events().all(), QStringList { QStringLiteral("connected") });
}

QTEST_GUILESS_MAIN(TestVoiceSdk)
#include "tst_voicesdk.moc"
