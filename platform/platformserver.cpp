#include "platformserver.h"

#include "sql.h"
#include "storage.h"

#include <QFileInfo>

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// When the request on this thread started; set before routing, read by the
// logger after the answer was written.
thread_local Clock::time_point requestStart;
thread_local bool requestTimed = false;

const char* const jsonType = "application/json; charset=utf-8";

// A path as it may go into one log line: no control characters (a decoded
// "%0A" must not start a forged line) and not longer than 200 characters.
QString printablePath(const std::string& path)
{
    QString text = QString::fromUtf8(path.data(), static_cast<int>(std::min<size_t>(path.size(), 400)));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char('?');
    }
    return text.size() > 200 ? text.left(200) + QStringLiteral("...") : text;
}

} // namespace

PlatformServer::PlatformServer(const Storage& store, const Config& configuration)
    : storage(store)
    , config(configuration)
    , server(std::make_unique<httplib::Server>())
{
    logSink = [](const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    };
    router.setErrorSink([this](const QString& line) { log(line); });

    const int threads = std::max(2, config.threads);
    server->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    server->set_payload_max_length(config.maxBodyBytes);
    server->set_keep_alive_max_count(1000);
    // An idle kept-alive connection holds a worker until this runs out, and
    // stopping waits for it: short, clients reconnect anyway.
    server->set_keep_alive_timeout(2);
    server->set_read_timeout(10);
    server->set_write_timeout(10);

    server->set_tcp_nodelay(true);

    // A request without a body is answered before the library's routing,
    // which would match the path against a std::regex; the rest (form posts)
    // goes through one bounded pattern: an unbounded ".*" recurses once per
    // character in libstdc++ and a long path could exhaust the stack.
    server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        requestStart = Clock::now();
        requestTimed = true;
        const bool hasBody = request.has_header("Content-Length") || request.has_header("Transfer-Encoding");
        if (hasBody || request.method == "POST" || request.method == "PUT" || request.method == "PATCH")
            return httplib::Server::HandlerResponse::Unhandled;
        handle(request, response);
        return httplib::Server::HandlerResponse::Handled;
    });
    const httplib::Server::Handler handler
        = [this](const httplib::Request& request, httplib::Response& response) { handle(request, response); };
    const std::string anyPath = "/[^\\r\\n]{0,1024}";
    server->Get(anyPath, handler);
    server->Post(anyPath, handler);
    server->Put(anyPath, handler);
    server->Patch(anyPath, handler);
    server->Delete(anyPath, handler);
    server->Options(anyPath, handler);

    // What the library answers by itself (a body over the limit - a form body
    // is limited to 8 KiB by the library itself -, a target too long, a
    // malformed request) still gets the envelope, with the status
    // 200 so that the client shows the message; only "not found" stays 404.
    server->set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& response) {
            if (response.status == 404) {
                if (response.body.empty())
                    response.set_content(
                        ApiReply::refusal(QStringLiteral("请求的地址不存在！")).toJson().toStdString(), jsonType);
                return httplib::Server::HandlerResponse::Handled;
            }
            QString message;
            switch (response.status) {
            case 413:
                message = QStringLiteral("请求的内容过大！");
                break;
            case 414:
                message = QStringLiteral("请求的地址过长！");
                break;
            case 400:
                message = QStringLiteral("请求的格式错误！");
                break;
            default:
                message = QStringLiteral("服务器繁忙，请稍后再试！");
                break;
            }
            response.status = 200;
            response.set_content(ApiReply::refusal(message).toJson().toStdString(), jsonType);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server->set_exception_handler([this](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        log(QStringLiteral("unexpected exception while answering a request"));
        response.status = 200;
        response.set_content(
            ApiReply::refusal(QStringLiteral("服务器繁忙，请稍后再试！")).toJson().toStdString(), jsonType);
    });
    server->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        QString elapsed = QStringLiteral("-");
        if (requestTimed) {
            const auto micros
                = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - requestStart).count();
            elapsed = QString::number(static_cast<double>(micros) / 1000.0, 'f', 2);
            requestTimed = false;
        }
        log(QStringLiteral("%1 %2 %3 %4 ms")
                .arg(QString::fromStdString(request.method.empty() ? std::string("-") : request.method),
                    printablePath(request.path.empty() ? std::string("-") : request.path))
                .arg(response.status)
                .arg(elapsed));
    });
}

PlatformServer::~PlatformServer()
{
    stop();
    if (thread.joinable())
        thread.join();
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

bool PlatformServer::bind(QString* error)
{
    // The platform's settings record which client version it announces.
    try {
        Sql q(storage.connection(),
            QStringLiteral("INSERT OR REPLACE INTO settings (key, value) VALUES ('announced_version', ?)"));
        q.bind(config.announcedVersion).exec();
    } catch (const Sql::Error& failure) {
        if (error)
            *error = QString::fromStdString(failure.what());
        return false;
    }
    const std::string host = config.address.toStdString();
    if (config.port == 0) {
        boundPort = server->bind_to_any_port(host);
    } else {
        boundPort = server->bind_to_port(host, config.port) ? config.port : -1;
    }
    if (boundPort < 0 && error)
        *error = QStringLiteral("cannot listen on %1:%2").arg(config.address).arg(config.port);
    return boundPort >= 0;
}

void PlatformServer::serve()
{
    serving = true;
    if (!stopRequested)
        server->listen_after_bind();
    serving = false;
}

void PlatformServer::start()
{
    thread = std::thread([this] { serve(); });
}

void PlatformServer::stop()
{
    stopRequested = true;
    // The library's stop() does nothing before its loop runs: wait for the
    // loop when serving has begun but the loop is not up yet.
    for (int i = 0; i < 400 && serving && !server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server->stop();
}

void PlatformServer::handle(const httplib::Request& request, httplib::Response& response) const
{
    const std::string& path = request.path;
    if (path == "/download/setup.exe" && (request.method == "GET" || request.method == "HEAD")) {
        serveInstaller(response);
        return;
    }
    if (path.compare(0, 5, "/api/") != 0) {
        response.status = 404;
        response.set_content(ApiReply::refusal(QStringLiteral("请求的地址不存在！")).toJson().toStdString(), jsonType);
        return;
    }

    ApiRequest::RawParams params;
    for (const auto& param : request.params)
        params.append({ QByteArray::fromStdString(param.first), QByteArray::fromStdString(param.second) });
    ApiRouter::Settings settings { config.announcedVersion, QString::fromStdString(request.get_header_value("Host")) };
    if (settings.host.isEmpty() || settings.host.size() > 255)
        settings.host = QStringLiteral("%1:%2").arg(config.address).arg(boundPort);

    const ApiRouter::Outcome outcome = router.dispatch(QString::fromStdString(request.method),
        QString::fromUtf8(path.data() + 4, static_cast<int>(path.size() - 4)), params, storage, settings);
    response.status = outcome.status;
    response.set_content(outcome.reply.toJson().toStdString(), jsonType);
}

void PlatformServer::serveInstaller(httplib::Response& response) const
{
    const QFileInfo info(config.installerPath);
    if (config.installerPath.isEmpty() || !info.isFile() || !info.isReadable()) {
        response.status = 404;
        response.set_content(ApiReply::refusal(QStringLiteral("安装程序不存在！")).toJson().toStdString(), jsonType);
        return;
    }
    auto file
        = std::make_shared<std::ifstream>(QFile::encodeName(info.absoluteFilePath()).toStdString(), std::ios::binary);
    if (!*file) {
        response.status = 404;
        response.set_content(ApiReply::refusal(QStringLiteral("安装程序不存在！")).toJson().toStdString(), jsonType);
        return;
    }
    response.set_header("Content-Disposition", "attachment; filename=\"setup.exe\"");
    response.set_content_provider(static_cast<size_t>(info.size()), "application/octet-stream",
        [file](size_t offset, size_t length, httplib::DataSink& sink) {
            char buffer[64 * 1024];
            file->seekg(static_cast<std::streamoff>(offset));
            file->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
            const std::streamsize got = file->gcount();
            if (got <= 0)
                return false;
            return sink.write(buffer, static_cast<size_t>(got));
        });
}

} // namespace platform
