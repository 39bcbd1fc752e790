#pragma once

#include "apirouter.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace platform {

class Storage;

// The platform's HTTP server: every request under "/api" goes through the
// router; "/download/setup.exe" serves the installer. Each request is logged
// in one line (method, path without the query, status, time taken).
class PlatformServer
{
public:
    struct Config
    {
        QString address = QStringLiteral("127.0.0.1");
        int port = 8765; // 0: any free port
        QString announcedVersion = QStringLiteral("1.0.1 Beta");
        QString installerPath;
        // Bodies other than forms; the library limits form bodies to 8 KiB.
        size_t maxBodyBytes = 64 * 1024;
        int threads = 16;
    };
    using LogSink = std::function<void(const QString&)>;

    PlatformServer(const Storage& storage, const Config& config);
    ~PlatformServer();

    PlatformServer(const PlatformServer&) = delete;
    PlatformServer& operator=(const PlatformServer&) = delete;

    // Records the announced version and binds the listening socket; returns
    // false with `error` set on failure.
    bool bind(QString* error);
    // The bound port (the real one when the configured port was 0).
    int port() const { return boundPort; }

    // Serves on the calling thread until stop().
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
    void handle(const httplib::Request& request, httplib::Response& response) const;
    void serveInstaller(httplib::Response& response) const;
    void log(const QString& line) const;

    const Storage& storage;
    Config config;
    ApiRouter router;
    std::unique_ptr<httplib::Server> server;
    LogSink logSink;
    int boundPort = -1;
    std::atomic<bool> stopRequested { false };
    std::atomic<bool> serving { false };
    std::thread thread;
};

} // namespace platform
