#include "net/api.h"
#include "net/voiceaccount.h"
#include "phonepopupparts.h"
#include "support/messageboxanswerer.h"
#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "telephony/callstatusforwarder.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicereconnector.h"
#include "telephony/voicesession.h"
#include "voiceswitch.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QUrlQuery>
#include <QtTest>

using voiceswitch::CallRecord;

namespace {

const auto overlayOf = &PhonePopupParts::overlayOf;
const auto panelOf = &PhonePopupParts::panelOf;
const auto statusLabelOf = &PhonePopupParts::statusLabelOf;
const auto buttonOf = &PhonePopupParts::buttonOf;

// A list row that counts the presses reaching it.
class Row : public QFrame
{
public:
    using QFrame::QFrame;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++presses;
        QFrame::mousePressEvent(event);
    }
};

// Lets the test count who listens to the chip's status signal.
class ProbedChip : public TelNumberWidget
{
public:
    using TelNumberWidget::TelNumberWidget;
    int statusReceivers() const { return receivers(SIGNAL(signal_calling_status(QString))); }
};

QStringList texts(const QSignalSpy& spy)
{
    QStringList all;
    for (const QList<QVariant>& arguments : spy)
        all << arguments.at(0).toString();
    return all;
}

// Pixels that look like the number's colour (#996600): clearly more red than
// green and more green than blue. Neither the chip's backgrounds nor grey
// text qualify.
int brownPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() - c.green() > 25 && c.green() - c.blue() > 25)
                ++count;
        }
    }
    return count;
}

// The first and last columns holding pixels of the number's colour.
QPair<int, int> brownSpan(const QImage& image)
{
    QPair<int, int> span(image.width(), -1);
    for (int x = 0; x < image.width(); ++x) {
        if (brownPixels(image, QRect(x, 0, 1, image.height())) > 0) {
            span.first = qMin(span.first, x);
            span.second = x;
        }
    }
    return span;
}

int greyTextPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - c.green()) < 12 && qAbs(c.green() - c.blue()) < 12 && c.red() < 170)
                ++count;
        }
    }
    return count;
}

// Pixels of `area` that are not `background`.
int unlike(const QImage& image, QRgb background, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) != background ? 1 : 0;
    }
    return count;
}

const QPoint CallPoint(12, 12);
// 12 pixels from the right end: the text-message icon, on a chip of any width.
QPoint smsPointOf(const QWidget* chip)
{
    return QPoint(chip->width() - 12, 12);
}

} // namespace

class TestTelNumberWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void zones_data();
    void zones();
    void hoverShowsTheIconsAndMovesTheTexts_data();
    void hoverShowsTheIconsAndMovesTheTexts();
    void anEmptyNumberIsNotCallable_data();
    void anEmptyNumberIsNotCallable();
    void panelsNameThePersonAndTheNumber_data();
    void panelsNameThePersonAndTheNumber();

    void callShowsItsProgressAndHangsUp();
    void reopeningTheCallPanelConnectsOnce();
    void failedCallStaysUntilHungUp();
    void farEndHangingUpEndsTheCall();
    void textsGoToTheChipThatCalled();
    void lateTextsAfterTheChipIsDeleted();
    void deletingAnEarlierCallersChipLeavesTheCallOn();
    void anEmptyCallIdIsTheCallsOwn();
    void aCallWhileTheSwitchIsAwaySaysSoAndWorksOnceItIsBack();

    void textMessageAccepted();
    void textMessageRefusedThenSentAgain();
    void sendRefusedWithItsReason_data();
    void sendRefusedWithItsReason();
    void doublePressSendsOnce();

    void overlayCoversOnlyTheHostAndFollowsIt();
    void hostDeletedBeforeThePopupCloses();
    void cleanupTestCase();

private:
    void goOnline();
    ProbedChip* makeChip(const QString& number, const QString& label);

    VoiceSession::CallbackTable table = {};
    RecordingHttpServer server;
    std::unique_ptr<voiceswitch::VoiceSwitch> voiceSwitch;
    QPointer<QWidget> window;
    QPointer<QWidget> host;
    QPointer<Row> row;
};

void TestTelNumberWidget::initTestCase()
{
    initClientTestEnvironment();
    VoiceSession::fillCallbacks(table);
    BaseHttp::setBaseAddressForTesting(server.apiBase());
}

void TestTelNumberWidget::init()
{
    window = new QWidget;
    window->resize(800, 600);
    host = new QWidget(window);
    host->setGeometry(100, 50, 600, 500);
    row = new Row(host);
    row->setGeometry(0, 0, 600, 40);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    server.clearRequests();
}

void TestTelNumberWidget::cleanup()
{
    MessageBoxAnswerer::closeAllModals();
    delete window;
    voiceSwitch.reset();
    QTRY_VERIFY(!VoiceSession::isOnline());
}

void TestTelNumberWidget::goOnline()
{
    voiceSwitch = std::make_unique<voiceswitch::VoiceSwitch>(nullptr);
    voiceSwitch->setCallTiming(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
    QVERIFY(voiceSwitch->start("127.0.0.1", 0));
    VoiceSession::setServerForTesting("127.0.0.1", voiceSwitch->port());
    VoiceAccount account { QStringLiteral("sub"), QStringLiteral("subpwd"), QStringLiteral("voip"),
        QStringLiteral("voippwd") };
    QVERIFY(VoiceSession::start(table, account));
    QTRY_VERIFY(VoiceSession::isOnline());
}

ProbedChip* TestTelNumberWidget::makeChip(const QString& number, const QString& label)
{
    auto* chip = new ProbedChip(number, label, host, row);
    chip->move(300, 8);
    chip->show();
    return chip;
}

void TestTelNumberWidget::zones_data()
{
    // x counts from the left end, or from the right end when negative (the
    // chip is as wide as its texts need).
    QTest::addColumn<int>("x");
    QTest::addColumn<QString>("opens");
    QTest::newRow("call, left edge") << 0 << "call";
    QTest::newRow("call, right edge") << 25 << "call";
    QTest::newRow("middle, next to call") << 26 << "";
    QTest::newRow("middle") << 68 << "";
    QTest::newRow("middle, next to text") << -30 << "";
    QTest::newRow("text, left edge") << -29 << "sms";
    QTest::newRow("text, right edge") << -3 << "sms";
    QTest::newRow("right end, outside") << -2 << "";
}

void TestTelNumberWidget::zones()
{
    QFETCH(int, x);
    QFETCH(QString, opens);
    // Offline: the call zone answers with its refusal.
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QCOMPARE(chip->height(), 25);
    QVERIFY(chip->width() >= 137);
    if (x < 0)
        x += chip->width();
    MessageBoxAnswerer answerer;
    if (opens == QLatin1String("call"))
        answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, QPoint(x, 12));
    QVERIFY(answerer.waitForAll());
    QCOMPARE(row->presses, 0);

    if (opens == QLatin1String("call")) {
        QCOMPARE(answerer.seenTexts(),
            QStringList { QStringLiteral("抱歉|连接通讯服务器失败，不能拨打电话，请同客服联系。") });
        QVERIFY(!overlayOf(host));
    } else if (opens == QLatin1String("sms")) {
        QVERIFY(answerer.seen().isEmpty());
        QFrame* overlay = overlayOf(host);
        QVERIFY(overlay && overlay->isVisible());
        QCOMPARE(panelOf(host)->size(), QSize(400, 200));
        QVERIFY(buttonOf(host, QStringLiteral("发送")));
        QVERIFY(buttonOf(host, QStringLiteral("关闭")));
        QTest::mouseClick(buttonOf(host, QStringLiteral("关闭")), Qt::LeftButton);
        QTRY_VERIFY(!overlayOf(host));
    } else {
        QVERIFY(answerer.seen().isEmpty());
        QVERIFY(!overlayOf(host));
    }
}

void TestTelNumberWidget::hoverShowsTheIconsAndMovesTheTexts_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("label");
    QTest::newRow("mobile, short name") << "13812345678"
                                        << "张三";
    QTest::newRow("landline, long name") << "053912345678"
                                         << "欧阳建国先生";
    QTest::newRow("no name") << "17712345678"
                             << "";
}

// The whole number shows with the name, pointed at or not: pointing moves
// both right of the call icon and shows the icons at the ends.
void TestTelNumberWidget::hoverShowsTheIconsAndMovesTheTexts()
{
    QFETCH(QString, number);
    QFETCH(QString, label);
    ProbedChip* chip = makeChip(number, label);
    QTest::mouseMove(window, QPoint(5, 5));
    const QImage plain = chip->grab().toImage();
    QTest::mouseMove(chip, QPoint(26, 12));
    const QImage hovered = chip->grab().toImage();
    QTest::mouseMove(window, QPoint(5, 5));
    const QImage left = chip->grab().toImage();

    const auto numberWidth = [&number](int pixelSize) {
        QFont digits(QStringLiteral("Arial"));
        digits.setPixelSize(pixelSize);
        return QFontMetrics(digits).horizontalAdvance(number);
    };
    const int W = chip->width();
    // Every digit is drawn: the number's pixels span its whole width, and
    // when pointed at they end clear of the text-message icon.
    const QPair<int, int> plainSpan = brownSpan(plain);
    const QPair<int, int> hoveredSpan = brownSpan(hovered);
    QVERIFY(plainSpan.second - plainSpan.first + 1 >= numberWidth(14) - 4);
    QVERIFY(plainSpan.second < W - 2);
    QVERIFY(hoveredSpan.second - hoveredSpan.first + 1 >= numberWidth(13) - 4);
    QVERIFY(hoveredSpan.second < W - 29);
    // Nothing of the number before x 47 when plain; right of the call icon when pointed at.
    QCOMPARE(brownPixels(plain, QRect(0, 3, 46, 18)), 0);
    QVERIFY(brownPixels(hovered, QRect(28, 3, W - 57, 18)) > 0);
    QCOMPARE(brownPixels(hovered, QRect(0, 3, 27, 18)), 0);
    // The name shows in both states.
    if (!label.isEmpty()) {
        QVERIFY(greyTextPixels(plain, QRect(7, 7, 30, 14)) > 0);
        QVERIFY(greyTextPixels(hovered, QRect(28, 7, 30, 14)) > 0);
    }
    // The icons appear at both ends, where only background was.
    const QRgb background = plain.pixel(W / 2, 22);
    QVERIFY(unlike(hovered, background, QRect(8, 6, 13, 13)) > 10);
    QVERIFY(unlike(hovered, background, QRect(W - 22, 6, 13, 13)) > 10);
    QCOMPARE(left, plain);
}

void TestTelNumberWidget::anEmptyNumberIsNotCallable_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::newRow("call icon") << CallPoint;
    QTest::newRow("text icon") << QPoint(-12, 12);
}

void TestTelNumberWidget::anEmptyNumberIsNotCallable()
{
    QFETCH(QPoint, at);
    goOnline();
    ProbedChip* chip = makeChip(QString(), QStringLiteral("司机2"));
    QVERIFY(!chip->isCallable());
    if (at.x() < 0)
        at.rx() += chip->width();
    QTest::mouseMove(window, QPoint(5, 5));
    const QImage plain = chip->grab().toImage();
    QTest::mouseMove(chip, at);
    // Pointing shows nothing to press: no icon, no highlight.
    QCOMPARE(chip->grab().toImage(), plain);
    MessageBoxAnswerer answerer;
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(!overlayOf(host));
    QVERIFY(answerer.seen().isEmpty());
    QVERIFY(voiceSwitch->callLog().empty());
}

void TestTelNumberWidget::panelsNameThePersonAndTheNumber_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QString>("expected");
    QTest::newRow("call") << CallPoint << "张三 13812345678";
    QTest::newRow("text message") << QPoint(-12, 12) << "发给 张三 13812345678 的短信，请输入内容：";
}

void TestTelNumberWidget::panelsNameThePersonAndTheNumber()
{
    QFETCH(QPoint, at);
    QFETCH(QString, expected);
    goOnline();
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    if (at.x() < 0)
        at.rx() += chip->width();
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(panelOf(host));
    auto* who = panelOf(host)->findChild<QLabel*>(QStringLiteral("whoLabel"));
    QVERIFY(who);
    QCOMPARE(who->text(), expected);
    QVERIFY(who->isVisible());
    QVERIFY(who->fontMetrics().horizontalAdvance(who->text()) <= who->width());
    chip->closePopup();
    VoiceSession::releaseCall();
}

void TestTelNumberWidget::callShowsItsProgressAndHangsUp()
{
    goOnline();
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QSignalSpy status(chip, &TelNumberWidget::signal_calling_status);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);

    QFrame* overlay = overlayOf(host);
    QVERIFY(overlay && overlay->isVisible());
    QCOMPARE(panelOf(host)->size(), QSize(250, 250));
    QLabel* statusLabel = statusLabelOf(host);
    QVERIFY(statusLabel);
    QTRY_COMPARE(statusLabel->text(), QStringLiteral("正在同 张三 通话中..."));
    QCOMPARE(
        texts(status), QStringList({ QStringLiteral("正在呼叫 张三 ..."), QStringLiteral("正在同 张三 通话中...") }));
    // Dialled with "0086" in front, otherwise unchanged.
    QCOMPARE(voiceSwitch->callLog().back().number, std::string("008613812345678"));
    QCOMPARE(voiceSwitch->callLog().back().state, CallRecord::State::Answered);

    QTest::mouseClick(buttonOf(host, QStringLiteral("结束通话")), Qt::LeftButton);
    QTRY_VERIFY(!overlayOf(host));
    QTRY_COMPARE(voiceSwitch->callLog().back().state, CallRecord::State::Released);
    QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("caller"));
    // The release arrives after the panel has gone and changes nothing.
    QTRY_COMPARE(status.size(), 3);
    QCOMPARE(status.last().at(0).toString(), QStringLiteral("同 张三 通话结束."));
    QVERIFY(!overlayOf(host));
}

void TestTelNumberWidget::reopeningTheCallPanelConnectsOnce()
{
    goOnline();
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QSignalSpy status(chip, &TelNumberWidget::signal_calling_status);
    const int listeners = chip->statusReceivers();
    for (int round = 1; round <= 2; ++round) {
        QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);
        QTRY_COMPARE(
            statusLabelOf(host) ? statusLabelOf(host)->text() : QString(), QStringLiteral("正在同 张三 通话中..."));
        QCOMPARE(chip->statusReceivers(), listeners + 1);
        QTest::mouseClick(buttonOf(host, QStringLiteral("结束通话")), Qt::LeftButton);
        QTRY_VERIFY(!overlayOf(host));
        QTRY_COMPARE(status.size(), 3 * round);
    }
    QCOMPARE(voiceSwitch->callLog().size(), std::size_t(2));
}

void TestTelNumberWidget::failedCallStaysUntilHungUp()
{
    goOnline();
    ProbedChip* chip = makeChip(QStringLiteral("12345"), QStringLiteral("李四"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QLabel* statusLabel = statusLabelOf(host);
    QVERIFY(statusLabel);
    QTRY_COMPARE(statusLabel->text(), QStringLiteral("呼叫 李四 失败."));
    QCOMPARE(voiceSwitch->callLog().back().number, std::string("008612345"));
    QCOMPARE(voiceSwitch->callLog().back().failure, 404);
    QVERIFY(overlayOf(host)->isVisible());
    QTest::mouseClick(buttonOf(host, QStringLiteral("结束通话")), Qt::LeftButton);
    QTRY_VERIFY(!overlayOf(host));
}

void TestTelNumberWidget::farEndHangingUpEndsTheCall()
{
    goOnline();
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QLabel* statusLabel = statusLabelOf(host);
    QTRY_COMPARE(statusLabel->text(), QStringLiteral("正在同 张三 通话中..."));
    QVERIFY(voiceSwitch->hangUp(voiceSwitch->callLog().back().callId));
    QTRY_COMPARE(statusLabel->text(), QStringLiteral("同 张三 通话结束."));
    QVERIFY(overlayOf(host)->isVisible()); // until the user closes it
    QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("callee"));
}

void TestTelNumberWidget::textsGoToTheChipThatCalled()
{
    goOnline();
    ProbedChip* first = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    ProbedChip* later = makeChip(QStringLiteral("13900000000"), QStringLiteral("王五"));
    later->move(300, 20);
    QSignalSpy laterStatus(later, &TelNumberWidget::signal_calling_status);
    QTest::mouseClick(first, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QTRY_COMPARE(statusLabelOf(host)->text(), QStringLiteral("正在同 张三 通话中..."));
    QVERIFY(laterStatus.isEmpty());
}

void TestTelNumberWidget::lateTextsAfterTheChipIsDeleted()
{
    goOnline();
    QPointer<ProbedChip> chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QTRY_COMPARE(statusLabelOf(host)->text(), QStringLiteral("正在同 张三 通话中..."));

    QSignalSpy delivered(CallStatusForwarder::instance(), &CallStatusForwarder::signal_call_event_delivered);
    delete row; // takes the chip with it
    QVERIFY(!chip);
    // The chip's call ends with it; its release reaches nobody.
    QTRY_COMPARE(delivered.size(), 1);
    QCOMPARE(delivered.at(0).at(0).value<CallStatusForwarder::CallEvent>(), CallStatusForwarder::CallEvent::Released);
    QCOMPARE(voiceSwitch->callLog().back().state, CallRecord::State::Released);
    QCOMPARE(voiceSwitch->callLog().back().endedBy, std::string("caller"));
    QTRY_VERIFY(!overlayOf(host));
}

void TestTelNumberWidget::deletingAnEarlierCallersChipLeavesTheCallOn()
{
    goOnline();
    // A failed call leaves its panel open; meanwhile a chip on another host calls.
    QPointer<ProbedChip> failed = makeChip(QStringLiteral("12345"), QStringLiteral("李四"));
    QTest::mouseClick(failed, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QTRY_COMPARE(statusLabelOf(host)->text(), QStringLiteral("呼叫 李四 失败."));
    auto* otherHost = new QWidget(window);
    otherHost->setGeometry(0, 0, 100, 50);
    auto* calling = new ProbedChip(QStringLiteral("13812345678"), QStringLiteral("张三"), otherHost, otherHost);
    calling->show();
    QTest::mouseClick(calling, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QTRY_COMPARE(statusLabelOf(otherHost)->text(), QStringLiteral("正在同 张三 通话中..."));

    delete row; // takes the first chip, panel still open, with it
    QVERIFY(!failed);
    // The call in progress was not the deleted chip's to end: a call placed
    // now, after whatever the deletion sent, finds the line still busy.
    VoiceSession::makeCall("008613900000000");
    QTRY_COMPARE(voiceSwitch->callLog().size(), std::size_t(3));
    QCOMPARE(voiceSwitch->callLog().back().failure, 486);
    QCOMPARE(voiceSwitch->callLog().at(1).state, CallRecord::State::Answered);
    QCOMPARE(statusLabelOf(otherHost)->text(), QStringLiteral("正在同 张三 通话中..."));
}

// The SDK's events as its thread would post them, for a call whose id is
// empty: they all reach the chip that placed it, and another call's do not.
void TestTelNumberWidget::anEmptyCallIdIsTheCallsOwn()
{
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QSignalSpy status(chip, &TelNumberWidget::signal_calling_status);
    QSignalSpy delivered(CallStatusForwarder::instance(), &CallStatusForwarder::signal_call_event_delivered);
    CallStatusForwarder::instance()->startCall(chip);
    TelNumberWidget::onCallProceeding("");
    TelNumberWidget::onCallAnswered(nullptr);
    TelNumberWidget::onCallReleased("another");
    TelNumberWidget::onCallReleased("");
    QTRY_COMPARE(delivered.size(), 4);
    QCOMPARE(texts(status),
        QStringList({ QStringLiteral("正在呼叫 张三 ..."), QStringLiteral("正在同 张三 通话中..."),
            QStringLiteral("同 张三 通话结束.") }));
}

void TestTelNumberWidget::aCallWhileTheSwitchIsAwaySaysSoAndWorksOnceItIsBack()
{
    VoiceReconnector::setWaitsForTesting(30, 200);
    goOnline();
    const int port = voiceSwitch->port();
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    voiceSwitch.reset();
    QTRY_VERIFY(VoiceReconnector::instance()->isReconnecting());

    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QVERIFY(answerer.waitForAll());
    QCOMPARE(answerer.seenTexts(),
        QStringList { QStringLiteral("抱歉|与通讯服务器的连接已断开，正在重新连接，请稍后再拨。") });
    QVERIFY(!overlayOf(host));

    voiceSwitch = std::make_unique<voiceswitch::VoiceSwitch>(nullptr);
    voiceSwitch->setCallTiming(std::chrono::milliseconds(20), std::chrono::milliseconds(20));
    QVERIFY(voiceSwitch->start("127.0.0.1", port));
    QTRY_VERIFY_WITH_TIMEOUT(VoiceSession::isOnline(), 10000);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, CallPoint);
    QTRY_COMPARE(statusLabelOf(host)->text(), QStringLiteral("正在同 张三 通话中..."));
    QTest::mouseClick(buttonOf(host, QStringLiteral("结束通话")), Qt::LeftButton);
    QTRY_VERIFY(!overlayOf(host));
    VoiceReconnector::setWaitsForTesting(VoiceReconnector::FirstWaitMs, VoiceReconnector::LongestWaitMs);
}

void TestTelNumberWidget::textMessageAccepted()
{
    goOnline();
    server.on("/api/sms/send/", RecordingHttpServer::json(R"({"success":true,"errors":""})"));
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    auto* edit = panelOf(host)->findChild<QPlainTextEdit*>();
    QVERIFY(edit);
    QTest::keyClicks(edit, QStringLiteral("  see you at 5 "));
    for (const QChar ch : QStringLiteral("到了"))
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);

    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(buttonOf(host, QStringLiteral("发送")), Qt::LeftButton);
    QVERIFY(answerer.waitForAll());
    QCOMPARE(answerer.seenTexts(), QStringList { QStringLiteral("恭喜|短信发送成功！") });
    QTRY_VERIFY(!overlayOf(host));
    QVERIFY(answerer.unexpected().isEmpty());

    QCOMPARE(server.requestCount(), 1);
    const RecordingHttpServer::Request request = server.lastRequest();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/api/sms/send/"));
    const QUrlQuery form(QString::fromUtf8(request.body));
    QCOMPARE(form.queryItemValue(QStringLiteral("number"), QUrl::FullyDecoded), QStringLiteral("13812345678"));
    QCOMPARE(form.queryItemValue(QStringLiteral("content"), QUrl::FullyDecoded), QStringLiteral("see you at 5 到了"));
}

void TestTelNumberWidget::textMessageRefusedThenSentAgain()
{
    goOnline();
    server.on("/api/sms/send/", RecordingHttpServer::json(R"({"success":false,"errors":"余额不足"})"));
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    // Another chip's panel opened and closed before: it must not answer for us.
    ProbedChip* other = makeChip(QStringLiteral("13900000000"), QStringLiteral("王五"));
    QTest::mouseClick(other, Qt::LeftButton, Qt::NoModifier, smsPointOf(other));
    QTest::mouseClick(buttonOf(host, QStringLiteral("关闭")), Qt::LeftButton);
    QTRY_VERIFY(!overlayOf(host));

    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    auto* edit = panelOf(host)->findChild<QPlainTextEdit*>();
    QTest::keyClicks(edit, QStringLiteral("hello"));
    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(buttonOf(host, QStringLiteral("发送")), Qt::LeftButton);
    QVERIFY(answerer.waitForAll());
    QCOMPARE(answerer.seenTexts(), QStringList { QStringLiteral("抱歉|发送失败！\n余额不足") });
    // The form stays, text and all, and can be sent again.
    QVERIFY(overlayOf(host) && overlayOf(host)->isVisible());
    QCOMPARE(edit->toPlainText(), QStringLiteral("hello"));

    server.on("/api/sms/send/", RecordingHttpServer::json(R"({"success":true})"));
    answerer.clear();
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(buttonOf(host, QStringLiteral("发送")), Qt::LeftButton);
    QVERIFY(answerer.waitForAll());
    QCOMPARE(answerer.seenTexts(), QStringList { QStringLiteral("恭喜|短信发送成功！") });
    QTRY_VERIFY(!overlayOf(host));
    QCOMPARE(server.requestCount(), 2);
    QVERIFY(answerer.unexpected().isEmpty());
}

void TestTelNumberWidget::sendRefusedWithItsReason_data()
{
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("box");
    QTest::newRow("only blanks") << true << "   "
                                 << "提醒|请输入短信内容！";
    QTest::newRow("nothing") << true << ""
                             << "提醒|请输入短信内容！";
    QTest::newRow("voice platform offline") << false << "hello"
                                            << "抱歉|连接通讯服务器失败，不能发送短信，请稍后再试。";
}

// A message that cannot go is refused here, with its reason; nothing is
// sent, and the form stays with what was typed.
void TestTelNumberWidget::sendRefusedWithItsReason()
{
    QFETCH(bool, online);
    QFETCH(QString, typed);
    QFETCH(QString, box);
    if (online)
        goOnline();
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    auto* edit = panelOf(host)->findChild<QPlainTextEdit*>();
    QTest::keyClicks(edit, typed);
    QSignalSpy started(API::instance(), &BaseHttp::signal_trans_start);
    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    QTest::mouseClick(buttonOf(host, QStringLiteral("发送")), Qt::LeftButton);
    QVERIFY(answerer.waitForAll());
    QCOMPARE(answerer.seenTexts(), QStringList { box });
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Warning);
    QCOMPARE(started.size(), 0);
    QVERIFY(overlayOf(host)->isVisible());
    QCOMPARE(edit->toPlainText(), typed);
    if (online)
        QTRY_COMPARE(window->focusWidget(), static_cast<QWidget*>(edit));
}

void TestTelNumberWidget::doublePressSendsOnce()
{
    goOnline();
    RecordingHttpServer::Reply held = RecordingHttpServer::json(R"({"success":true})");
    held.gate = QStringLiteral("sms");
    server.on("/api/sms/send/", held);
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    QTest::keyClicks(panelOf(host)->findChild<QPlainTextEdit*>(), QStringLiteral("hello"));
    QToolButton* send = buttonOf(host, QStringLiteral("发送"));
    QSignalSpy started(API::instance(), &BaseHttp::signal_trans_start);
    QTest::mouseClick(send, Qt::LeftButton);
    QTest::mouseDClick(send, Qt::LeftButton);
    QTest::mouseClick(send, Qt::LeftButton);
    QCOMPARE(started.size(), 1);

    MessageBoxAnswerer answerer;
    answerer.expect(QMessageBox::Ok);
    server.release(QStringLiteral("sms"));
    QVERIFY(answerer.waitForAll());
    QCOMPARE(answerer.seenTexts(), QStringList { QStringLiteral("恭喜|短信发送成功！") });
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Information);
    QTRY_VERIFY(!overlayOf(host));
    QCOMPARE(server.requestCount(), 1);
}

void TestTelNumberWidget::overlayCoversOnlyTheHostAndFollowsIt()
{
    ProbedChip* chip = makeChip(QStringLiteral("13812345678"), QStringLiteral("张三"));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    QFrame* overlay = overlayOf(host);
    QVERIFY(overlay);
    QCOMPARE(overlay->geometry(), host->rect());
    QCOMPARE(panelOf(host)->geometry(), QRect(100, 150, 400, 200));

    host->resize(420, 300);
    QCOMPARE(overlay->geometry(), QRect(0, 0, 420, 300));
    QCOMPARE(panelOf(host)->geometry(), QRect(10, 50, 400, 200));
    chip->closePopup();
    QTRY_VERIFY(!overlayOf(host));
    chip->closePopup(); // nothing left to close
}

void TestTelNumberWidget::hostDeletedBeforeThePopupCloses()
{
    // A chip outside its host: the host, and the overlay with it, may go first.
    auto* chip = new ProbedChip(QStringLiteral("13812345678"), QStringLiteral("张三"), host, window);
    chip->move(10, 560);
    chip->show();
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    QVERIFY(overlayOf(host));
    delete host;
    chip->resize(137, 25);
    chip->closePopup();
    // No host to cover: nothing opens, least of all a window of its own.
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsPointOf(chip));
    for (QWidget* topLevel : QApplication::topLevelWidgets())
        QVERIFY(topLevel->objectName() != QLatin1String("Main"));
    delete chip;
}

void TestTelNumberWidget::cleanupTestCase()
{
    // Kept-alive connections would hold the test server's shutdown.
    API::instance()->dropConnectionsForTesting();
}

QTEST_MAIN(TestTelNumberWidget)
#include "tst_telnumberwidget.moc"
