#pragma once

#include <QSqlDatabase>

#include <mutex>

namespace platform {

// One transaction on a connection. A write transaction takes the database's
// write lock at its start (SQLite: BEGIN IMMEDIATE; PostgreSQL: an advisory
// lock, see Dialect::begin), so concurrent writers, of any process, wait for
// each other instead of failing when a read lock would have to be upgraded.
// Whatever is not committed is rolled back when the object goes.
//
// Writers of one database within this process also take turns on a lock before
// the database's lock: a waiting writer is woken the moment the lock is free,
// where SQLite's busy handler would poll with sleeps of up to 100 ms. A turn
// not had within the busy timeout is not waited for any longer; the database's
// own waiting then decides.
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
    std::unique_lock<std::timed_mutex> writeTurn;
    bool open = false;
};

} // namespace platform
