#include "screens/board/homeactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "net/api.h"
#include "shell/sidebar.h"
#include "widgets/dialogwidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
const QByteArray feedbackPath("/api/system/feedback/add/");
}

class TestHomeActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sideBarSitsInTheSideColumn();
    void feedbackButtonOpensTheDialog();
    void blankContentIsRefused_data();
    void blankContentIsRefused();
    void acceptedFeedbackClosesAndClears();
    void refusedFeedbackKeepsTheDialog();
    void doublePressedOkSendsOnce_data();
    void doublePressedOkSendsOnce();

private:
    void openFeedback();
    void typeContent(const QString& text) { ScreenTestKit::typeText(editor, text); }
    void pressOk() { QVERIFY(ScreenTestKit::clickButton(dialog, QStringLiteral("确定"))); }

    ScreenTestKit kit;
    RecordingHttpServer& server = kit.server;
    HomeActivity* home = nullptr;
    DialogWidget* dialog = nullptr;
    QComboBox* category = nullptr;
    QPlainTextEdit* editor = nullptr;
};

void TestHomeActivity::initTestCase()
{
    kit.initSuite();
}

void TestHomeActivity::init()
{
    kit.initTest();
    home = new HomeActivity;
    home->resize(880, 420);
    home->show();
    QVERIFY(QTest::qWaitForWindowExposed(home));
    dialog = nullptr;
    for (DialogWidget* candidate : home->findChildren<DialogWidget*>()) {
        if (candidate->accessibleName() == QStringLiteral("意见反馈"))
            dialog = candidate;
    }
    category = home->findChild<QComboBox*>(QStringLiteral("feedbackCategory"));
    editor = home->findChild<QPlainTextEdit*>(QStringLiteral("feedbackContent"));
    QVERIFY(dialog && category && editor);
}

void TestHomeActivity::cleanup()
{
    delete home;
    home = nullptr;
    kit.cleanupTest();
}

void TestHomeActivity::openFeedback()
{
    QTest::mouseClick(home->findChild<QToolButton*>(QStringLiteral("FeedbackButton")), Qt::LeftButton);
    QVERIFY(dialog->isVisible());
    home->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(home));
}

void TestHomeActivity::sideBarSitsInTheSideColumn()
{
    auto* side = home->findChild<SideBar*>();
    QVERIFY(side && side->isVisible());
    QCOMPARE(side->width(), 220);
    QCOMPARE(side->geometry().right(), home->width() - 1);
    // The feedback dialog covers the whole screen, side bar included.
    QCOMPARE(dialog->size(), home->size());
    home->resize(1000, 500);
    QTRY_COMPARE(dialog->size(), QSize(1000, 500));
}

void TestHomeActivity::feedbackButtonOpensTheDialog()
{
    QVERIFY(!dialog->isVisible());
    // A point of the screen that the dialog's box leaves uncovered.
    const QPoint corner(5, home->height() - 5);
    const QColor before = home->grab().toImage().pixelColor(corner);
    openFeedback();
    // Dimmed by the overlay's own style, rgba(100,100,100,70) over the screen.
    const QColor after = home->grab().toImage().pixelColor(corner);
    const auto dimmed = [](int channel) { return (channel * (255 - 70) + 100 * 70) / 255; };
    QVERIFY2(qAbs(after.red() - dimmed(before.red())) <= 2 && qAbs(after.blue() - dimmed(before.blue())) <= 2,
        qPrintable(before.name() + QLatin1String(" -> ") + after.name()));

    QStringList items;
    for (int i = 0; i < category->count(); ++i) {
        items << category->itemText(i);
        QCOMPARE(category->itemData(i).toInt(), i);
    }
    QCOMPARE(items, (QStringList { QStringLiteral("功能建议"), QStringLiteral("错误报告"), QStringLiteral("其它") }));
    QCOMPARE(editor->width(), 400);
    QVERIFY(dialog->isAncestorOf(editor));
}

void TestHomeActivity::blankContentIsRefused_data()
{
    QTest::addColumn<QString>("content");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("  \t \n ");
}

void TestHomeActivity::blankContentIsRefused()
{
    QFETCH(QString, content);
    openFeedback();
    typeContent(content);
    category->setFocus();
    kit.boxes->expect(QMessageBox::Ok);
    pressOk();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|请输入反馈内容！") });
    QCOMPARE(kit.boxes->seen().first().icon, QMessageBox::Warning);
    // The window regains activation when the box closes; the editor is its focus.
    QTRY_COMPARE(home->focusWidget(), static_cast<QWidget*>(editor));
    QVERIFY(dialog->isVisible());
    QCOMPARE(kit.requestsTo(feedbackPath).size(), 0);
}

void TestHomeActivity::acceptedFeedbackClosesAndClears()
{
    server.on(feedbackPath, RecordingHttpServer::json(R"({"success":true})"));
    openFeedback();
    category->setCurrentIndex(1);
    typeContent(QStringLiteral("  Bug 报告 & more  "));
    kit.boxes->expect(QMessageBox::Ok);
    pressOk();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|反馈成功！") });
    QCOMPARE(kit.boxes->seen().first().icon, QMessageBox::Information);
    QVERIFY(!dialog->isVisible());
    QVERIFY(editor->toPlainText().isEmpty());

    QCOMPARE(kit.requestsTo(feedbackPath).size(), 1);
    const RecordingHttpServer::Request sent = server.requests().last();
    QCOMPARE(sent.method, QByteArray("POST"));
    QCOMPARE(sent.target, feedbackPath + "?token=tk1&user=7");
    QCOMPARE(sent.body, QByteArray("content=Bug%20%E6%8A%A5%E5%91%8A%20%26%20more&type=1&"));
}

void TestHomeActivity::refusedFeedbackKeepsTheDialog()
{
    server.on(feedbackPath, RecordingHttpServer::json(R"({"success":false,"errors":"内部错误"})"));
    openFeedback();
    typeContent(QStringLiteral("很好用"));
    kit.boxes->expect(QMessageBox::Ok);
    pressOk();
    QVERIFY(kit.boxes->waitForAll());
    // The server's own text is not shown.
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("错误|抱歉，反馈失败！") });
    QVERIFY(dialog->isVisible());
    QCOMPARE(editor->toPlainText(), QStringLiteral("很好用"));
    QCOMPARE(server.requests().last().body, QByteArray("content=%E5%BE%88%E5%A5%BD%E7%94%A8&type=0&"));
}

void TestHomeActivity::doublePressedOkSendsOnce_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("box");
    QTest::newRow("accepted") << QByteArray(R"({"success":true})") << "提醒|反馈成功！";
    QTest::newRow("refused") << QByteArray(R"({"success":false})") << "错误|抱歉，反馈失败！";
}

// One record and one box for a double press; once answered, "确定" sends again.
void TestHomeActivity::doublePressedOkSendsOnce()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, box);
    RecordingHttpServer::Reply held = RecordingHttpServer::json(answer);
    held.gate = QStringLiteral("feedback");
    server.on(feedbackPath, held);
    openFeedback();
    typeContent(QStringLiteral("很好用"));
    QAbstractButton* ok = ScreenTestKit::buttonWithText(dialog, QStringLiteral("确定"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QTest::mouseDClick(ok, Qt::LeftButton);
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(kit.waitForRequests(feedbackPath));
    kit.boxes->expect(QMessageBox::Ok);
    server.release(QStringLiteral("feedback"));
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { box });
    QCOMPARE(kit.requestsTo(feedbackPath).size(), 1);

    if (dialog->isVisible()) {
        server.on(feedbackPath, RecordingHttpServer::json(answer));
        kit.boxes->expect(QMessageBox::Ok);
        pressOk();
        QVERIFY(kit.boxes->waitForAll());
        QCOMPARE(kit.requestsTo(feedbackPath).size(), 2);
    }
}

QTEST_MAIN(TestHomeActivity)
#include "tst_homeactivity.moc"
