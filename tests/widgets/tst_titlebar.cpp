#include "widgets/titlebar.h"

#include "support/testenvironment.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

class TestTitleBar : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    TitleBar* bar = nullptr;

    QToolButton* button(const char* name) const { return bar->findChild<QToolButton*>(QLatin1String(name)); }

    // `button` is the button pressed or released, or the one held while moving.
    void send(QEvent::Type type, QPointF local, QPoint global, Qt::MouseButton button)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    }

    // Checks the frame a system button shows: the recorded image and frame,
    // and, once the artwork is there, the very pixels of that frame.
    static void verifyFrame(QToolButton* b, const QString& image, int frame)
    {
        QCOMPARE(b->property("image").toString(), image);
        QCOMPARE(b->property("frame").toInt(), frame);
        const QPixmap strip(image);
        if (strip.isNull())
            return;
        const int w = strip.width() / 4;
        QCOMPARE(b->width(), w);
        QCOMPARE(b->icon().pixmap(b->iconSize()).toImage().convertToFormat(QImage::Format_ARGB32),
            strip.copy((frame - 1) * w, 0, w, strip.height()).toImage().convertToFormat(QImage::Format_ARGB32));
    }

private slots:
    void initTestCase() { initClientTestEnvironment(); }

    void init()
    {
        window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        bar = new TitleBar(window.get());
        bar->setGeometry(0, 0, 400, 30);
        window->setGeometry(100, 100, 400, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() { window.reset(); }

    void dragStartsOnlyInside_data()
    {
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("drags");
        QTest::newRow("inside") << QPointF(10, 10) << int(Qt::LeftButton) << true;
        QTest::newRow("x = 2") << QPointF(2, 10) << int(Qt::LeftButton) << false;
        QTest::newRow("y = 2") << QPointF(10, 2) << int(Qt::LeftButton) << false;
        QTest::newRow("x 2.6 rounds to 3") << QPointF(2.6, 3) << int(Qt::LeftButton) << true;
        QTest::newRow("y 2.4 rounds to 2") << QPointF(10, 2.4) << int(Qt::LeftButton) << false;
        QTest::newRow("width - x = 4") << QPointF(396, 10) << int(Qt::LeftButton) << false;
        QTest::newRow("width - x = 5") << QPointF(395, 10) << int(Qt::LeftButton) << true;
        QTest::newRow("right button") << QPointF(10, 10) << int(Qt::RightButton) << false;
    }

    void dragStartsOnlyInside()
    {
        QFETCH(QPointF, press);
        QFETCH(int, button);
        QFETCH(bool, drags);
        const QPoint start = window->pos();
        send(QEvent::MouseButtonPress, press, QPoint(500, 500), Qt::MouseButton(button));
        send(QEvent::MouseMove, press + QPointF(30, 20), QPoint(530, 520), Qt::MouseButton(button));
        const QPoint expected = drags ? start + QPoint(30, 20) : start;
        QTRY_COMPARE(window->pos(), expected);
        // Whatever move is still queued in the window system lands now.
        QCoreApplication::processEvents();
        QCOMPARE(window->pos(), expected);
    }

    void dragFollowsTheGlobalDeltaUntilRelease()
    {
        const QPoint start = window->pos();
        send(QEvent::MouseButtonPress, QPointF(50, 10), QPoint(150, 110), Qt::LeftButton);
        send(QEvent::MouseMove, QPointF(60, 15), QPoint(160, 115), Qt::LeftButton);
        QTRY_COMPARE(window->pos(), start + QPoint(10, 5));
        send(QEvent::MouseMove, QPointF(40, 5), QPoint(140, 105), Qt::LeftButton);
        QTRY_COMPARE(window->pos(), start + QPoint(-10, -5));
        send(QEvent::MouseButtonRelease, QPointF(40, 5), QPoint(140, 105), Qt::LeftButton);
        send(QEvent::MouseMove, QPointF(90, 25), QPoint(190, 125), Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(window->pos(), start + QPoint(-10, -5));
    }

    void buttonsShowTheirFrames()
    {
        const QString minImage = QStringLiteral(":/images/btn_sys_min.png");
        QToolButton* min = button("minimizeButton");
        QVERIFY(min);
        verifyFrame(min, minImage, 1);
        verifyFrame(button("maximizeButton"), QStringLiteral(":/images/btn_sys_max.png"), 1);
        verifyFrame(button("closeButton"), QStringLiteral(":/images/btn_sys_close.png"), 1);

        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(min, &enter);
        verifyFrame(min, minImage, 2);
        QTest::mousePress(min, Qt::RightButton);
        verifyFrame(min, minImage, 2);
        QTest::mouseRelease(min, Qt::RightButton);
        QTest::mousePress(min, Qt::LeftButton);
        verifyFrame(min, minImage, 3);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(min, &leave);
        verifyFrame(min, minImage, 1);
    }

    void maximizeFillsTheAvailableAreaAndToggles()
    {
        QToolButton* max = button("maximizeButton");
        QTest::mouseClick(max, Qt::LeftButton);
        QTRY_VERIFY(window->isMaximized());
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QTRY_COMPARE(window->geometry(), QRect(QPoint(0, 0), available.size()));

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(max, &leave);
        verifyFrame(max, QStringLiteral(":/images/btn_sys_restore.png"), 1);

        QTest::mouseClick(max, Qt::LeftButton);
        QTRY_VERIFY(!window->isMaximized());
        QApplication::sendEvent(max, &leave);
        verifyFrame(max, QStringLiteral(":/images/btn_sys_max.png"), 1);
    }

    void minimizeAndClose()
    {
        QSignalSpy quit(bar, &TitleBar::signal_quit_application);
        QTest::mouseClick(button("closeButton"), Qt::LeftButton);
        QCOMPARE(quit.count(), 1);
        QVERIFY(window->isVisible());

        QTest::mouseClick(button("minimizeButton"), Qt::LeftButton);
        QTRY_VERIFY(window->isMinimized());
        QCOMPARE(quit.count(), 1);
    }
};

QTEST_MAIN(TestTitleBar)
#include "tst_titlebar.moc"
