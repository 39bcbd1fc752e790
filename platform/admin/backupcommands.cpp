#include "backupcommands.h"

#include "databasebackup.h"
#include "databaseurl.h"
#include "servinglock.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <exception>

namespace platform {

namespace {

struct Usage
{
    QString message;
};

const QRegularExpression& copyPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^platform-\\d{8}-\\d{6}\\.db$"));
    return pattern;
}

// Removes all but the `keep` newest copies in `folder`; their names sort as
// their times do.
void prune(const QString& folder, int keep, const AdminCommands::Printer& out)
{
    QStringList copies;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name | QDir::Reversed)) {
        if (copyPattern().match(name).hasMatch())
            copies << name;
    }
    for (const QString& name : copies.mid(keep)) {
        const QString path = QDir(folder).absoluteFilePath(name);
        if (QFile::remove(path))
            out(QStringLiteral("removed the old copy %1").arg(path));
        else
            throw std::runtime_error(QStringLiteral("cannot remove the old copy %1").arg(path).toStdString());
    }
}

int backup(const QStringList& arguments, const QString& database, const AdminCommands::Printer& out)
{
    int keep = 0;
    QStringList rest = arguments;
    if (rest.value(0) == QLatin1String("--keep")) {
        bool ok = false;
        keep = rest.value(1).toInt(&ok);
        if (!ok || keep < 1)
            throw Usage { QStringLiteral("--keep takes a count of at least 1") };
        rest = rest.mid(2);
    }
    if (rest.size() != 1 || rest.first().isEmpty())
        throw Usage { QStringLiteral("backup takes [--keep N] and one FILE or FOLDER") };
    const QString given = rest.first();
    const bool intoFolder = given.endsWith(QLatin1Char('/')) || QFileInfo(given).isDir();
    if (keep > 0 && !intoFolder)
        throw Usage { QStringLiteral("--keep needs a FOLDER to keep the copies in") };
    QString target = given;
    if (intoFolder) {
        // The copies hold every station's records: the folder is private.
        if (!QFileInfo(given).isDir() && !QDir().mkpath(given))
            throw std::runtime_error(QStringLiteral("cannot create the folder %1").arg(given).toStdString());
        QFile::setPermissions(given, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        target = QDir(given).filePath(BackupCommands::copyName(QDateTime::currentDateTime()));
    }
    for (const QString& line : DatabaseBackup::backup(database, target))
        out(line);
    out(QStringLiteral("backed up %1 to %2").arg(database, QFileInfo(target).absoluteFilePath()));
    if (keep > 0)
        prune(given, keep, out);
    return 0;
}

int restore(const QStringList& arguments, const QString& database, const AdminCommands::Printer& out)
{
    if (arguments.size() != 1 || arguments.first().isEmpty())
        throw Usage { QStringLiteral("restore takes one FILE") };
    ServingLock lock;
    QString error;
    if (!lock.acquire(database, ServingLock::Replacing, &error))
        throw std::runtime_error(error.toStdString());
    QString kept;
    for (const QString& line : DatabaseBackup::restore(arguments.first(), database, &kept))
        out(line);
    out(QStringLiteral("restored %1 into %2").arg(QFileInfo(arguments.first()).absoluteFilePath(), database));
    if (kept.isEmpty())
        out(QStringLiteral("there was no database to keep"));
    else
        out(QStringLiteral("the replaced database is kept as %1").arg(kept));
    return 0;
}

} // namespace

QStringList BackupCommands::names()
{
    return { QStringLiteral("backup"), QStringLiteral("restore") };
}

QString BackupCommands::helpText()
{
    return QStringLiteral("Copies of the SQLite database (not for PostgreSQL: use pg_dump):\n"
                          "  backup [--keep N] FILE|FOLDER/\n"
                          "                        Write a checked copy (mode 0600) while the server runs. In a\n"
                          "                        FOLDER the copy is named platform-DATE-TIME.db, and --keep N\n"
                          "                        removes all but the N newest copies there.\n"
                          "  restore FILE          Check the copy FILE and put it in the database's place,\n"
                          "                        keeping the replaced database beside it. Stop the server first.\n");
}

QString BackupCommands::copyName(const QDateTime& time)
{
    return time.toString(QStringLiteral("'platform-'yyyyMMdd-HHmmss'.db'"));
}

int BackupCommands::run(const QStringList& command, const DatabaseUrl& database, const AdminCommands::Printer& out,
    const AdminCommands::Printer& err)
{
    try {
        if (database.kind != DatabaseUrl::SQLite)
            throw std::runtime_error("the records are in PostgreSQL: back them up with pg_dump or the database"
                                     " server's own backups");
        if (command.value(0) == QLatin1String("backup"))
            return backup(command.mid(1), database.path, out);
        if (command.value(0) == QLatin1String("restore"))
            return restore(command.mid(1), database.path, out);
        throw Usage { QStringLiteral("unknown command: %1").arg(command.join(QLatin1Char(' '))) };
    } catch (const Usage& usage) {
        err(QStringLiteral("freymo-platform: %1").arg(usage.message));
        return 2;
    } catch (const std::exception& failure) {
        err(QStringLiteral("freymo-platform: %1").arg(QString::fromStdString(failure.what())));
        return 1;
    }
}

} // namespace platform
