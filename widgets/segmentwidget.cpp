#include "widgets/segmentwidget.h"

#include "widgets/segmentitembutton.h"

#include <QHBoxLayout>

namespace {
const char* const firstStyle
    = "QPushButton{height:25px;color:white;background:gray; font-size:12px; border-top-left-radius:4px; "
      "border-bottom-left-radius:4px;} QPushButton:hover{background:brown;} QPushButton:checked{background:green;}";
const char* const lastStyle
    = "QPushButton{height:25px;color:white;background:gray; font-size:12px; border-top-right-radius:4px; "
      "border-bottom-right-radius:4px;} QPushButton:hover{background:brown;} QPushButton:checked{background:green;}";
const char* const middleStyle = "QPushButton{height:25px;color:white;background:gray; font-size:12px; } "
                                "QPushButton:hover{background:brown;} QPushButton:checked{background:green;}";
} // namespace

SegmentWidget::SegmentWidget(QWidget* parent)
    : QWidget(parent)
    , layout(new QHBoxLayout(this))
{
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void SegmentWidget::setItems(const QStringList& items)
{
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new SegmentItemButton(items.at(i), this);
        const char* style = middleStyle;
        if (i == 0)
            style = firstStyle;
        else if (i == items.size() - 1)
            style = lastStyle;
        button->setStyleSheet(QString::fromLatin1(style));
        button->setCheckable(true);
        layout->addWidget(button);
        buttons.append(button);
        connect(button, &QAbstractButton::released, button, &SegmentItemButton::slot_pressed);
        connect(button, &SegmentItemButton::signal_clicked, this, &SegmentWidget::slot_item_clicked);
    }
}

void SegmentWidget::setCurrentIndex(uint index)
{
    if (index >= uint(buttons.size()))
        return;
    for (int i = 0; i < buttons.size(); ++i)
        buttons.at(i)->setChecked(uint(i) == index);
}

void SegmentWidget::slot_item_clicked(SegmentItemButton* pButton)
{
    const int position = buttons.indexOf(pButton);
    if (position < 0)
        return;
    for (SegmentItemButton* button : qAsConst(buttons)) {
        if (button != pButton)
            button->setChecked(false);
    }
    pButton->setChecked(true);
    emit signal_item_clicked(uint(position), pButton);
}
