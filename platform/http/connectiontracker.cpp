#include "connectiontracker.h"

#include <sys/socket.h>

namespace platform {

// One open connection. It is made when the library opens the connection and
// deleted when it closes it, both under the lock; the watchdog reads it under
// the lock too.
struct ConnectionTracker::Link
{
    int fd = -1;
    Clock::time_point deadline;
    bool receiving = true;
    bool cut = false;
    std::string target;
    std::string peer;
};

ConnectionTracker::ConnectionTracker(unsigned requestTimeoutSeconds)
    : requestTimeout(requestTimeoutSeconds)
{
}

ConnectionTracker::~ConnectionTracker()
{
    stopWatching();
}

void ConnectionTracker::expect(int fd, const std::string& peer)
{
    std::lock_guard<std::mutex> lock(linksMutex);
    arriving[fd] = peer;
}

void ConnectionTracker::forget(int fd)
{
    std::lock_guard<std::mutex> lock(linksMutex);
    arriving.erase(fd);
}

ConnectionTracker::Link* ConnectionTracker::linkOf(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Link*>(info->socket_context) : nullptr;
}

void ConnectionTracker::received(MHD_Connection* connection)
{
    if (Link* link = linkOf(connection)) {
        std::lock_guard<std::mutex> lock(linksMutex);
        link->receiving = false;
    }
}

void ConnectionTracker::answered(MHD_Connection* connection)
{
    if (Link* link = linkOf(connection)) {
        std::lock_guard<std::mutex> lock(linksMutex);
        link->receiving = true;
        link->deadline = Clock::now() + requestTimeout;
    }
}

void ConnectionTracker::describe(MHD_Connection* connection, std::string* target, std::string* peer) const
{
    // The target and the address are written on the event loop only, which
    // is where this is called.
    if (const Link* link = linkOf(connection)) {
        *target = link->target;
        *peer = link->peer;
    }
}

void ConnectionTracker::onConnection(
    void* cls, MHD_Connection* connection, void** socketContext, MHD_ConnectionNotificationCode code)
{
    ConnectionTracker& tracker = *static_cast<ConnectionTracker*>(cls);
    std::lock_guard<std::mutex> lock(tracker.linksMutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        auto* link = new Link;
        link->fd = info ? info->connect_fd : -1;
        link->deadline = Clock::now() + tracker.requestTimeout;
        const auto arrived = tracker.arriving.find(link->fd);
        if (arrived != tracker.arriving.end()) {
            link->peer = std::move(arrived->second);
            tracker.arriving.erase(arrived);
        }
        tracker.links.insert(link);
        *socketContext = link;
    } else if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        auto* link = static_cast<Link*>(*socketContext);
        tracker.links.erase(link);
        delete link;
        *socketContext = nullptr;
    }
}

void* ConnectionTracker::onUri(void*, const char* uri, MHD_Connection* connection)
{
    if (Link* link = linkOf(connection))
        link->target = uri ? uri : "";
    // What this returns is the request's first context: none, so that the
    // request handler sees a new request.
    return nullptr;
}

void ConnectionTracker::startWatching()
{
    {
        std::lock_guard<std::mutex> lock(watchMutex);
        watching = true;
    }
    watchdog = std::thread([this] { watch(); });
}

void ConnectionTracker::stopWatching()
{
    {
        std::lock_guard<std::mutex> lock(watchMutex);
        watching = false;
    }
    watchWake.notify_all();
    if (watchdog.joinable())
        watchdog.join();
}

void ConnectionTracker::watch()
{
    std::unique_lock<std::mutex> state(watchMutex);
    while (watching) {
        watchWake.wait_for(state, std::chrono::milliseconds(250));
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
