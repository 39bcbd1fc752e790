#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

// The real freymo-platform for the end-to-end suites and the screenshot tour:
// the demo stations seeded into a temporary data folder, the HTTP API and the
// voice switch on free ports of 127.0.0.1. What the platform stored is read
// back from its database, opened read-only beside the running server. On a
// run on PostgreSQL (FREYMO_TEST_DATABASE=postgresql, see PostgresCluster) the
// records are in a new database of the run's throwaway cluster instead of
// the SQLite file.
class PlatformProcess
{
public:
    // `executable` defaults to the freymo-platform built with the tests.
    explicit PlatformProcess(const QString& executable = QString());
    // Stops the platform if it still runs.
    ~PlatformProcess();

    PlatformProcess(const PlatformProcess&) = delete;
    PlatformProcess& operator=(const PlatformProcess&) = delete;

    // Variables added to the platform's environment (set before start()).
    void setEnvironmentValue(const QString& name, const QString& value);
    // Options added to the platform's command line (set before start()).
    void addArguments(const QStringList& arguments) { extraArguments += arguments; }
    // Serves the records of `other`, which has started, as a second process
    // of the same stations does (on PostgreSQL; set before start()).
    void shareDatabaseWith(const PlatformProcess& other) { postgresUrl = other.postgresUrl; }

    // Starts the platform and waits until both ports listen. False with
    // errorString() set when it did not come up within `timeoutMs`.
    bool start(int timeoutMs = 20000);
    // Asks the platform to stop (SIGTERM) and waits; true when it ended with 0.
    bool stop(int timeoutMs = 15000);
    // Ends the platform at once (SIGKILL), as a crash would, and waits.
    void kill();

    // "http://127.0.0.1:<port>/api": the base address for the client.
    QString apiBase() const { return base; }
    int httpPort() const;
    int voicePort() const { return voice; }
    // The SQLite file; on a run on PostgreSQL, where it would have been.
    QString databasePath() const;
    // "postgresql://…" on a run on PostgreSQL, else empty.
    QString databaseUrl() const { return postgresUrl; }
    QString errorString() const { return error; }
    // Everything the platform wrote to its standard output and error so far.
    QByteArray output();

    // The rows of `sql` (with `bindings` for its "?" placeholders) run on a
    // read-only connection of the platform's database; each row lists its
    // columns in order. Empty on any failure, which is reported on stderr.
    QList<QVariantList> rows(const QString& sql, const QVariantList& bindings = {}) const;
    // The first column of the first row; invalid when there is none.
    QVariant value(const QString& sql, const QVariantList& bindings = {}) const;

private:
    QString executable;
    QStringList extraArguments;
    QTemporaryDir dataDir;
    QProcess process;
    QProcessEnvironment environment;
    QByteArray seen;
    QString base;
    int voice = 0;
    QString error;
    QString postgresUrl;
};
