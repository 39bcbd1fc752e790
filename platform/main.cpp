// freymo-platform: the management platform's HTTP/JSON server.

#include "admincommands.h"
#include "answercache.h"
#include "backupcommands.h"
#include "demoseed.h"
#include "metricsserver.h"
#include "platformmetrics.h"
#include "platformoptions.h"
#include "platformserver.h"
#include "proxyheader.h"
#include "servinglock.h"
#include "storage.h"
#include "voiceswitch.h"

#include <QCoreApplication>
#include <QDir>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <pthread.h>
#include <thread>

using namespace platform;

namespace {

void print(const QString& text, FILE* stream = stdout)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    // SIGINT and SIGTERM are taken by one waiting thread (below); every
    // other thread, the server's included, inherits them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A client that hangs up while its answer is being written must not end
    // the server: the write fails with EPIPE instead.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("freymo-platform"));

    PlatformOptions options;
    QString error;
    if (!PlatformOptions::parse(QCoreApplication::arguments(), &options, &error)) {
        print(QStringLiteral("freymo-platform: %1\n\n%2").arg(error, PlatformOptions::helpText()), stderr);
        return 2;
    }
    if (options.help) {
        print(PlatformOptions::helpText());
        return 0;
    }

    const QString dataDir = options.dataDir.isEmpty() ? Storage::defaultDataDir() : options.dataDir;
    Storage storage;
    storage.setSynchronousFull(options.synchronousFull);
    DatabaseUrl database = DatabaseUrl::sqliteFile(QDir(dataDir).filePath(Storage::databaseFileName()));
    if (!options.database.isEmpty())
        DatabaseUrl::parse(options.database, &database, &error);
    const auto out = [](const QString& line) { print(line); };
    const auto err = [](const QString& line) { print(line, stderr); };
    if (BackupCommands::names().contains(options.command.value(0))) {
        pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
        return BackupCommands::run(options.command, database, out, err);
    }
    // Held while the process runs, so that no restore replaces the file
    // under it; a copy of the file holds it alone, so that no server writes
    // what the copy would miss.
    ServingLock servingLock;
    const ServingLock::Kind lockKind
        = options.command.value(0) == QLatin1String("copy-to") ? ServingLock::Replacing : ServingLock::Serving;
    if (database.kind == DatabaseUrl::SQLite && !servingLock.acquire(database.path, lockKind, &error)) {
        print(QStringLiteral("freymo-platform: %1").arg(error), stderr);
        return 1;
    }
    if (!storage.open(database, &error)) {
        print(QStringLiteral("freymo-platform: %1").arg(error), stderr);
        return 1;
    }
    if (!options.command.isEmpty()) {
        // A person may break a command off (at the password prompt, say).
        pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
        return AdminCommands::run(options.command, storage, &AdminCommands::readStandardInput, out, err);
    }
    try {
        if (options.seedDemo && DemoSeed::seedIfEmpty(storage))
            print(QStringLiteral("created the demo stations (users demo and demo2)"));
    } catch (const std::exception& e) {
        print(QStringLiteral("freymo-platform: seeding failed: %1").arg(QString::fromStdString(e.what())), stderr);
        return 1;
    }

    // The voice switch signs in the voice accounts that this platform handed
    // out at login, and checks them again while their sessions last, so that
    // a session ends with its account whichever process stopped it or
    // changed its secrets; --voice-port 0 turns it off. It is up before the
    // HTTP port answers, so that whoever waits for that port finds the switch
    // running.
    std::unique_ptr<voiceswitch::VoiceSwitch> voiceSwitch;
    if (options.voicePort != 0) {
        voiceSwitch = std::make_unique<voiceswitch::VoiceSwitch>(
            [&storage](const std::string& subAccount, const std::string& subAccountPwd, const std::string& voipAccount,
                const std::string& voipPwd) {
                switch (storage.checkVoiceAccount(subAccount, subAccountPwd, voipAccount, voipPwd)) {
                case Storage::VoiceAccount::Held:
                    return voiceswitch::VoiceSwitch::Account::Accepted;
                case Storage::VoiceAccount::NotHeld:
                    return voiceswitch::VoiceSwitch::Account::Refused;
                case Storage::VoiceAccount::Unknown:
                    break;
                }
                return voiceswitch::VoiceSwitch::Account::Unknown;
            });
        voiceSwitch->setConnectionLimits(static_cast<std::size_t>(options.voiceMaxConnections),
            static_cast<std::size_t>(options.voiceMaxConnectionsPerAddress),
            static_cast<std::size_t>(options.voiceMaxConnectionsPerGroup),
            static_cast<unsigned>(options.voiceReservedPercent));
        voiceSwitch->setAddressGroups(options.ipv4GroupPrefix, options.ipv6GroupPrefix);
        voiceSwitch->setLoginTimeout(std::chrono::seconds(options.voiceLoginTimeoutSeconds));
        voiceSwitch->setIdleTimeout(std::chrono::seconds(options.voiceIdleTimeoutSeconds));
        // Behind a balancer, as the HTTP port is.
        std::vector<std::string> proxies;
        for (const QString& proxy : options.proxies)
            proxies.push_back(proxy.toStdString());
        if (!proxies.empty())
            voiceSwitch->setProxies(proxies, &ProxyHeader::clientOfLine);
        voiceSwitch->setRefusalObserver([](const std::string& limit) { PlatformMetrics::instance().refused(limit); });
        if (!voiceSwitch->start(options.address.toStdString(), options.voicePort)) {
            print(QStringLiteral("freymo-platform: voice switch: %1")
                      .arg(QString::fromStdString(voiceSwitch->errorString())),
                stderr);
            return 1;
        }
        print(QStringLiteral("freymo-platform voice switch on %1:%2").arg(options.address).arg(voiceSwitch->port()));
        // A password change ends the user's voice sessions, which signed in
        // with the secrets it replaced.
        storage.setVoiceSessionEnder(
            [voice = voiceSwitch.get()](const std::string& subAccount) { voice->endSessionsOf(subAccount); });
    }

    // The metrics come up before the HTTP port answers, as the switch does.
    // They are for watching the platform: a port that is taken leaves the
    // stations their platform, without metrics, and says so.
    PlatformMetrics& metrics = PlatformMetrics::instance();
    MetricsServer metricsServer;
    std::vector<std::shared_ptr<void>> metricReaders;
    std::string metricsFailure;
    if (options.metricsPort != 0
        && !metricsServer.start(options.metricsAddress.toStdString(), options.metricsPort, &metricsFailure))
        print(QStringLiteral("freymo-platform: no metrics: %1").arg(QString::fromStdString(metricsFailure)), stderr);
    if (metricsServer.port() != 0) {
        print(QStringLiteral("freymo-platform metrics on http://%1:%2/metrics")
                  .arg(options.metricsAddress)
                  .arg(metricsServer.port()));
        metricReaders.push_back(metrics.addReader("freymo_platform_answer_reuse_entries", "Answers kept for reuse.",
            PlatformMetrics::Kind::Gauge, [] { return static_cast<double>(AnswerCache::keptEntries()); }));
        metricReaders.push_back(metrics.addReader("freymo_platform_answer_reuse_bytes",
            "Bytes of the answers kept for reuse, as estimated.", PlatformMetrics::Kind::Gauge,
            [] { return static_cast<double>(AnswerCache::keptBytes()); }));
        if (voiceSwitch)
            metricReaders.push_back(metrics.addReader("freymo_platform_voice_sessions",
                "Sessions signed in to the voice switch.", PlatformMetrics::Kind::Gauge,
                [voice = voiceSwitch.get()] { return static_cast<double>(voice->sessionCount()); }));
    }

    PlatformServer::Config config;
    config.address = options.address;
    config.port = options.port;
    config.announcedVersion = options.announcedVersion;
    config.installerPath = options.installerPath;
    config.publicAddress = options.publicAddress;
    config.maxConnections = static_cast<unsigned>(options.maxConnections);
    config.maxConnectionsPerAddress = static_cast<unsigned>(options.maxConnectionsPerAddress);
    config.requestTimeoutSeconds = static_cast<unsigned>(options.requestTimeoutSeconds);
    config.idleTimeoutSeconds = static_cast<unsigned>(options.idleTimeoutSeconds);
    config.eventKeepAliveSeconds = static_cast<unsigned>(options.eventKeepAliveSeconds);
    config.limits = options.limits;
    config.limits.sessionIdleSeconds = options.sessionIdleHours * 3600;
    config.limits.sessionMaxAgeSeconds = options.sessionMaxAgeDays * 24 * 3600;
    config.maxConnectionsPerGroup = static_cast<unsigned>(options.maxConnectionsPerGroup);
    config.ipv4GroupBits = options.ipv4GroupPrefix;
    config.ipv6GroupBits = options.ipv6GroupPrefix;
    config.reservedPercent = static_cast<unsigned>(options.reservedConnectionsPercent);
    config.unreadAnswerBytesPerGroup = static_cast<size_t>(options.unreadAnswersPerGroupMiB) * 1024 * 1024;
    config.unreadAnswerBytes = static_cast<size_t>(options.unreadAnswersMiB) * 1024 * 1024;
    config.proxies = options.proxies;
    PlatformServer server(storage, config);
    if (!server.bind(&error)) {
        print(QStringLiteral("freymo-platform: %1").arg(error), stderr);
        return 1;
    }
    print(QStringLiteral("freymo-platform listening on http://%1:%2/api").arg(options.address).arg(server.port()));
    print(QStringLiteral("freymo-platform data in %1").arg(storage.location()));

    std::atomic<bool> signalled { false };
    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        signalled = true;
        server.stop();
    });
    server.serve();
    // When serving ended for another reason, wake the waiter so it can end.
    if (!signalled)
        pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    if (voiceSwitch)
        voiceSwitch->stop();

    print(QStringLiteral("freymo-platform stopped"));
    return 0;
}
