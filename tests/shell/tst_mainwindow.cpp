#include "shell/mainwindow.h"

#include "support/messageboxanswerer.h"
#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "support/testsession.h"

#include "app/application.h"
#include "net/api.h"
#include "net/usertoken.h"
#include "shell/activitycontroller.h"
#include "shell/baseactivity.h"
#include "shell/frameedgegrip.h"
#include "shell/logolabel.h"
#include "shell/processexit.h"
#include "shell/toolbar.h"
#include "shell/toolbarbutton.h"
#include "telephony/voicesession.h"
#include "widgets/titlebar.h"

#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {
class Form : public BaseActivity
{
    Q_OBJECT

public:
    explicit Form(QWidget* parent)
        : BaseActivity(parent)
    {
        showBackButton();
    }
    void slot_action() override { }
};

// Two records of a list, as the platform answers a page.
RecordingHttpServer::Reply twoRecords(const char* first, const char* second)
{
    return RecordingHttpServer::json(QByteArray(R"({"success":true,"data":[)") + first + "," + second + "]}");
}

const QByteArray profilePath("/api/mine/profile/");
const QByteArray servicePath("/api/system/serviceinfo/");
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsOnTheHomeSection();
    void rootScreens_data();
    void rootScreens();
    void toolBarSwitchesAndEachSectionKeepsItsStack();
    void keysSwitchSectionsAndReloadTheScreenShown_data();
    void keysSwitchSectionsAndReloadTheScreenShown();
    void backButtonFinishesTheCurrentSectionsTop();
    void homeScreenShowAsksTheSideBarAgain();
    void exitAnsweredNoLeavesEverything();
    void exitAnsweredYesEndsAfterTheVisitEnd();
    void neverSmallerThanTheMinimum();
    void edgesResizeTheWindow();
    void desktopSizeCoversAllScreens();
    void onePressOpensOneScreen_data();
    void onePressOpensOneScreen();

private:
    ToolBarButton* toolButton(int index) const;
    QList<bool> shownControllers() const;
    QToolButton* closeButton() const;
    void drag(QWidget* grip, const QPoint& delta);

    RecordingHttpServer server;
    MainWindow* window = nullptr;
    MessageBoxAnswerer* answerer = nullptr;
    QList<int> exits;
};

void TestMainWindow::initTestCase()
{
    initClientTestEnvironment();
    // No voice platform in tests: the session stays offline.
    VoiceSession::setLibraryForTesting(QStringLiteral("/nonexistent/libVoiceSdk"));
    setProcessExitHandlerForTesting([this](int status) { exits << status; });
    QVERIFY(signInForTesting(server));
    server.otherwise(RecordingHttpServer::json(R"({"success":true,"data":{}})"));
}

void TestMainWindow::init()
{
    exits.clear();
    server.clearRequests();
    answerer = new MessageBoxAnswerer(this);
    window = new MainWindow(&createRootActivity);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMainWindow::cleanup()
{
    MessageBoxAnswerer::closeAllModals();
    QVERIFY2(answerer->unexpected().isEmpty(), qPrintable(answerer->unexpected().join(QLatin1Char('\n'))));
    delete answerer;
    delete window;
    window = nullptr;
}

ToolBarButton* TestMainWindow::toolButton(int index) const
{
    return window->findChild<ToolBarButton*>(QStringLiteral("ToolBarButton%1").arg(index));
}

QList<bool> TestMainWindow::shownControllers() const
{
    QList<bool> shown;
    for (int i = 0; i < MainWindow::ControllerCount; ++i)
        shown << window->controllerAt(i)->isVisible();
    return shown;
}

QToolButton* TestMainWindow::closeButton() const
{
    return window->findChild<TitleBar*>()->findChild<QToolButton*>(QStringLiteral("closeButton"));
}

void TestMainWindow::startsOnTheHomeSection()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Freymo"));
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(shownControllers(), (QList<bool> { true, false, false, false, false }));
    QCOMPARE(window->currentController(), window->controllerAt(0));
    QVERIFY(!window->controllerAt(-1));
    QVERIFY(!window->controllerAt(5));

    QStringList captions;
    QList<bool> pressed;
    for (int i = 0; i < MainWindow::ControllerCount; ++i) {
        captions << toolButton(i)->text();
        pressed << toolButton(i)->isDrawnPressed();
    }
    QCOMPARE(captions,
        (QStringList { QStringLiteral("首页"), QStringLiteral("业务管理"), QStringLiteral("托运人管理"),
            QStringLiteral("货车管理"), QStringLiteral("收货人管理") }));
    QCOMPARE(pressed, (QList<bool> { true, false, false, false, false }));

    auto* logo = window->findChild<LogoLabel*>();
    QVERIFY(logo);
    QCOMPARE(logo->geometry(), QRect(QPoint(10, 10), logo->pixmap(Qt::ReturnByValue).size()));
}

void TestMainWindow::rootScreens_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("action");
    QTest::newRow("home") << 0 << "HomeActivity" << QStringLiteral("货车场站") << QString();
    QTest::newRow("trades") << 1 << "TradeListActivity" << QStringLiteral("业务管理") << QString();
    QTest::newRow("shippers") << 2 << "ShipperListActivity" << QStringLiteral("托运人管理")
                              << QStringLiteral("添加托运人");
    QTest::newRow("trucks") << 3 << "TruckListActivity" << QStringLiteral("货车管理") << QStringLiteral("添加货车");
    QTest::newRow("consignees") << 4 << "ConsigneeListActivity" << QStringLiteral("收货人管理")
                                << QStringLiteral("添加收货人");
}

void TestMainWindow::rootScreens()
{
    QFETCH(int, index);
    QFETCH(QString, className);
    QFETCH(QString, title);
    QFETCH(QString, action);
    ActivityController* controller = window->controllerAt(index);
    QCOMPARE(controller->activities().size(), 1);
    QWidget* root = controller->activities().first();
    QCOMPARE(QString::fromLatin1(root->metaObject()->className()), className);
    QVERIFY(qobject_cast<BaseActivity*>(root));
    QCOMPARE(root->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), title);
    auto* actionButton = root->findChild<QToolButton*>(QStringLiteral("ActionButton"));
    QCOMPARE(actionButton->isVisibleTo(root), !action.isEmpty());
    if (!action.isEmpty())
        QCOMPARE(actionButton->text(), action);
    QVERIFY(!root->findChild<QToolButton*>(QStringLiteral("BackButton"))->isVisibleTo(root));
}

void TestMainWindow::keysSwitchSectionsAndReloadTheScreenShown_data()
{
    QTest::addColumn<int>("section"); // shown before the key
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<int>("shownAfter");
    QTest::addColumn<QByteArray>("asked"); // the path the key asks for again; empty for none
    for (int i = 0; i < MainWindow::ControllerCount; ++i)
        QTest::addRow("Ctrl+%d", i + 1) << (i + 2) % 5 << QKeySequence(Qt::CTRL | (Qt::Key_1 + i)) << i << QByteArray();
    QTest::newRow("F5 on the board") << 0 << QKeySequence(Qt::Key_F5) << 0 << QByteArray("/api/truck/");
    QTest::newRow("F5 on the truck list") << 3 << QKeySequence(Qt::Key_F5) << 3 << QByteArray("/api/truck/");
    QTest::newRow("Home on the shipper list") << 2 << QKeySequence(Qt::Key_Home) << 2 << QByteArray("/api/shipper/");
    QTest::newRow("End on a short list") << 4 << QKeySequence(Qt::Key_End) << 4 << QByteArray();
    QTest::newRow("Home on the board") << 0 << QKeySequence(Qt::Key_Home) << 0 << QByteArray();
}

void TestMainWindow::keysSwitchSectionsAndReloadTheScreenShown()
{
    QFETCH(int, section);
    QFETCH(QKeySequence, key);
    QFETCH(int, shownAfter);
    QFETCH(QByteArray, asked);
    QTest::mouseClick(toolButton(section), Qt::LeftButton);
    // The section's own first requests are answered before the key.
    QVERIFY(QTest::qWaitFor([] { return API::instance()->requestsInFlight() == 0; }));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    const auto count = [this](const QByteArray& path) {
        int n = 0;
        for (const RecordingHttpServer::Request& r : server.requests())
            n += r.path == path ? 1 : 0;
        return n;
    };
    const int before = asked.isEmpty() ? server.requestCount() : count(asked);
    QTest::keySequence(window, key);
    QList<bool> shown { false, false, false, false, false };
    shown[shownAfter] = true;
    QTRY_COMPARE(shownControllers(), shown);
    QVERIFY(toolButton(shownAfter)->isDrawnPressed());
    if (!asked.isEmpty())
        QTRY_COMPARE(count(asked), before + 1);
}

void TestMainWindow::toolBarSwitchesAndEachSectionKeepsItsStack()
{
    QTest::mouseClick(toolButton(2), Qt::LeftButton);
    QCOMPARE(shownControllers(), (QList<bool> { false, false, true, false, false }));
    QCOMPARE(window->currentController(), window->controllerAt(2));
    QVERIFY(toolButton(2)->isDrawnPressed());
    QVERIFY(!toolButton(0)->isDrawnPressed());

    QPointer<Form> form = new Form(window);
    window->controllerAt(2)->startActivity(form, false, true);

    QTest::mouseClick(toolButton(3), Qt::LeftButton);
    QCOMPARE(shownControllers(), (QList<bool> { false, false, false, true, false }));
    QVERIFY(!form->isVisible());
    QTest::mouseClick(toolButton(2), Qt::LeftButton);
    QCOMPARE(window->controllerAt(2)->topActivity(), static_cast<QWidget*>(form.data()));
    QTRY_VERIFY(form->isVisible());

    // Pressing the current section again re-announces it and changes nothing.
    QSignalSpy announced(window->findChild<ToolBar*>(), &ToolBar::signal_toolbar_button_click);
    QTest::mouseClick(toolButton(2), Qt::LeftButton);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0).at(0).toInt(), 2);
    QCOMPARE(shownControllers(), (QList<bool> { false, false, true, false, false }));
    QCOMPARE(window->controllerAt(2)->activities().size(), 2);

    // An index with no button does nothing.
    window->findChild<ToolBar*>()->setCurrentIndex(5);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(window->currentController(), window->controllerAt(2));
}

void TestMainWindow::backButtonFinishesTheCurrentSectionsTop()
{
    QTest::mouseClick(toolButton(4), Qt::LeftButton);
    QPointer<Form> form = new Form(window);
    window->controllerAt(4)->startActivity(form, false, true);
    window->activateWindow();
    QTRY_VERIFY(form->isVisible());

    QTest::mouseClick(form->findChild<QToolButton*>(QStringLiteral("BackButton")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 3000);
    QCOMPARE(window->controllerAt(4)->activities().size(), 1);
}

void TestMainWindow::homeScreenShowAsksTheSideBarAgain()
{
    QVERIFY(waitForRequests(server, profilePath, 1));
    QVERIFY(waitForRequests(server, servicePath, 1));
    QTest::mouseClick(toolButton(1), Qt::LeftButton);
    QTest::mouseClick(toolButton(0), Qt::LeftButton);
    QVERIFY(waitForRequests(server, profilePath, 2));
    QVERIFY(waitForRequests(server, servicePath, 2));
    // Other sections do not ask.
    QTest::mouseClick(toolButton(3), Qt::LeftButton);
    QCOMPARE(requestsFor(server, profilePath), 2);
    // And the version was asked once, on the first show.
    QCOMPARE(requestsFor(server, "/api/system/version/windesktop/"), 1);
}

void TestMainWindow::exitAnsweredNoLeavesEverything()
{
    // A request is announced as it is sent: none may be sent on No.
    QSignalSpy sent(API::instance(), &BaseHttp::signal_trans_start);
    answerer->expect(QMessageBox::No);
    QTest::mouseClick(closeButton(), Qt::LeftButton);
    QVERIFY(answerer->waitForAll());
    QCOMPARE(answerer->seenTexts(), QStringList { QStringLiteral("提醒|确定要退出吗？") });
    QVERIFY(window->isVisible());

    // A close request from outside asks the same question.
    answerer->expect(QMessageBox::No);
    window->close();
    QVERIFY(answerer->waitForAll());
    QVERIFY(window->isVisible());
    QCOMPARE(answerer->seen().size(), 2);

    QCOMPARE(sent.count(), 0);
    QVERIFY(exits.isEmpty());
}

void TestMainWindow::exitAnsweredYesEndsAfterTheVisitEnd()
{
    const QByteArray endPath = "/api/system/visit/" + API::instance()->userToken()->sessionid.toLatin1() + "/end/";
    RecordingHttpServer::Reply held = RecordingHttpServer::json(R"({"success":false})");
    held.gate = QStringLiteral("end");
    server.on(endPath, held);

    answerer->expect(QMessageBox::Yes);
    QTest::mouseClick(closeButton(), Qt::LeftButton);
    QVERIFY(answerer->waitForAll());
    QVERIFY(!window->isVisible());
    QVERIFY(waitForRequests(server, endPath, 1));
    QCOMPARE(server.requests().last().target, endPath + "?token=tk1&user=7");
    QVERIFY(exits.isEmpty());

    server.release(QStringLiteral("end"));
    QTRY_COMPARE(exits, QList<int> { -1 });
}

void TestMainWindow::neverSmallerThanTheMinimum()
{
    QCOMPARE(window->minimumSize(), QSize(888, 566));
    window->resize(400, 300);
    QTRY_COMPARE(window->size(), QSize(888, 566));
}

void TestMainWindow::drag(QWidget* grip, const QPoint& delta)
{
    const QPoint start = grip->rect().center();
    const QPoint startGlobal = grip->mapToGlobal(start);
    QMouseEvent press(QEvent::MouseButtonPress, start, startGlobal, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &press);
    QMouseEvent move(
        QEvent::MouseMove, start + delta, startGlobal + delta, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &move);
    QMouseEvent release(
        QEvent::MouseButtonRelease, start + delta, startGlobal + delta, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &release);
}

void TestMainWindow::edgesResizeTheWindow()
{
    window->setGeometry(100, 80, 900, 600);
    QTRY_COMPARE(window->geometry(), QRect(100, 80, 900, 600));
    auto grip = [this](Qt::Edges edges) {
        return window->findChild<FrameEdgeGrip*>(QStringLiteral("EdgeGrip%1").arg(int(edges)));
    };

    // The grips lie on the window's edges, above everything else.
    QCOMPARE(grip(Qt::RightEdge)->geometry().right(), window->width() - 1);
    QCOMPARE(window->childAt(window->width() - 1, 300), static_cast<QWidget*>(grip(Qt::RightEdge)));

    drag(grip(Qt::RightEdge), QPoint(120, 0));
    QTRY_COMPARE(window->geometry(), QRect(100, 80, 1020, 600));

    // Dragging the bottom left corner moves the left edge and the bottom.
    drag(grip(Qt::BottomEdge | Qt::LeftEdge), QPoint(-30, 40));
    QTRY_COMPARE(window->geometry(), QRect(70, 80, 1050, 640));

    // Shrinking stops at the minimum, with the opposite edge kept in place.
    drag(grip(Qt::TopEdge | Qt::LeftEdge), QPoint(600, 600));
    QTRY_COMPARE(window->geometry(), QRect(70 + 1050 - 888, 80 + 640 - 566, 888, 566));
}

// The size the application hands to the visit start record.
void TestMainWindow::desktopSizeCoversAllScreens()
{
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    QVERIFY(!desktop.isEmpty());
    QCOMPARE(virtualDesktopSize(), desktop.size());
}

void TestMainWindow::onePressOpensOneScreen_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("pressed");
    QTest::newRow("添加托运人") << 2 << "ActionButton";
    QTest::newRow("添加货车") << 3 << "ActionButton";
    QTest::newRow("添加收货人") << 4 << "ActionButton";
    QTest::newRow("another shipper row during the slide") << 2 << "ShipperItem";
    QTest::newRow("配货") << 0 << "packButton";
}

// A double press, or a press on another row while the first press's screen
// still slides in, opens one screen.
void TestMainWindow::onePressOpensOneScreen()
{
    QFETCH(int, section);
    QFETCH(QString, pressed);
    server.on("/api/truck/0/",
        twoRecords(
            R"({"id":1,"number":"鲁Q1","status":0,"loads":[]})", R"({"id":2,"number":"鲁Q2","status":0,"loads":[]})"));
    server.on("/api/truck/",
        twoRecords(R"({"id":1,"number":"鲁Q1","tonnage_level":0})", R"({"id":2,"number":"鲁Q2","tonnage_level":1})"));
    server.on("/api/shipper/",
        twoRecords(R"({"id":1,"name":"甲","tel1":"13812345678"})", R"({"id":2,"name":"乙","tel1":"13812345679"})"));
    server.on("/api/consignee/",
        twoRecords(R"({"id":1,"name":"丙","tel1":"13812345678"})", R"({"id":2,"name":"丁","tel1":"13812345679"})"));
    QTest::mouseClick(toolButton(section), Qt::LeftButton);
    ActivityController* controller = window->controllerAt(section);
    QTRY_VERIFY(controller->isVisible());
    // The root screens slide in once, when the window is built.
    QTRY_VERIFY(!controller->isSliding());
    QWidget* root = controller->topActivity();
    const auto twice = [](QWidget* target, const QPoint& at) {
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
        QTest::mouseDClick(target, Qt::LeftButton, {}, at);
        QTest::mouseRelease(target, Qt::LeftButton, {}, at);
    };
    const int expected = 2;

    if (pressed == QLatin1String("ActionButton")) {
        twice(root->findChild<QWidget*>(pressed), QPoint(10, 10));
    } else if (pressed.endsWith(QLatin1String("Item"))) {
        QTRY_COMPARE(root->findChildren<QFrame*>(pressed).size(), 2);
        const QList<QFrame*> rows = root->findChildren<QFrame*>(pressed);
        // Low in the row, right of its texts and left of its buttons.
        const auto blank = [](const QWidget* row) { return QPoint(row->width() * 2 / 3, row->height() - 4); };
        QTest::mouseClick(rows.at(0), Qt::LeftButton, {}, blank(rows.at(0)));
        QVERIFY(controller->isSliding());
        twice(rows.at(1), blank(rows.at(1)));
    } else {
        QTRY_VERIFY(root->findChildren<QWidget*>(QStringLiteral("TruckItem")).size() == 2);
        QWidget* tile = root->findChildren<QWidget*>(QStringLiteral("TruckItem")).first();
        QTest::mouseMove(window, QPoint(1, 1));
        QTest::mouseMove(tile);
        QWidget* pack = tile->findChild<QWidget*>(QStringLiteral("packButton"));
        QTRY_VERIFY(pack->isVisible());
        twice(pack, QPoint(10, 10));
    }
    QCOMPARE(controller->activities().size(), expected);
    QTRY_VERIFY(!controller->isSliding());
    QCOMPARE(controller->activities().size(), expected);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
