#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3_stmt;

namespace platform {

class JsonWriter;
class Sql;

// The rows of one query of a list that is asked for again and again, read
// column by column. On SQLite it steps the engine's own statement and takes
// each value where it lies (a text as the UTF-8 that the file holds), without
// QtSql's QVariant and QString per value; on another engine it reads through
// Sql. Either way every value is the one Sql gives: integer(), real() and
// isNull() as Sql's, and writeText() writes Sql::text() as a JSON string.
//
// Binding and failures are as with Sql (a null text binds '', a failure
// throws Sql::Error). Statements are prepared once per connection and kept
// by their text; one in use (the same text twice at once) is prepared anew
// for the second user.
class RowReader
{
public:
    RowReader(const QSqlDatabase& db, const QString& statement);
    ~RowReader();

    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // Binds the next "?".
    RowReader& bind(qint64 value);
    RowReader& bind(int value) { return bind(static_cast<qint64>(value)); }
    RowReader& bind(const QString& value);
    RowReader& exec();
    bool next();

    qint64 integer(int column) const;
    double real(int column) const;
    bool isNull(int column) const;
    void writeText(JsonWriter& json, int column) const;

    // Finalizes the statements kept for the connection `connectionName` on
    // this thread; called before the connection is closed.
    static void releaseStatements(const QString& connectionName);

private:
    struct Kept;
    struct Connection;
    // This thread's kept statements by connection name. A connection belongs
    // to the thread that opened it, so no lock is needed.
    static QHash<QString, Connection>& keptStatements();
    // The value as QtSql's SQLite driver makes it, for what the direct
    // readings do not cover.
    QVariant variant(int column) const;
    [[noreturn]] void fail(const char* what) const;

    std::unique_ptr<Sql> generic;
    sqlite3_stmt* statement = nullptr;
    std::shared_ptr<Kept> borrowed;
    bool own = false;
    int bound = 0;
    QString statementText;
};

} // namespace platform
