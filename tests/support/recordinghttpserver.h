#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

// An HTTP server on 127.0.0.1 inside the test process. It records every
// request as it came over the wire (method, raw target with the query, body,
// Content-Type) and answers with scripted replies. It runs on a thread of its
// own; the accessors are safe to call from the test's thread.
class RecordingHttpServer
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray target;      // raw path and query, as sent
        QByteArray path;        // the target without the query
        QByteArray body;        // raw body bytes
        QByteArray contentType; // the Content-Type header
    };

    struct Reply
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        // Held back until release(); lets a test finish replies out of order.
        // Registering a reply with on() closes its gate again.
        QString gate;
        // Never answer (the connection stays open until the client gives up).
        bool silent = false;
    };

    using Responder = std::function<Reply(const Request&)>;

    RecordingHttpServer();
    ~RecordingHttpServer();

    RecordingHttpServer(const RecordingHttpServer&) = delete;
    RecordingHttpServer& operator=(const RecordingHttpServer&) = delete;

    int port() const { return listenPort; }
    // "127.0.0.1:<port>"
    QString hostAndPort() const;
    // "http://127.0.0.1:<port>/api", the base address the client should use.
    QString apiBase() const;

    // The reply for requests whose path (without the query) is exactly `path`.
    void on(const QByteArray& path, const Reply& reply);
    void on(const QByteArray& path, Responder responder);
    // The reply for every other request (defaults to a 404).
    void otherwise(const Reply& reply);

    // Lets the replies held back by `gate` go.
    void release(const QString& gate);
    // Lets every reply held back now go (silent ones stay silent): a test
    // that failed before its release() must not hold the next one up.
    void releaseWaiting();
    // Holds every gate back again that no reply is waiting at: a gate one
    // test released does not let the next test's replies through.
    void closeGates();

    QList<Request> requests() const;
    int requestCount() const;
    Request lastRequest() const;
    void clearRequests();

    static Reply json(const QByteArray& body, int status = 200);

private:
    Reply replyFor(const Request& request);
    void waitForGate(const QString& gate);

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int listenPort = 0;

    mutable std::mutex mutex;
    std::condition_variable gateOpened;
    QMap<QByteArray, Responder> responders;
    Responder fallback;
    QList<Request> recorded;
    QStringList openGates;
    QStringList waitingGates;
    bool stopping = false;
};
