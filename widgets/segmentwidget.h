#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class SegmentItemButton;

// A row of joined, checkable buttons of which exactly one is checked once the
// owner or the user has picked one: a segmented filter.
class SegmentWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SegmentWidget(QWidget* parent = nullptr);

    // Appends one segment per string; the first is rounded on the left, the
    // last on the right, the ones between are square.
    void setItems(const QStringList& items);
    // Checks the segment at `index` and unchecks the others, without emitting
    // anything. An index past the last segment changes nothing.
    void setCurrentIndex(uint index);

    const QList<SegmentItemButton*>& items() const { return buttons; }

signals:
    void signal_item_clicked(uint buttonIdex, SegmentItemButton* sender);

public slots:
    void slot_item_clicked(SegmentItemButton* pButton);

private:
    QHBoxLayout* layout;
    QList<SegmentItemButton*> buttons;
};
