#include "platformoptions.h"

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
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show this help.") };

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Freymo management platform: the HTTP/JSON server of the freight stations."));
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions({ address, port, dataDir, seedDemo, announce, installer, voicePort, help });
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

} // namespace

bool PlatformOptions::parse(const QStringList& arguments, PlatformOptions* options, QString* error)
{
    Parser p;
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
    if (p.parser.isSet(p.dataDir))
        result.dataDir = p.parser.value(p.dataDir);
    result.seedDemo = p.parser.isSet(p.seedDemo);
    if (p.parser.isSet(p.announce))
        result.announcedVersion = p.parser.value(p.announce);
    if (p.parser.isSet(p.installer))
        result.installerPath = p.parser.value(p.installer);
    *options = result;
    return true;
}

QString PlatformOptions::helpText()
{
    Parser p;
    return p.parser.helpText();
}

} // namespace platform
