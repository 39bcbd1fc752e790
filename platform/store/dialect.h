#pragma once

#include "searchindex.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QSqlQuery;

namespace platform {

// What differs between the database engines the platform runs on. The
// services write one SQL, SQLite's (which is mostly standard); a dialect
// translates what another engine spells differently and holds everything
// else that differs: how a connection is set up, how transactions lock, the
// types and triggers of the layout, the schema version, the database's change
// counter and the ids of new rows.
class Dialect
{
public:
    virtual ~Dialect() = default;

    // The dialect of the connection's driver.
    static const Dialect& of(const QSqlDatabase& db);
    static const Dialect& sqlite();
    static const Dialect& postgresql();

    virtual bool isPostgreSQL() const = 0;

    // The statement as this engine takes it.
    virtual QString translate(const QString& statement) const = 0;

    // Whether a query may fetch its rows as they come. On PostgreSQL that
    // holds the connection until the last row, and the services run
    // statements while they read another's rows.
    virtual bool forwardOnly() const = 0;

    // Sets up a connection that has just been opened.
    virtual void prepareConnection(const QSqlDatabase& db, bool synchronousFull) const = 0;

    // Starts a transaction. A write transaction holds the database's write
    // lock from its start, across all processes, so writers take turns and
    // what they read stays true until they commit; a read transaction sees
    // one snapshot.
    virtual void begin(const QSqlDatabase& db, bool write) const = 0;

    // The id of the row that `query`, an INSERT, has just added.
    virtual qint64 lastInsertId(const QSqlDatabase& db, const QSqlQuery& query) const = 0;

    // The schema version recorded in the database (0 for a new one), and
    // recording a new one, inside the upgrade's write transaction.
    virtual int schemaVersion(const QSqlDatabase& db) const = 0;
    virtual void setSchemaVersion(const QSqlDatabase& db, int version) const = 0;
    // A statement of the layout (see Schema), written in SQLite's spelling
    // with BIGINT for the integers that need 64 bits on every engine, as
    // this engine takes it: its types, its own row ids, its table options.
    virtual QString layoutStatement(const QString& statement) const = 0;
    // The triggers that keep the list_rank of a table of shippers or
    // consignees dense, and that of the trades (schema version 4).
    virtual QStringList partyRankSteps(const QString& table) const = 0;
    virtual QStringList tradeRankSteps() const = 0;
    // What counts the changes of `tables` for dataVersion(), if the engine
    // does not count them itself (schema version 5).
    virtual QStringList changeCounterSteps(const QStringList& tables) const = 0;

    // Numbers that change whenever a record that an answer may show changes,
    // by any connection of any process, as the connection's current
    // transaction sees them: the database's version and this connection's
    // own changes.
    virtual void dataVersion(const QSqlDatabase& db, qint64* version, qint64* ownChanges) const = 0;

    // Whether SQL's name_key() can be defined on the connection; otherwise
    // names are compared with their keys in the program.
    virtual bool hasNameKeyFunction() const = 0;

    // The statements that make the search indexes of plates, names and
    // trades, filled from the records already there and kept in step with
    // every later write (schema version 7).
    virtual QStringList searchIndexSteps() const = 0;
    // How a list's query finds the records of `target` whose texts hold
    // `text`, which is not empty (see SearchIndex).
    virtual SearchIndex::Match searchMatch(SearchIndex::Target target, const QString& text) const = 0;
};

} // namespace platform
