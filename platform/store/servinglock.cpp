#include "servinglock.h"

#include "storage.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
    if (!Storage::makeDataFolder(databasePath)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    const QString path = databasePath + QStringLiteral(".lock");
    const QByteArray name = QFile::encodeName(path);
    // A lock needs no more than reading, so the file is readable by all who
    // reach the folder: root restoring a copy must not make a lock file that
    // the service's user cannot open. It belongs to the folder's owner.
    fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        struct stat folderInfo
        {
        };
        ::fchmod(fd, 0644);
        if (::geteuid() == 0 && ::stat(QFile::encodeName(folder).constData(), &folderInfo) == 0
            && ::fchown(fd, folderInfo.st_uid, folderInfo.st_gid) != 0) {
            // Left to root: still readable by the service.
        }
    } else {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    }
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
