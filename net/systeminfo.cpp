#include "net/systeminfo.h"

#include <QSysInfo>

namespace {
QSize& handedInScreenSize()
{
    static QSize size(0, 0);
    return size;
}
} // namespace

int SystemInfo::processorTypeFor(const QString& cpuArchitecture)
{
    if (cpuArchitecture == QLatin1String("x86_64"))
        return 8664;
    if (cpuArchitecture == QLatin1String("i386") || cpuArchitecture == QLatin1String("x86"))
        return 586;
    return 0;
}

int SystemInfo::processorType()
{
    return processorTypeFor(QSysInfo::currentCpuArchitecture());
}

QString SystemInfo::windowsVersionName(int windowsVersion)
{
    switch (windowsVersion) {
    case 0x10:
        return QStringLiteral("WindowsNT");
    case 0x20:
        return QStringLiteral("Windows2000");
    case 0x30:
        return QStringLiteral("WindowsXP");
    case 0x40:
        return QStringLiteral("WindowsServer2003");
    case 0x80:
        return QStringLiteral("WindowsVista");
    case 0x90:
        return QStringLiteral("Windows7");
    default:
        return QStringLiteral("unknown");
    }
}

int SystemInfo::windowsVersion()
{
#if defined(Q_OS_WIN)
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return static_cast<int>(QSysInfo::windowsVersion());
    QT_WARNING_POP
#else
    return 0;
#endif
}

void SystemInfo::setScreenSize(const QSize& size)
{
    handedInScreenSize() = size.isValid() ? size : QSize(0, 0);
}

QString SystemInfo::screenResolution()
{
    const QSize size = handedInScreenSize();
    return QStringLiteral("%1\u00D7%2").arg(size.width()).arg(size.height());
}
