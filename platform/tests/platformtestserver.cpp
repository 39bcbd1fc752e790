#include "platformtestserver.h"

#include "demoseed.h"

#include <QDir>
#include <QMutexLocker>

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

bool PlatformTestServer::start(const platform::PlatformServer::Config& config)
{
    stop();
    store = std::make_unique<platform::Storage>();
    QString error;
    if (!store->open(databasePath(), &error)) {
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

QStringList PlatformTestServer::logLines() const
{
    QMutexLocker lock(&logMutex);
    return log;
}
