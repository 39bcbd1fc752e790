#include "artkit.h"

#include <QFontDatabase>
#include <QPainter>
#include <QStringList>
#include <QTransform>

namespace art {

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QString cjkFamily()
{
    return QStringLiteral("WenQuanYi Micro Hei");
}

QString latinFamily()
{
    return QStringLiteral("URW Gothic [UKWN]");
}

QString missingFonts()
{
    const QStringList installed = QFontDatabase().families();
    QStringList missing;
    for (const QString& family : { cjkFamily(), latinFamily() }) {
        if (!installed.contains(family, Qt::CaseInsensitive))
            missing << family;
    }
    return missing.join(QStringLiteral(", "));
}

static QFont makeFont(const QString& family, qreal pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    // Hinting and antialiasing fixed here rather than taken from the
    // desktop's font configuration, so the pictures come out the same
    // wherever they are generated.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoFontMerging));
    font.setKerning(true);
    return font;
}

QFont cjkFont(qreal pixelSize, bool bold)
{
    return makeFont(cjkFamily(), pixelSize, bold);
}

QFont latinFont(qreal pixelSize, bool bold)
{
    return makeFont(latinFamily(), pixelSize, bold);
}

void centredText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font, const QColor& color)
{
    p.save();
    p.setFont(font);
    p.setPen(color);
    p.drawText(rect, Qt::AlignCenter, text);
    p.restore();
}

QPainterPath topRoundedRect(const QRectF& r, qreal radius)
{
    QPainterPath path;
    path.moveTo(r.left(), r.bottom());
    path.lineTo(r.left(), r.top() + radius);
    path.arcTo(QRectF(r.left(), r.top(), 2 * radius, 2 * radius), 180, -90);
    path.lineTo(r.right() - radius, r.top());
    path.arcTo(QRectF(r.right() - 2 * radius, r.top(), 2 * radius, 2 * radius), 90, -90);
    path.lineTo(r.right(), r.bottom());
    path.closeSubpath();
    return path;
}

QImage flattenForGif(const QImage& image, const QColor& matte)
{
    QImage src = image.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            // Pixels that are mostly empty would show as a grey fringe
            // on any background but the matte: leave them out.
            if (a < 40) {
                dst[x] = qRgba(0, 0, 0, 0);
                continue;
            }
            auto mix = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
            dst[x] = qRgba(
                mix(qRed(in[x]), matte.red()), mix(qGreen(in[x]), matte.green()), mix(qBlue(in[x]), matte.blue()), 255);
        }
    }
    return out;
}

QPainterPath personPath(const QRectF& r)
{
    const qreal w = r.width();
    const qreal h = r.height();
    QPainterPath path;
    // Head: a disc half as wide as the figure.
    const qreal head = w * 0.52;
    path.addEllipse(QRectF(r.center().x() - head / 2, r.top(), head, head));
    // Shoulders: a dome with rounded corners, cut flat at the bottom,
    // separated from the head by a small gap.
    const qreal shoulders = r.top() + head + h * 0.07;
    QPainterPath dome;
    dome.addRoundedRect(QRectF(r.left(), shoulders, w, 2 * (r.bottom() - shoulders)), w * 0.42, w * 0.42);
    QPainterPath lower;
    lower.addRect(QRectF(r.left(), shoulders, w, r.bottom() - shoulders));
    path.addPath(dome.intersected(lower));
    return path;
}

QPainterPath truckGlyphPath()
{
    QPainterPath body;
    body.addRoundedRect(QRectF(6.5, 10, 12.5, 10), 1.2, 1.2);
    QPainterPath cab;
    cab.moveTo(20, 13);
    cab.lineTo(23.2, 13);
    cab.lineTo(25.8, 16.4);
    cab.lineTo(25.8, 20);
    cab.lineTo(20, 20);
    cab.closeSubpath();
    QPainterPath window;
    window.moveTo(21.3, 14.4);
    window.lineTo(22.7, 14.4);
    window.lineTo(24.1, 16.4);
    window.lineTo(21.3, 16.4);
    window.closeSubpath();
    QPainterPath shape = body.united(cab).subtracted(window);
    for (const QPointF& w : { QPointF(10.5, 21.5), QPointF(22.3, 21.5) }) {
        QPainterPath rim;
        rim.addEllipse(w, 3.6, 3.6);
        shape = shape.subtracted(rim);
        QPainterPath wheel;
        wheel.addEllipse(w, 2.4, 2.4);
        shape = shape.united(wheel);
    }
    return shape;
}

QPainterPath handsetPath(qreal size)
{
    // Drawn on a 24-unit grid: an earpiece at the upper left, a mouthpiece
    // at the lower right and a curved grip between them.
    QPainterPath path;
    path.moveTo(6.6, 2.2);
    path.cubicTo(7.4, 2.0, 8.1, 2.4, 8.5, 3.2);
    path.lineTo(10.3, 7.0);
    path.cubicTo(10.7, 7.8, 10.5, 8.7, 9.8, 9.2);
    path.lineTo(8.3, 10.3);
    path.cubicTo(9.3, 12.0, 11.9, 14.6, 13.7, 15.7);
    path.lineTo(14.8, 14.2);
    path.cubicTo(15.3, 13.5, 16.2, 13.3, 17.0, 13.7);
    path.lineTo(20.8, 15.5);
    path.cubicTo(21.6, 15.9, 22.0, 16.6, 21.8, 17.4);
    path.lineTo(21.2, 19.6);
    path.cubicTo(20.9, 20.8, 19.8, 21.7, 18.5, 21.6);
    path.cubicTo(10.0, 21.0, 3.0, 14.0, 2.4, 5.5);
    path.cubicTo(2.3, 4.2, 3.2, 3.1, 4.4, 2.8);
    path.closeSubpath();
    return QTransform::fromScale(size / 24.0, size / 24.0).map(path);
}

} // namespace art
