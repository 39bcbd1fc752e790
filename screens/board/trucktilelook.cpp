#include "screens/board/trucktilelook.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QLayoutItem>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

#include <memory>

const QStringList TruckTileLook::TextFamilies { QStringLiteral("Microsoft Yahei"), QStringLiteral("宋体") };

namespace {

// One part of the column as a box layout sees it: the room it asks for and
// the room it is given, as for a widget of the part's kind. `preferred` and
// `least` are what such a widget would hint, `lower` and `upper` the bounds
// its place keeps to whatever the layout gives it, `policy` how it grows and
// shrinks. A part not shown keeps its slot in the column, empty, as a hidden
// widget does: the layout counts it when it shares out too little room.
class Part : public QLayoutItem
{
public:
    QSize sizeHint() const override
    {
        if (hidden)
            return QSize(0, 0);
        return preferred().expandedTo(least()).boundedTo(upper).expandedTo(lower);
    }

    QSize minimumSize() const override
    {
        if (hidden)
            return QSize(0, 0);
        const QSize hint = preferred();
        const QSize smallest = least();
        QSize size(policy.horizontalPolicy() & QSizePolicy::ShrinkFlag ? smallest.width()
                                                                       : qMax(hint.width(), smallest.width()),
            policy.verticalPolicy() & QSizePolicy::ShrinkFlag ? smallest.height()
                                                              : qMax(hint.height(), smallest.height()));
        size = size.boundedTo(upper);
        if (lower.width() > 0)
            size.setWidth(lower.width());
        if (lower.height() > 0)
            size.setHeight(lower.height());
        return size.expandedTo(QSize(0, 0));
    }

    QSize maximumSize() const override
    {
        if (hidden)
            return QSize(0, 0);
        const Qt::Alignment align = alignment();
        if (align & Qt::AlignHorizontal_Mask && align & Qt::AlignVertical_Mask)
            return QSize(QLAYOUTSIZE_MAX, QLAYOUTSIZE_MAX);
        QSize size = upper;
        const QSize hint = preferred().expandedTo(least()).expandedTo(lower);
        if (size.width() == QWIDGETSIZE_MAX && !(align & Qt::AlignHorizontal_Mask)
            && !(policy.horizontalPolicy() & QSizePolicy::GrowFlag))
            size.setWidth(hint.width());
        if (size.height() == QWIDGETSIZE_MAX && !(align & Qt::AlignVertical_Mask)
            && !(policy.verticalPolicy() & QSizePolicy::GrowFlag))
            size.setHeight(hint.height());
        if (align & Qt::AlignHorizontal_Mask)
            size.setWidth(QLAYOUTSIZE_MAX);
        if (align & Qt::AlignVertical_Mask)
            size.setHeight(QLAYOUTSIZE_MAX);
        return size;
    }

    Qt::Orientations expandingDirections() const override
    {
        if (hidden)
            return {};
        Qt::Orientations directions = policy.expandingDirections();
        const Qt::Orientations inner = innerExpanding();
        if (policy.horizontalPolicy() & QSizePolicy::GrowFlag && inner & Qt::Horizontal)
            directions |= Qt::Horizontal;
        if (policy.verticalPolicy() & QSizePolicy::GrowFlag && inner & Qt::Vertical)
            directions |= Qt::Vertical;
        if (alignment() & Qt::AlignHorizontal_Mask)
            directions &= ~Qt::Horizontal;
        if (alignment() & Qt::AlignVertical_Mask)
            directions &= ~Qt::Vertical;
        return directions;
    }

    bool isEmpty() const override { return hidden; }
    bool hasHeightForWidth() const override { return !hidden && wraps(); }

    int heightForWidth(int width) const override
    {
        if (hidden)
            return -1;
        const int height = qBound(lower.height(), heightFor(width), upper.height());
        return qMax(height, 0);
    }

    void setGeometry(const QRect& rect) override
    {
        if (hidden)
            return;
        QSize size = rect.size().boundedTo(maximumSize());
        int x = rect.x();
        int y = rect.y();
        const Qt::Alignment align = alignment();
        if (align & (Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)) {
            const QSize hint = sizeHint();
            if (align & Qt::AlignHorizontal_Mask)
                size.setWidth(qMin(size.width(), hint.width()));
            if (align & Qt::AlignVertical_Mask)
                size.setHeight(qMin(size.height(), hasHeightForWidth() ? heightForWidth(size.width()) : hint.height()));
        }
        if (align & Qt::AlignRight)
            x += rect.width() - size.width();
        else if (!(align & Qt::AlignLeft))
            x += (rect.width() - size.width()) / 2;
        if (align & Qt::AlignBottom)
            y += rect.height() - size.height();
        else if (!(align & Qt::AlignTop))
            y += (rect.height() - size.height()) / 2;
        if (x < 0) {
            size.rwidth() += x;
            x = 0;
        }
        if (y < 0) {
            size.rheight() += y;
            y = 0;
        }
        // The part keeps to its own bounds, as a widget's geometry does.
        placed = QRect(QPoint(x, y), size.boundedTo(upper).expandedTo(lower.expandedTo(QSize(0, 0))));
        placeInside();
    }

    QRect geometry() const override { return placed; }

protected:
    virtual QSize preferred() const = 0;
    virtual QSize least() const = 0;
    virtual bool wraps() const { return false; }
    virtual int heightFor(int width) const
    {
        Q_UNUSED(width)
        return -1;
    }
    // The directions in which what the part holds grows.
    virtual Qt::Orientations innerExpanding() const { return {}; }
    virtual void placeInside() { }

    QSizePolicy policy { QSizePolicy::Preferred, QSizePolicy::Preferred };
    QSize lower { 0, 0 };
    QSize upper { QWIDGETSIZE_MAX, QWIDGETSIZE_MAX };
    bool hidden = false;
    QRect placed;
};

// A text in one font, as a plain-text label of that font measures it.
class TextPart : public Part
{
public:
    TextPart(const QFont& font, const QString& text, bool wrap, Qt::Alignment alignment, int fixedWidth = 0)
        : metrics(font)
        , text(text)
        , wrap(wrap)
        , textAlignment(alignment)
    {
        if (fixedWidth > 0) {
            lower.setWidth(fixedWidth);
            upper.setWidth(fixedWidth);
        }
        hint = sizeFor(-1);
        smallest = QSize(sizeFor(0).width(), qMin(sizeFor(QWIDGETSIZE_MAX).height(), hint.height()));
    }

protected:
    QSize preferred() const override { return hint; }
    QSize least() const override { return smallest; }
    bool wraps() const override { return wrap; }
    int heightFor(int width) const override { return sizeFor(width).height(); }

private:
    // The room of the text in `width` pixels; without a width, the room a
    // label would choose: wrapped in the width of 80 characters, or of 40
    // or 20 when the text is short.
    QSize sizeFor(int width) const
    {
        if (lower.width() > 0)
            width = qMax(width, lower.width());
        // A label measures with its tabs expanded.
        const int labelFlags = int(textAlignment) | Qt::TextExpandTabs | (wrap ? Qt::TextWordWrap : 0);
        const Qt::Alignment align = QStyle::visualAlignment(
            text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight, Qt::Alignment(QFlag(labelFlags)));
        const int flags = int(align & ~(Qt::AlignVCenter | Qt::AlignHCenter));
        const bool choose = width < 0 && wrap;
        if (choose)
            width = qMin(metrics.averageCharWidth() * 80, upper.width());
        else if (width < 0)
            width = 2000;
        QRect bounds = metrics.boundingRect(0, 0, width, 2000, flags, text);
        if (choose && bounds.height() < 4 * metrics.lineSpacing() && bounds.width() > width / 2)
            bounds = metrics.boundingRect(0, 0, width / 2, 2000, flags, text);
        if (choose && bounds.height() < 2 * metrics.lineSpacing() && bounds.width() > width / 4)
            bounds = metrics.boundingRect(0, 0, width / 4, 2000, flags, text);
        return bounds.size().expandedTo(lower);
    }

    QFontMetrics metrics;
    QString text;
    bool wrap;
    Qt::Alignment textAlignment;
    QSize hint;
    QSize smallest;
};

// A picture at its own size.
class PicturePart : public Part
{
public:
    explicit PicturePart(const QPixmap& picture)
        : size(picture.isNull() ? QSize(0, 0) : picture.size() / picture.devicePixelRatio())
    {
    }

protected:
    QSize preferred() const override { return size; }
    QSize least() const override { return size; }

private:
    QSize size;
};

// The load bar: as wide as the row leaves it, BarHeight high, and at least
// as wide as it asks to be.
class BarPart : public Part
{
public:
    explicit BarPart(int width)
        : width(width)
    {
        policy = QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        lower.setHeight(TruckTileLook::BarHeight);
        upper.setHeight(TruckTileLook::BarHeight);
        setAlignment(Qt::AlignVCenter);
    }

protected:
    QSize preferred() const override { return QSize(width, TruckTileLook::BarHeight); }
    QSize least() const override { return QSize(width, TruckTileLook::BarHeight); }

private:
    int width;
};

// The load row: the bar beside the load's text in a row of RowWidth pixels,
// centred in the column.
class RowPart : public Part
{
public:
    RowPart(bool shown, int barWidth, const QFont& font, const QString& load)
        : row(new QHBoxLayout)
        , bar(new BarPart(barWidth))
        , text(new TextPart(font, load, false, Qt::AlignLeft | Qt::AlignVCenter))
    {
        hidden = !shown;
        lower.setWidth(TruckTileLook::RowWidth);
        upper.setWidth(TruckTileLook::RowWidth);
        setAlignment(Qt::AlignHCenter);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(TruckTileLook::BarSpacing);
        row->addItem(bar);
        row->setStretch(0, 1);
        row->addItem(text);
    }

    QRect barPlace() const { return bar->geometry().translated(placed.topLeft()); }
    QRect textPlace() const { return text->geometry().translated(placed.topLeft()); }

protected:
    QSize preferred() const override { return row->totalSizeHint(); }
    QSize least() const override { return row->totalMinimumSize(); }
    Qt::Orientations innerExpanding() const override { return row->expandingDirections(); }
    void placeInside() override { row->setGeometry(QRect(QPoint(0, 0), placed.size())); }

private:
    std::unique_ptr<QHBoxLayout> row;
    // Owned by the row.
    BarPart* bar;
    TextPart* text;
};

// The column of one tile's parts, laid out as a vertical box layout of them.
class Column
{
public:
    Column(const TruckTileLook::Content& content, const QPixmap& shown, const QFont& numberFont, const QFont& smallFont,
        int spacing, int barWidth)
        : picture(new PicturePart(shown))
        , number(new TextPart(numberFont, content.number, true, Qt::AlignCenter))
        , row(new RowPart(content.loadShown, barWidth, smallFont, content.load))
        , goods(content.goodsStyled ? new TextPart(
                    smallFont, content.goods, true, Qt::AlignHCenter | Qt::AlignTop, TruckTileLook::RowWidth)
                                    : new TextPart(smallFont, content.goods, false, Qt::AlignLeft | Qt::AlignVCenter))
    {
        column.setContentsMargins(
            TruckTileLook::Margin, TruckTileLook::Margin, TruckTileLook::Margin, TruckTileLook::Margin);
        column.setSpacing(spacing);
        column.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        column.addItem(picture);
        column.addItem(number);
        column.addItem(row);
        column.addItem(goods);
    }

    QVBoxLayout column;
    // Owned by the column.
    PicturePart* picture;
    TextPart* number;
    RowPart* row;
    TextPart* goods;
};

// The outline of a box with rounded corners of `radius`, as a style sheet's
// border-radius draws it; none for a box too small for its corners.
QPainterPath roundedOutline(const QRect& box, int radius)
{
    if (2 * radius > box.width() || 2 * radius > box.height())
        return QPainterPath();
    const QRectF r(box);
    const qreal d = 2 * radius;
    QPainterPath path;
    path.moveTo(r.x() + radius, r.y());
    path.lineTo(r.right() - radius, r.y());
    path.arcTo(r.right() - d, r.y(), d, d, 90, -90);
    path.lineTo(r.right(), r.bottom() - radius);
    path.arcTo(r.right() - d, r.bottom() - d, d, d, 0, -90);
    path.lineTo(r.x() + radius, r.bottom());
    path.arcTo(r.x(), r.bottom() - d, d, d, 270, -90);
    path.lineTo(r.x(), r.y() + radius);
    path.arcTo(r.x(), r.y(), d, d, 180, -90);
    path.closeSubpath();
    return path;
}

void fillRounded(QPainter* painter, const QRect& box, const QColor& colour)
{
    const QPainterPath outline = roundedOutline(box, TruckTileLook::BarRadius);
    if (outline.isEmpty()) {
        painter->fillRect(box, colour);
        return;
    }
    const bool smooth = painter->renderHints() & QPainter::Antialiasing;
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillPath(outline, colour);
    painter->setRenderHint(QPainter::Antialiasing, smooth);
}

// Draws `text` at `place` as a label of `font` and `alignment` draws it.
void drawText(QPainter* painter, const QWidget* tile, const QRect& place, const QString& text, const QFont& font,
    Qt::Alignment alignment, bool wrap, const QPalette& palette)
{
    if (text.isEmpty() || place.isEmpty())
        return;
    const bool rightToLeft = text.isRightToLeft();
    int flags = int(QStyle::visualAlignment(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight, alignment));
    if (wrap)
        flags |= Qt::TextWordWrap;
    flags |= rightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight;
    painter->save();
    painter->setClipRect(place, Qt::IntersectClip);
    painter->setFont(font);
    tile->style()->drawItemText(painter, place, flags, palette, tile->isEnabled(), text, QPalette::WindowText);
    painter->restore();
}

} // namespace

TruckTileLook::TruckTileLook(const QWidget* tile)
    : tileFont(tile->font())
    , tileStyle(tile->style())
    , numberFont(tile->font())
    , smallFont(tile->font())
    , spacing(tile->style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing, nullptr, tile))
    , restingPicture(QStringLiteral(":/images/img_truck_sleeping.png"))
    , workingPicture(QStringLiteral(":/images/img_truck_working.png"))
{
    for (QFont* font : { &numberFont, &smallFont }) {
        font->setFamily(TextFamilies.first());
        font->setFamilies(TextFamilies);
        font->setWeight(QFont::Normal);
    }
    numberFont.setPixelSize(NumberPixels);
    smallFont.setPixelSize(SmallPixels);
    // A progress bar asks for seven chunks and four digits of its font.
    const int chunk = tile->style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, nullptr, tile);
    barWidth = 7 * qMax(9, chunk) + 4 * QFontMetrics(tile->font()).horizontalAdvance(QLatin1Char('0'));
}

TruckTileLook::Places TruckTileLook::place(const Content& content, const QSize& size) const
{
    Column parts(content, picture(content.working), numberFont, smallFont, spacing, barWidth);
    parts.column.setGeometry(QRect(QPoint(0, 0), size));
    Places places;
    places.picture = parts.picture->geometry();
    places.number = parts.number->geometry();
    if (content.loadShown) {
        places.bar = parts.row->barPlace();
        places.load = parts.row->textPlace();
    }
    places.goods = parts.goods->geometry();
    return places;
}

bool TruckTileLook::suits(const QWidget* tile) const
{
    return tile->style() == tileStyle && tile->font() == tileFont;
}

TruckTileLook::Hints TruckTileLook::hints(const Content& content) const
{
    Column parts(content, picture(content.working), numberFont, smallFont, spacing, barWidth);
    return { parts.column.totalSizeHint(), parts.column.totalMinimumSize() };
}

int TruckTileLook::heightForWidth(const Content& content, int width) const
{
    Column parts(content, picture(content.working), numberFont, smallFont, spacing, barWidth);
    return parts.column.totalHeightForWidth(width);
}

void TruckTileLook::paint(
    QPainter* painter, const QWidget* tile, const Content& content, const Places& places, const Bar& bar) const
{
    const bool enabled = tile->isEnabled();
    QPalette palette = tile->palette();
    palette.setCurrentColorGroup(enabled ? QPalette::Active : QPalette::Disabled);

    QPixmap shown = picture(content.working);
    if (!shown.isNull() && !places.picture.isEmpty()) {
        if (!enabled) {
            QStyleOption option;
            option.initFrom(tile);
            shown = tile->style()->generatedIconPixmap(QIcon::Disabled, shown, &option);
        }
        painter->save();
        painter->setClipRect(places.picture, Qt::IntersectClip);
        tile->style()->drawItemPixmap(
            painter, places.picture, QStyle::visualAlignment(tile->layoutDirection(), Qt::AlignCenter), shown);
        painter->restore();
    }
    drawText(painter, tile, places.number, content.number, numberFont, Qt::AlignCenter, true, palette);

    QPalette small = palette;
    small.setColor(QPalette::WindowText, smallText);
    if (content.loadShown) {
        // The groove, then the booked part over it from the left: half the
        // bar when the rated load rounds to nothing.
        const QRect groove(QPoint(0, 0), places.bar.size());
        const int fill = bar.maximum == 0
            ? groove.width() / 2
            : static_cast<int>(groove.width() * (double(bar.value) / double(bar.maximum)));
        painter->save();
        painter->setClipRect(places.bar, Qt::IntersectClip);
        painter->translate(places.bar.topLeft());
        fillRounded(painter, groove, barGroove);
        if (fill > 0) {
            painter->setClipRect(groove);
            fillRounded(painter, QRect(0, 0, fill, groove.height()), bar.over ? barOverFill : barFill);
        }
        painter->restore();
        drawText(painter, tile, places.load, content.load, smallFont, Qt::AlignLeft | Qt::AlignVCenter, false, small);
    }
    drawText(painter, tile, places.goods, content.goods, smallFont,
        content.goodsStyled ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter, content.goodsStyled,
        small);
}
