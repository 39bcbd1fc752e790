#pragma once

#include <QPageLayout>
#include <QString>
#include <QVector>

class QFont;
class QPagedPaintDevice;
class QPainter;
class QRectF;

// A document the station prints on paper: pages of a fixed size, painted as
// vector graphics and real text, so that the same painting goes to a printer,
// to the print preview and into a PDF whose text can be searched and copied.
//
// Documents measure in tenths of a millimetre from the top left corner of the
// paper. Text wraps inside its box and is never cut: a box grows to hold it.
class PaperDocument
{
public:
    // One box of a ruled row: a caption (shaded, centred) or a value.
    struct Cell
    {
        QString text;
        qreal width = 0;
        bool caption = false;
        Qt::Alignment alignment = Qt::AlignLeft;
    };

    virtual ~PaperDocument();

    virtual QPageLayout pageLayout() const = 0;
    // The document's name: the PDF's title and the start of its file name.
    virtual QString title() const = 0;

    // Sets `device` to the document's page layout and paints every page on
    // it. False when painting could not start (a printer or file refused).
    bool render(QPagedPaintDevice& device) const;
    // Writes the document as a PDF at `path`. The file is replaced only when
    // the whole document was written; on failure `error` says why.
    bool writePdf(const QString& path, QString* error = nullptr) const;

protected:
    // Paints the pages on `painter`, already scaled to tenths of a
    // millimetre; `device.newPage()` begins the next page.
    virtual void paint(QPainter& painter, QPagedPaintDevice& device) const = 0;

    // The program's font at `size` tenths of a millimetre.
    static QFont paperFont(int size, bool bold = false);
    // Height of `text` wrapped to `width` in the painter's font.
    static qreal textHeight(QPainter& painter, const QString& text, qreal width);
    // Draws `text` wrapped into `box`: at word boundaries where it can, and
    // inside a word that is longer than the box is wide.
    static void drawText(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment alignment);
    // The height a ruled row needs to hold every cell's text.
    static qreal rowHeight(QPainter& painter, const QVector<Cell>& cells);
    // Draws a ruled row of `cells` from (`x`, `y`), `height` high.
    static void drawRow(QPainter& painter, qreal x, qreal y, qreal height, const QVector<Cell>& cells);

    // Spacing inside the boxes and the least height of a row.
    static constexpr qreal CellPadding = 12;
    static constexpr qreal MinimumRowHeight = 70;
    static constexpr int BodyTextSize = 32;
};
