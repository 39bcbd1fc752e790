#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

class ActivityController;
class LoginDialog;
class MainWindow;
class PlatformProcess;
class QWidget;

// Drives the whole client the way a clerk does, for the journey suite and the
// screenshot tour: the login dialog and the main window built as the program
// builds them, pointed at a running platform, in a working folder of their
// own (the login dialog keeps account.dat there).
class ClientDriver
{
public:
    // Points the API and the voice session at `platform`.
    explicit ClientDriver(const PlatformProcess& platform);
    // Points them at the platform's API base address ("http://…/api") and
    // the voice switch's port on 127.0.0.1, such as a balancer's.
    ClientDriver(const QString& apiBase, int voicePort);
    // Closes the main window, if one is open.
    ~ClientDriver();

    ClientDriver(const ClientDriver&) = delete;
    ClientDriver& operator=(const ClientDriver&) = delete;

    // Builds and shows a fresh login dialog (the previous one goes); null
    // when it was not exposed.
    LoginDialog* showLogin();
    // Signs in through the login dialog (shown first if needed): types the
    // name and the password, presses "登录" and waits until the dialog is
    // accepted. Then builds the main window as the program does, shows it and
    // waits until it has settled. False when any of that did not happen.
    bool signIn(const QString& username, const QString& password);
    // Deletes the main window without leaving the program.
    void closeWindow();

    MainWindow* window() const { return mainWindow; }
    LoginDialog* login() const { return loginDialog; }
    ActivityController* section(int index) const;
    // The top activity of section `index`.
    QWidget* top(int index) const;
    template <class T> T* topAs(int index) const { return qobject_cast<T*>(top(index)); }

    // Presses the tool bar button of section `index` and waits until the
    // section has settled.
    bool openSection(int index);
    // Waits until no request is in flight, no animation runs and no deletion
    // is pending, and that has held for a few turns of the event loop.
    static bool settle(int ms = 15000);
    // Moves the pointer onto `widget` at `at` (its centre when null), so that
    // it receives enter events and hover styles.
    static void pointAt(QWidget* widget, const QPoint& at = QPoint());

private:
    QTemporaryDir workDir;
    QPointer<LoginDialog> loginDialog;
    QPointer<MainWindow> mainWindow;
};
