#include "loginthrottle.h"

#include <algorithm>
#include <chrono>

namespace platform {

LoginThrottle::LoginThrottle()
    : LoginThrottle(Policy())
{
}

LoginThrottle::LoginThrottle(const Policy& chosen)
    : policy(chosen)
{
}

qint64 LoginThrottle::now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 LoginThrottle::waitFor(const Entry& entry, int factor, qint64 nowMs) const
{
    const qint64 since = nowMs - entry.lastFailureMs;
    if (entry.failures >= policy.lockFailures * factor)
        return std::max<qint64>(0, policy.lockMs - since);
    const int over = entry.failures - policy.freeFailures * factor;
    if (over < 0)
        return 0;
    const qint64 delay = std::min(policy.maxDelayMs, policy.firstDelayMs << std::min(over, 20));
    return std::max<qint64>(0, delay - since);
}

qint64 LoginThrottle::waitMs(const QString& name, const QString& address, qint64 nowMs) const
{
    std::lock_guard<std::mutex> lock(mutex);
    qint64 wait = 0;
    const auto byName = names.constFind(name);
    if (byName != names.constEnd())
        wait = waitFor(byName.value(), 1, nowMs);
    const auto byAddress = addresses.constFind(address);
    if (byAddress != addresses.constEnd())
        wait = std::max(wait, waitFor(byAddress.value(), policy.addressFactor, nowMs));
    return wait;
}

bool LoginThrottle::isLocked(const QString& name, const QString& address, qint64 nowMs) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto byName = names.constFind(name);
    const auto byAddress = addresses.constFind(address);
    return (byName != names.constEnd() && byName->failures >= policy.lockFailures
               && nowMs - byName->lastFailureMs < policy.lockMs)
        || (byAddress != addresses.constEnd() && byAddress->failures >= policy.lockFailures * policy.addressFactor
            && nowMs - byAddress->lastFailureMs < policy.lockMs);
}

void LoginThrottle::record(QHash<QString, Entry>& table, const QString& key, qint64 nowMs)
{
    auto it = table.find(key);
    if (it != table.end() && nowMs - it->lastFailureMs >= policy.lockMs)
        it->failures = 0; // the earlier failures are forgotten
    if (it == table.end()) {
        if (table.size() >= policy.maxEntries) {
            // Drop what is forgotten anyway; when that is not enough, the
            // entry whose last failure is the oldest.
            for (auto old = table.begin(); old != table.end();)
                old = nowMs - old->lastFailureMs >= policy.lockMs ? table.erase(old) : std::next(old);
            if (table.size() >= policy.maxEntries) {
                const auto oldest = std::min_element(table.begin(), table.end(),
                    [](const Entry& a, const Entry& b) { return a.lastFailureMs < b.lastFailureMs; });
                table.erase(oldest);
            }
        }
        it = table.insert(key, Entry());
    }
    it->failures = std::min(it->failures + 1, 1000000);
    it->lastFailureMs = nowMs;
}

void LoginThrottle::recordFailure(const QString& name, const QString& address, qint64 nowMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    record(names, name, nowMs);
    record(addresses, address, nowMs);
}

void LoginThrottle::recordSuccess(const QString& name)
{
    std::lock_guard<std::mutex> lock(mutex);
    names.remove(name);
}

} // namespace platform
