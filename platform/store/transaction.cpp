#include "transaction.h"

#include "dialect.h"
#include "platformmetrics.h"
#include "sql.h"

#include <QHash>

#include <chrono>
#include <memory>

namespace platform {

namespace {

// The lock of the writers of one database file, by its path.
std::timed_mutex& writersOf(const QString& path)
{
    static std::mutex guard;
    static QHash<QString, std::shared_ptr<std::timed_mutex>> locks;
    const std::lock_guard<std::mutex> lock(guard);
    std::shared_ptr<std::timed_mutex>& found = locks[path];
    if (!found)
        found = std::make_shared<std::timed_mutex>();
    return *found;
}

// As long as the SQLite connections' busy timeout (see Storage).
const std::chrono::seconds longestTurnWait(10);

} // namespace

Transaction::Transaction(const QSqlDatabase& database, Mode mode)
    : db(database)
{
    const auto asked = std::chrono::steady_clock::now();
    if (mode == Write) {
        writeTurn = std::unique_lock<std::timed_mutex>(writersOf(db.databaseName()), std::defer_lock);
        if (!writeTurn.try_lock_for(longestTurnWait))
            writeTurn.release();
    }
    Dialect::of(db).begin(db, mode == Write);
    open = true;
    if (mode == Write)
        PlatformMetrics::instance().writeLockWaited(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
}

Transaction::~Transaction()
{
    if (open) {
        try {
            rollback();
        } catch (const Sql::Error&) {
            // The connection is unusable; SQLite drops the transaction with it.
        }
    }
}

void Transaction::commit()
{
    // A failed COMMIT leaves the transaction open: the destructor rolls it
    // back, so the connection is clean for the next request.
    Sql::run(db, QStringLiteral("COMMIT"));
    open = false;
    if (writeTurn.owns_lock())
        writeTurn.unlock();
}

void Transaction::rollback()
{
    open = false;
    Sql::run(db, QStringLiteral("ROLLBACK"));
    if (writeTurn.owns_lock())
        writeTurn.unlock();
}

} // namespace platform
