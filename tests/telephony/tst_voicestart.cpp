#include "buildconfig.h"
#include "net/api.h"
#include "net/basehttp.h"
#include "net/platformaddress.h"
#include "net/usertoken.h"
#include "shell/mainwindow.h"
#include "shell/processexit.h"
#include "support/messageboxanswerer.h"
#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "support/testsession.h"
#include "telephony/voicesession.h"

#include <QLibrary>
#include <QtTest>

// The main window starts the voice session on its first show, and only then,
// with a table that holds the client's callbacks and nothing else.
class TestVoiceStart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void startsOnceOnTheFirstShow();
    void signsInWhereTheDeskSaysTheSwitchIs();

private:
    QStringList journalLines();

    RecordingHttpServer server;
    QLibrary recorder { QStringLiteral(VOICE_RECORDER_PATH) };
};

void TestVoiceStart::initTestCase()
{
    initClientTestEnvironment();
    setProcessExitHandlerForTesting([](int) {});
    VoiceSession::setLibraryForTesting(QStringLiteral(VOICE_RECORDER_PATH));
    QVERIFY(recorder.load());
    QVERIFY(signInForTesting(server));
}

void TestVoiceStart::cleanupTestCase()
{
    // Kept-alive connections would hold the test server's shutdown.
    API::instance()->dropConnectionsForTesting();
}

void TestVoiceStart::cleanup()
{
    MessageBoxAnswerer::closeAllModals();
}

QStringList TestVoiceStart::journalLines()
{
    auto journal = reinterpret_cast<const char* (*)()>(recorder.resolve("recorderJournal"));
    return journal ? QString::fromUtf8(journal()).split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
}

void TestVoiceStart::startsOnceOnTheFirstShow()
{
    // No root screens: only what the window's own show starts is observed.
    MainWindow window(MainWindow::RootActivityFactory {});
    QVERIFY(journalLines().isEmpty());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList calls = journalLines();
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls[0], QStringLiteral("voiceInit"));
    // The account handed out at login, in its order, after host, port and the
    // application credentials.
    QVERIFY2(calls[1].startsWith(QStringLiteral("voiceLogin \"") + QStringLiteral(FREYMO_VOICE_HOST) + "\" 8883 \""),
        qPrintable(calls[1]));
    QVERIFY2(calls[1].endsWith(QStringLiteral(" \"s\" \"sp\" \"v\" \"vp\"")), qPrintable(calls[1]));

    auto keptTable = reinterpret_cast<void** (*)()>(recorder.resolve("recorderTable"));
    QVERIFY(keptTable);
    void** table = keptTable();
    QVERIFY(table);
    const QList<int> filled { 1, 2, 4, 5, 6, 7, 10, 12, 13 };
    for (int i = 0; i < VoiceSession::CallbackCount; ++i)
        QVERIFY2((table[i] != nullptr) == filled.contains(i), qPrintable(QString::number(i)));

    window.hide();
    window.show();
    window.showMinimized();
    window.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(journalLines(), calls);
}

void TestVoiceStart::signsInWhereTheDeskSaysTheSwitchIs()
{
    // The desk's own freymo.conf names the voice switch.
    QTemporaryDir configHome;
    QVERIFY(QDir(configHome.path()).mkpath(QStringLiteral("freymo")));
    QFile config(configHome.filePath(QStringLiteral("freymo/freymo.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[voice]\naddress = 10.1.2.3:9123\n");
    config.close();
    const QByteArray configHomeBefore = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    PlatformAddress::lookUpAgainForTesting();
    reinterpret_cast<void (*)(int)>(recorder.resolve("recorderReset"))(0);

    MainWindow window(MainWindow::RootActivityFactory {});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QStringList calls = journalLines();
    qputenv("XDG_CONFIG_HOME", configHomeBefore);
    PlatformAddress::lookUpAgainForTesting();
    QCOMPARE(calls.size(), 2);
    QVERIFY2(calls[1].startsWith(QStringLiteral("voiceLogin \"10.1.2.3\" 9123 \"")), qPrintable(calls[1]));
}

QTEST_MAIN(TestVoiceStart)
#include "tst_voicestart.moc"
