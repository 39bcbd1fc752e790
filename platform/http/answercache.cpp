#include "answercache.h"

#include "dialect.h"

#include <QHash>

#include <atomic>

namespace platform {

namespace {

std::atomic<qint64> totalEntries { 0 };
std::atomic<qint64> totalBytes { 0 };

struct Kept
{
    ApiReply reply;
    qint64 bytes = 0;
};

// The answers of one connection, all made in one state of the database.
struct Answers
{
    AnswerCache::State state;
    QHash<QString, Kept> byKey;
    qint64 bytes = 0;

    void clear()
    {
        totalEntries -= byKey.size();
        totalBytes -= bytes;
        byKey.clear();
        bytes = 0;
    }
};

// This thread's answers by connection; given back to the totals when the
// thread ends.
struct ThreadAnswers
{
    QHash<QString, Answers> byConnection;

    ~ThreadAnswers()
    {
        for (Answers& answers : byConnection)
            answers.clear();
    }

    // The connection's answers, emptied when the database is no longer in
    // `state`.
    Answers& of(const QSqlDatabase& db, const AnswerCache::State& state)
    {
        Answers& answers = byConnection[db.connectionName()];
        if (!(answers.state == state)) {
            answers.clear();
            answers.state = state;
        }
        return answers;
    }

    void clearAll()
    {
        for (Answers& answers : byConnection)
            answers.clear();
    }
};

ThreadAnswers& threadAnswers()
{
    thread_local ThreadAnswers answers;
    return answers;
}

// What an answer holds in memory, roughly: its key and its written form.
qint64 estimatedBytes(const QString& key, const ApiReply& reply)
{
    return 2 * key.size() + reply.toJson().size() + 128;
}

} // namespace

AnswerCache::State AnswerCache::stateOf(const QSqlDatabase& db)
{
    State state;
    Dialect::of(db).dataVersion(db, &state.dataVersion, &state.changes);
    return state;
}

bool AnswerCache::find(const QSqlDatabase& db, const QString& key, const State& state, ApiReply* reply)
{
    if (state.dataVersion < 0)
        return false;
    const Answers& answers = threadAnswers().of(db, state);
    const auto it = answers.byKey.constFind(key);
    if (it == answers.byKey.constEnd())
        return false;
    *reply = it->reply;
    return true;
}

void AnswerCache::keep(const QSqlDatabase& db, const QString& key, const State& state, const ApiReply& reply)
{
    if (state.dataVersion < 0 || key.isEmpty())
        return;
    const qint64 bytes = estimatedBytes(key, reply);
    if (bytes > maxBytes / 4)
        return;
    ThreadAnswers& mine = threadAnswers();
    Answers* answers = &mine.of(db, state);
    if (answers->byKey.contains(key))
        return;
    // Over the budget, this thread gives up what it keeps; when the other
    // threads' answers alone fill it, this one is not kept.
    if (answers->byKey.size() >= maxEntries || totalBytes + bytes > maxBytes) {
        mine.clearAll();
        if (totalBytes + bytes > maxBytes)
            return;
    }
    answers->byKey.insert(key, { reply, bytes });
    answers->bytes += bytes;
    totalEntries += 1;
    totalBytes += bytes;
}

qint64 AnswerCache::keptEntries()
{
    return totalEntries;
}

qint64 AnswerCache::keptBytes()
{
    return totalBytes;
}

} // namespace platform
