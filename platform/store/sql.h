#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <memory>

#include <stdexcept>

namespace platform {

// A prepared statement with positional "?" parameters on one connection.
// Values only ever reach the database as bound parameters. The text is
// SQLite's; the connection's Dialect translates it for another engine. Every failure throws
// Sql::Error, so that a request's transaction is rolled back as a whole.
//
// Statements are prepared once per connection and kept by their text: an Sql
// borrows the kept statement and resets it when it goes, so the next request
// that runs the same text skips SQLite's parser. A statement that is in use
// (the same text twice at once) is prepared anew for the second user.
class Sql
{
public:
    class Error : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    Sql(const QSqlDatabase& db, const QString& statement);
    ~Sql();

    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;

    // Binds the next "?". An empty text binds '' (never NULL); an invalid
    // or typed-null QVariant of another type binds NULL.
    Sql& bind(const QVariant& value);
    Sql& exec();
    bool next();

    QVariant value(int column) const;
    QString text(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    bool isNull(int column) const;

    qint64 lastInsertId() const;
    int rowsAffected() const;

    // Runs a statement without parameters and results (pragmas, DDL, BEGIN).
    static void run(const QSqlDatabase& db, const QString& statement);
    // The first column of the first row, or `fallback` when there is none.
    static QVariant scalar(const QSqlDatabase& db, const QString& statement, const QVariantList& params = {},
        const QVariant& fallback = {});

    // Drops the statements kept for the connection `connectionName` on this
    // thread; called before the connection is closed.
    static void releaseStatements(const QString& connectionName);

private:
    struct Kept;
    using KeptByText = QHash<QString, std::shared_ptr<Kept>>;
    // This thread's kept statements by connection name, then by text. A
    // connection belongs to the thread that opened it, so no lock is needed.
    static QHash<QString, KeptByText>& keptStatements();
    void prepareOwn(const QSqlDatabase& db);

    // Made only when no kept statement could be borrowed: even an empty
    // QSqlQuery looks up the default connection.
    std::unique_ptr<QSqlQuery> own;
    QSqlQuery* query = nullptr;
    std::shared_ptr<Kept> borrowed;
    int bound = 0;
    QString statementText;
    // The connection, kept only where the id of a new row has to be asked
    // for with a statement of its own (PostgreSQL).
    QSqlDatabase ownDatabase;
};

} // namespace platform
