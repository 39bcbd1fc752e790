#include "servinglock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

ServingLock::~ServingLock()
{
    if (fd >= 0)
        ::close(fd);
}

bool ServingLock::acquire(const QString& databasePath, Kind kind, QString* error)
{
    const QString folder = QFileInfo(databasePath).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    const QString path = databasePath + QStringLiteral(".lock");
    const QByteArray name = QFile::encodeName(path);
    // A lock file that another user made may be read-only here; a lock
    // needs no more than reading.
    fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, (kind == Serving ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0)
        return true;
    const int reason = errno;
    ::close(fd);
    fd = -1;
    if (reason != EWOULDBLOCK) {
        *error = QStringLiteral("cannot lock %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(reason)));
        return false;
    }
    *error = kind == Serving
        ? QStringLiteral("%1 is being restored; start the platform once that is done").arg(databasePath)
        : QStringLiteral("a platform serves %1; stop it first (systemctl stop freymo-platform)").arg(databasePath);
    return false;
}

} // namespace platform
