#pragma once

#include <QFrame>
#include <QPointer>

class QHBoxLayout;
class QLabel;
class QToolButton;
class QVBoxLayout;

// An in-window dialog: a frame that dims the widget it lies on and shows,
// centred, a box with a title strip, the caller's content and OK / Cancel.
// It runs no event loop: the caller shows it, reacts to its signals and hides
// it. Keep it the parent's size from the parent's resizeEvent.
class DialogWidget : public QFrame
{
    Q_OBJECT

public:
    explicit DialogWidget(QWidget* parent);

    void setTitle(const QString& text);
    // Puts `widget` between the title strip and the button bar, on a white
    // background; the dialog takes ownership. A second call replaces the
    // content: the previous widget is taken out and deleted, so callers must
    // drop every pointer into it.
    void setContent(QWidget* widget);
    QWidget* contentWidget() const { return content; }

signals:
    // OK was clicked. The dialog stays visible: checking the input and closing
    // are the receiver's business.
    void signal_ok(DialogWidget* dlg, QWidget* content);
    // Cancel was clicked; the dialog is already hidden.
    void signal_cancel(DialogWidget* dlg);

public slots:
    void slot_ok_button_clicked();
    void slot_cancel_button_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QFrame* body;
    QVBoxLayout* bodyLayout;
    QLabel* titleLabel;
    QFrame* buttonBar;
    QHBoxLayout* buttonBarLayout;
    QToolButton* okButton;
    QToolButton* cancelButton;
    QPointer<QWidget> content;
};
