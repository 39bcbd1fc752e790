#include "answerer.h"

#include "apirouter.h"
#include "connectionfront.h"
#include "eventhub.h"
#include "exchange.h"
#include "platformmetrics.h"
#include "requestdecoding.h"
#include "serverlog.h"
#include "workerpool.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>

namespace platform {

namespace {

const char* const jsonType = "application/json; charset=utf-8";

// The path below "/api" of a request whose path begins with "/api/".
QString apiPath(const Exchange& exchange)
{
    return QString::fromUtf8(exchange.path.data() + 4, static_cast<int>(exchange.path.size() - 4));
}

} // namespace

Answerer::Answerer(const Settings& answerSettings, const Storage& store, const ApiRouter& apiRouter, EventHub& eventHub,
    WorkerPool& workerPool, WorkerPool& passwordPool, const ServerLog& serverLog)
    : settings(answerSettings)
    , storage(store)
    , router(apiRouter)
    , events(eventHub)
    , workers(workerPool)
    , passwordWorkers(passwordPool)
    , log(serverLog)
    , unread(settings.unread)
{
}

QByteArray Answerer::refusal(const QString& message)
{
    return ApiReply::refusal(message).toJson();
}

MHD_Result Answerer::reply(MHD_Connection* connection, Exchange& exchange, int status, const QByteArray& body)
{
    exchange.status = status;
    exchange.queued = true;
    // The response holds a share of the bytes until the library lets go of
    // it: a board answer kept for reuse is then one copy however many
    // connections wait for it.
    auto* held = new QByteArray(body);
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        static_cast<size_t>(held->size()), const_cast<char*>(held->constData()),
        [](void* bytes) { delete static_cast<QByteArray*>(bytes); }, held);
    if (!response) {
        delete held;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, jsonType);
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result Answerer::stream(MHD_Connection* connection, Exchange& exchange)
{
    exchange.status = 200;
    exchange.queued = true;
    // The answer holds the stream until the library lets it go.
    auto* held = new std::shared_ptr<EventStream>(exchange.stream);
    MHD_Response* response
        = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &EventStream::onRead, held, &EventStream::onFree);
    if (!response) {
        delete held;
        return MHD_NO;
    }
    exchange.stream->attach(connection);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result Answerer::serveInstaller(MHD_Connection* connection, Exchange& exchange) const
{
    const std::string path = QFile::encodeName(settings.installerPath).toStdString();
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
    exchange.route = "download/setup.exe";
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

void Answerer::dispatch(MHD_Connection* connection, Exchange& exchange) const
{
    exchange.group = ConnectionFront::groupOf(exchange.peer, settings.ipv4GroupBits, settings.ipv6GroupBits);
    exchange.dispatched = true;
    // Suspended first: the worker may resume the connection before the
    // request handler has returned.
    MHD_suspend_connection(connection);
    post(exchange);
}

void Answerer::post(Exchange& exchange) const
{
    WorkerPool& pool
        = router.hashesPassword(QString::fromStdString(exchange.method), apiPath(exchange)) ? passwordWorkers : workers;
    Exchange* job = &exchange;
    const bool queued = pool.post(
        [this, job] {
            // Without room the request waits, still suspended, and is
            // queued again once answers have been read.
            bool first = false;
            if (unread.admit(
                    job->group, [this, job] { post(*job); }, &first))
                answer(*job);
            else if (first)
                log.write(QStringLiteral("requests from the network of %1 wait: the answers not yet read fill"
                                         " its share or the server's")
                              .arg(QString::fromStdString(job->peer)));
        },
        exchange.group);
    if (!queued) {
        exchange.status = 200;
        exchange.answer = refusal(QStringLiteral("服务器繁忙，请稍后再试！"));
        exchange.ready = true;
        PlatformMetrics::instance().refused("workers");
        MHD_resume_connection(exchange.connection);
    }
}

void Answerer::finished(const Exchange& exchange) const
{
    if (exchange.charged > 0)
        unread.release(exchange.group, exchange.charged);
}

void Answerer::releaseWaiting() const
{
    unread.releaseWaiting();
}

void Answerer::answer(Exchange& exchange) const
{
    try {
        ApiRequest::RawParams params;
        const size_t query = exchange.target.find('?');
        if (query != std::string::npos)
            parseParams(exchange.target.substr(query + 1), &params);
        if (exchange.form)
            parseParams(exchange.body, &params);
        if (exchange.path == "/api/events/") {
            exchange.status = 200;
            if (exchange.method != "GET") {
                exchange.answer = refusal(QStringLiteral("不支持的请求方法！"));
            } else {
                QString refused;
                exchange.stream = events.open(params, exchange.lastEventId, &refused);
                if (!exchange.stream)
                    exchange.answer = refusal(refused);
            }
        } else {
            ApiRouter::Settings routing { settings.announcedVersion, settings.publicHost,
                QString::fromStdString(exchange.peer), settings.limits };
            routing.reuseAnswers = settings.reuseAnswers;
            const ApiRouter::Outcome outcome
                = router.dispatch(QString::fromStdString(exchange.method), apiPath(exchange), params, storage, routing);
            exchange.status = outcome.status;
            exchange.answer = outcome.reply.toJson();
            exchange.route = outcome.route;
        }
    } catch (const std::exception& failure) {
        log.write(QStringLiteral("unexpected exception while answering a request: %1")
                      .arg(QString::fromStdString(failure.what())));
        exchange.status = 200;
        exchange.answer = refusal(QStringLiteral("服务器繁忙，请稍后再试！"));
    }
    exchange.charged = static_cast<size_t>(exchange.answer.size());
    unread.charge(exchange.group, exchange.charged);
    exchange.ready = true;
    MHD_resume_connection(exchange.connection);
}

} // namespace platform
