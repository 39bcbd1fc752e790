#include "dialect.h"

#include "postgresdialect.h"
#include "sqlitedialect.h"

#include <QSqlDriver>

namespace platform {

const Dialect& Dialect::of(const QSqlDatabase& db)
{
    // The driver's type is compared rather than its name, which is a copy.
    return db.driver() && db.driver()->dbmsType() == QSqlDriver::PostgreSQL ? postgresql() : sqlite();
}

const Dialect& Dialect::sqlite()
{
    static const SqliteDialect dialect;
    return dialect;
}

const Dialect& Dialect::postgresql()
{
    static const PostgresDialect dialect;
    return dialect;
}

} // namespace platform
