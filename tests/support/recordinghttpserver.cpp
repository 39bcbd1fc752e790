#include "recordinghttpserver.h"

#include <httplib.h>

#include <algorithm>
#include <condition_variable>

RecordingHttpServer::RecordingHttpServer()
    : server(std::make_unique<httplib::Server>())
{
    Reply notFound;
    notFound.status = 404;
    notFound.body = "not found";
    notFound.contentType = "text/plain";
    fallback = [notFound](const Request&) { return notFound; };

    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        Request r;
        r.method = QByteArray::fromStdString(req.method);
        r.target = QByteArray::fromStdString(req.target);
        r.path = r.target.left(r.target.indexOf('?') < 0 ? r.target.size() : r.target.indexOf('?'));
        r.body = QByteArray::fromStdString(req.body);
        r.contentType = QByteArray::fromStdString(req.get_header_value("Content-Type"));
        {
            std::lock_guard<std::mutex> lock(mutex);
            recorded.append(r);
        }
        Reply reply = replyFor(r);
        if (reply.silent) {
            waitForGate(QStringLiteral("\x01never"));
            return;
        }
        if (!reply.gate.isEmpty())
            waitForGate(reply.gate);
        res.status = reply.status;
        res.set_content(reply.body.toStdString(), reply.contentType.constData());
    };
    server->Get(".*", handler);
    server->Post(".*", handler);

    // One request per connection: a kept-alive connection would hold a worker
    // (and the destructor) until the keep-alive timeout runs out.
    server->set_keep_alive_max_count(1);
    listenPort = server->bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    // stop() before the listening loop has started would be lost and leave the
    // destructor waiting for ever: wait until the server is up.
    while (listenPort > 0 && !server->is_running())
        std::this_thread::yield();
}

RecordingHttpServer::~RecordingHttpServer()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    gateOpened.notify_all();
    server->stop();
    if (thread.joinable())
        thread.join();
}

QString RecordingHttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(listenPort);
}

QString RecordingHttpServer::apiBase() const
{
    return QStringLiteral("http://127.0.0.1:%1/api").arg(listenPort);
}

void RecordingHttpServer::on(const QByteArray& path, const Reply& reply)
{
    if (!reply.gate.isEmpty()) {
        // Registering a held-back reply arms its gate again.
        std::lock_guard<std::mutex> lock(mutex);
        openGates.removeAll(reply.gate);
    }
    on(path, [reply](const Request&) { return reply; });
}

void RecordingHttpServer::on(const QByteArray& path, Responder responder)
{
    std::lock_guard<std::mutex> lock(mutex);
    responders.insert(path, std::move(responder));
}

void RecordingHttpServer::otherwise(const Reply& reply)
{
    std::lock_guard<std::mutex> lock(mutex);
    fallback = [reply](const Request&) { return reply; };
}

void RecordingHttpServer::release(const QString& gate)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        openGates << gate;
    }
    gateOpened.notify_all();
}

QList<RecordingHttpServer::Request> RecordingHttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return recorded;
}

int RecordingHttpServer::requestCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return recorded.size();
}

RecordingHttpServer::Request RecordingHttpServer::lastRequest() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return recorded.isEmpty() ? Request() : recorded.last();
}

void RecordingHttpServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    recorded.clear();
}

RecordingHttpServer::Reply RecordingHttpServer::json(const QByteArray& body, int status)
{
    Reply r;
    r.status = status;
    r.body = body;
    return r;
}

RecordingHttpServer::Reply RecordingHttpServer::replyFor(const Request& request)
{
    Responder responder;
    {
        std::lock_guard<std::mutex> lock(mutex);
        responder = responders.value(request.path, fallback);
    }
    return responder(request);
}

void RecordingHttpServer::waitForGate(const QString& gate)
{
    std::unique_lock<std::mutex> lock(mutex);
    waitingGates << gate;
    gateOpened.wait(lock, [&] { return stopping || openGates.contains(gate); });
    waitingGates.removeOne(gate);
}

void RecordingHttpServer::closeGates()
{
    std::lock_guard<std::mutex> lock(mutex);
    openGates.erase(std::remove_if(openGates.begin(), openGates.end(),
                        [this](const QString& gate) { return !waitingGates.contains(gate); }),
        openGates.end());
}

void RecordingHttpServer::releaseWaiting()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const QString& gate : qAsConst(waitingGates)) {
            if (!gate.startsWith(QLatin1Char('\x01')))
                openGates << gate;
        }
    }
    gateOpened.notify_all();
}
