#include "app/firstpaintwatcher.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

FirstPaintWatcher::FirstPaintWatcher(QWidget* widget, std::function<void()> work)
    : QObject(widget)
    , work(std::move(work))
{
    widget->installEventFilter(this);
}

void FirstPaintWatcher::whenPainted(QWidget* widget, std::function<void()> work)
{
    new FirstPaintWatcher(widget, std::move(work));
}

bool FirstPaintWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        // The paint event comes before the widget's children are painted and
        // the window is flushed: the work waits for the next turn.
        QTimer::singleShot(0, this, [this] {
            const std::function<void()> pending = std::move(work);
            deleteLater();
            pending();
        });
    }
    return false;
}
