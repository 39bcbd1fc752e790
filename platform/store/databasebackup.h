#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Copies of the platform's SQLite file taken while servers write to it, and
// their way back. A copy is made with SQLite's online backup in one step,
// inside a read transaction on the source, so it is the database as one
// snapshot saw it; the same snapshot's row counts (those of
// DatabaseCopy::tables()) are checked against the copy, and so is
// PRAGMA integrity_check. The copy is a file on its own (no write-ahead log),
// mode 0600, written under a temporary name in the target's folder and
// renamed into place, so a target name never holds half a copy.
//
// Every failure throws std::runtime_error with a message for the person at
// the command line; nothing is left behind under the target's name.
class DatabaseBackup
{
public:
    // Copies the database `source` to the file `target` (replacing it).
    // Returns one line per table ("trades: 1234").
    static QStringList backup(const QString& source, const QString& target);

    // Checks that `file` is a sound copy that this program can serve: it
    // passes the integrity check, holds the platform's tables and is of a
    // schema version this program knows. Returns its row counts as backup()
    // does.
    static QStringList check(const QString& file);

    // Puts the copy `file` in the place of the database `databasePath`, which
    // no server may have open (see ServingLock). `file` is checked first and
    // copied under a temporary name beside the database, where the copy is
    // checked again; the database it replaces is kept beside it under a
    // dated name, returned in `keptAs` (empty when there was none). The new
    // file takes the replaced one's owner and mode. Returns the row counts.
    static QStringList restore(const QString& file, const QString& databasePath, QString* keptAs);

    // The name under which a database replaced at `stamp` (yyyyMMdd-HHmmss)
    // is kept: "platform.db" becomes "platform.replaced-<stamp>.db".
    static QString keptName(const QString& databasePath, const QString& stamp);
};

} // namespace platform
