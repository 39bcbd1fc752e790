#pragma once

#include <QPushButton>

// One segment of a SegmentWidget. It has no data of its own: its position is
// its place in the owner's list. It reports its release, which Qt sends after
// the button has toggled its own check state (and also when the press ends
// outside the button).
class SegmentItemButton : public QPushButton
{
    Q_OBJECT

public:
    explicit SegmentItemButton(const QString& text, QWidget* parent = nullptr);

signals:
    void signal_clicked(SegmentItemButton* p);

public slots:
    void slot_pressed();
};
