#include "databasebackup.h"

#include "databasecopy.h"
#include "schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace platform {

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

// One connection of SQLite's own API: the online backup is not reachable
// through QtSql.
class Connection
{
public:
    Connection(const QString& path, int flags)
        : path(path)
    {
        const QByteArray name = QFile::encodeName(path);
        if (sqlite3_open_v2(name.constData(), &db, flags, nullptr) != SQLITE_OK) {
            const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
            sqlite3_close(db);
            db = nullptr;
            fail(QStringLiteral("cannot open %1: %2").arg(path, reason));
        }
        sqlite3_busy_timeout(db, 10000);
    }
    ~Connection() { sqlite3_close_v2(db); }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return db; }

    void run(const char* statement) const
    {
        char* message = nullptr;
        if (sqlite3_exec(db, statement, nullptr, nullptr, &message) != SQLITE_OK) {
            const QString reason = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
            sqlite3_free(message);
            fail(QStringLiteral("%1: %2").arg(path, reason));
        }
    }

    // The first column of each row of `statement`, as text.
    QStringList column(const QString& statement) const
    {
        sqlite3_stmt* query = nullptr;
        const QByteArray text = statement.toUtf8();
        if (sqlite3_prepare_v2(db, text.constData(), text.size(), &query, nullptr) != SQLITE_OK)
            fail(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
        QStringList values;
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(query)) == SQLITE_ROW)
            values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
        sqlite3_finalize(query);
        if (step != SQLITE_DONE)
            fail(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
        return values;
    }

private:
    QString path;
    sqlite3* db = nullptr;
};

// The row counts of the platform's tables, one line per table.
QStringList countRows(const Connection& db)
{
    QStringList counts;
    for (const QString& table : DatabaseCopy::tables())
        counts << QStringLiteral("%1: %2").arg(
            table, db.column(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).value(0));
    return counts;
}

// The checks every copy passes before it counts as one.
QStringList checkCopy(const Connection& db, const QString& path)
{
    const QStringList problems = db.column(QStringLiteral("PRAGMA integrity_check"));
    if (problems != QStringList { QStringLiteral("ok") })
        fail(QStringLiteral("%1 fails the integrity check: %2")
                 .arg(path, problems.mid(0, 5).join(QStringLiteral("; "))));
    const int version = db.column(QStringLiteral("PRAGMA user_version")).value(0).toInt();
    if (version > Schema::latestVersion())
        fail(QStringLiteral("%1 was made by a newer platform (schema version %2; this one knows up to %3)")
                 .arg(path)
                 .arg(version)
                 .arg(Schema::latestVersion()));
    const QStringList tables = db.column(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table'"));
    for (const QString& table : DatabaseCopy::tables()) {
        if (version == 0 || !tables.contains(table))
            fail(QStringLiteral("%1 is no database of the platform (it has no table %2)").arg(path, table));
    }
    return countRows(db);
}

// A new empty file, mode 0600 whatever the umask, that only this call made.
void createPrivateFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        fail(QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    ::fchmod(fd, 0600);
    ::close(fd);
}

void syncPath(const QString& path, bool directory)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), (directory ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        fail(QStringLiteral("cannot write %1 to the disk: %2").arg(path, reason));
    }
    ::close(fd);
}

// A file beside `target` that the copy is made in before it takes that
// name; removed when the copy goes wrong.
class TemporaryCopy
{
public:
    explicit TemporaryCopy(const QString& target)
        : path(QStringLiteral("%1/.%2.partial-%3")
                   .arg(QFileInfo(target).absolutePath(), QFileInfo(target).fileName())
                   .arg(static_cast<qint64>(::getpid())))
    {
        // A leftover of an earlier process that had the same id.
        QFile::remove(path);
        createPrivateFile(path);
    }
    ~TemporaryCopy()
    {
        if (!kept)
            QFile::remove(path);
    }

    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;

    // Moves the finished copy to `target`, on the disk before and after.
    void moveTo(const QString& target)
    {
        syncPath(path, false);
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0)
            fail(QStringLiteral("cannot rename %1 to %2: %3")
                     .arg(path, target, QString::fromLocal8Bit(std::strerror(errno))));
        kept = true;
        syncPath(QFileInfo(target).absolutePath(), true);
    }

    const QString path;

private:
    bool kept = false;
};

// Copies all of `from` into the file of `to` in one step, then makes the
// copy a file on its own.
void copyPages(const Connection& from, const Connection& to)
{
    sqlite3_backup* backup = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!backup)
        fail(QStringLiteral("cannot start the copy: %1").arg(QString::fromUtf8(sqlite3_errmsg(to.handle()))));
    const int step = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE)
        fail(QStringLiteral("the copy failed: %1").arg(QString::fromUtf8(sqlite3_errstr(step))));
    to.run("PRAGMA journal_mode=DELETE");
}

// Copies `source` (which servers may be writing) to the file at `copyPath`
// and checks it; returns the counts.
QStringList copyAndCheck(const QString& source, const QString& copyPath, bool sourceIsLive)
{
    const Connection from(source, sourceIsLive ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY);
    // The counts and the pages are read in one snapshot: the backup runs in
    // the read transaction that the counts began.
    from.run("BEGIN");
    const QStringList counts = countRows(from);
    {
        const Connection to(copyPath, SQLITE_OPEN_READWRITE);
        copyPages(from, to);
        from.run("COMMIT");
        const QStringList copied = checkCopy(to, copyPath);
        if (copied != counts)
            fail(QStringLiteral("the copy's rows differ from the database's: %1 against %2")
                     .arg(copied.join(QStringLiteral(", ")), counts.join(QStringLiteral(", "))));
    }
    return counts;
}

} // namespace

QString DatabaseBackup::keptName(const QString& databasePath, const QString& stamp)
{
    const QFileInfo info(databasePath);
    return info.absoluteDir().filePath(
        QStringLiteral("%1.replaced-%2.%3").arg(info.completeBaseName(), stamp, info.suffix()));
}

QStringList DatabaseBackup::backup(const QString& source, const QString& target)
{
    if (!QFileInfo(source).isFile())
        fail(QStringLiteral("there is no database at %1").arg(source));
    if (QFileInfo(target).isDir())
        fail(QStringLiteral("%1 is a folder").arg(target));
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(source).absoluteFilePath())
        fail(QStringLiteral("the copy cannot replace the database itself"));
    TemporaryCopy copy(target);
    const QStringList counts = copyAndCheck(source, copy.path, true);
    copy.moveTo(target);
    return counts;
}

QStringList DatabaseBackup::check(const QString& file)
{
    if (!QFileInfo(file).isFile())
        fail(QStringLiteral("there is no file %1").arg(file));
    const Connection db(file, SQLITE_OPEN_READONLY);
    return checkCopy(db, file);
}

QStringList DatabaseBackup::restore(const QString& file, const QString& databasePath, QString* keptAs)
{
    check(file);
    const QFileInfo database(databasePath);
    if (database.absoluteFilePath() == QFileInfo(file).absoluteFilePath())
        fail(QStringLiteral("%1 is the database itself").arg(file));
    if (!QDir().mkpath(database.absolutePath()))
        fail(QStringLiteral("cannot create the folder %1").arg(database.absolutePath()));

    TemporaryCopy copy(databasePath);
    const QStringList counts = copyAndCheck(file, copy.path, false);

    // The new file belongs to whoever owned the old one (the service's user,
    // when root restores), or the folder's owner.
    struct stat owner
    {
    };
    const bool replacing = ::stat(QFile::encodeName(databasePath).constData(), &owner) == 0;
    if (!replacing)
        ::stat(QFile::encodeName(database.absolutePath()).constData(), &owner);
    const QByteArray copyName = QFile::encodeName(copy.path);
    if (::geteuid() == 0 && ::chown(copyName.constData(), owner.st_uid, owner.st_gid) != 0)
        fail(QStringLiteral("cannot give %1 to its owner: %2")
                 .arg(copy.path, QString::fromLocal8Bit(std::strerror(errno))));
    ::chmod(copyName.constData(), replacing ? (owner.st_mode & 0660) | 0600 : 0600);

    keptAs->clear();
    if (replacing) {
        // What the old database's log holds goes into its file, and the log
        // away, so the kept file is the whole database on its own. That
        // fails while another process has it open.
        {
            const Connection old(databasePath, SQLITE_OPEN_READWRITE);
            old.run("PRAGMA wal_checkpoint(TRUNCATE)");
            if (old.column(QStringLiteral("PRAGMA journal_mode=DELETE"))
                    .value(0)
                    .compare(QStringLiteral("delete"), Qt::CaseInsensitive)
                != 0)
                fail(QStringLiteral("%1 is still in use by another process").arg(databasePath));
        }
        const QString kept
            = keptName(databasePath, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
        // A second name for the old file first: at no moment is there no
        // database under the served name, which a server starting then would
        // make anew and empty.
        if (::link(QFile::encodeName(databasePath).constData(), QFile::encodeName(kept).constData()) != 0)
            fail(QStringLiteral("cannot keep %1 as %2: %3")
                     .arg(databasePath, kept, QString::fromLocal8Bit(std::strerror(errno))));
        *keptAs = kept;
    }
    copy.moveTo(databasePath);
    return counts;
}

} // namespace platform
