#include "iconart.h"

#include "artkit.h"

#include <QPainter>

namespace art::icons {

using namespace art::palette;

QImage listArrow()
{
    QImage img = canvas(22, 22);
    QPainter p(&img);
    prepare(p);
    QPen pen(QColor(0xB8, 0xB8, 0xB8), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawPolyline(QPolygonF({ QPointF(9, 6), QPointF(14, 11), QPointF(9, 16) }));
    return img;
}

QImage remove()
{
    QImage img = canvas(25, 25);
    QPainter p(&img);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawEllipse(QPointF(12.5, 12.5), 9, 9);
    QPen cross(Qt::white, 2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(cross);
    p.drawLine(QPointF(9.3, 9.3), QPointF(15.7, 15.7));
    p.drawLine(QPointF(15.7, 9.3), QPointF(9.3, 15.7));
    return img;
}

QImage call()
{
    QImage img = canvas(27, 25);
    QPainter p(&img);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    p.drawEllipse(QPointF(13.5, 12.5), 10.5, 10.5);
    p.translate(6.3, 5.3);
    p.fillPath(handsetPath(14.4), Qt::white);
    return img;
}

QImage sms()
{
    QImage img = canvas(27, 25);
    QPainter p(&img);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawEllipse(QPointF(13.5, 12.5), 10.5, 10.5);
    // An envelope.
    p.setBrush(Qt::white);
    const QRectF env(7.5, 8, 12, 9);
    p.drawRoundedRect(env, 1.2, 1.2);
    QPen flap(blue, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(flap);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({ QPointF(8.6, 9.3), QPointF(13.5, 13.2), QPointF(18.4, 9.3) }));
    return img;
}

QImage cloud()
{
    QImage img = canvas(17, 17);
    QPainter p(&img);
    prepare(p);
    QPainterPath shape;
    shape.addEllipse(QPointF(6.5, 9.5), 3.6, 3.6);
    shape.addEllipse(QPointF(9.8, 7.6), 4.6, 4.6);
    shape.addEllipse(QPointF(13.0, 10.2), 3.0, 3.0);
    shape.addRoundedRect(QRectF(3, 9.5, 13, 4.4), 2.2, 2.2);
    shape.setFillRule(Qt::WindingFill);
    shape = shape.simplified();
    p.fillPath(shape, green);
    QPen tick(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(tick);
    p.drawPolyline(QPolygonF({ QPointF(6.8, 10.3), QPointF(8.8, 12.1), QPointF(12.2, 8.4) }));
    return img;
}

QImage user()
{
    QImage img = canvas(16, 16);
    QPainter p(&img);
    prepare(p);
    p.fillPath(personPath(QRectF(2.5, 1.5, 11, 13.5)), green);
    return img;
}

QImage service()
{
    QImage img = canvas(16, 16);
    QPainter p(&img);
    prepare(p);
    // The headband, two ear cups and a microphone arm.
    QPen band(green, 1.6, Qt::SolidLine, Qt::FlatCap);
    p.setPen(band);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.3, 1.8, 11.4, 11.4), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    p.drawRoundedRect(QRectF(1.5, 7, 3.6, 5.6), 1.3, 1.3);
    p.drawRoundedRect(QRectF(10.9, 7, 3.6, 5.6), 1.3, 1.3);
    QPen arm(green, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(arm);
    QPainterPath path;
    path.moveTo(12.7, 12.4);
    path.quadTo(12.7, 14.6, 9.8, 14.6);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(6.6, 13.4, 3.6, 2.4), 1.2, 1.2);
    return img;
}

} // namespace art::icons
