#include "animationart.h"

#include "artkit.h"

#include <QPainter>
#include <QTransform>

namespace art::animations {

using namespace art::palette;

QVector<QImage> spinnerFrames()
{
    const int count = 12;
    QVector<QImage> frames;
    for (int i = 0; i < count; ++i) {
        QImage img = canvas(16, 16);
        QPainter p(&img);
        prepare(p);
        const QRectF ring(2.5, 2.5, 11, 11);
        p.setPen(QPen(QColor(0x42, 0xA8, 0x5B, 70), 2.2));
        p.drawEllipse(ring);
        QPen arc(green, 2.2, Qt::SolidLine, Qt::RoundCap);
        p.setPen(arc);
        // Qt measures angles counter-clockwise; the arc runs clockwise.
        const int start = 90 - i * (360 / count);
        p.drawArc(ring, start * 16, -110 * 16);
        p.end();
        frames << flattenForGif(img, paper);
    }
    return frames;
}

static QPainterPath gearPath(qreal angle)
{
    const QPointF c(24, 24);
    QPainterPath gear;
    gear.addEllipse(c, 15.5, 15.5);
    const int teeth = 8;
    for (int i = 0; i < teeth; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-3.8, -21.5, 7.6, 9), 1.6, 1.6);
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(angle + i * 360.0 / teeth);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(c, 6.5, 6.5);
    return gear.subtracted(hole);
}

QVector<QImage> gearFrames()
{
    // Eight teeth repeat every 45 degrees: nine steps of five make a
    // seamless loop.
    QVector<QImage> frames;
    for (int i = 0; i < 9; ++i) {
        QImage img = canvas(48, 48);
        QPainter p(&img);
        prepare(p);
        p.fillPath(gearPath(i * 5.0), green);
        // A light ring inside the rim gives the gear some depth.
        p.setPen(QPen(QColor(255, 255, 255, 110), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(24, 24), 10.5, 10.5);
        p.end();
        frames << flattenForGif(img, overlayOnWhite);
    }
    return frames;
}

int spinnerDelay()
{
    return 8;
}

int gearDelay()
{
    return 6;
}

} // namespace art::animations
