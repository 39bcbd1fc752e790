#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <mutex>

namespace platform {

// Counts failed password checks and says how long the next attempt has to
// wait. Three tables count them: by client address, by user name from one
// address, and by user name from everywhere.
//
// - An address stands for everyone behind it: after a few failures each of
//   its attempts waits longer (doubling), after more it is locked for a while.
// - A name from one address is held up the same way, with a fourth of the
//   address's failures; other addresses are not held up by it.
// - A name from everywhere gets a wait that keeps growing with its failures
//   (up to the lock's length). Every address waits for it that has failed on
//   that name or has never signed in with it: guessing from ever new
//   addresses gains nothing, while the right password from an address that
//   signed in with the name before (and has not failed on it since) gets
//   through, so that nobody can lock an account for its owner.
//
// While an attempt has to wait, the password is not even checked. A guess is
// counted as failed before it is checked (attempt()) and taken back once it
// proved right (succeeded()), so that guesses sent at once are checked no
// more often than one after the other would be. Failures are forgotten a
// while after the last one, and their rows are then deleted; an address
// stays known for a name for a while after its last sign-in.
//
// The counts are rows of the database's table login_failures, so every
// platform process on one database counts the same failures; times are the
// wall clock's milliseconds, which all of them share. Each table keeps a
// bounded number of entries; an entry that holds anybody up is never dropped
// for room. When a table is full of such entries, new failures from busy
// addresses are refused instead (they wait), and the log says so.
//
// Each call takes the connection of the calling thread and runs outside any
// transaction of the caller: a failure is recorded in a write transaction of
// its own.
class LoginThrottle
{
public:
    struct Policy
    {
        int freeFailures = 5;
        int lockFailures = 10;
        qint64 firstDelayMs = 5000;
        qint64 maxDelayMs = 60000;
        qint64 lockMs = 15 * 60 * 1000;
        // An address gets this many times the failures of one name.
        int addressFactor = 4;
        int maxEntries = 10000;
        // How long an address stays known for a name after its last
        // sign-in, and how many known pairs are kept at most (the oldest go).
        qint64 knownMs = 90LL * 24 * 3600 * 1000;
        int maxKnown = 10000;
    };

    LoginThrottle();
    explicit LoginThrottle(const Policy& policy);

    // Whether `name` may be tried from `address` now, read in one look at
    // the counts: the milliseconds to wait (0: now), and whether that wait is
    // a lock rather than a short delay.
    struct Verdict
    {
        qint64 waitMs = 0;
        bool locked = false;
    };
    Verdict verdict(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const;
    // Milliseconds until `name` may be tried from `address` again; 0: now.
    // `nowMs` is the wall clock's reading (see now()).
    qint64 waitMs(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const;
    // True when that wait is a lock rather than a short delay.
    bool isLocked(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const;
    // One guess at `name`'s password from `address`, in one write
    // transaction: when it need not wait it is counted as a failure right
    // away, before the password is checked; either way the verdict comes
    // back. A guess that proves right is taken back by succeeded().
    Verdict attempt(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs);
    // The guess that attempt() counted was right: it is taken back, and
    // recordSuccess() follows.
    void succeeded(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs);
    void recordFailure(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs);
    // A correct password forgets the failures of the name from that address
    // (not the address's, nor the name's from elsewhere), and the address is
    // known for the name from then on.
    void recordSuccess(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs);
    // Forgets every failure counted against `name`, from any address (not
    // the addresses' own counts): its password was just set anew by the
    // station's administrator.
    static void forgetName(const QSqlDatabase& db, const QString& name);

    // Where the notice of a full table goes.
    void setLogSink(std::function<void(const QString&)> sink);

    // Milliseconds since the epoch: the processes on one database agree on
    // it, where a monotonic clock is each machine's own.
    static qint64 now();

private:
    // The tables, as the rows' scope.
    enum Scope { Addresses = 0, Pairs = 1, Names = 2 };
    struct Entry
    {
        bool found = false;
        int failures = 0;
        qint64 lastFailureMs = 0;
    };
    // The wait that `entry` imposes, counting failures `factor` times as
    // generously; `growing`: no lock, the wait doubles up to the lock's length.
    qint64 waitFor(const Entry& entry, int factor, bool growing, qint64 nowMs) const;
    bool isForgotten(const Entry& entry, qint64 nowMs) const;
    // How many entries of `scope` hold somebody up or would on their next
    // failure: those that no room is ever made by dropping.
    int heldEntries(const QSqlDatabase& db, Scope scope, int factor, qint64 nowMs) const;
    // `name`: the user name the row counts against, '' for an address's.
    void record(const QSqlDatabase& db, Scope scope, const QString& key, const QString& name, int factor, qint64 nowMs);
    // One failure in each table, inside the caller's write transaction;
    // forgotten failures go first.
    void countFailure(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs);
    // The same as recordSuccess(), inside the caller's write transaction.
    void rememberSuccess(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs);
    bool isKnown(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const;
    static Entry find(const QSqlDatabase& db, Scope scope, const QString& key);
    static QString label(Scope scope);

    Policy policy;
    // Guards what follows: this process's notices of full tables.
    mutable std::mutex mutex;
    qint64 fullNoticeMs[3] = { -1, -1, -1 };
    std::function<void(const QString&)> logSink;
};

} // namespace platform
