#include "shell/activitycontroller.h"

#include <QDebug>
#include <QGridLayout>
#include <QPropertyAnimation>

#include <memory>

ActivityController::ActivityController(QWidget* parent)
    : QWidget(parent)
    , layout(new QGridLayout(this))
{
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

ActivityController::~ActivityController()
{
    // The activities die with the widget base, after this object's members:
    // they must not report back here by then.
    for (QWidget* activity : qAsConst(stack))
        disconnect(activity, &QObject::destroyed, this, &ActivityController::forget);
}

void ActivityController::startActivity(QWidget* activity, bool wantResult, bool animated)
{
    this->wantResult = wantResult;
    result = QVariant();
    if (!activity)
        return;

    stack.append(activity);
    top = activity;
    wishes.insert(activity, wantResult);
    activity->setAttribute(Qt::WA_TranslucentBackground);
    layout->addWidget(activity, 0, 0);
    // An activity deleted behind the controller's back must not stay on the
    // stack as a dangling pointer.
    connect(activity, &QObject::destroyed, this, &ActivityController::forget);

    // Before the controller has a size of its own (the window is not shown
    // yet) there is nothing to slide, and animating to an empty geometry
    // would leave the activity invisible until the next layout pass.
    if (!animated || width() <= 0 || height() <= 0)
        return;
    auto* animation = new QPropertyAnimation(activity, "geometry", activity);
    animation->setDuration(AnimationMs);
    animation->setEasingCurve(QEasingCurve::InBack);
    animation->setStartValue(QRect(width(), 0, width(), height()));
    animation->setEndValue(QRect(1, 0, width(), height()));
    // A resize during the slide would otherwise leave the stale size behind.
    connect(animation, &QAbstractAnimation::finished, layout, &QLayout::invalidate);
    slidesIn.removeAll(nullptr);
    slidesIn.append(animation);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void ActivityController::finishActivity()
{
    if (finishing || stack.size() <= 1)
        return;
    if (!top)
        top = stack.last();
    finishing = top;

    auto* animation = new QPropertyAnimation(top, "geometry", this);
    animation->setDuration(AnimationMs);
    animation->setEasingCurve(QEasingCurve::OutBack);
    animation->setStartValue(QRect(1, 0, width(), height()));
    animation->setEndValue(QRect(width(), 0, width(), height()));
    connect(animation, &QAbstractAnimation::finished, this, &ActivityController::slot_anim_finish);
    animation->start(QAbstractAnimation::DeleteWhenStopped);

    // The result belongs to the finishing activity: it is cleared whether or
    // not anyone asked for it, and before anyone hears of it, since a receiver
    // may start the next activity, whose result must start out empty.
    const QVariant delivered = result;
    result = QVariant();
    if (!wishes.value(finishing, false))
        return;
    wishes.insert(finishing, false);
    QPointer<QWidget> activity = finishing;
    emit signal_activity_finish(delivered);
    if (activity)
        emit signal_activity_result(activity, delivered);
}

void ActivityController::startActivityForResult(
    QWidget* activity, QObject* receiver, std::function<void(const QVariant&)> onResult)
{
    if (!activity)
        return;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(this, &ActivityController::signal_activity_result, receiver,
        [activity, connection, onResult = std::move(onResult)](QWidget* finished, const QVariant& data) {
            if (finished != activity)
                return;
            QObject::disconnect(*connection);
            onResult(data);
        });
    // An activity that dies without finishing (its controller goes first)
    // takes its subscription with it.
    connect(activity, &QObject::destroyed, this, [connection] { QObject::disconnect(*connection); });
    startActivity(activity, true, true);
}

ActivityController* ActivityController::containing(const QWidget* widget)
{
    for (QWidget* w = const_cast<QWidget*>(widget); w; w = w->parentWidget()) {
        if (auto* controller = qobject_cast<ActivityController*>(w))
            return controller;
    }
    return nullptr;
}

bool ActivityController::isSliding() const
{
    if (isFinishing())
        return true;
    for (const QPointer<QAbstractAnimation>& slide : slidesIn) {
        if (slide && slide->state() == QAbstractAnimation::Running)
            return true;
    }
    return false;
}

bool ActivityController::acceptsPressFrom(const QWidget* widget)
{
    const QWidget* activity = widget;
    while (activity && !qobject_cast<const ActivityController*>(activity->parentWidget()))
        activity = activity->parentWidget();
    if (!activity)
        return true; // in no stack: nothing slides over it
    const auto* controller = static_cast<const ActivityController*>(activity->parentWidget());
    return !controller->isSliding() && controller->topActivity() == activity;
}

void ActivityController::setResult(const QVariant& data)
{
    result = data;
}

QWidget* ActivityController::topActivity() const
{
    if (top)
        return top;
    return stack.isEmpty() ? nullptr : stack.last();
}

void ActivityController::slot_anim_finish()
{
    qDebug() << "slot_anim_finish";
    QWidget* done = finishing;
    finishing = nullptr;
    top = nullptr;
    if (!done)
        return;
    stack.removeOne(done);
    wishes.remove(done);
    disconnect(done, &QObject::destroyed, this, &ActivityController::forget);
    done->close();
    done->deleteLater();
}

void ActivityController::forget(QObject* activity)
{
    for (int i = stack.size() - 1; i >= 0; --i) {
        if (static_cast<QObject*>(stack.at(i)) == activity)
            stack.removeAt(i);
    }
    if (static_cast<QObject*>(top) == activity)
        top = nullptr;
    wishes.remove(activity);
}
