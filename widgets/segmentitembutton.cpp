#include "widgets/segmentitembutton.h"

SegmentItemButton::SegmentItemButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
}

void SegmentItemButton::slot_pressed()
{
    emit signal_clicked(this);
}
