#pragma once

#include "dialect.h"

namespace platform {

// A PostgreSQL database that several platform processes may share. Writers
// take turns on one advisory lock, as SQLite's writers do on the file;
// readers see one snapshot (REPEATABLE READ). Triggers count every change of
// the records in data_changes, which is what the answers kept for reuse are
// checked against.
class PostgresDialect : public Dialect
{
public:
    bool isPostgreSQL() const override { return true; }
    // "user" is a reserved word here; instr() is strpos().
    QString translate(const QString& statement) const override;
    bool forwardOnly() const override { return false; }
    void prepareConnection(const QSqlDatabase& db, bool synchronousFull) const override;
    void begin(const QSqlDatabase& db, bool write) const override;
    qint64 lastInsertId(const QSqlDatabase& db, const QSqlQuery& query) const override;
    int schemaVersion(const QSqlDatabase& db) const override;
    void setSchemaVersion(const QSqlDatabase& db, int version) const override;
    QString layoutStatement(const QString& statement) const override;
    QStringList partyRankSteps(const QString& table) const override;
    QStringList tradeRankSteps() const override;
    QStringList changeCounterSteps(const QStringList& tables) const override;
    void dataVersion(const QSqlDatabase& db, qint64* version, qint64* ownChanges) const override;
    QStringList searchIndexSteps() const override;
    SearchIndex::Match searchMatch(SearchIndex::Target target, const QString& text) const override;
    bool hasNameKeyFunction() const override { return false; }

    // The advisory lock that write transactions hold.
    static const qint64 writeLockKey = 7230526;
};

} // namespace platform
