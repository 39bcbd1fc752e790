#include "debuglinerecorder.h"
#include "net/api.h"
#include "net/usertoken.h"
#include "net/voiceaccount.h"
#include "phonepopupparts.h"
#include "support/messageboxanswerer.h"
#include "support/platformprocess.h"
#include "support/testenvironment.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicesession.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QtTest>

#include <memory>

// The whole road of a call and a text message: the real platform executable
// with its voice switch, the client's API signed in there, the stand-in SDK,
// and a phone number chip driven by the mouse.
namespace {

const auto statusLabel = &PhonePopupParts::statusLabelOf;
const auto panelButton = &PhonePopupParts::buttonOf;

bool overlayShown(QWidget* host)
{
    QFrame* overlay = PhonePopupParts::overlayOf(host);
    return overlay && overlay->isVisible();
}

} // namespace

class TestTelephonyEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void accountNotHandedOutStaysOffline();
    void callsThroughThePlatformSwitch();
    void textMessageLandsInThePlatformOutbox();

private:
    std::unique_ptr<DebugLineRecorder> debug;
    PlatformProcess platform;
    VoiceSession::CallbackTable table = {};
    QWidget window;
    QWidget* host = nullptr;
    TelNumberWidget* chip = nullptr;
};

void TestTelephonyEndToEnd::initTestCase()
{
    initClientTestEnvironment();
    debug = std::make_unique<DebugLineRecorder>();
    QVERIFY2(platform.start(), qPrintable(platform.errorString()));
    BaseHttp::setBaseAddressForTesting(platform.apiBase());
    QSignalSpy loggedIn(API::instance(), &API::signal_login_finished);
    API::instance()->login(QStringLiteral("demo"), QStringLiteral("load"));
    QVERIFY(loggedIn.wait(10000));
    QVERIFY(API::instance()->userToken());
    QVERIFY(API::instance()->voiceAccount());
    QVERIFY(!API::instance()->voiceAccount()->voipAccount.isEmpty());

    VoiceSession::fillCallbacks(table);
    VoiceSession::setServerForTesting("127.0.0.1", platform.voicePort());

    window.resize(800, 600);
    host = new QWidget(&window);
    host->setGeometry(0, 40, 800, 560);
    auto* row = new QFrame(host);
    row->setGeometry(0, 0, 800, 40);
    chip = new TelNumberWidget(QStringLiteral("13812345678"), QStringLiteral("张三"), host, row);
    chip->move(400, 8);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

void TestTelephonyEndToEnd::cleanupTestCase()
{
    debug.reset();
    API::instance()->dropConnectionsForTesting();
    QVERIFY(platform.stop());
}

void TestTelephonyEndToEnd::cleanup()
{
    MessageBoxAnswerer::closeAllModals();
}

void TestTelephonyEndToEnd::accountNotHandedOutStaysOffline()
{
    VoiceAccount forged = *API::instance()->voiceAccount();
    forged.voipPwd += QStringLiteral("x");
    QVERIFY(VoiceSession::start(table, forged));
    QTRY_VERIFY(debug->contains(QStringLiteral("连接服务器失败！")));
    QVERIFY(debug->contains(QStringLiteral("VoiceSdk: sign-in refused: voice account refused")));
    QVERIFY(!VoiceSession::isOnline());

    // Offline, the chip refuses to call.
    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    QVERIFY(answerer.waitForAll());
    QCOMPARE(
        answerer.seenTexts(), QStringList { QStringLiteral("抱歉|连接通讯服务器失败，不能拨打电话，请同客服联系。") });
}

void TestTelephonyEndToEnd::callsThroughThePlatformSwitch()
{
    QVERIFY(VoiceSession::start(table, *API::instance()->voiceAccount()));
    QTRY_VERIFY(VoiceSession::isOnline());
    QVERIFY(debug->contains(QStringLiteral("连接服务器成功！")));

    QSignalSpy status(chip, &TelNumberWidget::signal_calling_status);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    QVERIFY(overlayShown(host));
    QVERIFY(statusLabel(host));
    QTRY_COMPARE_WITH_TIMEOUT(statusLabel(host)->text(), QStringLiteral("正在同 张三 通话中..."), 10000);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("正在呼叫 张三 ..."));
    QVERIFY(debug->contains(QStringLiteral("来电...")));

    QTest::mouseClick(panelButton(host, QStringLiteral("结束通话")), Qt::LeftButton);
    QTRY_VERIFY(!overlayShown(host));
    QTRY_COMPARE(status.last().at(0).toString(), QStringLiteral("同 张三 通话结束."));
    QVERIFY(VoiceSession::isOnline());
}

void TestTelephonyEndToEnd::textMessageLandsInThePlatformOutbox()
{
    QTRY_VERIFY(VoiceSession::isOnline());
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, QPoint(chip->width() - 12, 12));
    auto* edit = host->findChild<QPlainTextEdit*>();
    QVERIFY(edit);
    const QString text = QStringLiteral("货已到站，请来提货");
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);

    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(panelButton(host, QStringLiteral("发送")), Qt::LeftButton);
    QVERIFY(answerer.waitForAll(10000));
    QCOMPARE(answerer.seenTexts(), QStringList { QStringLiteral("恭喜|短信发送成功！") });
    QTRY_VERIFY(!overlayShown(host));

    // The platform keeps it in its outbox.
    QCOMPARE(platform.rows(QStringLiteral("SELECT number, content FROM sms_outbox")),
        (QList<QVariantList> { { QStringLiteral("13812345678"), text } }));
}

QTEST_MAIN(TestTelephonyEndToEnd)
#include "tst_telephony_e2e.moc"
