#include "databasecopy.h"

#include "dialect.h"
#include "sql.h"
#include "storage.h"
#include "transaction.h"

#include <QSqlQuery>
#include <QVariant>

#include <stdexcept>

namespace platform {

namespace {

// Rows a new database holds before any station exists; the source's take
// their place.
const QStringList replacedTables = { QStringLiteral("truck_dict"), QStringLiteral("settings") };

QStringList columnsOf(const QSqlDatabase& db, const QString& table)
{
    QStringList columns;
    Sql q(db, QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"));
    q.bind(table).exec();
    while (q.next())
        columns << q.text(0);
    if (columns.isEmpty())
        throw std::runtime_error(QStringLiteral("the source has no table %1").arg(table).toStdString());
    return columns;
}

qint64 countOf(const QSqlDatabase& db, const QString& table)
{
    return Sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toLongLong();
}

} // namespace

QStringList DatabaseCopy::tables()
{
    return { QStringLiteral("organs"), QStringLiteral("users"), QStringLiteral("sessions"),
        QStringLiteral("truck_dict"), QStringLiteral("trucks"), QStringLiteral("shippers"),
        QStringLiteral("consignees"), QStringLiteral("trades"), QStringLiteral("sms_outbox"),
        QStringLiteral("feedback"), QStringLiteral("visits"), QStringLiteral("settings"), QStringLiteral("history"),
        QStringLiteral("request_answers") };
}

QStringList DatabaseCopy::copy(const Storage& from, const Storage& to)
{
    const QSqlDatabase source = from.connection();
    const QSqlDatabase target = to.connection();
    if (Dialect::of(source).isPostgreSQL() || !Dialect::of(target).isPostgreSQL())
        throw std::runtime_error("a copy goes from a SQLite file to a PostgreSQL database");

    Transaction reading(source, Transaction::Read);
    Transaction writing(target, Transaction::Write);
    for (const QString& table : tables()) {
        if (!replacedTables.contains(table) && countOf(target, table) != 0)
            throw std::runtime_error(
                QStringLiteral("the target database is not empty (table %1 has rows)").arg(table).toStdString());
    }

    for (const QString& table : tables()) {
        const QStringList columns = columnsOf(source, table);
        if (replacedTables.contains(table))
            Sql::run(target, QStringLiteral("DELETE FROM %1").arg(table));
        QStringList marks;
        for (int i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        const QString names = columns.join(QStringLiteral(", "));
        // Oldest first: the rank triggers number each row as it comes, as
        // they did in the source.
        Sql rows(source,
            QStringLiteral("SELECT %1 FROM %2%3")
                .arg(
                    names, table, columns.contains(QStringLiteral("id")) ? QStringLiteral(" ORDER BY id") : QString()));
        rows.exec();
        const QString insert
            = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names, marks.join(QStringLiteral(", ")));
        while (rows.next()) {
            Sql q(target, insert);
            for (int i = 0; i < columns.size(); ++i)
                q.bind(rows.isNull(i) ? QVariant() : rows.value(i));
            q.exec();
        }
        // Ids were copied as they were: the identity goes on after the
        // highest.
        if (columns.contains(QStringLiteral("id")))
            Sql::run(target,
                QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'),"
                               " (SELECT coalesce(max(id), 0) + 1 FROM %1), false)")
                    .arg(table));
    }

    QStringList counts;
    for (const QString& table : tables()) {
        const qint64 copied = countOf(source, table);
        const qint64 arrived = countOf(target, table);
        if (copied != arrived)
            throw std::runtime_error(QStringLiteral("%1: %2 rows in the source, %3 in the target")
                                         .arg(table)
                                         .arg(copied)
                                         .arg(arrived)
                                         .toStdString());
        counts << QStringLiteral("%1: %2").arg(table).arg(copied);
    }
    // The ranks the triggers gave are the source's.
    for (const QString& table :
        { QStringLiteral("shippers"), QStringLiteral("consignees"), QStringLiteral("trades") }) {
        QString mismatch;
        Sql q(source, QStringLiteral("SELECT id, list_rank FROM %1 ORDER BY id").arg(table));
        q.exec();
        Sql p(target, QStringLiteral("SELECT id, list_rank FROM %1 ORDER BY id").arg(table));
        p.exec();
        while (q.next() && p.next()) {
            if (q.integer(0) != p.integer(0) || q.isNull(1) != p.isNull(1) || q.integer(1) != p.integer(1)) {
                mismatch = QStringLiteral("%1 %2").arg(table).arg(q.integer(0));
                break;
            }
        }
        if (!mismatch.isEmpty())
            throw std::runtime_error(
                QStringLiteral("the list order differs after the copy at %1").arg(mismatch).toStdString());
    }
    writing.commit();
    reading.commit();
    return counts;
}

} // namespace platform
