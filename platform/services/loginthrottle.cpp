#include "loginthrottle.h"

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

QString pairKey(const QString& name, const QString& address)
{
    return address + QLatin1Char('\n') + name;
}

} // namespace

LoginThrottle::LoginThrottle()
    : LoginThrottle(Policy())
{
}

LoginThrottle::LoginThrottle(const Policy& chosen)
    : policy(chosen)
{
    addresses.label = QStringLiteral("client addresses");
    pairs.label = QStringLiteral("user names by address");
    names.label = QStringLiteral("user names");
}

qint64 LoginThrottle::now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void LoginThrottle::setLogSink(std::function<void(const QString&)> sink)
{
    std::lock_guard<std::mutex> lock(mutex);
    logSink = std::move(sink);
}

bool LoginThrottle::isForgotten(const Entry& entry, qint64 nowMs) const
{
    return nowMs - entry.lastFailureMs >= policy.lockMs;
}

qint64 LoginThrottle::waitFor(const Entry& entry, int factor, bool growing, qint64 nowMs) const
{
    if (isForgotten(entry, nowMs))
        return 0;
    const qint64 since = nowMs - entry.lastFailureMs;
    if (!growing && entry.failures >= policy.lockFailures * factor)
        return policy.lockMs - since;
    const int over = entry.failures - policy.freeFailures * factor;
    if (over < 0)
        return 0;
    const qint64 cap = growing ? policy.lockMs : policy.maxDelayMs;
    const qint64 delay = std::min(cap, policy.firstDelayMs << std::min(over, 20));
    return std::max<qint64>(0, delay - since);
}

LoginThrottle::Verdict LoginThrottle::verdict(const QString& name, const QString& address, qint64 nowMs) const
{
    Verdict result;
    const auto consider = [&](qint64 wait, bool locked) {
        if (wait > result.waitMs)
            result = { wait, locked };
    };
    const Entry* byAddress = nullptr;
    const auto a = addresses.entries.constFind(address);
    if (a != addresses.entries.constEnd()) {
        byAddress = &a.value();
        consider(waitFor(*byAddress, policy.addressFactor, false, nowMs),
            byAddress->failures >= policy.lockFailures * policy.addressFactor);
    }
    const QString pair = pairKey(name, address);
    const auto p = pairs.entries.constFind(pair);
    const bool failedHere = p != pairs.entries.constEnd() && p->failures > 0 && !isForgotten(p.value(), nowMs);
    if (failedHere)
        consider(waitFor(p.value(), 1, false, nowMs), p->failures >= policy.lockFailures);
    if (failedHere) {
        const auto n = names.entries.constFind(name);
        if (n != names.entries.constEnd()) {
            const qint64 wait = waitFor(n.value(), 1, true, nowMs);
            consider(wait, wait > policy.maxDelayMs);
        }
    }
    // A busy address does not get to start new entries in a full table.
    const bool busy = byAddress && !isForgotten(*byAddress, nowMs) && byAddress->failures >= policy.freeFailures;
    if (busy && (isFullFor(pairs, pair) || isFullFor(names, name)))
        consider(policy.firstDelayMs, false);
    return result;
}

qint64 LoginThrottle::waitMs(const QString& name, const QString& address, qint64 nowMs) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return verdict(name, address, nowMs).waitMs;
}

bool LoginThrottle::isLocked(const QString& name, const QString& address, qint64 nowMs) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const Verdict v = verdict(name, address, nowMs);
    return v.waitMs > 0 && v.locked;
}

bool LoginThrottle::isFullFor(const Table& table, const QString& key) const
{
    return table.fullNoticeMs >= 0 && table.entries.size() >= policy.maxEntries && !table.entries.contains(key);
}

bool LoginThrottle::makeRoom(Table& table, const QString& key, int factor, qint64 nowMs)
{
    if (table.entries.size() < policy.maxEntries || table.entries.contains(key))
        return true;
    // Only entries that hold nobody up and never would on their next failure
    // alone may go: the forgotten ones and those still within their free
    // failures. A lock or a delay is never lifted to make room.
    for (auto it = table.entries.begin(); it != table.entries.end();) {
        const bool idle = isForgotten(it.value(), nowMs) || it->failures + 1 < policy.freeFailures * factor;
        it = idle ? table.entries.erase(it) : std::next(it);
    }
    return table.entries.size() < policy.maxEntries;
}

void LoginThrottle::record(Table& table, const QString& key, int factor, qint64 nowMs)
{
    if (!makeRoom(table, key, factor, nowMs)) {
        if (table.fullNoticeMs < 0 || nowMs - table.fullNoticeMs >= 60000) {
            table.fullNoticeMs = nowMs;
            if (logSink)
                logSink(QStringLiteral("sign-in throttle: the table of %1 is full (%2 entries); new failures from "
                                       "busy addresses are refused")
                            .arg(table.label)
                            .arg(policy.maxEntries));
        }
        return;
    }
    if (table.entries.size() < policy.maxEntries)
        table.fullNoticeMs = -1;
    Entry& entry = table.entries[key];
    if (isForgotten(entry, nowMs))
        entry.failures = 0;
    entry.failures = std::min(entry.failures + 1, 1000000);
    entry.lastFailureMs = nowMs;
}

void LoginThrottle::recordFailure(const QString& name, const QString& address, qint64 nowMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    record(addresses, address, policy.addressFactor, nowMs);
    record(pairs, pairKey(name, address), 1, nowMs);
    record(names, name, 1, nowMs);
}

void LoginThrottle::recordSuccess(const QString& name, const QString& address)
{
    std::lock_guard<std::mutex> lock(mutex);
    pairs.entries.remove(pairKey(name, address));
}

} // namespace platform
