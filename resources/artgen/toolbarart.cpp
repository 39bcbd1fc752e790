#include "toolbarart.h"

#include "artkit.h"

#include <QLinearGradient>
#include <QPainter>

namespace art::toolbar {

using namespace art::palette;

// The glyphs are drawn on a 32-pixel canvas whose disc has its centre at
// (16, 16); each fits roughly inside the square 8..24.
static void homeGlyph(QPainter& p, const QColor& c)
{
    QPainterPath roof;
    roof.moveTo(16, 7.5);
    roof.lineTo(24.5, 15.2);
    roof.lineTo(22.9, 16.9);
    roof.lineTo(16, 10.6);
    roof.lineTo(9.1, 16.9);
    roof.lineTo(7.5, 15.2);
    roof.closeSubpath();
    p.fillPath(roof, c);
    QPainterPath house;
    house.moveTo(10.5, 15.6);
    house.lineTo(16, 10.9 + 0.6);
    house.lineTo(21.5, 15.6);
    house.lineTo(21.5, 23.5);
    house.lineTo(10.5, 23.5);
    house.closeSubpath();
    QPainterPath door;
    door.addRoundedRect(QRectF(14.2, 18, 3.6, 5.5), 0.8, 0.8);
    p.fillPath(house.subtracted(door), c);
}

static void tradesGlyph(QPainter& p, const QColor& c)
{
    // A clipboard with the lines of a waybill.
    QPainterPath board;
    board.addRoundedRect(QRectF(9.5, 9, 13, 15.5), 2, 2);
    QPainterPath inner;
    inner.addRect(QRectF(11.5, 12, 9, 10.5));
    p.fillPath(board.subtracted(inner), c);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(13, 7, 6, 3.6), 1.2, 1.2);
    p.fillRect(QRectF(13, 14, 6, 1.6), c);
    p.fillRect(QRectF(13, 17, 6, 1.6), c);
    p.fillRect(QRectF(13, 20, 3.8, 1.6), c);
}

static void personWithBadge(QPainter& p, const QColor& c, bool shipper)
{
    const QPainterPath person = personPath(QRectF(7, 7.5, 14, 16));
    // The badge cuts a white margin out of the person so both stay legible.
    const QRectF badge(17, 15.5, 8.5, 8.5);
    QPainterPath cut;
    cut.addRoundedRect(badge.adjusted(-1.5, -1.5, 1.5, 1.5), 2.5, 2.5);
    p.fillPath(person.subtracted(cut), c);
    if (shipper) {
        // A parcel with its lid.
        QPainterPath box;
        box.addRoundedRect(badge, 1.4, 1.4);
        p.fillPath(box, c);
        p.fillRect(QRectF(badge.left(), badge.top() + 2.8, badge.width(), 1.1), Qt::white);
    } else {
        // A destination pin.
        QPainterPath pin;
        const QPointF centre(badge.center().x(), badge.top() + 3.6);
        pin.moveTo(centre.x(), badge.bottom() + 0.5);
        pin.cubicTo(
            centre.x() - 1.6, badge.bottom() - 2.4, centre.x() - 4.3, centre.y() + 1.8, centre.x() - 4.3, centre.y());
        pin.arcTo(QRectF(centre.x() - 4.3, centre.y() - 4.3, 8.6, 8.6), 180, -180);
        pin.cubicTo(centre.x() + 4.3, centre.y() + 1.8, centre.x() + 1.6, badge.bottom() - 2.4, centre.x(),
            badge.bottom() + 0.5);
        pin.closeSubpath();
        QPainterPath hole;
        hole.addEllipse(centre, 1.6, 1.6);
        p.fillPath(pin.subtracted(hole), c);
    }
}

static void truckGlyph(QPainter& p, const QColor& c)
{
    p.fillPath(truckGlyphPath(), c);
}

QImage sectionIcon(Section section)
{
    QImage img = canvas(32, 32);
    QPainter p(&img);
    prepare(p);
    p.setPen(QPen(QColor(0x2E, 0x8C, 0x47, 70), 1));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    p.setPen(Qt::NoPen);
    const QColor glyph = greenDark;
    switch (section) {
    case Section::Home:
        homeGlyph(p, glyph);
        break;
    case Section::Trades:
        tradesGlyph(p, glyph);
        break;
    case Section::Shippers:
        personWithBadge(p, glyph, true);
        break;
    case Section::Trucks:
        truckGlyph(p, glyph);
        break;
    case Section::Consignees:
        personWithBadge(p, glyph, false);
        break;
    }
    return img;
}

QImage moreIcon()
{
    QImage img = canvas(32, 32);
    QPainter p(&img);
    prepare(p);
    p.setPen(QPen(QColor(255, 255, 255, 120), 1.5));
    p.setBrush(QColor(255, 255, 255, 36));
    p.drawEllipse(QRectF(2.75, 2.75, 26.5, 26.5));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (qreal x : { 10.0, 16.0, 22.0 })
        p.drawEllipse(QPointF(x, 16), 2.1, 2.1);
    return img;
}

QImage pressedTab()
{
    // The tab of the current section: it opens into the light header strip
    // of the screen below, so it ends in the same green.
    QImage img = canvas(145, 46);
    QPainter p(&img);
    prepare(p);
    const QRectF tab(3, 4, 139, 43);
    QLinearGradient g(0, 4, 0, 46);
    g.setColorAt(0.0, Qt::white);
    g.setColorAt(1.0, greenPale);
    p.fillPath(topRoundedRect(tab, 5), g);
    return img;
}

QImage hoverTab()
{
    QImage img = canvas(145, 46);
    QPainter p(&img);
    prepare(p);
    const QRectF tab(3, 4, 139, 43);
    QLinearGradient g(0, 4, 0, 46);
    g.setColorAt(0.0, QColor(255, 255, 255, 64));
    g.setColorAt(1.0, QColor(255, 255, 255, 26));
    p.fillPath(topRoundedRect(tab, 5), g);
    // A brighter rim along the top edge.
    QPen rim(QColor(255, 255, 255, 90), 1);
    p.setPen(rim);
    p.setBrush(Qt::NoBrush);
    p.drawPath(topRoundedRect(tab.adjusted(0.5, 0.5, -0.5, 2), 4.5));
    return img;
}

} // namespace art::toolbar
