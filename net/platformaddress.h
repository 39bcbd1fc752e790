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
class PlatformAddress
{
public:
    enum Source { Environment, UserConfig, SystemConfig, BuiltIn };

    struct Found
    {
        QString hostPort;
        Source source = BuiltIn;
    };

    // The look-up over the given environment and files.
    static Found lookup(
        const QProcessEnvironment& environment, const QString& userConfigFile, const QString& systemConfigFile);

    // This process's platform: looked up once, on the first call, in the real
    // environment and files.
    static const Found& current();
    // "http://" + host:port + "/api".
    static QString apiBase();
    // The host without the port, for the voice switch. Built in, the voice
    // switch's own fixed host.
    static QString voiceHost();

    static QString userConfigFile(const QProcessEnvironment& environment);
    static QString systemConfigFile();
    static QString builtIn();

    // "host" or "host:port" with a port in 1..65535, nothing else.
    static bool isValid(const QString& hostPort);
};
