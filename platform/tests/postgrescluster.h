#pragma once

#include <QString>

// A throwaway PostgreSQL cluster for the suites: made with initdb in a
// temporary folder on the first use, serving 127.0.0.1 on a free port, and
// stopped and removed when the process ends. One cluster serves a whole
// suite; each test server gets a database of its own in it. When the process
// runs as root, the server runs as the user postgres (the server refuses
// root).
//
// The suites run on it when FREYMO_TEST_DATABASE=postgresql. Without the
// server's binaries such a run is skipped, unless FREYMO_REQUIRE_POSTGRESQL=1
// makes that a failure (./test.sh sets it).
class PostgresCluster
{
public:
    // Whether this run's suites use PostgreSQL.
    static bool wanted();
    // Why PostgreSQL cannot be used here (empty when it can).
    static QString missing();
    // Whether a missing server fails the run instead of skipping it.
    static bool required();

    // The cluster, started on first use; null when it could not start
    // (the reason in `error`).
    static PostgresCluster* instance(QString* error);

    // postgresql://… of the database `name`, made empty when it does not exist.
    QString databaseUrl(const QString& name, QString* error);
    // A new empty database, for tests that want one.
    QString freshDatabaseUrl(QString* error);

    // Stops the server and starts it again on the same port and data, as a
    // restart or an outage of the database would look; both wait until done.
    bool stopServer();
    bool startServer();

    int port() const { return serverPort; }
    QString user() const;

private:
    PostgresCluster() = default;
    bool start(QString* error);
    void destroy();
    bool run(const QString& program, const QStringList& arguments, QString* output) const;

    QString folder;
    QString binaries;
    int serverPort = 0;
    int created = 0;
};
