#include "documents/paperdocument.h"

#include <QFont>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QSaveFile>
#include <QTextOption>

#include <algorithm>

namespace {

QTextOption wrapping(Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

const QColor captionShade(0xF0, 0xF0, 0xF0);

} // namespace

PaperDocument::~PaperDocument() = default;

bool PaperDocument::render(QPagedPaintDevice& device) const
{
    device.setPageLayout(pageLayout());
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The layout has no margins: the painter's origin is the paper's corner.
    painter.scale(device.logicalDpiX() / 254.0, device.logicalDpiY() / 254.0);
    paint(painter, device);
    return painter.end();
}

bool PaperDocument::writePdf(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(title());
        writer.setCreator(QStringLiteral("Freymo"));
        if (!render(writer)) {
            file.cancelWriting();
            if (error)
                *error = QStringLiteral("PDF could not be written");
            return false;
        }
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QFont PaperDocument::paperFont(int size, bool bold)
{
    // The application's font is the program's CJK font; a PDF embeds the
    // glyphs it uses.
    QFont font = QGuiApplication::font();
    font.setPixelSize(size);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

qreal PaperDocument::textHeight(QPainter& painter, const QString& text, qreal width)
{
    const QString measured = text.isEmpty() ? QStringLiteral(" ") : text;
    return painter.boundingRect(QRectF(0, 0, width, 1e6), measured, wrapping(Qt::AlignLeft | Qt::AlignTop)).height();
}

void PaperDocument::drawText(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment alignment)
{
    painter.drawText(box, text, wrapping(alignment));
}

qreal PaperDocument::rowHeight(QPainter& painter, const QVector<Cell>& cells)
{
    qreal height = MinimumRowHeight;
    for (const Cell& cell : cells) {
        painter.setFont(paperFont(BodyTextSize, cell.caption));
        height = std::max(height, textHeight(painter, cell.text, cell.width - 2 * CellPadding) + 2 * CellPadding);
    }
    return height;
}

void PaperDocument::drawRow(QPainter& painter, qreal x, qreal y, qreal height, const QVector<Cell>& cells)
{
    painter.save();
    for (const Cell& cell : cells) {
        const QRectF box(x, y, cell.width, height);
        painter.setPen(QPen(Qt::black, 2.5));
        painter.setBrush(cell.caption ? QBrush(captionShade) : QBrush(Qt::NoBrush));
        painter.drawRect(box);
        painter.setFont(paperFont(BodyTextSize, cell.caption));
        const Qt::Alignment horizontal = cell.caption ? Qt::AlignHCenter : cell.alignment;
        drawText(painter, box.adjusted(CellPadding, CellPadding, -CellPadding, -CellPadding), cell.text,
            horizontal | Qt::AlignVCenter);
        x += cell.width;
    }
    painter.restore();
}
