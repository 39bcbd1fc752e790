#include "platformserver.h"

#include "connectionfront.h"
#include "requestdecoding.h"
#include "sessionservice.h"
#include "sql.h"
#include "storage.h"
#include "workerpool.h"

#include <QFile>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace platform {

namespace {

const char* const jsonType = "application/json; charset=utf-8";

// Text as it may go into one log line: no control characters (a decoded
// "%0A" must not start a forged line, an escape sequence must not reach a
// terminal) and not longer than 200 characters.
QString printable(const std::string& path)
{
    QString text = QString::fromUtf8(path.data(), static_cast<int>(std::min<size_t>(path.size(), 400)));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char('?');
    }
    return text.size() > 200 ? text.left(200) + QStringLiteral("...") : text;
}

std::string refusal(const QString& message)
{
    return ApiReply::refusal(message).toJson().toStdString();
}

bool startsWithNoCase(const char* text, const char* prefix)
{
    return text && strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

// One log line of a request.
QString logLine(const std::string& method, const std::string& path, int status, double ms)
{
    return QStringLiteral("%1 %2 %3 %4 ms")
        .arg(printable(method.empty() ? std::string("-") : method), printable(path.empty() ? std::string("-") : path),
            status > 0 ? QString::number(status) : QStringLiteral("-"), QString::number(ms, 'f', 2));
}

// One request from its headers to its answer. It lives from the first call of
// the request handler to the completion notice; while a worker answers it,
// the connection is suspended and only the worker touches it.
struct Exchange
{
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    MHD_Connection* connection = nullptr;
    std::string method;
    std::string target; // as sent
    std::string path; // decoded, without the query
    std::string peer;
    std::string body;
    size_t bodyLimit = 0;
    bool form = false;
    bool tooLarge = false;
    bool dispatched = false;
    bool ready = false;
    bool queued = false; // an answer is on its way: nothing more to do
    int status = 0;
    std::string answer;
};

} // namespace

// What the server keeps about one open connection: the raw target of the
// request being read, and when that request has to be complete.
struct PlatformServer::Link
{
    int fd = -1;
    Clock::time_point deadline;
    bool receiving = true;
    bool cut = false;
    std::string target;
    std::string peer;
};

struct PlatformServer::Glue
{
    static Link* linkOf(MHD_Connection* connection)
    {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Link*>(info->socket_context) : nullptr;
    }

    static void onConnection(
        void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code)
    {
        PlatformServer& server = *static_cast<PlatformServer*>(cls);
        std::lock_guard<std::mutex> lock(server.linksMutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            auto* link = new Link;
            link->fd = info ? info->connect_fd : -1;
            link->deadline = Clock::now() + std::chrono::seconds(server.config.requestTimeoutSeconds);
            const auto arrived = server.arriving.find(link->fd);
            if (arrived != server.arriving.end()) {
                link->peer = std::move(arrived->second);
                server.arriving.erase(arrived);
            }
            server.links.insert(link);
            *socketContext = link;
        } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            auto* link = static_cast<Link*>(*socketContext);
            server.links.erase(link);
            delete link;
            *socketContext = nullptr;
        }
    }

    // Called with the target as sent, before the library decodes anything.
    static void* onUri(void*, const char* uri, MHD_Connection* connection)
    {
        if (Link* link = linkOf(connection))
            link->target = uri ? uri : "";
        return nullptr;
    }

    static MHD_Result reply(MHD_Connection* connection, Exchange& exchange, int status, const std::string& body)
    {
        exchange.status = status;
        exchange.queued = true;
        MHD_Response* response
            = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
        if (!response)
            return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, jsonType);
        const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), response);
        MHD_destroy_response(response);
        return queued;
    }

    static MHD_Result serveInstaller(PlatformServer& server, MHD_Connection* connection, Exchange& exchange)
    {
        const std::string path = QFile::encodeName(server.config.installerPath).toStdString();
        const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info;
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (fd >= 0)
                ::close(fd);
            return reply(connection, exchange, 404, refusal(QStringLiteral("安装程序不存在！")));
        }
        // The response owns the descriptor from here on.
        MHD_Response* response = MHD_create_response_from_fd64(static_cast<uint64_t>(info.st_size), fd);
        if (!response) {
            ::close(fd);
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/octet-stream");
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_DISPOSITION, "attachment; filename=\"setup.exe\"");
        exchange.status = 200;
        exchange.queued = true;
        const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
        MHD_destroy_response(response);
        return queued;
    }

    // Runs on a worker: routes the request and keeps the answer for the
    // event loop, which sends it once the connection is resumed.
    static void answer(PlatformServer& server, Exchange& exchange)
    {
        try {
            ApiRequest::RawParams params;
            const size_t query = exchange.target.find('?');
            if (query != std::string::npos)
                parseParams(exchange.target.substr(query + 1), &params);
            if (exchange.form)
                parseParams(exchange.body, &params);
            ApiRouter::Settings settings { server.config.announcedVersion, server.publicHost,
                QString::fromStdString(exchange.peer), server.config.limits };
            settings.reuseAnswers = server.config.reuseAnswers;
            const ApiRouter::Outcome outcome = server.router.dispatch(QString::fromStdString(exchange.method),
                QString::fromUtf8(exchange.path.data() + 4, static_cast<int>(exchange.path.size() - 4)), params,
                server.storage, settings);
            exchange.status = outcome.status;
            exchange.answer = outcome.reply.toJson().toStdString();
        } catch (const std::exception& failure) {
            server.log(QStringLiteral("unexpected exception while answering a request: %1")
                           .arg(QString::fromStdString(failure.what())));
            exchange.status = 200;
            exchange.answer = refusal(QStringLiteral("服务器繁忙，请稍后再试！"));
        }
        exchange.ready = true;
    }

    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char*, const char* method, const char*,
        const char* uploadData, size_t* uploadSize, void** context)
    {
        PlatformServer& server = *static_cast<PlatformServer*>(cls);
        try {
            if (!*context)
                return begin(server, connection, method, context);
            Exchange& exchange = *static_cast<Exchange*>(*context);
            if (exchange.queued) {
                *uploadSize = 0; // answered early: the rest is dropped
                return MHD_YES;
            }
            if (*uploadSize > 0) {
                // A body over the limit is read to its end and dropped, so
                // that the refusal reaches a client that is still sending.
                if (!exchange.tooLarge && exchange.body.size() + *uploadSize <= exchange.bodyLimit) {
                    exchange.body.append(uploadData, *uploadSize);
                } else {
                    exchange.tooLarge = true;
                    std::string().swap(exchange.body);
                }
                *uploadSize = 0;
                return MHD_YES;
            }
            if (exchange.ready)
                return reply(connection, exchange, exchange.status, exchange.answer);
            if (exchange.dispatched)
                return MHD_YES;
            return complete(server, connection, exchange);
        } catch (const std::exception&) {
            return MHD_NO; // closes the connection
        }
    }

    // The headers are in: refuse what can be refused before the body.
    static MHD_Result begin(PlatformServer& server, MHD_Connection* connection, const char* method, void** context)
    {
        auto* exchange = new Exchange;
        *context = exchange;
        exchange->connection = connection;
        exchange->method = method ? method : "";
        if (Link* link = linkOf(connection)) {
            exchange->target = link->target;
            exchange->peer = link->peer;
        }
        const size_t query = exchange->target.find('?');
        const std::string rawPath = exchange->target.substr(0, query);
        exchange->path = percentDecode(rawPath.data(), rawPath.data() + rawPath.size(), false);

        if (exchange->target.size() > server.config.maxTargetBytes)
            return reply(connection, *exchange, 200, refusal(QStringLiteral("请求的地址过长！")));
        const int headers = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
        if (headers > server.config.maxHeaders || exchange->path.empty() || exchange->path.front() != '/')
            return reply(connection, *exchange, 200, refusal(QStringLiteral("请求的格式错误！")));

        exchange->form
            = startsWithNoCase(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE),
                "application/x-www-form-urlencoded");
        exchange->bodyLimit = exchange->form ? server.config.maxFormBytes : server.config.maxBodyBytes;
        return MHD_YES;
    }

    // The whole request is in: answer it here or hand it to a worker.
    static MHD_Result complete(PlatformServer& server, MHD_Connection* connection, Exchange& exchange)
    {
        if (Link* link = linkOf(connection)) {
            std::lock_guard<std::mutex> lock(server.linksMutex);
            link->receiving = false;
        }
        if (exchange.tooLarge)
            return reply(connection, exchange, 200, refusal(QStringLiteral("请求的内容过大！")));
        if (exchange.path == "/download/setup.exe" && (exchange.method == "GET" || exchange.method == "HEAD"))
            return serveInstaller(server, connection, exchange);
        if (exchange.path.compare(0, 5, "/api/") != 0)
            return reply(connection, exchange, 404, refusal(QStringLiteral("请求的地址不存在！")));

        WorkerPool& pool = server.router.hashesPassword(QString::fromStdString(exchange.method),
                               QString::fromUtf8(exchange.path.data() + 4, static_cast<int>(exchange.path.size() - 4)))
            ? *server.passwordWorkers
            : *server.workers;
        exchange.dispatched = true;
        // Suspended first: the worker may resume the connection before this
        // handler has returned.
        MHD_suspend_connection(connection);
        Exchange* job = &exchange;
        if (!pool.post([&server, job] {
                answer(server, *job);
                MHD_resume_connection(job->connection);
            })) {
            exchange.status = 200;
            exchange.answer = refusal(QStringLiteral("服务器繁忙，请稍后再试！"));
            exchange.ready = true;
            MHD_resume_connection(connection);
        }
        return MHD_YES;
    }

    static void onCompleted(
        void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode termination)
    {
        PlatformServer& server = *static_cast<PlatformServer*>(cls);
        auto* exchange = static_cast<Exchange*>(*context);
        *context = nullptr;
        if (Link* link = linkOf(connection)) {
            std::lock_guard<std::mutex> lock(server.linksMutex);
            link->receiving = true;
            link->deadline = Clock::now() + std::chrono::seconds(server.config.requestTimeoutSeconds);
        }
        if (!exchange)
            return;
        try {
            const auto micros
                = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - exchange->start).count();
            if (termination == MHD_REQUEST_TERMINATED_COMPLETED_OK && server.front)
                server.front->remember(exchange->peer);
            server.log(
                logLine(exchange->method, exchange->path, exchange->status, static_cast<double>(micros) / 1000.0));
        } catch (const std::exception&) {
        }
        delete exchange;
    }

    static void onError(void* cls, const char* format, va_list arguments)
    {
        // The library's connections are local socket pairs, which have no
        // TCP options to set and no segments to push: it says so on every
        // answer, and that is no news.
        if (startsWithNoCase(format, "Setting %s option") || startsWithNoCase(format, "Failed to push the data"))
            return;
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        QString line = QString::fromLocal8Bit(text).trimmed();
        static_cast<PlatformServer*>(cls)->log(QStringLiteral("http: %1").arg(printable(line.toStdString())));
    }
};

PlatformServer::PlatformServer(const Storage& store, const Config& configuration)
    : storage(store)
    , config(configuration)
{
    logSink = [](const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    };
    router.setErrorSink([this](const QString& line) { log(line); });
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
    logSink = std::move(sink);
}

void PlatformServer::log(const QString& line) const
{
    if (logSink)
        logSink(line);
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

    if (!config.publicAddress.isEmpty())
        publicHost = config.publicAddress;
    else if (!isWildcard(config.address))
        publicHost = QStringLiteral("%1:%2")
                         .arg(config.address.contains(QLatin1Char(':')) && !config.address.startsWith(QLatin1Char('['))
                                 ? QStringLiteral("[%1]").arg(config.address)
                                 : config.address)
                         .arg(port);

    workers = std::make_unique<WorkerPool>(std::max(2, config.threads), 4096);
    passwordWorkers = std::make_unique<WorkerPool>(std::max(1, config.passwordThreads), 256);
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
    daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Glue::onRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
        &Glue::onError, this, MHD_OPTION_CONNECTION_MEMORY_LIMIT, 2 * config.maxHeaderBytes + 4096,
        MHD_OPTION_CONNECTION_LIMIT, config.maxConnections + config.maxConnections / 4 + 16,
        MHD_OPTION_CONNECTION_TIMEOUT, config.idleTimeoutSeconds, MHD_OPTION_NOTIFY_COMPLETED, &Glue::onCompleted, this,
        MHD_OPTION_NOTIFY_CONNECTION, &Glue::onConnection, this, MHD_OPTION_URI_LOG_CALLBACK, &Glue::onUri, this,
        MHD_OPTION_END);

    ConnectionFront::Settings admission;
    admission.gate.maxHeadBytes = config.maxHeaderBytes;
    admission.gate.maxFormBytes = config.maxFormBytes;
    admission.gate.maxBodyBytes = config.maxBodyBytes;
    admission.gate.anyAddress = isWildcard(config.address);
    bool numeric = false;
    const auto addHost = [&](const QString& address) {
        const bool bare = address.count(QLatin1Char(':')) > 1 && !address.startsWith(QLatin1Char('['));
        const std::string host
            = RequestGate::hostName((bare ? QStringLiteral("[%1]").arg(address) : address).toStdString(), &numeric);
        if (!host.empty())
            admission.gate.hosts.push_back(host);
    };
    if (!admission.gate.anyAddress)
        addHost(config.address);
    if (!config.publicAddress.isEmpty())
        addHost(config.publicAddress);
    // No other site's page can be made to reach this machine as "localhost".
    in_addr v4 {};
    const bool loopback = config.address == QLatin1String("localhost") || config.address == QLatin1String("::1")
        || (inet_pton(AF_INET, config.address.toStdString().c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127);
    if (admission.gate.anyAddress || loopback)
        admission.gate.hosts.push_back("localhost");
    admission.maxConnections = config.maxConnections;
    admission.maxPerAddress = config.maxConnectionsPerAddress;
    admission.maxPerGroup = config.maxConnectionsPerGroup;
    admission.reserved = config.maxConnections * std::min(config.reservedPercent, 90u) / 100;
    admission.ipv4GroupBits = config.ipv4GroupBits;
    admission.ipv6GroupBits = config.ipv6GroupBits;
    admission.drainSeconds = std::max(1u, config.idleTimeoutSeconds);
    front = std::make_unique<ConnectionFront>(
        admission,
        [this](int fd, const std::string& peer) {
            // The library is told it is a local socket, so that it does not
            // try TCP's options on it; the client's address goes beside.
            {
                std::lock_guard<std::mutex> lock(linksMutex);
                arriving[fd] = peer;
            }
            sockaddr_un local {};
            local.sun_family = AF_UNIX;
            if (MHD_add_connection(daemon, fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == MHD_YES)
                return true;
            std::lock_guard<std::mutex> lock(linksMutex);
            arriving.erase(fd);
            return false;
        },
        [this](const RequestGate::Refusal& refusal, double ms) {
            const std::string path = refusal.target.substr(0, refusal.target.find('?'));
            log(logLine(
                refusal.method, percentDecode(path.data(), path.data() + path.size(), false), refusal.status, ms));
        });
    if (!daemon || !front->start(fd)) {
        if (!daemon)
            ::close(fd);
        front.reset(); // closes the listening socket once it took it
        if (daemon) {
            MHD_stop_daemon(daemon);
            daemon = nullptr;
        }
        workers.reset();
        passwordWorkers.reset();
        return fail();
    }
    boundPort = port;
    watchdog = std::thread([this] { watch(); });
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
    if (daemon) {
        MHD_stop_daemon(daemon);
        daemon = nullptr;
    }
    if (watchdog.joinable())
        watchdog.join();
}

void PlatformServer::watch()
{
    std::unique_lock<std::mutex> state(stateMutex);
    while (!shutDown) {
        stateChanged.wait_for(state, std::chrono::milliseconds(250));
        const Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> lock(linksMutex);
        for (Link* link : links) {
            // Shutting the socket down (not closing it) wakes the event loop,
            // which then closes the connection itself.
            if (link->receiving && !link->cut && now >= link->deadline && link->fd >= 0) {
                ::shutdown(link->fd, SHUT_RDWR);
                link->cut = true;
            }
        }
    }
}

} // namespace platform
