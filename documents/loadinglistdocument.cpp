#include "documents/loadinglistdocument.h"

#include "documents/paperformat.h"

#include <QJsonArray>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPicture>

namespace {

// Tenths of a millimetre on an upright A4 sheet.
constexpr qreal PageWidth = 2100;
constexpr qreal PageHeight = 2970;
constexpr qreal Margin = 120;
constexpr qreal ContentWidth = PageWidth - 2 * Margin;
constexpr qreal FooterHeight = 60;
constexpr qreal SignatureHeight = 160;

constexpr qreal Caption = 240;
constexpr qreal Half = (ContentWidth - 2 * Caption) / 2;

// The columns of the loads; they add up to the content width.
constexpr qreal Columns[] = { 90, 130, 340, 340, 290, 190, 240, 240 };

using Cell = PaperDocument::Cell;

Cell caption(const QString& text, qreal width = Caption)
{
    return Cell { text, width, true, Qt::AlignHCenter };
}

Cell value(const QString& text, qreal width, Qt::Alignment alignment = Qt::AlignLeft)
{
    return Cell { text, width, false, alignment };
}

QVector<Cell> tableHead()
{
    const QStringList titles
        = { QStringLiteral("序号"), QStringLiteral("单号"), QStringLiteral("托运人"), QStringLiteral("收货人"),
              QStringLiteral("货物"), QStringLiteral("重量"), QStringLiteral("价值"), QStringLiteral("代收款") };
    QVector<Cell> cells;
    for (int i = 0; i < titles.size(); ++i)
        cells << caption(titles.at(i), Columns[i]);
    return cells;
}

} // namespace

LoadingListDocument::LoadingListDocument(const QJsonObject& truck, const QJsonObject& profile, const QDateTime& printed)
    : truck(truck)
    , profile(profile)
    , printed(printed)
{
}

QPageLayout LoadingListDocument::pageLayout() const
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

QString LoadingListDocument::title() const
{
    return QStringLiteral("装车清单") + PaperFormat::text(truck, "number");
}

void LoadingListDocument::paint(QPainter& painter, QPagedPaintDevice& device) const
{
    // A first pass on a picture counts the pages for the footers.
    QPicture picture;
    QPainter counter(&picture);
    const int pages = paintPages(counter, nullptr, 0);
    counter.end();
    paintPages(painter, &device, pages);
}

int LoadingListDocument::paintPages(QPainter& painter, QPagedPaintDevice* device, int pageCount) const
{
    painter.save();
    painter.setPen(Qt::black);
    int page = 1;
    const qreal bottom = PageHeight - Margin - FooterHeight;
    auto footer = [&] {
        painter.setFont(paperFont(28));
        drawText(painter, QRectF(Margin, PageHeight - Margin - 40, ContentWidth, 40),
            QStringLiteral("第 %1 页，共 %2 页").arg(page).arg(pageCount), Qt::AlignHCenter | Qt::AlignBottom);
    };
    auto nextPage = [&] {
        footer();
        if (device)
            device->newPage();
        ++page;
    };

    painter.setFont(paperFont(62, true));
    drawText(painter, QRectF(Margin, Margin, ContentWidth, 90), QStringLiteral("装车清单"), Qt::AlignHCenter);
    qreal y = Margin + 110;

    const QString station = PaperFormat::joined({ PaperFormat::text(profile, "organ"),
        QStringLiteral("电话：") + PaperFormat::text(profile, "mobile_number") });
    painter.setFont(paperFont(36, true));
    const qreal stationHeight = textHeight(painter, station, ContentWidth);
    drawText(painter, QRectF(Margin, y, ContentWidth, stationHeight), station, Qt::AlignLeft | Qt::AlignTop);
    y += stationHeight + 30;

    const QString drivers
        = PaperFormat::joined({ PaperFormat::text(truck, "driver1_name"), PaperFormat::text(truck, "driver1_mobile"),
            PaperFormat::text(truck, "driver2_name"), PaperFormat::text(truck, "driver2_mobile") });
    const QVector<QVector<Cell>> header = {
        { caption(QStringLiteral("车牌号码")), value(PaperFormat::text(truck, "number"), Half),
            caption(QStringLiteral("额定载重")),
            value(PaperFormat::weight(truck.value(QLatin1String("tonnage"))), Half) },
        { caption(QStringLiteral("司机")), value(drivers, Half), caption(QStringLiteral("时间")),
            value(printed.toString(QStringLiteral("yyyy-MM-dd HH:mm")), Half) },
    };
    for (const QVector<Cell>& row : header) {
        const qreal height = rowHeight(painter, row);
        drawRow(painter, Margin, y, height, row);
        y += height;
    }
    y += 40;

    const QVector<Cell> head = tableHead();
    const qreal headHeight = rowHeight(painter, head);
    drawRow(painter, Margin, y, headHeight, head);
    y += headHeight;

    double totalWeight = 0;
    double totalValue = 0;
    double totalCollected = 0;
    const QJsonArray loads = truck.value(QLatin1String("loads")).toArray();
    int count = 0;
    for (const QJsonValue& element : loads) {
        const QJsonObject load = element.toObject();
        const bool agency = load.value(QLatin1String("is_agency")).toBool();
        const QJsonValue weight = load.value(QLatin1String("weight"));
        const QJsonValue goodsValue = load.value(QLatin1String("value"));
        totalWeight += PaperFormat::number(weight);
        totalValue += PaperFormat::number(goodsValue);
        if (agency)
            totalCollected += PaperFormat::number(goodsValue);
        ++count;
        const QVector<Cell> row = {
            value(QString::number(count), Columns[0], Qt::AlignHCenter),
            value(PaperFormat::scalar(load, "trade_id"), Columns[1], Qt::AlignHCenter),
            value(PaperFormat::text(load, "shipper"), Columns[2]),
            value(PaperFormat::text(load, "consignee"), Columns[3]),
            value(PaperFormat::text(load, "goods"), Columns[4]),
            value(PaperFormat::weight(weight), Columns[5], Qt::AlignRight),
            value(PaperFormat::money(goodsValue), Columns[6], Qt::AlignRight),
            value(agency ? PaperFormat::money(goodsValue) : QStringLiteral("否"), Columns[7], Qt::AlignRight),
        };
        const qreal height = rowHeight(painter, row);
        if (y + height > bottom) {
            nextPage();
            y = Margin;
            drawRow(painter, Margin, y, headHeight, head);
            y += headHeight;
        }
        drawRow(painter, Margin, y, height, row);
        y += height;
    }

    const qreal countWidth = Columns[0] + Columns[1] + Columns[2] + Columns[3] + Columns[4];
    const QString countText
        = count == 0 ? QStringLiteral("本车暂无装载的货物") : QStringLiteral("合计 %1 票").arg(count);
    const QVector<Cell> totals = {
        caption(countText, countWidth),
        value(PaperFormat::weight(totalWeight), Columns[5], Qt::AlignRight),
        value(PaperFormat::money(totalValue), Columns[6], Qt::AlignRight),
        value(PaperFormat::money(totalCollected), Columns[7], Qt::AlignRight),
    };
    const qreal totalsHeight = rowHeight(painter, totals);
    if (y + totalsHeight + SignatureHeight > bottom) {
        nextPage();
        y = Margin;
    }
    drawRow(painter, Margin, y, totalsHeight, totals);
    y += totalsHeight + 60;

    painter.setFont(paperFont(BodyTextSize, true));
    drawText(painter, QRectF(Margin, y, ContentWidth, SignatureHeight - 60),
        QStringLiteral("装车人签字：＿＿＿＿＿＿　　承运司机签字：＿＿＿＿＿＿　　日期：＿＿＿＿＿＿"),
        Qt::AlignLeft | Qt::AlignBottom);
    footer();
    painter.restore();
    return page;
}
