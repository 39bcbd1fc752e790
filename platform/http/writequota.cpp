#include "writequota.h"

#include "sql.h"

#include <algorithm>

namespace platform {

WriteQuota::Verdict WriteQuota::take(
    const QSqlDatabase& db, const QString& key, const Limit& limit, qint64 nowMs, qint64 day)
{
    if (limit.perMinute <= 0 && limit.perDay <= 0)
        return Verdict::Allowed;
    double tokens = limit.perMinute;
    qint64 refilledMs = nowMs;
    int today = 0;
    {
        Sql q(db, QStringLiteral("SELECT tokens, refilled, day, today FROM write_counts WHERE key = ?"));
        q.bind(key).exec();
        if (q.next()) {
            // Another process's clock may be a little behind: no refill for
            // a time before the last one.
            // A process without a rate limit leaves the bucket full
            // (stored as -1) rather than empty for the processes with one.
            const double gained = double(std::max<qint64>(0, nowMs - q.integer(1))) * limit.perMinute / 60000.0;
            const double stored = q.real(0);
            tokens = stored < 0 ? limit.perMinute : std::min<double>(limit.perMinute, stored + gained);
            refilledMs = std::max(nowMs, q.integer(1));
            today = q.integer(2) == day ? int(q.integer(3)) : 0;
        } else {
            // Idle: the bucket is full again (a minute without a write fills
            // any), and the row counts nothing a cap of today needs.
            Sql drop(db, QStringLiteral("DELETE FROM write_counts WHERE refilled <= ? AND (day <> ? OR capped = 0)"));
            drop.bind(nowMs - 60000).bind(day).exec();
        }
    }
    if (limit.perDay > 0 && today >= limit.perDay)
        return Verdict::DayFull;
    if (limit.perMinute > 0 && tokens < 1)
        return Verdict::TooFast;
    if (limit.perMinute > 0)
        tokens -= 1;
    Sql upsert(db,
        QStringLiteral("INSERT INTO write_counts (key, tokens, refilled, day, today, capped) VALUES (?, ?, ?, ?, ?, ?)"
                       " ON CONFLICT (key) DO UPDATE SET tokens = excluded.tokens, refilled = excluded.refilled,"
                       " day = excluded.day, today = excluded.today, capped = excluded.capped"));
    upsert.bind(key).bind(limit.perMinute > 0 ? tokens : -1.0).bind(refilledMs).bind(day).bind(today + 1).bind(limit.perDay > 0 ? 1 : 0).exec();
    return Verdict::Allowed;
}

} // namespace platform
