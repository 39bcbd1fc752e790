#include "writequota.h"

#include <algorithm>

namespace platform {

namespace {

// Beyond this many keys, the idle ones are dropped.
const int pruneAbove = 4096;

} // namespace

void WriteQuota::refill(Entry& entry, const Limit& limit, qint64 nowMs) const
{
    if (limit.perMinute <= 0)
        return;
    const double gained = static_cast<double>(nowMs - entry.refilledMs) * limit.perMinute / 60000.0;
    entry.tokens = std::min<double>(limit.perMinute, entry.tokens + std::max(0.0, gained));
    entry.refilledMs = nowMs;
}

WriteQuota::Verdict WriteQuota::take(const QString& key, const Limit& limit, qint64 nowMs, qint64 day)
{
    if (limit.perMinute <= 0 && limit.perDay <= 0)
        return Verdict::Allowed;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = entries.find(key);
    if (it == entries.end()) {
        if (entries.size() >= pruneAbove)
            dropIdle(nowMs, day);
        it = entries.insert(key, Entry { static_cast<double>(limit.perMinute), nowMs, day, 0, limit });
    }
    Entry& entry = it.value();
    entry.limit = limit;
    refill(entry, limit, nowMs);
    if (entry.day != day) {
        entry.day = day;
        entry.today = 0;
    }
    if (limit.perDay > 0 && entry.today >= limit.perDay)
        return Verdict::DayFull;
    if (limit.perMinute > 0 && entry.tokens < 1)
        return Verdict::TooFast;
    if (limit.perMinute > 0)
        entry.tokens -= 1;
    ++entry.today;
    return Verdict::Allowed;
}

void WriteQuota::giveBack(const QString& key, const Limit& limit, qint64 day)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = entries.find(key);
    if (it == entries.end() || it->day != day)
        return;
    if (limit.perMinute > 0)
        it->tokens = std::min<double>(limit.perMinute, it->tokens + 1);
    it->today = std::max(0, it->today - 1);
}

void WriteQuota::dropIdle(qint64 nowMs, qint64 day)
{
    // Idle: its bucket is full again, and it counts nothing for today that
    // a cap would need.
    for (auto it = entries.begin(); it != entries.end();) {
        const Limit& limit = it->limit;
        Entry probe = it.value();
        refill(probe, limit, nowMs);
        const bool bucketFull = limit.perMinute <= 0 || probe.tokens >= limit.perMinute;
        const bool dayDone = limit.perDay <= 0 || probe.day != day || probe.today == 0;
        it = bucketFull && dayDone ? entries.erase(it) : std::next(it);
    }
}

int WriteQuota::size() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return entries.size();
}

} // namespace platform
