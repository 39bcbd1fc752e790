#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <stdexcept>

namespace platform {

// A prepared statement with positional "?" parameters on one connection.
// Values only ever reach SQLite as bound parameters. Every failure throws
// Sql::Error, so that a request's transaction is rolled back as a whole.
class Sql
{
public:
    class Error : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    Sql(const QSqlDatabase& db, const QString& statement);

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

private:
    QSqlQuery query;
    QString statementText;
};

} // namespace platform
