#include "documents/waybilldocument.h"

#include "documents/code128.h"
#include "documents/paperformat.h"

#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPicture>

namespace {

// Tenths of a millimetre on an A5 sheet lying on its side.
constexpr qreal PageWidth = 2100;
constexpr qreal PageHeight = 1480;
constexpr qreal Margin = 80;
constexpr qreal ContentWidth = PageWidth - 2 * Margin;

// The barcode: ten modules of white either side of the bars.
constexpr qreal BarcodeLeft = 1460;
constexpr qreal BarcodeTop = 140;
constexpr qreal BarcodeWidth = 560;
constexpr qreal BarcodeHeight = 110;
constexpr qreal QuietZone = 60;

// A ruled row: caption and value pairs. Widths of a row add up to the
// content width.
constexpr qreal Caption = 220;
constexpr qreal Wide = ContentWidth - Caption;
constexpr qreal Half = (ContentWidth - 2 * Caption) / 2;
constexpr qreal Third1 = 750;
constexpr qreal Third2 = 260;
constexpr qreal Third3 = ContentWidth - 3 * Caption - Third1 - Third2;

constexpr qreal SignatureHeight = 220;

using Cell = PaperDocument::Cell;

Cell caption(const QString& text, qreal width = Caption)
{
    return Cell { text, width, true, Qt::AlignHCenter };
}

Cell value(const QString& text, qreal width)
{
    return Cell { text, width, false, Qt::AlignLeft };
}

} // namespace

WaybillDocument::WaybillDocument(const QJsonObject& trade, const QJsonObject& profile)
    : trade(trade)
    , profile(profile)
{
}

QPageLayout WaybillDocument::pageLayout() const
{
    return QPageLayout(QPageSize(QPageSize::A5), QPageLayout::Landscape, QMarginsF(0, 0, 0, 0));
}

QString WaybillDocument::title() const
{
    return QStringLiteral("托运单") + number();
}

QString WaybillDocument::number() const
{
    return PaperFormat::scalar(trade, "id");
}

QRectF WaybillDocument::barcodeArea()
{
    return QRectF(
        (BarcodeLeft + QuietZone) / 10, BarcodeTop / 10, (BarcodeWidth - 2 * QuietZone) / 10, BarcodeHeight / 10);
}

void WaybillDocument::paint(QPainter& painter, QPagedPaintDevice&) const
{
    // Long names make the rows taller. A waybill stays on its one sheet:
    // when its boxes would run off the paper, the whole page is drawn
    // smaller, never cut.
    QPicture picture;
    QPainter measure(&picture);
    const qreal height = paintContent(measure);
    measure.end();
    const qreal room = PageHeight - 2 * Margin;
    if (height > room) {
        const qreal factor = room / height;
        painter.translate((PageWidth - PageWidth * factor) / 2, Margin * (1 - factor));
        painter.scale(factor, factor);
    }
    paintContent(painter);
}

// Paints the waybill from the top margin down; returns the height it took.
qreal WaybillDocument::paintContent(QPainter& painter) const
{
    painter.save();
    painter.setPen(Qt::black);

    painter.setFont(paperFont(62, true));
    drawText(painter, QRectF(Margin, Margin - 20, ContentWidth, 80), QStringLiteral("货物托运单"), Qt::AlignHCenter);

    // The station on the left, the waybill number on the right.
    const qreal stationWidth = BarcodeLeft - Margin - 40;
    const QString station = PaperFormat::text(profile, "organ");
    painter.setFont(paperFont(42, true));
    const qreal stationHeight = textHeight(painter, station, stationWidth);
    drawText(painter, QRectF(Margin, 150, stationWidth, stationHeight), station, Qt::AlignLeft | Qt::AlignTop);
    painter.setFont(paperFont(BodyTextSize));
    const QString phone = QStringLiteral("电话：") + PaperFormat::text(profile, "mobile_number");
    drawText(painter, QRectF(Margin, 160 + stationHeight, stationWidth, 50), phone, Qt::AlignLeft | Qt::AlignTop);

    const Code128 barcode(number().toLatin1());
    barcode.paint(painter, QRectF(BarcodeLeft + QuietZone, BarcodeTop, BarcodeWidth - 2 * QuietZone, BarcodeHeight));
    drawText(painter, QRectF(BarcodeLeft, BarcodeTop + BarcodeHeight + 10, BarcodeWidth, 50),
        QStringLiteral("单号：") + number(), Qt::AlignHCenter | Qt::AlignTop);

    qreal y = std::max<qreal>(160 + stationHeight + 50, BarcodeTop + BarcodeHeight + 60) + 20;

    const bool agency = trade.value(QLatin1String("is_agency")).toBool();
    const QVector<QVector<Cell>> rows = {
        { caption(QStringLiteral("托运时间")), value(PaperFormat::text(trade, "create_time"), Half),
            caption(QStringLiteral("线路")), value(PaperFormat::text(trade, "line"), Half) },
        { caption(QStringLiteral("托运人")), value(PaperFormat::text(trade, "shipper_name"), Wide) },
        { caption(QStringLiteral("联系人")), value(PaperFormat::text(trade, "shipper_linkman"), Half),
            caption(QStringLiteral("电话")), value(PaperFormat::phones(trade, "shipper_tel1", "shipper_tel2"), Half) },
        { caption(QStringLiteral("收货人")), value(PaperFormat::text(trade, "consignee_name"), Wide) },
        { caption(QStringLiteral("联系人")), value(PaperFormat::text(trade, "consignee_linkman"), Half),
            caption(QStringLiteral("电话")),
            value(PaperFormat::phones(trade, "consignee_tel1", "consignee_tel2"), Half) },
        { caption(QStringLiteral("车牌号码")), value(PaperFormat::text(trade, "truck_number"), Half),
            caption(QStringLiteral("司机")),
            value(PaperFormat::joined(
                      { PaperFormat::text(trade, "driver_name"), PaperFormat::text(trade, "driver_mobile") }),
                Half) },
        { caption(QStringLiteral("货物")), value(PaperFormat::text(trade, "goods"), Third1),
            caption(QStringLiteral("重量")), value(PaperFormat::weight(trade.value(QLatin1String("weight"))), Third2),
            caption(QStringLiteral("价值")), value(PaperFormat::money(trade.value(QLatin1String("value"))), Third3) },
        { caption(QStringLiteral("代收款")), value(agency ? QStringLiteral("是") : QStringLiteral("否"), Third1),
            caption(QStringLiteral("代收金额")),
            value(agency ? PaperFormat::money(trade.value(QLatin1String("value"))) : QStringLiteral("无"), Third2),
            caption(QStringLiteral("运费")), value(PaperFormat::money(trade.value(QLatin1String("revenue"))), Third3) },
        { caption(QStringLiteral("备注")), value(PaperFormat::text(trade, "notes"), Wide) },
    };
    for (const QVector<Cell>& row : rows) {
        const qreal height = rowHeight(painter, row);
        drawRow(painter, Margin, y, height, row);
        y += height;
    }

    // The signatures: three boxes side by side under the table.
    const QStringList signers
        = { QStringLiteral("托运人签字："), QStringLiteral("承运司机签字："), QStringLiteral("收货人签字：") };
    const qreal boxWidth = ContentWidth / signers.size();
    painter.setPen(QPen(Qt::black, 2.5));
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < signers.size(); ++i) {
        const QRectF box(Margin + i * boxWidth, y, boxWidth, SignatureHeight);
        painter.drawRect(box);
        painter.setFont(paperFont(BodyTextSize, true));
        drawText(painter, box.adjusted(CellPadding, CellPadding, -CellPadding, -CellPadding), signers.at(i),
            Qt::AlignLeft | Qt::AlignTop);
        painter.setFont(paperFont(BodyTextSize));
        drawText(painter, box.adjusted(CellPadding, CellPadding, -CellPadding, -CellPadding),
            QStringLiteral("日期：　　年　　月　　日"), Qt::AlignRight | Qt::AlignBottom);
    }
    y += SignatureHeight;

    painter.restore();
    return y - Margin;
}
