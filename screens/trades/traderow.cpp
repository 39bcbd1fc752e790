#include "screens/trades/traderow.h"

#include "screens/lists/pagedlistactivity.h"
#include "screens/lists/paperjob.h"
#include "widgets/dialogwidget.h"

#include <QContextMenuEvent>
#include <QJsonValue>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QStyle>

namespace {

// The record's values go into rich text: escaped, so that a name holding "<"
// or "&" shows as typed instead of being taken for markup.

// A value that may be a number or a string.
QString scalar(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toVariant().toString().toHtmlEscaped();
}

// A pure text; a value of another type shows as empty.
QString text(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString().toHtmlEscaped();
}

} // namespace

TradeItem::TradeItem(const QJsonObject& trade, int rowNumber, DialogWidget* dashboard, QWidget* parent)
    : QFrame(parent)
    , trade(trade)
    , id(trade.value(QLatin1String("id")).toVariant().toInt())
    , rowNumber(rowNumber)
    , dashboard(dashboard)
{
    setFixedHeight(RowHeight);
    setAutoFillBackground(true);
    setObjectName(QStringLiteral("TradeItem"));
    PagedListActivity::stripeRow(this, rowNumber);

    // Only statuses 0 to 2 have a picture; any other shows an empty area.
    statusPixmap = QPixmap(QStringLiteral(":/images/trade_status_") + scalar(trade, "status") + QStringLiteral(".png"));

    lines.add(QStringLiteral("partiesLine"), QRect(100, 10, 600, 20),
        QStringLiteral("<b>承运车辆：</b>") + text(trade, "truck_number")
            + QStringLiteral("&nbsp;&nbsp;<b>托运人：</b>") + text(trade, "shipper_name")
            + QStringLiteral("&nbsp;&nbsp;<b>收货人：</b>") + text(trade, "consignee_name"),
        true);

    const bool agency = trade.value(QLatin1String("is_agency")).toBool();
    lines.add(QStringLiteral("goodsLine"), QRect(100, 30, 600, 20),
        QStringLiteral("<b>货物:</b>") + text(trade, "goods") + QStringLiteral("&nbsp;") + scalar(trade, "weight")
            + QStringLiteral("吨&nbsp;&nbsp;<b>价值：</b>") + scalar(trade, "value")
            + QStringLiteral("元&nbsp;&nbsp;<b>代收款：</b>") + (agency ? QStringLiteral("是") : QStringLiteral("否")));

    lines.add(QStringLiteral("paymentLine"), QRect(100, 50, 600, 20), paymentText());

    QString times = QStringLiteral("<b>托运时间:</b>") + text(trade, "create_time");
    const QString started = text(trade, "start_time");
    if (!started.isEmpty())
        times += QStringLiteral("&nbsp;<b>发车时间:</b>") + started;
    const QString completed = text(trade, "complete_time");
    if (!completed.isEmpty())
        times += QStringLiteral("&nbsp;<b>完成时间:</b>") + completed;
    lines.add(QStringLiteral("timesLine"), QRect(100, 70, 600, 20), times);
}

QString TradeItem::paymentText() const
{
    QString payment = QStringLiteral("<b>应支付司机:</b>") + scalar(trade, "payout") + QStringLiteral("元&nbsp;")
        + scalar(trade, "payout_status_text");
    if (trade.value(QLatin1String("is_agency")).toBool()) {
        payment += QStringLiteral("&nbsp;&nbsp;<b>代收款</b>") + text(trade, "agency_status_text")
            + QStringLiteral("&nbsp;&nbsp;时间：") + text(trade, "pay_agency_time");
    }
    return payment;
}

void TradeItem::takeSettlement(int payoutStatus, const QString& payoutText, int agencyStatus, const QString& agencyText)
{
    if (payoutStatus >= 0) {
        trade.insert(QStringLiteral("payout_status"), payoutStatus);
        trade.insert(QStringLiteral("payout_status_text"), payoutText);
    }
    if (agencyStatus >= 0 && trade.value(QLatin1String("is_agency")).toBool()) {
        trade.insert(QStringLiteral("agency_status"), agencyStatus);
        trade.insert(QStringLiteral("agency_status_text"), agencyText);
    }
    lines.setMarkup(this, QStringLiteral("paymentLine"), paymentText());
}

void TradeItem::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    if (!statusPixmap.isNull() && statusGeometry().intersects(event->rect()))
        style()->drawItemPixmap(&painter, statusGeometry(), Qt::AlignLeft | Qt::AlignVCenter, statusPixmap);
    style()->drawItemPixmap(&painter, arrowGeometry(), Qt::AlignLeft | Qt::AlignVCenter, PagedListActivity::rowArrow());
    lines.paint(&painter, this, event->rect());
}

void TradeItem::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    // The right button opens the row's menu instead.
    if (event->button() == Qt::RightButton)
        return;
    // The receiver learns the trade before the dialog appears, so that the
    // dialog's OK always settles the trade shown last.
    emit signal_item_clicked(rowNumber, id);
    if (dashboard) {
        dashboard->show();
        dashboard->raise();
    }
}

void TradeItem::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    // The menu's event loop may take the row with it (a list reload).
    const QPointer<TradeItem> alive(this);
    QMenu menu;
    QAction* print = menu.addAction(QStringLiteral("打印托运单"));
    menu.addAction(QStringLiteral("导出PDF"));
    const QAction* chosen = menu.exec(event->globalPos());
    if (!alive || !chosen)
        return;
    PaperJob::waybill(trade, chosen == print ? PaperJob::Output::Preview : PaperJob::Output::Pdf, this);
}
