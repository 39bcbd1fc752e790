#include "sql.h"

#include <QSqlError>

namespace platform {

namespace {

[[noreturn]] void fail(const QString& what, const QString& statement, const QSqlError& error)
{
    throw Sql::Error(QStringLiteral("%1 failed: %2 [%3]").arg(what, error.text(), statement).toStdString());
}

// More distinct texts than this on one connection are prepared per use.
const int maxKeptPerConnection = 128;

} // namespace

struct Sql::Kept
{
    QSqlQuery query;
    bool busy = false;
};

QHash<QString, Sql::KeptByText>& Sql::keptStatements()
{
    thread_local QHash<QString, KeptByText> kept;
    return kept;
}

Sql::Sql(const QSqlDatabase& db, const QString& statement)
    : statementText(statement)
{
    KeptByText& kept = keptStatements()[db.connectionName()];
    const auto found = kept.constFind(statement);
    if (found != kept.constEnd()) {
        const std::shared_ptr<Kept>& candidate = found.value();
        if (!candidate->busy) {
            candidate->busy = true;
            borrowed = candidate;
            query = &candidate->query;
            return;
        }
    } else if (kept.size() < maxKeptPerConnection) {
        auto fresh = std::make_shared<Kept>();
        fresh->query = QSqlQuery(db);
        fresh->query.setForwardOnly(true);
        if (!fresh->query.prepare(statement))
            fail(QStringLiteral("prepare"), statement, fresh->query.lastError());
        fresh->busy = true;
        borrowed = fresh;
        query = &fresh->query;
        kept.insert(statement, fresh);
        return;
    }
    own = QSqlQuery(db);
    own.setForwardOnly(true);
    if (!own.prepare(statement))
        fail(QStringLiteral("prepare"), statement, own.lastError());
}

Sql::~Sql()
{
    if (borrowed) {
        // Reset: a statement left stepping would hold its read snapshot.
        query->finish();
        borrowed->busy = false;
    }
}

Sql& Sql::bind(const QVariant& value)
{
    // QtSql binds a null QString as SQL NULL; a text is never NULL here.
    // Values go by position, so a kept statement holds nothing from its
    // previous use.
    if (value.userType() == QMetaType::QString && value.toString().isNull())
        query->bindValue(bound++, QStringLiteral(""));
    else
        query->bindValue(bound++, value);
    return *this;
}

Sql& Sql::exec()
{
    bound = 0;
    if (!query->exec())
        fail(QStringLiteral("exec"), statementText, query->lastError());
    return *this;
}

bool Sql::next()
{
    return query->next();
}

QVariant Sql::value(int column) const
{
    return query->value(column);
}

QString Sql::text(int column) const
{
    return query->value(column).toString();
}

qint64 Sql::integer(int column) const
{
    return query->value(column).toLongLong();
}

double Sql::real(int column) const
{
    return query->value(column).toDouble();
}

bool Sql::isNull(int column) const
{
    return query->isNull(column);
}

qint64 Sql::lastInsertId() const
{
    return query->lastInsertId().toLongLong();
}

int Sql::rowsAffected() const
{
    return query->numRowsAffected();
}

void Sql::run(const QSqlDatabase& db, const QString& statement)
{
    Sql(db, statement).exec();
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

void Sql::releaseStatements(const QString& connectionName)
{
    keptStatements().remove(connectionName);
}

} // namespace platform
