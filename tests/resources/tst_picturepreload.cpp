// Pictures read ahead with preloadPictures() are what QPixmap(fileName), and
// with it a style sheet's url(), finds afterwards: the very pixmap kept, with
// the pixels that reading the file the usual way gives.
#include "resources/applicationlook.h"
#include "support/testenvironment.h"

#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QTest>

class PicturePreloadTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void init() { QPixmapCache::clear(); }

    void foundByQPixmap_data()
    {
        QTest::addColumn<QString>("fileName");
        // A path without the slash after the colon, as a style sheet may
        // name it; a picture that an image plugin reads.
        QTest::newRow("PNG") << QStringLiteral(":/images/bg_header.png");
        QTest::newRow("style sheet path") << QStringLiteral(":images/btn_normal.png");
        QTest::newRow("icon") << QStringLiteral(":/images/logo.ico");
    }

    void foundByQPixmap()
    {
        QFETCH(QString, fileName);
        const QImage usual = QImage(fileName).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY(!usual.isNull());

        QCOMPARE(preloadPictures({ fileName }), 1);
        QPixmap kept;
        QVERIFY(QPixmapCache::find(pixmapCacheKey(fileName), &kept));
        const QPixmap shown(fileName);
        QCOMPARE(shown.cacheKey(), kept.cacheKey());
        QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), usual);
    }

    void unreadablePictureIsNotKept()
    {
        QCOMPARE(
            preloadPictures({ QStringLiteral(":/images/no_such_picture.png"), QStringLiteral(":/images/logo.ico") }),
            1);
    }
};

QTEST_MAIN(PicturePreloadTest)
#include "tst_picturepreload.moc"
