#pragma once

#include <QFrame>
#include <QMap>
#include <QPointer>
#include <QString>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class SuggestionItem;

// An auto-complete drop-down under one line edit of an activity (the target).
// Each edit of the target asks the owner for suggestions; the owner hands
// back a map of names to record ids, of which the list shows at most ten
// above a fixed "添加新的" button. Choosing an entry writes its name into the
// target and its id into the target's dynamic property "id", where the owner
// reads the choice. An edit by hand sets "id" back to 0: the target never
// shows one name while holding the id of another.
//
// From the keyboard, Down and Up move a highlight through the entries (the
// first Down to the top one, then on to "添加新的"), Enter chooses the
// highlighted entry as a click does and lets the key go on to the form, and
// Esc hides the list.
//
// The list never talks to the server and keeps no selection of its own.
class SuggestionWidget : public QFrame
{
    Q_OBJECT

public:
    // `parent` is the activity holding `target`, whose position is taken
    // relative to the activity's body under the 35-pixel header.
    SuggestionWidget(QLineEdit* target, QWidget* parent);

    // Replaces the entries: the first ten names in key order, the last of
    // them at the top. Shows or hides nothing.
    void setSuggestions(QMap<QString, int> nameToId);
    // Replaces the entries by the news that the search failed (with the
    // server's `errors`) and a button that asks for the same text again.
    // Shows or hides nothing.
    void setFailed(const QString& errors);
    // Writes a choice made elsewhere into the target; shows or hides nothing.
    void setSelected(int id, QString text);

    // Set by the owner to tell its lists apart; echoed by
    // signal_suggestion_addnew().
    int tag = 0;

signals:
    void signal_suggestion_request(const QString text);
    void signal_suggestion_addnew(const int tag);

public slots:
    void slot_target_textchanged(const QString& text);
    void slot_target_focused(QWidget* old, QWidget* now);
    void slot_item_clicked(const QString& text, const int id);
    void slot_addnew_clicked();
    void slot_retry_clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Under the target: its x, one pixel below it, its width, 270 high.
    void place();
    // The target while it is a whole line edit: null once its destruction
    // has begun (it may still send focus and resize events by then).
    QLineEdit* liveTarget() const;
    // The target's keys while the list serves it; true when the list took
    // the key.
    bool takeKey(QKeyEvent* event);
    // The entries from the top down.
    QList<SuggestionItem*> entries() const;
    // Moves the highlight to row `row` of the entries; one past the last is
    // "添加新的", -1 is none.
    void highlight(int row);

    QPointer<QObject> target;
    QVBoxLayout* layout;
    QToolButton* addNewButton;
    QWidget* failureRow;
    QLabel* failureLabel;
    bool hasEntries = false;
    int highlighted = -1;
};
