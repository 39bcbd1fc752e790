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
    void eachActivityKeepsItsOwnWish();
    void deliveredResultIsNotHandedOnAgain();
    void openerHearsOnlyItsOwnActivity();
    void formFinishesOnItsOwnController();
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

void TestActivityController::eachActivityKeepsItsOwnWish()
{
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);

    // A plain form started over a result-wanting screen neither reports
    // itself nor takes the screen's wish away.
    QPointer<Screen> wanting = push(true);
    controller->setResult(1);
    QPointer<Screen> plain = push(false);
    controller->setResult(2);
    controller->finishActivity();
    QVERIFY(waitGone(plain));
    QCOMPARE(finished.count(), 0);
    controller->finishActivity();
    QVERIFY(waitGone(wanting));
    QCOMPARE(finished.count(), 1);
    // The result stored by the plain form was not the screen's.
    QVERIFY(!finished.at(0).at(0).value<QVariant>().isValid());

    // A null start clears the result and leaves the top's wish alone.
    plain = push(false);
    controller->setResult(3);
    controller->startActivity(nullptr, true, true);
    controller->finishActivity();
    QVERIFY(waitGone(plain));
    QCOMPARE(finished.count(), 1);
}

void TestActivityController::deliveredResultIsNotHandedOnAgain()
{
    // A packing screen, a shipper form saved over it, then "返回" on the
    // packing screen: the packing screen hands on an invalid value, not the
    // shipper's map.
    QPointer<Screen> packing = push(true);
    QPointer<Screen> shipperForm = push(true);
    QSignalSpy finished(controller, &ActivityController::signal_activity_finish);
    const QVariantMap saved { { QStringLiteral("shipper_id"), 9 }, { QStringLiteral("name"), QStringLiteral("李四") } };
    shipperForm->finish(saved);
    QVERIFY(waitGone(shipperForm));
    packing->slot_back();
    QVERIFY(waitGone(packing));
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.at(0).at(0).value<QVariant>(), QVariant(saved));
    QVERIFY(!finished.at(1).at(0).value<QVariant>().isValid());
}

void TestActivityController::openerHearsOnlyItsOwnActivity()
{
    QList<QVariant> packingResults;
    QList<QVariant> formResults;
    auto* packing = new Screen;
    controller->startActivityForResult(packing, this, [&](const QVariant& v) { packingResults << v; });
    auto* form = new Screen;
    controller->startActivityForResult(form, this, [&](const QVariant& v) { formResults << v; });

    form->finish(QVariantMap { { QStringLiteral("consignee_id"), 4 } });
    QCOMPARE(formResults.size(), 1);
    QVERIFY(packingResults.isEmpty());
    QVERIFY(waitGone(form));

    packing->finish(QStringLiteral("王五托运的钢材"));
    QVERIFY(waitGone(packing));
    QCOMPARE(packingResults, QList<QVariant> { QStringLiteral("王五托运的钢材") });
    QCOMPARE(formResults.size(), 1);

    // A receiver that is gone hears nothing, and an activity that dies
    // without finishing leaves no subscription behind.
    auto* listener = new QObject;
    int heard = 0;
    auto* orphan = new Screen;
    controller->startActivityForResult(orphan, listener, [&heard](const QVariant&) { ++heard; });
    delete listener;
    orphan->slot_back();
    QVERIFY(waitGone(orphan));
    QCOMPARE(heard, 0);
}

void TestActivityController::formFinishesOnItsOwnController()
{
    // The form's section is switched away (another controller is shown)
    // while its save runs; the answer finishes the form where it lives.
    ActivityController other;
    other.resize(640, 400);
    auto* otherRoot = new Screen;
    other.startActivity(otherRoot, false, false);
    QPointer<Screen> otherForm = new Screen;
    other.startActivity(otherForm, true, false);
    QSignalSpy otherFinished(&other, &ActivityController::signal_activity_finish);

    QPointer<Screen> form = push(true);
    controller->hide();
    other.show();
    QCOMPARE(form->controller(), controller);
    form->finish(1);
    QVERIFY(waitGone(form));
    QCOMPARE(otherFinished.count(), 0);
    QCOMPARE(other.activities(), (QList<QWidget*> { otherRoot, otherForm.data() }));

    // A screen that is not on top of its controller does not finish what
    // covers it.
    QPointer<Screen> below = push(false);
    QPointer<Screen> above = push(false);
    below->finish();
    QVERIFY(!controller->isFinishing());
    QCOMPARE(controller->activities().size(), 3);
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
