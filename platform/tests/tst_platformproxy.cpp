// A platform behind a balancer: the PROXY protocol's header names each
// client, only on connections from the addresses given as proxies.

#include "platformtestserver.h"
#include "proxyheader.h"

#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <memory>

namespace {

// A connection to the server that sends `bytes` first; `answered` tells
// whether an HTTP answer came back, `status` its status.
struct Visit
{
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    QByteArray answer;
};

Visit visit(int port, const QByteArray& bytes)
{
    Visit v;
    v.socket->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!v.socket->waitForConnected(10000))
        return v;
    v.socket->write(bytes);
    // An answer, or the server closing the connection.
    while (!v.answer.contains("\r\n\r\n") && v.socket->state() == QAbstractSocket::ConnectedState) {
        if (!v.socket->waitForReadyRead(10000))
            break;
        v.answer += v.socket->readAll();
    }
    v.answer += v.socket->readAll();
    return v;
}

QByteArray healthFrom(const QByteArray& header)
{
    return header + "GET /api/health/ HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

} // namespace

class TestPlatformProxy : public QObject
{
    Q_OBJECT

private slots:
    void headersAreRead_data();
    void headersAreRead();
    void clientsAreCountedByTheirOwnAddress();
    void headersAreRefused_data();
    void headersAreRefused();
};

void TestPlatformProxy::headersAreRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("client"); // empty: UNKNOWN
    QTest::addColumn<int>("length");
    const int done = int(platform::ProxyHeader::Result::Done);
    const int bad = int(platform::ProxyHeader::Result::Bad);
    const int incomplete = int(platform::ProxyHeader::Result::Incomplete);
    const QByteArray v4 = "PROXY TCP4 192.0.2.7 192.0.2.1 51234 8765\r\n";
    QTest::newRow("IPv4 and the request behind") << v4 + "GET / HTTP/1.1\r\n" << done << "192.0.2.7" << v4.size();
    QTest::newRow("IPv6") << QByteArray("PROXY TCP6 2001:db8::7 2001:db8::1 1 65535\r\n") << done << "2001:db8::7"
                          << 44;
    QTest::newRow("unknown") << QByteArray("PROXY UNKNOWN\r\n") << done << QString() << 15;
    QTest::newRow("unknown with addresses")
        << QByteArray("PROXY UNKNOWN ffff:f...f ffff:f...f 65535 65535\r\n") << done << QString() << 49;
    QTest::newRow("a part") << v4.left(20) << incomplete << QString() << 0;
    QTest::newRow("the signature's part") << QByteArray("PRO") << incomplete << QString() << 0;
    QTest::newRow("no header") << QByteArray("GET /api/health/ HTTP/1.1\r\n") << bad << QString() << 0;
    QTest::newRow("lower case") << v4.toLower() << bad << QString() << 0;
    QTest::newRow("LF alone") << QByteArray("PROXY TCP4 192.0.2.7 192.0.2.1 51234 8765\n") << bad << QString() << 0;
    QTest::newRow("two spaces") << QByteArray("PROXY TCP4 192.0.2.7  192.0.2.1 51234 8765\r\n") << bad << QString()
                                << 0;
    QTest::newRow("IPv6 said to be IPv4")
        << QByteArray("PROXY TCP4 2001:db8::7 192.0.2.1 1 2\r\n") << bad << QString() << 0;
    QTest::newRow("a name") << QByteArray("PROXY TCP4 desk.example 192.0.2.1 1 2\r\n") << bad << QString() << 0;
    QTest::newRow("port too large") << QByteArray("PROXY TCP4 192.0.2.7 192.0.2.1 65536 2\r\n") << bad << QString()
                                    << 0;
    QTest::newRow("port with a leading zero")
        << QByteArray("PROXY TCP4 192.0.2.7 192.0.2.1 0080 2\r\n") << bad << QString() << 0;
    QTest::newRow("words missing") << QByteArray("PROXY TCP4 192.0.2.7\r\n") << bad << QString() << 0;
    QTest::newRow("longer than allowed") << QByteArray("PROXY UNKNOWN ") + QByteArray(120, 'x') << bad << QString()
                                         << 0;
    QTest::newRow("a control character") << QByteArray("PROXY TCP4 192.0.2.7\t192.0.2.1 1 2\r\n") << bad << QString()
                                         << 0;
}

void TestPlatformProxy::headersAreRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    QFETCH(QString, client);
    QFETCH(int, length);
    size_t read = 0;
    sockaddr_storage address {};
    bool known = true;
    QCOMPARE(
        int(platform::ProxyHeader::parse(bytes.constData(), size_t(bytes.size()), &read, &address, &known)), result);
    if (result != int(platform::ProxyHeader::Result::Done))
        return;
    QCOMPARE(int(read), length);
    QCOMPARE(known, !client.isEmpty());
    if (known) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* bytesOf = address.ss_family == AF_INET
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr)
            : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr);
        QVERIFY(inet_ntop(address.ss_family, bytesOf, text, sizeof text));
        QCOMPARE(QString::fromLatin1(text), client);
    }
}

void TestPlatformProxy::clientsAreCountedByTheirOwnAddress()
{
    // Two connections from one address at most: the balancer's own address
    // would be full at once, its clients are not.
    PlatformTestServer server;
    platform::PlatformServer::Config config;
    config.maxConnectionsPerAddress = 2;
    config.proxies = QStringList { QStringLiteral("127.0.0.1") };
    QVERIFY(server.start(config));

    std::vector<Visit> open;
    for (const char* client : { "198.51.100.1", "198.51.100.1", "198.51.100.2", "198.51.100.3" }) {
        open.push_back(visit(server.port(),
            healthFrom(QByteArray("PROXY TCP4 ") + client + " 127.0.0.1 40000 " + QByteArray::number(server.port())
                + "\r\n")));
        QVERIFY2(open.back().answer.startsWith("HTTP/1.1 200"), client);
    }
    // A third connection of the first client is beyond its limit.
    const Visit third = visit(server.port(),
        healthFrom("PROXY TCP4 198.51.100.1 127.0.0.1 40001 " + QByteArray::number(server.port()) + "\r\n"));
    QVERIFY(third.answer.isEmpty());
    QCOMPARE(third.socket->state(), QAbstractSocket::UnconnectedState);
}

void TestPlatformProxy::headersAreRefused_data()
{
    QTest::addColumn<bool>("fromProxy");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("answer"); // how the answer begins; empty: closed unanswered
    QTest::newRow("a header from a client")
        << false << healthFrom("PROXY TCP4 198.51.100.9 127.0.0.1 1 2\r\n") << QByteArray("HTTP/1.1 400");
    QTest::newRow("no header from the proxy") << true << healthFrom(QByteArray()) << QByteArray();
    QTest::newRow("a broken header from the proxy")
        << true << healthFrom("PROXY TCP4 198.51.100.9 127.0.0.1 1\r\n") << QByteArray();
    QTest::newRow("the proxy's unknown client is the proxy")
        << true << healthFrom("PROXY UNKNOWN\r\n") << QByteArray("HTTP/1.1 200");
}

void TestPlatformProxy::headersAreRefused()
{
    QFETCH(bool, fromProxy);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, answer);
    PlatformTestServer server;
    platform::PlatformServer::Config config;
    if (fromProxy)
        config.proxies = QStringList { QStringLiteral("127.0.0.1") };
    QVERIFY(server.start(config));
    const Visit v = visit(server.port(), bytes);
    if (answer.isEmpty()) {
        QVERIFY2(v.answer.isEmpty(), v.answer);
        QCOMPARE(v.socket->state(), QAbstractSocket::UnconnectedState);
    } else {
        QVERIFY2(v.answer.startsWith(answer), v.answer);
    }
}

QTEST_GUILESS_MAIN(TestPlatformProxy)
#include "tst_platformproxy.moc"
