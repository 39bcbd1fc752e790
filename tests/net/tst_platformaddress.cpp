// Where a desk finds its platform: the environment, the user's file, the
// system's file, the built-in address, each passed over when missing or
// not an address.

#include "net/platformaddress.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPlatformAddress : public QObject
{
    Q_OBJECT

private slots:
    void firstUsableSourceWins_data();
    void firstUsableSourceWins();
    void userFileFollowsTheBaseDirectories_data();
    void userFileFollowsTheBaseDirectories();
    void voiceSwitchIsWhereTheDeskSays_data();
    void voiceSwitchIsWhereTheDeskSays();
};

namespace {

// Writes a configuration file; "-" writes none, "nokey" one without the key.
QString writeConfig(const QTemporaryDir& dir, const QString& name, const QString& address)
{
    const QString path = dir.filePath(name);
    if (address == QLatin1String("-"))
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    if (address == QLatin1String("nokey"))
        file.write("[platform]\n# address = 10.0.0.1:8765\n");
    else
        file.write("# the station's platform\n[platform]\naddress = " + address.toUtf8() + "\n");
    return path;
}

} // namespace

void TestPlatformAddress::firstUsableSourceWins_data()
{
    QTest::addColumn<QString>("environment"); // "-": not set
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("expected"); // "built-in" for the fixed one
    QTest::addColumn<int>("source");

    const int env = PlatformAddress::Environment;
    const int user = PlatformAddress::UserConfig;
    const int system = PlatformAddress::SystemConfig;
    const int builtIn = PlatformAddress::BuiltIn;
    QTest::newRow("all three") << "10.0.0.1:8765"
                               << "10.0.0.2:8765"
                               << "10.0.0.3:8765"
                               << "10.0.0.1:8765" << env;
    QTest::newRow("no environment") << "-"
                                    << "10.0.0.2:8765"
                                    << "10.0.0.3:8765"
                                    << "10.0.0.2:8765" << user;
    QTest::newRow("empty environment") << ""
                                       << "10.0.0.2:8765"
                                       << "-"
                                       << "10.0.0.2:8765" << user;
    QTest::newRow("system only") << "-"
                                 << "-"
                                 << "platform.station.lan:9000"
                                 << "platform.station.lan:9000" << system;
    QTest::newRow("user file without the key") << "-"
                                               << "nokey"
                                               << "10.0.0.3"
                                               << "10.0.0.3" << system;
    QTest::newRow("nothing") << "-"
                             << "-"
                             << "-"
                             << "built-in" << builtIn;
    QTest::newRow("IPv6 in the environment") << "[::1]:8765"
                                             << "-"
                                             << "-"
                                             << "[::1]:8765" << env;
    // What is not an address is passed over.
    QTest::newRow("environment with a scheme") << "http://10.0.0.1:8765"
                                               << "10.0.0.2:8765"
                                               << "-"
                                               << "10.0.0.2:8765" << user;
    QTest::newRow("port zero") << "10.0.0.1:0"
                               << "-"
                               << "10.0.0.3:8765"
                               << "10.0.0.3:8765" << system;
    QTest::newRow("port too big") << "-"
                                  << "10.0.0.2:70000"
                                  << "-"
                                  << "built-in" << builtIn;
    QTest::newRow("a path") << "-"
                            << "10.0.0.2:8765/api"
                            << "10.0.0.3:8765"
                            << "10.0.0.3:8765" << system;
    QTest::newRow("a space") << "10.0.0.1 8765"
                             << "-"
                             << "-"
                             << "built-in" << builtIn;
}

void TestPlatformAddress::firstUsableSourceWins()
{
    QFETCH(QString, environment);
    QFETCH(QString, user);
    QFETCH(QString, system);
    QFETCH(QString, expected);
    QFETCH(int, source);
    QTemporaryDir dir;
    QProcessEnvironment env;
    if (environment != QLatin1String("-"))
        env.insert(QStringLiteral("FREYMO_PLATFORM"), environment);
    const PlatformAddress::Found found = PlatformAddress::lookup(env,
        writeConfig(dir, QStringLiteral("user.conf"), user), writeConfig(dir, QStringLiteral("system.conf"), system));
    QCOMPARE(found.hostPort, expected == QLatin1String("built-in") ? PlatformAddress::builtIn() : expected);
    QCOMPARE(int(found.source), source);
}

void TestPlatformAddress::userFileFollowsTheBaseDirectories_data()
{
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME") << "/srv/conf"
                                     << "/srv/conf/freymo/freymo.conf";
    QTest::newRow("unset") << "-"
                           << "/home/clerk/.config/freymo/freymo.conf";
    QTest::newRow("relative is ignored") << "conf"
                                         << "/home/clerk/.config/freymo/freymo.conf";
}

void TestPlatformAddress::userFileFollowsTheBaseDirectories()
{
    QFETCH(QString, configHome);
    QFETCH(QString, expected);
    QProcessEnvironment env;
    env.insert(QStringLiteral("HOME"), QStringLiteral("/home/clerk"));
    if (configHome != QLatin1String("-"))
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    QCOMPARE(PlatformAddress::userConfigFile(env), expected);
}

void TestPlatformAddress::voiceSwitchIsWhereTheDeskSays_data()
{
    QTest::addColumn<QString>("platform"); // FREYMO_PLATFORM; "-": not set
    QTest::addColumn<QString>("user"); // [voice] address of the user's file; "-": none
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("host"); // "built-in" for the fixed one
    QTest::addColumn<int>("port");
    QTest::newRow("the platform's host") << "10.0.0.1:8765"
                                         << "-"
                                         << "-"
                                         << "10.0.0.1" << 8883;
    QTest::newRow("built in") << "-"
                              << "-"
                              << "-"
                              << "built-in" << 8883;
    QTest::newRow("user's file") << "10.0.0.1:8765"
                                 << "voice.station.lan:9000"
                                 << "10.0.0.3:9001"
                                 << "voice.station.lan" << 9000;
    QTest::newRow("a host without a port") << "10.0.0.1:8765"
                                           << "10.0.0.9"
                                           << "-"
                                           << "10.0.0.9" << 8883;
    QTest::newRow("system's file, IPv6") << "-"
                                         << "-"
                                         << "[::1]:9002"
                                         << "::1" << 9002;
    QTest::newRow("a bad port is passed over") << "10.0.0.1:8765"
                                               << "10.0.0.9:0"
                                               << "10.0.0.3:9001"
                                               << "10.0.0.3" << 9001;
    QTest::newRow("nothing usable") << "10.0.0.1:8765"
                                    << "http://10.0.0.9"
                                    << "-"
                                    << "10.0.0.1" << 8883;
}

void TestPlatformAddress::voiceSwitchIsWhereTheDeskSays()
{
    QFETCH(QString, platform);
    QFETCH(QString, user);
    QFETCH(QString, system);
    QFETCH(QString, host);
    QFETCH(int, port);
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QString& voice) {
        QFile file(dir.filePath(name));
        if (voice != QLatin1String("-") && file.open(QIODevice::WriteOnly))
            file.write("[platform]\n# address = 10.0.0.2:8765\n[voice]\naddress = " + voice.toUtf8() + "\n");
        return file.fileName();
    };
    QProcessEnvironment env;
    if (platform != QLatin1String("-"))
        env.insert(QStringLiteral("FREYMO_PLATFORM"), platform);
    const PlatformAddress::Found found = PlatformAddress::lookup(
        env, write(QStringLiteral("user.conf"), user), write(QStringLiteral("system.conf"), system));
    const PlatformAddress::Found builtIn = PlatformAddress::lookup(QProcessEnvironment(), QString(), QString());
    QCOMPARE(PlatformAddress::voiceHost(found),
        host == QLatin1String("built-in") ? PlatformAddress::voiceHost(builtIn) : host);
    QCOMPARE(PlatformAddress::voicePort(found), port);
}

QTEST_GUILESS_MAIN(TestPlatformAddress)
#include "tst_platformaddress.moc"
