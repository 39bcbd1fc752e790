#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QPainter;
class QStyle;
class QWidget;

// How a truck's tile looks, stated once: its pictures, the fonts and colours
// of its texts, the load bar's colours, and where its parts lie. The tile
// draws its parts after it and keeps no widget for them.
//
// The parts stand in a column, centred and from the top, Margin pixels inside
// the tile: the picture, the number (wrapped), the load row when the truck
// has a rated load (a thin bar beside the booked weight, RowWidth pixels in
// all) and the goods (wrapped in RowWidth pixels and centred once the tile has
// had goods to show). Each part takes the room a plain-text label (or a
// progress bar) of its font would take, and the column shares the tile's
// height out as a vertical box layout of those would: a tile too short for
// its texts squeezes them the same way, and its size hints are the column's.
class TruckTileLook
{
public:
    // What one tile shows.
    struct Content
    {
        bool working = false;
        QString number;
        bool loadShown = false;
        QString load;
        // The goods wrap and centre from the tile's first goods on.
        bool goodsStyled = false;
        QString goods;
    };

    // Where each part lies in a tile; the bar and the load text are empty
    // when no load is shown.
    struct Places
    {
        QRect picture;
        QRect number;
        QRect bar;
        QRect load;
        QRect goods;
    };

    // The load bar's filling: `value` of `maximum`, in the colour of a
    // booking past the rated load when `over`.
    struct Bar
    {
        int value = 0;
        int maximum = 0;
        bool over = false;
    };

    // The stated geometry, in pixels.
    static constexpr int Margin = 5;
    static constexpr int RowWidth = 145;
    static constexpr int BarHeight = 4;
    static constexpr int BarSpacing = 4;
    static constexpr int BarRadius = 2;
    // The texts are in the faces the application gives its labels, the
    // number at NumberPixels and the rest at SmallPixels.
    static const QStringList TextFamilies;
    static constexpr int NumberPixels = 16;
    static constexpr int SmallPixels = 12;
    static constexpr int ButtonWidth = 135;
    static constexpr int ButtonHeight = 30;

    // The look in `tile`: the fonts are the tile's at the stated sizes, the
    // spacing between the parts is its style's, and the bar asks for the
    // width a progress bar in the tile's font would.
    explicit TruckTileLook(const QWidget* tile);

    // A tile's size hints: the room it asks for and the least it needs.
    struct Hints
    {
        QSize size;
        QSize minimum;
    };

    // Whether the look is the one a tile of `tile`'s font and style would
    // have: the tiles of one board share one.
    bool suits(const QWidget* tile) const;

    Places place(const Content& content, const QSize& size) const;
    Hints hints(const Content& content) const;
    int heightForWidth(const Content& content, int width) const;

    const QPixmap& picture(bool working) const { return working ? workingPicture : restingPicture; }

    // Paints `content` at `places` in `tile`, the number in the colour of the
    // tile's text.
    void paint(
        QPainter* painter, const QWidget* tile, const Content& content, const Places& places, const Bar& bar) const;

private:
    QFont tileFont;
    const QStyle* tileStyle;
    QFont numberFont;
    QFont smallFont;
    QColor smallText { 0x99, 0x99, 0x99 };
    QColor barGroove { 0xe5, 0xe5, 0xe5 };
    QColor barFill { 0x42, 0xa8, 0x5b };
    QColor barOverFill { 0xff, 0x66, 0x00 };
    int spacing;
    int barWidth;
    QPixmap restingPicture;
    QPixmap workingPicture;
};
