#include "app/accountfile.h"
#include "app/logindialog.h"
#include "net/api.h"
#include "net/truckdict.h"
#include "shell/processexit.h"
#include "shell/servicecontacts.h"

#include "support/messageboxanswerer.h"
#include "support/recordinghttpserver.h"
#include "support/testenvironment.h"
#include "support/testsession.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestLoginDialog : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void openUrl(const QUrl& url) { openedUrls << url; }

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<RecordingHttpServer> server;
    std::unique_ptr<MessageBoxAnswerer> boxes;
    std::unique_ptr<LoginDialog> dialog;
    QList<int> exits;
    int boxesSeenAtExit = -1;
    QList<QUrl> openedUrls;

    QLineEdit* nameEdit() const { return dialog->findChild<QLineEdit*>(QStringLiteral("usernameEdit")); }
    QLineEdit* passwordEdit() const { return dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit")); }
    QCheckBox* rememberCheck() const { return dialog->findChild<QCheckBox*>(QStringLiteral("rememberCheck")); }
    QToolButton* loginButton() const { return dialog->findChild<QToolButton*>(QStringLiteral("GreenButton")); }
    QLabel* progressLabel() const { return dialog->findChild<QLabel*>(QStringLiteral("progressLabel")); }

    void openDialog()
    {
        dialog = std::make_unique<LoginDialog>();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    static void type(QLineEdit* edit, const QString& text)
    {
        edit->clear();
        // keyClicks cannot type Chinese; send such characters one by one.
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    // Clicks the first character of a rich-text link label.
    static void clickLink(QLabel* label)
    {
        const int x = label->contentsRect().left() + label->fontMetrics().horizontalAdvance(QChar(0x6f14)) / 2;
        QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(x, label->height() / 2));
    }

    void serveSuccessfulLogin()
    {
        server->on("/api/auth/",
            RecordingHttpServer::json(R"({"success":true,"user":7,"organ":3,"token":"tk","sub_account":"s",)"
                                      R"("sub_account_pwd":"sp","voip_account":"v","voip_pwd":"vp"})"));
        server->on("/api/system/visit/start/", RecordingHttpServer::json(R"({"success":true})"));
    }

    bool requested(const QByteArray& path) const { return requestsFor(*server, path) > 0; }

    void verifyIdle()
    {
        QVERIFY(loginButton()->isEnabled());
        QVERIFY(!progressLabel()->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
    }

private slots:
    void initTestCase()
    {
        initClientTestEnvironment();
        setProcessExitHandlerForTesting([this](int status) {
            exits << status;
            boxesSeenAtExit = boxes ? boxes->seen().size() : -1;
        });
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        // One server for all: the client keeps its connections alive, and a
        // server stopped under them waits for them to time out.
        server = std::make_unique<RecordingHttpServer>();
    }

    void cleanupTestCase() { server.reset(); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        server->clearRequests();
        BaseHttp::setBaseAddressForTesting(server->apiBase());
        boxes = std::make_unique<MessageBoxAnswerer>();
        exits.clear();
        boxesSeenAtExit = -1;
        openedUrls.clear();
        openDialog();
    }

    void cleanup()
    {
        MessageBoxAnswerer::closeAllModals();
        dialog.reset();
        boxes.reset();
        dir.reset();
    }

    void startsEmptyWithFocusInTheName()
    {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("登录Freymo"));
        QCOMPARE(dialog->focusWidget(), nameEdit());
        QVERIFY(nameEdit()->text().isEmpty());
        QVERIFY(!rememberCheck()->isChecked());

        // The unticked box is visible: its indicator's frame stands out
        // against the dialog's background.
        const QImage shot = dialog->grab(rememberCheck()->geometry()).toImage();
        bool framed = false;
        for (int x = 0; x < 16 && !framed; ++x)
            for (int y = 0; y < shot.height() && !framed; ++y)
                framed = qGray(shot.pixel(x, y)) < 200;
        QVERIFY(framed);
    }

    // A saved login cut short after the name still offers the name, under
    // the ticked box, with an empty password.
    void cutShortAccountFileOffersWhatWasRead()
    {
        QFile file(AccountFile::defaultPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("01"
                                       "00000004"
                                       "00620062"));
        file.close();
        openDialog();
        QCOMPARE(nameEdit()->text(), QStringLiteral("bb"));
        QVERIFY(passwordEdit()->text().isEmpty());
        QVERIFY(rememberCheck()->isChecked());
    }

    void inputIsCheckedBeforeSigningIn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no name") << ""
                                 << "pw"
                                 << "提醒|请输入用户名！"
                                 << "usernameEdit";
        QTest::newRow("blank name") << "   "
                                    << "pw"
                                    << "提醒|请输入用户名！"
                                    << "usernameEdit";
        QTest::newRow("no password") << "bob"
                                     << ""
                                     << "提醒|请输入密码！"
                                     << "passwordEdit";
        QTest::newRow("blank password") << "bob"
                                        << "  "
                                        << "提醒|请输入密码！"
                                        << "passwordEdit";
    }

    void inputIsCheckedBeforeSigningIn()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        type(nameEdit(), name);
        type(passwordEdit(), password);
        rememberCheck()->setFocus(); // away from both fields

        QSignalSpy sent(API::instance(), &API::signal_trans_start);
        boxes->expect(QMessageBox::Ok);
        QTest::mouseClick(loginButton(), Qt::LeftButton);
        QVERIFY(boxes->waitForAll());
        QCOMPARE(boxes->seenTexts(), QStringList { message });
        QCOMPARE(dialog->focusWidget()->objectName(), focus);
        QCOMPARE(sent.count(), 0);
        verifyIdle();
    }

    // Enter in the name moves on; Enter in the password signs in once, and
    // again while signing in does nothing. A refusal shows the server's text
    // and the user may try again.
    void enterSignsInOnceAndRefusalReturnsToIdle()
    {
        RecordingHttpServer::Reply refused
            = RecordingHttpServer::json(R"({"success":false,"errors":"用户名或密码错误"})");
        refused.gate = QStringLiteral("login");
        server->on("/api/auth/", refused);
        QSignalSpy sent(API::instance(), &API::signal_trans_start);

        type(nameEdit(), QStringLiteral(" bob "));
        QTest::keyClick(nameEdit(), Qt::Key_Return);
        QCOMPARE(dialog->focusWidget(), passwordEdit());
        QCOMPARE(sent.count(), 0);
        type(passwordEdit(), QStringLiteral("a b+"));
        QTest::keyClick(passwordEdit(), Qt::Key_Return);
        QCOMPARE(sent.count(), 1);
        QVERIFY(!loginButton()->isEnabled());
        QVERIFY(progressLabel()->isVisible());
        QCOMPARE(progressLabel()->text(), QStringLiteral("正在登录，请稍候..."));

        QTest::keyClick(passwordEdit(), Qt::Key_Return);
        QTest::mouseClick(loginButton(), Qt::LeftButton);
        QCOMPARE(sent.count(), 1);

        boxes->expect(QMessageBox::Ok);
        QTRY_COMPARE(server->requestCount(), 1);
        server->release(QStringLiteral("login"));
        QVERIFY(boxes->waitForAll());
        QCOMPARE(boxes->seenTexts(), QStringList { QStringLiteral("抱歉|用户名或密码错误") });
        QCOMPARE(server->lastRequest().body, QByteArray("password=a%20b%2B&username=bob&"));
        verifyIdle();
        QVERIFY(!QFile::exists(AccountFile::defaultPath()));

        server->on("/api/auth/", RecordingHttpServer::json(R"({"success":false,"errors":"x"})"));
        boxes->expect(QMessageBox::Ok);
        QTest::keyClick(passwordEdit(), Qt::Key_Return);
        QVERIFY(boxes->waitForAll());
        QCOMPARE(server->requestCount(), 2);
        verifyIdle();
    }

    void unreachablePlatform()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        BaseHttp::setBaseAddressForTesting(QStringLiteral("http://127.0.0.1:%1/api").arg(closedPort));

        type(nameEdit(), QStringLiteral("bob"));
        type(passwordEdit(), QStringLiteral("pw"));
        boxes->expect(QMessageBox::Ok);
        QTest::mouseClick(loginButton(), Qt::LeftButton);
        QVERIFY(boxes->waitForAll());
        QCOMPARE(boxes->seenTexts(), QStringList { QStringLiteral("抱歉|连接管理平台失败！") });
        verifyIdle();
    }

    void successfulLogin_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::newRow("remembered") << true;
        QTest::newRow("not remembered") << false;
    }

    void successfulLogin()
    {
        QFETCH(bool, remember);
        serveSuccessfulLogin();
        const QByteArray dict
            = R"({"driving_mode":{"1":"自营"},"tonnage":{"2":"5吨"},"packingcase_mode":{"3":"厢式"}})";
        RecordingHttpServer::Reply dictReply = RecordingHttpServer::json("{\"success\":true,\"data\":" + dict + "}");
        dictReply.gate = QStringLiteral("dict");
        server->on("/api/truck/dict/", dictReply);
        TruckDict::instance()->setDrivingMode({});
        TruckDict::instance()->setTonnage({});
        TruckDict::instance()->setPackingcaseMode({});
        QSignalSpy accepted(dialog.get(), &QDialog::accepted);

        if (remember)
            QTest::mouseClick(
                rememberCheck(), Qt::LeftButton, Qt::NoModifier, QPoint(5, rememberCheck()->height() / 2));
        QCOMPARE(rememberCheck()->isChecked(), remember);
        type(nameEdit(), QStringLiteral(" 张三 "));
        type(passwordEdit(), QStringLiteral("pw "));
        QTest::mouseClick(loginButton(), Qt::LeftButton);

        // Signed in, the dictionary is on its way: the login is already saved.
        QTRY_COMPARE(progressLabel()->text(), QStringLiteral("正在获取资源..."));
        QVERIFY(!loginButton()->isEnabled());
        QVERIFY(accepted.isEmpty());
        AccountFile saved;
        QVERIFY(saved.load());
        QCOMPARE(saved.remember(), remember);
        QCOMPARE(saved.username(), remember ? QStringLiteral(" 张三 ") : QString());
        QCOMPARE(saved.password(), remember ? QStringLiteral("pw ") : QString());
        QFile raw(AccountFile::defaultPath());
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().contains(QByteArray::fromHex("00700077")), remember); // "pw" in UTF-16BE

        server->release(QStringLiteral("dict"));
        QVERIFY(accepted.wait());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        const QJsonObject expected = QJsonDocument::fromJson(dict).object();
        QCOMPARE(TruckDict::instance()->drivingMode(), expected.value(QStringLiteral("driving_mode")).toObject());
        QCOMPARE(TruckDict::instance()->tonnage(), expected.value(QStringLiteral("tonnage")).toObject());
        QCOMPARE(
            TruckDict::instance()->packingcaseMode(), expected.value(QStringLiteral("packingcase_mode")).toObject());
        QTRY_VERIFY(requested("/api/system/visit/start/"));
        QVERIFY(server->requests().first().body == "password=pw&username=%E5%BC%A0%E4%B8%89&");
        QVERIFY(boxes->seen().isEmpty());
        QVERIFY(exits.isEmpty());

        // The next start shows the login only if it was to be remembered.
        openDialog();
        QCOMPARE(nameEdit()->text(), remember ? QStringLiteral(" 张三 ") : QString());
        QCOMPARE(passwordEdit()->text(), remember ? QStringLiteral("pw ") : QString());
        QCOMPARE(rememberCheck()->isChecked(), remember);
    }

    void failedDictionaryEndsTheProcessAfterTheWarning()
    {
        serveSuccessfulLogin();
        server->on("/api/truck/dict/", RecordingHttpServer::json(R"({"success":false,"errors":"internal"})"));
        type(nameEdit(), QStringLiteral("bob"));
        type(passwordEdit(), QStringLiteral("pw"));
        boxes->expect(QMessageBox::Ok);
        QTest::mouseClick(loginButton(), Qt::LeftButton);
        QVERIFY(boxes->waitForAll());
        QCOMPARE(
            boxes->seenTexts(), QStringList { QStringLiteral("抱歉|获取资源失败，请重试或同管理平台管理员联系！") });
        QTRY_COMPARE(exits, QList<int> { -1 });
        QCOMPARE(boxesSeenAtExit, 1);
        QVERIFY(QFile::exists(AccountFile::defaultPath()));
        QVERIFY(dialog->result() != QDialog::Accepted);
        QVERIFY(!requested("/api/system/visit/start/"));
    }

    void demoLinkFillsTheDemoAccount()
    {
        QSignalSpy sent(API::instance(), &API::signal_trans_start);
        auto* demo = dialog->findChild<QLabel*>(QStringLiteral("demoLink"));
        for (bool ticked : { false, true }) {
            rememberCheck()->setChecked(ticked);
            type(nameEdit(), QStringLiteral("someone"));
            clickLink(demo);
            QCOMPARE(nameEdit()->text(), QStringLiteral("demo"));
            QCOMPARE(passwordEdit()->text(), QStringLiteral("load"));
            QCOMPARE(rememberCheck()->isChecked(), ticked);
        }
        QCOMPARE(sent.count(), 0);
        QVERIFY(openedUrls.isEmpty());
    }

    void registerAndForgetLinksOpenTheContactPage()
    {
        const QUrl contact(ServiceContacts::imContactUrl(ServiceContacts::defaultQQ()));
        clickLink(dialog->findChild<QLabel*>(QStringLiteral("registerLink")));
        clickLink(dialog->findChild<QLabel*>(QStringLiteral("forgetLink")));
        QCOMPARE(openedUrls, (QList<QUrl> { contact, contact }));
    }

    void closeButtonEndsTheProcess()
    {
        QTest::mouseClick(dialog->findChild<QToolButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
        QCOMPARE(exits, QList<int> { -1 });
    }

    // Escape dismisses the modal dialog without signing in; the entry point
    // then ends the process.
    void escapeDismisses()
    {
        dialog->hide();
        boxes->expectDialog([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QVERIFY(boxes->unexpected().isEmpty());
    }
};

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
