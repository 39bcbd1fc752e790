// What keeps the platform up as a long-running service on a station's
// network: bounded memory per connection, no worker held by slow or idle
// clients, a connection limit per address and a deadline for every request.
// Slow clients come from other loopback addresses (127.0.0.2 and up), so
// that the per-address limit leaves the test's own requests alone.

#include "platformtestclient.h"
#include "platformtestserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

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
    RawConnection(int port, const char* from)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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

} // namespace

class TestPlatformLimits : public QObject
{
    Q_OBJECT

private slots:
    void headerFloodKeepsMemoryBounded();
    void tooManyHeadersAreRefused();
    void slowConnectionsDoNotStarveOthers();
    void connectionsPerAddressAreLimited();
    void overdueRequestIsCut();
};

void TestPlatformLimits::headerFloodKeepsMemoryBounded()
{
    PlatformTestServer server;
    QVERIFY(server.start());
    // Two rounds of four connections, each offering up to 40 MB of header
    // lines; every one is cut off once its headers outgrow their memory.
    const qint64 before = residentKiB();
    std::string lines;
    for (int i = 0; i < 20000; ++i)
        lines += "X-Filler-" + std::to_string(i) + ": aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
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

void TestPlatformLimits::tooManyHeadersAreRefused()
{
    PlatformTestServer server;
    QVERIFY(server.start());
    RawConnection connection(server.port(), "127.0.0.1");
    std::string request = versionRequest;
    for (int i = 0; i < 150; ++i)
        request += "X-" + std::to_string(i) + ": 1\r\n";
    QVERIFY(connection.send(request + "Connection: close\r\n\r\n"));
    std::string answer;
    QVERIFY(connection.readUntilClosed(10000, &answer));
    QVERIFY2(answer.find("\"success\":false") != std::string::npos, answer.c_str());
    QVERIFY(QString::fromStdString(answer).contains(QStringLiteral("请求的格式错误！")));
}

void TestPlatformLimits::slowConnectionsDoNotStarveOthers()
{
    PlatformTestServer server;
    QVERIFY(server.start());
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

void TestPlatformLimits::connectionsPerAddressAreLimited()
{
    PlatformTestServer server;
    platform::PlatformServer::Config config;
    config.maxConnectionsPerAddress = 8;
    QVERIFY(server.start(config));

    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 8; ++i) {
        held.push_back(std::make_unique<RawConnection>(server.port(), "127.0.0.4"));
        QVERIFY(held.back()->send(versionRequest));
    }
    // The ninth from that address is closed unanswered; others still get in.
    RawConnection ninth(server.port(), "127.0.0.4");
    ninth.send(versionRequest + "\r\n");
    std::string answer;
    QVERIFY(ninth.readUntilClosed(10000, &answer));
    QCOMPARE(answer, std::string());
    PlatformTestClient client(server.port());
    QVERIFY(client.get("/system/version/windesktop/").success());
}

void TestPlatformLimits::overdueRequestIsCut()
{
    PlatformTestServer server;
    platform::PlatformServer::Config config;
    config.requestTimeoutSeconds = 1;
    config.idleTimeoutSeconds = 60;
    QVERIFY(server.start(config));

    // One header line every 200 ms keeps the connection active, but the
    // request as a whole is overdue after a second.
    RawConnection dripping(server.port(), "127.0.0.2");
    QVERIFY(dripping.send(versionRequest));
    QElapsedTimer timer;
    timer.start();
    bool closed = false;
    while (!closed && timer.elapsed() < 15000)
        closed = !dripping.send("X-Slow: 1\r\n") || dripping.readUntilClosed(200);
    QVERIFY(closed);

    // A request that arrives whole in time is answered as always.
    PlatformTestClient client(server.port());
    QVERIFY(client.get("/system/version/windesktop/").success());
}

QTEST_GUILESS_MAIN(TestPlatformLimits)
#include "tst_platformlimits.moc"
