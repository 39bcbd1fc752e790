#pragma once

#include <QSqlDatabase>
#include <QString>

#include <string>

namespace platform {

// The platform's one SQLite file. Each thread that touches it gets its own
// connection (a QSqlDatabase belongs to the thread that opened it), opened on
// first use and removed when the thread ends. The file runs in WAL mode with a
// busy timeout, so readers never block the writer and writers queue.
class Storage
{
public:
    Storage();
    ~Storage();

    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Opens (creating the folder and the file when needed) and upgrades the
    // schema to `schemaVersion` (the latest by default). On failure returns
    // false and sets `error`.
    bool open(const QString& filePath, QString* error, int schemaVersion = -1);
    QString filePath() const { return path; }

    // This thread's connection. Throws Sql::Error when it cannot be opened.
    QSqlDatabase connection() const;

    // True when no station exists yet (a new file).
    bool isEmpty() const;

    // Whether a user who is not disabled holds exactly this voice account.
    // Safe to call from any thread; answers false on a database failure.
    bool hasVoiceAccount(const std::string& subAccount, const std::string& subAccountPwd,
        const std::string& voipAccount, const std::string& voipPwd) const;

    static QString defaultDataDir();
    static QString databaseFileName();

private:
    QString path;
    int id;
};

} // namespace platform
