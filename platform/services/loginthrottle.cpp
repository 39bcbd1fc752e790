#include "loginthrottle.h"

#include "sql.h"
#include "transaction.h"

#include <QDateTime>

#include <algorithm>

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
}

qint64 LoginThrottle::now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void LoginThrottle::setLogSink(std::function<void(const QString&)> sink)
{
    std::lock_guard<std::mutex> lock(mutex);
    logSink = std::move(sink);
}

QString LoginThrottle::label(Scope scope)
{
    switch (scope) {
    case Addresses:
        return QStringLiteral("client addresses");
    case Pairs:
        return QStringLiteral("user names by address");
    case Names:
        break;
    }
    return QStringLiteral("user names");
}

LoginThrottle::Entry LoginThrottle::find(const QSqlDatabase& db, Scope scope, const QString& key)
{
    Entry entry;
    Sql q(db, QStringLiteral("SELECT failures, last_failure FROM login_failures WHERE scope = ? AND key = ?"));
    q.bind(int(scope)).bind(key).exec();
    if (q.next()) {
        entry.found = true;
        entry.failures = int(q.integer(0));
        entry.lastFailureMs = q.integer(1);
    }
    return entry;
}

bool LoginThrottle::isForgotten(const Entry& entry, qint64 nowMs) const
{
    return !entry.found || nowMs - entry.lastFailureMs >= policy.lockMs;
}

qint64 LoginThrottle::waitFor(const Entry& entry, int factor, bool growing, qint64 nowMs) const
{
    if (isForgotten(entry, nowMs))
        return 0;
    // Another process's clock may be a little behind: a failure from the
    // future counts as just now.
    const qint64 since = std::max<qint64>(0, nowMs - entry.lastFailureMs);
    if (!growing && entry.failures >= policy.lockFailures * factor)
        return policy.lockMs - since;
    const int over = entry.failures - policy.freeFailures * factor;
    if (over < 0)
        return 0;
    const qint64 cap = growing ? policy.lockMs : policy.maxDelayMs;
    const qint64 delay = std::min(cap, policy.firstDelayMs << std::min(over, 20));
    return std::max<qint64>(0, delay - since);
}

int LoginThrottle::heldEntries(const QSqlDatabase& db, Scope scope, int factor, qint64 nowMs) const
{
    return Sql::scalar(db,
        QStringLiteral(
            "SELECT count(*) FROM login_failures WHERE scope = ? AND last_failure > ? AND failures + 1 >= ?"),
        { int(scope), nowMs - policy.lockMs, policy.freeFailures * factor }, 0)
        .toInt();
}

LoginThrottle::Verdict LoginThrottle::verdict(
    const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const
{
    Verdict result;
    const auto consider = [&](qint64 wait, bool locked) {
        if (wait > result.waitMs)
            result = { wait, locked };
    };
    const Entry byAddress = find(db, Addresses, address);
    if (byAddress.found)
        consider(waitFor(byAddress, policy.addressFactor, false, nowMs),
            byAddress.failures >= policy.lockFailures * policy.addressFactor);
    const QString pair = pairKey(name, address);
    const Entry byPair = find(db, Pairs, pair);
    const bool failedHere = byPair.failures > 0 && !isForgotten(byPair, nowMs);
    if (failedHere)
        consider(waitFor(byPair, 1, false, nowMs), byPair.failures >= policy.lockFailures);
    // The name's failures from everywhere hold up every address but those
    // it signed in from and has not failed from since.
    const Entry byName = find(db, Names, name);
    if (failedHere || !isKnown(db, name, address, nowMs)) {
        const qint64 wait = waitFor(byName, 1, true, nowMs);
        consider(wait, wait > policy.maxDelayMs);
    }
    // A busy address does not get to start new entries in a full table.
    const bool busy = !isForgotten(byAddress, nowMs) && byAddress.failures >= policy.freeFailures;
    if (busy) {
        const bool full = (!byPair.found && heldEntries(db, Pairs, 1, nowMs) >= policy.maxEntries)
            || (!byName.found && heldEntries(db, Names, 1, nowMs) >= policy.maxEntries);
        if (full)
            consider(policy.firstDelayMs, false);
    }
    return result;
}

qint64 LoginThrottle::waitMs(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const
{
    return verdict(db, name, address, nowMs).waitMs;
}

bool LoginThrottle::isLocked(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const
{
    const Verdict v = verdict(db, name, address, nowMs);
    return v.waitMs > 0 && v.locked;
}

void LoginThrottle::record(
    const QSqlDatabase& db, Scope scope, const QString& key, const QString& name, int factor, qint64 nowMs)
{
    Entry entry = find(db, scope, key);
    if (!entry.found) {
        const int size
            = Sql::scalar(db, QStringLiteral("SELECT count(*) FROM login_failures WHERE scope = ?"), { int(scope) }, 0)
                  .toInt();
        if (size >= policy.maxEntries) {
            // Only entries that hold nobody up and never would on their next
            // failure alone may go: a lock or a delay is never lifted to
            // make room.
            Sql drop(db,
                QStringLiteral(
                    "DELETE FROM login_failures WHERE scope = ? AND (last_failure <= ? OR failures + 1 < ?)"));
            drop.bind(int(scope)).bind(nowMs - policy.lockMs).bind(policy.freeFailures * factor).exec();
            if (heldEntries(db, scope, factor, nowMs) >= policy.maxEntries) {
                std::lock_guard<std::mutex> lock(mutex);
                qint64& notice = fullNoticeMs[scope];
                if (notice < 0 || nowMs - notice >= 60000) {
                    notice = nowMs;
                    if (logSink)
                        logSink(QStringLiteral("sign-in throttle: the table of %1 is full (%2 entries); new failures "
                                               "from busy addresses are refused")
                                    .arg(label(scope))
                                    .arg(policy.maxEntries));
                }
                return;
            }
        }
    }
    if (isForgotten(entry, nowMs))
        entry.failures = 0;
    Sql upsert(db,
        QStringLiteral("INSERT INTO login_failures (scope, key, name, failures, last_failure) VALUES (?, ?, ?, ?, ?)"
                       " ON CONFLICT (scope, key) DO UPDATE"
                       " SET failures = excluded.failures, last_failure = excluded.last_failure"));
    upsert.bind(int(scope))
        .bind(key)
        .bind(name)
        .bind(std::min(entry.failures + 1, 1000000))
        .bind(std::max(nowMs, entry.lastFailureMs))
        .exec();
    std::lock_guard<std::mutex> lock(mutex);
    fullNoticeMs[scope] = -1;
}

bool LoginThrottle::isKnown(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs) const
{
    return Sql::scalar(db,
               QStringLiteral("SELECT count(*) FROM login_known WHERE name = ? AND address = ? AND last_success > ?"),
               { name, address, nowMs - policy.knownMs }, 0)
               .toInt()
        > 0;
}

void LoginThrottle::countFailure(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs)
{
    // Forgotten failures count for nothing; their rows go.
    Sql prune(db, QStringLiteral("DELETE FROM login_failures WHERE last_failure <= ?"));
    prune.bind(nowMs - policy.lockMs).exec();
    record(db, Addresses, address, QString(), policy.addressFactor, nowMs);
    record(db, Pairs, pairKey(name, address), name, 1, nowMs);
    record(db, Names, name, name, 1, nowMs);
}

void LoginThrottle::recordFailure(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs)
{
    // The write lock keeps another process's failure from being counted
    // over between reading an entry and writing it back.
    Transaction transaction(db, Transaction::Write);
    countFailure(db, name, address, nowMs);
    transaction.commit();
}

LoginThrottle::Verdict LoginThrottle::attempt(
    const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs)
{
    // Looking and counting under one write lock: of guesses sent at once,
    // from one process or several, each sees the ones before it counted.
    Transaction transaction(db, Transaction::Write);
    const Verdict result = verdict(db, name, address, nowMs);
    if (result.waitMs <= 0)
        countFailure(db, name, address, nowMs);
    transaction.commit();
    return result;
}

void LoginThrottle::succeeded(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs)
{
    Transaction transaction(db, Transaction::Write);
    // The guess counted in advance: the address's and the name's count
    // lose it again (the pair's row goes as a whole below).
    for (const auto& [scope, key] : { std::make_pair(Addresses, address), std::make_pair(Names, name) }) {
        Sql undo(db,
            QStringLiteral(
                "UPDATE login_failures SET failures = failures - 1 WHERE scope = ? AND key = ? AND failures > 0"));
        undo.bind(int(scope)).bind(key).exec();
    }
    Sql empty(db, QStringLiteral("DELETE FROM login_failures WHERE failures <= 0"));
    empty.exec();
    rememberSuccess(db, name, address, nowMs);
    transaction.commit();
}

void LoginThrottle::recordSuccess(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs)
{
    Transaction transaction(db, Transaction::Write);
    rememberSuccess(db, name, address, nowMs);
    transaction.commit();
}

void LoginThrottle::rememberSuccess(const QSqlDatabase& db, const QString& name, const QString& address, qint64 nowMs)
{
    Sql forget(db, QStringLiteral("DELETE FROM login_failures WHERE scope = ? AND key = ?"));
    forget.bind(int(Pairs)).bind(pairKey(name, address)).exec();
    Sql known(db,
        QStringLiteral("INSERT INTO login_known (name, address, last_success) VALUES (?, ?, ?)"
                       " ON CONFLICT (name, address) DO UPDATE SET last_success = excluded.last_success"));
    known.bind(name).bind(address).bind(nowMs).exec();
    // Bounded: pairs not seen for long go, and past the bound the oldest.
    Sql stale(db, QStringLiteral("DELETE FROM login_known WHERE last_success <= ?"));
    stale.bind(nowMs - policy.knownMs).exec();
    if (Sql::scalar(db, QStringLiteral("SELECT count(*) FROM login_known"), {}, 0).toInt() > policy.maxKnown) {
        Sql oldest(db,
            QStringLiteral("DELETE FROM login_known WHERE last_success < (SELECT last_success FROM login_known"
                           " ORDER BY last_success DESC LIMIT 1 OFFSET ?)"));
        oldest.bind(policy.maxKnown - 1).exec();
    }
}

void LoginThrottle::forgetName(const QSqlDatabase& db, const QString& name)
{
    Transaction transaction(db, Transaction::Write);
    Sql forget(db, QStringLiteral("DELETE FROM login_failures WHERE name = ?"));
    forget.bind(name).exec();
    transaction.commit();
}

} // namespace platform
