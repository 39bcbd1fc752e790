#pragma once

#include <QFrame>
#include <QJsonObject>
#include <QPixmap>
#include <QPointer>

#include "widgets/richtextlabel.h"

class DialogWidget;
class QLabel;

// One trade in the trade list: the status picture, four lines about the truck
// and parties, the goods, the money owed and the times, and an arrow. A press
// on the row reports it and opens the list's settlement dialog; its context
// menu prints the trade's waybill.
class TradeItem : public QFrame
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 100;

    // `rowNumber` is the list's running count at creation and picks the
    // striping; `dashboard` is the list's settlement dialog, owned by the list.
    TradeItem(const QJsonObject& trade, int rowNumber, DialogWidget* dashboard, QWidget* parent);

    int tradeId() const { return id; }
    // The trade as this row shows it.
    const QJsonObject& record() const { return trade; }
    // Shows a settlement the server accepted: the payout state and, for a
    // trade with cash on delivery, the collection state, each with its text.
    // A state of -1 was left as it was.
    void takeSettlement(int payoutStatus, const QString& payoutText, int agencyStatus, const QString& agencyText);
    // The markup of one of the row's lines ("partiesLine", "goodsLine",
    // "paymentLine", "timesLine"), which the row draws itself.
    QString lineMarkup(const QString& name) const { return lines.markup(name); }
    // Where the row draws its arrow.
    QRect arrowGeometry() const { return QRect(width() - 50, 40, 25, 25); }
    // The picture of the trade's status the row draws at its left end; null
    // for a status without one.
    QPixmap statusPicture() const { return statusPixmap; }
    static QRect statusGeometry() { return QRect(5, 10, 80, 80); }

signals:
    void signal_item_clicked(int index, int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString paymentText() const;

    QJsonObject trade;
    int id;
    int rowNumber;
    QPixmap statusPixmap;
    QPointer<DialogWidget> dashboard;
    RichTextLines lines;
};
