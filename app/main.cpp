#include "app/appsetup.h"
#include "app/logindialog.h"
#include "app/processexit.h"
#include "shell/mainwindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    freymoInitResources();
    // The style sheet, then the codec for locale-dependent text.
    applyApplicationLook();

    // The dialog's constructor is the first use of the API object.
    LoginDialog dialog;

    // Stays hidden until the login has succeeded.
    MainWindow mainWindow;

    if (dialog.exec() != QDialog::Accepted) {
        // Dismissed without signing in: end before the event loop runs,
        // where QApplication::exit() would be ignored.
        exitProcess(-1);
        return -1;
    }
    mainWindow.show();
    return app.exec();
    // Locals go in reverse order: the main window, the dialog, the application.
}
