#pragma once

#include <QLabel>
#include <QScopedPointer>

#include <memory>
#include <vector>

class QPainter;
class QTextDocument;

// A label for a short line of markup that is only ever shown: bold captions,
// coloured spans. It is a QLabel to the style sheets (the label rules give it
// its font) and to its readers (text() is the markup), and paints exactly as
// a rich-text QLabel does, but it keeps no text control: QLabel holds the
// markup as plain text, and the document that draws it is made and laid out
// on the first paint, and again only when the markup, the font or the width
// changes. A label that is never painted (a list row scrolled past) costs
// its markup alone.
//
// Offers no text interaction: presses and the context menu go to the parent.
class RichTextLabel : public QLabel
{
    Q_OBJECT

public:
    explicit RichTextLabel(QWidget* parent = nullptr);
    RichTextLabel(const QString& markup, QWidget* parent);
    ~RichTextLabel() override;

    void setMarkup(const QString& markup);
    QString markup() const { return text(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The document laid out for the label's present width.
    QTextDocument* layOut();

    QScopedPointer<QTextDocument> document;
    bool dirty = true;
};

// Lines of markup a widget draws itself, each exactly as a RichTextLabel of
// the same object name and geometry would draw it there, without a widget
// per line: a list row keeps one widget for its text instead of four. The
// lines take the font a label would get from the style sheets, read from
// one hidden label kept on the owner's parent for all its rows (named
// "lineLook"), and the colours of the owner, as a child label inherits them.
// Each line's document is laid out on its first paint and again only when
// its markup or the font changes.
class RichTextLines
{
public:
    RichTextLines();
    ~RichTextLines();
    RichTextLines(const RichTextLines&) = delete;
    RichTextLines& operator=(const RichTextLines&) = delete;

    void add(const QString& name, const QRect& geometry, const QString& markup, bool wordWrap = false);
    // Gives a line new markup; the owner is repainted where the line lies.
    void setMarkup(QWidget* owner, const QString& name, const QString& markup);

    // The markup and the place of a line; empty for a name never added.
    QString markup(const QString& name) const;
    QRect geometry(const QString& name) const;

    // Draws the lines that cross `exposed` on the owner's painter.
    void paint(QPainter* painter, QWidget* owner, const QRect& exposed);

private:
    struct Line;
    const Line* find(const QString& name) const;

    std::vector<std::unique_ptr<Line>> lines;
};
