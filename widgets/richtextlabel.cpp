#include "widgets/richtextlabel.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyleOption>
#include <QTextDocument>
#include <QTextFrame>
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

QTextDocument* RichTextLabel::layOut()
{
    if (!document) {
        document.reset(new QTextDocument);
        document->setUndoRedoEnabled(false);
        document->setDefaultFont(font());
        document->setHtml(text());
        dirty = true;
    }
    if (dirty) {
        // As a rich-text label lays out its text: no frame margin, its
        // alignment, wrapped only if it wraps, as wide as its contents.
        QTextOption option = document->defaultTextOption();
        option.setAlignment(alignment());
        option.setWrapMode(wordWrap() ? QTextOption::WordWrap : QTextOption::ManualWrap);
        document->setDefaultTextOption(option);
        QTextFrameFormat frame = document->rootFrame()->frameFormat();
        frame.setMargin(0);
        document->rootFrame()->setFrameFormat(frame);
        const int m = margin();
        document->setTextWidth(contentsRect().adjusted(m, m, -m, -m).width());
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
    const QRect area = contentsRect().adjusted(m, m, -m, -m);
    // The document is placed vertically by hand, as its layout aligns it
    // horizontally only.
    const qreal height = laidOut->documentLayout()->documentSize().height();
    qreal y = 0;
    if (alignment() & Qt::AlignVCenter)
        y = qMax((area.height() - height) / 2, qreal(0));
    else if (alignment() & Qt::AlignBottom)
        y = qMax(area.height() - height, qreal(0));
    const QRectF placed = QRectF(area.x(), area.y() + y, area.width(), area.height()).toAlignedRect();

    QStyleOption option;
    option.initFrom(this);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = option.palette;
    if (foregroundRole() != QPalette::Text && isEnabled())
        context.palette.setColor(QPalette::Text, context.palette.color(foregroundRole()));
    painter.translate(placed.topLeft());
    painter.setClipRect(placed.translated(-placed.x(), -placed.y()));
    laidOut->documentLayout()->draw(&painter, context);
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
