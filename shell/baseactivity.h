#pragma once

#include <QEasingCurve>
#include <QList>
#include <QPointer>
#include <QStringList>
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
    // left edge (where it stays shown, outside the visible area). Hiding a
    // picture that was never shown, or is out already, moves nothing.
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
    // Finishes this activity without a result. A form with changes that
    // were not saved asks first whether to drop them.
    virtual void slot_back();

public:
    // Keys the main window hands to the screen shown: F5 reloads it from its
    // first page, Home and End scroll it to its top and its end. Screens
    // without a list to reload or scroll ignore them.
    virtual void reloadFromStart() { }
    virtual void scrollToStart() { }
    virtual void scrollToEnd() { }

protected:
    void resizeEvent(QResizeEvent* event) override;

    // Marks every widget shown since the last paint as needing one now. Qt
    // paints a child shown in a visible window through an update that it
    // posts (QEvent::UpdateLater) behind the paint already due: without
    // this, what the child covers is painted twice, once in that paint and
    // once more when the posted update comes.
    static void markShownWidgetsDirty();

    // The main window: the active window when it is one, else the window
    // this activity lives in. Null when neither is a MainWindow.
    MainWindow* mainWindow() const;

    // Puts `widget` into the header, right of the title: just left of
    // `before` (a widget added earlier) when given, else just left of the
    // action button, so that widgets added one after another line up left
    // to right. The header owns it.
    void addHeaderWidget(QWidget* widget, QWidget* before = nullptr);
    // A button in the action button's look at the header's right end, right
    // of the action button; the header owns it.
    QToolButton* addHeaderButton(const QString& text, const QString& objectName);

    // The body of a form: the activity turns white and its body gets a grid
    // with margins 20 and spacing 10, which the form fills. A form works from
    // the keyboard: its first field takes the focus when it is first shown,
    // Enter in a one-line field moves on to the next field in reading order,
    // Ctrl+S does what the action button does and Esc what "返回" does.
    QGridLayout* addFormGrid();
    // Whether the form's fields differ from what they showed when the form
    // was first shown.
    bool hasUnsavedChanges() const;

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

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
    // The form's input fields in reading order: row by row, left to right.
    QList<QWidget*> formFields() const;
    // What the form's fields show, one entry per field.
    QStringList formSnapshot() const;
    // Presses the action button by key, when it is there to be pressed.
    void triggerAction();
    void slideNoData(const QRect& from, const QRect& to, QEasingCurve::Type easing);

    QPointer<QPropertyAnimation> noDataAnimation;
    bool backConnected = false;
    QMetaObject::Connection actionConnection;
    QPointer<QObject> actionReceiver;
    bool isForm = false;
    bool shownOnce = false;
    // The form's fields as first shown; what "返回" compares against.
    QStringList savedSnapshot;
};
