// freymo-artgen: draws the client's built-in images.
//
//   freymo-artgen render <images-dir> <frames-dir>
//       writes every still picture into images-dir, and the frames of the
//       animations and the sizes of the program icon into frames-dir, with
//       frames-dir/assemble.txt telling how to put them together:
//           gif <name> <centiseconds per frame> <frame files...>
//           ico <name> <size files...>
//   freymo-artgen sheet <images-dir> <output.png>
//       writes the contact sheet of the finished set.

#include "artkit.h"
#include "catalog.h"
#include "contactsheet.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "freymo-artgen: %s\n", qPrintable(message));
    return 1;
}

bool savePng(const QImage& image, const QString& path)
{
    // Straight (not premultiplied) alpha in the file, no metadata: the
    // bytes depend on the pixels alone.
    QImage out = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    out.setDotsPerMeterX(3780);
    out.setDotsPerMeterY(3780);
    return out.save(path, "PNG");
}

int render(const QString& imagesDir, const QString& framesDir)
{
    if (!QDir().mkpath(imagesDir) || !QDir().mkpath(framesDir))
        return fail(QStringLiteral("cannot create the output folders"));
    QFile manifest(QDir(framesDir).filePath(QStringLiteral("assemble.txt")));
    if (!manifest.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return fail(QStringLiteral("cannot write %1").arg(manifest.fileName()));
    QTextStream plan(&manifest);

    for (const ArtEntry& e : artCatalog()) {
        const QVector<QImage> images = e.render();
        if (images.isEmpty())
            return fail(QStringLiteral("nothing drawn for %1").arg(e.name));
        if (e.kind == ArtEntry::Kind::Png) {
            const QString path = QDir(imagesDir).filePath(e.name);
            if (!savePng(images.first(), path))
                return fail(QStringLiteral("cannot write %1").arg(path));
            continue;
        }
        const QString stem = e.name.section(QLatin1Char('.'), 0, 0);
        QStringList files;
        for (int i = 0; i < images.size(); ++i) {
            const QString file = e.kind == ArtEntry::Kind::Gif
                ? QStringLiteral("%1-%2.png").arg(stem).arg(i, 2, 10, QLatin1Char('0'))
                : QStringLiteral("%1-%2.png").arg(stem).arg(images[i].width());
            if (!savePng(images[i], QDir(framesDir).filePath(file)))
                return fail(QStringLiteral("cannot write %1").arg(file));
            files << file;
        }
        if (e.kind == ArtEntry::Kind::Gif)
            plan << "gif " << e.name << ' ' << e.frameDelay << ' ' << files.join(QLatin1Char(' ')) << '\n';
        else
            plan << "ico " << e.name << ' ' << files.join(QLatin1Char(' ')) << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing needs fonts but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 || (args[1] != QLatin1String("render") && args[1] != QLatin1String("sheet")))
        return fail(QStringLiteral("usage: freymo-artgen render <images-dir> <frames-dir> | "
                                   "sheet <images-dir> <output.png>"));
    const QString missing = art::missingFonts();
    if (!missing.isEmpty())
        return fail(QStringLiteral("fonts not installed: %1").arg(missing));

    if (args[1] == QLatin1String("render"))
        return render(args[2], args[3]);
    const QString error = writeContactSheet(args[2], args[3]);
    return error.isEmpty() ? 0 : fail(error);
}
