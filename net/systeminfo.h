#pragma once

#include <QSize>
#include <QString>

// The machine facts that the visit start record reports. The processor type
// and the version name follow the Windows numbering and names; on any other
// system they come out as "not Windows" values.
class SystemInfo
{
public:
    SystemInfo() = delete;

    // The Windows processor type number for a CPU architecture name as
    // QSysInfo::currentCpuArchitecture() gives it: 8664 for "x86_64", 586 for
    // "i386" and "x86", 0 for anything else.
    static int processorTypeFor(const QString& cpuArchitecture);
    // processorTypeFor() of the machine the program runs on.
    static int processorType();

    // The name sent for a Windows version value (QSysInfo's WV_* numbers):
    // the versions up to Windows 7 by name, "unknown" for every other value.
    static QString windowsVersionName(int windowsVersion);
    // The running system's Windows version value; 0 (none) elsewhere.
    static int windowsVersion();

    // The size of the virtual desktop (all screens together) in pixels. The
    // server client reads no screens itself: the application hands the size
    // in before the visit starts. Until then it is 0 × 0.
    static void setScreenSize(const QSize& size);
    // "<width>×<height>" of the size handed in by setScreenSize(), "0×0" when
    // none was (or an invalid one was).
    static QString screenResolution();
};
