#pragma once

#include <QSqlDatabase>

namespace platform {

// One SQLite transaction on a connection. A write transaction takes the write
// lock at its start (BEGIN IMMEDIATE), so concurrent writers wait for each other
// through the busy timeout instead of failing when a read lock would have to be
// upgraded. Whatever is not committed is rolled back when the object goes.
class Transaction
{
public:
    enum Mode { Read, Write };

    Transaction(const QSqlDatabase& db, Mode mode);
    ~Transaction();

    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    void rollback();

private:
    QSqlDatabase db;
    bool open = false;
};

} // namespace platform
