#include "sql.h"

#include <QSqlError>

namespace platform {

namespace {

[[noreturn]] void fail(const QString& what, const QString& statement, const QSqlError& error)
{
    throw Sql::Error(QStringLiteral("%1 failed: %2 [%3]").arg(what, error.text(), statement).toStdString());
}

} // namespace

Sql::Sql(const QSqlDatabase& db, const QString& statement)
    : query(db)
    , statementText(statement)
{
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        fail(QStringLiteral("prepare"), statement, query.lastError());
}

Sql& Sql::bind(const QVariant& value)
{
    // QtSql binds a null QString as SQL NULL; a text is never NULL here.
    if (value.userType() == QMetaType::QString && value.toString().isNull())
        query.addBindValue(QStringLiteral(""));
    else
        query.addBindValue(value);
    return *this;
}

Sql& Sql::exec()
{
    if (!query.exec())
        fail(QStringLiteral("exec"), statementText, query.lastError());
    return *this;
}

bool Sql::next()
{
    return query.next();
}

QVariant Sql::value(int column) const
{
    return query.value(column);
}

QString Sql::text(int column) const
{
    return query.value(column).toString();
}

qint64 Sql::integer(int column) const
{
    return query.value(column).toLongLong();
}

double Sql::real(int column) const
{
    return query.value(column).toDouble();
}

bool Sql::isNull(int column) const
{
    return query.isNull(column);
}

qint64 Sql::lastInsertId() const
{
    return query.lastInsertId().toLongLong();
}

int Sql::rowsAffected() const
{
    return query.numRowsAffected();
}

void Sql::run(const QSqlDatabase& db, const QString& statement)
{
    QSqlQuery q(db);
    if (!q.exec(statement))
        fail(QStringLiteral("exec"), statement, q.lastError());
}

QVariant Sql::scalar(
    const QSqlDatabase& db, const QString& statement, const QVariantList& params, const QVariant& fallback)
{
    Sql q(db, statement);
    for (const QVariant& p : params)
        q.bind(p);
    q.exec();
    return q.next() ? q.value(0) : fallback;
}

} // namespace platform
