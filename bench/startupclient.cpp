// The client's start-up as the start-up benchmark runs it: main() of the real
// program, with the first paint of the login dialog reported.
//
// With "--phases" it instead takes the same steps one at a time and prints
// how long each took, to show where the start-up's time goes.
#include "firstpaint.h"

#include "app/application.h"
#include "app/fontsetup.h"
#include "app/logindialog.h"
#include "net/api.h"
#include "net/systeminfo.h"
#include "resources/applicationlook.h"
#include "resources/picturereadahead.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace {

class PhaseClock
{
public:
    void lap(const char* what)
    {
        const long long now = monotonicNanoseconds();
        std::printf("phase %-28s %8.2f ms\n", what, double(now - last) / 1e6);
        last = now;
    }

private:
    long long last = monotonicNanoseconds();
};

class PaintWatch : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    bool painted = false;
};

int runPhases(int& argc, char** argv)
{
    PhaseClock clock;
    FontSetup fontSetup;
    setApplicationAttributes();
    QApplication app(argc, argv);
    clock.lap("application object");
    freymoInitResources();
    preloadLoginPictures();
    clock.lap("the title bar's pictures");
    fontSetup.wait();
    clock.lap("fontconfig (waited for)");
    applyApplicationLook();
    clock.lap("style sheet, font, codec");
    SystemInfo::setScreenSize(virtualDesktopSize());
    API::instance();
    clock.lap("API (network manager)");
    {
        // Fonts: the first Chinese text measured loads the CJK font.
        QFontMetrics metrics(QApplication::font());
        metrics.horizontalAdvance(QStringLiteral("登录用户名密码"));
    }
    clock.lap("CJK font");
    PictureReadAhead stylePictures(loginStylePictures());
    LoginDialog dialog;
    clock.lap("login dialog built");
    stylePictures.keep();
    clock.lap("its style's pictures (waited for)");
    PaintWatch watch;
    dialog.installEventFilter(&watch);
    dialog.show();
    clock.lap("dialog shown (polish, layout)");
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    clock.lap("dialog painted");
    // Built after the first paint, as the program does.
    auto mainWindow = std::make_unique<MainWindow>(&createRootActivity);
    clock.lap("main window built (after)");
    std::fflush(stdout);
    _exit(0);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--phases") == 0)
        return runPhases(argc, argv);
    reportFirstPaintOf("LoginDialog");
    return runApplication(argc, argv);
}
