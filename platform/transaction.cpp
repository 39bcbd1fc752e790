#include "transaction.h"

#include "sql.h"

namespace platform {

Transaction::Transaction(const QSqlDatabase& database, Mode mode)
    : db(database)
{
    Sql::run(db, mode == Write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    open = true;
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
}

void Transaction::rollback()
{
    open = false;
    Sql::run(db, QStringLiteral("ROLLBACK"));
}

} // namespace platform
