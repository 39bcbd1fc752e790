#include "chromeart.h"

#include "artkit.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

namespace art::chrome {

using namespace art::palette;

QImage headerBand()
{
    QImage img = canvas(888, 105);
    QPainter p(&img);
    prepare(p);
    const QRectF all(0, 0, 888, 105);

    QLinearGradient base(0, 0, 0, 105);
    base.setColorAt(0.0, QColor(0x24, 0x7C, 0x3E));
    base.setColorAt(1.0, QColor(0x37, 0x9B, 0x51));
    p.fillRect(all, base);

    // Broad, soft bands of light across the lower right. They are wide and
    // low so that the picture survives being stretched to any window width.
    auto wave = [&p](qreal y0, qreal y1, qreal y2, qreal y3, int alpha) {
        QPainterPath path;
        path.moveTo(0, y0);
        path.cubicTo(260, y1, 560, y2, 888, y3);
        path.lineTo(888, 105);
        path.lineTo(0, 105);
        path.closeSubpath();
        p.fillPath(path, QColor(255, 255, 255, alpha));
    };
    wave(96, 92, 40, 30, 10);
    wave(104, 100, 62, 52, 9);
    wave(108, 104, 84, 70, 8);

    // A faint sheen under the title bar and a crisp edge at the top.
    QLinearGradient sheen(0, 0, 0, 24);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 22));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, 888, 24), sheen);
    p.fillRect(QRectF(0, 0, 888, 1), QColor(255, 255, 255, 40));
    return img;
}

QImage statusBarStrip()
{
    QImage img = canvas(8, 27);
    QPainter p(&img);
    QLinearGradient g(0, 1, 0, 27);
    g.setColorAt(0.0, QColor(0xF8, 0xFB, 0xF5));
    g.setColorAt(1.0, QColor(0xE6, 0xEE, 0xE0));
    p.fillRect(QRect(0, 0, 8, 27), g);
    p.fillRect(QRect(0, 0, 8, 1), QColor(0xC9, 0xD8, 0xBE));
    p.fillRect(QRect(0, 1, 8, 1), QColor(255, 255, 255, 200));
    return img;
}

// The mark: a freight box seen from above a corner, on a rounded tile.
// Faces are separated by thin gaps where the size allows it.
static void drawMark(QPainter& p, const QRectF& tile, bool onWhiteTile)
{
    const qreal s = tile.width();
    const qreal radius = s * 0.22;
    p.setPen(Qt::NoPen);
    p.setBrush(onWhiteTile ? QColor(Qt::white) : green);
    p.drawRoundedRect(tile, radius, radius);

    const QPointF c = tile.center() + QPointF(0, s * 0.02);
    const qreal r = s * 0.33; // distance from the centre to a vertex
    const qreal dx = r * 0.866;
    const QPointF top(c.x(), c.y() - r), ur(c.x() + dx, c.y() - r / 2), lr(c.x() + dx, c.y() + r / 2),
        bottom(c.x(), c.y() + r), ll(c.x() - dx, c.y() + r / 2), ul(c.x() - dx, c.y() - r / 2);

    // Lit from above: the lid brightest, the right face darkest, so the
    // box still reads as a box at 16 pixels.
    const QColor topFace = onWhiteTile ? QColor(0x7C, 0xC8, 0x8E) : QColor(Qt::white);
    const QColor leftFace = onWhiteTile ? greenDark : QColor(0xE3, 0xF4, 0xE7);
    const QColor rightFace = onWhiteTile ? green : QColor(0xB2, 0xDF, 0xBE);
    auto face = [&p](std::initializer_list<QPointF> pts, const QColor& color) {
        QPolygonF poly;
        for (const QPointF& pt : pts)
            poly << pt;
        p.setBrush(color);
        p.drawPolygon(poly);
    };
    face({ top, ur, c, ul }, topFace);
    face({ ul, c, bottom, ll }, leftFace);
    face({ c, ur, lr, bottom }, rightFace);

    // Gaps between the faces, drawn in the tile's colour.
    if (s >= 20) {
        QPen gap(onWhiteTile ? QColor(Qt::white) : green, qMax(1.0, s / 22.0));
        gap.setCapStyle(Qt::FlatCap);
        p.setPen(gap);
        p.setBrush(Qt::NoBrush);
        p.drawLine(ul, c);
        p.drawLine(c, ur);
        p.drawLine(c, bottom);
        // The tape across the lid.
        QPen tape(onWhiteTile ? QColor(255, 255, 255, 170) : QColor(0x42, 0xA8, 0x5B, 120), qMax(1.0, s / 16.0));
        tape.setCapStyle(Qt::FlatCap);
        p.setPen(tape);
        const QPointF a = (top + ul) / 2, b = (ur + c) / 2;
        p.drawLine(a + (b - a) * 0.12, b - (b - a) * 0.12);
        p.setPen(Qt::NoPen);
    }
}

QImage logo()
{
    QImage img = canvas(271, 29);
    QPainter p(&img);
    prepare(p);
    drawMark(p, QRectF(0.5, 0.5, 28, 28), true);

    const QString word = QStringLiteral("Freymo");
    QFont wordFont = latinFont(25, true);
    wordFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    const QFontMetricsF wm(wordFont);
    const qreal baseline = 23;
    p.setFont(wordFont);
    p.setPen(Qt::white);
    p.drawText(QPointF(36, baseline), word);
    const qreal wordEnd = 36 + wm.horizontalAdvance(word);

    // A hairline and the tag line, quieter than the word.
    const qreal lineX = qRound(wordEnd + 9) + 0.5;
    p.setPen(QPen(QColor(255, 255, 255, 110), 1));
    p.drawLine(QPointF(lineX, 7), QPointF(lineX, 25));
    QFont tagFont = cjkFont(13);
    p.setFont(tagFont);
    p.setPen(QColor(255, 255, 255, 225));
    p.drawText(QPointF(lineX + 9.5, 21.5), QStringLiteral("中小型货站管理助手"));
    return img;
}

QVector<QImage> programIcon()
{
    QVector<QImage> sizes;
    for (int s : { 18, 16, 24, 32, 48, 256 }) {
        QImage img = canvas(s, s);
        QPainter p(&img);
        prepare(p);
        // On the desktop the icon stands on any colour: a green tile with a
        // white box reads everywhere; the small sizes fill the whole square.
        const qreal inset = s >= 48 ? s / 32.0 : 0;
        drawMark(p, QRectF(inset, inset, s - 2 * inset, s - 2 * inset), false);
        sizes << img;
    }
    return sizes;
}

QImage verticalLine()
{
    QImage img = canvas(2, 26);
    QPainter p(&img);
    for (int y = 0; y < 26; ++y) {
        // Full strength in the middle, fading out towards both ends.
        const qreal t = 1.0 - qAbs(y - 12.5) / 13.0;
        const qreal fade = qMin(1.0, t * 2.2);
        p.fillRect(QRect(0, y, 1, 1), QColor(0x2E, 0x8C, 0x47, qRound(110 * fade)));
        p.fillRect(QRect(1, y, 1, 1), QColor(255, 255, 255, qRound(230 * fade)));
    }
    return img;
}

static void drawSystemGlyph(QPainter& p, SystemButton kind, const QRectF& frame, const QColor& color)
{
    // Glyphs sit on whole pixels: ten pixels square, one pixel strokes.
    const qreal left = qFloor(frame.center().x()) - 5;
    const qreal top = 6;
    QPen pen(color, 1);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case SystemButton::Minimize:
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRectF(left, top + 5, 10, 1), color);
        break;
    case SystemButton::Maximize:
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(pen);
        p.drawRect(QRectF(left, top, 9, 9));
        p.fillRect(QRectF(left, top, 10, 2), color);
        break;
    case SystemButton::Restore:
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(pen);
        p.drawRect(QRectF(left, top + 3, 6, 6));
        p.fillRect(QRectF(left, top + 3, 7, 2), color);
        p.drawLine(QPointF(left + 3, top + 2), QPointF(left + 3, top));
        p.drawLine(QPointF(left + 3, top), QPointF(left + 9, top));
        p.drawLine(QPointF(left + 9, top), QPointF(left + 9, top + 6));
        p.drawLine(QPointF(left + 9, top + 6), QPointF(left + 7, top + 6));
        break;
    case SystemButton::Close: {
        p.setRenderHint(QPainter::Antialiasing, true);
        QPen x(color, 1.4);
        x.setCapStyle(Qt::RoundCap);
        p.setPen(x);
        const qreal cx = frame.center().x();
        p.drawLine(QPointF(cx - 4.5, top + 0.5), QPointF(cx + 4.5, top + 9.5));
        p.drawLine(QPointF(cx + 4.5, top + 0.5), QPointF(cx - 4.5, top + 9.5));
        break;
    }
    }
    p.setRenderHint(QPainter::Antialiasing, true);
}

QImage systemButton(SystemButton kind)
{
    const int frameWidth = kind == SystemButton::Close ? 47 : 33;
    QImage img = canvas(frameWidth * 4, 22);
    QPainter p(&img);
    prepare(p);
    const bool close = kind == SystemButton::Close;
    for (int frame = 0; frame < 4; ++frame) {
        const QRectF r(frame * frameWidth, 0, frameWidth, 22);
        switch (frame) {
        case 1:
            p.fillRect(r, close ? red : QColor(255, 255, 255, 46));
            break;
        case 2:
            p.fillRect(r, close ? redDark : QColor(0, 0, 0, 46));
            break;
        default:
            break;
        }
        // The glyph is drawn whole and then faded, so strokes that cross
        // do not show darker joints in the disabled frame.
        QImage glyph = canvas(img.width(), img.height());
        QPainter g(&glyph);
        prepare(g);
        drawSystemGlyph(g, kind, r, Qt::white);
        g.end();
        p.setOpacity(frame == 3 ? 0.4 : 1.0);
        p.drawImage(0, 0, glyph);
        p.setOpacity(1.0);
    }
    return img;
}

} // namespace art::chrome
