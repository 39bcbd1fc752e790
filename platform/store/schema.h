#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QStringList>

namespace platform {

class Dialect;

// The database layout and its history, one list of statements per version,
// written once for both engines: each dialect spells the tables' types its
// engine's way and adds what its engine does differently. The recorded
// schema version (SQLite: PRAGMA user_version; PostgreSQL: the table
// schema_version) tells which steps it has seen; opening runs the missing
// steps in order inside one transaction, so an older file is upgraded in
// place and a failed upgrade leaves the file exactly as it was.
class Schema
{
public:
    static int latestVersion();
    // The steps as `dialect`'s engine takes them, one list of statements per
    // version.
    static QList<QStringList> steps(const Dialect& dialect);
    static int versionOf(const QSqlDatabase& db);
    // Brings the file up to `target` (the latest by default). Throws Sql::Error
    // on failure and std::runtime_error for a file newer than this program.
    static void upgrade(const QSqlDatabase& db, int target = -1);
};

} // namespace platform
