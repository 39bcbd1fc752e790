#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <functional>

class QAbstractAnimation;
class QGridLayout;

// The stack of activities of one tool bar section. Every activity sits in the
// same grid cell, so the newest covers the ones below. Opening slides the new
// one in from the right; finishing slides the top one out to the right,
// deletes it and, when its opener asked for a result, hands the stored result
// to everyone connected to signal_activity_finish().
//
// Results. Each activity remembers whether its own start asked for a result,
// so a form finished on top of a screen cannot take the screen's wish away.
// A delivered result is cleared at once: a screen left with "返回" after a form
// saved over it hands on an invalid value, never the form's stale result.
// Openers that must receive only the result of the activity they started,
// and not that of a form opened on top of it on the same controller, use
// startActivityForResult().
//
// The controller owns the activities in its stack from startActivity() on.
class ActivityController : public QWidget
{
    Q_OBJECT

public:
    static constexpr int AnimationMs = 500;

    explicit ActivityController(QWidget* parent = nullptr);
    ~ActivityController() override;

    // Pushes `activity` on the stack. `wantResult` and a cleared result are
    // stored first, also for a null activity (which is then not pushed).
    void startActivity(QWidget* activity, bool wantResult, bool animated);
    // Starts `activity` (animated) with a result wanted and calls `onResult`,
    // in the context of `receiver`, with the value the activity finishes with
    // (an invalid one when it was left with "返回"): once, and for this
    // activity only. Nothing is called once `receiver` is gone.
    void startActivityForResult(QWidget* activity, QObject* receiver, std::function<void(const QVariant&)> onResult);
    // Slides the top activity out and, if the latest start asked for a result,
    // emits signal_activity_finish(result) at once, before the activity goes.
    // Does nothing while a finish is still running or when only the root
    // activity is left.
    void finishActivity();
    void setResult(const QVariant& data);

    // The nearest controller among `widget` and its ancestors: the one whose
    // stack holds the activity `widget` belongs to. Null when there is none.
    static ActivityController* containing(const QWidget* widget);

    // Bottom first; the finishing activity stays here until its animation ends.
    const QList<QWidget*>& activities() const { return stack; }
    QWidget* topActivity() const;
    bool isFinishing() const { return !finishing.isNull(); }
    // An activity slides in or out (500 ms from its start or finish).
    bool isSliding() const;

    // Whether a press inside `widget` may open a screen: the activity that
    // holds it is on top of its controller and no activity slides. A second
    // press while the first one's screen still slides in, or a press on a
    // screen already covered, is ignored: one press opens one screen. A
    // widget in no controller's stack is always pressable.
    static bool acceptsPressFrom(const QWidget* widget);

signals:
    void signal_activity_finish(QVariant data);
    // Emitted with signal_activity_finish(), naming the activity that finished.
    void signal_activity_result(QWidget* activity, QVariant data);

public slots:
    void slot_anim_finish();

private:
    void forget(QObject* activity);

    QList<QWidget*> stack;
    QWidget* top = nullptr;
    QGridLayout* layout;
    // The latest start's wish; each activity keeps its own in `wishes`.
    bool wantResult = false;
    QVariant result;
    QHash<const QObject*, bool> wishes;
    // The activity whose finish animation runs; it alone is removed when the
    // animation ends, whatever was started on top of it meanwhile.
    QPointer<QWidget> finishing;
    // Slide-in animations; each dies when it stops, or with its activity.
    QList<QPointer<QAbstractAnimation>> slidesIn;
};
