#pragma once

#include <QLabel>

// One entry of a suggestion list: a name and the id of its record.
class SuggestionItem : public QLabel
{
    Q_OBJECT

public:
    SuggestionItem(const QString& text, int id, QWidget* parent);

    // Chooses the entry by key: exactly what a click does.
    void choose();
    // Marks the entry as the one the keys point at, as the pointer over it
    // would.
    void setHighlighted(bool on);
    bool isHighlighted() const { return highlighted; }

signals:
    void clicked(const QString& text, const int id);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QString itemText;
    const int id;
    bool highlighted = false;
};
