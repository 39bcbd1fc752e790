#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where the management platform is, as "host:port". A desk finds it, in this
// order, in the environment variable FREYMO_PLATFORM, in the key "address"
// of group [platform] of $XDG_CONFIG_HOME/freymo/freymo.conf (by default
// ~/.config/freymo/freymo.conf), in the same key of /etc/freymo/freymo.conf,
// and else at the address fixed at build time. A source whose value is not a
// host with an optional port is passed over with a debug line, so that a
// mistyped setting cannot leave the desk without any platform.
//
// The voice switch is at the platform's host and port 8883, unless the key
// "address" of group [voice] in the user's or the system's file (in that
// order) names it: "host" (port 8883) or "host:port".
class PlatformAddress
{
public:
    enum Source { Environment, UserConfig, SystemConfig, BuiltIn };

    static constexpr int DefaultVoicePort = 8883;

    struct Found
    {
        QString hostPort;
        Source source = BuiltIn;
        // The voice switch's "host" or "host:port" as configured; empty: the
        // platform's host and DefaultVoicePort.
        QString voiceHostPort;
    };

    // The look-up over the given environment and files.
    static Found lookup(
        const QProcessEnvironment& environment, const QString& userConfigFile, const QString& systemConfigFile);

    // This process's platform: looked up once, on the first call, in the real
    // environment and files.
    static const Found& current();
    // "http://" + host:port + "/api".
    static QString apiBase();
    // The voice switch's host and port: as configured, or else the
    // platform's host (built in, the voice switch's own fixed host) and
    // DefaultVoicePort.
    static QString voiceHost(const Found& found);
    static int voicePort(const Found& found);
    // The same for this process's platform.
    static QString voiceHost();
    static int voicePort();

    // Test seam: looks this process's addresses up again, in the real
    // environment and files as they are now (the application never calls it).
    static void lookUpAgainForTesting();

    static QString userConfigFile(const QProcessEnvironment& environment);
    static QString systemConfigFile();
    static QString builtIn();

    // "host" or "host:port" with a port in 1..65535, nothing else.
    static bool isValid(const QString& hostPort);
};
