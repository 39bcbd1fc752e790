#include "widgets/richtextlabel.h"

#include "widgets/sharedlook.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyleOption>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextOption>

RichTextLabel::RichTextLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

RichTextLabel::RichTextLabel(const QString& markup, QWidget* parent)
    : RichTextLabel(parent)
{
    setText(markup);
}

RichTextLabel::~RichTextLabel() = default;

void RichTextLabel::setMarkup(const QString& markup)
{
    if (markup == text())
        return;
    document.reset();
    setText(markup);
}

namespace {

// Lays the document out as a rich-text label lays out its text: no frame
// margin, the label's alignment, wrapped only if it wraps, as wide as the
// label's contents.
void layOutAsLabel(QTextDocument* document, Qt::Alignment alignment, bool wordWrap, int width)
{
    QTextOption option = document->defaultTextOption();
    option.setAlignment(alignment);
    option.setWrapMode(wordWrap ? QTextOption::WordWrap : QTextOption::ManualWrap);
    document->setDefaultTextOption(option);
    QTextFrameFormat frame = document->rootFrame()->frameFormat();
    frame.setMargin(0);
    document->rootFrame()->setFrameFormat(frame);
    document->setTextWidth(width);
    // A block's layout drops its shaped glyphs after each layout and draw
    // unless told to keep them: kept, a repaint draws the glyphs it has
    // instead of shaping the text again.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        block.layout()->setCacheEnabled(true);
}

QTextDocument* newDocument(const QFont& font, const QString& markup)
{
    auto* document = new QTextDocument;
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(font);
    document->setHtml(markup);
    return document;
}

// Draws a laid-out document in `area` (the label's contents) as a rich-text
// label does, in `palette`'s colours for a label whose foreground is
// `foreground`.
void drawAsLabel(QPainter* painter, QTextDocument* document, const QRect& area, Qt::Alignment alignment,
    QPalette palette, QPalette::ColorRole foreground, bool enabled)
{
    // The document is placed vertically by hand, as its layout aligns it
    // horizontally only.
    const qreal height = document->documentLayout()->documentSize().height();
    qreal y = 0;
    if (alignment & Qt::AlignVCenter)
        y = qMax((area.height() - height) / 2, qreal(0));
    else if (alignment & Qt::AlignBottom)
        y = qMax(area.height() - height, qreal(0));
    const QRect placed = QRectF(area.x(), area.y() + y, area.width(), area.height()).toAlignedRect();

    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette;
    if (foreground != QPalette::Text && enabled)
        context.palette.setColor(QPalette::Text, palette.color(foreground));
    painter->save();
    painter->setClipRect(area.intersected(placed), Qt::IntersectClip);
    painter->translate(placed.topLeft());
    document->documentLayout()->draw(painter, context);
    painter->restore();
}

} // namespace

QTextDocument* RichTextLabel::layOut()
{
    if (!document) {
        document.reset(newDocument(font(), text()));
        dirty = true;
    }
    if (dirty) {
        const int m = margin();
        layOutAsLabel(document.data(), alignment(), wordWrap(), contentsRect().adjusted(m, m, -m, -m).width());
        dirty = false;
    }
    return document.data();
}

void RichTextLabel::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    drawFrame(&painter);
    if (text().isEmpty())
        return;

    QTextDocument* laidOut = layOut();
    const int m = margin();
    QStyleOption option;
    option.initFrom(this);
    drawAsLabel(&painter, laidOut, contentsRect().adjusted(m, m, -m, -m), alignment(), option.palette, foregroundRole(),
        isEnabled());
}

void RichTextLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange) {
        document.reset();
        dirty = true;
    }
    QLabel::changeEvent(event);
}

void RichTextLabel::resizeEvent(QResizeEvent* event)
{
    if (event->size().width() != event->oldSize().width())
        dirty = true;
    QLabel::resizeEvent(event);
}

struct RichTextLines::Line
{
    QString name;
    QRect geometry;
    QString markup;
    bool wordWrap;
    std::unique_ptr<QTextDocument> document;
};

RichTextLines::RichTextLines() = default;
RichTextLines::~RichTextLines() = default;

void RichTextLines::add(const QString& name, const QRect& geometry, const QString& markup, bool wordWrap)
{
    lines.push_back(std::unique_ptr<Line>(new Line { name, geometry, markup, wordWrap, nullptr }));
}

const RichTextLines::Line* RichTextLines::find(const QString& name) const
{
    for (const auto& line : lines) {
        if (line->name == name)
            return line.get();
    }
    return nullptr;
}

void RichTextLines::setMarkup(QWidget* owner, const QString& name, const QString& markup)
{
    auto* line = const_cast<Line*>(find(name));
    if (!line || line->markup == markup)
        return;
    line->markup = markup;
    line->document.reset();
    owner->update(line->geometry);
}

QString RichTextLines::markup(const QString& name) const
{
    const Line* line = find(name);
    return line ? line->markup : QString();
}

QRect RichTextLines::geometry(const QString& name) const
{
    const Line* line = find(name);
    return line ? line->geometry : QRect();
}

void RichTextLines::paint(QPainter* painter, QWidget* owner, const QRect& exposed)
{
    // The label whose font the lines take: one for all rows of a list.
    const auto* look = static_cast<const QLabel*>(sharedLook(owner, "lineLook", [](QWidget* home) {
        auto* label = new RichTextLabel(home);
        label->setObjectName(QStringLiteral("lineLook"));
        return label;
    }));
    const QFont font = look->font();
    const Qt::Alignment alignment = look->alignment();

    for (const auto& line : lines) {
        if (line->markup.isEmpty() || !line->geometry.intersects(exposed))
            continue;
        if (line->document && line->document->defaultFont() != font)
            line->document.reset();
        if (!line->document) {
            line->document.reset(newDocument(font, line->markup));
            layOutAsLabel(line->document.get(), alignment, line->wordWrap, line->geometry.width());
        }
        drawAsLabel(painter, line->document.get(), line->geometry, alignment, owner->palette(), look->foregroundRole(),
            owner->isEnabled());
    }
}
