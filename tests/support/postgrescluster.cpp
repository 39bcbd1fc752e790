#include "postgrescluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTcpServer>

#include <cstdio>
#include <cstdlib>

#include <cerrno>
#include <csignal>

#include <sys/types.h>
#include <unistd.h>

namespace {

const char* const clusterUser = "freymo";

QString serverBinaries()
{
    for (const int version : { 15, 16, 17, 14, 13 }) {
        const QString dir = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
        if (QFileInfo::exists(dir + QStringLiteral("/initdb")) && QFileInfo::exists(dir + QStringLiteral("/pg_ctl")))
            return dir;
    }
    return QString();
}

// Stops and removes the clusters that suites which ended without cleaning up
// (killed by CTest's timeout or the function watchdog, or crashed) left
// behind: a folder names the process that made it, and a folder whose
// process is gone belongs to nobody. Left running, they hold memory and
// connections for the rest of the machine's day.
void removeAbandonedClusters()
{
    const QFileInfoList folders = QDir::temp().entryInfoList(
        { QStringLiteral("freymo-pg-*") }, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& info : folders) {
        const QStringList parts = info.fileName().split(QLatin1Char('-'));
        bool isNumber = false;
        const pid_t owner = parts.size() >= 4 ? static_cast<pid_t>(parts.at(2).toLong(&isNumber)) : 0;
        if (!isNumber || owner <= 0 || owner == static_cast<pid_t>(QCoreApplication::applicationPid())
            || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        QFile pidFile(info.filePath() + QStringLiteral("/data/postmaster.pid"));
        if (pidFile.open(QIODevice::ReadOnly)) {
            bool isPid = false;
            const pid_t server = static_cast<pid_t>(pidFile.readLine().trimmed().toLong(&isPid));
            // SIGQUIT is the server's immediate shutdown.
            if (isPid && server > 0)
                ::kill(server, SIGQUIT);
        }
        QDir(info.filePath()).removeRecursively();
    }
}

bool asRoot()
{
    return geteuid() == 0;
}

int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

PostgresCluster* theCluster = nullptr;

} // namespace

bool PostgresCluster::wanted()
{
    return qEnvironmentVariable("FREYMO_TEST_DATABASE") == QLatin1String("postgresql");
}

bool PostgresCluster::required()
{
    return qEnvironmentVariable("FREYMO_REQUIRE_POSTGRESQL") == QLatin1String("1");
}

QString PostgresCluster::missing()
{
    if (serverBinaries().isEmpty())
        return QStringLiteral("the PostgreSQL server's binaries (initdb, pg_ctl) are not installed"
                              " (Debian package postgresql)");
    return QString();
}

bool PostgresCluster::endRunIfMissing()
{
    if (!wanted() || missing().isEmpty())
        return true;
    const QByteArray reason = missing().toLocal8Bit();
    if (required()) {
        std::fprintf(stderr, "FAIL: the run on PostgreSQL is required, but %s\n", reason.constData());
        std::exit(1);
    }
    std::fprintf(stderr, "SKIP: the run on PostgreSQL is skipped: %s\n", reason.constData());
    std::exit(77);
}

PostgresCluster* PostgresCluster::instance(QString* error)
{
    static PostgresCluster* cluster = nullptr;
    static QString failure;
    if (!cluster && failure.isEmpty()) {
        auto* made = new PostgresCluster;
        if (made->start(&failure)) {
            cluster = made;
            theCluster = made;
            // Stopped while the application still runs (QProcess needs it).
            qAddPostRoutine([] {
                if (theCluster)
                    theCluster->destroy();
            });
        } else {
            made->destroy();
            delete made;
        }
    }
    if (!cluster && error)
        *error = failure;
    return cluster;
}

QString PostgresCluster::user() const
{
    return QString::fromLatin1(clusterUser);
}

bool PostgresCluster::run(const QString& program, const QStringList& arguments, QString* output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder);
    if (asRoot()) {
        process.setProgram(QStringLiteral("runuser"));
        process.setArguments(QStringList { QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                                 binaries + QLatin1Char('/') + program }
            + arguments);
    } else {
        process.setProgram(binaries + QLatin1Char('/') + program);
        process.setArguments(arguments);
    }
    process.start();
    const bool ok
        = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).simplified();
    return ok;
}

bool PostgresCluster::start(QString* error)
{
    binaries = serverBinaries();
    if (binaries.isEmpty()) {
        *error = missing();
        return false;
    }
    removeAbandonedClusters();
    folder = QDir::temp().filePath(QStringLiteral("freymo-pg-%1-XXXXXX").arg(QCoreApplication::applicationPid()));
    QByteArray pattern = folder.toLocal8Bit();
    if (!mkdtemp(pattern.data())) {
        *error = QStringLiteral("cannot make a folder for the cluster");
        return false;
    }
    folder = QString::fromLocal8Bit(pattern);
    if (asRoot() && QProcess::execute(QStringLiteral("chown"), { QStringLiteral("postgres:postgres"), folder }) != 0) {
        *error = QStringLiteral("cannot give %1 to the user postgres").arg(folder);
        return false;
    }
    QString output;
    if (!run(QStringLiteral("initdb"),
            { QStringLiteral("-D"), folder + QStringLiteral("/data"), QStringLiteral("-U"), user(),
                QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync") },
            &output)) {
        *error = QStringLiteral("initdb failed: %1").arg(output);
        return false;
    }
    // A port taken between the probe and the start is tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        serverPort = freePort();
        if (serverPort > 0 && startServer())
            return true;
    }
    *error = QStringLiteral("the PostgreSQL server did not start (see %1/log)").arg(folder);
    return false;
}

bool PostgresCluster::startServer()
{
    // Durability is of no use to a throwaway cluster, and costs a test run
    // many seconds.
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off"
                                           " -c synchronous_commit=off -c full_page_writes=off -c max_connections=200")
                                .arg(serverPort)
                                .arg(folder);
    return run(QStringLiteral("pg_ctl"),
        { QStringLiteral("-D"), folder + QStringLiteral("/data"), QStringLiteral("-o"), options, QStringLiteral("-l"),
            folder + QStringLiteral("/log"), QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
            QStringLiteral("start") },
        nullptr);
}

bool PostgresCluster::stopServer()
{
    return run(QStringLiteral("pg_ctl"),
        { QStringLiteral("-D"), folder + QStringLiteral("/data"), QStringLiteral("-m"), QStringLiteral("fast"),
            QStringLiteral("-w"), QStringLiteral("stop") },
        nullptr);
}

void PostgresCluster::destroy()
{
    if (folder.isEmpty())
        return;
    if (serverPort > 0)
        run(QStringLiteral("pg_ctl"),
            { QStringLiteral("-D"), folder + QStringLiteral("/data"), QStringLiteral("-m"), QStringLiteral("immediate"),
                QStringLiteral("-w"), QStringLiteral("stop") },
            nullptr);
    QDir(folder).removeRecursively();
    folder.clear();
    theCluster = nullptr;
}

QString PostgresCluster::databaseUrl(const QString& name, QString* error)
{
    static QSet<QString> made;
    if (!made.contains(name)) {
        QString output;
        if (!run(QStringLiteral("createdb"),
                { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(serverPort),
                    QStringLiteral("-U"), user(), QStringLiteral("-T"), QStringLiteral("template0"), name },
                &output)
            && !output.contains(QStringLiteral("already exists"))) {
            if (error)
                *error = QStringLiteral("createdb failed: %1").arg(output);
            return QString();
        }
        made.insert(name);
    }
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user()).arg(serverPort).arg(name);
}

QString PostgresCluster::freshDatabaseUrl(QString* error)
{
    return databaseUrl(QStringLiteral("fresh%1").arg(++created), error);
}
