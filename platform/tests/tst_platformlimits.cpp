// What keeps the platform up as a long-running service on a station's
// network: bounded memory per connection, no worker held by slow or idle
// clients, a connection limit per address and a deadline for every request.
// Slow clients come from other loopback addresses (127.0.0.2 and up), so
// that the per-address limit leaves the test's own requests alone.

#include "answercache.h"
#include "credentials.h"
#include "loginthrottle.h"
#include "platformoptions.h"
#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sessionservice.h"
#include "sql.h"
#include "transaction.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QtTest>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's runtime has it; its header is not always installed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A plain TCP connection to the server from a chosen loopback address.
class RawConnection
{
public:
    // `receiveBuffer`: the kernel's buffer for what the server sends, when
    // given (a client that does not read then holds little of it).
    RawConnection(int port, const char* from, int receiveBuffer = 0)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && receiveBuffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in source {};
        source.sin_family = AF_INET;
        inet_pton(AF_INET, from, &source.sin_addr);
        sockaddr_in target {};
        target.sin_family = AF_INET;
        target.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &target.sin_addr);
        connected = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) == 0
            && ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
    }
    ~RawConnection()
    {
        if (fd >= 0)
            ::close(fd);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool isConnected() const { return connected; }

    // Tells the server that nothing more will be sent.
    void endSending() { ::shutdown(fd, SHUT_WR); }

    // False once the server no longer takes bytes.
    bool send(const std::string& bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads until the server closes the connection or `timeoutMs` passes;
    // true when it closed.
    bool readUntilClosed(int timeoutMs, std::string* received = nullptr)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            pollfd p { fd, POLLIN, 0 };
            if (::poll(&p, 1, static_cast<int>(timeoutMs - timer.elapsed())) <= 0)
                return false;
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return true;
            if (received)
                received->append(buffer, static_cast<size_t>(n));
        }
        return false;
    }

private:
    int fd = -1;
    bool connected = false;
};

// The bytes the process holds on its heap now (the sanitizer's count when
// it runs, which leaves out what it keeps back after a free).
qint64 liveHeapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
#endif
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

const std::string versionRequest = "GET /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\n";

// Sends `request` from 127.0.0.1 and returns what came back until the server
// closed the connection (or ten seconds passed).
std::string exchange(int port, const QByteArray& request, bool* closed = nullptr)
{
    RawConnection connection(port, "127.0.0.1");
    connection.send(request.toStdString());
    std::string answer;
    const bool ended = connection.readUntilClosed(10000, &answer);
    if (closed)
        *closed = ended;
    return answer;
}

int statusLines(const std::string& answer)
{
    int count = 0;
    for (size_t at = answer.find("HTTP/1."); at != std::string::npos; at = answer.find("HTTP/1.", at + 1))
        ++count;
    return count;
}

// The answer is one refusal with `status` in the envelope, and the server
// closed the connection after it.
void verifyOneRefusal(const std::string& answer, bool closed, int status)
{
    QVERIFY2(answer.compare(0, 13, "HTTP/1.1 " + std::to_string(status) + " ") == 0, answer.c_str());
    QCOMPARE(statusLines(answer), 1);
    QVERIFY2(answer.find("\r\nContent-Type: application/json") != std::string::npos, answer.c_str());
    const size_t body = answer.find("\r\n\r\n");
    QVERIFY(body != std::string::npos);
    const QJsonObject envelope = QJsonDocument::fromJson(QByteArray::fromStdString(answer.substr(body + 4))).object();
    QCOMPARE(envelope.value("success"), QJsonValue(false));
    QVERIFY(!envelope.value("errors").toString().isEmpty());
    QVERIFY(closed);
}

// The refusal of a sign-in sent from the loopback address `from`; empty when
// it succeeded.
QString signInFrom(int port, const char* from, const QString& name, const QString& password)
{
    RawConnection connection(port, from);
    const std::string body
        = PlatformTestClient::formBody({ { "password", password }, { "username", name } }).toStdString();
    connection.send("POST /api/auth/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                    "application/x-www-form-urlencoded\r\nConnection: close\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body);
    std::string answer;
    connection.readUntilClosed(20000, &answer);
    const size_t start = answer.find("\r\n\r\n");
    const QJsonObject json = QJsonDocument::fromJson(
        QByteArray::fromStdString(answer.substr(start == std::string::npos ? answer.size() : start + 4)))
                                 .object();
    return json.value("success").toBool() ? QString() : json.value("errors").toString(QStringLiteral("no answer"));
}

// `count` trucks of `organ` with notes of `notes` characters (and a few
// hundred bytes besides on the board), written straight into the database
// past the form's limits.
void fillBoard(const platform::Storage& storage, qint64 organ, int count, int notes)
{
    const QSqlDatabase db = storage.connection();
    platform::Transaction transaction(db, platform::Transaction::Write);
    for (int i = 0; i < count; ++i) {
        platform::Sql q(db,
            "INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage, packingcase_mode, photo1,"
            " photo2, driver1_name, driver1_mobile, company_name, notes, create_time)"
            " VALUES (?, ?, 1, 0, 20, 1, ?, ?, ?, '13800001111', ?, ?, '2026-01-05 08:00:00')");
        q.bind(organ)
            .bind(QStringLiteral("鲁Z%1").arg(i, 5, 10, QLatin1Char('0')))
            .bind(QString(500, 'p'))
            .bind(QString(500, 'q'))
            .bind(QStringLiteral("司机"))
            .bind(QString(100, 'c'))
            .bind(QString(notes, 'n'))
            .exec();
    }
    transaction.commit();
}

} // namespace

class TestPlatformLimits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void headerFloodKeepsMemoryBounded();
    void tooManyHeadersAreRefusedAtTheFront_data();
    void tooManyHeadersAreRefusedAtTheFront();
    void unreadAnswersAndTheBoardAreBounded();
    void slowConnectionsDoNotStarveOthers();
    void signInsDoNotStarveOthers();
    void connectionsPerAddressAreLimited();
    void overdueRequestIsCut();

    void sessionsEndByAgeAndIdleTime_data();
    void sessionsEndByAgeAndIdleTime();
    void sixthWrongPasswordWaitsEvenWhenRight();
    void passwordChangeCountsFailuresToo();
    void throttleDelaysLocksAndForgets();
    void oneAddressCannotHoldANameUpForOthers();
    void guessesFromNewAddressesWaitAndSignInsTakeTurns();
    void guessesAreCountedBeforeTheyAreChecked();
    void fullThrottleTableKeepsLocksAndDelays();
    void signInStillHashingWhenThePasswordChangesGetsNoSession();
    void newPasswordLengthCountsWhatTheUserSees_data();
    void newPasswordLengthCountsWhatTheUserSees();
    void headChangesNothing();
    void downloadAddressIsTheConfiguredOne();
    void invisibleCharactersDoNotMakeANewName_data();
    void invisibleCharactersDoNotMakeANewName();
    void lookAlikeNamesAreOneName_data();
    void lookAlikeNamesAreOneName();
    void textMessagesAreCappedPerStationAndDay();
    void writesAreCappedPerStation_data();
    void writesAreCappedPerStation();
    void historyKeepsChangedFieldsBounded();
    void boardAnswersAreKeptByWhatTheyDependOn();

    void addressGroupsShareTheConnectionLimit_data();
    void addressGroupsShareTheConnectionLimit();
    void smugglingShapesAreRefused_data();
    void smugglingShapesAreRefused();
    void malformedRequestsGetOneEnvelope_data();
    void malformedRequestsGetOneEnvelope();
    void logHoldsOnlyPrintableText();
    void onlyStrictRequestsForThisHostAreAnswered_data();
    void onlyStrictRequestsForThisHostAreAnswered();
    void edgeAndDurabilityAreOptions();
    void wellFormedRequestsPassTheFront_data();
    void wellFormedRequestsPassTheFront();
    void refusalFollowsTheAnswersBeforeIt();
    void answersOutliveTheEndOfSending_data();
    void answersOutliveTheEndOfSending();

private:
    // For the tests that need no settings of their own and leave the sign-in
    // record alone.
    PlatformTestServer server;
};

void TestPlatformLimits::initTestCase()
{
    QVERIFY(server.start());
}

void TestPlatformLimits::headerFloodKeepsMemoryBounded()
{
    // Two rounds of four connections, each offering up to 40 MB of header
    // lines; every one is cut off once its headers outgrow their memory.
    const qint64 before = residentKiB();
    std::string lines;
    for (int i = 0; i < 20000; ++i)
        lines += "X-Filler-" + std::to_string(i)
            + ": aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
    for (int round = 0; round < 2; ++round) {
        std::vector<std::thread> floods;
        std::atomic<int> cut { 0 };
        for (int c = 0; c < 4; ++c) {
            floods.emplace_back([&, c] {
                RawConnection connection(server.port(), c % 2 ? "127.0.0.2" : "127.0.0.3");
                bool open = connection.send(versionRequest);
                for (int chunk = 0; chunk < 20 && open; ++chunk) // 20 x 1.7 MB at most
                    open = connection.send(lines);
                std::string answer;
                if (!open || connection.readUntilClosed(10000, &answer))
                    ++cut;
            });
        }
        for (std::thread& flood : floods)
            flood.join();
        QCOMPARE(cut.load(), 4);
    }
    const qint64 grown = residentKiB() - before;
    QVERIFY2(grown < 48 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown)));

    PlatformTestClient client(server.port());
    QVERIFY(client.get("/system/version/windesktop/").success());
}

void TestPlatformLimits::tooManyHeadersAreRefusedAtTheFront_data()
{
    QTest::addColumn<int>("headers");
    QTest::newRow("150") << 150;
    // Within the head's bytes, but more than the library's memory holds.
    QTest::newRow("1,500 short ones") << 1500;
}

void TestPlatformLimits::tooManyHeadersAreRefusedAtTheFront()
{
    QFETCH(int, headers);
    std::string request = versionRequest;
    for (int i = 0; i < headers; ++i)
        request += "X-" + std::to_string(i) + ": 1\r\n";
    QVERIFY(request.size() < 32 * 1024);
    bool closed = false;
    const std::string answer = exchange(server.port(), QByteArray::fromStdString(request + "\r\n"), &closed);
    verifyOneRefusal(answer, closed, 431);
    QVERIFY(QString::fromStdString(answer).contains(QStringLiteral("请求头过多！")));
}

void TestPlatformLimits::unreadAnswersAndTheBoardAreBounded()
{
    // Clients of one network ask for a board of half a megabyte and never
    // read: the server makes answers for them only while those not yet read
    // stay within the network's share, and serves everyone else meanwhile.
    PlatformTestServer own;
    platform::PlatformServer::Config config;
    config.threads = 2;
    config.reuseAnswers = false; // each answer made afresh, as other pages would be
    config.unreadAnswerBytesPerGroup = 1024 * 1024;
    QVERIFY(own.start(config));
    PlatformTestClient client(own.port());
    QVERIFY(client.login("demo"));
    fillBoard(*own.storage(), client.organ(), 32, 16000);
    const QByteArray board = client.get("/truck/" + client.suffix()).body;
    QVERIFY2(board.size() > 400 * 1024, qPrintable(QString::number(board.size())));

    const qint64 before = liveHeapBytes();
    const std::string request = "GET /api/truck/" + client.suffix().toStdString()
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::vector<std::unique_ptr<RawConnection>> readers;
    for (int i = 0; i < 48; ++i) {
        readers.push_back(std::make_unique<RawConnection>(own.port(), i % 2 ? "127.0.3.1" : "127.0.3.2", 4096));
        QVERIFY(readers.back()->send(request));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!own.logLines().filter("requests from the network of 127.0.3.").isEmpty(), 30000);
    QCOMPARE(PlatformTestClient(own.port()).get("/truck/" + client.suffix()).body, board);
    const qint64 grown = liveHeapBytes() - before;
    QVERIFY2(grown < 16 * 1024 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown / 1024)));

    // Once they read, every request that waited is answered in full.
    std::atomic<int> whole { 0 };
    std::vector<std::thread> reading;
    for (auto& reader : readers) {
        reading.emplace_back([&, connection = reader.get()] {
            std::string answer;
            if (connection->readUntilClosed(60000, &answer) && QByteArray::fromStdString(answer).endsWith(board))
                ++whole;
        });
    }
    for (std::thread& thread : reading)
        thread.join();
    QCOMPARE(whole.load(), 48);

    // The board itself is bounded: a station has so many trucks at most.
    const qint64 trucks = platform::Sql::scalar(
        own.storage()->connection(), "SELECT COUNT(*) FROM trucks WHERE organ = ? AND deleted = 0", { client.organ() })
                              .toLongLong();
    config.limits.trucksPerStation = int(trucks) + 1;
    QVERIFY(own.start(config));
    PlatformTestClient clerk(own.port());
    QVERIFY(clerk.login("demo"));
    // And its texts hold no control characters, which cost six bytes each in
    // an answer: only the line breaks of the notes stay.
    QMap<QString, QString> form = PlatformTestClient::truckForm(QStringLiteral("鲁Z99999"));
    form["driver1_name"] = QStringLiteral("张\u0001三");
    form["company_name"] = QStringLiteral("顺\u001b[2J达\u0085");
    form["notes"] = QStringLiteral("第一行\r\n第二行\u0007\r第三行");
    const qint64 last = clerk.addTruck(QStringLiteral("鲁Z99999"), form);
    QVERIFY(last > 0);
    const QJsonObject shown = clerk.truck(last);
    QCOMPARE(shown.value("driver1_name").toString(), QStringLiteral("张三"));
    QCOMPARE(shown.value("company_name").toString(), QStringLiteral("顺[2J达"));
    QCOMPARE(shown.value("notes").toString(), QStringLiteral("第一行\n第二行\n第三行"));
    const auto refused = clerk.post("/truck/add/" + clerk.suffix(), PlatformTestClient::truckForm("鲁Z99998"));
    QCOMPARE(refused.errors(), QStringLiteral("本站的货车已达%1辆的上限，请先删除不用的货车！").arg(trucks + 1));
}

void TestPlatformLimits::slowConnectionsDoNotStarveOthers()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));

    // 64 connections from two other addresses: silent ones, ones stuck in
    // their headers, POSTs stuck in their bodies, and idle kept-alive ones.
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < 64; ++i) {
        slow.push_back(std::make_unique<RawConnection>(server.port(), i % 2 ? "127.0.0.2" : "127.0.0.3"));
        RawConnection& connection = *slow.back();
        QVERIFY(connection.isConnected());
        switch (i % 4) {
        case 0:
            break;
        case 1:
            QVERIFY(connection.send("GET /api/truck/ HTTP/1.1\r\nHost: 127"));
            break;
        case 2:
            QVERIFY(connection.send("POST /api/auth/ HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                    "application/x-www-form-urlencoded\r\nContent-Length: 100\r\n\r\nu"));
            break;
        default: {
            QVERIFY(connection.send(versionRequest + "\r\n"));
            break;
        }
        }
    }

    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(client.get("/truck/" + client.suffix()).success());
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    }
}

void TestPlatformLimits::signInsDoNotStarveOthers()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo2"));
    // 30 sign-ins at once (with this client, just under the limit of
    // connections from one address), each an Argon2 computation, queue for
    // their own workers; the other requests go on as before.
    std::atomic<int> signedIn { 0 };
    std::vector<std::thread> logins;
    for (int i = 0; i < 30; ++i) {
        logins.emplace_back([&] {
            PlatformTestClient login(server.port());
            if (login.login("demo"))
                ++signedIn;
        });
    }
    // Once the first is through the others are queued, two hashes at a time:
    // reads that waited in that queue would come back after the last of them.
    // Measured by order, not by the clock, so that a busy machine cannot
    // fail it.
    QTRY_VERIFY_WITH_TIMEOUT(signedIn.load() > 0, 60000);
    for (int i = 0; i < 5; ++i)
        QVERIFY(client.get("/truck/" + client.suffix()).success());
    QVERIFY2(signedIn.load() < 30, "the reads waited for the sign-ins");
    for (std::thread& login : logins)
        login.join();
    QCOMPARE(signedIn.load(), 30);
}

void TestPlatformLimits::connectionsPerAddressAreLimited()
{
    PlatformTestServer own;
    platform::PlatformServer::Config config;
    config.maxConnectionsPerAddress = 8;
    QVERIFY(own.start(config));

    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 8; ++i) {
        held.push_back(std::make_unique<RawConnection>(own.port(), "127.0.0.4"));
        QVERIFY(held.back()->send(versionRequest));
    }
    // The ninth from that address is closed unanswered; others still get in.
    RawConnection ninth(own.port(), "127.0.0.4");
    ninth.send(versionRequest + "\r\n");
    std::string answer;
    QVERIFY(ninth.readUntilClosed(10000, &answer));
    QCOMPARE(answer, std::string());
    PlatformTestClient client(own.port());
    QVERIFY(client.get("/system/version/windesktop/").success());
}

void TestPlatformLimits::overdueRequestIsCut()
{
    PlatformTestServer own;
    platform::PlatformServer::Config config;
    config.requestTimeoutSeconds = 1;
    config.idleTimeoutSeconds = 60;
    QVERIFY(own.start(config));

    // One header line every 200 ms keeps the connection active, but the
    // request as a whole is overdue after a second.
    RawConnection dripping(own.port(), "127.0.0.2");
    QVERIFY(dripping.send(versionRequest));
    QElapsedTimer timer;
    timer.start();
    bool closed = false;
    while (!closed && timer.elapsed() < 15000)
        closed = !dripping.send("X-Slow: 1\r\n") || dripping.readUntilClosed(200);
    QVERIFY(closed);

    // A request that arrives whole in time is answered as always.
    PlatformTestClient client(own.port());
    QVERIFY(client.get("/system/version/windesktop/").success());
}

void TestPlatformLimits::sessionsEndByAgeAndIdleTime_data()
{
    QTest::addColumn<qint64>("signedInSecondsAgo");
    QTest::addColumn<qint64>("usedSecondsAgo"); // -1: never since
    QTest::addColumn<bool>("live");
    const qint64 hour = 3600;
    const qint64 day = 24 * hour;
    QTest::newRow("fresh") << qint64(0) << qint64(-1) << true;
    QTest::newRow("signed in in 2000")
        << QDateTime::fromString("2000-01-01T08:00:00", Qt::ISODate).secsTo(QDateTime::currentDateTime()) << qint64(-1)
        << false;
    QTest::newRow("idle for 13 hours") << 14 * hour << 13 * hour << false;
    QTest::newRow("29 days old, used an hour ago") << 29 * day << hour << true;
    QTest::newRow("31 days old, used just now") << 31 * day << qint64(0) << false;
}

void TestPlatformLimits::sessionsEndByAgeAndIdleTime()
{
    QFETCH(qint64, signedInSecondsAgo);
    QFETCH(qint64, usedSecondsAgo);
    QFETCH(bool, live);
    const QSqlDatabase db = server.storage()->connection();
    const qint64 user = platform::Sql::scalar(db, "SELECT id FROM users WHERE username = 'demo'").toLongLong();
    const QString token = platform::Credentials::randomHex(32);
    const auto ago
        = [](qint64 seconds) { return QDateTime::currentDateTime().addSecs(-seconds).toString("yyyy-MM-dd hh:mm:ss"); };
    platform::Sql insert(db, "INSERT INTO sessions (token_digest, user, create_time, last_seen) VALUES (?, ?, ?, ?)");
    insert.bind(platform::Credentials::tokenDigest(token))
        .bind(user)
        .bind(ago(signedInSecondsAgo))
        .bind(usedSecondsAgo < 0 ? QString() : ago(usedSecondsAgo))
        .exec();

    PlatformTestClient client(server.port());
    const auto answer = client.get(QStringLiteral("/mine/profile/?token=%1&user=%2").arg(token).arg(user));
    QCOMPARE(answer.success(), live);
    // An ended session's row is gone; a live one's use is recorded when the
    // last recorded one is more than a minute old.
    const QString lastSeen = platform::Sql::scalar(db, "SELECT last_seen FROM sessions WHERE token_digest = ?",
        { platform::Credentials::tokenDigest(token) }, "gone")
                                 .toString();
    if (!live)
        QCOMPARE(lastSeen, QStringLiteral("gone"));
    else if (usedSecondsAgo >= 60)
        QVERIFY2(lastSeen >= ago(60), qPrintable(lastSeen));
}

void TestPlatformLimits::sixthWrongPasswordWaitsEvenWhenRight()
{
    PlatformTestServer own;
    QVERIFY(own.start());
    PlatformTestClient client(own.port());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(client.post("/auth/", { { "username", "demo" }, { "password", "guess" } }).errors(),
            QStringLiteral("用户名或密码错误！"));
    const QRegularExpression wait(QStringLiteral("^密码错误次数过多，请\\d+秒后再试！$"));
    const QString sixth = client.post("/auth/", { { "username", "demo" }, { "password", "guess" } }).errors();
    QVERIFY2(wait.match(sixth).hasMatch(), qPrintable(sixth));
    const QString right = client.post("/auth/", { { "username", "demo" }, { "password", "load" } }).errors();
    QVERIFY2(wait.match(right).hasMatch(), qPrintable(right));
    // Another name from elsewhere is not held up.
    QVERIFY(client.login("demo2"));
}

void TestPlatformLimits::passwordChangeCountsFailuresToo()
{
    PlatformTestServer own;
    QVERIFY(own.start());
    PlatformTestClient client(own.port());
    QVERIFY(client.login("demo"));
    const auto change = [&](const QString& old) {
        return client
            .post("/mine/password/edit/" + client.suffix(),
                { { "old_password", old }, { "new_password", "long enough" } })
            .errors();
    };
    for (int i = 0; i < 5; ++i)
        QCOMPARE(change("guess"), QStringLiteral("原密码错误！"));
    QVERIFY(change("load").startsWith(QStringLiteral("密码错误次数过多")));
    PlatformTestClient other(own.port());
    QVERIFY(!other.login("demo"));
}

void TestPlatformLimits::throttleDelaysLocksAndForgets()
{
    PlatformTestServer store(false);
    QVERIFY(store.start());
    const QSqlDatabase db = store.storage()->connection();
    platform::LoginThrottle::Policy policy;
    platform::LoginThrottle throttle(policy);
    const QString address = QStringLiteral("10.0.0.7");
    qint64 now = 1000000;
    for (int i = 0; i < policy.freeFailures; ++i) {
        QCOMPARE(throttle.waitMs(db, "ann", address, now), qint64(0));
        throttle.recordFailure(db, "ann", address, now);
    }
    // Each failure past the free ones doubles the wait.
    QCOMPARE(throttle.waitMs(db, "ann", address, now), policy.firstDelayMs);
    now += policy.firstDelayMs;
    throttle.recordFailure(db, "ann", address, now);
    QCOMPARE(throttle.waitMs(db, "ann", address, now), 2 * policy.firstDelayMs);
    QVERIFY(!throttle.isLocked(db, "ann", address, now));
    for (int i = policy.freeFailures + 1; i < policy.lockFailures; ++i)
        throttle.recordFailure(db, "ann", address, now);
    QVERIFY(throttle.isLocked(db, "ann", address, now));
    QCOMPARE(throttle.waitMs(db, "ann", address, now), policy.lockMs);
    QCOMPARE(throttle.waitMs(db, "bob", "10.0.0.8", now), qint64(0));

    // Many names from one address: the address is held up too.
    for (int i = 0; i < policy.freeFailures * policy.addressFactor; ++i)
        throttle.recordFailure(db, QStringLiteral("name%1").arg(i), "10.0.0.9", now);
    QVERIFY(throttle.waitMs(db, "someone", "10.0.0.9", now) > 0);

    // After the lock, everything is forgotten.
    now += policy.lockMs;
    QCOMPARE(throttle.waitMs(db, "ann", address, now), qint64(0));
    throttle.recordFailure(db, "ann", address, now);
    QCOMPARE(throttle.waitMs(db, "ann", address, now), qint64(0));
    throttle.recordSuccess(db, "ann", address, now);
    QVERIFY(!throttle.isLocked(db, "ann", address, now));
}

void TestPlatformLimits::oneAddressCannotHoldANameUpForOthers()
{
    // Over the wire: five wrong passwords from one address hold the name up
    // there, not where its owner signed in before.
    PlatformTestServer own;
    QVERIFY(own.start());
    QCOMPARE(signInFrom(own.port(), "127.0.0.6", "demo", "load"), QString());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(signInFrom(own.port(), "127.0.0.5", "demo", "guess"), QStringLiteral("用户名或密码错误！"));
    QVERIFY(signInFrom(own.port(), "127.0.0.5", "demo", "load").startsWith(QStringLiteral("密码错误次数过多")));
    QCOMPARE(signInFrom(own.port(), "127.0.0.6", "demo", "load"), QString());

    // By the clock: guessing from many addresses makes the name's wait grow
    // past the lock's length for every address that failed on it, while an
    // address that signed in with it before still gets in with the right
    // password.
    const QSqlDatabase db = own.storage()->connection();
    platform::LoginThrottle::Policy policy;
    platform::LoginThrottle throttle(policy);
    qint64 now = 1000000;
    throttle.recordSuccess(db, "demo", "192.168.1.20", now);
    for (int a = 0; a < 40; ++a) {
        const QString attacker = QStringLiteral("10.1.0.%1").arg(a);
        for (int i = 0; i < 2; ++i)
            throttle.recordFailure(db, "demo", attacker, now);
    }
    QCOMPARE(throttle.waitMs(db, "demo", "10.1.0.1", now), policy.lockMs);
    QVERIFY(throttle.isLocked(db, "demo", "10.1.0.1", now));
    QCOMPARE(throttle.waitMs(db, "demo", "192.168.1.20", now), qint64(0));
    // The owner's own typo makes them wait like the rest, until the right
    // password from their address clears it.
    throttle.recordFailure(db, "demo", "192.168.1.20", now);
    QVERIFY(throttle.waitMs(db, "demo", "192.168.1.20", now) > 0);
    throttle.recordSuccess(db, "demo", "192.168.1.20", now);
    QCOMPARE(throttle.waitMs(db, "demo", "192.168.1.20", now), qint64(0));
}

void TestPlatformLimits::guessesFromNewAddressesWaitAndSignInsTakeTurns()
{
    // One guess from each of five addresses: every further guess from an
    // address that never signed in with the name waits, the right password
    // from where the owner signed in before does not.
    PlatformTestServer own;
    QVERIFY(own.start());
    QCOMPARE(signInFrom(own.port(), "127.0.8.1", "demo", "load"), QString());
    for (int a = 2; a <= 6; ++a) {
        const QByteArray from = QStringLiteral("127.0.8.%1").arg(a).toLatin1();
        QCOMPARE(signInFrom(own.port(), from.constData(), "demo", "guess"), QStringLiteral("用户名或密码错误！"));
    }
    const QString fresh = signInFrom(own.port(), "127.0.8.7", "demo", "load");
    QVERIFY2(fresh.startsWith(QStringLiteral("密码错误次数过多")), qPrintable(fresh));
    QCOMPARE(signInFrom(own.port(), "127.0.8.1", "demo", "load"), QString());

    // Sign-ins queue by network: with one network's sign-ins queued, another
    // network's comes next, not after all of them. Counted by order, not by
    // the clock.
    std::atomic<int> flooded { 0 };
    std::vector<std::thread> flood;
    for (int a = 1; a <= 12; ++a) {
        flood.emplace_back([&, a] {
            const QByteArray from = QStringLiteral("127.0.9.%1").arg(a).toLatin1();
            signInFrom(own.port(), from.constData(), QStringLiteral("nobody-%1").arg(a), "guess");
            ++flooded;
        });
    }
    QTRY_VERIFY_WITH_TIMEOUT(flooded.load() > 0, 60000);
    QCOMPARE(signInFrom(own.port(), "127.0.10.1", "demo2", "load"), QString());
    const int before = flooded.load();
    for (std::thread& thread : flood)
        thread.join();
    QVERIFY2(before <= 6, qPrintable(QStringLiteral("%1 of the flood went first").arg(before)));
}

void TestPlatformLimits::guessesAreCountedBeforeTheyAreChecked()
{
    // Twelve wrong guesses at once, on one server and on two that share the
    // database: five are checked, as if they had come one after the other.
    PlatformTestServer first;
    QVERIFY(first.start());
    PlatformTestServer second(true, first.dataDir());
    QVERIFY(second.start());
    for (const bool twoServers : { false, true }) {
        const QString name = twoServers ? QStringLiteral("demo2") : QStringLiteral("demo");
        std::atomic<int> checked { 0 };
        std::atomic<int> heldUp { 0 };
        std::vector<std::thread> guesses;
        for (int i = 0; i < 12; ++i) {
            const int port = twoServers && i % 2 ? second.port() : first.port();
            guesses.emplace_back([&, port, i] {
                const QString refusal = signInFrom(port, "127.0.11.1", name, QStringLiteral("guess-%1").arg(i));
                if (refusal == QStringLiteral("用户名或密码错误！"))
                    ++checked;
                else if (refusal.startsWith(QStringLiteral("密码错误次数过多")))
                    ++heldUp;
            });
        }
        for (std::thread& guess : guesses)
            guess.join();
        QCOMPARE(checked.load(), 5);
        QCOMPARE(heldUp.load(), 7);
    }
}

void TestPlatformLimits::fullThrottleTableKeepsLocksAndDelays()
{
    PlatformTestServer store(false);
    QVERIFY(store.start());
    const QSqlDatabase db = store.storage()->connection();
    platform::LoginThrottle::Policy policy;
    policy.maxEntries = 50;
    platform::LoginThrottle throttle(policy);
    QStringList log;
    throttle.setLogSink([&](const QString& line) { log.append(line); });
    qint64 now = 1000000;
    for (int i = 0; i < policy.lockFailures; ++i)
        throttle.recordFailure(db, "victim", "10.0.0.1", now);
    QVERIFY(throttle.isLocked(db, "victim", "10.0.0.1", now));

    // Later, made-up names failed five times each from a few addresses
    // fill every table with entries that hold somebody up.
    now += 1000;
    for (int n = 0; n < 2 * policy.maxEntries; ++n) {
        const QString address = QStringLiteral("10.2.0.%1").arg(n % 40);
        for (int i = 0; i < policy.freeFailures; ++i)
            throttle.recordFailure(db, QStringLiteral("made-up%1").arg(n), address, now);
    }
    QVERIFY(throttle.isLocked(db, "victim", "10.0.0.1", now));
    QVERIFY(throttle.waitMs(db, "victim", "10.0.0.1", now) > policy.lockMs / 2);
    // A busy address gets no new entry; one without failures is let in.
    QVERIFY(throttle.waitMs(db, "another-made-up", "10.2.0.3", now) > 0);
    QCOMPARE(throttle.waitMs(db, "someone", "192.168.1.20", now), qint64(0));
    QVERIFY2(!log.filter(QStringLiteral("is full")).isEmpty(), qPrintable(log.join('\n')));

    // Once the entries are forgotten, there is room again.
    now += policy.lockMs;
    throttle.recordFailure(db, "made-up-late", "10.2.0.3", now);
    QCOMPARE(throttle.waitMs(db, "made-up-late", "10.2.0.3", now), qint64(0));
}

void TestPlatformLimits::signInStillHashingWhenThePasswordChangesGetsNoSession()
{
    PlatformTestServer own;
    QVERIFY(own.start());
    PlatformTestClient owner(own.port());
    QVERIFY(owner.login("demo"));
    // The change commits while the late sign-in has checked the old
    // password but not yet stored its session.
    std::atomic<bool> changed { false };
    platform::SessionService::setAfterPasswordCheck([&] {
        if (changed.exchange(true))
            return;
        owner.post(
            "/mine/password/edit/" + owner.suffix(), { { "old_password", "load" }, { "new_password", "cargo-van" } });
    });
    PlatformTestClient late(own.port());
    const bool lateSignedIn = late.login("demo", "load");
    platform::SessionService::setAfterPasswordCheck(nullptr);
    QVERIFY(changed);
    QVERIFY(!lateSignedIn);
    const qint64 sessions = platform::Sql::scalar(own.storage()->connection(),
        "SELECT COUNT(*) FROM sessions s JOIN users u ON u.id = s.user WHERE u.username = 'demo'")
                                .toLongLong();
    QCOMPARE(sessions, qint64(1)); // the owner's
    QVERIFY(late.login("demo", "cargo-van"));
}

void TestPlatformLimits::newPasswordLengthCountsWhatTheUserSees_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("four emoji") << QStringLiteral("\U0001F69A\U0001F69B\U0001F69C\U0001F4E6") << false;
    QTest::newRow("family emoji, four of them")
        << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467").repeated(4) << false;
    QTest::newRow("padded with invisible characters")
        << QStringLiteral("abc\u200B\u200B\u200B\u200B\u2060\uFEFF") << false;
    QTest::newRow("eight accented letters, decomposed") << QStringLiteral("e\u0301").repeated(8) << true;
    QTest::newRow("eight Chinese characters") << QStringLiteral("货运站点密码安全") << true;
    QTest::newRow("sixty-five letters") << QStringLiteral("a").repeated(65) << false;
}

void TestPlatformLimits::newPasswordLengthCountsWhatTheUserSees()
{
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    PlatformTestServer own;
    QVERIFY(own.start());
    PlatformTestClient client(own.port());
    QVERIFY(client.login("demo"));
    const auto answer = client.post(
        "/mine/password/edit/" + client.suffix(), { { "old_password", "load" }, { "new_password", password } });
    QCOMPARE(answer.success(), accepted);
    if (!accepted)
        QCOMPARE(answer.errors(), QStringLiteral("新密码须为8到64个字符！"));
    else
        QVERIFY(PlatformTestClient(own.port()).login("demo", password));
}

void TestPlatformLimits::headChangesNothing()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    const qint64 truck = client.addTruck(QStringLiteral("鲁H00001"));
    QVERIFY(truck > 0);

    QCOMPARE(client
                 .raw("HEAD",
                     QStringLiteral("/api/truck/%1/delete/").arg(truck).toStdString() + client.suffix().toStdString())
                 .status,
        200);
    QVERIFY(!client.truck(truck).isEmpty());
    // A GET that changes nothing still answers HEAD.
    QCOMPARE(client.raw("HEAD", "/api/truck/" + client.suffix().toStdString()).status, 200);
    QVERIFY(server.logLines().filter(QRegularExpression("^HEAD /api/truck/\\d+/delete/ 200 ")).size() == 1);
}

void TestPlatformLimits::downloadAddressIsTheConfiguredOne()
{
    PlatformTestServer own;
    platform::PlatformServer::Config config;
    config.publicAddress = QStringLiteral("station.example:8765");
    QVERIFY(own.start(config));
    const std::string answer = exchange(
        own.port(), "GET /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QVERIFY2(
        answer.find("\"url\":\"http://station.example:8765/download/setup.exe\"") != std::string::npos, answer.c_str());
}

void TestPlatformLimits::invisibleCharactersDoNotMakeANewName_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("zero-width space") << QStringLiteral("并发") << QStringLiteral("并发\u200B");
    QTest::newRow("control character") << QStringLiteral("集散") << QStringLiteral("集\u0007散");
    QTest::newRow("decomposed accent") << QStringLiteral("Caf\u00E9") << QStringLiteral("Cafe\u0301");
}

void TestPlatformLimits::invisibleCharactersDoNotMakeANewName()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    QVERIFY(client.addShipper(first) > 0);
    const auto answer = client.post("/shipper/add/" + client.suffix(), PlatformTestClient::shipperForm(second));
    QCOMPARE(answer.errors(), QStringLiteral("名称为“%1”的托运人已存在！").arg(first));
    QVERIFY(client.addConsignee(second) > 0);
    const QJsonArray found = client.get("/consignee/" + client.suffix({ { "page", "1" }, { "name", first } })).array();
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().toObject().value("name").toString(), first);
}

void TestPlatformLimits::lookAlikeNamesAreOneName_data()
{
    QTest::addColumn<QString>("kind"); // "shipper" or "truck"
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("no-break space") << "shipper" << QStringLiteral("顺达 物流") << QStringLiteral("顺达\u00A0物流");
    QTest::newRow("ideographic space") << "shipper" << QStringLiteral("宏达 物流") << QStringLiteral("宏达\u3000物流");
    QTest::newRow("emoji presentation selector")
        << "shipper" << QStringLiteral("红\u2764物流") << QStringLiteral("红\u2764\uFE0F物流");
    QTest::newRow("grapheme joiner") << "shipper" << QStringLiteral("安达") << QStringLiteral("安\u034F达");
    QTest::newRow("Hangul filler") << "shipper" << QStringLiteral("金达") << QStringLiteral("金\u3164达");
    QTest::newRow("full-width Latin") << "shipper" << QStringLiteral("ABC物流") << QStringLiteral("ＡＢＣ物流");
    QTest::newRow("full-width truck number")
        << "truck" << QStringLiteral("鲁A12345") << QStringLiteral("鲁Ａ１２３４５");
}

void TestPlatformLimits::lookAlikeNamesAreOneName()
{
    QFETCH(QString, kind);
    QFETCH(QString, first);
    QFETCH(QString, second);
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    if (kind == QLatin1String("truck")) {
        // The number typed first is the one shown, full-width or not.
        const qint64 truck = client.addTruck(second);
        QVERIFY(truck > 0);
        QCOMPARE(client.truck(truck).value("number").toString(), second);
        QCOMPARE(client.post("/truck/add/" + client.suffix(), PlatformTestClient::truckForm(first)).errors(),
            QStringLiteral("车牌号码%1已存在！").arg(second));
        return;
    }
    const qint64 shipper = client.addShipper(first);
    QVERIFY(shipper > 0);
    QCOMPARE(client.post("/shipper/add/" + client.suffix(), PlatformTestClient::shipperForm(second)).errors(),
        QStringLiteral("名称为“%1”的托运人已存在！").arg(first));
    // The name stays as it was typed; a consignee may still bear either.
    const qint64 consignee = client.addConsignee(second);
    QVERIFY(consignee > 0);
    const QJsonArray found = client.get("/consignee/" + client.suffix({ { "page", "1" }, { "name", second } })).array();
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().toObject().value("name").toString(), second);
}

void TestPlatformLimits::textMessagesAreCappedPerStationAndDay()
{
    PlatformTestServer own;
    platform::PlatformServer::Config config;
    config.limits.smsPerDay = 3;
    QVERIFY(own.start(config));
    PlatformTestClient demo(own.port());
    QVERIFY(demo.login("demo"));
    const QMap<QString, QString> message { { "number", "13812345678" }, { "content", "明天装货" } };
    for (int i = 0; i < 3; ++i)
        QVERIFY(demo.post("/sms/send/" + demo.suffix(), message).success());
    QCOMPARE(demo.post("/sms/send/" + demo.suffix(), message).errors(),
        QStringLiteral("今天的短信已达3条的上限，请明天再发！"));
    // Yesterday's messages do not count; another station has its own cap.
    platform::Sql::run(own.storage()->connection(), "UPDATE sms_outbox SET create_time = '2000-01-01 08:00:00'");
    QVERIFY(demo.post("/sms/send/" + demo.suffix(), message).success());
    PlatformTestClient other(own.port());
    QVERIFY(other.login("demo2"));
    QVERIFY(other.post("/sms/send/" + other.suffix(), message).success());
}

void TestPlatformLimits::addressGroupsShareTheConnectionLimit_data()
{
    QTest::addColumn<QStringList>("attackers"); // each opens 8 connections that never finish a request
    QTest::addColumn<unsigned>("perGroup");
    QTest::addColumn<unsigned>("reservedPercent");
    QTest::addColumn<bool>("newcomerRefused");
    QStringList oneNetwork;
    for (int i = 1; i <= 16; ++i)
        oneNetwork << QStringLiteral("127.0.1.%1").arg(i);
    QStringList manyNetworks;
    for (int i = 1; i <= 8; ++i)
        manyNetworks << QStringLiteral("127.0.%1.1").arg(i);
    QTest::newRow("sixteen addresses of one /24") << oneNetwork << 24u << 0u << false;
    QTest::newRow("eight networks, slots kept for known clients") << manyNetworks << 128u << 25u << true;
}

void TestPlatformLimits::addressGroupsShareTheConnectionLimit()
{
    QFETCH(QStringList, attackers);
    QFETCH(unsigned, perGroup);
    QFETCH(unsigned, reservedPercent);
    QFETCH(bool, newcomerRefused);
    PlatformTestServer own(false); // the version answer needs no station
    platform::PlatformServer::Config config;
    config.maxConnections = 64;
    config.maxConnectionsPerGroup = perGroup;
    config.reservedPercent = reservedPercent;
    QVERIFY(own.start(config));
    // The station's client has been answered before. Its connection stays
    // open throughout: closing, it would free its slot at a moment of the
    // front's choosing, before or after the attackers took theirs.
    PlatformTestClient station(own.port());
    QVERIFY(station.get("/system/version/windesktop/").success());
    QTRY_VERIFY(!own.logLines().isEmpty());

    std::vector<std::unique_ptr<RawConnection>> held;
    for (const QString& address : attackers) {
        for (int i = 0; i < 8; ++i) {
            held.push_back(std::make_unique<RawConnection>(own.port(), qPrintable(address)));
            held.back()->send("GET /api/truck/ HTTP/1.1\r\nHost: 127");
        }
    }
    // Connections are taken in the order they came.
    if (newcomerRefused) {
        RawConnection newcomer(own.port(), "127.0.9.1");
        newcomer.send(versionRequest + "\r\n");
        std::string answer;
        QVERIFY(newcomer.readUntilClosed(10000, &answer));
        QCOMPARE(answer, std::string());
    }
    for (int i = 0; i < 10; ++i)
        QVERIFY(PlatformTestClient(own.port()).get("/system/version/windesktop/").success());
}

void TestPlatformLimits::smugglingShapesAreRefused_data()
{
    QTest::addColumn<QByteArray>("head"); // after the request line; the body "hello" and a second request follow
    QTest::newRow("differing lengths") << QByteArray("Content-Length: 5\r\nContent-Length: 62\r\n");
    QTest::newRow("length and chunked") << QByteArray("Content-Length: 5\r\nTransfer-Encoding: chunked\r\n");
    QTest::newRow("gzip") << QByteArray("Transfer-Encoding: gzip\r\n");
    QTest::newRow("chunked, then gzip") << QByteArray("Transfer-Encoding: chunked, gzip\r\n");
    QTest::newRow("chunked twice") << QByteArray("Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n");
}

void TestPlatformLimits::smugglingShapesAreRefused()
{
    QFETCH(QByteArray, head);
    bool closed = false;
    const std::string answer = exchange(server.port(),
        "POST /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\n" + head
            + "\r\nhelloGET /api/smuggled/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
        &closed);
    verifyOneRefusal(answer, closed, 400);
    QVERIFY(server.logLines().filter("smuggled").isEmpty());
}

void TestPlatformLimits::malformedRequestsGetOneEnvelope_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    const QByteArray version = "GET /api/system/version/windesktop/ ";
    const QByteArray host = "Host: 127.0.0.1\r\n";
    for (const char* length : { "-5", "+5", "0x5", "5,5", "99999999999999999999999" })
        QTest::addRow("length %s", length)
            << version + "HTTP/1.1\r\n" + host + "Content-Length: " + length + "\r\n\r\nhello" << 400;
    QTest::newRow("HTTP/2.0") << version + "HTTP/2.0\r\n" + host + "\r\n" << 505;
    QTest::newRow("40 KiB header") << version + "HTTP/1.1\r\n" + host + "X-Big: " + QByteArray(40000, 'a') + "\r\n\r\n"
                                   << 431;
    QTest::newRow("no request line") << QByteArray("GARBAGE\r\n\r\n") << 400;
    QTest::newRow("broken chunk") << "POST /api/auth/ HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\nzz\r\n"
                                  << 400;
}

void TestPlatformLimits::malformedRequestsGetOneEnvelope()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    bool closed = false;
    const std::string answer = exchange(server.port(), request, &closed);
    verifyOneRefusal(answer, closed, status);
}

void TestPlatformLimits::logHoldsOnlyPrintableText()
{
    PlatformTestServer own(false); // the version answer needs no station
    QVERIFY(own.start());
    exchange(own.port(), "G\x1b[2JET /api/x\x1b[0m HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QTRY_VERIFY(!own.logLines().filter("[2JET").isEmpty());
    // An internal error names the decoded path, and needs no session: here
    // the sessions cannot be read.
    platform::Sql::run(own.storage()->connection(), "DROP TABLE sessions");
    exchange(own.port(),
        "GET /api/truck/%1B%5B2J%0Aforged/history/?token=x&user=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Connection: close\r\n\r\n");
    QTRY_VERIFY(!own.logLines().filter("internal error").isEmpty());
    QVERIFY2(!own.logLines().filter("[2J?forged").isEmpty(), qPrintable(own.logLines().join('\n')));
    for (const QString& line : own.logLines()) {
        for (const QChar c : line)
            QVERIFY2(c.isPrint(), qPrintable(line));
    }
}

void TestPlatformLimits::onlyStrictRequestsForThisHostAreAnswered_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status"); // 200: answered with success
    const QByteArray get = "GET /api/system/version/windesktop/ HTTP/1.1\r\n";
    const QByteArray host = "Host: 127.0.0.1\r\n";
    const QByteArray close = "Connection: close\r\n\r\n";
    QTest::newRow("public address") << get + "Host: Station.Example:8765\r\n" + close << 200;
    QTest::newRow("listening address") << get + host + close << 200;
    QTest::newRow("HTTP/1.0 without Host") << QByteArray("GET /api/system/version/windesktop/ HTTP/1.0\r\n\r\n") << 200;
    QTest::newRow("another name") << get + "Host: rebound.example\r\n\r\n" << 421;
    QTest::newRow("HTTP/1.1 without Host") << get + "\r\n" << 400;
    QTest::newRow("two Hosts") << get + host + host + "\r\n" << 400;
    QTest::newRow("NUL in a value") << get + host + QByteArray("X-Note: a\0b\r\n\r\n", 15) << 400;
    QTest::newRow("bare CR in a value") << get + host + "X-Note: a\rb\r\n\r\n" << 400;
    QTest::newRow("space before the colon") << get + host + "Content-Length : 5\r\n\r\nhello" << 400;
    QTest::newRow("100-continue over the form limit") << "POST /api/auth/ HTTP/1.1\r\n" + host
            + "Content-Type: application/x-www-form-urlencoded\r\nExpect: 100-continue\r\nContent-Length: "
              "100000\r\n\r\n" << 413;
}

void TestPlatformLimits::onlyStrictRequestsForThisHostAreAnswered()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    PlatformTestServer own(false); // the version answer needs no station
    platform::PlatformServer::Config config;
    config.publicAddress = QStringLiteral("station.example:8765");
    QVERIFY(own.start(config));
    bool closed = false;
    const std::string answer = exchange(own.port(), request, &closed);
    if (status == 200) {
        QVERIFY2(answer.compare(0, 15, "HTTP/1.1 200 OK") == 0, answer.c_str());
        QVERIFY2(answer.find("\"success\":true") != std::string::npos, answer.c_str());
    } else {
        verifyOneRefusal(answer, closed, status);
        QVERIFY(answer.find("100 Continue") == std::string::npos);
    }
}

void TestPlatformLimits::edgeAndDurabilityAreOptions()
{
    platform::PlatformOptions options;
    QString error;
    QVERIFY(platform::PlatformOptions::parse(
        { "freymo-platform", "--max-connections-per-group", "40", "--ipv4-group-prefix", "16", "--ipv6-group-prefix",
            "48", "--reserved-connections-percent", "0", "--synchronous-full" },
        &options, &error));
    QCOMPARE(options.maxConnectionsPerGroup, 40);
    QCOMPARE(options.ipv4GroupPrefix, 16);
    QCOMPARE(options.ipv6GroupPrefix, 48);
    QCOMPARE(options.reservedConnectionsPercent, 0);
    QVERIFY(options.synchronousFull);
    QVERIFY(!platform::PlatformOptions::parse(
        { "freymo-platform", "--reserved-connections-percent", "95" }, &options, &error));
    QVERIFY(!platform::PlatformOptions::parse({ "freymo-platform", "--ipv4-group-prefix", "33" }, &options, &error));

    // SQLite's synchronous levels: 1 is NORMAL, 2 is FULL.
    for (const bool full : { false, true }) {
        QTemporaryDir folder;
        platform::Storage storage;
        storage.setSynchronousFull(full);
        QVERIFY(storage.open(folder.filePath("platform.db"), &error));
        QCOMPARE(platform::Sql::scalar(storage.connection(), "PRAGMA synchronous").toInt(), full ? 2 : 1);
    }
}

void TestPlatformLimits::wellFormedRequestsPassTheFront_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("answers"); // each "200 OK" with success
    const QByteArray version = "GET /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const QByteArray close = "Connection: close\r\n\r\n";
    const QByteArray signIn = "POST /api/auth/ HTTP/1.1\r\nHost: localhost\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\n";
    QTest::newRow("three in a row") << version + "\r\n" + version + "\r\n" + version + close << 3;
    QTest::newRow("chunked form") << signIn + "Transfer-Encoding: chunked\r\n" + close
            + "d;part=1\r\nusername=demo\r\ne\r\n&password=load\r\n0\r\nX-Trailer: 1\r\n\r\n"
                                  << 1;
    QTest::newRow("100-continue within the limit")
        << signIn + "Expect: 100-continue\r\nContent-Length: 27\r\n" + close + "username=demo&password=load" << 1;
    QTest::newRow("bare LF line ends") << QByteArray(version + close).replace("\r\n", "\n") << 1;
    QTest::newRow("blank line first") << "\r\n" + version + close << 1;
    QTest::newRow("the same length twice")
        << version + "Content-Length: 5\r\nContent-Length: 5\r\n" + close + "hello" << 1;
}

void TestPlatformLimits::wellFormedRequestsPassTheFront()
{
    QFETCH(QByteArray, request);
    QFETCH(int, answers);
    bool closed = false;
    const std::string answer = exchange(server.port(), request, &closed);
    QVERIFY(closed);
    const QString text = QString::fromStdString(answer);
    QCOMPARE(text.count("HTTP/1.1 200 OK\r\n"), answers);
    QCOMPARE(text.count("\"success\":true"), answers);
}

void TestPlatformLimits::refusalFollowsTheAnswersBeforeIt()
{
    // Two requests and a malformed one in one piece: both are answered, in
    // order, then comes the refusal, and nothing after it runs.
    const QByteArray version = "GET /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    bool closed = false;
    const std::string answer = exchange(server.port(),
        version + version + "GET /api/x HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: -5\r\n\r\n" + version, &closed);
    QVERIFY(closed);
    QCOMPARE(statusLines(answer), 3);
    const size_t refused = answer.find("HTTP/1.1 400 ");
    QVERIFY2(refused != std::string::npos, answer.c_str());
    QCOMPARE(QString::fromStdString(answer.substr(0, refused)).count("\"success\":true"), 2);
    verifyOneRefusal(answer.substr(refused), closed, 400);
}

void TestPlatformLimits::answersOutliveTheEndOfSending_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("successes");
    const QByteArray version = "GET /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    QTest::newRow("two requests") << version + version << 2 << 2;
    QTest::newRow("HEAD, then GET") << "HEAD /api/system/version/windesktop/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
            + version << 2 << 1;
    QTest::newRow("a request, then a refused one") << version + "GET / HTTP/1.1\r\n\r\n" << 2 << 1;
}

void TestPlatformLimits::answersOutliveTheEndOfSending()
{
    // The client says it sends no more right after its requests: each whole
    // request is still answered, in order, before the connection closes. The
    // server's end used to see that end while answers were still owed, and
    // then dropped them; a few rounds make that race show.
    QFETCH(QByteArray, request);
    QFETCH(int, answers);
    QFETCH(int, successes);
    for (int round = 0; round < 5; ++round) {
        RawConnection connection(server.port(), "127.0.0.1");
        QVERIFY(connection.send(request.toStdString()));
        connection.endSending();
        std::string answer;
        QVERIFY(connection.readUntilClosed(10000, &answer));
        QCOMPARE(statusLines(answer), answers);
        QCOMPARE(QString::fromStdString(answer).count("\"success\":true"), successes);
    }
}

void TestPlatformLimits::writesAreCappedPerStation_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // after three writes
    QTest::newRow("feedback a day") << "feedback" << QStringLiteral("今天的反馈已达3条的上限，请明天再试！");
    QTest::newRow("visits a day") << "visits" << QStringLiteral("今天的访问记录已达3条的上限，请明天再试！");
    QTest::newRow("shippers and consignees a day")
        << "parties" << QStringLiteral("今天新增的托运人和收货人已达3个的上限，请明天再试！");
    QTest::newRow("feedback a minute") << "feedback fast" << QStringLiteral("操作过于频繁，请稍后再试！");
    // Trucks added and shippers edited, in one count.
    QTest::newRow("record writes a minute") << "trucks" << QStringLiteral("操作过于频繁，请稍后再试！");
    QTest::newRow("record writes a day") << "trucks a day"
                                         << QStringLiteral("今天修改的记录已达3次的上限，请明天再试！");
}

void TestPlatformLimits::writesAreCappedPerStation()
{
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    PlatformTestServer own;
    platform::PlatformServer::Config config;
    platform::ServiceLimits& limits = config.limits;
    if (kind == QLatin1String("feedback"))
        limits.feedbackPerDay = 3;
    else if (kind == QLatin1String("feedback fast"))
        limits.feedbackPerMinute = 3;
    else if (kind == QLatin1String("visits"))
        limits.visitsPerDay = 3;
    else if (kind == QLatin1String("parties"))
        limits.partiesPerDay = 3;
    else if (kind == QLatin1String("trucks a day"))
        limits.recordWritesPerDay = 3;
    else
        limits.recordWritesPerMinute = 3;
    QVERIFY(own.start(config));

    int serial = 0;
    const auto write = [&](PlatformTestClient& client) {
        ++serial;
        if (kind.startsWith(QLatin1String("feedback")))
            return client.post("/system/feedback/add/" + client.suffix(), { { "type", "1" }, { "content", "好用" } });
        if (kind == QLatin1String("visits"))
            return client.post(
                "/system/visit/start/" + client.suffix(), { { "sessionid", QStringLiteral("v%1").arg(serial) } });
        if (kind == QLatin1String("parties"))
            return serial % 2 ? client.post("/shipper/add/" + client.suffix(),
                       PlatformTestClient::shipperForm(QStringLiteral("托运%1").arg(serial)))
                              : client.post("/consignee/add/" + client.suffix(),
                                  PlatformTestClient::consigneeForm(QStringLiteral("收货%1").arg(serial)));
        if (kind == QLatin1String("trucks") && serial % 2 == 0) {
            const qint64 shipper = client.allPages("/shipper/").first().toObject().value("id").toVariant().toLongLong();
            QMap<QString, QString> form = PlatformTestClient::shipperForm(QStringLiteral("改名%1").arg(serial));
            form.insert("id", QString::number(shipper));
            return client.post(QStringLiteral("/shipper/%1/edit/").arg(shipper) + client.suffix(), form);
        }
        return client.post(
            "/truck/add/" + client.suffix(), PlatformTestClient::truckForm(QStringLiteral("鲁B%1").arg(serial)));
    };
    PlatformTestClient demo(own.port());
    QVERIFY(demo.login("demo"));
    // A refused write counts nothing.
    QVERIFY(!demo.post("/system/feedback/add/" + demo.suffix(), { { "type", "9" } }).success());
    QVERIFY(!demo.post("/truck/add/" + demo.suffix(), { { "number", "" } }).success());
    for (int i = 0; i < 3; ++i) {
        const auto answer = write(demo);
        QVERIFY2(answer.success(), qPrintable(answer.errors()));
    }
    const auto fourth = write(demo);
    QVERIFY(fourth.isEnvelope());
    QCOMPARE(fourth.errors(), refusal);

    // Another station has counts of its own; another session of the same
    // station is counted with it: a fresh sign-in is no fresh budget.
    PlatformTestClient other(own.port());
    QVERIFY(other.login("demo2"));
    QVERIFY(write(other).success());
    PlatformTestClient again(own.port());
    QVERIFY(again.login("demo"));
    QCOMPARE(write(again).errors(), refusal);
}

void TestPlatformLimits::historyKeepsChangedFieldsBounded()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    QMap<QString, QString> form = PlatformTestClient::truckForm(QStringLiteral("鲁H20001"));
    form["notes"] = QStringLiteral("甲").repeated(500);
    form["photo1"] = QStringLiteral("p").repeated(500);
    const qint64 truck = client.addTruck(QStringLiteral("鲁H20001"), form);
    QVERIFY(truck > 0);
    form["notes"] = QStringLiteral("乙").repeated(500);
    QVERIFY(client.post(QStringLiteral("/truck/%1/edit/").arg(truck) + client.suffix(), form).success());

    const QJsonArray entries = client.get(QStringLiteral("/truck/%1/history/").arg(truck) + client.suffix()).array();
    QCOMPARE(entries.size(), 2);
    const QJsonObject changes = entries.at(1).toObject().value("changes").toObject();
    QCOMPARE(changes.keys(), QStringList { "notes" });
    const QJsonArray notes = changes.value("notes").toArray();
    QCOMPARE(notes.at(0).toString(), QStringLiteral("甲").repeated(100) + QStringLiteral("…"));
    QCOMPARE(notes.at(1).toString(), QStringLiteral("乙").repeated(100) + QStringLiteral("…"));
    // The entry is small, however long the texts it shows.
    const QString stored = platform::Sql::scalar(server.storage()->connection(),
        "SELECT changes FROM history WHERE kind = 'truck' AND record = ? AND action = 'edit'", { truck })
                               .toString();
    QVERIFY2(stored.toUtf8().size() < 1024, qPrintable(QString::number(stored.toUtf8().size())));
}

void TestPlatformLimits::boardAnswersAreKeptByWhatTheyDependOn()
{
    PlatformTestServer own;
    QVERIFY(own.start());
    PlatformTestClient client(own.port());
    QVERIFY(client.login("demo"));
    const QByteArray board = client.get("/truck/" + client.suffix()).body;
    const QByteArray group = client.get("/truck/0/" + client.suffix()).body;
    const qint64 entriesBefore = platform::AnswerCache::keptEntries();

    // Parameters that nobody reads make no answers of their own.
    for (int i = 0; i < 200; ++i) {
        const QString junk = QStringLiteral("%1").arg(i).repeated(100);
        QCOMPARE(client.get("/truck/" + client.suffix({ { "junk", junk } })).body, board);
        QCOMPARE(client.get("/truck/0/" + client.suffix({ { "x" + junk, "1" } })).body, group);
    }
    // Each worker keeps at most the board and the group.
    const qint64 grown = platform::AnswerCache::keptEntries() - entriesBefore;
    QVERIFY2(grown <= 2 * platform::PlatformServer::Config().threads, qPrintable(QString::number(grown)));
    QVERIFY(platform::AnswerCache::keptBytes() <= platform::AnswerCache::maxBytes);

    // A write drops what was kept before it: the board shows the new truck.
    const qint64 truck = client.addTruck(QStringLiteral("鲁C77777"));
    QVERIFY(truck > 0);
    for (int i = 0; i < 40; ++i)
        QVERIFY(!client.truck(truck).isEmpty());
}

QTEST_GUILESS_MAIN(TestPlatformLimits)
#include "tst_platformlimits.moc"
