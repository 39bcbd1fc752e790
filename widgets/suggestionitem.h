#pragma once

#include <QLabel>

// One entry of a suggestion list: a name and the id of its record.
class SuggestionItem : public QLabel
{
    Q_OBJECT

public:
    SuggestionItem(const QString& text, int id, QWidget* parent);

signals:
    void clicked(const QString& text, const int id);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QString itemText;
    const int id;
};
