// The machine facts of the visit start record.
#include "net/systeminfo.h"

#include <QSize>
#include <QTest>

class TestSystemInfo : public QObject
{
    Q_OBJECT

private slots:
    void windowsVersionName_data();
    void windowsVersionName();
    void processorTypeFor_data();
    void processorTypeFor();
    void versionOffWindowsIsUnknown();
    void resolutionIsTheHandedInSize_data();
    void resolutionIsTheHandedInSize();
};

void TestSystemInfo::windowsVersionName_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("name");
    QTest::newRow("NT") << 0x10 << "WindowsNT";
    QTest::newRow("2000") << 0x20 << "Windows2000";
    QTest::newRow("XP") << 0x30 << "WindowsXP";
    QTest::newRow("2003") << 0x40 << "WindowsServer2003";
    QTest::newRow("Vista") << 0x80 << "WindowsVista";
    QTest::newRow("7") << 0x90 << "Windows7";
    QTest::newRow("8") << 0xa0 << "unknown";
    QTest::newRow("10") << 0xc0 << "unknown";
    QTest::newRow("between names") << 0x50 << "unknown";
    QTest::newRow("not Windows") << 0 << "unknown";
    QTest::newRow("negative") << -1 << "unknown";
}

void TestSystemInfo::windowsVersionName()
{
    QFETCH(int, version);
    QFETCH(QString, name);
    QCOMPARE(SystemInfo::windowsVersionName(version), name);
}

void TestSystemInfo::processorTypeFor_data()
{
    QTest::addColumn<QString>("architecture");
    QTest::addColumn<int>("type");
    QTest::newRow("x86_64") << "x86_64" << 8664;
    QTest::newRow("i386") << "i386" << 586;
    QTest::newRow("x86") << "x86" << 586;
    QTest::newRow("arm64") << "arm64" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestSystemInfo::processorTypeFor()
{
    QFETCH(QString, architecture);
    QFETCH(int, type);
    QCOMPARE(SystemInfo::processorTypeFor(architecture), type);
}

void TestSystemInfo::versionOffWindowsIsUnknown()
{
#if defined(Q_OS_WIN)
    QSKIP("runs on Windows");
#else
    QCOMPARE(SystemInfo::windowsVersion(), 0);
    QCOMPARE(SystemInfo::windowsVersionName(SystemInfo::windowsVersion()), QStringLiteral("unknown"));
#endif
}

void TestSystemInfo::resolutionIsTheHandedInSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("two screens") << QSize(3840, 1080) << QString::fromUtf8("3840×1080");
    QTest::newRow("invalid") << QSize(-1, 600) << QString::fromUtf8("0×0");
    QTest::newRow("empty") << QSize(0, 0) << QString::fromUtf8("0×0");
}

void TestSystemInfo::resolutionIsTheHandedInSize()
{
    QFETCH(QSize, size);
    QFETCH(QString, text);
    SystemInfo::setScreenSize(size);
    QCOMPARE(SystemInfo::screenResolution(), text);
}

QTEST_GUILESS_MAIN(TestSystemInfo)
#include "tst_systeminfo.moc"
