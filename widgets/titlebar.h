#pragma once

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QToolButton;

// The self-drawn title bar of the frameless windows: icon, title, and the
// minimise, maximise/restore and close buttons. Pressing the left button on
// the bar and moving drags the window.
class TitleBar : public QWidget
{
    Q_OBJECT

public:
    // `window` is both the bar's parent and the window it moves, minimises
    // and maximises.
    explicit TitleBar(QWidget* window);

    void hideMaximizeButton();
    void hideIconAndTitle();

    // Shows frame `frame` (1 normal, 2 hover, 3 pressed) of the button's
    // four-frame image. The maximise/restore button shows the restore image
    // while the window is maximised, except for the `initial` call made at
    // construction.
    void updateButtonImage(QToolButton* button, int frame, bool initial = false);

signals:
    void signal_quit_application();

public slots:
    void slot_btnclick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* host;
    QLabel* iconLabel;
    QLabel* titleLabel;
    QToolButton* minimizeButton;
    QToolButton* maximizeButton;
    QToolButton* closeButton;
    QHBoxLayout* layout;
    bool dragging = false;
    int lastX = 0;
    int lastY = 0;
};
