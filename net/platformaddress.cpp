#include "net/platformaddress.h"

#include "buildconfig.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace {

QString configuredAddress(const QString& file, const QString& group = QStringLiteral("platform"))
{
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return QString();
    const QSettings settings(file, QSettings::IniFormat);
    return settings.value(group + QStringLiteral("/address")).toString().trimmed();
}

PlatformAddress::Found& found()
{
    static PlatformAddress::Found address = [] {
        const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        return PlatformAddress::lookup(
            environment, PlatformAddress::userConfigFile(environment), PlatformAddress::systemConfigFile());
    }();
    return address;
}

} // namespace

bool PlatformAddress::isValid(const QString& hostPort)
{
    if (hostPort.isEmpty() || hostPort.contains(QLatin1Char('/')) || hostPort.contains(QLatin1Char('@'))
        || hostPort.contains(QLatin1Char('?')) || hostPort.contains(QLatin1Char('#')))
        return false;
    const QUrl url(QStringLiteral("http://") + hostPort, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    // QUrl gives -1 for a missing port and refuses ports above 65535; an
    // empty or zero port ("host:", "host:0") is refused here.
    const bool portGiven = hostPort.lastIndexOf(QLatin1Char(':')) > hostPort.lastIndexOf(QLatin1Char(']'));
    return !portGiven || url.port() > 0;
}

PlatformAddress::Found PlatformAddress::lookup(
    const QProcessEnvironment& environment, const QString& userConfigFile, const QString& systemConfigFile)
{
    const QString fromEnvironment = environment.value(QStringLiteral("FREYMO_PLATFORM")).trimmed();
    const struct
    {
        QString value;
        Source source;
        QString origin;
    } candidates[] = {
        { fromEnvironment, Environment, QStringLiteral("FREYMO_PLATFORM") },
        { configuredAddress(userConfigFile), UserConfig, userConfigFile },
        { configuredAddress(systemConfigFile), SystemConfig, systemConfigFile },
    };
    Found found { builtIn(), BuiltIn, QString() };
    for (const auto& candidate : candidates) {
        if (candidate.value.isEmpty())
            continue;
        if (isValid(candidate.value)) {
            found = { candidate.value, candidate.source, QString() };
            break;
        }
        qDebug() << "not a platform address (host:port) in" << candidate.origin << ":" << candidate.value;
    }
    for (const QString& file : { userConfigFile, systemConfigFile }) {
        const QString voice = configuredAddress(file, QStringLiteral("voice"));
        if (voice.isEmpty())
            continue;
        if (isValid(voice)) {
            found.voiceHostPort = voice;
            break;
        }
        qDebug() << "not a voice switch address (host:port) in" << file << ":" << voice;
    }
    return found;
}

const PlatformAddress::Found& PlatformAddress::current()
{
    return found();
}

void PlatformAddress::lookUpAgainForTesting()
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    found() = lookup(environment, userConfigFile(environment), systemConfigFile());
}

QString PlatformAddress::apiBase()
{
    return QStringLiteral("http://") + current().hostPort + QStringLiteral("/api");
}

QString PlatformAddress::voiceHost(const Found& found)
{
    if (!found.voiceHostPort.isEmpty())
        return QUrl(QStringLiteral("http://") + found.voiceHostPort).host();
    if (found.source == BuiltIn)
        return QStringLiteral(FREYMO_VOICE_HOST);
    return QUrl(QStringLiteral("http://") + found.hostPort).host();
}

int PlatformAddress::voicePort(const Found& found)
{
    if (found.voiceHostPort.isEmpty())
        return DefaultVoicePort;
    return QUrl(QStringLiteral("http://") + found.voiceHostPort).port(DefaultVoicePort);
}

QString PlatformAddress::voiceHost()
{
    return voiceHost(current());
}

int PlatformAddress::voicePort()
{
    return voicePort(current());
}

QString PlatformAddress::userConfigFile(const QProcessEnvironment& environment)
{
    QString base = environment.value(QStringLiteral("XDG_CONFIG_HOME"));
    // A relative XDG_CONFIG_HOME would depend on the folder the client was
    // started in, so it is ignored and the home folder's .config serves.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        const QString home = environment.value(QStringLiteral("HOME"));
        if (home.isEmpty())
            return QString();
        base = home + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/freymo/freymo.conf");
}

QString PlatformAddress::systemConfigFile()
{
    return QStringLiteral("/etc/freymo/freymo.conf");
}

QString PlatformAddress::builtIn()
{
    return QStringLiteral(FREYMO_PLATFORM_HOST);
}
