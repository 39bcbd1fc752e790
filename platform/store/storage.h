#pragma once

#include "databaseurl.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <string>

namespace platform {

// The platform's database: one SQLite file, or a PostgreSQL database that
// several platform processes may share. Each thread that touches it gets its
// own connection (a QSqlDatabase belongs to the thread that opened it),
// opened on first use and removed when the thread ends. A SQLite file runs in
// WAL mode with a busy timeout, so readers never block the writer and writers
// queue. A PostgreSQL connection that the server dropped is opened anew on
// the next use, so the platform serves again once the server is back.
class Storage
{
public:
    Storage();
    ~Storage();

    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Whether each commit is on the disk before it returns (synchronous=FULL).
    // By default (NORMAL) a crash of the process loses no commit, but a
    // power cut or a crash of the system can lose the last commits before
    // the write-ahead log reached the disk; the file stays consistent either
    // way. Set before open().
    void setSynchronousFull(bool full) { synchronousFull = full; }

    // Opens (creating the folder and the file when needed) and upgrades the
    // schema to `schemaVersion` (the latest by default). On failure returns
    // false and sets `error`.
    bool open(const QString& filePath, QString* error, int schemaVersion = -1);
    bool open(const DatabaseUrl& database, QString* error, int schemaVersion = -1);
    // The SQLite file's path (empty for another database), and where the
    // records are, for the log.
    QString filePath() const { return path; }
    QString location() const;
    const DatabaseUrl& databaseUrl() const { return url; }

    // This thread's connection. Throws Sql::Error when it cannot be opened.
    QSqlDatabase connection() const;

    // True when no station exists yet (a new file).
    bool isEmpty() const;

    // Whether a user who is not disabled holds exactly this voice account
    // (its secrets as they are now), or whether that cannot be told because
    // the database cannot be read. Safe to call from any thread.
    enum class VoiceAccount { Held, NotHeld, Unknown };
    VoiceAccount checkVoiceAccount(const std::string& subAccount, const std::string& subAccountPwd,
        const std::string& voipAccount, const std::string& voipPwd) const;
    // The same as a yes or no; no on a database failure.
    bool hasVoiceAccount(const std::string& subAccount, const std::string& subAccountPwd,
        const std::string& voipAccount, const std::string& voipPwd) const;

    // Gives `user` new voice secrets (the sub account's password and the VoIP
    // password) on `db`, inside the caller's write transaction, for a changed
    // password: the next sign-in hands out the new ones. Returns the user's
    // sub account, for endVoiceSessions() once the transaction has committed.
    static QString rotateVoiceSecrets(const QSqlDatabase& db, qint64 user);

    // Ends the voice switch's sessions of `subAccount`, through the handler
    // that the switch's host set; nothing without one. Called after the new
    // secrets have committed, so that no sign-in with the old ones can follow.
    using VoiceSessionEnder = std::function<void(const std::string& subAccount)>;
    void setVoiceSessionEnder(VoiceSessionEnder ender) { voiceSessionEnder = std::move(ender); }
    void endVoiceSessions(const QString& subAccount) const;

    // Makes the folder of the SQLite file `databasePath` when there is none,
    // its owner's alone (0700) whatever the umask; its parents are made as
    // usual. A folder that exists is left as it is.
    static bool makeDataFolder(const QString& databasePath);

    static QString defaultDataDir();
    static QString databaseFileName();

private:
    static bool connectionLost(const QSqlDatabase& db);

    DatabaseUrl url;
    QString path;
    int id;
    bool synchronousFull = false;
    // Set before serving starts; only read after.
    VoiceSessionEnder voiceSessionEnder;
};

} // namespace platform
