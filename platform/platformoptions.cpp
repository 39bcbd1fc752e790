#include "platformoptions.h"

#include "admincommands.h"
#include "backupcommands.h"
#include "databaseurl.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <arpa/inet.h>
#include <netinet/in.h>

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
    QCommandLineOption database { QStringLiteral("database"),
        QStringLiteral("Where the records are: sqlite:PATH (default: platform.db in the data folder) or"
                       " postgresql://USER@HOST:PORT/DBNAME (the password from PGPASSWORD or PGPASSFILE)."),
        QStringLiteral("URL") };
    QCommandLineOption seedDemo { QStringLiteral("seed-demo"),
        QStringLiteral("Create the demo stations (users demo and demo2) when the database is empty.") };
    QCommandLineOption announce { QStringLiteral("announce-version"),
        QStringLiteral("Client version to announce (default \"1.0.1 Beta\")."), QStringLiteral("TEXT") };
    QCommandLineOption installer { QStringLiteral("installer"), QStringLiteral("File served as /download/setup.exe."),
        QStringLiteral("FILE") };
    QCommandLineOption voicePort { QStringLiteral("voice-port"),
        QStringLiteral("Port of the voice switch (default 8883; 0 turns it off)."), QStringLiteral("N") };
    QCommandLineOption metricsAddress { QStringLiteral("metrics-address"),
        QStringLiteral("Address of the metrics for Prometheus (default 127.0.0.1)."), QStringLiteral("A") };
    QCommandLineOption metricsPort { QStringLiteral("metrics-port"),
        QStringLiteral("Port of the metrics, at /metrics (default 9766; 0 turns them off)."), QStringLiteral("N") };
    QCommandLineOption proxyFrom { QStringLiteral("proxy-protocol-from"),
        QStringLiteral("Numeric addresses (comma-separated) of balancers whose connections begin with the PROXY "
                       "protocol's header, which names the client (default: none)."),
        QStringLiteral("A[,A...]") };
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
    QCommandLineOption eventKeepAlive { QStringLiteral("event-keepalive"),
        QStringLiteral("Seconds after which a quiet stream of changes gets a keep-alive comment (default 15)."),
        QStringLiteral("N") };
    // Write limits: a count a minute or a day, 0 for none.
    QCommandLineOption feedbackPerMinute { QStringLiteral("feedback-per-minute"),
        QStringLiteral("Feedback one station may send a minute (default 5; 0 = no limit)."), QStringLiteral("N") };
    QCommandLineOption feedbackPerDay { QStringLiteral("feedback-per-day"),
        QStringLiteral("Feedback one station may send a day (default 50; 0 = no limit)."), QStringLiteral("N") };
    QCommandLineOption visitsPerMinute { QStringLiteral("visits-per-minute"),
        QStringLiteral("Visit records one station may start a minute (default 60; 0 = no limit)."),
        QStringLiteral("N") };
    QCommandLineOption visitsPerDay { QStringLiteral("visits-per-day"),
        QStringLiteral("Visit records one station may start a day (default 2000; 0 = no limit)."),
        QStringLiteral("N") };
    QCommandLineOption partiesPerMinute { QStringLiteral("parties-per-minute"),
        QStringLiteral("Shippers and consignees one station may add a minute (default 60; 0 = no limit)."),
        QStringLiteral("N") };
    QCommandLineOption partiesPerDay { QStringLiteral("parties-per-day"),
        QStringLiteral("Shippers and consignees one station may add a day (default 2000; 0 = no limit)."),
        QStringLiteral("N") };
    QCommandLineOption recordWritesPerMinute { QStringLiteral("record-writes-per-minute"),
        QStringLiteral("Writes of trucks, trades, shippers and consignees one station may make a minute (default 600; "
                       "0 = no limit)."),
        QStringLiteral("N") };
    QCommandLineOption recordWritesPerDay { QStringLiteral("record-writes-per-day"),
        QStringLiteral("Writes of trucks, trades, shippers and consignees one station may make a day (default 20000; "
                       "0 = no limit)."),
        QStringLiteral("N") };
    QCommandLineOption trucksPerStation { QStringLiteral("max-trucks-per-station"),
        QStringLiteral("Trucks one station may have (default 500; 0 = no limit)."), QStringLiteral("N") };
    QCommandLineOption unreadPerGroup { QStringLiteral("unread-answers-per-group-mib"),
        QStringLiteral("MiB of answers waiting to be read by clients of one address group before their next "
                       "requests wait (default 16)."),
        QStringLiteral("N") };
    QCommandLineOption unreadTotal { QStringLiteral("unread-answers-mib"),
        QStringLiteral("MiB of answers waiting to be read by all clients before the next requests wait (default 64)."),
        QStringLiteral("N") };
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help.") };

    // The HTTP edge and the database's durability.
    QCommandLineOption maxPerGroup { QStringLiteral("max-connections-per-group"),
        QStringLiteral("Open connections from one address group at most (default 128)."), QStringLiteral("N") };
    QCommandLineOption ipv4GroupPrefix { QStringLiteral("ipv4-group-prefix"),
        QStringLiteral("Leading bits of an IPv4 address that make its group (default 24)."), QStringLiteral("BITS") };
    QCommandLineOption ipv6GroupPrefix { QStringLiteral("ipv6-group-prefix"),
        QStringLiteral("Leading bits of an IPv6 address that make its group (default 64)."), QStringLiteral("BITS") };
    QCommandLineOption reservedPercent { QStringLiteral("reserved-connections-percent"),
        QStringLiteral("Share of the connections that only addresses answered before may take (default 25, at "
                       "most 90)."),
        QStringLiteral("PERCENT") };
    QCommandLineOption synchronousFull { QStringLiteral("synchronous-full"),
        QStringLiteral("Write every commit through to the disk before answering, so that a power cut loses "
                       "nothing that was answered (slower writes).") };
    // The voice switch's limits.
    QCommandLineOption voiceMaxConnections { QStringLiteral("voice-max-connections"),
        QStringLiteral("Open connections to the voice switch at most (default 64)."), QStringLiteral("N") };
    QCommandLineOption voiceMaxPerAddress { QStringLiteral("voice-max-connections-per-address"),
        QStringLiteral("Open connections to the voice switch from one address at most (default 8)."),
        QStringLiteral("N") };
    QCommandLineOption voiceMaxPerGroup { QStringLiteral("voice-max-connections-per-group"),
        QStringLiteral("Open connections to the voice switch from one address group at most (default 32)."),
        QStringLiteral("N") };
    QCommandLineOption voiceReservedPercent { QStringLiteral("voice-reserved-percent"),
        QStringLiteral("Share of the voice switch's connections kept for signed-in sessions (default 25, at most "
                       "90)."),
        QStringLiteral("PERCENT") };
    QCommandLineOption voiceLoginTimeout { QStringLiteral("voice-login-timeout"),
        QStringLiteral("Seconds in which a voice connection has to sign in (default 5)."), QStringLiteral("N") };
    QCommandLineOption voiceIdleTimeout { QStringLiteral("voice-idle-timeout"),
        QStringLiteral("Seconds after which a silent voice session is closed (default 45, at least 30)."),
        QStringLiteral("N") };

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Freymo management platform: the HTTP/JSON server of the freight stations."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({ address, port, dataDir, database, seedDemo, announce, installer, voicePort, publicAddress,
            sessionIdle, sessionMaxAge, smsPerDay, maxConnections, maxPerAddress, requestTimeout, idleTimeout, help });
        parser.addOption(eventKeepAlive);
        parser.addOptions({ maxPerGroup, ipv4GroupPrefix, ipv6GroupPrefix, reservedPercent, synchronousFull });
        parser.addOptions({ feedbackPerMinute, feedbackPerDay, visitsPerMinute, visitsPerDay, partiesPerMinute,
            partiesPerDay, recordWritesPerMinute, recordWritesPerDay, trucksPerStation });
        parser.addOptions({ unreadPerGroup, unreadTotal });
        parser.addOptions({ voiceMaxConnections, voiceMaxPerAddress, voiceMaxPerGroup, voiceReservedPercent,
            voiceLoginTimeout, voiceIdleTimeout });
        parser.addOptions({ metricsAddress, metricsPort, proxyFrom });
    }
};

// `text` as the system writes a numeric IPv4 or IPv6 address; empty when it
// is none.
QString numericAddress(const QString& text)
{
    const std::string given = text.toStdString();
    unsigned char bytes[sizeof(in6_addr)] = {};
    char written[INET6_ADDRSTRLEN] = {};
    for (const int family : { AF_INET, AF_INET6 }) {
        if (inet_pton(family, given.c_str(), bytes) == 1 && inet_ntop(family, bytes, written, sizeof written))
            return QString::fromLatin1(written);
    }
    return QString();
}

bool parsePort(const QString& text, int* port)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > 65535)
        return false;
    *port = value;
    return true;
}

// A whole number in [min, max] when the option is given; false with a
// message when it is given but no such number.
bool parseNumber(
    const QCommandLineParser& parser, const QCommandLineOption& option, int min, int max, int* value, QString* error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int number = parser.value(option).toInt(&ok);
    if (!ok || number < min || number > max) {
        *error = QStringLiteral("invalid value for --%1: %2").arg(option.names().first(), parser.value(option));
        return false;
    }
    *value = number;
    return true;
}

bool parseCount(const QCommandLineParser& parser, const QCommandLineOption& option, int max, int* value, QString* error)
{
    return parseNumber(parser, option, 1, max, value, error);
}

// A whole number in [0, max] (0: no limit) when the option is given.
bool parseLimit(const QCommandLineParser& parser, const QCommandLineOption& option, int* value, QString* error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int number = parser.value(option).toInt(&ok);
    if (!ok || number < 0 || number > 1000000) {
        *error = QStringLiteral("invalid value for --%1: %2").arg(option.names().first(), parser.value(option));
        return false;
    }
    *value = number;
    return true;
}

// The voice switch's limits. The SDK sends a keep-alive every 15 seconds:
// an idle timeout of less than two of those would close sessions in use.
bool parseVoiceLimits(const Parser& p, PlatformOptions* result, QString* error)
{
    if (!parseCount(p.parser, p.voiceMaxConnections, 100000, &result->voiceMaxConnections, error)
        || !parseCount(p.parser, p.voiceMaxPerAddress, 100000, &result->voiceMaxConnectionsPerAddress, error)
        || !parseCount(p.parser, p.voiceMaxPerGroup, 100000, &result->voiceMaxConnectionsPerGroup, error)
        || !parseNumber(p.parser, p.voiceReservedPercent, 0, 90, &result->voiceReservedPercent, error)
        || !parseCount(p.parser, p.voiceLoginTimeout, 3600, &result->voiceLoginTimeoutSeconds, error)
        || !parseCount(p.parser, p.voiceIdleTimeout, 24 * 3600, &result->voiceIdleTimeoutSeconds, error))
        return false;
    if (result->voiceIdleTimeoutSeconds < 30) {
        *error = QStringLiteral("invalid value for --voice-idle-timeout: %1 (at least 30 seconds, as the voice SDK "
                                "sends a keep-alive every 15)")
                     .arg(result->voiceIdleTimeoutSeconds);
        return false;
    }
    return true;
}

} // namespace

// The index of the first argument that names an admin command, skipping
// the values of the server's options; -1 when there is none.
int commandIndex(const QStringList& arguments, const Parser& p)
{
    const QList<QCommandLineOption> options = { p.address, p.port, p.dataDir, p.database, p.announce, p.installer,
        p.voicePort, p.publicAddress, p.sessionIdle, p.sessionMaxAge, p.smsPerDay, p.maxConnections, p.maxPerAddress,
        p.requestTimeout, p.idleTimeout, p.metricsAddress, p.metricsPort, p.proxyFrom, p.eventKeepAlive };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return -1;
        if (!argument.startsWith(QLatin1Char('-')))
            return AdminCommands::names().contains(argument) || BackupCommands::names().contains(argument) ? i : -1;
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
    if (p.parser.isSet(p.metricsPort) && !parsePort(p.parser.value(p.metricsPort), &result.metricsPort)) {
        *error = QStringLiteral("invalid metrics port: %1").arg(p.parser.value(p.metricsPort));
        return false;
    }
    if (p.parser.isSet(p.metricsAddress))
        result.metricsAddress = p.parser.value(p.metricsAddress);
    for (const QString& given : p.parser.values(p.proxyFrom).join(QLatin1Char(',')).split(QLatin1Char(','))) {
        if (given.trimmed().isEmpty())
            continue;
        const QString proxy = numericAddress(given.trimmed());
        if (proxy.isEmpty()) {
            *error = QStringLiteral("invalid value for --proxy-protocol-from: %1 (a numeric address)").arg(given);
            return false;
        }
        result.proxies << proxy;
    }
    const bool counts = parseCount(p.parser, p.sessionIdle, 24 * 365, &result.sessionIdleHours, error)
        && parseCount(p.parser, p.sessionMaxAge, 3650, &result.sessionMaxAgeDays, error)
        && parseCount(p.parser, p.smsPerDay, 1000000, &result.limits.smsPerDay, error)
        && parseCount(p.parser, p.maxConnections, 100000, &result.maxConnections, error)
        && parseCount(p.parser, p.maxPerAddress, 100000, &result.maxConnectionsPerAddress, error)
        && parseCount(p.parser, p.requestTimeout, 3600, &result.requestTimeoutSeconds, error)
        && parseCount(p.parser, p.idleTimeout, 3600, &result.idleTimeoutSeconds, error)
        && parseCount(p.parser, p.eventKeepAlive, 3600, &result.eventKeepAliveSeconds, error)
        && parseCount(p.parser, p.maxPerGroup, 100000, &result.maxConnectionsPerGroup, error)
        && parseCount(p.parser, p.ipv4GroupPrefix, 32, &result.ipv4GroupPrefix, error)
        && parseCount(p.parser, p.ipv6GroupPrefix, 128, &result.ipv6GroupPrefix, error)
        && parseNumber(p.parser, p.reservedPercent, 0, 90, &result.reservedConnectionsPercent, error);
    if (!counts)
        return false;
    result.synchronousFull = p.parser.isSet(p.synchronousFull);
    const bool writeLimits = parseLimit(p.parser, p.feedbackPerMinute, &result.limits.feedbackPerMinute, error)
        && parseLimit(p.parser, p.feedbackPerDay, &result.limits.feedbackPerDay, error)
        && parseLimit(p.parser, p.visitsPerMinute, &result.limits.visitsPerMinute, error)
        && parseLimit(p.parser, p.visitsPerDay, &result.limits.visitsPerDay, error)
        && parseLimit(p.parser, p.partiesPerMinute, &result.limits.partiesPerMinute, error)
        && parseLimit(p.parser, p.partiesPerDay, &result.limits.partiesPerDay, error)
        && parseLimit(p.parser, p.recordWritesPerMinute, &result.limits.recordWritesPerMinute, error)
        && parseLimit(p.parser, p.recordWritesPerDay, &result.limits.recordWritesPerDay, error)
        && parseLimit(p.parser, p.trucksPerStation, &result.limits.trucksPerStation, error)
        && parseCount(p.parser, p.unreadPerGroup, 4096, &result.unreadAnswersPerGroupMiB, error)
        && parseCount(p.parser, p.unreadTotal, 65536, &result.unreadAnswersMiB, error);
    if (!writeLimits)
        return false;
    if (!parseVoiceLimits(p, &result, error))
        return false;
    if (p.parser.isSet(p.publicAddress))
        result.publicAddress = p.parser.value(p.publicAddress);
    if (p.parser.isSet(p.dataDir))
        result.dataDir = p.parser.value(p.dataDir);
    // An empty value is the default, so that a service's options file can
    // leave it empty.
    if (p.parser.isSet(p.database) && !p.parser.value(p.database).isEmpty()) {
        result.database = p.parser.value(p.database);
        DatabaseUrl url;
        if (!DatabaseUrl::parse(result.database, &url, error))
            return false;
    }
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
    return text + QLatin1Char('\n') + AdminCommands::helpText() + BackupCommands::helpText();
}

} // namespace platform
