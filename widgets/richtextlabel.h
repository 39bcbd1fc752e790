#pragma once

#include <QLabel>
#include <QScopedPointer>

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
