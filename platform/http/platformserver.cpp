#include "platformserver.h"

#include "answerer.h"
#include "connectionfront.h"
#include "connectiontracker.h"
#include "eventhub.h"
#include "platformmetrics.h"
#include "requestdecoding.h"
#include "requesthandler.h"
#include "sessionservice.h"
#include "sql.h"
#include "storage.h"
#include "workerpool.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace platform {

PlatformServer::PlatformServer(const Storage& store, const Config& configuration)
    : storage(store)
    , config(configuration)
    , connections(std::make_unique<ConnectionTracker>(config.requestTimeoutSeconds))
{
    router.setErrorSink([this](const QString& line) { log.write(line); });
}

PlatformServer::~PlatformServer()
{
    stop();
    if (thread.joinable())
        thread.join();
    shutdown();
}

void PlatformServer::setLogSink(LogSink sink)
{
    log.setSink(std::move(sink));
}

namespace {

// A listening socket on `address`:`port` (a name or a numeric address of
// either family); -1 on failure.
int listenOn(const QString& address, int port, int* boundPort)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string host = address.toStdString();
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* candidate = found; candidate && fd < 0; candidate = candidate->ai_next) {
        fd = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC, candidate->ai_protocol);
        if (fd < 0)
            continue;
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || ::listen(fd, 128) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0)
        return -1;
    sockaddr_storage bound {};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        ::close(fd);
        return -1;
    }
    if (bound.ss_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, &bound, sizeof v6);
        *boundPort = ntohs(v6.sin6_port);
    } else {
        sockaddr_in v4;
        std::memcpy(&v4, &bound, sizeof v4);
        *boundPort = ntohs(v4.sin_port);
    }
    return fd;
}

bool isWildcard(const QString& address)
{
    return address.isEmpty() || address == QLatin1String("0.0.0.0") || address == QLatin1String("::")
        || address == QLatin1String("[::]");
}

// "host:port" under which clients reach the server listening on `port`, for
// the installer's download address; empty when it listens on every
// interface and no public address was given.
QString publicHost(const PlatformServer::Config& config, int port)
{
    if (!config.publicAddress.isEmpty())
        return config.publicAddress;
    if (isWildcard(config.address))
        return QString();
    const bool bare = config.address.contains(QLatin1Char(':')) && !config.address.startsWith(QLatin1Char('['));
    return QStringLiteral("%1:%2").arg(bare ? QStringLiteral("[%1]").arg(config.address) : config.address).arg(port);
}

// Who may connect, and the limits of a request's head and body.
ConnectionFront::Settings admission(const PlatformServer::Config& config)
{
    ConnectionFront::Settings settings;
    settings.gate.maxHeadBytes = config.maxHeaderBytes;
    settings.gate.maxHeaders = static_cast<size_t>(std::max(0, config.maxHeaders));
    settings.gate.maxFormBytes = config.maxFormBytes;
    settings.gate.maxBodyBytes = config.maxBodyBytes;
    settings.gate.anyAddress = isWildcard(config.address);
    bool numeric = false;
    const auto addHost = [&](const QString& address) {
        const bool bare = address.count(QLatin1Char(':')) > 1 && !address.startsWith(QLatin1Char('['));
        const std::string host
            = RequestGate::hostName((bare ? QStringLiteral("[%1]").arg(address) : address).toStdString(), &numeric);
        if (!host.empty())
            settings.gate.hosts.push_back(host);
    };
    if (!settings.gate.anyAddress)
        addHost(config.address);
    if (!config.publicAddress.isEmpty())
        addHost(config.publicAddress);
    // No other site's page can be made to reach this machine as "localhost".
    in_addr v4 {};
    const bool loopback = config.address == QLatin1String("localhost") || config.address == QLatin1String("::1")
        || (inet_pton(AF_INET, config.address.toStdString().c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127);
    if (settings.gate.anyAddress || loopback)
        settings.gate.hosts.push_back("localhost");
    settings.maxConnections = config.maxConnections;
    settings.maxPerAddress = config.maxConnectionsPerAddress;
    settings.maxPerGroup = config.maxConnectionsPerGroup;
    settings.reserved = config.maxConnections * std::min(config.reservedPercent, 90u) / 100;
    settings.ipv4GroupBits = config.ipv4GroupBits;
    settings.ipv6GroupBits = config.ipv6GroupBits;
    settings.drainSeconds = std::max(1u, config.idleTimeoutSeconds);
    for (const QString& proxy : config.proxies)
        settings.proxies.push_back(proxy.toStdString());
    return settings;
}

} // namespace

bool PlatformServer::bind(QString* error)
{
    // The platform's settings record which client version it announces.
    try {
        Sql q(storage.connection(),
            QStringLiteral("INSERT INTO settings (key, value) VALUES ('announced_version', ?)"
                           " ON CONFLICT (key) DO UPDATE SET value = excluded.value"));
        q.bind(config.announcedVersion).exec();
        SessionService::purgeSessions(storage.connection(), config.limits);
    } catch (const Sql::Error& failure) {
        if (error)
            *error = QString::fromStdString(failure.what());
        return false;
    }
    const auto fail = [&] {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2").arg(config.address).arg(config.port);
        return false;
    };
    int port = -1;
    const int fd = listenOn(config.address, config.port, &port);
    if (fd < 0)
        return fail();

    workers = std::make_unique<WorkerPool>(std::max(2, config.threads), 4096);
    passwordWorkers = std::make_unique<WorkerPool>(
        std::max(1, config.passwordThreads), 256, std::max<size_t>(1, config.passwordQueuePerGroup));
    EventHub::Settings eventSettings;
    eventSettings.keepAliveSeconds = std::max(1u, config.eventKeepAliveSeconds);
    eventSettings.pollMs = std::max(10u, config.eventPollMs);
    eventSettings.limits = config.limits;
    events = std::make_unique<EventHub>(storage, eventSettings, log);
    events->start();
    router.setChangeListener([hub = events.get()] { hub->nudge(); });
    // One group of addresses may have half the workers make its answers at
    // once, no more.
    const AnswerBudget::Limits unread { config.unreadAnswerBytesPerGroup, config.unreadAnswerBytes,
        static_cast<size_t>(std::max(1, std::max(2, config.threads) / 2)) };
    answerer = std::make_unique<Answerer>(
        Answerer::Settings { config.announcedVersion, publicHost(config, port), config.installerPath, config.limits,
            config.reuseAnswers, unread, config.ipv4GroupBits, config.ipv6GroupBits },
        storage, router, *events, *workers, *passwordWorkers, log);
    requests = std::make_unique<RequestHandler>(
        RequestHandler::Limits { config.maxTargetBytes, config.maxHeaders, config.maxFormBytes, config.maxBodyBytes },
        *connections, *answerer, log);
    // Each connection takes three descriptors: the client's and both ends of
    // the pair between the front and the library.
    rlimit files {};
    const rlim_t needed = 3 * static_cast<rlim_t>(config.maxConnections) + 256;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < needed) {
        files.rlim_cur = std::min(needed, files.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    // The library only ever sees heads that the front let through, which fit
    // in maxHeaderBytes; its memory also holds its reading and the answer's
    // headers. Connections that close at the front may linger a moment in the
    // library, hence its larger limit.
    const unsigned flags
        = MHD_USE_AUTO_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG | MHD_USE_NO_LISTEN_SOCKET;
    daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &RequestHandler::onRequest, requests.get(),
        MHD_OPTION_EXTERNAL_LOGGER, &ServerLog::onLibraryError, &log, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        2 * config.maxHeaderBytes + 4096, MHD_OPTION_CONNECTION_LIMIT,
        config.maxConnections + config.maxConnections / 4 + 16, MHD_OPTION_CONNECTION_TIMEOUT,
        config.idleTimeoutSeconds, MHD_OPTION_NOTIFY_COMPLETED, &RequestHandler::onCompleted, requests.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &ConnectionTracker::onConnection, connections.get(), MHD_OPTION_URI_LOG_CALLBACK,
        &ConnectionTracker::onUri, connections.get(), MHD_OPTION_END);

    front = std::make_unique<ConnectionFront>(
        admission(config),
        [this](int fd, const std::string& peer) {
            // The library is told it is a local socket, so that it does not
            // try TCP's options on it; the client's address goes beside.
            connections->expect(fd, peer);
            sockaddr_un local {};
            local.sun_family = AF_UNIX;
            if (MHD_add_connection(daemon, fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == MHD_YES)
                return true;
            connections->forget(fd);
            return false;
        },
        [this](const RequestGate::Refusal& refusal, double ms) {
            const std::string path = refusal.target.substr(0, refusal.target.find('?'));
            log.request(
                refusal.method, percentDecode(path.data(), path.data() + path.size(), false), refusal.status, ms);
            PlatformMetrics& metrics = PlatformMetrics::instance();
            metrics.requestAnswered("-", refusal.status, ms / 1000);
            if (refusal.status == 413 || refusal.status == 431)
                metrics.refused(refusal.status == 413 ? "body_size" : "head_size");
        });
    requests->setFront(front.get());
    if (!daemon || !front->start(fd)) {
        if (!daemon)
            ::close(fd);
        front.reset(); // closes the listening socket once it took it
        if (daemon) {
            MHD_stop_daemon(daemon);
            daemon = nullptr;
        }
        requests.reset();
        answerer.reset();
        events.reset();
        workers.reset();
        passwordWorkers.reset();
        return fail();
    }
    boundPort = port;
    connections->startWatching();
    PlatformMetrics& metrics = PlatformMetrics::instance();
    metricReaders.push_back(metrics.addReader("freymo_platform_open_connections", "Connections open to the HTTP port.",
        PlatformMetrics::Kind::Gauge, [this] { return static_cast<double>(front->openConnections()); }));
    metricReaders.push_back(metrics.addReader(
        "freymo_platform_sessions", "Sessions signed in and not yet ended.", PlatformMetrics::Kind::Gauge, [this] {
            return Sql::scalar(storage.connection(), QStringLiteral("SELECT COUNT(*) FROM sessions")).toDouble();
        }));
    return true;
}

void PlatformServer::serve()
{
    std::unique_lock<std::mutex> lock(stateMutex);
    stateChanged.wait(lock, [this] { return stopRequested; });
    lock.unlock();
    shutdown();
}

void PlatformServer::start()
{
    thread = std::thread([this] { serve(); });
}

void PlatformServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        stopRequested = true;
    }
    stateChanged.notify_all();
}

void PlatformServer::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (shutDown)
            return;
        shutDown = true;
        stopRequested = true;
    }
    stateChanged.notify_all();
    // Waits for a collection that is reading them.
    metricReaders.clear();
    connections->stopWatching();
    // No new connections, and the clients' ends close; then the workers
    // finish what they were given (each resumes its connection) and refuse
    // anything newer, so no connection stays suspended when the event loop
    // ends.
    if (front)
        front->stop();
    if (workers)
        workers->stop();
    if (passwordWorkers)
        passwordWorkers->stop();
    // Requests that waited for their answers to be read get the busy answer.
    if (answerer)
        answerer->releaseWaiting();
    // The streams end, so that none of their connections stays asleep.
    if (events)
        events->stop();
    if (daemon) {
        MHD_stop_daemon(daemon);
        daemon = nullptr;
    }
}

} // namespace platform
