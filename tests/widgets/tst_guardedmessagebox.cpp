// The guarded boxes: the standard boxes without a parent, and an honest word
// on whether the caller survived the box's event loop.
#include "widgets/guardedmessagebox.h"

#include "support/messageboxanswerer.h"
#include "support/testenvironment.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTest>

using Answer = GuardedMessageBox::Answer;
Q_DECLARE_METATYPE(Answer)

class TestGuardedMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void cleanup() { MessageBoxAnswerer::closeAllModals(); }

    void question_data();
    void question();
    void okBoxesTellWhetherTheCallerLives_data();
    void okBoxesTellWhetherTheCallerLives();
};

void TestGuardedMessageBox::question_data()
{
    QTest::addColumn<int>("press");
    QTest::addColumn<bool>("deleteCaller");
    QTest::addColumn<Answer>("expected");
    QTest::newRow("yes") << int(QMessageBox::Yes) << false << Answer::Yes;
    QTest::newRow("no") << int(QMessageBox::No) << false << Answer::No;
    QTest::newRow("yes after the caller went") << int(QMessageBox::Yes) << true << Answer::CallerGone;
}

void TestGuardedMessageBox::question()
{
    QFETCH(int, press);
    QFETCH(bool, deleteCaller);
    QFETCH(Answer, expected);

    QPointer<QObject> caller = new QObject;
    MessageBoxAnswerer answerer;
    answerer.expectDialog([&](QWidget* box) {
        auto* message = qobject_cast<QMessageBox*>(box);
        QVERIFY(message);
        QCOMPARE(message->parentWidget(), nullptr);
        QCOMPARE(message->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(static_cast<QAbstractButton*>(message->defaultButton()), message->button(QMessageBox::Yes));
        if (deleteCaller)
            delete caller.data();
        message->button(QMessageBox::StandardButton(press))->click();
    });
    QCOMPARE(GuardedMessageBox::question(caller, QStringLiteral("提醒"), QStringLiteral("确定要删除该车吗？")), expected);
    QCOMPARE(answerer.seenTexts(), QStringList { QStringLiteral("提醒|确定要删除该车吗？") });
    QCOMPARE(answerer.seen().first().icon, QMessageBox::Question);
    delete caller.data();
}

void TestGuardedMessageBox::okBoxesTellWhetherTheCallerLives_data()
{
    QTest::addColumn<bool>("information");
    QTest::addColumn<bool>("deleteCaller");
    QTest::newRow("warning, caller lives") << false << false;
    QTest::newRow("warning, caller deleted while open") << false << true;
    QTest::newRow("information, caller lives") << true << false;
    QTest::newRow("information, caller deleted while open") << true << true;
}

void TestGuardedMessageBox::okBoxesTellWhetherTheCallerLives()
{
    QFETCH(bool, information);
    QFETCH(bool, deleteCaller);
    QPointer<QObject> caller = new QObject;
    MessageBoxAnswerer answerer;
    answerer.expectDialog([&](QWidget* box) {
        auto* message = qobject_cast<QMessageBox*>(box);
        QVERIFY(message);
        QCOMPARE(message->standardButtons(), QMessageBox::Ok);
        if (deleteCaller)
            delete caller.data();
        message->button(QMessageBox::Ok)->click();
    });
    const auto show = information ? &GuardedMessageBox::information : &GuardedMessageBox::warning;
    QCOMPARE(show(caller, QStringLiteral("抱歉"), QStringLiteral("删除失败！\n")), !deleteCaller);
    QCOMPARE(answerer.seen().first().icon, information ? QMessageBox::Information : QMessageBox::Warning);
    delete caller.data();
}

QTEST_MAIN(TestGuardedMessageBox)
#include "tst_guardedmessagebox.moc"
