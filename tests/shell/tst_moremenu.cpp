// The tool bar's ••• menu: the password change, the station's profile and
// the switch to another account, each driven through the real widgets.

#include "shell/mainwindow.h"

#include "support/messageboxanswerer.h"
#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "support/testsession.h"

#include "app/application.h"
#include "net/api.h"
#include "net/usertoken.h"
#include "shell/activitycontroller.h"
#include "shell/processexit.h"
#include "shell/toolbar.h"
#include "telephony/voicesession.h"
#include "widgets/dialogwidget.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMutex>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>

namespace {
const QByteArray passwordPath("/api/mine/password/edit/");
const QByteArray profilePath("/api/mine/profile/");
const QByteArray profileEditPath("/api/mine/profile/edit/");
} // namespace

class TestMoreMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuHangsUnderTheMoreButton();
    void moneyScreensOpenOnTheHomeSection_data();
    void moneyScreensOpenOnTheHomeSection();
    void passwordChange_data();
    void passwordChange();
    void savedProfileShowsInTheSideBarAtOnce();
    void switchingEndsTheVisitWithoutLeaving();

private:
    void choose(const QString& actionName);
    void pressOk(const QString& dialogName);

    RecordingHttpServer server;
    MainWindow* window = nullptr;
    MessageBoxAnswerer* answerer = nullptr;
    QList<int> exits;
    QMutex profileMutex;
    QString contact = QStringLiteral("Zhang");
};

void TestMoreMenu::initTestCase()
{
    initClientTestEnvironment();
    VoiceSession::setLibraryForTesting(QStringLiteral("/nonexistent/libVoiceSdk"));
    setProcessExitHandlerForTesting([this](int status) { exits << status; });
    server.otherwise(RecordingHttpServer::json(R"({"success":true,"data":{}})"));
    // The profile names whoever was saved last.
    server.on(profilePath, [this](const RecordingHttpServer::Request&) {
        QMutexLocker lock(&profileMutex);
        return RecordingHttpServer::json(
            QStringLiteral(R"({"success":true,"data":{"organ":"东风货站","name":"%1","mobile_number":"13800001111"}})")
                .arg(contact)
                .toUtf8());
    });
    server.on(profileEditPath, [this](const RecordingHttpServer::Request& request) {
        QMutexLocker lock(&profileMutex);
        contact = QUrlQuery(QString::fromUtf8(request.body)).queryItemValue(QStringLiteral("name"));
        return RecordingHttpServer::json(R"({"success":true})");
    });
}

void TestMoreMenu::init()
{
    if (!API::instance()->userToken())
        QVERIFY(signInForTesting(server));
    exits.clear();
    server.clearRequests();
    answerer = new MessageBoxAnswerer(this);
    window = new MainWindow(&createRootActivity);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMoreMenu::cleanup()
{
    MessageBoxAnswerer::closeAllModals();
    QVERIFY2(answerer->unexpected().isEmpty(), qPrintable(answerer->unexpected().join(QLatin1Char('\n'))));
    delete answerer;
    delete window;
    window = nullptr;
}

void TestMoreMenu::choose(const QString& actionName)
{
    auto* more = window->findChild<QToolButton*>(QStringLiteral("MoreButton"));
    QVERIFY(more);
    QTest::mouseClick(more, Qt::LeftButton);
    auto* menu = window->findChild<QMenu*>(QStringLiteral("MoreMenu"));
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    QAction* action = menu->findChild<QAction*>(actionName);
    QVERIFY(action);
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    QTRY_VERIFY(!menu->isVisible());
}

void TestMoreMenu::pressOk(const QString& dialogName)
{
    auto* dialog = window->findChild<DialogWidget*>(dialogName);
    QVERIFY(dialog && dialog->isVisible());
    for (QToolButton* button : dialog->findChildren<QToolButton*>()) {
        if (button->text() == QStringLiteral("确定"))
            QTest::mouseClick(button, Qt::LeftButton);
    }
}

void TestMoreMenu::menuHangsUnderTheMoreButton()
{
    auto* more = window->findChild<QToolButton*>(QStringLiteral("MoreButton"));
    auto* toolBar = window->findChild<ToolBar*>();
    QCOMPARE(more->geometry(), QRect(toolBar->width() - 35, toolBar->height() - 35, 28, 28));
    QVERIFY(more->menu() == nullptr); // no arrow drawn beside the icon
    QTest::mouseClick(more, Qt::LeftButton);
    auto* menu = window->findChild<QMenu*>(QStringLiteral("MoreMenu"));
    QTRY_VERIFY(menu->isVisible());
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << action->text();
    QCOMPARE(texts, (QStringList { "代收款台账", "司机运费", "经营统计", "", "修改密码", "货站资料", "切换账号" }));
    QVERIFY(menu->geometry().top() >= more->mapToGlobal(QPoint(0, more->height())).y());
    menu->close();
}

void TestMoreMenu::moneyScreensOpenOnTheHomeSection_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("title");
    QTest::newRow("agency") << "agencyLedgerAction"
                            << "AgencyLedgerActivity"
                            << "代收款台账";
    QTest::newRow("payout") << "payoutLedgerAction"
                            << "PayoutLedgerActivity"
                            << "司机运费";
    QTest::newRow("statistics") << "statisticsAction"
                                << "StatisticsActivity"
                                << "经营统计";
}

void TestMoreMenu::moneyScreensOpenOnTheHomeSection()
{
    QFETCH(QString, action);
    QFETCH(QString, screen);
    QFETCH(QString, title);
    window->findChild<ToolBar*>()->setCurrentIndex(1);
    ActivityController* home = window->controllerAt(0);
    choose(action);
    QCOMPARE(window->currentController(), home);
    QTRY_COMPARE(home->topActivity()->objectName(), screen);
    QTRY_VERIFY(!home->isSliding());
    QCOMPARE(home->topActivity()->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), title);
    // Chosen again, the screen on top is not opened twice.
    choose(action);
    QCOMPARE(home->activities().size(), 2);
}

void TestMoreMenu::passwordChange_data()
{
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QByteArray>("answer"); // empty: nothing is sent
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("no old password") << ""
                                     << "newpass88"
                                     << "newpass88" << QByteArray() << "提醒|请输入原密码！" << true;
    QTest::newRow("no new password") << "old"
                                     << ""
                                     << "" << QByteArray() << "提醒|请输入新密码！" << true;
    QTest::newRow("two new ones differ") << "old"
                                         << "newpass88"
                                         << "newpass89" << QByteArray() << "提醒|两次输入的新密码不一致！" << true;
    QTest::newRow("the platform's rule") << "old"
                                         << "short"
                                         << "short"
                                         << QByteArray(R"({"success":false,"errors":"新密码须为8到64个字符！"})")
                                         << "抱歉|修改密码失败！\n新密码须为8到64个字符！" << true;
    QTest::newRow("changed") << "old"
                             << "newpass88"
                             << "newpass88" << QByteArray(R"({"success":true})") << "恭喜|密码已修改！" << false;
}

void TestMoreMenu::passwordChange()
{
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, again);
    QFETCH(QByteArray, answer);
    QFETCH(QString, box);
    QFETCH(bool, staysOpen);
    if (!answer.isEmpty())
        server.on(passwordPath, RecordingHttpServer::json(answer));

    choose(QStringLiteral("changePasswordAction"));
    auto* dialog = window->findChild<DialogWidget*>(QStringLiteral("PasswordDialog"));
    QTRY_VERIFY(dialog && dialog->isVisible());
    QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("oldPasswordEdit")), oldPassword);
    QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("newPasswordEdit")), newPassword);
    QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("againPasswordEdit")), again);
    answerer->expect(QMessageBox::Ok);
    pressOk(QStringLiteral("PasswordDialog"));
    QVERIFY(answerer->waitForAll());
    QCOMPARE(answerer->seenTexts(), QStringList { box });
    QCOMPARE(dialog->isVisible(), staysOpen);
    QCOMPARE(requestsFor(server, passwordPath), answer.isEmpty() ? 0 : 1);
    if (!answer.isEmpty())
        QCOMPARE(server.lastRequest().body,
            "new_password=" + QUrl::toPercentEncoding(newPassword) + "&old_password=" + oldPassword.toUtf8() + "&");
}

void TestMoreMenu::savedProfileShowsInTheSideBarAtOnce()
{
    auto* sideName = window->findChild<QLabel*>(QStringLiteral("NameLabel"));
    QTRY_COMPARE(sideName->text(), QStringLiteral("联系人：Zhang"));

    choose(QStringLiteral("profileAction"));
    auto* dialog = window->findChild<DialogWidget*>(QStringLiteral("ProfileDialog"));
    QTRY_VERIFY(dialog && dialog->isVisible());
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("profileName"));
    QTRY_COMPARE(name->text(), QStringLiteral("Zhang"));
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("profileMobile"))->text(), QStringLiteral("13800001111"));

    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Li Si"));
    answerer->expect(QMessageBox::Ok);
    pressOk(QStringLiteral("ProfileDialog"));
    QVERIFY(answerer->waitForAll());
    QCOMPARE(answerer->seenTexts(), QStringList { "恭喜|货站资料已保存！" });
    QCOMPARE(requestsFor(server, profileEditPath), 1);
    QCOMPARE(server.requests().at(server.requestCount() - 2).body.constData(),
        "address=&mobile_number=13800001111&name=Li%20Si&summary=&");
    QVERIFY(!dialog->isVisible());
    QTRY_COMPARE(sideName->text(), QStringLiteral("联系人：Li Si"));
}

void TestMoreMenu::switchingEndsTheVisitWithoutLeaving()
{
    QSignalSpy switched(window, &MainWindow::signal_switch_account);
    const QString session = API::instance()->userToken()->sessionid;
    answerer->expect(QMessageBox::No);
    choose(QStringLiteral("switchAccountAction"));
    QVERIFY(answerer->waitForAll());
    QVERIFY(window->isVisible());
    QVERIFY(API::instance()->userToken());

    answerer->expect(QMessageBox::Yes);
    choose(QStringLiteral("switchAccountAction"));
    QVERIFY(answerer->waitForAll());
    QVERIFY(switched.wait());
    QCOMPARE(answerer->seenTexts().last(), QStringLiteral("提醒|确定要切换账号吗？"));
    QVERIFY(waitForRequests(server, "/api/system/visit/" + session.toLatin1() + "/end/", 1));
    QVERIFY(exits.isEmpty());
    QVERIFY(!window->isVisible());
    QVERIFY(!API::instance()->userToken());
    QVERIFY(!API::instance()->voiceAccount());
}

QTEST_MAIN(TestMoreMenu)
#include "tst_moremenu.moc"
