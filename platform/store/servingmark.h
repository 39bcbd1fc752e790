#pragma once

#include <QString>

namespace platform {

// Tells other processes that a server runs on a SQLite file: a shared lock
// on a file beside it (its name followed by "-serving"), which every server
// on the file holds for as long as it serves. What must not run beside a
// server (copying the file elsewhere, which would miss the server's later
// writes) asks isServed() first. Another database than a file has no mark.
class ServingMark
{
public:
    // Takes the mark for the SQLite file `databasePath`; an empty path takes
    // nothing.
    explicit ServingMark(const QString& databasePath);
    ~ServingMark();

    ServingMark(const ServingMark&) = delete;
    ServingMark& operator=(const ServingMark&) = delete;

    // Whether some process (this one included) holds the mark of the file.
    static bool isServed(const QString& databasePath);

private:
    int fd = -1;
};

} // namespace platform
