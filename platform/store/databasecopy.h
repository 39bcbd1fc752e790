#pragma once

#include <QString>
#include <QStringList>

namespace platform {

class Storage;

// Moves a station's records from its SQLite file into an empty PostgreSQL
// database: every table, the history and the sessions included, with the
// ids kept, so that nothing that names a record changes. The whole copy is
// one transaction on the target; afterwards the rows of every table are
// counted on both sides.
class DatabaseCopy
{
public:
    // Copies `from` (open) into `to` (open, with the latest schema, and
    // without a station). Throws std::runtime_error when the target is not
    // empty, a row cannot be copied or the counts differ; on success returns
    // one line per table ("trades: 1234").
    static QStringList copy(const Storage& from, const Storage& to);

    // The tables in an order in which every reference finds its row.
    static QStringList tables();
};

} // namespace platform
