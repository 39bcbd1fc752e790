#include "answercache.h"

#include "sql.h"

#include <QHash>

namespace platform {

namespace {

// Beyond this many keys on one thread, the kept answers are dropped and
// gathered anew: keys come from requests, so their number is not bounded.
const int maxKept = 256;

struct Kept
{
    AnswerCache::State state;
    ApiReply reply;
};

QHash<QString, Kept>& kept()
{
    thread_local QHash<QString, Kept> answers;
    return answers;
}

QString fullKey(const QSqlDatabase& db, const QString& key)
{
    return db.connectionName() + QLatin1Char('\n') + key;
}

} // namespace

AnswerCache::State AnswerCache::stateOf(const QSqlDatabase& db)
{
    Sql q(db, QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version"));
    q.exec();
    State state;
    if (q.next()) {
        state.dataVersion = q.integer(0);
        state.changes = q.integer(1);
    }
    return state;
}

bool AnswerCache::find(const QSqlDatabase& db, const QString& key, const State& state, ApiReply* reply)
{
    const auto it = kept().constFind(fullKey(db, key));
    if (it == kept().constEnd() || !(it->state == state) || state.dataVersion < 0)
        return false;
    *reply = it->reply;
    return true;
}

void AnswerCache::keep(const QSqlDatabase& db, const QString& key, const State& state, const ApiReply& reply)
{
    if (state.dataVersion < 0)
        return;
    QHash<QString, Kept>& answers = kept();
    if (answers.size() >= maxKept)
        answers.clear();
    answers.insert(fullKey(db, key), { state, reply });
}

} // namespace platform
