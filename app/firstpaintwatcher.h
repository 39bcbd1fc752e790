#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Runs a piece of work once, on the turn of the event loop after a widget's
// first paint: the way to do at start-up what the first window on the screen
// does not need, without making the user wait for it.
class FirstPaintWatcher : public QObject
{
    Q_OBJECT

public:
    // Calls `work` once, after `widget` has first been painted (its paint
    // and the flush of its window have ended by then). Nothing happens if
    // the widget dies first. The watcher belongs to the widget.
    static void whenPainted(QWidget* widget, std::function<void()> work);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FirstPaintWatcher(QWidget* widget, std::function<void()> work);

    std::function<void()> work;
};
