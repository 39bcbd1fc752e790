#include "eventhub.h"

#include "credentials.h"
#include "dialect.h"
#include "jsonwriter.h"
#include "serverlog.h"
#include "sessionservice.h"
#include "storage.h"
#include "transaction.h"

#include <cstring>
#include <exception>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

const std::string keepAliveComment = ": keep-alive\n\n";
// The latest changes kept for streams that open while they are being read.
const size_t recentKept = 4096;
const int readBatch = 1000;

std::string idLine(qint64 id)
{
    return "id: " + std::to_string(id) + "\n";
}

// Tells the desk that it cannot be told everything it missed: it reads
// everything it shows again, and follows on from `id`.
std::string reloadOf(qint64 id)
{
    return idLine(id) + "event: reload\ndata: {}\n\n";
}

// A "last event" id as a desk sends it: decimal digits; -1 when none.
qint64 lastIdOf(const QString& text)
{
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok);
    return ok && id >= 0 && !text.trimmed().startsWith(QLatin1Char('+')) ? id : -1;
}

} // namespace

EventStream::EventStream(qint64 organ, qint64 user, const QString& tokenDigest)
    : station(organ)
    , userId(user)
    , digest(tokenDigest)
{
}

void EventStream::attach(MHD_Connection* reader)
{
    std::lock_guard<std::mutex> lock(mutex);
    connection = reader;
}

void EventStream::detach()
{
    std::lock_guard<std::mutex> lock(mutex);
    connection = nullptr;
    closed = true;
}

bool EventStream::push(const std::string& bytes)
{
    MHD_Connection* sleeper = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed)
            return false;
        if (waiting.size() + bytes.size() > maxWaitingBytes)
            closed = true;
        else
            waiting += bytes;
        pushed = Clock::now();
        if (suspended && connection) {
            suspended = false;
            sleeper = connection;
        }
    }
    // Only the thread that cleared `suspended` resumes, once per suspension,
    // and a suspended connection cannot end meanwhile.
    if (sleeper)
        MHD_resume_connection(sleeper);
    return true;
}

void EventStream::close()
{
    MHD_Connection* sleeper = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        if (suspended && connection) {
            suspended = false;
            sleeper = connection;
        }
    }
    if (sleeper)
        MHD_resume_connection(sleeper);
}

bool EventStream::isClosed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return closed;
}

Clock::time_point EventStream::lastPush() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return pushed;
}

ssize_t EventStream::onRead(void* cls, uint64_t, char* buffer, size_t max)
{
    EventStream& stream = **static_cast<std::shared_ptr<EventStream>*>(cls);
    std::lock_guard<std::mutex> lock(stream.mutex);
    if (!stream.waiting.empty()) {
        const size_t taken = std::min(max, stream.waiting.size());
        std::memcpy(buffer, stream.waiting.data(), taken);
        stream.waiting.erase(0, taken);
        return static_cast<ssize_t>(taken);
    }
    if (stream.closed || !stream.connection)
        return MHD_CONTENT_READER_END_OF_STREAM;
    // Asleep until the next push; the library is told to try again then.
    stream.suspended = true;
    MHD_suspend_connection(stream.connection);
    return 0;
}

void EventStream::onFree(void* cls)
{
    auto* held = static_cast<std::shared_ptr<EventStream>*>(cls);
    (*held)->detach();
    delete held;
}

EventHub::EventHub(const Storage& store, const Settings& hubSettings, const ServerLog& serverLog)
    : storage(store)
    , settings(hubSettings)
    , log(serverLog)
{
}

EventHub::~EventHub()
{
    stop();
}

void EventHub::start()
{
    // Where following begins: a stream opened from now on reads what came
    // before from the database itself.
    try {
        cursor = ChangeLog::latest(storage.connection());
    } catch (const std::exception& failure) {
        log.write(QStringLiteral("cannot read the changes: %1").arg(QString::fromStdString(failure.what())));
        cursor = 0;
    }
    recentFloor = cursor;
    sessionsChecked = Clock::now();
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = true;
    }
    thread = std::thread([this] { run(); });
}

void EventHub::stop()
{
    std::map<QString, Registered> ended;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
        ended.swap(streams);
    }
    wakeUp.notify_all();
    if (thread.joinable())
        thread.join();
    for (auto& entry : ended)
        entry.second.stream->close();
}

void EventHub::nudge()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        nudged = true;
    }
    wakeUp.notify_all();
}

size_t EventHub::streamCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    size_t open = 0;
    for (const auto& entry : streams)
        open += entry.second.stream->isClosed() ? 0 : 1;
    return open;
}

std::string EventHub::eventOf(const ChangeLog::Change& change)
{
    JsonWriter data;
    data.beginObject()
        .key("kind")
        .value(change.kind)
        .key("id")
        .value(change.record)
        .key("version")
        .value(change.version)
        .key("user")
        .value(change.user)
        .endObject();
    return idLine(change.id) + "event: change\ndata: " + data.bytes().toStdString() + "\n\n";
}

std::shared_ptr<EventStream> EventHub::open(
    const ApiRequest::RawParams& params, const std::string& lastEventId, QString* refusal)
{
    const ApiRequest request(QStringLiteral("GET"), { QStringLiteral("events") }, params);
    if (!request.isWellFormed()) {
        *refusal = QStringLiteral("请求参数的编码无效！");
        return nullptr;
    }
    const QString token = request.value(QStringLiteral("token"));
    qint64 user = 0;
    qint64 organ = 0;
    QSqlDatabase db = storage.connection();
    if (!ApiRequest::parseId(request.value(QStringLiteral("user")), &user)
        || !SessionService::checkSession(db, token, user, settings.limits, &organ)) {
        *refusal = QStringLiteral("登录已失效，请重新登录！");
        return nullptr;
    }
    const qint64 last = request.has(QStringLiteral("last")) ? lastIdOf(request.value(QStringLiteral("last")))
                                                            : lastIdOf(QString::fromStdString(lastEventId));

    // What the desk missed, from one snapshot.
    std::string first;
    qint64 position = 0;
    {
        Transaction read(db, Transaction::Read);
        QVector<ChangeLog::Change> missed;
        if (last < 0) {
            // A new desk follows on from now.
            position = ChangeLog::latest(db);
            first = idLine(position) + "\n";
        } else if (ChangeLog::missed(db, organ, last, settings.maxMissed, &missed)) {
            position = last;
            for (const ChangeLog::Change& change : qAsConst(missed)) {
                first += eventOf(change);
                position = change.id;
            }
            if (first.empty())
                first = keepAliveComment;
        } else {
            position = ChangeLog::latest(db);
            first = reloadOf(position);
        }
        read.commit();
    }

    auto stream = std::make_shared<EventStream>(organ, user, Credentials::tokenDigest(token));
    stream->push(first);
    std::lock_guard<std::mutex> lock(mutex);
    if (!running || stopped) {
        *refusal = QStringLiteral("服务器繁忙，请稍后再试！");
        return nullptr;
    }
    // One stream per session: the newer one replaces the older.
    Registered& registered = streams[stream->tokenDigest()];
    if (registered.stream)
        registered.stream->close();
    registered = Registered { stream, position };
    catchUp(registered);
    return stream;
}

void EventHub::catchUp(Registered& registered)
{
    if (cursor <= registered.position)
        return;
    if (registered.position < recentFloor) {
        // What came between is no longer at hand.
        registered.stream->push(reloadOf(cursor));
    } else {
        for (const ChangeLog::Change& change : recent) {
            if (change.id > registered.position && change.organ == registered.stream->organ())
                registered.stream->push(eventOf(change));
        }
    }
    registered.position = cursor;
}

void EventHub::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopped) {
        wakeUp.wait_for(lock, std::chrono::milliseconds(settings.pollMs), [this] { return stopped || nudged; });
        if (stopped)
            break;
        lock.unlock();
        try {
            deliver(follow());
            keepAlive();
            if (Clock::now() - sessionsChecked >= std::chrono::seconds(std::min(5u, settings.keepAliveSeconds))) {
                sessionsChecked = Clock::now();
                checkSessions();
            }
        } catch (const std::exception& failure) {
            // The database may be away for a while; the streams stay, and
            // the next look reads what came meanwhile.
            log.write(QStringLiteral("cannot follow the changes: %1").arg(QString::fromStdString(failure.what())));
        }
        lock.lock();
    }
}

std::vector<ChangeLog::Change> EventHub::follow()
{
    bool wasNudged = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        wasNudged = nudged;
        nudged = false;
    }
    QSqlDatabase db = storage.connection();
    Transaction read(db, Transaction::Read);
    qint64 version = -1;
    qint64 own = -1;
    Dialect::of(db).dataVersion(db, &version, &own);
    const bool moved = version != dataVersion || own != ownChanges || version < 0;
    dataVersion = version;
    ownChanges = own;
    std::vector<ChangeLog::Change> found;
    if (!moved && !wasNudged)
        return found;
    for (qint64 from = cursor;;) {
        const QVector<ChangeLog::Change> batch = ChangeLog::after(db, from, readBatch);
        found.insert(found.end(), batch.begin(), batch.end());
        if (batch.size() < readBatch)
            break;
        from = batch.last().id;
    }
    read.commit();
    return found;
}

void EventHub::deliver(const std::vector<ChangeLog::Change>& changes)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const ChangeLog::Change& change : changes) {
        recent.push_back(change);
        cursor = change.id;
    }
    while (recent.size() > recentKept) {
        recentFloor = recent.front().id;
        recent.pop_front();
    }
    for (auto it = streams.begin(); it != streams.end();) {
        Registered& registered = it->second;
        if (registered.stream->isClosed()) {
            it = streams.erase(it);
            continue;
        }
        for (const ChangeLog::Change& change : changes) {
            if (change.id > registered.position && change.organ == registered.stream->organ())
                registered.stream->push(eventOf(change));
        }
        registered.position = std::max(registered.position, cursor);
        ++it;
    }
}

void EventHub::keepAlive()
{
    const Clock::time_point due = Clock::now() - std::chrono::seconds(settings.keepAliveSeconds);
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& entry : streams) {
        if (entry.second.stream->lastPush() <= due)
            entry.second.stream->push(keepAliveComment);
    }
}

void EventHub::checkSessions()
{
    std::vector<std::shared_ptr<EventStream>> open;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& entry : streams)
            open.push_back(entry.second.stream);
    }
    if (open.empty())
        return;
    QSqlDatabase db = storage.connection();
    Transaction read(db, Transaction::Read);
    for (const std::shared_ptr<EventStream>& stream : open) {
        if (!SessionService::sessionLasts(db, stream->tokenDigest(), stream->user(), settings.limits))
            stream->close();
    }
    read.commit();
}

} // namespace platform
