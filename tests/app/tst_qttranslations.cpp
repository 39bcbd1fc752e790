// Qt's own texts in a Chinese program read in Chinese.
#include "app/application.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

class TestQtTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(installQtTranslations()); }

    void standardButtonsReadInChinese_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("OK") << int(QMessageBox::Ok) << QStringLiteral("确定");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << QStringLiteral("是(&Y)");
        QTest::newRow("No") << int(QMessageBox::No) << QStringLiteral("否(&N)");
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << QStringLiteral("取消");
    }

    void standardButtonsReadInChinese()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        const auto standard = QMessageBox::StandardButton(button);
        QMessageBox box(QMessageBox::Question, QStringLiteral("提醒"), QStringLiteral("确定要退出吗？"), standard);
        QCOMPARE(box.button(standard)->text(), text);
    }
};

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
