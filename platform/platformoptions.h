#pragma once

#include "servicelimits.h"

#include <QString>
#include <QStringList>

namespace platform {

// The command line of freymo-platform.
struct PlatformOptions
{
    QString address = QStringLiteral("127.0.0.1");
    int port = 8765; // 0: any free port
    QString dataDir; // empty: the per-user default
    // --database: empty for the SQLite file in the data folder; else a
    // DatabaseUrl, checked by parse().
    QString database;
    bool seedDemo = false; // create the demo stations in an empty database
    QString announcedVersion = QStringLiteral("1.0.1 Beta");
    QString installerPath; // served as /download/setup.exe
    int voicePort = 8883; // the voice switch's port; 0 turns it off
    // Where the metrics are shown (Prometheus's text format at /metrics);
    // port 0 turns them off.
    QString metricsAddress = QStringLiteral("127.0.0.1");
    int metricsPort = 9766;
    // "host[:port]" in the installer's download address.
    QString publicAddress;
    int sessionIdleHours = 12;
    int sessionMaxAgeDays = 30;
    int maxConnections = 512;
    int maxConnectionsPerAddress = 32;
    int requestTimeoutSeconds = 30;
    int idleTimeoutSeconds = 15;
    // A quiet stream of changes gets a keep-alive comment this often.
    int eventKeepAliveSeconds = 15;
    // The text messages a station may queue a day and the bounds of its
    // writes; the session times above override the limits' own.
    ServiceLimits limits;

    // Answers waiting to be read, in MiB: by group of addresses, in all.
    int unreadAnswersPerGroupMiB = 16;
    int unreadAnswersMiB = 64;

    // The voice switch's limits.
    int voiceMaxConnections = 64;
    int voiceMaxConnectionsPerAddress = 8;
    int voiceMaxConnectionsPerGroup = 32;
    // Share of the switch's connections (in percent) that connections not
    // signed in may not take.
    int voiceReservedPercent = 25;
    int voiceLoginTimeoutSeconds = 5;
    // Longer than the SDK's keep-alive interval (15 s), or sessions in use
    // are closed.
    int voiceIdleTimeoutSeconds = 45;

    bool help = false;

    // Balancers whose connections name their clients with the PROXY
    // protocol: numeric addresses, as the system writes them.
    QStringList proxies;

    // The HTTP edge and the database's durability.
    int maxConnectionsPerGroup = 128;
    int ipv4GroupPrefix = 24; // bits of an IPv4 address that make its group
    int ipv6GroupPrefix = 64;
    int reservedConnectionsPercent = 25; // for addresses answered before
    bool synchronousFull = false; // every commit on disk before it is answered
    // Administration (see AdminCommands): the first argument that is a
    // command's name and everything after it, which the command parses
    // itself. Empty when the server is to run.
    QStringList command;

    // Parses `arguments` (the program name first). On a bad command line
    // returns false with a message in `error`.
    static bool parse(const QStringList& arguments, PlatformOptions* options, QString* error);
    static QString helpText();
};

} // namespace platform
