// The start-up's deferred work: it runs once, after the widget's first paint
// and not before, and never for a widget that died unpainted.
#include "app/firstpaintwatcher.h"

#include <QDialog>
#include <QPointer>
#include <QTest>

class TestFirstPaintWatcher : public QObject
{
    Q_OBJECT

private slots:
    void runsOnceAfterTheFirstPaint();
    void runsNothingForAWidgetThatDiesUnpainted();
};

void TestFirstPaintWatcher::runsOnceAfterTheFirstPaint()
{
    QDialog dialog;
    int runs = 0;
    bool paintedBefore = false;
    FirstPaintWatcher::whenPainted(&dialog, [&] {
        ++runs;
        paintedBefore = dialog.isVisible();
    });
    QCoreApplication::processEvents();
    QCOMPARE(runs, 0); // nothing before the dialog is shown

    dialog.show();
    QTRY_COMPARE(runs, 1);
    QVERIFY(paintedBefore);
    // The watcher goes once it has run, so later paints run nothing.
    QTRY_VERIFY(dialog.findChildren<FirstPaintWatcher*>().isEmpty());
    dialog.repaint();
    QCOMPARE(runs, 1);
}

void TestFirstPaintWatcher::runsNothingForAWidgetThatDiesUnpainted()
{
    int runs = 0;
    auto* dialog = new QDialog;
    FirstPaintWatcher::whenPainted(dialog, [&runs] { ++runs; });
    delete dialog;
    QCoreApplication::processEvents();
    QCOMPARE(runs, 0);
}

QTEST_MAIN(TestFirstPaintWatcher)
#include "tst_firstpaintwatcher.moc"
