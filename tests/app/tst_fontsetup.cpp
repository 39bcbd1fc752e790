// The font set-up run alongside the start-up: however its owner leaves it
// (waited for once, again, or not at all), it ends without taking the process
// down, and fontconfig then knows the installed fonts.
#include "app/fontsetup.h"

#include <QTest>

#include <fontconfig/fontconfig.h>

class TestFontSetup : public QObject
{
    Q_OBJECT

private slots:
    void endsHoweverItIsLeft_data();
    void endsHoweverItIsLeft();
};

void TestFontSetup::endsHoweverItIsLeft_data()
{
    QTest::addColumn<int>("waits");
    QTest::newRow("never waited for") << 0;
    QTest::newRow("waited for") << 1;
    QTest::newRow("waited for twice") << 2;
}

void TestFontSetup::endsHoweverItIsLeft()
{
    QFETCH(int, waits);
    {
        FontSetup setup;
        for (int i = 0; i < waits; ++i)
            setup.wait();
    }
    const FcFontSet* fonts = FcConfigGetFonts(nullptr, FcSetSystem);
    QVERIFY(fonts);
    QVERIFY(fonts->nfont > 0);
}

QTEST_GUILESS_MAIN(TestFontSetup)
#include "tst_fontsetup.moc"
