#include "net/platformaddress.h"

#include "buildconfig.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace {

QString configuredAddress(const QString& file)
{
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return QString();
    const QSettings settings(file, QSettings::IniFormat);
    return settings.value(QStringLiteral("platform/address")).toString().trimmed();
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
    for (const auto& candidate : candidates) {
        if (candidate.value.isEmpty())
            continue;
        if (isValid(candidate.value))
            return { candidate.value, candidate.source };
        qDebug() << "not a platform address (host:port) in" << candidate.origin << ":" << candidate.value;
    }
    return { builtIn(), BuiltIn };
}

const PlatformAddress::Found& PlatformAddress::current()
{
    static const Found found = [] {
        const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        return lookup(environment, userConfigFile(environment), systemConfigFile());
    }();
    return found;
}

QString PlatformAddress::apiBase()
{
    return QStringLiteral("http://") + current().hostPort + QStringLiteral("/api");
}

QString PlatformAddress::voiceHost()
{
    const Found& found = current();
    if (found.source == BuiltIn)
        return QStringLiteral(FREYMO_VOICE_HOST);
    return QUrl(QStringLiteral("http://") + found.hostPort).host();
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
