#include "buttonart.h"

#include "artkit.h"

#include <QLinearGradient>
#include <QPainter>

namespace art::buttons {

using namespace art::palette;

QImage back(State state)
{
    QImage img = canvas(60, 28);
    QPainter p(&img);
    prepare(p);
    // Point at the left, a rounded body to the right; 4..24 high in 28.
    QPainterPath flag;
    const qreal top = 4.5, bottom = 23.5, right = 53.5, radius = 3;
    flag.moveTo(1.5, 14);
    flag.lineTo(10.5, top);
    flag.lineTo(right - radius, top);
    flag.quadTo(right, top, right, top + radius);
    flag.lineTo(right, bottom - radius);
    flag.quadTo(right, bottom, right - radius, bottom);
    flag.lineTo(10.5, bottom);
    flag.closeSubpath();
    if (state == State::Normal) {
        QLinearGradient g(0, top, 0, bottom);
        g.setColorAt(0.0, QColor(0x4C, 0xB2, 0x65));
        g.setColorAt(1.0, QColor(0x3A, 0x9C, 0x53));
        p.setPen(QPen(QColor(0x2E, 0x8C, 0x47), 1));
        p.setBrush(g);
    } else {
        p.setPen(QPen(green, 1));
        p.setBrush(Qt::white);
    }
    p.drawPath(flag);
    return img;
}

static QImage slicedFace(
    int w, int h, const QColor& top, const QColor& bottom, const QColor& border, const QColor& highlight)
{
    QImage img = canvas(w, h);
    QPainter p(&img);
    prepare(p);
    const QRectF r(0.5, 0.5, w - 1, h - 1);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 3, 3);
    if (highlight.alpha() > 0) {
        p.setPen(QPen(highlight, 1));
        p.drawLine(QPointF(3, 1.5), QPointF(w - 3, 1.5));
    }
    return img;
}

QImage action(State state)
{
    if (state == State::Normal)
        return slicedFace(
            40, 26, QColor(0x4C, 0xB2, 0x65), QColor(0x3A, 0x9C, 0x53), greenDark, QColor(255, 255, 255, 50));
    return slicedFace(40, 26, Qt::white, Qt::white, green, Qt::transparent);
}

QImage dialog(State state)
{
    switch (state) {
    case State::Normal:
        return slicedFace(58, 27, Qt::white, QColor(0xF1, 0xF3, 0xF5), QColor(0xB9, 0xC2, 0xCA), Qt::transparent);
    case State::Hover:
        return slicedFace(58, 27, QColor(0xF7, 0xFD, 0xF2), greenPale, green, Qt::transparent);
    case State::Pressed:
        return slicedFace(58, 27, QColor(0xD3, 0xEE, 0xBF), QColor(0xE2, 0xF4, 0xD4), greenDark, Qt::transparent);
    }
    return {};
}

QImage login(State state)
{
    switch (state) {
    case State::Normal:
        return slicedFace(
            75, 24, QColor(0xEE, 0xF9, 0xE5), QColor(0xCF, 0xEC, 0xB9), green, QColor(255, 255, 255, 160));
    case State::Hover:
        return slicedFace(
            75, 24, QColor(0xF6, 0xFD, 0xF0), QColor(0xDC, 0xF3, 0xCA), green, QColor(255, 255, 255, 200));
    case State::Pressed:
        return slicedFace(75, 24, QColor(0xC2, 0xE5, 0xA6), QColor(0xD3, 0xEE, 0xBF), greenDark, Qt::transparent);
    }
    return {};
}

static QImage flatFace(const QColor& fill, const QColor& accent)
{
    QImage img = canvas(135, 30);
    QPainter p(&img);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0, 0, 135, 30), 3, 3);
    // A thin accent along the top edge: it survives the crop to 132 x 25.
    p.fillRect(QRectF(3, 0, 129, 1), accent);
    return img;
}

QImage greenFace(State state)
{
    switch (state) {
    case State::Normal:
        return flatFace(QColor(0xB4, 0xE2, 0x98), QColor(255, 255, 255, 120));
    case State::Hover:
        return flatFace(QColor(0xC6, 0xEA, 0xAF), QColor(255, 255, 255, 150));
    case State::Pressed:
        return flatFace(QColor(0x9A, 0xD4, 0x7A), QColor(0, 0, 0, 25));
    }
    return {};
}

QImage blueFace(State state)
{
    switch (state) {
    case State::Normal:
        return flatFace(QColor(0xB3, 0xE0, 0xF2), QColor(255, 255, 255, 120));
    case State::Hover:
        return flatFace(QColor(0xC8, 0xE9, 0xF7), QColor(255, 255, 255, 150));
    case State::Pressed:
        return flatFace(QColor(0x93, 0xD1, 0xEB), QColor(0, 0, 0, 25));
    }
    return {};
}

} // namespace art::buttons
