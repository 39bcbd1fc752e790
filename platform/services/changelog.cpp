#include "changelog.h"

#include "apicontext.h"
#include "sessionservice.h"
#include "sql.h"

#include <QDateTime>

namespace platform {

namespace {

thread_local bool appendedHere = false;

// Every so many appends, the station's old changes go.
const qint64 pruneEvery = 64;

void prune(const QSqlDatabase& db, qint64 organ)
{
    const QString dayAgo
        = QDateTime::currentDateTime().addSecs(-ChangeLog::keptSeconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const qint64 old = Sql::scalar(
        db, QStringLiteral("SELECT max(id) FROM changes WHERE organ = ? AND time < ?"), { organ, dayAgo }, 0)
                           .toLongLong();
    const qint64 beyond
        = Sql::scalar(db, QStringLiteral("SELECT id FROM changes WHERE organ = ? ORDER BY id DESC LIMIT 1 OFFSET ?"),
            { organ, ChangeLog::keptPerStation }, 0)
              .toLongLong();
    const qint64 floor = qMax(old, beyond);
    if (floor <= 0)
        return;
    Sql gone(db, QStringLiteral("DELETE FROM changes WHERE organ = ? AND id <= ?"));
    gone.bind(organ).bind(floor).exec();
    Sql kept(db,
        QStringLiteral("INSERT INTO change_floors (organ, pruned_to) VALUES (?, ?)"
                       " ON CONFLICT (organ) DO UPDATE SET pruned_to = excluded.pruned_to"));
    kept.bind(organ).bind(floor).exec();
}

ChangeLog::Change changeOf(const Sql& q)
{
    ChangeLog::Change change;
    change.id = q.integer(0);
    change.organ = q.integer(1);
    change.kind = q.text(2);
    change.record = q.integer(3);
    change.version = q.integer(4);
    change.user = q.text(5);
    return change;
}

const QString changeColumns = QStringLiteral("SELECT id, organ, kind, record, version, user_name FROM changes");

} // namespace

void ChangeLog::append(const ApiContext& context, const QString& kind, qint64 record, qint64 version)
{
    const qint64 organ = context.request.organ();
    const qint64 user = context.request.user();
    // The name histories show: the user's own, else the sign-in name.
    const QString name = Sql::scalar(context.db,
        QStringLiteral("SELECT CASE WHEN name = '' THEN username ELSE name END FROM users WHERE id = ?"), { user },
        QString())
                             .toString();
    Sql q(context.db,
        QStringLiteral("INSERT INTO changes (organ, kind, record, version, user, user_name, time)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    q.bind(organ).bind(kind).bind(record).bind(version).bind(user).bind(name).bind(SessionService::now()).exec();
    appendedHere = true;
    // The newest row is never pruned: SQLite would hand out its id again.
    if (q.lastInsertId() % pruneEvery == 0)
        prune(context.db, organ);
}

qint64 ChangeLog::latest(const QSqlDatabase& db)
{
    return Sql::scalar(db, QStringLiteral("SELECT max(id) FROM changes"), {}, 0).toLongLong();
}

QVector<ChangeLog::Change> ChangeLog::after(const QSqlDatabase& db, qint64 id, int limit)
{
    Sql q(db, changeColumns + QStringLiteral(" WHERE id > ? ORDER BY id LIMIT ?"));
    q.bind(id).bind(limit).exec();
    QVector<Change> changes;
    while (q.next())
        changes.append(changeOf(q));
    return changes;
}

bool ChangeLog::missed(const QSqlDatabase& db, qint64 organ, qint64 id, int limit, QVector<Change>* changes)
{
    changes->clear();
    const qint64 floor
        = Sql::scalar(db, QStringLiteral("SELECT pruned_to FROM change_floors WHERE organ = ?"), { organ }, 0)
              .toLongLong();
    if (id < floor || id > latest(db))
        return false;
    Sql q(db, changeColumns + QStringLiteral(" WHERE organ = ? AND id > ? ORDER BY id LIMIT ?"));
    q.bind(organ).bind(id).bind(limit + 1).exec();
    while (q.next())
        changes->append(changeOf(q));
    if (changes->size() > limit) {
        changes->clear();
        return false;
    }
    return true;
}

bool ChangeLog::takeAppended()
{
    const bool appended = appendedHere;
    appendedHere = false;
    return appended;
}

} // namespace platform
