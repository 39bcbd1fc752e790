#include "widgets/suggestionitem.h"

SuggestionItem::SuggestionItem(const QString& text, int id, QWidget* parent)
    : QLabel(text, parent)
    , itemText(text)
    , id(id)
{
    setContentsMargins(5, 3, 5, 3);
    // A name from the platform shows as typed, never as markup.
    setTextFormat(Qt::PlainText);
}

void SuggestionItem::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    choose();
}

void SuggestionItem::choose()
{
    emit clicked(itemText, id);
}

void SuggestionItem::setHighlighted(bool on)
{
    highlighted = on;
    setStyleSheet(on ? QStringLiteral("background:#eeeeee;") : QString());
}
