#pragma once

#include "admincommands.h"

#include <QString>
#include <QStringList>

class QDateTime;

namespace platform {

struct DatabaseUrl;

// The commands that copy the SQLite database and put a copy back:
//   backup [--keep N] FILE   a checked copy while the servers run; a FILE
//                            that is a folder (or ends with "/") gets a copy
//                            named after the time, and --keep N then removes
//                            all but the N newest copies there
//   restore FILE             puts a copy in the database's place; refused
//                            while a platform serves the database
// They run before the database is opened: a restore may find none and must
// not make one. On PostgreSQL both refuse: its server keeps the copies.
class BackupCommands
{
public:
    static QStringList names();
    static QString helpText();

    // Runs `command` (its name first) on `database`. Returns the exit status:
    // 0 when done, 1 when refused or failed, 2 for a bad command line.
    static int run(const QStringList& command, const DatabaseUrl& database, const AdminCommands::Printer& out,
        const AdminCommands::Printer& err);

    // The name of a copy made in a folder at `time`: platform-yyyyMMdd-HHmmss.db.
    static QString copyName(const QDateTime& time);
};

} // namespace platform
