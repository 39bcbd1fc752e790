#include "firstpaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

const char* watchedClass = nullptr;

class FirstPaintFilter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!seen && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->isWindow() && watched->inherits(watchedClass)) {
            seen = true;
            // The window's paint event comes first in a repaint; the children
            // and the flush to the screen follow in the same pass, so the
            // report waits for the next turn of the event loop.
            QTimer::singleShot(0, [] {
                std::printf("painted %lld\n", monotonicNanoseconds());
                std::fflush(stdout);
                _exit(0);
            });
        }
        return false;
    }

private:
    bool seen = false;
};

void installFilter()
{
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new FirstPaintFilter(app));
}

} // namespace

void reportFirstPaintOf(const char* windowClass)
{
    watchedClass = windowClass;
    qAddPreRoutine(&installFilter);
}
