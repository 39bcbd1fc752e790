#include "rowreader.h"

#include "jsonwriter.h"
#include "sql.h"

#include <QHash>
#include <QSqlDriver>

#include <sqlite3.h>

namespace platform {

namespace {

// More distinct texts than this on one connection are prepared per use.
const int maxKeptPerConnection = 32;

// Set once this thread's kept statements are gone (see Sql's).
thread_local bool keptStatementsGone = false;

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QSqlDriver* driver = db.driver();
    const QVariant handle = driver ? driver->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

} // namespace

struct RowReader::Kept
{
    sqlite3_stmt* statement = nullptr;
    bool busy = false;

    Kept() = default;
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;
    ~Kept() { sqlite3_finalize(statement); }
};

struct RowReader::Connection
{
    sqlite3* handle = nullptr;
    QHash<QString, std::shared_ptr<Kept>> byText;
};

QHash<QString, RowReader::Connection>& RowReader::keptStatements()
{
    // Made after the thread's first connection, so it goes before the
    // thread's connections close.
    struct Holder
    {
        QHash<QString, Connection> byConnection;
        ~Holder() { keptStatementsGone = true; }
    };
    thread_local Holder holder;
    return holder.byConnection;
}

RowReader::RowReader(const QSqlDatabase& db, const QString& statement)
    : statementText(statement)
{
    if (keptStatementsGone) {
        generic = std::make_unique<Sql>(db, statement);
        return;
    }
    auto& byConnection = keptStatements();
    auto found = byConnection.find(db.connectionName());
    if (found == byConnection.end()) {
        sqlite3* handle = sqliteHandle(db);
        if (!handle) {
            generic = std::make_unique<Sql>(db, statement);
            return;
        }
        found = byConnection.insert(db.connectionName(), Connection { handle, {} });
    }
    Connection& connection = found.value();
    const auto kept = connection.byText.constFind(statement);
    if (kept != connection.byText.constEnd() && !kept.value()->busy) {
        borrowed = kept.value();
        borrowed->busy = true;
        this->statement = borrowed->statement;
        return;
    }
    const QByteArray text = statement.toUtf8();
    const bool keep = kept == connection.byText.constEnd() && connection.byText.size() < maxKeptPerConnection;
    if (sqlite3_prepare_v3(connection.handle, text.constData(), text.size() + 1, keep ? SQLITE_PREPARE_PERSISTENT : 0,
            &this->statement, nullptr)
        != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(connection.handle));
        sqlite3_finalize(this->statement);
        throw Sql::Error(QStringLiteral("prepare failed: %1 [%2]").arg(message, statement).toStdString());
    }
    if (!keep) {
        own = true;
        return;
    }
    borrowed = std::make_shared<Kept>();
    borrowed->statement = this->statement;
    borrowed->busy = true;
    connection.byText.insert(statement, borrowed);
}

RowReader::~RowReader()
{
    if (!statement)
        return;
    if (own) {
        sqlite3_finalize(statement);
        return;
    }
    // Reset: a statement left stepping would hold its read snapshot.
    sqlite3_reset(statement);
    borrowed->busy = false;
}

void RowReader::fail(const char* what) const
{
    throw Sql::Error(
        QStringLiteral("%1 failed: %2 [%3]")
            .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement))), statementText)
            .toStdString());
}

RowReader& RowReader::bind(qint64 value)
{
    if (generic) {
        generic->bind(value);
        return *this;
    }
    if (sqlite3_bind_int64(statement, ++bound, value) != SQLITE_OK)
        fail("bind");
    return *this;
}

RowReader& RowReader::bind(const QString& value)
{
    if (generic) {
        generic->bind(value);
        return *this;
    }
    const QByteArray text = value.toUtf8();
    if (sqlite3_bind_text(statement, ++bound, text.constData(), text.size(), SQLITE_TRANSIENT) != SQLITE_OK)
        fail("bind");
    return *this;
}

RowReader& RowReader::exec()
{
    if (generic) {
        generic->exec();
        return *this;
    }
    // A kept statement still holds the values of its previous use; all of
    // them are bound anew, since the statement's parameters are positional.
    bound = 0;
    sqlite3_reset(statement);
    return *this;
}

bool RowReader::next()
{
    if (generic)
        return generic->next();
    const int code = sqlite3_step(statement);
    if (code == SQLITE_ROW)
        return true;
    if (code != SQLITE_DONE)
        fail("exec");
    return false;
}

QVariant RowReader::variant(int column) const
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_NULL:
        return QVariant(QVariant::String);
    case SQLITE_BLOB:
        return QByteArray(
            static_cast<const char*>(sqlite3_column_blob(statement, column)), sqlite3_column_bytes(statement, column));
    default:
        // SQLite's own conversion to UTF-16, as QtSql reads texts.
        const void* units = sqlite3_column_text16(statement, column);
        return QString(static_cast<const QChar*>(units), sqlite3_column_bytes16(statement, column) / 2);
    }
}

qint64 RowReader::integer(int column) const
{
    if (generic)
        return generic->integer(column);
    if (sqlite3_column_type(statement, column) == SQLITE_INTEGER)
        return sqlite3_column_int64(statement, column);
    return variant(column).toLongLong();
}

double RowReader::real(int column) const
{
    if (generic)
        return generic->real(column);
    const int type = sqlite3_column_type(statement, column);
    if (type == SQLITE_FLOAT || type == SQLITE_INTEGER)
        return sqlite3_column_double(statement, column);
    return variant(column).toDouble();
}

bool RowReader::isNull(int column) const
{
    if (generic)
        return generic->isNull(column);
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

void RowReader::writeText(JsonWriter& json, int column) const
{
    if (generic) {
        json.value(generic->text(column));
        return;
    }
    if (sqlite3_column_type(statement, column) == SQLITE_TEXT) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        if (json.valueFromUtf8(text, sqlite3_column_bytes(statement, column)))
            return;
    }
    json.value(variant(column).toString());
}

void RowReader::releaseStatements(const QString& connectionName)
{
    if (!keptStatementsGone)
        keptStatements().remove(connectionName);
}

} // namespace platform
