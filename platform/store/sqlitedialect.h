#pragma once

#include "dialect.h"

namespace platform {

// One SQLite file in WAL mode: readers never block the writer, writers queue
// on the file's lock.
class SqliteDialect : public Dialect
{
public:
    bool isPostgreSQL() const override { return false; }
    QString translate(const QString& statement) const override { return statement; }
    bool forwardOnly() const override { return true; }
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
    bool hasNameKeyFunction() const override { return true; }
};

} // namespace platform
