#pragma once

#include <QHash>
#include <QString>

#include <mutex>

namespace platform {

// Counts failed password checks per user name and per client address and
// says how long the next attempt has to wait. A few failures are free; after
// them each attempt waits longer (doubling), and after more the name or the
// address is locked for a while. While an attempt has to wait, the password is
// not even checked, so a correct one does not get through either. Failures are
// forgotten a while after the last one, and the tables keep a bounded number
// of entries. Safe to use from several threads.
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
        // An address stands for everyone behind it: it gets this many times
        // the failures of one name.
        int addressFactor = 4;
        int maxEntries = 10000;
    };

    LoginThrottle();
    explicit LoginThrottle(const Policy& policy);

    // Milliseconds until `name` may be tried from `address` again; 0: now.
    // `nowMs` is a monotonic clock's reading.
    qint64 waitMs(const QString& name, const QString& address, qint64 nowMs) const;
    // True when that wait is a lock rather than a delay.
    bool isLocked(const QString& name, const QString& address, qint64 nowMs) const;
    void recordFailure(const QString& name, const QString& address, qint64 nowMs);
    // A correct password forgets the name's failures (not the address's).
    void recordSuccess(const QString& name);

    // The monotonic clock in milliseconds.
    static qint64 now();

private:
    struct Entry
    {
        int failures = 0;
        qint64 lastFailureMs = 0;
    };

    qint64 waitFor(const Entry& entry, int factor, qint64 nowMs) const;
    void record(QHash<QString, Entry>& table, const QString& key, qint64 nowMs);

    Policy policy;
    mutable std::mutex mutex;
    QHash<QString, Entry> names;
    QHash<QString, Entry> addresses;
};

} // namespace platform
