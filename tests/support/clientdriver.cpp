#include "clientdriver.h"

#include "platformprocess.h"
#include "screentestkit.h"

#include "app/application.h"
#include "app/logindialog.h"
#include "net/api.h"
#include "net/basehttp.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "shell/toolbarbutton.h"
#include "telephony/voicesession.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

bool animationRunning()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (const QAbstractAnimation* animation : top->findChildren<QAbstractAnimation*>()) {
            if (animation->state() == QAbstractAnimation::Running)
                return true;
        }
    }
    return false;
}

} // namespace

ClientDriver::ClientDriver(const PlatformProcess& platform)
    : ClientDriver(platform.apiBase(), platform.voicePort())
{
}

ClientDriver::ClientDriver(const QString& apiBase, int voicePort)
{
    BaseHttp::setBaseAddressForTesting(apiBase);
    VoiceSession::setServerForTesting("127.0.0.1", voicePort);
    if (workDir.isValid())
        QDir::setCurrent(workDir.path());
}

ClientDriver::~ClientDriver()
{
    closeWindow();
    delete loginDialog;
}

LoginDialog* ClientDriver::showLogin()
{
    delete loginDialog;
    loginDialog = new LoginDialog;
    loginDialog->show();
    return QTest::qWaitForWindowExposed(loginDialog) ? loginDialog.data() : nullptr;
}

bool ClientDriver::signIn(const QString& username, const QString& password)
{
    if ((!loginDialog || loginDialog->result() == QDialog::Accepted) && !showLogin())
        return false;
    auto* name = loginDialog->findChild<QLineEdit*>(QStringLiteral("usernameEdit"));
    auto* secret = loginDialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    if (!name || !secret)
        return false;
    name->clear();
    secret->clear();
    ScreenTestKit::typeText(name, username);
    ScreenTestKit::typeText(secret, password);

    QSignalSpy accepted(loginDialog.data(), &QDialog::accepted);
    if (!ScreenTestKit::clickButton(loginDialog, QStringLiteral("登录")) || !accepted.wait(20000))
        return false;

    // As the program does once the dialog is accepted.
    closeWindow();
    mainWindow = new MainWindow(&createRootActivity);
    mainWindow->show();
    return QTest::qWaitForWindowExposed(mainWindow) && settle();
}

void ClientDriver::closeWindow()
{
    delete mainWindow;
    settle();
}

ActivityController* ClientDriver::section(int index) const
{
    return mainWindow ? mainWindow->controllerAt(index) : nullptr;
}

QWidget* ClientDriver::top(int index) const
{
    ActivityController* controller = section(index);
    return controller ? controller->topActivity() : nullptr;
}

bool ClientDriver::openSection(int index)
{
    if (!mainWindow)
        return false;
    auto* button = mainWindow->findChild<ToolBarButton*>(QStringLiteral("ToolBarButton%1").arg(index));
    if (!button)
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return mainWindow->currentController() == section(index) && settle();
}

bool ClientDriver::settle(int ms)
{
    int quietTurns = 0;
    return QTest::qWaitFor(
        [&quietTurns] {
            const bool quiet = API::instance()->requestsInFlight() == 0 && !animationRunning();
            quietTurns = quiet ? quietTurns + 1 : 0;
            return quietTurns >= 3;
        },
        ms);
}

void ClientDriver::pointAt(QWidget* widget, const QPoint& at)
{
    // From the window's corner: a widget that appeared under a resting
    // pointer has had no enter event yet.
    QTest::mouseMove(widget->window(), QPoint(0, 0));
    QTest::mouseMove(widget, at.isNull() ? widget->rect().center() : at);
}
