// Pictures read ahead with preloadPictures() are what QPixmap(fileName), and
// with it a style sheet's url(), finds afterwards: the very pixmap kept, with
// the pixels that reading the file the usual way gives.
#include "resources/applicationlook.h"
#include "resources/picturereadahead.h"
#include "support/testenvironment.h"

#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QTest>

class PicturePreloadTest : public QObject
{
    Q_OBJECT

    static bool isKept(const QString& fileName)
    {
        QPixmap kept;
        return QPixmapCache::find(pixmapCacheKey(fileName), &kept);
    }

private slots:
    void initTestCase() { initClientTestEnvironment(); }
    void init() { QPixmapCache::clear(); }

    void foundByQPixmap_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("onAThread");
        // A path without the slash after the colon, as a style sheet may
        // name it; a picture that an image plugin reads. Each read here and
        // read ahead on a thread of its own.
        for (const bool onAThread : { false, true }) {
            const char* how = onAThread ? " read ahead" : "";
            QTest::addRow("PNG%s", how) << QStringLiteral(":/images/bg_header.png") << onAThread;
            QTest::addRow("style sheet path%s", how) << QStringLiteral(":images/btn_normal.png") << onAThread;
            QTest::addRow("icon%s", how) << QStringLiteral(":/images/logo.ico") << onAThread;
        }
    }

    void foundByQPixmap()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, onAThread);
        const QImage usual = QImage(fileName).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY(!usual.isNull());

        if (onAThread) {
            PictureReadAhead ahead({ fileName });
            QVERIFY(!isKept(fileName));
            QCOMPARE(ahead.keep(), 1);
            QCOMPARE(ahead.keep(), 0);
        } else {
            QCOMPARE(preloadPictures({ fileName }), 1);
        }
        QPixmap kept;
        QVERIFY(QPixmapCache::find(pixmapCacheKey(fileName), &kept));
        const QPixmap shown(fileName);
        QCOMPARE(shown.cacheKey(), kept.cacheKey());
        QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), usual);
    }

    void unreadablePictureIsNotKept()
    {
        const QStringList fileNames { QStringLiteral(":/images/no_such_picture.png"),
            QStringLiteral(":/images/logo.ico") };
        QCOMPARE(preloadPictures(fileNames), 1);
        QPixmapCache::clear();
        QCOMPARE(PictureReadAhead(fileNames).keep(), 1);
    }

    void readAheadNotKeptKeepsNothing()
    {
        const QString fileName = QStringLiteral(":/images/bg_header.png");
        {
            PictureReadAhead ahead({ fileName });
        }
        QVERIFY(!isKept(fileName));
    }
};

QTEST_MAIN(PicturePreloadTest)
#include "tst_picturepreload.moc"
