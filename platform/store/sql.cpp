#include "sql.h"

#include "dialect.h"

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

namespace {

// Set once this thread's kept statements are destroyed (thread-local objects
// go in the reverse order of their making, so the thread's connections may
// still be dropped after them).
thread_local bool keptStatementsGone = false;

} // namespace

QHash<QString, Sql::KeptByText>& Sql::keptStatements()
{
    struct Holder
    {
        QHash<QString, KeptByText> byConnection;
        ~Holder() { keptStatementsGone = true; }
    };
    thread_local Holder holder;
    return holder.byConnection;
}

Sql::Sql(const QSqlDatabase& db, const QString& statement)
    : statementText(statement)
{
    const Dialect& dialect = Dialect::of(db);
    if (dialect.isPostgreSQL())
        ownDatabase = db;
    if (keptStatementsGone) {
        prepareOwn(db);
        return;
    }
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
        fresh->query.setForwardOnly(dialect.forwardOnly());
        if (!fresh->query.prepare(dialect.translate(statement)))
            fail(QStringLiteral("prepare"), statement, fresh->query.lastError());
        fresh->busy = true;
        borrowed = fresh;
        query = &fresh->query;
        kept.insert(statement, fresh);
        return;
    }
    prepareOwn(db);
}

void Sql::prepareOwn(const QSqlDatabase& db)
{
    own = std::make_unique<QSqlQuery>(db);
    query = own.get();
    own->setForwardOnly(Dialect::of(db).forwardOnly());
    if (!own->prepare(Dialect::of(db).translate(statementText)))
        fail(QStringLiteral("prepare"), statementText, own->lastError());
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
    if (ownDatabase.isValid())
        return Dialect::postgresql().lastInsertId(ownDatabase, *query);
    return query->lastInsertId().toLongLong();
}

int Sql::rowsAffected() const
{
    return query->numRowsAffected();
}

void Sql::run(const QSqlDatabase& db, const QString& statement)
{
    const Dialect& dialect = Dialect::of(db);
    if (dialect.isPostgreSQL()) {
        // Transaction control and DDL cannot be prepared on PostgreSQL's
        // server, and a statement run once gains nothing from it.
        QSqlQuery q(db);
        const QString text = dialect.translate(statement);
        if (!q.exec(text))
            fail(QStringLiteral("exec"), text, q.lastError());
        return;
    }
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
    if (!keptStatementsGone)
        keptStatements().remove(connectionName);
}

} // namespace platform
