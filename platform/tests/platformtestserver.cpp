#include "platformtestserver.h"

#include "credentials.h"
#include "demoseed.h"
#include "sessionservice.h"
#include "sql.h"
#include "support/postgrescluster.h"
#include "transaction.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMutexLocker>

namespace {

// A run on PostgreSQL without its server is skipped as a whole (CTest's
// SKIP_RETURN_CODE), before any test, unless it is required.
const bool databaseChecked = PostgresCluster::endRunIfMissing();

} // namespace

PlatformTestServer::PlatformTestServer(bool seedDemo, const QString& dataDir)
    : folder(dataDir.isEmpty() ? temporary.path() : dataDir)
    , seed(seedDemo)
{
}

PlatformTestServer::~PlatformTestServer()
{
    stop();
}

QString PlatformTestServer::databasePath() const
{
    return QDir(folder).filePath(platform::Storage::databaseFileName());
}

bool PlatformTestServer::onPostgreSQL()
{
    return PostgresCluster::wanted();
}

bool PlatformTestServer::databaseUrl(platform::DatabaseUrl* url, QString* error) const
{
    if (!onPostgreSQL()) {
        *url = platform::DatabaseUrl::sqliteFile(databasePath());
        return true;
    }
    PostgresCluster* cluster = PostgresCluster::instance(error);
    if (!cluster)
        return false;
    // One database per data folder, so that reopening a folder reopens its
    // records, as with the SQLite file.
    const QString name = QStringLiteral("t")
        + QString::fromLatin1(
            QCryptographicHash::hash(QDir(folder).absolutePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(20));
    const QString text = cluster->databaseUrl(name, error);
    return !text.isEmpty() && platform::DatabaseUrl::parse(text, url, error);
}

QStringList PlatformTestServer::databaseArguments() const
{
    QStringList arguments { QStringLiteral("--data-dir"), folder };
    platform::DatabaseUrl url;
    QString error;
    if (onPostgreSQL() && databaseUrl(&url, &error))
        arguments << QStringLiteral("--database") << url.toString();
    return arguments;
}

bool PlatformTestServer::start(const platform::PlatformServer::Config& config)
{
    stop();
    Q_UNUSED(databaseChecked)
    store = std::make_unique<platform::Storage>();
    QString error;
    platform::DatabaseUrl url;
    if (!databaseUrl(&url, &error) || !store->open(url, &error)) {
        qWarning("cannot open the test database: %s", qPrintable(error));
        return false;
    }
    if (seed)
        platform::DemoSeed::seedIfEmpty(*store);

    platform::PlatformServer::Config local = config;
    local.address = QStringLiteral("127.0.0.1");
    local.port = 0;
    server = std::make_unique<platform::PlatformServer>(*store, local);
    server->setLogSink([this](const QString& line) {
        QMutexLocker lock(&logMutex);
        log.append(line);
    });
    if (!server->bind(&error)) {
        qWarning("cannot bind the test server: %s", qPrintable(error));
        return false;
    }
    serverPort = server->port();
    server->start();
    return true;
}

void PlatformTestServer::stop()
{
    server.reset(); // stops and joins the serving threads first
    store.reset();
    serverPort = -1;
}

qint64 PlatformTestServer::addClerk(const QString& station, const QString& login, const QString& name) const
{
    if (!store)
        return 0;
    const QSqlDatabase db = store->connection();
    platform::Transaction transaction(db, platform::Transaction::Write);
    const qint64 organ
        = platform::Sql::scalar(db, QStringLiteral("SELECT organ FROM users WHERE username = ?"), { station }, 0)
              .toLongLong();
    if (organ <= 0)
        return 0;
    const qint64 user = platform::SessionService::insertUser(
        db, organ, login, platform::Credentials::hashPassword(QStringLiteral("load")), name, QStringLiteral("clerk"));
    transaction.commit();
    return user;
}

QStringList PlatformTestServer::logLines() const
{
    QMutexLocker lock(&logMutex);
    return log;
}
