#include "screens/reports/ledgerrow.h"

#include "screens/lists/pagedlistactivity.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

LedgerItem::LedgerItem(int id, const QStringList& cells, const QVector<int>& stretches, int ageCell, const QString& age,
    int rowNumber, QWidget* parent)
    : QFrame(parent)
    , id(id)
{
    setObjectName(QStringLiteral("LedgerItem"));
    setFixedHeight(RowHeight);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    PagedListActivity::stripeRow(this, rowNumber);
    setProperty("age", age);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 0, 20, 0);
    for (int i = 0; i < cells.size(); ++i) {
        auto* label = new QLabel(cells.at(i), this);
        label->setObjectName(QStringLiteral("cell%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setStyleSheet(QStringLiteral("background:transparent;border:none;"));
        if (i == ageCell)
            label->setProperty("age", age);
        layout->addWidget(label, stretches.value(i, 1));
        labels << label;
    }
}

QString LedgerItem::cellText(int index) const
{
    return index >= 0 && index < labels.size() ? labels.at(index)->text() : QString();
}

void LedgerItem::mousePressEvent(QMouseEvent* event)
{
    QFrame::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit signal_item_clicked(id);
}
