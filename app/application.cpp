#include "app/application.h"

// This file assembles the application. It is the one place that knows every
// root screen: the shell below it takes the screens through a factory, so no
// lower folder includes a screen.
#include "app/firstpaintwatcher.h"
#include "app/fontsetup.h"
#include "app/logindialog.h"
#include "net/systeminfo.h"
#include "resources/applicationlook.h"
#include "resources/picturereadahead.h"
#include "screens/board/homeactivity.h"
#include "screens/parties/consigneelistactivity.h"
#include "screens/parties/shipperlistactivity.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trucks/trucklistactivity.h"
#include "shell/mainwindow.h"
#include "shell/processexit.h"

#include <QApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include <memory>

namespace {

// What the event loop returns when the account is to be switched; no way out
// of the program uses it (they end the process with -1).
constexpr int switchAccountStatus = 0x5357;

} // namespace

QWidget* createRootActivity(int index, QWidget* parent)
{
    switch (index) {
    case 0:
        return new HomeActivity(parent);
    case 1:
        return new TradeListActivity(parent);
    case 2:
        return new ShipperListActivity(parent);
    case 3:
        return new TruckListActivity(parent);
    case 4:
        return new ConsigneeListActivity(parent);
    default:
        return nullptr;
    }
}

QSize virtualDesktopSize()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QSize(0, 0);
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : QSize(0, 0);
}

bool installQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    // The texts of Qt's base modules (Core, Gui, Widgets, Network, Print
    // Support): all of Qt that the program shows. "qt_" would name a
    // catalogue of every installed Qt module, which opens one file per module
    // at start-up for texts that never appear.
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        qDebug() << "Qt's Chinese translations are not installed";
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

void preloadLoginPictures()
{
    // The pictures that the login dialog's title bar reads as it is made.
    preloadPictures({ QStringLiteral(":/images/btn_sys_min.png"), QStringLiteral(":/images/btn_sys_max.png"),
        QStringLiteral(":/images/btn_sys_close.png"), QStringLiteral(":/images/logo.ico") });
}

QStringList loginStylePictures()
{
    // Named as the dialog's style sheets name them; a style sheet reads every
    // state's picture of the login button when it polishes the button.
    return { QStringLiteral(":images/bg_header.png"), QStringLiteral(":/images/btn_normal.png"),
        QStringLiteral(":/images/btn_hover.png"), QStringLiteral(":/images/btn_pressed.png") };
}

void setApplicationAttributes()
{
    // Every screen is drawn by the raster engine; nothing shows OpenGL.
    // Windows that may host OpenGL children make the X11 platform set up
    // OpenGL (loading the driver and choosing a visual through it) for the
    // first window, which took over a third of the start-up's processor time
    // and gave the same pixels.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
}

int runApplication(int& argc, char** argv)
{
    FontSetup fontSetup;
    setApplicationAttributes();
    QApplication app(argc, argv);
    installQtTranslations();
    freymoInitResources();
    preloadLoginPictures();
    // fontconfig is to be ready before the application font is set: where no
    // platform theme names a font (offscreen), that is the first use of fonts.
    fontSetup.wait();
    // The style sheet, the font, then the codec for locale-dependent text.
    applyApplicationLook();
    // The server client reads no screens; it reports the size handed in here.
    SystemInfo::setScreenSize(virtualDesktopSize());

    // The pictures the first dialog's style sheets show are read while the
    // dialog is made, and kept before it is shown; later rounds keep nothing.
    PictureReadAhead stylePictures(loginStylePictures());

    // Each round signs one account in and runs its main window. Switching
    // the account (the ••• menu) ends the round: the window and every screen
    // of the account go with it, and the next round asks for a sign-in.
    for (;;) {
        // The first dialog's constructor is the first use of the API object.
        LoginDialog dialog;
        stylePictures.keep();

        // Stays hidden until the login has succeeded. Nothing of it is needed
        // to show the dialog, so it is built right after the dialog's first
        // paint, inside the dialog's loop and before any request can be sent:
        // its status bar still follows every transfer from the login on.
        std::unique_ptr<MainWindow> mainWindow;
        const auto buildMainWindow = [&mainWindow] {
            if (!mainWindow)
                mainWindow = std::make_unique<MainWindow>(&createRootActivity);
        };
        FirstPaintWatcher::whenPainted(&dialog, buildMainWindow);

        if (dialog.exec() != QDialog::Accepted) {
            // Dismissed without signing in: end before the event loop runs,
            // where QApplication::exit() would be ignored.
            exitProcess(-1);
            return -1;
        }
        buildMainWindow();
        QObject::connect(mainWindow.get(), &MainWindow::signal_switch_account, &app,
            [] { QApplication::exit(switchAccountStatus); });
        mainWindow->show();
        const int status = app.exec();
        if (status != switchAccountStatus)
            return status;
        // Locals go in reverse order: the main window, then the dialog.
    }
}
