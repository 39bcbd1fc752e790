#include "platformprocess.h"

#include "support/postgrescluster.h"

#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTest>
#include <QUrl>

#include <signal.h>

namespace {

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// A run on PostgreSQL without its server ends before any test.
const bool databaseChecked = PostgresCluster::endRunIfMissing();

} // namespace

PlatformProcess::PlatformProcess(const QString& executable)
    : executable(executable.isEmpty() ? QStringLiteral(FREYMO_PLATFORM_EXECUTABLE) : executable)
    , environment(QProcessEnvironment::systemEnvironment())
{
    process.setProcessChannelMode(QProcess::MergedChannels);
}

PlatformProcess::~PlatformProcess()
{
    stop();
}

void PlatformProcess::setEnvironmentValue(const QString& name, const QString& value)
{
    environment.insert(name, value);
}

QByteArray PlatformProcess::output()
{
    seen += process.readAll();
    return seen;
}

bool PlatformProcess::start(int timeoutMs)
{
    if (!dataDir.isValid()) {
        error = QStringLiteral("no temporary data folder");
        return false;
    }
    // The switch's port is chosen here, the HTTP port by the platform itself
    // (it prints it): a port probed free may be taken again before it binds.
    voice = freePort();
    // No metrics: their port is fixed, and other suites' platforms may be
    // running.
    QStringList arguments { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--voice-port"),
        QString::number(voice), QStringLiteral("--data-dir"), dataDir.path(), QStringLiteral("--seed-demo"),
        QStringLiteral("--metrics-port"), QStringLiteral("0") };
    arguments += extraArguments;
    Q_UNUSED(databaseChecked)
    if (PostgresCluster::wanted() && postgresUrl.isEmpty()) {
        PostgresCluster* cluster = PostgresCluster::instance(&error);
        postgresUrl = cluster ? cluster->freshDatabaseUrl(&error) : QString();
        if (postgresUrl.isEmpty())
            return false;
    }
    if (!postgresUrl.isEmpty())
        arguments << QStringLiteral("--database") << postgresUrl;
    process.setProcessEnvironment(environment);
    process.setProgram(executable);
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted()) {
        error = QStringLiteral("%1 did not start: %2").arg(executable, process.errorString());
        return false;
    }

    const QRegularExpression listening(QStringLiteral("listening on (http://127\\.0\\.0\\.1:\\d+/api)"));
    const QByteArray switchLine = QByteArray("voice switch on 127.0.0.1:") + QByteArray::number(voice);
    QRegularExpressionMatch http;
    const bool up = QTest::qWaitFor(
        [&] {
            http = listening.match(QString::fromUtf8(output()));
            return (http.hasMatch() && seen.contains(switchLine)) || process.state() != QProcess::Running;
        },
        timeoutMs);
    if (!up || !http.hasMatch()) {
        error = QStringLiteral("the platform did not come up:\n") + QString::fromUtf8(seen);
        stop();
        return false;
    }
    base = http.captured(1);
    return true;
}

bool PlatformProcess::stop(int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    output();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void PlatformProcess::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    process.waitForFinished();
    output();
}

int PlatformProcess::httpPort() const
{
    return QUrl(base).port();
}

QString PlatformProcess::databasePath() const
{
    return QDir(dataDir.path()).filePath(QStringLiteral("platform.db"));
}

QList<QVariantList> PlatformProcess::rows(const QString& sql, const QVariantList& bindings) const
{
    QList<QVariantList> result;
    const QString name = QStringLiteral("platform-readonly");
    {
        QSqlDatabase db;
        if (postgresUrl.isEmpty()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(databasePath());
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        } else {
            const QUrl url(postgresUrl);
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(url.host());
            db.setPort(url.port());
            db.setUserName(url.userName());
            db.setDatabaseName(url.path().mid(1));
        }
        QSqlQuery query(db);
        bool ok = db.open() && query.prepare(sql);
        for (const QVariant& binding : bindings)
            query.addBindValue(binding);
        ok = ok && query.exec();
        if (!ok) {
            qWarning("platform database: %s: %s", qPrintable(sql),
                qPrintable(db.isOpen() ? query.lastError().text() : db.lastError().text()));
        }
        while (ok && query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            result << row;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

QVariant PlatformProcess::value(const QString& sql, const QVariantList& bindings) const
{
    const QList<QVariantList> all = rows(sql, bindings);
    return all.isEmpty() || all.first().isEmpty() ? QVariant() : all.first().first();
}
