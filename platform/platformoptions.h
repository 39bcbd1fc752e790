#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The command line of freymo-platform.
struct PlatformOptions
{
    QString address = QStringLiteral("127.0.0.1");
    int port = 8765; // 0: any free port
    QString dataDir; // empty: the per-user default
    bool seedDemo = false; // create the demo stations in an empty database
    QString announcedVersion = QStringLiteral("1.0.1 Beta");
    QString installerPath; // served as /download/setup.exe
    int voicePort = 8883; // the voice switch's port; 0 turns it off
    // "host[:port]" in the installer's download address.
    QString publicAddress;
    int sessionIdleHours = 12;
    int sessionMaxAgeDays = 30;
    int smsPerDay = 200;
    int maxConnections = 512;
    int maxConnectionsPerAddress = 32;
    int requestTimeoutSeconds = 30;
    int idleTimeoutSeconds = 15;
    bool help = false;

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
