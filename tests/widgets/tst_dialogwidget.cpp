#include "widgets/dialogwidget.h"

#include "support/testenvironment.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

class TestDialogWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initClientTestEnvironment();
        qRegisterMetaType<DialogWidget*>();
    }
    void init();
    void cleanup();

    void okEmitsEveryTimeAndStaysOpen();
    void cancelHidesBeforeTellingAnyone();
    void contentSitsBetweenTitleAndButtons();
    void secondContentReplacesTheFirst();
    void bodyIsCentredAfterResize();

private:
    QToolButton* button(const QString& text) const;
    QWidget* host = nullptr;
    DialogWidget* dialog = nullptr;
};

void TestDialogWidget::init()
{
    host = new QWidget;
    host->resize(800, 500);
    dialog = new DialogWidget(host);
    dialog->setTitle(QStringLiteral("意见反馈"));
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));
}

void TestDialogWidget::cleanup()
{
    delete host;
    host = nullptr;
    dialog = nullptr;
}

QToolButton* TestDialogWidget::button(const QString& text) const
{
    for (QToolButton* b : dialog->findChildren<QToolButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

void TestDialogWidget::okEmitsEveryTimeAndStaysOpen()
{
    // Built hidden and as large as the widget it covers.
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->size(), QSize(800, 500));
    auto* content = new QFrame(host);
    dialog->setContent(content);
    dialog->show();

    QSignalSpy ok(dialog, &DialogWidget::signal_ok);
    QToolButton* okButton = button(QStringLiteral("确定"));
    QVERIFY(okButton);
    QCOMPARE(okButton->objectName(), QStringLiteral("DialogButton"));
    QTest::mouseClick(okButton, Qt::LeftButton);
    QTest::mouseClick(okButton, Qt::LeftButton);
    QCOMPARE(ok.count(), 2);
    QCOMPARE(ok.at(0).at(0).value<DialogWidget*>(), dialog);
    QCOMPARE(ok.at(0).at(1).value<QWidget*>(), static_cast<QWidget*>(content));
    QVERIFY(dialog->isVisible());
}

void TestDialogWidget::cancelHidesBeforeTellingAnyone()
{
    dialog->show();
    QList<bool> visibleWhenTold;
    connect(dialog, &DialogWidget::signal_cancel, this,
        [&visibleWhenTold](DialogWidget* d) { visibleWhenTold << d->isVisible(); });
    QTest::mouseClick(button(QStringLiteral("取消")), Qt::LeftButton);
    QCOMPARE(visibleWhenTold, QList<bool> { false });
    QVERIFY(!dialog->isVisible());
}

void TestDialogWidget::contentSitsBetweenTitleAndButtons()
{
    auto* content = new QFrame(host);
    content->setMinimumHeight(100);
    dialog->setContent(content);
    dialog->show();
    QCOMPARE(content->styleSheet(), QStringLiteral("background:white;"));
    QVERIFY(dialog->isAncestorOf(content));

    auto* title = dialog->findChild<QLabel*>(QStringLiteral("DialogTitle"));
    auto* bar = dialog->findChild<QFrame*>(QStringLiteral("ButtonBar"));
    QVERIFY(title && bar);
    QTRY_VERIFY(content->geometry().top() >= title->geometry().bottom());
    QVERIFY(content->geometry().bottom() <= bar->geometry().top());
    QCOMPARE(title->text(), QStringLiteral("意见反馈"));
}

void TestDialogWidget::secondContentReplacesTheFirst()
{
    QPointer<QFrame> first = new QFrame(host);
    dialog->setContent(first);
    auto* second = new QFrame(host);
    dialog->setContent(second);
    dialog->show();
    QCOMPARE(dialog->contentWidget(), static_cast<QWidget*>(second));
    QTRY_VERIFY(first.isNull());

    QSignalSpy ok(dialog, &DialogWidget::signal_ok);
    QTest::mouseClick(button(QStringLiteral("确定")), Qt::LeftButton);
    QCOMPARE(ok.at(0).at(1).value<QWidget*>(), static_cast<QWidget*>(second));
}

void TestDialogWidget::bodyIsCentredAfterResize()
{
    dialog->show();
    auto* body = dialog->findChild<QFrame*>(QStringLiteral("Body"));
    QVERIFY(body);
    QCOMPARE(body->size(), QSize(500, 300));
    QCOMPARE(body->pos(), QPoint(150, 100));

    host->resize(951, 702);
    dialog->resize(host->size());
    QCOMPARE(body->pos(), QPoint((951 - 500) / 2, (702 - 300) / 2));
}

QTEST_MAIN(TestDialogWidget)
#include "tst_dialogwidget.moc"
