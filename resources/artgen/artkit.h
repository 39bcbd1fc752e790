#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>

class QPainter;

// Shared vocabulary of the drawing program: the client's palette, blank
// canvases, fonts and a few shapes that several pictures reuse.
namespace art {

// The client's colours. The header band is a deeper shade of the border
// green so that white captions stay legible on it.
namespace palette {
inline const QColor green { 0x42, 0xA8, 0x5B }; // border green
inline const QColor greenDark { 0x2E, 0x8C, 0x47 };
inline const QColor greenDeep { 0x1F, 0x6F, 0x36 };
inline const QColor greenSoft { 0x8F, 0xCF, 0x9F };
inline const QColor greenPale { 0xE7, 0xF7, 0xD9 }; // header green
inline const QColor greenMist { 0xF4, 0xFB, 0xEE };
inline const QColor blue { 0x00, 0x99, 0xCC }; // text blue
inline const QColor blueDark { 0x00, 0x7A, 0xA6 };
inline const QColor bluePale { 0xD9, 0xF0, 0xF9 };
inline const QColor orange { 0xF5, 0x92, 0x1E };
inline const QColor orangeDark { 0xD9, 0x76, 0x0B };
inline const QColor red { 0xE0, 0x4E, 0x3F };
inline const QColor redDark { 0xB8, 0x36, 0x2A };
inline const QColor ink { 0x33, 0x33, 0x33 };
inline const QColor slate { 0x4A, 0x55, 0x60 };
inline const QColor greyText { 0x99, 0x99, 0x99 };
inline const QColor greyGlyph { 0xA6, 0xA6, 0xA6 };
inline const QColor greyLine { 0xCC, 0xCC, 0xCC };
inline const QColor stripe { 0xF6, 0xF6, 0xF6 };
inline const QColor paper { 0xF2, 0xF2, 0xF2 };
inline const QColor dialogBar { 0xE9, 0xEE, 0xF2 };
// The loading overlay, rgba(100,100,100,70), laid over a white list.
inline const QColor overlayOnWhite { 0xD4, 0xD4, 0xD4 };
} // namespace palette

// A transparent canvas of the given size.
QImage canvas(int width, int height);

// Antialiased painting with smooth pixmap transforms: what every picture uses.
void prepare(QPainter& p);

// The families used for lettering. Chinese goes through the CJK family; the
// word mark uses a Latin family. Both must be installed: lettering in a
// fallback face would silently change the pictures.
QString cjkFamily();
QString latinFamily();
// Returns an empty string when every family the pictures need is installed,
// otherwise a message naming the missing ones.
QString missingFonts();

QFont cjkFont(qreal pixelSize, bool bold = false);
QFont latinFont(qreal pixelSize, bool bold = false);

// Draws text centred in rect in one colour.
void centredText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font, const QColor& color);

// A rectangle with only its top corners rounded (tabs).
QPainterPath topRoundedRect(const QRectF& r, qreal radius);

// Flattens an antialiased picture onto an opaque matte colour, keeping fully
// transparent pixels transparent: GIF has one-bit transparency, so the soft
// edges are blended with the colour the animation is shown on.
QImage flattenForGif(const QImage& image, const QColor& matte);

// A glyph of a person (head and shoulders) filling rect.
QPainterPath personPath(const QRectF& rect);
// A box truck facing right, on a 32-unit grid (about 6..26 across, 10..25
// down), its wheels cut free of the body.
QPainterPath truckGlyphPath();
// A telephone handset filling a square of side size at origin, in a
// 24-unit design grid.
QPainterPath handsetPath(qreal size);

} // namespace art
