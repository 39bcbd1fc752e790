#pragma once

#include <QHash>
#include <QString>

#include <mutex>

namespace platform {

// Counts writes by key (a station and a kind of write, or a session) and says
// whether one more is allowed: at most `perMinute` in any minute (a bucket
// that refills evenly, so a burst of that many is fine) and at most `perDay`
// in one calendar day. Counts live in memory: a restart starts the day's
// count afresh. Entries that hold nothing back are dropped when the table
// grows, so its size follows the active keys. Safe to use from several
// threads.
class WriteQuota
{
public:
    struct Limit
    {
        int perMinute = 0; // 0: no limit
        int perDay = 0; // 0: no limit
    };
    enum class Verdict { Allowed, TooFast, DayFull };

    // Takes one write for `key` when the limits allow it. `nowMs` is a
    // monotonic clock's reading, `day` a number for the current calendar day.
    Verdict take(const QString& key, const Limit& limit, qint64 nowMs, qint64 day);
    // Gives back a write taken for a request that was then refused.
    void giveBack(const QString& key, const Limit& limit, qint64 day);

    int size() const;

private:
    struct Entry
    {
        double tokens = 0; // writes left in the current minute's bucket
        qint64 refilledMs = 0;
        qint64 day = 0;
        int today = 0;
        Limit limit; // the one it was last taken under
    };

    void refill(Entry& entry, const Limit& limit, qint64 nowMs) const;
    void dropIdle(qint64 nowMs, qint64 day);

    mutable std::mutex mutex;
    QHash<QString, Entry> entries;
};

} // namespace platform
