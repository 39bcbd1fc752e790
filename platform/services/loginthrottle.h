#pragma once

#include <QHash>
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
//   (up to the lock's length), but only addresses that have failed on that
//   name wait for it: the right password from an address without failures on
//   it gets through, so that nobody can lock an account for everyone.
//
// While an attempt has to wait, the password is not even checked. Failures
// are forgotten a while after the last one. Each table keeps a bounded number
// of entries; an entry that holds anybody up is never dropped for room. When
// a table is full of such entries, new failures from busy addresses are
// refused instead (they wait), and the log says so. Safe to use from several
// threads.
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
    };

    LoginThrottle();
    explicit LoginThrottle(const Policy& policy);

    // Milliseconds until `name` may be tried from `address` again; 0: now.
    // `nowMs` is a monotonic clock's reading.
    qint64 waitMs(const QString& name, const QString& address, qint64 nowMs) const;
    // True when that wait is a lock rather than a short delay.
    bool isLocked(const QString& name, const QString& address, qint64 nowMs) const;
    void recordFailure(const QString& name, const QString& address, qint64 nowMs);
    // A correct password forgets the failures of the name from that address
    // (not the address's, nor the name's from elsewhere).
    void recordSuccess(const QString& name, const QString& address);

    // Where the notice of a full table goes; called under the throttle's lock.
    void setLogSink(std::function<void(const QString&)> sink);

    // The monotonic clock in milliseconds.
    static qint64 now();

private:
    struct Entry
    {
        int failures = 0;
        qint64 lastFailureMs = 0;
    };
    struct Table
    {
        QString label;
        QHash<QString, Entry> entries;
        qint64 fullNoticeMs = -1; // when the log last heard of it being full
    };
    struct Verdict
    {
        qint64 waitMs = 0;
        bool locked = false;
    };

    Verdict verdict(const QString& name, const QString& address, qint64 nowMs) const;
    // The wait that `entry` imposes, counting failures `factor` times as
    // generously; `growing`: no lock, the wait doubles up to the lock's length.
    qint64 waitFor(const Entry& entry, int factor, bool growing, qint64 nowMs) const;
    bool isForgotten(const Entry& entry, qint64 nowMs) const;
    // Whether `key` has or can get an entry in `table`, dropping entries
    // that hold nobody up to make room.
    bool makeRoom(Table& table, const QString& key, int factor, qint64 nowMs);
    bool isFullFor(const Table& table, const QString& key) const;
    void record(Table& table, const QString& key, int factor, qint64 nowMs);

    Policy policy;
    mutable std::mutex mutex;
    Table addresses;
    Table pairs; // by name and address
    Table names;
    std::function<void(const QString&)> logSink;
};

} // namespace platform
