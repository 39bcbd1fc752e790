// The login dialog's platform line: a long address is shortened in the middle
// to the line's width, measured in the line's own smaller font.
#include "app/logindialog.h"

#include "support/testenvironment.h"

#include <QLabel>
#include <QTest>

class TestPlatformLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The address is read once per process, on its first use.
        qputenv("FREYMO_PLATFORM", "freight-platform.east-district.example.com:8765");
        initClientTestEnvironment();
    }

    void longAddressFillsTheLine()
    {
        LoginDialog dialog;
        auto* line = dialog.findChild<QLabel*>(QStringLiteral("platformLabel"));
        QVERIFY(line);
        const QString full = QStringLiteral("服务器：freight-platform.east-district.example.com:8765");
        QCOMPARE(line->toolTip(), full);

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(line->font().pixelSize(), 11);
        QCOMPARE(line->text(), line->fontMetrics().elidedText(full, Qt::ElideMiddle, line->width()));
    }
};

QTEST_MAIN(TestPlatformLine)
#include "tst_platformline.moc"
