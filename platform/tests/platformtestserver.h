#pragma once

#include "platformserver.h"
#include "storage.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// An in-process platform on 127.0.0.1 and a free port, with its database in
// a temporary folder (or in `dataDir`, to reopen a database); on a run on
// PostgreSQL, in a database of the suite's cluster named after that folder. It records the
// request log. stop() and start() again reopen the same database, as a
// restart of the server would.
class PlatformTestServer
{
public:
    explicit PlatformTestServer(bool seedDemo = true, const QString& dataDir = QString());
    ~PlatformTestServer();

    // Opens the database (seeding it on the first start when asked) and
    // serves. False when either fails.
    bool start(const platform::PlatformServer::Config& config = platform::PlatformServer::Config());
    void stop();

    int port() const { return serverPort; }
    QString dataDir() const { return folder; }
    // The SQLite file, on a run on SQLite.
    QString databasePath() const;
    // Where this server's records are: the SQLite file, or on a run on
    // PostgreSQL (see PostgresCluster) a database of the suite's cluster.
    bool databaseUrl(platform::DatabaseUrl* url, QString* error) const;
    static bool onPostgreSQL();
    // The options that point freymo-platform at this server's records.
    QStringList databaseArguments() const;
    platform::Storage* storage() const { return store.get(); }
    // Adds a clerk's account (password "load", name `name`) to the station
    // that `station` signs in to; the new user's id, or 0 on failure.
    qint64 addClerk(const QString& station, const QString& login, const QString& name) const;
    QStringList logLines() const;

private:
    QTemporaryDir temporary;
    QString folder;
    bool seed;
    int serverPort = -1;
    std::unique_ptr<platform::Storage> store;
    std::unique_ptr<platform::PlatformServer> server;
    mutable QMutex logMutex;
    QStringList log;
};
