#include "widgets/segmentitembutton.h"
#include "widgets/segmentwidget.h"

#include "support/testenvironment.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

class TestSegmentWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initClientTestEnvironment();
        qRegisterMetaType<SegmentItemButton*>();
    }
    void init();
    void cleanup();

    void nothingCheckedUntilChosen();
    void clickChecksOnlyThatSegment();
    void clickOnCurrentKeepsItAndEmitsAgain();
    void releaseOutsideStillSelects();
    void setCurrentIndexIsSilentAndBounded();
    void cornersFollowPosition_data();
    void cornersFollowPosition();

private:
    QList<bool> checkStates() const;
    SegmentWidget* segments = nullptr;
};

void TestSegmentWidget::init()
{
    segments = new SegmentWidget;
    segments->setItems({ QStringLiteral("待配货的"), QStringLiteral("已出车的"), QStringLiteral("全部") });
    segments->show();
    QVERIFY(QTest::qWaitForWindowExposed(segments));
}

void TestSegmentWidget::cleanup()
{
    delete segments;
    segments = nullptr;
}

QList<bool> TestSegmentWidget::checkStates() const
{
    QList<bool> states;
    for (SegmentItemButton* b : segments->items())
        states << b->isChecked();
    return states;
}

void TestSegmentWidget::nothingCheckedUntilChosen()
{
    QCOMPARE(segments->items().size(), 3);
    QCOMPARE(checkStates(), (QList<bool> { false, false, false }));
    QVERIFY(segments->items().at(0)->isCheckable());
}

void TestSegmentWidget::clickChecksOnlyThatSegment()
{
    QSignalSpy clicked(segments, &SegmentWidget::signal_item_clicked);
    segments->setCurrentIndex(0);
    QTest::mouseClick(segments->items().at(2), Qt::LeftButton);
    QCOMPARE(checkStates(), (QList<bool> { false, false, true }));
    QTest::mouseClick(segments->items().at(1), Qt::LeftButton);
    QCOMPARE(checkStates(), (QList<bool> { false, true, false }));

    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(0).at(0).toUInt(), 2u);
    QCOMPARE(clicked.at(0).at(1).value<SegmentItemButton*>(), segments->items().at(2));
    QCOMPARE(clicked.at(1).at(0).toUInt(), 1u);
}

void TestSegmentWidget::clickOnCurrentKeepsItAndEmitsAgain()
{
    QSignalSpy clicked(segments, &SegmentWidget::signal_item_clicked);
    SegmentItemButton* second = segments->items().at(1);
    QTest::mouseClick(second, Qt::LeftButton);
    QTest::mouseClick(second, Qt::LeftButton);
    QCOMPARE(checkStates(), (QList<bool> { false, true, false }));
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(clicked.at(1).at(0).toUInt(), 1u);
}

void TestSegmentWidget::releaseOutsideStillSelects()
{
    QSignalSpy clicked(segments, &SegmentWidget::signal_item_clicked);
    SegmentItemButton* first = segments->items().at(0);
    QTest::mousePress(first, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    // Dragging off the button while holding it down: Qt releases it there.
    const QPoint outside(first->width() + 200, first->height() + 50);
    QMouseEvent move(
        QEvent::MouseMove, outside, first->mapToGlobal(outside), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(first, &move);
    QTest::mouseRelease(first, Qt::LeftButton, Qt::NoModifier, outside);

    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toUInt(), 0u);
    QCOMPARE(checkStates(), (QList<bool> { true, false, false }));
}

void TestSegmentWidget::setCurrentIndexIsSilentAndBounded()
{
    QSignalSpy clicked(segments, &SegmentWidget::signal_item_clicked);
    segments->setCurrentIndex(1);
    QCOMPARE(checkStates(), (QList<bool> { false, true, false }));
    segments->setCurrentIndex(3);
    segments->setCurrentIndex(uint(-1));
    QCOMPARE(checkStates(), (QList<bool> { false, true, false }));
    segments->setCurrentIndex(2);
    QCOMPARE(checkStates(), (QList<bool> { false, false, true }));
    QCOMPARE(clicked.count(), 0);
}

void TestSegmentWidget::cornersFollowPosition_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("corners");
    QTest::newRow("one") << 1 << QStringList { QStringLiteral("left") };
    QTest::newRow("two") << 2 << QStringList { QStringLiteral("left"), QStringLiteral("right") };
    QTest::newRow("four") << 4
                          << QStringList { QStringLiteral("left"), QStringLiteral("square"), QStringLiteral("square"),
                                 QStringLiteral("right") };
}

void TestSegmentWidget::cornersFollowPosition()
{
    QFETCH(int, count);
    QFETCH(QStringList, corners);
    SegmentWidget row;
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QString::number(i);
    row.setItems(items);
    QStringList seen;
    for (SegmentItemButton* b : row.items()) {
        const QString css = b->styleSheet();
        if (css.contains(QStringLiteral("border-top-left-radius:4px; border-bottom-left-radius:4px;")))
            seen << QStringLiteral("left");
        else if (css.contains(QStringLiteral("border-top-right-radius:4px; border-bottom-right-radius:4px;")))
            seen << QStringLiteral("right");
        else if (!css.contains(QStringLiteral("radius")))
            seen << QStringLiteral("square");
        else
            seen << css;
    }
    QCOMPARE(seen, corners);
}

QTEST_MAIN(TestSegmentWidget)
#include "tst_segmentwidget.moc"
