#pragma once

#include <microhttpd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace platform {

// What the server keeps about each connection that the HTTP library holds
// open: the client's address (the library itself sees a local socket pair),
// the target of the request being read as it was sent, and the time by which
// that request has to be whole. A watchdog shuts the socket of a connection
// whose request is overdue; the event loop then closes the connection itself.
//
// The library calls onConnection() and onUri() on its event loop, which is
// also the only caller of received(), answered() and describe(); the front
// calls expect() and forget() from its own thread.
class ConnectionTracker
{
public:
    explicit ConnectionTracker(unsigned requestTimeoutSeconds);
    ~ConnectionTracker();

    ConnectionTracker(const ConnectionTracker&) = delete;
    ConnectionTracker& operator=(const ConnectionTracker&) = delete;

    // The connection on `fd` from `peer` is about to be handed to the
    // library; forget() it when the library did not take it.
    void expect(int fd, const std::string& peer);
    void forget(int fd);

    // The request on `connection` has arrived whole: its deadline no longer
    // counts.
    void received(MHD_Connection* connection);
    // The request on `connection` is over: the next one's time begins.
    void answered(MHD_Connection* connection);
    // The target as sent and the client's address of the request being read
    // on `connection`; left alone when the connection is unknown.
    void describe(MHD_Connection* connection, std::string* target, std::string* peer) const;

    // Runs the watchdog on a thread of its own until stopWatching(), which
    // is safe to call twice.
    void startWatching();
    void stopWatching();

    // The library's connection notice (MHD_OPTION_NOTIFY_CONNECTION) and its
    // first sight of a request's target (MHD_OPTION_URI_LOG_CALLBACK), with
    // the tracker as `cls`.
    static void onConnection(
        void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code);
    static void* onUri(void* cls, const char* uri, MHD_Connection* connection);

private:
    using Clock = std::chrono::steady_clock;
    struct Link;

    static Link* linkOf(MHD_Connection* connection);
    void watch();

    const std::chrono::seconds requestTimeout;

    // The open connections, and the clients' addresses of connections
    // handed to the library but not yet opened there, by descriptor.
    mutable std::mutex linksMutex;
    std::set<Link*> links;
    std::map<int, std::string> arriving;

    std::mutex watchMutex;
    std::condition_variable watchWake;
    bool watching = false;
    std::thread watchdog;
};

} // namespace platform
