#include "platformoptions.h"

#include "admincommands.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace platform {

namespace {

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption address { QStringLiteral("address"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
        QStringLiteral("A") };
    QCommandLineOption port { QStringLiteral("port"),
        QStringLiteral("Port to listen on (default 8765; 0 = any free port)."), QStringLiteral("N") };
    QCommandLineOption dataDir { QStringLiteral("data-dir"),
        QStringLiteral("Folder of the database (default ~/.local/share/freymo-platform)."), QStringLiteral("DIR") };
    QCommandLineOption seedDemo { QStringLiteral("seed-demo"),
        QStringLiteral("Create the demo stations (users demo and demo2) when the database is empty.") };
    QCommandLineOption announce { QStringLiteral("announce-version"),
        QStringLiteral("Client version to announce (default \"1.0.1 Beta\")."), QStringLiteral("TEXT") };
    QCommandLineOption installer { QStringLiteral("installer"), QStringLiteral("File served as /download/setup.exe."),
        QStringLiteral("FILE") };
    QCommandLineOption voicePort { QStringLiteral("voice-port"),
        QStringLiteral("Port of the voice switch (default 8883; 0 turns it off)."), QStringLiteral("N") };
    QCommandLineOption publicAddress { QStringLiteral("public-address"),
        QStringLiteral("Host (and :port) that clients reach this server under, for the installer's download address "
                       "(default: the listening address and port)."),
        QStringLiteral("HOST[:PORT]") };
    QCommandLineOption sessionIdle { QStringLiteral("session-idle-hours"),
        QStringLiteral("A session ends after this many hours without a request (default 12)."), QStringLiteral("N") };
    QCommandLineOption sessionMaxAge { QStringLiteral("session-max-age-days"),
        QStringLiteral("A session ends this many days after its sign-in (default 30)."), QStringLiteral("N") };
    QCommandLineOption smsPerDay { QStringLiteral("sms-per-day"),
        QStringLiteral("Text messages one station may queue a day (default 200)."), QStringLiteral("N") };
    QCommandLineOption maxConnections { QStringLiteral("max-connections"),
        QStringLiteral("Open connections at most (default 512)."), QStringLiteral("N") };
    QCommandLineOption maxPerAddress { QStringLiteral("max-connections-per-address"),
        QStringLiteral("Open connections from one address at most (default 32)."), QStringLiteral("N") };
    QCommandLineOption requestTimeout { QStringLiteral("request-timeout"),
        QStringLiteral("Seconds in which a request has to arrive whole (default 30)."), QStringLiteral("N") };
    QCommandLineOption idleTimeout { QStringLiteral("idle-timeout"),
        QStringLiteral("Seconds after which an idle connection is closed (default 15)."), QStringLiteral("N") };
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help.") };

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Freymo management platform: the HTTP/JSON server of the freight stations."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({ address, port, dataDir, seedDemo, announce, installer, voicePort, publicAddress,
            sessionIdle, sessionMaxAge, smsPerDay, maxConnections, maxPerAddress, requestTimeout, idleTimeout, help });
    }
};

bool parsePort(const QString& text, int* port)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > 65535)
        return false;
    *port = value;
    return true;
}

// A whole number in [1, max] when the option is given; false with a message
// when it is given but no such number.
bool parseCount(const QCommandLineParser& parser, const QCommandLineOption& option, int max, int* value, QString* error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int number = parser.value(option).toInt(&ok);
    if (!ok || number < 1 || number > max) {
        *error = QStringLiteral("invalid value for --%1: %2").arg(option.names().first(), parser.value(option));
        return false;
    }
    *value = number;
    return true;
}

} // namespace

// The index of the first argument that names an admin command, skipping
// the values of the server's options; -1 when there is none.
int commandIndex(const QStringList& arguments, const Parser& p)
{
    const QList<QCommandLineOption> options
        = { p.address, p.port, p.dataDir, p.announce, p.installer, p.voicePort, p.publicAddress, p.sessionIdle,
              p.sessionMaxAge, p.smsPerDay, p.maxConnections, p.maxPerAddress, p.requestTimeout, p.idleTimeout };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return -1;
        if (!argument.startsWith(QLatin1Char('-')))
            return AdminCommands::names().contains(argument) ? i : -1;
        if (argument.contains(QLatin1Char('=')))
            continue;
        QString name = argument;
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        for (const QCommandLineOption& option : options) {
            if (option.names().contains(name))
                ++i; // its value
        }
    }
    return -1;
}

bool PlatformOptions::parse(const QStringList& givenArguments, PlatformOptions* options, QString* error)
{
    Parser p;
    QStringList arguments = givenArguments;
    QStringList command;
    const int index = commandIndex(arguments, p);
    if (index > 0) {
        command = arguments.mid(index);
        arguments = arguments.mid(0, index);
    }
    if (!p.parser.parse(arguments)) {
        *error = p.parser.errorText();
        return false;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(p.parser.positionalArguments().first());
        return false;
    }
    PlatformOptions result;
    result.help = p.parser.isSet(p.help);
    if (p.parser.isSet(p.address))
        result.address = p.parser.value(p.address);
    if (p.parser.isSet(p.port) && !parsePort(p.parser.value(p.port), &result.port)) {
        *error = QStringLiteral("invalid port: %1").arg(p.parser.value(p.port));
        return false;
    }
    if (p.parser.isSet(p.voicePort) && !parsePort(p.parser.value(p.voicePort), &result.voicePort)) {
        *error = QStringLiteral("invalid voice port: %1").arg(p.parser.value(p.voicePort));
        return false;
    }
    const bool counts = parseCount(p.parser, p.sessionIdle, 24 * 365, &result.sessionIdleHours, error)
        && parseCount(p.parser, p.sessionMaxAge, 3650, &result.sessionMaxAgeDays, error)
        && parseCount(p.parser, p.smsPerDay, 1000000, &result.smsPerDay, error)
        && parseCount(p.parser, p.maxConnections, 100000, &result.maxConnections, error)
        && parseCount(p.parser, p.maxPerAddress, 100000, &result.maxConnectionsPerAddress, error)
        && parseCount(p.parser, p.requestTimeout, 3600, &result.requestTimeoutSeconds, error)
        && parseCount(p.parser, p.idleTimeout, 3600, &result.idleTimeoutSeconds, error);
    if (!counts)
        return false;
    if (p.parser.isSet(p.publicAddress))
        result.publicAddress = p.parser.value(p.publicAddress);
    if (p.parser.isSet(p.dataDir))
        result.dataDir = p.parser.value(p.dataDir);
    result.seedDemo = p.parser.isSet(p.seedDemo);
    if (p.parser.isSet(p.announce))
        result.announcedVersion = p.parser.value(p.announce);
    if (p.parser.isSet(p.installer))
        result.installerPath = p.parser.value(p.installer);
    result.command = command;
    *options = result;
    return true;
}

QString PlatformOptions::helpText()
{
    Parser p;
    QString text = p.parser.helpText();
    text.replace(QStringLiteral("[options]"), QStringLiteral("[options] [command]"));
    return text + QLatin1Char('\n') + AdminCommands::helpText();
}

} // namespace platform
