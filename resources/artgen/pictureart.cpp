#include "pictureart.h"

#include "artkit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace art::pictures {

using namespace art::palette;

namespace {

// A box truck seen from the side, facing right, built from a few
// measurements so the four trucks share one drawing.
struct TruckShape
{
    QRectF box; // the cargo box
    qreal cabWidth; // cab, right of the box
    qreal cabTop; // y of the cab roof
    qreal chassisY; // top of the chassis rail
    QVector<qreal> wheels; // wheel centres along x
    qreal wheelRadius;
    QColor boxColor;
    QString lettering;
    qreal letterSize;
};

void drawTruck(QPainter& p, const TruckShape& t)
{
    const qreal gap = 2;
    const qreal cabLeft = t.box.right() + gap;
    const qreal cabRight = cabLeft + t.cabWidth;
    const qreal wheelY = t.chassisY + 3.5;

    // Ground shadow.
    const qreal groundY = wheelY + t.wheelRadius;
    QRadialGradient shadow(QPointF((t.box.left() + cabRight) / 2, groundY), (cabRight - t.box.left()) / 2 + 2);
    shadow.setColorAt(0.0, QColor(0, 0, 0, 46));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.save();
    p.translate(0, groundY);
    p.scale(1, 0.09);
    p.translate(0, -groundY);
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF((t.box.left() + cabRight) / 2, groundY), (cabRight - t.box.left()) / 2 + 2,
        (cabRight - t.box.left()) / 2 + 2);
    p.restore();

    // Chassis rail under box and cab.
    p.setPen(Qt::NoPen);
    p.setBrush(slate);
    p.drawRoundedRect(QRectF(t.box.left() + 1, t.chassisY, cabRight - t.box.left() - 1, 3.2), 1, 1);

    // Cab: straight back, a sloped windscreen, a bumper.
    QPainterPath cab;
    const qreal slope = t.cabWidth * 0.36;
    cab.moveTo(cabLeft, t.chassisY + 0.5);
    cab.lineTo(cabLeft, t.cabTop + 2);
    cab.quadTo(cabLeft, t.cabTop, cabLeft + 2, t.cabTop);
    cab.lineTo(cabRight - slope - 1, t.cabTop);
    cab.quadTo(cabRight - slope + 0.5, t.cabTop, cabRight - slope + 1.3, t.cabTop + 1.2);
    cab.lineTo(cabRight, t.cabTop + (t.chassisY - t.cabTop) * 0.45);
    cab.lineTo(cabRight, t.chassisY + 0.5);
    cab.closeSubpath();
    QLinearGradient cabFill(0, t.cabTop, 0, t.chassisY);
    cabFill.setColorAt(0.0, QColor(0x1A, 0xAB, 0xDB));
    cabFill.setColorAt(1.0, blue);
    p.setBrush(cabFill);
    p.drawPath(cab);

    QPainterPath window;
    const qreal wTop = t.cabTop + 2.5;
    const qreal wBottom = t.cabTop + (t.chassisY - t.cabTop) * 0.42;
    window.moveTo(cabLeft + 2.5, wTop);
    window.lineTo(cabRight - slope - 0.5, wTop);
    window.lineTo(cabRight - 1.8, wBottom);
    window.lineTo(cabLeft + 2.5, wBottom);
    window.closeSubpath();
    p.setBrush(QColor(0xE6, 0xF6, 0xFC));
    p.drawPath(window);
    // Head lamp.
    p.setBrush(QColor(0xFF, 0xD2, 0x4D));
    p.drawRoundedRect(QRectF(cabRight - 2.2, t.chassisY - 4.5, 2.2, 2.6), 0.6, 0.6);

    // Cargo box with a lighter lid edge and its lettering.
    p.setBrush(t.boxColor);
    p.drawRoundedRect(t.box, 2.2, 2.2);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRoundedRect(QRectF(t.box.left(), t.box.top(), t.box.width(), 2.6), 1.3, 1.3);
    p.setBrush(QColor(0, 0, 0, 28));
    p.drawRect(QRectF(t.box.left() + 1, t.box.bottom() - 2.4, t.box.width() - 2, 2.4));
    if (!t.lettering.isEmpty())
        centredText(p, t.box.adjusted(0, 1, 0, -1), t.lettering, cjkFont(t.letterSize, true), Qt::white);

    // Wheels: tyre, rim, hub.
    for (qreal x : t.wheels) {
        p.setBrush(QColor(0x3A, 0x3F, 0x45));
        p.drawEllipse(QPointF(x, wheelY), t.wheelRadius, t.wheelRadius);
        p.setBrush(QColor(0xD9, 0xDE, 0xE2));
        p.drawEllipse(QPointF(x, wheelY), t.wheelRadius * 0.45, t.wheelRadius * 0.45);
    }
}

} // namespace

QImage truckResting()
{
    QImage img = canvas(80, 58);
    QPainter p(&img);
    prepare(p);
    drawTruck(p, { QRectF(6, 14, 49, 29), 20, 22, 43, { 16, 29, 66 }, 5, green, QStringLiteral("待配货"), 13 });
    // Resting: a small "z z" over the cab.
    QFont z = latinFont(9, true);
    p.setFont(z);
    p.setPen(QColor(0xB0, 0xB0, 0xB0));
    p.drawText(QPointF(64, 15), QStringLiteral("z"));
    z.setPixelSize(12);
    p.setFont(z);
    p.drawText(QPointF(70, 10), QStringLiteral("z"));
    return img;
}

QImage truckOnTheRoad()
{
    QImage img = canvas(80, 58);
    QPainter p(&img);
    prepare(p);
    drawTruck(p, { QRectF(6, 14, 49, 29), 20, 22, 43, { 16, 29, 66 }, 5, orange, QStringLiteral("出车中"), 13 });
    // Speed lines trailing behind the box.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF5, 0x92, 0x1E, 150));
    p.drawRoundedRect(QRectF(0, 20, 4.5, 1.8), 0.9, 0.9);
    p.setBrush(QColor(0xF5, 0x92, 0x1E, 110));
    p.drawRoundedRect(QRectF(1.5, 26, 3, 1.8), 0.9, 0.9);
    p.setBrush(QColor(0xF5, 0x92, 0x1E, 80));
    p.drawRoundedRect(QRectF(0, 32, 4.5, 1.8), 0.9, 0.9);
    return img;
}

QImage truckHeavy()
{
    QImage img = canvas(70, 55);
    QPainter p(&img);
    prepare(p);
    drawTruck(p, { QRectF(2, 13, 45, 27), 19, 20, 40, { 10, 21, 58 }, 4.8, red, QStringLiteral("重卡"), 14 });
    return img;
}

QImage truckMedium()
{
    QImage img = canvas(70, 55);
    QPainter p(&img);
    prepare(p);
    drawTruck(p, { QRectF(8, 17, 39, 23), 19, 22, 40, { 17, 58 }, 4.8, orange, QStringLiteral("中卡"), 13 });
    return img;
}

QImage truckLight()
{
    QImage img = canvas(70, 55);
    QPainter p(&img);
    prepare(p);
    drawTruck(p, { QRectF(13, 21, 32, 19), 17, 24, 40, { 20, 54 }, 4.5, greenDark, QStringLiteral("轻卡"), 12 });
    return img;
}

QImage tradeState(TradeState state)
{
    QImage img = canvas(80, 80);
    QPainter p(&img);
    prepare(p);
    const QColor glyph = greyGlyph;
    const QPointF c(40, 30);
    p.setPen(QPen(QColor(0xD2, 0xD2, 0xD2), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 25, 25);

    QString caption;
    switch (state) {
    case TradeState::Waiting: {
        caption = QStringLiteral("待发车");
        p.setPen(QPen(glyph, 3));
        p.drawEllipse(c, 13, 13);
        QPen hand(glyph, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(hand);
        p.drawPolyline(QPolygonF({ QPointF(40, 22), QPointF(40, 30), QPointF(46, 34) }));
        break;
    }
    case TradeState::InTransit: {
        caption = QStringLiteral("运输在途");
        // The tool bar's truck, twice as large.
        p.save();
        p.translate(40 - 16 * 1.9, 30 - 17.5 * 1.9);
        p.scale(1.9, 1.9);
        p.fillPath(truckGlyphPath(), glyph);
        p.restore();
        break;
    }
    case TradeState::Done: {
        caption = QStringLiteral("完成");
        // An open box with an arrow going into it.
        p.setPen(Qt::NoPen);
        p.setBrush(glyph);
        QPainterPath box;
        box.moveTo(25, 29);
        box.lineTo(32, 29);
        box.lineTo(32, 32);
        box.lineTo(48, 32);
        box.lineTo(48, 29);
        box.lineTo(55, 29);
        box.lineTo(55, 43);
        box.quadTo(55, 45, 53, 45);
        box.lineTo(27, 45);
        box.quadTo(25, 45, 25, 43);
        box.closeSubpath();
        p.drawPath(box);
        QPainterPath arrow;
        arrow.moveTo(37.5, 12);
        arrow.lineTo(42.5, 12);
        arrow.lineTo(42.5, 22);
        arrow.lineTo(47, 22);
        arrow.lineTo(40, 30);
        arrow.lineTo(33, 22);
        arrow.lineTo(37.5, 22);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    }
    centredText(p, QRectF(0, 60, 80, 18), caption, cjkFont(13, true), greyText);
    return img;
}

QImage noData()
{
    QImage img = canvas(150, 28);
    QPainter p(&img);
    prepare(p);
    // An empty tray, then the words.
    const QColor c(0xBB, 0xBB, 0xBB);
    QPen pen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath tray;
    tray.moveTo(18, 15);
    tray.lineTo(22.5, 7.5);
    tray.lineTo(37.5, 7.5);
    tray.lineTo(42, 15);
    tray.lineTo(42, 22.5);
    tray.lineTo(18, 22.5);
    tray.closeSubpath();
    p.drawPath(tray);
    QPainterPath well;
    well.moveTo(18.5, 15);
    well.lineTo(25, 15);
    well.lineTo(26.5, 17.5);
    well.lineTo(33.5, 17.5);
    well.lineTo(35, 15);
    well.lineTo(41.5, 15);
    p.drawPath(well);
    QFont font = cjkFont(15);
    p.setFont(font);
    p.setPen(greyText);
    p.drawText(QRectF(50, 0, 100, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("暂无数据"));
    return img;
}

QImage calling()
{
    QImage img = canvas(128, 128);
    QPainter p(&img);
    prepare(p);
    const QPointF c(64, 64);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x42, 0xA8, 0x5B, 26));
    p.drawEllipse(c, 63, 63);
    p.setBrush(QColor(0x42, 0xA8, 0x5B, 48));
    p.drawEllipse(c, 54, 54);
    QLinearGradient g(0, 20, 0, 108);
    g.setColorAt(0.0, QColor(0x4F, 0xB9, 0x69));
    g.setColorAt(1.0, QColor(0x36, 0x9A, 0x4F));
    p.setBrush(g);
    p.drawEllipse(c, 44, 44);

    // The handset, with two arcs of sound at its upper right.
    const qreal size = 46;
    p.save();
    p.translate(c.x() - size / 2 - 2, c.y() - size / 2 + 2);
    p.fillPath(handsetPath(size), Qt::white);
    p.restore();
    QPen wave(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    const QPointF origin(c.x() + 0, c.y() - 6);
    p.drawArc(QRectF(origin.x() - 10, origin.y() - 10, 20, 20), 10 * 16, 70 * 16);
    p.drawArc(QRectF(origin.x() - 18, origin.y() - 18, 36, 36), 10 * 16, 70 * 16);
    return img;
}

} // namespace art::pictures
