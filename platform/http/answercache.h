#pragma once

#include "apireply.h"

#include <QSqlDatabase>
#include <QString>

namespace platform {

// Answers of read requests, reused while the database is unchanged: no
// commit by another connection since and no row changed by this connection
// (Dialect::dataVersion: SQLite's data_version and total changes, which also
// cover other processes; PostgreSQL's change counter, kept by triggers). The
// numbers are read on one connection, and a connection belongs to one
// thread, so each thread keeps its own answers and needs no lock.
//
// Only answers that depend on nothing but the database and the key may be
// kept: not the time of day, not the signed-in user. The key names what the
// answer depends on (the station, the group, the page), never the request as
// sent, so that parameters nobody reads cannot multiply the answers kept.
// Once the database has changed, every answer kept before is dropped, and
// all threads together keep at most maxBytes.
class AnswerCache
{
public:
    struct State
    {
        qint64 dataVersion = -1;
        qint64 changes = -1;
        bool operator==(const State& other) const
        {
            return dataVersion == other.dataVersion && changes == other.changes;
        }
    };

    static const qint64 maxBytes = 32 * 1024 * 1024;
    // At most this many answers per connection.
    static const int maxEntries = 256;

    // The state of the database as the connection's current read transaction
    // sees it (it starts the transaction's snapshot when none is taken yet).
    static State stateOf(const QSqlDatabase& db);

    // The answer kept for `key` on this connection in `state`, if any.
    static bool find(const QSqlDatabase& db, const QString& key, const State& state, ApiReply* reply);
    static void keep(const QSqlDatabase& db, const QString& key, const State& state, const ApiReply& reply);

    // What all threads keep together: answers, and their bytes as estimated.
    static qint64 keptEntries();
    static qint64 keptBytes();
};

} // namespace platform
