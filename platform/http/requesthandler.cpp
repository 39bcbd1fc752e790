#include "requesthandler.h"

#include "answerer.h"
#include "connectionfront.h"
#include "connectiontracker.h"
#include "eventhub.h"
#include "exchange.h"
#include "platformmetrics.h"
#include "requestdecoding.h"
#include "serverlog.h"

#include <cstring>
#include <exception>
#include <string>
#include <strings.h>

namespace platform {

namespace {

bool startsWithNoCase(const char* text, const char* prefix)
{
    return text && strncasecmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

RequestHandler::RequestHandler(
    const Limits& requestLimits, ConnectionTracker& tracker, const Answerer& answers, const ServerLog& serverLog)
    : limits(requestLimits)
    , connections(tracker)
    , answerer(answers)
    , log(serverLog)
{
}

void RequestHandler::setFront(ConnectionFront* connectionFront)
{
    front = connectionFront;
}

MHD_Result RequestHandler::onRequest(void* cls, MHD_Connection* connection, const char*, const char* method,
    const char*, const char* uploadData, size_t* uploadSize, void** context)
{
    const RequestHandler& handler = *static_cast<const RequestHandler*>(cls);
    try {
        if (!*context)
            return handler.begin(connection, method, context);
        Exchange& exchange = *static_cast<Exchange*>(*context);
        if (exchange.queued) {
            *uploadSize = 0; // answered early: the rest is dropped
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            // A body over the limit is read to its end and dropped, so that
            // the refusal reaches a client that is still sending.
            if (!exchange.tooLarge && exchange.body.size() + *uploadSize <= exchange.bodyLimit) {
                exchange.body.append(uploadData, *uploadSize);
            } else {
                exchange.tooLarge = true;
                std::string().swap(exchange.body);
            }
            *uploadSize = 0;
            return MHD_YES;
        }
        if (exchange.ready && exchange.stream)
            return Answerer::stream(connection, exchange);
        if (exchange.ready)
            return Answerer::reply(connection, exchange, exchange.status, exchange.answer);
        if (exchange.dispatched)
            return MHD_YES;
        return handler.complete(connection, exchange);
    } catch (const std::exception&) {
        return MHD_NO; // closes the connection
    }
}

MHD_Result RequestHandler::begin(MHD_Connection* connection, const char* method, void** context) const
{
    auto* exchange = new Exchange;
    *context = exchange;
    exchange->connection = connection;
    exchange->method = method ? method : "";
    connections.describe(connection, &exchange->target, &exchange->peer);
    const size_t query = exchange->target.find('?');
    const std::string rawPath = exchange->target.substr(0, query);
    exchange->path = percentDecode(rawPath.data(), rawPath.data() + rawPath.size(), false);

    if (exchange->target.size() > limits.maxTargetBytes) {
        PlatformMetrics::instance().refused("target_size");
        return Answerer::reply(connection, *exchange, 200, Answerer::refusal(QStringLiteral("请求的地址过长！")));
    }
    const int headers = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
    if (headers > limits.maxHeaders)
        PlatformMetrics::instance().refused("headers");
    if (headers > limits.maxHeaders || exchange->path.empty() || exchange->path.front() != '/')
        return Answerer::reply(connection, *exchange, 200, Answerer::refusal(QStringLiteral("请求的格式错误！")));

    exchange->form
        = startsWithNoCase(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE),
            "application/x-www-form-urlencoded");
    exchange->bodyLimit = exchange->form ? limits.maxFormBytes : limits.maxBodyBytes;
    if (const char* lastEvent = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Last-Event-ID"))
        exchange->lastEventId = lastEvent;
    return MHD_YES;
}

MHD_Result RequestHandler::complete(MHD_Connection* connection, Exchange& exchange) const
{
    connections.received(connection);
    if (exchange.tooLarge) {
        PlatformMetrics::instance().refused("body_size");
        return Answerer::reply(connection, exchange, 200, Answerer::refusal(QStringLiteral("请求的内容过大！")));
    }
    if (exchange.path == "/download/setup.exe" && (exchange.method == "GET" || exchange.method == "HEAD"))
        return answerer.serveInstaller(connection, exchange);
    if (exchange.path.compare(0, 5, "/api/") != 0)
        return Answerer::reply(connection, exchange, 404, Answerer::refusal(QStringLiteral("请求的地址不存在！")));
    answerer.dispatch(connection, exchange);
    return MHD_YES;
}

void RequestHandler::onCompleted(
    void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode termination)
{
    const RequestHandler& handler = *static_cast<const RequestHandler*>(cls);
    auto* exchange = static_cast<Exchange*>(*context);
    *context = nullptr;
    handler.connections.answered(connection);
    if (!exchange)
        return;
    handler.answerer.finished(*exchange);
    // A stream of changes ends with its request, answered or not.
    if (exchange->stream)
        exchange->stream->close();
    try {
        const auto micros
            = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - exchange->start)
                  .count();
        if (termination == MHD_REQUEST_TERMINATED_COMPLETED_OK && handler.front)
            handler.front->remember(exchange->peer);
        handler.log.request(exchange->method, exchange->path, exchange->status, static_cast<double>(micros) / 1000.0);
        if (exchange->status > 0)
            PlatformMetrics::instance().requestAnswered(
                exchange->route, exchange->status, static_cast<double>(micros) / 1e6);
    } catch (const std::exception&) {
    }
    delete exchange;
}

} // namespace platform
