#pragma once

#include <QSqlDatabase>
#include <QString>

namespace platform {

// Counts writes by key (a station and a kind of write, or a session) and says
// whether one more is allowed: at most `perMinute` in any minute (a bucket
// that refills evenly, so a burst of that many is fine) and at most `perDay`
// in one calendar day.
//
// The counts are rows of the database's table write_counts, taken inside the
// write's own transaction: every platform process on one database counts the
// same writes of a station or a session, and a write that is refused or fails
// counts nothing, as its transaction rolls back. Rows that hold nothing back
// are deleted when a new key comes, so the table follows the active keys.
class WriteQuota
{
public:
    struct Limit
    {
        int perMinute = 0; // 0: no limit
        int perDay = 0; // 0: no limit
    };
    enum class Verdict { Allowed, TooFast, DayFull };

    // Takes one write for `key` when the limits allow it, inside the caller's
    // write transaction on `db`. `nowMs` is the wall clock's milliseconds
    // (shared by the processes), `day` a number for the current calendar day.
    static Verdict take(const QSqlDatabase& db, const QString& key, const Limit& limit, qint64 nowMs, qint64 day);
};

} // namespace platform
