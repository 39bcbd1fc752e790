#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVector>

namespace platform {

struct ApiContext;

// The station's changes as its desks hear of them (table `changes`): every
// committed write of a truck, a shipper, a consignee, a trade or the
// station's profile leaves one row naming the kind, the record, its new
// version and who wrote it, never the record's values. A row is appended on
// the write's own connection inside its transaction, so a write rolled back
// leaves none; writers take turns on the database's write lock, so the ids
// commit in their order and a reader that has seen id N has seen every
// change below it.
//
// A station keeps its changes of the last day, at most keptPerStation of
// them; `change_floors` remembers the highest id pruned, so that a desk
// asking for what came after an older id is told it missed too much.
class ChangeLog
{
public:
    struct Change
    {
        qint64 id = 0;
        qint64 organ = 0;
        QString kind; // truck, shipper, consignee, trade or profile
        qint64 record = 0;
        qint64 version = 0;
        QString user; // the writer's name as histories show it
    };

    static const int keptPerStation = 10000;
    static const int keptSeconds = 24 * 3600;

    // Appends the change of `record` of `kind` by the request's user.
    static void append(const ApiContext& context, const QString& kind, qint64 record, qint64 version);

    // The highest id so far; 0 when there is none.
    static qint64 latest(const QSqlDatabase& db);
    // Up to `limit` changes of every station after `id`, oldest first.
    static QVector<Change> after(const QSqlDatabase& db, qint64 id, int limit);
    // The changes of `organ` after `id`, oldest first; false when they cannot
    // all be told: some were pruned, there are more than `limit`, or `id` is
    // beyond every change there is (an id from another database).
    static bool missed(const QSqlDatabase& db, qint64 organ, qint64 id, int limit, QVector<Change>* changes);

    // Whether this thread appended a change since the last call: a request
    // that did has news for the desks once it commits.
    static bool takeAppended();
};

} // namespace platform
