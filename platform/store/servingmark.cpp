#include "servingmark.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int openMark(const QString& databasePath)
{
    if (databasePath.isEmpty())
        return -1;
    const QByteArray path = QFile::encodeName(databasePath + QStringLiteral("-serving"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::fchmod(fd, 0600);
    return fd;
}

} // namespace

ServingMark::ServingMark(const QString& databasePath)
    : fd(openMark(databasePath))
{
    // A lock on a file of its own: the database file's own locks are
    // SQLite's, and a second descriptor on it would lose them on close.
    if (fd >= 0 && ::flock(fd, LOCK_SH) != 0) {
        ::close(fd);
        fd = -1;
    }
}

ServingMark::~ServingMark()
{
    if (fd >= 0)
        ::close(fd);
}

bool ServingMark::isServed(const QString& databasePath)
{
    const int fd = openMark(databasePath);
    if (fd < 0)
        return false;
    const bool served = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return served;
}

} // namespace platform
