#include "screens/trucks/truckrow.h"

#include "net/api.h"
#include "screens/lists/pagedlistactivity.h"
#include "screens/lists/paperjob.h"
#include "screens/trucks/truckactivity.h"
#include "shell/activitycontroller.h"
#include "shell/baseactivity.h"
#include "telephony/telnumberwidget.h"
#include "widgets/guardedmessagebox.h"
#include "widgets/sharedlook.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>

namespace {

// The plate's font size, and the smallest it may shrink to.
const int PlatePixels = 14;
const int SmallestPlatePixels = 9;

// The hidden label whose look (font, colours, alignment) a text the row
// draws takes: a label of that object name, and of that plate size for the
// plate, styled by the list's rules as a label in the row would be. One for
// all rows of the list, kept on the rows' parent.
const QLabel* textLook(const QWidget* row, const char* name, int pixels = PlatePixels)
{
    const QByteArray key = QByteArray("look:") + name + ':' + QByteArray::number(pixels);
    return static_cast<const QLabel*>(sharedLook(row, key.constData(), [name, pixels](QWidget* home) {
        auto* look = new QLabel(home);
        look->setObjectName(QLatin1String(name));
        look->setTextFormat(Qt::PlainText);
        if (pixels != PlatePixels)
            look->setProperty("platePixels", QString::number(pixels));
        return look;
    }));
}

// Draws `text` in `area` as a plain-text label like `look` in that place
// would draw it.
void drawAsLabel(QPainter* painter, const QLabel* look, const QRect& area, const QString& text, bool enabled)
{
    if (text.isEmpty())
        return;
    QStyleOption option;
    option.initFrom(look);
    const int flags = int(QStyle::visualAlignment(Qt::LeftToRight, look->alignment())) | Qt::TextForceLeftToRight;
    painter->save();
    painter->setFont(look->font());
    look->style()->drawItemText(painter, area, flags, option.palette, enabled, text, look->foregroundRole());
    painter->restore();
}

// The picture of a truck class at the row's size, scaled once for all rows.
QPixmap classPicture(const QString& level)
{
    static QHash<QString, QPixmap> scaled;
    const auto found = scaled.constFind(level);
    if (found != scaled.constEnd())
        return *found;
    const QPixmap image(QStringLiteral(":/images/img_truck_default_") + level + QStringLiteral(".png"));
    const QPixmap picture = image.isNull() ? QPixmap() : image.scaled(70, 55, Qt::IgnoreAspectRatio);
    scaled.insert(level, picture);
    return picture;
}

} // namespace

const char* MyTruckItem::styleRules()
{
    return "QLabel#numberLabel{font-size:14px;font-weight:bold;color:#0099CC;}"
           "QLabel#numberLabel[platePixels=\"13\"]{font-size:13px;}"
           "QLabel#numberLabel[platePixels=\"12\"]{font-size:12px;}"
           "QLabel#numberLabel[platePixels=\"11\"]{font-size:11px;}"
           "QLabel#numberLabel[platePixels=\"10\"]{font-size:10px;}"
           "QLabel#numberLabel[platePixels=\"9\"]{font-size:9px;}";
}

MyTruckItem::MyTruckItem(const QJsonObject& truck, int rowNumber, QWidget* host, QWidget* parent)
    : QFrame(parent)
    , truck(truck)
    , truckId(truck.value(QLatin1String("id")).toVariant().toInt())
    , rowNumber(rowNumber)
{
    const auto text = [&truck](const char* key) { return truck.value(QLatin1String(key)).toString(); };
    const auto scalar = [&truck](const char* key) { return truck.value(QLatin1String(key)).toVariant().toString(); };
    // The server's texts go into rich text as text, never as markup.
    const auto escapedText = [&text](const char* key) { return text(key).toHtmlEscaped(); };
    const auto escapedScalar = [&scalar](const char* key) { return scalar(key).toHtmlEscaped(); };

    setObjectName(QStringLiteral("MyTruckItem"));
    setAutoFillBackground(true);
    PagedListActivity::stripeRow(this, rowNumber);
    setFixedHeight(RowHeight);

    // The whole plate on one line, eight characters (a new-energy plate)
    // included: a plate too wide for its place gets a smaller font, never a cut.
    plate = text("number");
    // The list's style rules give the plate its font; a long plate takes the
    // look of a smaller size, which the rules select by a property.
    QFont font = textLook(this, "numberLabel")->font();
    platePixels = PlatePixels;
    while (platePixels > SmallestPlatePixels && QFontMetrics(font).horizontalAdvance(plate) > plateGeometry().width())
        font.setPixelSize(--platePixels);

    classPixmap = classPicture(scalar("tonnage_level"));

    const QString info = escapedText("tonnage_level_text") + QStringLiteral("&nbsp;&nbsp;")
        + escapedText("driving_mode_text") + QStringLiteral("&nbsp;&nbsp;")
        + QStringLiteral("&nbsp;&nbsp;<b>额定载重</b>") + escapedScalar("tonnage")
        + QStringLiteral("吨&nbsp;&nbsp;&nbsp;&nbsp;<b>") + escapedText("packingcase_mode_text")
        + QStringLiteral("货箱</b>&nbsp;&nbsp;宽") + escapedScalar("packingcase_width")
        + QStringLiteral("米&nbsp;&nbsp;长") + escapedScalar("packingcase_length") + QStringLiteral("米&nbsp;&nbsp;高")
        + escapedScalar("packingcase_height") + QStringLiteral("米");
    lines.add(QStringLiteral("infoLabel"), QRect(90, 10, 500, 20), info);

    const QRect caption1(90, 35, 33, 20);
    lines.add(QStringLiteral("driver1Caption"), caption1, QStringLiteral("<b>司机1:</b>"));
    auto* chip1 = new TelNumberWidget(text("driver1_mobile"), text("driver1_name"), host, this);
    chip1->setObjectName(QStringLiteral("driver1Chip"));
    chip1->setAccessibleName(text("driver1_name") + QLatin1Char(' ') + text("driver1_mobile"));
    chip1->setGeometry(caption1.x() + caption1.width() + 5, 32, chip1->sizeHint().width(), 27);

    const QRect caption2(chip1->x() + chip1->width() + 20, 35, 33, 20);
    lines.add(QStringLiteral("driver2Caption"), caption2, QStringLiteral("<b>司机2:</b>"));
    auto* chip2 = new TelNumberWidget(text("driver2_mobile"), text("driver2_name"), host, this);
    chip2->setObjectName(QStringLiteral("driver2Chip"));
    chip2->setAccessibleName(text("driver2_name") + QLatin1Char(' ') + text("driver2_mobile"));
    chip2->setGeometry(caption2.x() + caption2.width() + 5, 32, chip2->sizeHint().width(), 27);

    company = text("company_name") + QStringLiteral("  电话:") + text("company_tel");
}

QFont MyTruckItem::plateFont() const
{
    return textLook(this, "numberLabel", platePixels)->font();
}

void MyTruckItem::slot_remove()
{
    // One delete at a time; the answer to it decides.
    if (deleteCall)
        return;
    const auto answer = GuardedMessageBox::question(
        this, QStringLiteral("提醒"), QStringLiteral("确定要删除货车 %1 吗？").arg(plate));
    if (answer != GuardedMessageBox::Answer::Yes)
        return;
    deleteCall = API::instance()->deleteTruck(truckId)->then(this, [this](const ApiAnswer& answer) {
        deleteCall.clear();
        slot_delete_truck_finished(answer.success, answer.errors);
    });
}

void MyTruckItem::slot_delete_truck_finished(bool success, const QString errors)
{
    PagedListActivity::takeRowDeleteAnswer(this, success, errors);
}

void MyTruckItem::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    drawAsLabel(&painter, textLook(this, "numberLabel", platePixels), plateGeometry(), plate, isEnabled());
    if (!classPixmap.isNull() && pictureGeometry().intersects(event->rect()))
        style()->drawItemPixmap(&painter, pictureGeometry(), Qt::AlignLeft | Qt::AlignVCenter, classPixmap);
    lines.paint(&painter, this, event->rect());
    drawAsLabel(&painter, textLook(this, "companyLabel"), companyGeometry(), company, isEnabled());
    style()->drawItemPixmap(&painter, arrowGeometry(), Qt::AlignLeft | Qt::AlignVCenter, PagedListActivity::rowArrow());
}

void MyTruckItem::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (removeButton)
        removeButton->setGeometry(removeGeometry());
}

void MyTruckItem::mousePressEvent(QMouseEvent* event)
{
    QFrame::mousePressEvent(event);
    // The right button opens the row's menu instead.
    if (event->button() == Qt::RightButton)
        return;
    ActivityController* controller = ActivityController::containing(this);
    if (!controller)
        return;
    // Only from the list on top and while nothing slides: a double click, or
    // a press on another row during the slide of a form just opened, must not
    // stack a second form.
    if (!ActivityController::acceptsPressFrom(this))
        return;
    controller->startActivity(new TruckActivity(truck), false, true);
}

void MyTruckItem::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    // The menu's event loop may take the row with it (a list reload).
    const QPointer<MyTruckItem> alive(this);
    QMenu menu;
    QAction* print = menu.addAction(QStringLiteral("打印装车单"));
    menu.addAction(QStringLiteral("导出PDF"));
    const QAction* chosen = menu.exec(event->globalPos());
    if (!alive || !chosen)
        return;
    PaperJob::loadingList(truckId, chosen == print ? PaperJob::Output::Preview : PaperJob::Output::Pdf, this);
}

void MyTruckItem::enterEvent(QEvent* event)
{
    QFrame::enterEvent(event);
    if (!removeButton) {
        removeButton = PagedListActivity::newRemoveButton(this, removeGeometry());
        // Queued: the question's event loop, which a list reload may use to
        // delete this row, then runs outside the button's own click handling.
        connect(removeButton, &QToolButton::clicked, this, &MyTruckItem::slot_remove, Qt::QueuedConnection);
    }
    removeButton->show();
}

void MyTruckItem::leaveEvent(QEvent* event)
{
    QFrame::leaveEvent(event);
    if (removeButton)
        removeButton->hide();
}
