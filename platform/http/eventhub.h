#pragma once

#include "apirequest.h"
#include "changelog.h"
#include "servicelimits.h"

#include <QString>

#include <microhttpd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

class ServerLog;
class Storage;

// One desk's stream of its station's changes, as Server-Sent Events: the
// bytes not yet taken by its connection. The HTTP library takes them through
// read() on its event loop; with nothing to take, read() suspends the
// connection, and the next push() resumes it, so a quiet stream holds no
// thread and is never polled. A stream that is closed ends its answer once
// its last bytes are out.
class EventStream
{
public:
    // Beyond this many bytes waiting, the desk is not reading: the stream is
    // closed, and the desk's reconnection asks for what it missed.
    static const size_t maxWaitingBytes = 256 * 1024;

    EventStream(qint64 organ, qint64 user, const QString& tokenDigest);

    qint64 organ() const { return station; }
    qint64 user() const { return userId; }
    const QString& tokenDigest() const { return digest; }

    // The connection that reads the stream, once its answer is queued; null
    // once the answer is gone.
    void attach(MHD_Connection* connection);
    void detach();

    // Appends bytes to send; false when the stream is closed.
    bool push(const std::string& bytes);
    // Ends the stream after what is waiting.
    void close();
    bool isClosed() const;
    // When bytes were last pushed.
    std::chrono::steady_clock::time_point lastPush() const;

    // The library's content reader (MHD_ContentReaderCallback) and the
    // release of its reference, with a heap-held std::shared_ptr<EventStream>
    // as `cls`.
    static ssize_t onRead(void* cls, uint64_t position, char* buffer, size_t max);
    static void onFree(void* cls);

private:
    // Wakes the connection if it sleeps; under the lock.
    void wake();

    const qint64 station;
    const qint64 userId;
    const QString digest;
    mutable std::mutex mutex;
    std::string waiting;
    MHD_Connection* connection = nullptr;
    bool suspended = false;
    bool closed = false;
    std::chrono::steady_clock::time_point pushed = std::chrono::steady_clock::now();
};

// Carries each station's changes to the streams of its signed-in desks
// (GET /api/events/), one stream per session.
//
// A thread of its own follows table `changes`: every `pollMs` it reads the
// database's change counter (Dialect::dataVersion, which sees the commits of
// every connection of every process on the database) and, when that moved,
// the new rows; a write of this process also wakes it at once (nudge()).
// Each change goes to the streams of its station whose position is below its
// id. The same thread sends a keep-alive comment to each stream that has
// been quiet for `keepAliveSeconds`, and closes the streams whose sessions
// have ended.
//
// A stream that names the last event its desk saw first gets the changes of
// its station after that one, or one "reload" event when they cannot all be
// told (too many, pruned, or an id the database never gave).
class EventHub
{
public:
    struct Settings
    {
        unsigned keepAliveSeconds = 15;
        unsigned pollMs = 100;
        // More missed changes than this, and the desk is told to reload.
        int maxMissed = 500;
        ServiceLimits limits;
    };

    EventHub(const Storage& storage, const Settings& settings, const ServerLog& log);
    ~EventHub();

    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    void start();
    // Closes every stream (their connections resume and end) and refuses new
    // ones; safe to call twice.
    void stop();

    // On a worker: checks the session named by `params` ("token", "user")
    // and opens its stream from the event after `params`' "last" or, without
    // it, `lastEventId` (the Last-Event-ID header); a stream of the same
    // session before it is closed. Null with `refusal` set when refused.
    std::shared_ptr<EventStream> open(
        const ApiRequest::RawParams& params, const std::string& lastEventId, QString* refusal);

    // A write of this process has committed changes: look now.
    void nudge();

    // The streams open now.
    size_t streamCount() const;

    // "id: ...\nevent: change\ndata: {...}\n\n" of one change.
    static std::string eventOf(const ChangeLog::Change& change);

private:
    struct Registered
    {
        std::shared_ptr<EventStream> stream;
        qint64 position = 0; // the id of the last change it was given
    };

    void run();
    // Reads the new changes into `recent`; returns them.
    std::vector<ChangeLog::Change> follow();
    void deliver(const std::vector<ChangeLog::Change>& changes);
    void keepAlive();
    void checkSessions();
    // Gives `registered` what `recent` holds after its position; under the
    // lock.
    void catchUp(Registered& registered);

    const Storage& storage;
    const Settings settings;
    const ServerLog& log;

    mutable std::mutex mutex;
    std::condition_variable wakeUp;
    bool running = false;
    bool stopped = false;
    bool nudged = false;
    std::thread thread;
    // By the session's token digest.
    std::map<QString, Registered> streams;
    // The latest changes read, oldest first: every change after
    // `recentFloor` up to `cursor`.
    std::deque<ChangeLog::Change> recent;
    qint64 recentFloor = 0;
    qint64 cursor = -1;
    qint64 dataVersion = -1;
    qint64 ownChanges = -1;
    std::chrono::steady_clock::time_point sessionsChecked;
};

} // namespace platform
