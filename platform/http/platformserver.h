#pragma once

#include "apirouter.h"
#include "serverlog.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct MHD_Daemon;

namespace platform {

class Answerer;
class ConnectionFront;
class ConnectionTracker;
class EventHub;
class RequestHandler;
class Storage;
class WorkerPool;

// The platform's HTTP server: every request under "/api" goes through the
// router; "/download/setup.exe" serves the installer. Each request is logged
// in one line (see ServerLog).
//
// A ConnectionFront accepts the connections and checks each request's
// framing, headers and Host before the HTTP library reads it; it answers what
// it refuses in the envelope.
//
// Connections are served by the library's event loop, so an idle or slow
// connection holds no thread: the loop reads requests as their bytes come
// (RequestHandler) and hands each complete one to a worker (Answerer). Every
// connection has a bounded memory for its request line and headers, and
// every request a deadline by which it must have arrived whole
// (ConnectionTracker).
//
// A desk's stream of its station's changes is one long answer that sleeps
// between events (EventHub): it holds its connection, and so counts against
// the connection limits, but no thread.
//
// The server puts these together: it binds the socket, starts the library
// with their callbacks and tears all of it down in order.
class PlatformServer
{
public:
    struct Config
    {
        QString address = QStringLiteral("127.0.0.1");
        int port = 8765; // 0: any free port
        QString announcedVersion = QStringLiteral("1.0.1 Beta");
        QString installerPath;
        // "host" or "host:port" under which clients reach this server, for
        // the installer's download address; empty: the listening address and
        // port (none at all when listening on every interface).
        QString publicAddress;
        // Bodies other than forms; form bodies are limited to maxFormBytes.
        size_t maxBodyBytes = 64 * 1024;
        size_t maxFormBytes = 8 * 1024;
        // The request target (path and query) as sent.
        size_t maxTargetBytes = 8 * 1024;
        // Memory of one connection for the request line, the headers and
        // reading: a request whose headers do not fit is refused.
        size_t maxHeaderBytes = 32 * 1024;
        int maxHeaders = 100;
        // Workers for ordinary requests, and for those that hash a password.
        int threads = 16;
        int passwordThreads = 2;
        unsigned maxConnections = 512;
        unsigned maxConnectionsPerAddress = 32;
        // An idle kept-alive connection is closed after this many seconds.
        unsigned idleTimeoutSeconds = 15;
        // A request must have arrived whole (line, headers and body) this many
        // seconds after its connection opened or its previous answer went out.
        unsigned requestTimeoutSeconds = 30;
        // Sessions and text messages.
        ServiceLimits limits;
        // Whether the board's answers are reused while the database is
        // unchanged.
        bool reuseAnswers = true;
        // Bytes of answers waiting to be read, by group of addresses (as
        // below) and in all; past either a request waits (AnswerBudget).
        size_t unreadAnswerBytesPerGroup = 16 * 1024 * 1024;
        size_t unreadAnswerBytes = 64 * 1024 * 1024;
        // Sign-ins and password changes waiting for a worker, from one group
        // of addresses; the groups take turns.
        size_t passwordQueuePerGroup = 32;
        // The streams of changes (GET /api/events/): a keep-alive comment
        // goes to a stream quiet for this many seconds, and the database is
        // looked at for new changes every eventPollMs.
        unsigned eventKeepAliveSeconds = 15;
        unsigned eventPollMs = 100;

        // Who may connect, beside the limits above: connections from one
        // group of addresses (the first ipv4GroupBits of an IPv4 address, the
        // first ipv6GroupBits of an IPv6 one), and the share of all
        // connections (in percent) that only addresses which completed a
        // request before may take.
        unsigned maxConnectionsPerGroup = 128;
        int ipv4GroupBits = 24;
        int ipv6GroupBits = 64;
        unsigned reservedPercent = 25;
        // Numeric addresses of the balancers whose connections begin with
        // the PROXY protocol's header, which names the client (see
        // ConnectionFront); none by default.
        QStringList proxies;
    };
    using LogSink = ServerLog::Sink;

    PlatformServer(const Storage& storage, const Config& config);
    ~PlatformServer();

    PlatformServer(const PlatformServer&) = delete;
    PlatformServer& operator=(const PlatformServer&) = delete;

    // Records the announced version, binds the listening socket and begins
    // answering; returns false with `error` set on failure.
    bool bind(QString* error);
    // The bound port (the real one when the configured port was 0).
    int port() const { return boundPort; }

    // Blocks the calling thread until stop(), then ends serving.
    void serve();
    // Serves on a thread of its own; stop() or the destructor ends it.
    void start();
    // Ends serving; safe from any thread and from a signal-waiting thread,
    // also when serving has not quite begun.
    void stop();

    // Where the request lines and internal errors go (standard error by
    // default). Set it before serving; it is called from the server's threads.
    void setLogSink(LogSink sink);

private:
    void shutdown();

    const Storage& storage;
    Config config;
    ServerLog log;
    ApiRouter router;
    std::unique_ptr<ConnectionTracker> connections;
    int boundPort = -1;
    // Made by bind(); the library's callbacks use the pools, the answerer
    // and the request handler until the daemon has stopped.
    std::unique_ptr<WorkerPool> workers;
    std::unique_ptr<WorkerPool> passwordWorkers;
    std::unique_ptr<EventHub> events;
    std::unique_ptr<Answerer> answerer;
    std::unique_ptr<RequestHandler> requests;
    MHD_Daemon* daemon = nullptr;
    std::unique_ptr<ConnectionFront> front;
    // What the metrics read from this server while it serves.
    std::vector<std::shared_ptr<void>> metricReaders;

    std::mutex stateMutex;
    std::condition_variable stateChanged;
    bool stopRequested = false;
    bool shutDown = false;
    std::thread thread;
};

} // namespace platform
