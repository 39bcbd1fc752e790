#include "sqlitedialect.h"

#include "schema.h"
#include "sql.h"

#include <QSqlQuery>
#include <QVariant>

namespace platform {

void SqliteDialect::prepareConnection(const QSqlDatabase& db, bool synchronousFull) const
{
    // WAL is a property of the file and stays. With synchronous=NORMAL a
    // crash of the process loses no commit; a power cut can lose the last
    // ones (see Storage::setSynchronousFull()).
    const QString mode = Sql::scalar(db, QStringLiteral("PRAGMA journal_mode=WAL")).toString();
    if (mode.compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        throw Sql::Error(QStringLiteral("%1 cannot run in WAL mode (%2)").arg(db.databaseName(), mode).toStdString());
    Sql::run(
        db, synchronousFull ? QStringLiteral("PRAGMA synchronous=FULL") : QStringLiteral("PRAGMA synchronous=NORMAL"));
    Sql::run(db, QStringLiteral("PRAGMA foreign_keys=ON"));
}

void SqliteDialect::begin(const QSqlDatabase& db, bool write) const
{
    // BEGIN IMMEDIATE takes the write lock at once: a read lock that had to
    // be upgraded later could fail instead of waiting.
    Sql::run(db, write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
}

qint64 SqliteDialect::lastInsertId(const QSqlDatabase&, const QSqlQuery& query) const
{
    return query.lastInsertId().toLongLong();
}

int SqliteDialect::schemaVersion(const QSqlDatabase& db) const
{
    return Sql::scalar(db, QStringLiteral("PRAGMA user_version")).toInt();
}

void SqliteDialect::setSchemaVersion(const QSqlDatabase& db, int version) const
{
    Sql::run(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
}

QList<QStringList> SqliteDialect::schemaSteps() const
{
    return Schema::sqliteSteps();
}

void SqliteDialect::dataVersion(const QSqlDatabase& db, qint64* version, qint64* ownChanges) const
{
    // data_version sees other connections' and processes' commits, the
    // connection's total changes its own.
    Sql q(db, QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version"));
    q.exec();
    *version = -1;
    *ownChanges = -1;
    if (q.next()) {
        *version = q.integer(0);
        *ownChanges = q.integer(1);
    }
}

} // namespace platform
