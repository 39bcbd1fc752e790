#pragma once

#include <QEasingCurve>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class ActivityController;
class MainWindow;
class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QMovie;
class QPropertyAnimation;
class QToolButton;
class QVBoxLayout;

// The base of every screen: a header strip (back button, title, action
// button), a body that the screen fills through bodyLayout, a side column
// (sideLayout), a loading overlay and a no-data picture.
class BaseActivity : public QWidget
{
    Q_OBJECT

public:
    static constexpr int NoDataAnimationMs = 500;

    explicit BaseActivity(QWidget* parent = nullptr);
    ~BaseActivity() override;

    // Shows "返回", which finishes the current controller's top activity.
    void showBackButton();
    // Shows the action button with `text`; pressing it calls
    // `receiver`'s slot_action().
    void setActionButton(const QString& text, QObject* receiver);
    void setTitle(const QString& text);

    // Dims the activity and shows `text` ("正在读取数据，请稍候..." when
    // empty) under the turning gear.
    void showLoading(const QString& text);
    void hideLoading();

    // Slides the no-data picture into the middle of the body, or out past the
    // left edge (where it stays shown, outside the visible area).
    void showNoData();
    void hideNoData();

    // The controller this activity lives on (its stack holds it); null before
    // it was started. Forms finish here, not on the section shown now: the
    // user may have switched sections while a save was under way.
    ActivityController* controller() const;
    // Finishes this activity on its own controller, handing `result` to the
    // opener that asked for one.
    // Does nothing unless this activity is its controller's top one.
    void finish(const QVariant& result = QVariant());

public slots:
    virtual void slot_action() = 0;
    // Finishes this activity without a result.
    virtual void slot_back();

protected:
    void resizeEvent(QResizeEvent* event) override;

    // The main window: the active window when it is one, else the window
    // this activity lives in. Null when neither is a MainWindow.
    MainWindow* mainWindow() const;

    // Puts `widget` into the header, right of the title: just left of
    // `before` (a widget added earlier) when given, else just left of the
    // action button, so that widgets added one after another line up left
    // to right. The header owns it.
    void addHeaderWidget(QWidget* widget, QWidget* before = nullptr);

    // The body of a form: the activity turns white and its body gets a grid
    // with margins 20 and spacing 10, which the form fills.
    QGridLayout* addFormGrid();

    QGridLayout* gridLayout;
    QHBoxLayout* headerLayout;
    QToolButton* backButton;
    QLabel* leftSeparator;
    QLabel* titleLabel;
    QLabel* rightSeparator;
    QToolButton* actionButton;
    QFrame* loadingOverlay;
    QLabel* loadingMovieLabel;
    QLabel* loadingTextLabel;
    QMovie* loadingMovie;
    QLabel* noDataLabel;
    QWidget* headerWidget;
    QWidget* bodyWidget;
    QVBoxLayout* sideLayout;
    QVBoxLayout* bodyLayout;

private:
    void layoutLoading();
    void slideNoData(const QRect& from, const QRect& to, QEasingCurve::Type easing);

    QPointer<QPropertyAnimation> noDataAnimation;
    bool backConnected = false;
    QMetaObject::Connection actionConnection;
};
