#include "storage.h"

#include "credentials.h"
#include "dialect.h"
#include "platformmetrics.h"
#include "rowreader.h"
#include "schema.h"
#include "sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QStandardPaths>
#include <QVector>

#include <libpq-fe.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>

namespace platform {

namespace {

std::atomic<int> nextStorageId { 1 };
std::atomic<int> nextConnectionId { 1 };

// Set when this thread's table of connections is destroyed: at the end of a
// thread, and for the main thread at process exit, before static and atexit
// destructors run. A Storage destroyed after that (a static one) must not
// touch the table; its connection went with it. Trivially destructible, so it
// stays readable until the thread is gone.
thread_local bool threadConnectionsEnded = false;

// The connections one thread opened, by storage; removed when the thread ends.
struct ThreadConnections
{
    QHash<int, QString> names;

    ~ThreadConnections()
    {
        for (const QString& name : qAsConst(names))
            drop(name);
        threadConnectionsEnded = true;
    }

    static void drop(const QString& name)
    {
        RowReader::releaseStatements(name);
        Sql::releaseStatements(name);
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

ThreadConnections& threadConnections()
{
    thread_local ThreadConnections connections;
    return connections;
}

// The SQLite file holds the password hashes and the voice secrets: its
// folder, when made here, is the owner's alone (0700), and so are the file
// and its companions (0600), whatever the umask. A folder that existed is
// left as it is (it may be anybody's choice); the files are made private.
bool makePrivate(const QString& path, QString* error)
{
    if (!Storage::makeDataFolder(path)) {
        if (error)
            *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    const QByteArray file = QFile::encodeName(path);
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    for (const char* suffix : { "", "-wal", "-shm" }) {
        const QByteArray name = file + suffix;
        if (QFile::exists(QFile::decodeName(name)))
            ::chmod(name.constData(), 0600);
    }
    return true;
}

} // namespace

Storage::Storage()
    : id(nextStorageId++)
{
}

Storage::~Storage()
{
    // Other threads' connections go with their threads; the server's threads
    // have ended before its storage is destroyed.
    if (threadConnectionsEnded)
        return;
    ThreadConnections& mine = threadConnections();
    const auto it = mine.names.find(id);
    if (it != mine.names.end()) {
        ThreadConnections::drop(it.value());
        mine.names.erase(it);
    }
}

bool Storage::open(const QString& filePath, QString* error, int schemaVersion)
{
    return open(DatabaseUrl::sqliteFile(filePath), error, schemaVersion);
}

bool Storage::open(const DatabaseUrl& database, QString* error, int schemaVersion)
{
    url = database;
    path = url.kind == DatabaseUrl::SQLite ? url.path : QString();
    if (url.kind == DatabaseUrl::SQLite && !makePrivate(path, error))
        return false;
    try {
        const QSqlDatabase db = connection();
        Schema::upgrade(db, schemaVersion);
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromStdString(e.what());
        return false;
    }
    return true;
}

QSqlDatabase Storage::connection() const
{
    if (threadConnectionsEnded)
        throw Sql::Error(QStringLiteral("no connection to %1 while the thread ends").arg(location()).toStdString());
    ThreadConnections& mine = threadConnections();
    const auto it = mine.names.find(id);
    if (it != mine.names.end()) {
        QSqlDatabase db = QSqlDatabase::database(it.value(), false);
        if (url.kind == DatabaseUrl::SQLite || !connectionLost(db))
            return db;
        // The server went away (a restart, a lost network): this connection
        // and its prepared statements are gone; a new one is tried below.
        ThreadConnections::drop(it.value());
        mine.names.erase(it);
        PlatformMetrics::instance().databaseReconnected();
    }

    const QString name = QStringLiteral("freymo-platform-%1-%2").arg(id).arg(nextConnectionId++);
    QSqlDatabase db;
    if (url.kind == DatabaseUrl::SQLite) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    } else {
        // The password, if any, comes from libpq's PGPASSWORD or PGPASSFILE.
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(url.host);
        if (url.port > 0)
            db.setPort(url.port);
        if (!url.user.isEmpty())
            db.setUserName(url.user);
        db.setDatabaseName(url.databaseName);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    }
    if (!db.open()) {
        // libpq's messages run over several lines.
        const QString message = db.lastError().text().simplified();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw Sql::Error(QStringLiteral("cannot open %1: %2").arg(location(), message).toStdString());
    }
    mine.names.insert(id, name);
    Dialect::of(db).prepareConnection(db, synchronousFull);
    return db;
}

bool Storage::connectionLost(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "PGconn*") != 0)
        return false;
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    return !connection || PQstatus(connection) != CONNECTION_OK;
}

QString Storage::location() const
{
    return url.kind == DatabaseUrl::SQLite ? path : url.toString();
}

bool Storage::isEmpty() const
{
    return Sql::scalar(connection(), QStringLiteral("SELECT COUNT(*) FROM organs")).toLongLong() == 0;
}

Storage::VoiceAccount Storage::checkVoiceAccount(const std::string& subAccount, const std::string& subAccountPwd,
    const std::string& voipAccount, const std::string& voipPwd) const
{
    try {
        Sql q(connection(),
            QStringLiteral("SELECT sub_account_pwd, voip_account, voip_pwd FROM users"
                           " WHERE sub_account = ? AND disabled = 0"));
        q.bind(QString::fromStdString(subAccount)).exec();
        if (!q.next())
            return VoiceAccount::NotHeld;
        // Every part is compared, each in constant time.
        const bool pwd = Credentials::equalSecrets(q.text(0), QString::fromStdString(subAccountPwd));
        const bool voip = Credentials::equalSecrets(q.text(1), QString::fromStdString(voipAccount));
        const bool voipSecret = Credentials::equalSecrets(q.text(2), QString::fromStdString(voipPwd));
        return pwd && voip && voipSecret ? VoiceAccount::Held : VoiceAccount::NotHeld;
    } catch (const std::exception&) {
        return VoiceAccount::Unknown;
    }
}

bool Storage::hasVoiceAccount(const std::string& subAccount, const std::string& subAccountPwd,
    const std::string& voipAccount, const std::string& voipPwd) const
{
    return checkVoiceAccount(subAccount, subAccountPwd, voipAccount, voipPwd) == VoiceAccount::Held;
}

QString Storage::rotateVoiceSecrets(const QSqlDatabase& db, qint64 user)
{
    // The same forms as a new user's (SessionService::createUser).
    Sql q(db, QStringLiteral("UPDATE users SET sub_account_pwd = ?, voip_pwd = ? WHERE id = ?"));
    q.bind(Credentials::randomHex(16)).bind(Credentials::randomHex(4)).bind(user).exec();
    return Sql::scalar(db, QStringLiteral("SELECT sub_account FROM users WHERE id = ?"), { user }, QString())
        .toString();
}

void Storage::endVoiceSessions(const QString& subAccount) const
{
    if (voiceSessionEnder && !subAccount.isEmpty())
        voiceSessionEnder(subAccount.toStdString());
}

bool Storage::makeDataFolder(const QString& databasePath)
{
    const QString folder = QFileInfo(databasePath).absolutePath();
    if (QFileInfo::exists(folder))
        return true;
    const QByteArray name = QFile::encodeName(folder);
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()) || (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST))
        return false;
    ::chmod(name.constData(), 0700);
    return true;
}

QString Storage::defaultDataDir()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/freymo-platform");
}

QString Storage::databaseFileName()
{
    return QStringLiteral("platform.db");
}

} // namespace platform
