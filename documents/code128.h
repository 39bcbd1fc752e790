#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QVector>

class QPainter;

// A Code 128 symbol as libzint lays it out: its bars, to be drawn as vector
// rectangles at any size, so that a printed or exported page scans as sharply
// as the printer can print.
class Code128
{
public:
    // Encodes `data`; a symbol libzint refuses is invalid and names the reason.
    explicit Code128(const QByteArray& data);

    bool isValid() const { return modules > 0; }
    QString errorText() const { return error; }

    // The bars in module units: x and width count modules from the symbol's
    // left edge, y is 0 and the height 1. Quiet zones are not included.
    const QVector<QRectF>& bars() const { return rects; }
    // The symbol's width in modules.
    int width() const { return modules; }

    // Fills the bars into `area`, stretched to its width and height; the
    // caller keeps ten modules of white on either side.
    void paint(QPainter& painter, const QRectF& area) const;

private:
    QVector<QRectF> rects;
    int modules = 0;
    QString error;
};
