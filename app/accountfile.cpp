#include "app/accountfile.h"

#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QSaveFile>

namespace {
// A genuine record is a few hundred bytes at most; anything far larger is not
// ours and is not read into memory.
constexpr qint64 MaximumFileSize = 64 * 1024;
} // namespace

QString AccountFile::defaultPath()
{
    return QStringLiteral("account.dat");
}

AccountFile::AccountFile(const QString& path)
    : filePath(path)
{
}

bool AccountFile::load()
{
    rememberFlag = false;
    name.clear();
    secret.clear();

    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > MaximumFileSize) {
        qDebug() << "ignoring oversized" << filePath << file.size();
        return false;
    }

    // Fields are read in order for as long as the stream holds out: a file
    // cut short keeps what was read before the cut, and every field after it
    // reads as empty (an empty file is an unticked flag). The flag alone
    // decides whether the texts are offered.
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_5_0);
    bool flag = false;
    QString storedName;
    QString storedPassword;
    in >> flag;
    if (in.status() != QDataStream::Ok)
        flag = false;
    if (in.status() == QDataStream::Ok)
        in >> storedName;
    if (in.status() != QDataStream::Ok)
        storedName.clear();
    if (in.status() == QDataStream::Ok)
        in >> storedPassword;
    if (in.status() != QDataStream::Ok)
        storedPassword.clear();

    rememberFlag = flag;
    if (rememberFlag) {
        name = storedName;
        secret = storedPassword;
    }
    if (in.status() != QDataStream::Ok) {
        qDebug() << "damaged" << filePath << in.status();
        return false;
    }
    return true;
}

bool AccountFile::save(bool remember, const QString& username, const QString& password) const
{
    QSaveFile file(filePath);
    // A folder that is read-only while the file itself is writable (a shared
    // or locked-down working folder) has no room for the temporary copy: the
    // file is then rewritten in place rather than not at all.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug() << "cannot write" << filePath << file.errorString();
        return false;
    }
    // The file may hold a password: for its owner's eyes only, whatever the
    // umask or an older copy's mode said.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qDebug() << "cannot restrict" << filePath << file.errorString();
        file.cancelWriting();
        return false;
    }
    QDataStream out(&file);
    // A password the user did not ask us to keep never reaches the disk.
    const QString empty = QLatin1String("");
    out << remember << (remember ? username : empty) << (remember ? password : empty);
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qDebug() << "cannot write" << filePath << file.errorString();
        return false;
    }
    return true;
}
