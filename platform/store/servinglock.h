#pragma once

#include <QString>

namespace platform {

// Tells whether a platform serves a SQLite file. Every server holds a shared
// lock on "<file>.lock" beside the database while it runs (any number of them
// may); a restore holds it alone, so it cannot begin while a server runs and
// no server can start while it works. The lock is the system's (flock), so it
// goes with the process that held it, however that process ended.
class ServingLock
{
public:
    enum Kind { Serving, Replacing };

    ServingLock() = default;
    ~ServingLock();

    ServingLock(const ServingLock&) = delete;
    ServingLock& operator=(const ServingLock&) = delete;

    // Takes the lock of the database at `databasePath` without waiting,
    // making the database's folder when there is none.
    // False with `error` set when another process holds it the other way
    // (or, for Replacing, at all) or the lock file cannot be opened.
    bool acquire(const QString& databasePath, Kind kind, QString* error);

private:
    int fd = -1;
};

} // namespace platform
