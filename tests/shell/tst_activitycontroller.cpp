#include "shell/activitycontroller.h"
#include "shell/baseactivity.h"

#include "support/testenvironment.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {
class Screen : public BaseActivity
{
    Q_OBJECT

public:
    using BaseActivity::BaseActivity;
    void slot_action() override { }
};
} // namespace

class TestActivityController : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void init();
    void cleanup();

    void pushedActivityCoversAndFinishRemovesAfterSlide();
    void resultReachesEveryOpenerBeforeTheActivityGoes();
    void backWithoutResultDeliversInvalid();
    void latestStartDecides();
    void nullStartOnlyStoresFlagAndClearsResult();
    void secondFinishDuringSlideIsIgnored();
    void rootAloneIsNeverFinished();
    void startDuringFinishKeepsTheNewActivity();
    void activityDeletedElsewhereLeavesTheStack();

private:
    QPointer<Screen> push(bool wantResult, bool animated = false);
    static bool waitGone(const QPointer<Screen>& screen);

    ActivityController* controller = nullptr;
    Screen* root = nullptr;
};

void TestActivityController::init()
{
    controller = new ActivityController;
    controller->resize(640, 400);
    root = new Screen;
    controller->startActivity(root, false, true);
    controller->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller));
}

void TestActivityController::cleanup()
{
    delete controller;
    controller = nullptr;
    root = nullptr;
}

QPointer<Screen> TestActivityController::push(bool wantResult, bool animated)
{
    auto* screen = new Screen;
    controller->startActivity(screen, wantResult, animated);
    return screen;
}

bool TestActivityController::waitGone(const QPointer<Screen>& screen)
{
    return QTest::qWaitFor([&screen] { return screen.isNull(); }, 3000);
}

void TestActivityController::pushedActivityCoversAndFinishRemovesAfterSlide()
{
    QPointer<Screen> form = push(false, true);
    QCOMPARE(form->parentWidget(), controller);
    QVERIFY(form->testAttribute(Qt::WA_TranslucentBackground));
    // It slides in from the right edge and ends covering the root.
    QTRY_VERIFY(form->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(form->x() <= 1 && form->width() == controller->width(), 3000);
    QWidget* hit = controller->childAt(controller->rect().center());
    QVERIFY(hit == form || form->isAncestorOf(hit));

    controller->finishActivity();
    // Still on the stack and alive while it slides out.
    QCOMPARE(controller->activities().size(), 2);
    QVERIFY(!form.isNull());
    QVERIFY(waitGone(form));
    QCOMPARE(controller->activities(), QList<QWidget*> { root });
    QCOMPARE(controller->topActivity(), static_cast<QWidget*>(root));
    QVERIFY(root->isVisible());
}

void TestActivityController::resultReachesEveryOpenerBeforeTheActivityGoes()
{
    QPointer<Screen> form = push(true);
    QList<QVariant> first;
    QList<QVariant> second;
    QList<bool> aliveWhenTold;
    connect(controller, &ActivityController::signal_activity_finish, this, [&](const QVariant& v) {
        first << v;
        aliveWhenTold << !form.isNull();
    });
    connect(
        controller, &ActivityController::signal_activity_finish, this, [&second](const QVariant& v) { second << v; });

    controller->setResult(QVariantMap { { QStringLiteral("shipper_id"), 7 } });
    controller->finishActivity();
    const QList<QVariant> expected { QVariantMap { { QStringLiteral("shipper_id"), 7 } } };
    QCOMPARE(first, expected);
    QCOMPARE(second, expected);
    QCOMPARE(aliveWhenTold, QList<bool> { true });
    QVERIFY(waitGone(form));
    QCOMPARE(first.size(), 1);
}

void TestActivityController::backWithoutResultDeliversInvalid()
{
    QPointer<Screen> form = push(true);
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);
    controller->finishActivity();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!finished.at(0).at(0).value<QVariant>().isValid());
    QVERIFY(waitGone(form));
}

void TestActivityController::latestStartDecides()
{
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);

    // A result-wanting opener followed by a plain one: nobody is told.
    QPointer<Screen> wanting = push(true);
    controller->setResult(1);
    QPointer<Screen> plain = push(false);
    controller->finishActivity();
    QVERIFY(waitGone(plain));
    controller->finishActivity();
    QVERIFY(waitGone(wanting));
    QCOMPARE(finished.count(), 0);

    // The other way round: the latest start wants it, and a result stored
    // before that start is gone.
    plain = push(false);
    controller->setResult(5);
    wanting = push(true);
    controller->finishActivity();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!finished.at(0).at(0).value<QVariant>().isValid());
    QVERIFY(waitGone(wanting));

    // A result stored after the latest start is delivered, also when the
    // activity below finishes later on.
    controller->setResult(QStringLiteral("张三托运的钢材"));
    controller->finishActivity();
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.at(1).at(0).value<QVariant>(), QVariant(QStringLiteral("张三托运的钢材")));
    QVERIFY(waitGone(plain));
}

void TestActivityController::nullStartOnlyStoresFlagAndClearsResult()
{
    QPointer<Screen> form = push(false);
    controller->setResult(3);
    controller->startActivity(nullptr, true, true);
    QCOMPARE(controller->activities().size(), 2);
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);
    controller->finishActivity();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!finished.at(0).at(0).value<QVariant>().isValid());
    QVERIFY(waitGone(form));
}

void TestActivityController::secondFinishDuringSlideIsIgnored()
{
    QPointer<Screen> lower = push(false);
    QPointer<Screen> upper = push(true);
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);
    controller->finishActivity();
    controller->finishActivity();
    controller->finishActivity();
    QCOMPARE(finished.count(), 1);
    QVERIFY(controller->isFinishing());
    QVERIFY(waitGone(upper));
    // Only the top one went; the one below it is untouched.
    QVERIFY(!lower.isNull());
    QCOMPARE(controller->activities(), (QList<QWidget*> { root, lower.data() }));
    QVERIFY(!controller->isFinishing());

    // Once the slide is over, the next finish works again.
    controller->finishActivity();
    QVERIFY(waitGone(lower));
    QCOMPARE(controller->activities(), QList<QWidget*> { root });
}

void TestActivityController::rootAloneIsNeverFinished()
{
    controller->startActivity(nullptr, true, false);
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);
    controller->finishActivity();
    controller->slot_anim_finish();
    QCOMPARE(finished.count(), 0);
    QCOMPARE(controller->activities(), QList<QWidget*> { root });
    QVERIFY(!controller->isFinishing());
    QVERIFY(root->isVisible());

    // An empty controller takes a finish calmly too.
    ActivityController empty;
    empty.finishActivity();
    QCOMPARE(empty.activities().size(), 0);
}

void TestActivityController::startDuringFinishKeepsTheNewActivity()
{
    QPointer<Screen> leaving = push(false);
    controller->finishActivity();
    QPointer<Screen> arriving = push(false, true);
    QVERIFY(waitGone(leaving));
    QVERIFY(!arriving.isNull());
    QCOMPARE(controller->activities(), (QList<QWidget*> { root, arriving.data() }));
    QCOMPARE(controller->topActivity(), static_cast<QWidget*>(arriving.data()));
}

void TestActivityController::activityDeletedElsewhereLeavesTheStack()
{
    QPointer<Screen> form = push(false);
    delete form.data();
    QCOMPARE(controller->activities(), QList<QWidget*> { root });
    QCOMPARE(controller->topActivity(), static_cast<QWidget*>(root));
    controller->finishActivity();
    QCOMPARE(controller->activities(), QList<QWidget*> { root });
}

QTEST_MAIN(TestActivityController)
#include "tst_activitycontroller.moc"
