// Waits that the fixed-wait check must find (four) and leave alone (the rest).
// Not built: the check's own test reads it.
#include <QTest>
#include <QThread>

#include <thread>

void examples(QWidget* window, QObject* object)
{
    QTest::qWait(200);
    QTest::qWait( 0 );
    QThread::msleep(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

    QTest::qWaitFor([&] { return object->objectName().isEmpty(); });
    QVERIFY(QTest::qWaitForWindowExposed(window));
}
