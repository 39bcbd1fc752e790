// The built-in images: every name the client refers to resolves under
// ":/images/" with the size its widget is laid out for, the animations
// animate and the program icon loads.
#include "support/testenvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QMovie>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

constexpr int anySize = -1;

struct Expected
{
    const char* name;
    int width; // anySize where the image repeats or stretches that way
    int height;
    bool overlay; // drawn over changing backgrounds: its corners must be clear
};

// Every image of the set with the size the client expects.
const Expected expectedImages[] = {
    // Window frame
    { "bg_header.png", 888, 105, false },
    { "bg_statusbar.png", anySize, 27, false }, // repeated along x
    { "logo.png", 271, 29, true },
    { "line_v.png", 2, anySize, false },
    { "btn_sys_min.png", 132, 22, true }, // four frames of 33 x 22
    { "btn_sys_max.png", 132, 22, true },
    { "btn_sys_restore.png", 132, 22, true },
    { "btn_sys_close.png", 188, 22, true }, // four frames of 47 x 22
    // Tool bar
    { "icon_toolbar_1.png", 32, 32, true },
    { "icon_toolbar_2.png", 32, 32, true },
    { "icon_toolbar_3.png", 32, 32, true },
    { "icon_toolbar_4.png", 32, 32, true },
    { "icon_toolbar_5.png", 32, 32, true },
    { "ico_more.png", 32, 32, true },
    { "bg_toolbutton_pressed.png", 145, 46, true },
    { "bg_toolbutton_hover.png", 145, 46, true },
    // Buttons; the action button's images are stretched border images
    { "btn_back_normal.png", 60, 28, true },
    { "btn_back_hover.png", 60, 28, true },
    { "btn_action_normal.png", anySize, anySize, false },
    { "btn_action_hover.png", anySize, anySize, false },
    { "btn_dialog_normal.png", 58, 27, false },
    { "btn_dialog_hover.png", 58, 27, false },
    { "btn_dialog_pressed.png", 58, 27, false },
    { "btn_normal.png", 75, 24, false },
    { "btn_hover.png", 75, 24, false },
    { "btn_pressed.png", 75, 24, false },
    { "btn_green_normal.png", 135, 30, false },
    { "btn_green_hover.png", 135, 30, false },
    { "btn_green_pressed.png", 135, 30, false },
    { "btn_blue_normal.png", 135, 30, false },
    { "btn_blue_hover.png", 135, 30, false },
    { "btn_blue_pressed.png", 135, 30, false },
    // Animations
    { "loading.gif", 16, 16, true },
    { "loading_gear.gif", 48, 48, true },
    // Pictures
    { "img_nodata.png", 150, 28, true },
    { "img_truck_sleeping.png", 80, 58, true },
    { "img_truck_working.png", 80, 58, true },
    { "img_truck_default_0.png", 70, 55, true },
    { "img_truck_default_1.png", 70, 55, true },
    { "img_truck_default_2.png", 70, 55, true },
    { "trade_status_0.png", 80, 80, true },
    { "trade_status_1.png", 80, 80, true },
    { "trade_status_2.png", 80, 80, true },
    { "img_calling.png", 128, 128, true },
    // Icons
    { "list_arrow.png", 22, 22, true },
    { "ico_remove.png", 25, 25, true },
    { "ico_call.png", 27, 25, true },
    { "ico_sms.png", 27, 25, true },
    { "ico_cloud.png", 17, 17, true },
    { "ico_user.png", 16, 16, true },
    { "ico_deposit_s.png", 16, 16, true },
};

const char* const programIcon = "logo.ico";

// Border images are cut into 4-pixel slices: they need a middle to stretch.
const char* const slicedImages[] = { "btn_action_normal.png", "btn_action_hover.png", "btn_dialog_normal.png",
    "btn_dialog_hover.png", "btn_dialog_pressed.png", "btn_normal.png", "btn_hover.png", "btn_pressed.png" };

const Expected* findExpected(const QString& name)
{
    for (const Expected& e : expectedImages) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

QString resourcePath(const QString& name)
{
    return QStringLiteral(":/images/") + name;
}

// Reads every frame of an image file; an error text when it cannot.
QVector<QImage> readFrames(const QString& path, QString* error)
{
    QImageReader reader(path);
    QVector<QImage> frames;
    while (true) {
        const QImage frame = reader.read();
        if (frame.isNull())
            break;
        frames << frame;
        if (!reader.supportsAnimation() || !reader.canRead())
            break;
    }
    if (frames.isEmpty())
        *error = QStringLiteral("%1 does not load: %2").arg(path, reader.errorString());
    return frames;
}

// Checks one image against its entry; returns what is wrong, or nothing.
QString checkImage(const Expected& e)
{
    QString error;
    const QVector<QImage> frames = readFrames(resourcePath(QLatin1String(e.name)), &error);
    if (frames.isEmpty())
        return error;
    for (const QImage& frame : frames) {
        if ((e.width != anySize && frame.width() != e.width) || (e.height != anySize && frame.height() != e.height))
            return QStringLiteral("%1 is %2 x %3, expected %4 x %5")
                .arg(QLatin1String(e.name))
                .arg(frame.width())
                .arg(frame.height())
                .arg(e.width)
                .arg(e.height);
    }
    return {};
}

// The names the client's sources refer to: ":/images/..." or
// ":images/..." inside string literals and style sheets.
struct References
{
    QSet<QString> names; // complete file names
    QSet<QString> patterns; // built at run time: a prefix or a %1 template
    QStringList scannedFiles;
};

References scanSources(const QString& root)
{
    static const QRegularExpression reference(QStringLiteral(R"(:/?images/([A-Za-z0-9_%.\-]*))"));
    static const QRegularExpression complete(QStringLiteral(R"(^[A-Za-z0-9_\-]+\.(png|gif|ico|jpg)$)"));
    References found;
    for (const char* folder : { "app", "shell", "net", "screens", "widgets", "telephony" }) {
        QDirIterator it(QDir(root).filePath(QLatin1String(folder)), { QStringLiteral("*.cpp"), QStringLiteral("*.h") },
            QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            found.scannedFiles << file.fileName();
            const QString text = QString::fromUtf8(file.readAll());
            auto matches = reference.globalMatch(text);
            while (matches.hasNext()) {
                const QString name = matches.next().captured(1);
                if (complete.match(name).hasMatch())
                    found.names.insert(name);
                else if (!name.isEmpty())
                    found.patterns.insert(name);
            }
        }
    }
    return found;
}

QStringList resourceNames()
{
    QStringList names;
    QDirIterator it(QStringLiteral(":/images"), QDir::Files);
    while (it.hasNext()) {
        it.next();
        names << it.fileName();
    }
    return names;
}

// A pattern such as "icon_toolbar_%1.png" or "trade_status_" as a
// regular expression over file names.
QRegularExpression patternExpression(const QString& pattern)
{
    QStringList pieces;
    for (const QString& piece : pattern.split(QRegularExpression(QStringLiteral(R"(%\d)"))))
        pieces << QRegularExpression::escape(piece);
    const QString rx = pieces.join(QStringLiteral(".+"));
    const bool hasExtension = pattern.contains(QLatin1Char('.'));
    return QRegularExpression(QLatin1Char('^') + rx + (hasExtension ? QStringLiteral("$") : QStringLiteral(".+$")));
}

} // namespace

class BuiltinImagesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initClientTestEnvironment(); }

    void listedImages_data()
    {
        QTest::addColumn<QString>("name");
        for (const Expected& e : expectedImages)
            QTest::newRow(e.name) << QString::fromLatin1(e.name);
    }

    void listedImages()
    {
        QFETCH(QString, name);
        const Expected* e = findExpected(name);
        QVERIFY(e);
        const QString problem = checkImage(*e);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Images laid over the header band, rows and tiles must not bring a
        // background of their own.
        if (e->overlay) {
            const QImage image(resourcePath(name));
            QVERIFY2(image.hasAlphaChannel(), "no transparency");
            const QRgb corner = image.pixel(0, 0);
            QVERIFY2(qAlpha(corner) == 0, "the top-left corner is not transparent");
        }
    }

    void referencedImages()
    {
        const QString root = QStringLiteral(FREYMO_SOURCE_DIR);
        QVERIFY2(
            QDir(root).exists(QStringLiteral("app")), qPrintable(root + QStringLiteral(" is not the source tree")));
        const References refs = scanSources(root);
        QVERIFY(!refs.scannedFiles.isEmpty());
        const QStringList available = resourceNames();

        QStringList problems;
        for (const QString& name : refs.names) {
            const Expected* e = findExpected(name);
            if (name == QLatin1String(programIcon))
                continue; // checked by programIconLoads
            if (!e) {
                problems << (available.contains(name) ? QStringLiteral("%1: used, but has no expected size in the test")
                                                      : QStringLiteral("%1: used, but not among the resources"))
                                .arg(name);
                continue;
            }
            const QString problem = checkImage(*e);
            if (!problem.isEmpty())
                problems << problem;
        }
        for (const QString& pattern : refs.patterns) {
            const QRegularExpression rx = patternExpression(pattern);
            if (available.filter(rx).isEmpty())
                problems << QStringLiteral("no resource matches the name built from \"%1\"").arg(pattern);
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // A file added to the set without a line in the table would go unchecked.
    void everyResourceIsListed()
    {
        QStringList unlisted;
        for (const QString& name : resourceNames()) {
            if (!findExpected(name) && name != QLatin1String(programIcon))
                unlisted << name;
        }
        QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted.join(QStringLiteral(", "))));
    }

    void animationsAnimate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("spinner") << QStringLiteral("loading.gif");
        QTest::newRow("gear") << QStringLiteral("loading_gear.gif");
    }

    void animationsAnimate()
    {
        QFETCH(QString, name);
        QMovie movie(resourcePath(name));
        QVERIFY(movie.isValid());
        QVERIFY2(movie.frameCount() > 1, qPrintable(QString::number(movie.frameCount())));

        QString error;
        const QVector<QImage> frames = readFrames(resourcePath(name), &error);
        QVERIFY2(frames.size() == movie.frameCount(), qPrintable(error));
        for (int i = 1; i < frames.size(); ++i)
            QVERIFY2(
                frames[i] != frames[i - 1], qPrintable(QStringLiteral("frame %1 repeats frame %2").arg(i).arg(i - 1)));

        QImageReader reader(resourcePath(name));
        QCOMPARE(reader.loopCount(), -1); // loops for ever
        QVERIFY(reader.nextImageDelay() > 0);
    }

    void programIconLoads()
    {
        QImageReader reader(resourcePath(QLatin1String(programIcon)));
        QCOMPARE(reader.format(), QByteArray("ico"));
        QVERIFY(reader.imageCount() >= 2);
        QSet<int> sizes;
        for (int i = 0; i < reader.imageCount(); ++i) {
            QVERIFY(reader.jumpToImage(i));
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(image.width(), image.height());
            sizes.insert(image.width());
        }
        // The desktop's small and large icons.
        QVERIFY(sizes.contains(16));
        QVERIFY(sizes.contains(32));
        // The title bar shows it at 18 x 18.
        QVERIFY(!QPixmap(resourcePath(QLatin1String(programIcon))).scaled(18, 18).isNull());
    }

    // Frames 1 to 4 (normal, hover, pressed, disabled) must look different,
    // or the button gives no feedback.
    void systemButtonFramesDiffer_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : { "btn_sys_min.png", "btn_sys_max.png", "btn_sys_restore.png", "btn_sys_close.png" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void systemButtonFramesDiffer()
    {
        QFETCH(QString, name);
        const QImage strip(resourcePath(name));
        QVERIFY(!strip.isNull());
        QCOMPARE(strip.width() % 4, 0);
        const int w = strip.width() / 4;
        QVector<QImage> frames;
        for (int i = 0; i < 4; ++i)
            frames << strip.copy(i * w, 0, w, strip.height());
        for (int a = 0; a < 4; ++a) {
            for (int b = a + 1; b < 4; ++b)
                QVERIFY2(frames[a] != frames[b],
                    qPrintable(QStringLiteral("frames %1 and %2 are equal").arg(a + 1).arg(b + 1)));
        }
    }

    void slicedImagesHaveAMiddle()
    {
        for (const char* name : slicedImages) {
            const QImage image(resourcePath(QLatin1String(name)));
            QVERIFY2(image.width() > 8 && image.height() > 8, name);
        }
    }
};

QTEST_MAIN(BuiltinImagesTest)
#include "tst_builtin_images.moc"
