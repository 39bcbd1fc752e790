#include "linebuffer.h"
#include "voiceswitch.h"
#include "wireline.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <atomic>
#include <mutex>

using voiceswitch::CallRecord;
using voiceswitch::VoiceSwitch;

namespace {

// A session with the switch that speaks the protocol line by line.
class WireClient
{
public:
    // From `from`, one of the many loopback addresses, when given; with a
    // kernel receive buffer of `receiveBuffer` bytes when given.
    explicit WireClient(int port, const QString& from = QString(), int receiveBuffer = 0)
    {
        if (!from.isEmpty() || receiveBuffer > 0)
            socket.bind(QHostAddress(from.isEmpty() ? QStringLiteral("127.0.0.1") : from));
        if (receiveBuffer > 0)
            socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
        connected = socket.waitForConnected(5000);
    }

    void send(const QByteArray& rawLine)
    {
        socket.write(rawLine);
        socket.flush();
    }

    // The next line without its LF; empty when none came within 5 s.
    QByteArray next()
    {
        while (!socket.canReadLine()) {
            if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
                return {};
            if (!socket.waitForReadyRead(5000) && !socket.canReadLine())
                return {};
        }
        return socket.readLine().chopped(1);
    }

    bool signIn(const QByteArray& subAccount = "sub")
    {
        if (next() != "HELLO FVP/1")
            return false;
        send(QByteArray("LOGIN ") + VoiceSwitch::DefaultApplicationId + ' ' + VoiceSwitch::DefaultApplicationToken + ' '
            + subAccount + " subpwd voip1 voippwd\n");
        return next() == "LOGIN-OK";
    }

    bool waitForClose()
    {
        if (socket.state() == QAbstractSocket::UnconnectedState)
            return true;
        return socket.waitForDisconnected(5000) || socket.state() == QAbstractSocket::UnconnectedState;
    }

    QTcpSocket socket;
    bool connected = false;
};

QByteArray callIdOf(const QByteArray& line)
{
    return line.split(' ').value(1);
}

int callNumberOf(const QByteArray& line)
{
    return callIdOf(line).mid(int(strlen("call-"))).toInt();
}

} // namespace

class TestVoiceSwitch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fieldsSurviveTheWire_data();
    void fieldsSurviveTheWire();
    void malformedFieldsAreRejected();
    void lineBufferSplitsAndBoundsLines();

    void signInChecksEveryCredential_data();
    void signInChecksEveryCredential();
    void nothingButLoginIsServedBeforeSignIn_data();
    void nothingButLoginIsServedBeforeSignIn();
    void silentSessionsAreClosed_data();
    void silentSessionsAreClosed();
    void connectionsAreLimitedInAllAndPerAddress();
    void connectionsNotSignedInKeepNoSlotFromADesk();
    void balancersConnectionsCountByTheirClients();
    void floodingSessionHoldsUpNoOtherSession();
    void endedAccountLosesItsSessions();
    void sessionsLastOnlyAsLongAsTheirAccount();

    void callRules_data();
    void callRules();
    void callerHangsUp();
    void farEndHangsUp();
    void secondCallWhileBusyFails();
    void releaseWithoutCallIsAnError();
    void droppedSessionEndsItsCall();
    void malformedAndOverlongLines();
    void callLogStaysBounded();

    void stopReleasesCallsAndSaysBye();
    void busyPortIsReported();

private:
    std::unique_ptr<VoiceSwitch> voiceSwitch;
    std::mutex checkedMutex;
    QStringList checked;
};

void TestVoiceSwitch::init()
{
    {
        std::lock_guard<std::mutex> lock(checkedMutex);
        checked.clear();
    }
    voiceSwitch = std::make_unique<VoiceSwitch>(
        [this](const std::string& sub, const std::string& subPwd, const std::string& voip, const std::string& voipPwd) {
            std::lock_guard<std::mutex> lock(checkedMutex);
            checked << QString::fromStdString(sub + "|" + subPwd + "|" + voip + "|" + voipPwd);
            return sub == "sub" && subPwd == "subpwd" && voip == "voip1" && voipPwd == "voippwd"
                ? VoiceSwitch::Account::Accepted
                : VoiceSwitch::Account::Refused;
        });
    voiceSwitch->setCallTiming(std::chrono::milliseconds(10), std::chrono::milliseconds(10));
    QVERIFY2(voiceSwitch->start("127.0.0.1", 0), voiceSwitch->errorString().c_str());
    QVERIFY(voiceSwitch->port() > 0);
}

void TestVoiceSwitch::cleanup()
{
    voiceSwitch.reset();
}

void TestVoiceSwitch::fieldsSurviveTheWire_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("plain") << QByteArray("008613812345678") << QByteArray("008613812345678");
    QTest::newRow("space and percent") << QByteArray("a b%c") << QByteArray("a%20b%25c");
    QTest::newRow("utf-8") << QByteArray("张三") << QByteArray("%E5%BC%A0%E4%B8%89");
    QTest::newRow("controls") << QByteArray("x\ny\r\t\x7f", 6) << QByteArray("x%0Ay%0D%09%7F");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestVoiceSwitch::fieldsSurviveTheWire()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, encoded);
    const std::string wire = voicewire::encodeField(value.toStdString());
    QCOMPARE(QByteArray::fromStdString(wire), encoded);
    std::string back;
    QVERIFY(voicewire::decodeField(wire, back));
    QCOMPARE(QByteArray::fromStdString(back), value);

    // As one field among others, empty ones included, with a CR before the LF.
    const std::string line = voicewire::makeLine({ "CMD", value.toStdString(), "", "end" });
    QVERIFY(line.back() == '\n');
    std::vector<std::string> words;
    QVERIFY(voicewire::splitLine(line.substr(0, line.size() - 1) + "\r", words));
    QCOMPARE(words.size(), std::size_t(4));
    QCOMPARE(QByteArray::fromStdString(words[1]), value);
    QVERIFY(words[2].empty());
    QCOMPARE(words[3], std::string("end"));
}

void TestVoiceSwitch::malformedFieldsAreRejected()
{
    std::string value;
    for (const char* bad : { "%", "%4", "%zz", "ab%G1", "x%" })
        QVERIFY2(!voicewire::decodeField(bad, value), bad);
    std::vector<std::string> words;
    QVERIFY(!voicewire::splitLine("CALL 1 %q1", words));
}

void TestVoiceSwitch::lineBufferSplitsAndBoundsLines()
{
    voicewire::LineBuffer buffer;
    std::string line;
    buffer.append("ONE\nTW", 6);
    QVERIFY(buffer.nextLine(line));
    QCOMPARE(line, std::string("ONE"));
    QVERIFY(!buffer.nextLine(line));
    buffer.append("O\n", 2);
    QVERIFY(buffer.nextLine(line));
    QCOMPARE(line, std::string("TWO"));

    const std::string longest(voicewire::MaxLineLength, 'x');
    buffer.append(longest.data(), longest.size());
    QVERIFY(!buffer.overflowed());
    buffer.append("yy", 2);
    QVERIFY(buffer.overflowed());
    buffer.append("\n", 1);
    QVERIFY(!buffer.nextLine(line)); // an overlong line is never handed out
}

void TestVoiceSwitch::signInChecksEveryCredential_data()
{
    QTest::addColumn<QByteArray>("login");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("accountChecks");
    const QByteArray app = QByteArray(VoiceSwitch::DefaultApplicationId) + ' ' + VoiceSwitch::DefaultApplicationToken;
    QTest::newRow("accepted") << "LOGIN " + app + " sub subpwd voip1 voippwd" << QByteArray("LOGIN-OK") << 1;
    QTest::newRow("application credentials swapped")
        << QByteArray("LOGIN ") + VoiceSwitch::DefaultApplicationToken + ' ' + VoiceSwitch::DefaultApplicationId
            + " sub subpwd voip1 voippwd"
        << QByteArray("LOGIN-ERR 401 application%20credentials%20refused") << 0;
    QTest::newRow("wrong voice password")
        << "LOGIN " + app + " sub subpwd voip1 nope" << QByteArray("LOGIN-ERR 403 voice%20account%20refused") << 1;
    QTest::newRow("account fields swapped")
        << "LOGIN " + app + " voip1 voippwd sub subpwd" << QByteArray("LOGIN-ERR 403 voice%20account%20refused") << 1;
    QTest::newRow("field missing") << "LOGIN " + app + " sub subpwd voip1"
                                   << QByteArray("LOGIN-ERR 400 LOGIN%20takes%20six%20fields") << 0;
}

void TestVoiceSwitch::signInChecksEveryCredential()
{
    QFETCH(QByteArray, login);
    QFETCH(QByteArray, answer);
    QFETCH(int, accountChecks);
    WireClient client(voiceSwitch->port());
    QVERIFY(client.connected);
    QCOMPARE(client.next(), QByteArray("HELLO FVP/1"));
    client.send(login + '\n');
    QCOMPARE(client.next(), answer);
    {
        std::lock_guard<std::mutex> lock(checkedMutex);
        QCOMPARE(checked.size(), accountChecks);
    }
    if (answer == "LOGIN-OK") {
        QTRY_COMPARE(voiceSwitch->sessionCount(), 1);
        client.send("LOGIN x\n");
        QCOMPARE(client.next(), QByteArray("ERR 400 already%20signed%20in"));
    } else {
        QVERIFY(client.waitForClose());
        QCOMPARE(voiceSwitch->sessionCount(), 0);
    }
}

void TestVoiceSwitch::nothingButLoginIsServedBeforeSignIn_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("answer");
    const QByteArray refused("ERR 401 sign%20in%20first");
    QTest::newRow("call") << QByteArray("CALL 1 008613812345678\n") << refused;
    QTest::newRow("ping") << QByteArray("PING\n") << refused;
    QTest::newRow("flood of pings") << QByteArray("PING\n").repeated(200000) << refused;
    QTest::newRow("release") << QByteArray("RELEASE\n") << refused;
    QTest::newRow("malformed") << QByteArray("CALL 1 %zz\n") << refused;
    QTest::newRow("bye") << QByteArray("BYE\n") << QByteArray("BYE");
}

void TestVoiceSwitch::nothingButLoginIsServedBeforeSignIn()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, answer);
    WireClient client(voiceSwitch->port());
    QCOMPARE(client.next(), QByteArray("HELLO FVP/1"));
    client.send(sent);
    // One answer and the connection ends, however much more was sent.
    QCOMPARE(client.next(), answer);
    QVERIFY(client.waitForClose());
    QCOMPARE(client.socket.readAll(), QByteArray());
    QVERIFY(voiceSwitch->callLog().empty());
    std::lock_guard<std::mutex> lock(checkedMutex);
    QVERIFY(checked.isEmpty());
}

void TestVoiceSwitch::silentSessionsAreClosed_data()
{
    QTest::addColumn<bool>("signIn");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::newRow("never signed in") << false << QByteArray();
    QTest::newRow("signed in, then silent") << true << QByteArray("PING\n");
    QTest::newRow("silent during a call") << true << QByteArray("CALL 1 008613812345678\n");
}

void TestVoiceSwitch::silentSessionsAreClosed()
{
    QFETCH(bool, signIn);
    QFETCH(QByteArray, lastLine);
    // Short for the time-out under test, long for the other one.
    const std::chrono::milliseconds timeout(signIn ? 500 : 150);
    voiceSwitch->stop();
    voiceSwitch->setLoginTimeout(signIn ? std::chrono::milliseconds(10000) : timeout);
    voiceSwitch->setIdleTimeout(signIn ? timeout : std::chrono::milliseconds(10000));
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
    QElapsedTimer sinceLastLine;
    sinceLastLine.start();
    WireClient client(voiceSwitch->port());
    if (signIn) {
        QVERIFY(client.signIn());
        sinceLastLine.start();
        client.send(lastLine);
    } else {
        QCOMPARE(client.next(), QByteArray("HELLO FVP/1"));
    }
    QByteArray line = client.next();
    if (line.startsWith("PROCEEDING")) {
        const QByteArray id = callIdOf(line);
        do
            line = client.next();
        while (line.startsWith("ALERTING") || line.startsWith("ANSWERED"));
        QCOMPARE(line, "RELEASED " + id);
        QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("switch"));
        line = client.next();
    } else if (line == "PONG") {
        line = client.next();
    }
    QCOMPARE(line, QByteArray("BYE"));
    QVERIFY(client.waitForClose());
    QVERIFY(sinceLastLine.elapsed() >= timeout.count());
}

void TestVoiceSwitch::connectionsAreLimitedInAllAndPerAddress()
{
    voiceSwitch->stop();
    voiceSwitch->setConnectionLimits(4, 2);
    std::mutex noted;
    QStringList limits;
    voiceSwitch->setRefusalObserver([&](const std::string& limit) {
        std::lock_guard<std::mutex> lock(noted);
        limits << QString::fromStdString(limit);
    });
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
    const int port = voiceSwitch->port();
    const QByteArray perAddress("ERR 503 too%20many%20sessions%20from%20this%20address");
    const QByteArray overall("ERR 503 too%20many%20sessions");

    WireClient first(port, "127.0.0.1");
    WireClient second(port, "127.0.0.1");
    QVERIFY(first.signIn());
    QVERIFY(second.signIn());
    WireClient third(port, "127.0.0.1");
    QCOMPARE(third.next(), perAddress);
    QVERIFY(third.waitForClose());

    // Other addresses still get in, up to the limit in all.
    WireClient elsewhere(port, "127.0.0.2");
    WireClient elsewhereToo(port, "127.0.0.3");
    QVERIFY(elsewhere.signIn());
    QVERIFY(elsewhereToo.signIn());
    WireClient beyond(port, "127.0.0.4");
    QCOMPARE(beyond.next(), overall);
    QVERIFY(beyond.waitForClose());
    {
        std::lock_guard<std::mutex> lock(noted);
        QCOMPARE(limits, (QStringList { "voice_connections_per_address", "voice_connections" }));
    }

    // A connection that ends gives its place back.
    second.send("BYE\n");
    QCOMPARE(second.next(), QByteArray("BYE"));
    QVERIFY(second.waitForClose());
    QTRY_COMPARE(WireClient(port, "127.0.0.1").next(), QByteArray("HELLO FVP/1"));
}

void TestVoiceSwitch::connectionsNotSignedInKeepNoSlotFromADesk()
{
    // With the switch's own limits: eight addresses of one network open
    // eight connections each and never sign in.
    const int port = voiceSwitch->port();
    std::vector<std::unique_ptr<WireClient>> idle;
    for (int a = 2; a <= 9; ++a) {
        for (int i = 0; i < 8; ++i)
            idle.push_back(std::make_unique<WireClient>(port, QStringLiteral("127.0.0.%1").arg(a)));
    }
    QTRY_COMPARE(std::count_if(idle.begin(), idle.end(), [](const auto& c) { return c->socket.bytesAvailable() > 0; }),
        std::ptrdiff_t(64));
    // A desk of another network signs in.
    WireClient desk(port, QStringLiteral("127.0.1.1"));
    QVERIFY(desk.signIn());

    // Eight networks more do the same: connections not signed in make room
    // for each other, never for a session, and a second desk gets in too.
    for (int n = 2; n <= 9; ++n) {
        for (int i = 0; i < 8; ++i)
            idle.push_back(std::make_unique<WireClient>(port, QStringLiteral("127.0.%1.1").arg(n)));
    }
    QTRY_COMPARE(std::count_if(idle.begin(), idle.end(), [](const auto& c) { return c->socket.bytesAvailable() > 0; }),
        std::ptrdiff_t(128));
    WireClient secondDesk(port, QStringLiteral("127.0.1.2"));
    QVERIFY(secondDesk.signIn());
    desk.send("PING\n");
    QCOMPARE(desk.next(), QByteArray("PONG"));
    QCOMPARE(voiceSwitch->sessionCount(), 2);
}

void TestVoiceSwitch::balancersConnectionsCountByTheirClients()
{
    voiceSwitch->stop();
    voiceSwitch->setConnectionLimits(8, 1);
    // A stand-in for the real reader: "CLIENT <address>", or "CLIENT" for
    // a client the balancer does not know.
    voiceSwitch->setProxies({ "127.0.0.5" }, [](const std::string& line, std::string* client) {
        if (line.rfind("CLIENT", 0) != 0)
            return false;
        *client = line.size() > 7 ? line.substr(7) : std::string();
        return true;
    });
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
    const int port = voiceSwitch->port();

    // Two desks through the balancer, one address: each is its own.
    WireClient desk(port, "127.0.0.5");
    desk.send("CLIENT 198.51.100.1\n");
    QVERIFY(desk.signIn());
    WireClient otherDesk(port, "127.0.0.5");
    otherDesk.send("CLIENT 198.51.100.2\n");
    QVERIFY(otherDesk.signIn());
    // A desk's second session is beyond the limit of its address.
    WireClient again(port, "127.0.0.5");
    again.send("CLIENT 198.51.100.1\n");
    QCOMPARE(again.next(), QByteArray("ERR 503 too%20many%20sessions%20from%20this%20address"));
    QVERIFY(again.waitForClose());
    // The balancer's connection that names no client is not served.
    WireClient unnamed(port, "127.0.0.5");
    unnamed.send("LOGIN x y z\n");
    QCOMPARE(unnamed.next().left(7), QByteArray("ERR 400"));
    QVERIFY(unnamed.waitForClose());
    // Nobody else may name a client: the line is no LOGIN.
    WireClient direct(port, "127.0.0.6");
    QCOMPARE(direct.next(), QByteArray("HELLO FVP/1"));
    direct.send("CLIENT 198.51.100.3\n");
    QVERIFY(direct.next().startsWith("ERR"));
}

void TestVoiceSwitch::floodingSessionHoldsUpNoOtherSession()
{
    WireClient flooder(voiceSwitch->port(), QString(), 32 * 1024);
    WireClient other(voiceSwitch->port());
    QVERIFY(flooder.signIn());
    QVERIFY(other.signIn());
    // Answers for several times what the switch and the kernel hold for a
    // peer that does not read them.
    const int calls = 16000;
    flooder.send(QByteArray("CALL 2 0086138\n").repeated(calls));

    other.send("PING\nCALL 2 0086138\n");
    QCOMPARE(other.next(), QByteArray("PONG"));
    const QByteArray proceeding = other.next();
    QCOMPARE(other.next(), "FAILED " + callIdOf(proceeding) + " 488");

    // The flooder was held back, not dropped: it gets every answer once it reads.
    QByteArray last;
    for (int i = 0; i < 2 * calls; ++i) {
        last = flooder.next();
        if (!last.startsWith("PROCEEDING") && !last.startsWith("FAILED"))
            QFAIL(qPrintable(QStringLiteral("answer %1: %2").arg(i).arg(QString::fromLatin1(last))));
    }
    QVERIFY(last.endsWith(" 488"));
    QVERIFY(callNumberOf(proceeding) < callNumberOf(last));
    flooder.send("PING\n");
    QCOMPARE(flooder.next(), QByteArray("PONG"));
}

void TestVoiceSwitch::endedAccountLosesItsSessions()
{
    VoiceSwitch open(nullptr);
    open.setCallTiming(std::chrono::milliseconds(10), std::chrono::hours(1));
    QVERIFY(open.start("127.0.0.1", 0));
    WireClient caller(open.port());
    WireClient idle(open.port());
    WireClient stranger(open.port());
    QVERIFY(caller.signIn("station-1"));
    QVERIFY(idle.signIn("station-1"));
    QVERIFY(stranger.signIn("station-2"));
    caller.send("CALL 1 008613812345678\n");
    const QByteArray id = callIdOf(caller.next());
    QCOMPARE(caller.next(), "ALERTING " + id);

    QCOMPARE(open.endSessionsOf("station-1"), 2);
    QCOMPARE(caller.next(), "RELEASED " + id);
    QCOMPARE(caller.next(), QByteArray("BYE"));
    QCOMPARE(idle.next(), QByteArray("BYE"));
    QVERIFY(caller.waitForClose());
    QVERIFY(idle.waitForClose());
    QCOMPARE(open.callLog().back().endedBy, std::string("switch"));
    QCOMPARE(open.endSessionsOf("station-1"), 0);

    stranger.send("PING\n");
    QCOMPARE(stranger.next(), QByteArray("PONG"));
    QCOMPARE(open.sessionCount(), 1);
}

void TestVoiceSwitch::sessionsLastOnlyAsLongAsTheirAccount()
{
    std::atomic<VoiceSwitch::Account> account { VoiceSwitch::Account::Accepted };
    VoiceSwitch checked(
        [&](const std::string&, const std::string&, const std::string&, const std::string&) { return account.load(); });
    checked.setCallTiming(std::chrono::milliseconds(10), std::chrono::hours(1));
    QVERIFY(checked.start("127.0.0.1", 0));
    WireClient caller(checked.port());
    WireClient idle(checked.port());
    QVERIFY(caller.signIn());
    QVERIFY(idle.signIn());
    caller.send("CALL 1 008613812345678\n");
    const QByteArray id = callIdOf(caller.next());
    QCOMPARE(caller.next(), "ALERTING " + id);

    // Stopped, or its secrets changed: the next keep-alive ends a session,
    // the call in it first, and a call is not placed.
    account = VoiceSwitch::Account::Refused;
    QVERIFY(!WireClient(checked.port()).signIn());
    account = VoiceSwitch::Account::Accepted;
    WireClient late(checked.port());
    QVERIFY(late.signIn());
    account = VoiceSwitch::Account::Refused;
    caller.send("PING\n");
    QCOMPARE(caller.next(), "RELEASED " + id);
    QCOMPARE(caller.next(), QByteArray("BYE"));
    QVERIFY(caller.waitForClose());
    QCOMPARE(checked.callLog().back().endedBy, std::string("switch"));
    late.send("CALL 1 008613812345678\n");
    QCOMPARE(late.next(), QByteArray("BYE"));
    QVERIFY(late.waitForClose());
    QCOMPARE(checked.callLog().size(), std::size_t(1));

    // The account's records cannot be read: the session goes on.
    account = VoiceSwitch::Account::Unknown;
    idle.send("PING\n");
    QCOMPARE(idle.next(), QByteArray("PONG"));
}

void TestVoiceSwitch::callRules_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("failure"); // 0: rings and is answered
    QTest::newRow("mobile") << QByteArray("CALL 1 008613812345678") << 0;
    QTest::newRow("7 digits") << QByteArray("CALL 1 00861234567") << 0;
    QTest::newRow("12 digits") << QByteArray("CALL 1 0086123456789012") << 0;
    QTest::newRow("6 digits") << QByteArray("CALL 1 0086123456") << 404;
    QTest::newRow("13 digits") << QByteArray("CALL 1 00861234567890123") << 404;
    QTest::newRow("no prefix") << QByteArray("CALL 1 13812345678") << 404;
    QTest::newRow("plus sign") << QByteArray("CALL 1 0086+13812345678") << 404;
    QTest::newRow("space inside") << QByteArray("CALL 1 0086138%2012345678") << 404;
    QTest::newRow("letters") << QByteArray("CALL 1 0086138abc45678") << 404;
    QTest::newRow("empty") << QByteArray("CALL 1 ") << 404;
    QTest::newRow("other type") << QByteArray("CALL 2 008613812345678") << 488;
    QTest::newRow("type not a number") << QByteArray("CALL x 008613812345678") << 488;
}

void TestVoiceSwitch::callRules()
{
    QFETCH(QByteArray, request);
    QFETCH(int, failure);
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    client.send(request + '\n');
    const QByteArray proceeding = client.next();
    QVERIFY2(proceeding.startsWith("PROCEEDING call-"), proceeding.constData());
    const QByteArray id = callIdOf(proceeding);
    if (failure) {
        QCOMPARE(client.next(), "FAILED " + id + ' ' + QByteArray::number(failure));
    } else {
        QCOMPARE(client.next(), "ALERTING " + id);
        QCOMPARE(client.next(), "ANSWERED " + id);
    }
    const auto log = voiceSwitch->callLog();
    QCOMPARE(log.size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(log[0].callId), id);
    QCOMPARE(log[0].voipAccount, std::string("voip1"));
    QCOMPARE(log[0].state, failure ? CallRecord::State::Failed : CallRecord::State::Answered);
    QCOMPARE(log[0].failure, failure);
    QCOMPARE(log[0].answered, failure == 0);
}

void TestVoiceSwitch::callerHangsUp()
{
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    // Hanging up while it still rings.
    client.send("CALL 1 008613812345678\nRELEASE\n");
    const QByteArray id = callIdOf(client.next());
    QCOMPARE(client.next(), "RELEASED " + id);

    // And once answered: the call stays up until then.
    client.send("CALL 1 008613900000000\n");
    const QByteArray second = callIdOf(client.next());
    QCOMPARE(client.next(), "ALERTING " + second);
    QCOMPARE(client.next(), "ANSWERED " + second);
    QCOMPARE(voiceSwitch->callLog().back().state, CallRecord::State::Answered);
    client.send("RELEASE\n");
    QCOMPARE(client.next(), "RELEASED " + second);

    const auto log = voiceSwitch->callLog();
    QCOMPARE(log.size(), std::size_t(2));
    QCOMPARE(log[0].state, CallRecord::State::Released);
    QVERIFY(!log[0].answered);
    QCOMPARE(log[0].endedBy, std::string("caller"));
    QCOMPARE(log[1].number, std::string("008613900000000"));
    QVERIFY(log[1].answered);
    QVERIFY(log[1].answeredAt >= log[1].placedAt && log[1].endedAt >= log[1].answeredAt);
    QCOMPARE(log[1].endedBy, std::string("caller"));
}

void TestVoiceSwitch::farEndHangsUp()
{
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    client.send("CALL 1 008613812345678\n");
    const QByteArray id = callIdOf(client.next());
    QCOMPARE(client.next(), "ALERTING " + id);
    QCOMPARE(client.next(), "ANSWERED " + id);
    QVERIFY(voiceSwitch->hangUp(id.toStdString()));
    QCOMPARE(client.next(), "RELEASED " + id);
    QVERIFY(!voiceSwitch->hangUp(id.toStdString()));
    QVERIFY(!voiceSwitch->hangUp(""));
    QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("callee"));
}

void TestVoiceSwitch::secondCallWhileBusyFails()
{
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    client.send("CALL 1 008613812345678\nCALL 1 008613900000000\n");
    const QByteArray first = callIdOf(client.next());
    const QByteArray second = callIdOf(client.next());
    QVERIFY(first != second);
    QCOMPARE(client.next(), "FAILED " + second + " 486");
    // The first call carries on.
    QCOMPARE(client.next(), "ALERTING " + first);
    QCOMPARE(client.next(), "ANSWERED " + first);
}

void TestVoiceSwitch::releaseWithoutCallIsAnError()
{
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    client.send("RELEASE\n");
    QCOMPARE(client.next(), QByteArray("ERR 481 no%20call%20in%20progress"));
    client.send("CALL 1 0086123\n"); // fails at once: nothing left to release
    client.next();
    client.next();
    client.send("RELEASE\n");
    QCOMPARE(client.next(), QByteArray("ERR 481 no%20call%20in%20progress"));
}

void TestVoiceSwitch::droppedSessionEndsItsCall()
{
    {
        WireClient client(voiceSwitch->port());
        QVERIFY(client.signIn());
        client.send("CALL 1 008613812345678\n");
        QVERIFY(client.next().startsWith("PROCEEDING"));
    }
    QTRY_COMPARE(voiceSwitch->callLog().back().state, CallRecord::State::Released);
    QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("caller"));
    QTRY_COMPARE(voiceSwitch->sessionCount(), 0);
}

void TestVoiceSwitch::malformedAndOverlongLines()
{
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    client.send("CALL 1 %zz\n");
    QCOMPARE(client.next(), QByteArray("ERR 400 malformed%20field"));
    client.send("DIAL 1\n");
    QCOMPARE(client.next(), QByteArray("ERR 400 unknown%20command"));
    client.send("CALL 1\n");
    QCOMPARE(client.next(), QByteArray("ERR 400 CALL%20takes%20two%20fields"));
    client.send(QByteArray(int(voicewire::MaxLineLength) + 10, 'x'));
    QCOMPARE(client.next(), QByteArray("ERR 400 line%20too%20long"));
    QVERIFY(client.waitForClose());
    QVERIFY(voiceSwitch->callLog().empty());
}

void TestVoiceSwitch::callLogStaysBounded()
{
    // A peer placing call after call: every one is logged, the log keeps the latest.
    WireClient client(voiceSwitch->port());
    QVERIFY(client.signIn());
    const int batches = 21;
    const int perBatch = 500;
    QByteArray last;
    for (int batch = 0; batch < batches; ++batch) {
        client.send(QByteArray("CALL 2 0086138\n").repeated(perBatch));
        for (int i = 0; i < 2 * perBatch; ++i)
            last = client.next();
    }
    QCOMPARE(last, QByteArray("FAILED call-10500 488"));
    const std::vector<CallRecord> log = voiceSwitch->callLog();
    QVERIFY(log.size() <= 10000);
    QVERIFY(log.size() >= 5000);
    QCOMPARE(log.back().callId, std::string("call-10500"));
}

void TestVoiceSwitch::stopReleasesCallsAndSaysBye()
{
    WireClient caller(voiceSwitch->port());
    WireClient idle(voiceSwitch->port());
    QVERIFY(caller.signIn());
    QVERIFY(idle.signIn());
    caller.send("CALL 1 008613812345678\n");
    const QByteArray id = callIdOf(caller.next());
    QTRY_COMPARE(voiceSwitch->sessionCount(), 2);

    voiceSwitch->stop();
    QVERIFY(!voiceSwitch->isRunning());
    QCOMPARE(voiceSwitch->port(), 0);
    QByteArray line = caller.next();
    while (line.startsWith("ALERTING") || line.startsWith("ANSWERED"))
        line = caller.next();
    QCOMPARE(line, "RELEASED " + id);
    QCOMPARE(caller.next(), QByteArray("BYE"));
    QCOMPARE(idle.next(), QByteArray("BYE"));
    QVERIFY(caller.waitForClose());
    QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("switch"));
    voiceSwitch->stop(); // idempotent

    // The log outlives a restart.
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
    QCOMPARE(voiceSwitch->callLog().size(), std::size_t(1));
}

void TestVoiceSwitch::busyPortIsReported()
{
    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost));
    VoiceSwitch second(nullptr);
    QVERIFY(!second.start("127.0.0.1", occupant.serverPort()));
    QVERIFY(!second.errorString().empty());
    QVERIFY(!second.isRunning());
    QVERIFY(!voiceSwitch->start("127.0.0.1", 0)); // already running
}

QTEST_GUILESS_MAIN(TestVoiceSwitch)
#include "tst_voiceswitch.moc"
