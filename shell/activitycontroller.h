#pragma once

#include <QList>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class QGridLayout;

// The stack of activities of one tool bar section. Every activity sits in the
// same grid cell, so the newest covers the ones below. Opening slides the new
// one in from the right; finishing slides the top one out to the right,
// deletes it and, when the latest opener asked for it, hands the stored
// result to everyone connected to signal_activity_finish().
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
    // Slides the top activity out and, if the latest start asked for a result,
    // emits signal_activity_finish(result) at once, before the activity goes.
    // Does nothing while a finish is still running or when only the root
    // activity is left.
    void finishActivity();
    void setResult(const QVariant& data);

    // Bottom first; the finishing activity stays here until its animation ends.
    const QList<QWidget*>& activities() const { return stack; }
    QWidget* topActivity() const;
    bool isFinishing() const { return !finishing.isNull(); }

signals:
    void signal_activity_finish(QVariant data);

public slots:
    void slot_anim_finish();

private:
    void forget(QObject* activity);

    QList<QWidget*> stack;
    QWidget* top = nullptr;
    QGridLayout* layout;
    bool wantResult = false;
    QVariant result;
    // The activity whose finish animation runs; it alone is removed when the
    // animation ends, whatever was started on top of it meanwhile.
    QPointer<QWidget> finishing;
};
