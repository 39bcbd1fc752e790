#include "shell/baseactivity.h"

#include "support/testenvironment.h"

#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QPropertyAnimation>
#include <QTest>
#include <QToolButton>

namespace {
class Screen : public BaseActivity
{
    Q_OBJECT

public:
    using BaseActivity::BaseActivity;
    void slot_action() override { ++actions; }
    int actions = 0;
};
} // namespace

class TestBaseActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void init();
    void cleanup();

    void headerButtonsAppearOnRequest();
    void actionButtonCallsTheReceiverOnce();
    void loadingOverlayTexts_data();
    void loadingOverlayTexts();
    void loadingOverlayFollowsResize();
    void noDataSlidesInThenOffTheLeftEdge();
    void hideDuringShowSlideStillEndsLeft();
    void hidingNoDataOutOfSightMovesNothing_data();
    void hidingNoDataOutOfSightMovesNothing();

private:
    template <typename T> T* part(const char* name) const
    {
        T* w = screen->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    Screen* screen = nullptr;
};

void TestBaseActivity::init()
{
    screen = new Screen;
    screen->resize(700, 420);
    screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(screen));
}

void TestBaseActivity::cleanup()
{
    delete screen;
    screen = nullptr;
}

void TestBaseActivity::headerButtonsAppearOnRequest()
{
    auto* back = part<QToolButton>("BackButton");
    auto* action = part<QToolButton>("ActionButton");
    QVERIFY(!back->isVisible());
    QVERIFY(!action->isVisible());
    QCOMPARE(back->text(), QStringLiteral("返回"));

    screen->setTitle(QStringLiteral("添加货车"));
    screen->showBackButton();
    screen->setActionButton(QStringLiteral("保存"), screen);
    QVERIFY(back->isVisible());
    QVERIFY(action->isVisible());
    QCOMPARE(action->text(), QStringLiteral("保存"));
    QCOMPARE(part<QLabel>("TitleLabel")->text(), QStringLiteral("添加货车"));
}

void TestBaseActivity::actionButtonCallsTheReceiverOnce()
{
    Screen other;
    screen->setActionButton(QStringLiteral("添加"), screen);
    screen->setActionButton(QStringLiteral("添加托运人"), screen);
    QTest::mouseClick(part<QToolButton>("ActionButton"), Qt::LeftButton);
    QCOMPARE(screen->actions, 1);

    // Handing the button to another receiver moves it there.
    screen->setActionButton(QStringLiteral("添加托运人"), &other);
    QTest::mouseClick(part<QToolButton>("ActionButton"), Qt::LeftButton);
    QCOMPARE(screen->actions, 1);
    QCOMPARE(other.actions, 1);
}

void TestBaseActivity::loadingOverlayTexts_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default") << QString() << QStringLiteral("正在读取数据，请稍候...");
    QTest::newRow("own text") << QStringLiteral("正在保存，请稍候...") << QStringLiteral("正在保存，请稍候...");
}

void TestBaseActivity::loadingOverlayTexts()
{
    QFETCH(QString, given);
    QFETCH(QString, shown);
    auto* overlay = part<QFrame>("LoadingOverlay");
    auto* text = part<QLabel>("LoadingText");
    auto* gear = part<QLabel>("LoadingMovie");
    QVERIFY(!overlay->isVisible());

    screen->showLoading(given);
    QVERIFY(overlay->isVisible());
    QCOMPARE(text->text(), shown);
    QCOMPARE(gear->movie()->fileName(), QStringLiteral(":/images/loading_gear.gif"));
    // The whole text fits, centred, with the gear 40 pixels above it.
    QVERIFY(text->width() >= text->sizeHint().width());
    QCOMPARE(text->x(), (700 - text->sizeHint().width()) / 2);
    QCOMPARE(gear->geometry(), QRect((700 - 50) / 2, text->y() - 40, 50, 50));

    screen->hideLoading();
    QVERIFY(!overlay->isVisible());
    QCOMPARE(gear->movie()->state(), QMovie::NotRunning);
}

void TestBaseActivity::loadingOverlayFollowsResize()
{
    auto* overlay = part<QFrame>("LoadingOverlay");
    auto* text = part<QLabel>("LoadingText");
    screen->showLoading(QString());
    for (int i = 0; i < 3; ++i) {
        screen->resize(900 + i, 500 + i);
        QTRY_COMPARE(overlay->geometry(), QRect(0, 0, 900 + i, 500 + i));
    }
    // Repeated resizes do not make the label creep.
    QCOMPARE(text->geometry(),
        QRect((902 - text->sizeHint().width()) / 2, (502 - text->sizeHint().height()) / 2,
            text->sizeHint().width() + 30, text->sizeHint().height()));
    // The overlay stays above everything else in the activity.
    QCOMPARE(screen->children().last(), static_cast<QObject*>(overlay));
}

void TestBaseActivity::noDataSlidesInThenOffTheLeftEdge()
{
    auto* picture = part<QLabel>("NoData");
    auto* body = part<QWidget>("Body");
    QVERIFY(!picture->isVisible());

    screen->showNoData();
    QVERIFY(picture->isVisible());
    const int w = picture->width();
    const int h = picture->height();
    const QRect middle((body->width() - w) / 2, (body->height() - h) / 2, w, h);
    QTRY_COMPARE_WITH_TIMEOUT(picture->geometry(), middle, 3000);

    screen->hideNoData();
    QTRY_COMPARE_WITH_TIMEOUT(picture->geometry(), QRect(-w, middle.y(), w, h), 3000);
    QVERIFY(picture->isVisible());
}

void TestBaseActivity::hideDuringShowSlideStillEndsLeft()
{
    auto* picture = part<QLabel>("NoData");
    screen->showNoData();
    screen->hideNoData();
    // The slide in is stopped, not left to fight the slide out.
    int running = 0;
    for (QPropertyAnimation* a : screen->findChildren<QPropertyAnimation*>())
        running += a->state() == QAbstractAnimation::Running ? 1 : 0;
    QCOMPARE(running, 1);
    const int w = picture->width();
    QTRY_COMPARE_WITH_TIMEOUT(picture->x(), -w, 3000);
    // Finished slides delete themselves.
    QTRY_VERIFY(screen->findChildren<QPropertyAnimation*>().isEmpty());
    QCOMPARE(picture->x(), -w);
}

void TestBaseActivity::hidingNoDataOutOfSightMovesNothing_data()
{
    QTest::addColumn<bool>("shownBefore");
    QTest::newRow("never shown") << false;
    QTest::newRow("slid out already") << true;
}

void TestBaseActivity::hidingNoDataOutOfSightMovesNothing()
{
    QFETCH(bool, shownBefore);
    auto* picture = part<QLabel>("NoData");
    if (shownBefore) {
        screen->showNoData();
        screen->hideNoData();
        QTRY_COMPARE_WITH_TIMEOUT(picture->x(), -picture->width(), 3000);
        QTRY_VERIFY(screen->findChildren<QPropertyAnimation*>().isEmpty());
    }
    const QRect before = picture->geometry();
    screen->hideNoData();
    QVERIFY(screen->findChildren<QPropertyAnimation*>().isEmpty());
    QCOMPARE(picture->geometry(), before);
    QCOMPARE(picture->isVisible(), shownBefore);
}

QTEST_MAIN(TestBaseActivity)
#include "tst_baseactivity.moc"
