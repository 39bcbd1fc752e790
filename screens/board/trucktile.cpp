#include "screens/board/trucktile.h"

#include "net/api.h"
#include "screens/board/packactivity.h"
#include "screens/lists/paperjob.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "widgets/guardedmessagebox.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>

namespace {

const QString statusKey = QStringLiteral("status");
const QString loadsKey = QStringLiteral("loads");
const QString loadSeparator = QStringLiteral("，\n");

QString describeLoads(const QJsonArray& loads)
{
    QStringList entries;
    for (const QJsonValue& load : loads) {
        const QJsonObject entry = load.toObject();
        entries << entry.value(QLatin1String("shipper")).toString() + QStringLiteral("托运的")
                + entry.value(QLatin1String("goods")).toString();
    }
    return entries.join(loadSeparator);
}

// The home section's controller: the main window's first one, or, where the
// tile lives outside a main window, the controller that holds `host`.
ActivityController* homeController(const QWidget* host)
{
    auto* window = qobject_cast<MainWindow*>(QApplication::activeWindow());
    if (!window && host)
        window = qobject_cast<MainWindow*>(host->window());
    if (window)
        return window->controllerAt(0);
    return ActivityController::containing(host);
}

} // namespace

// The look the tile is drawn in, the parts' places for a size and the tile's
// size hints while its texts stay.
struct TruckItem::Drawn
{
    std::shared_ptr<const TruckTileLook> look;
    QSize size;
    bool valid = false;
    TruckTileLook::Places places;
    bool hintsValid = false;
    QSize sizeHint;
    QSize minimumSizeHint;
    QPair<int, int> heightForWidth { -1, -1 };
};

TruckItem::TruckItem(const QJsonObject& truck, QWidget* host, QWidget* parent)
    : QWidget(parent ? parent : host)
    , host(host)
    , truck(truck)
    , truckId(truck.value(QLatin1String("id")).toVariant().toInt())
    , recordScope(new QObject(this))
    , drawn(new Drawn)
{
    setObjectName(QStringLiteral("TruckItem"));
    setCursor(Qt::PointingHandCursor);
    number = truck.value(QLatin1String("number")).toVariant().toString();
    setGoodsText(describeLoads(loads()));
    showLoad();
    showLook(status() != 0);
}

TruckItem::~TruckItem() = default;

QString TruckItem::boardStyleSheet()
{
    // The overlay's rule reaches its buttons, beneath their own rules, which
    // name the overlay to rank above it.
    return QStringLiteral(
        "TruckItem QWidget#hoverOverlay,TruckItem QWidget#hoverOverlay QPushButton"
        "{background:rgba(100, 100, 100, 50%);border-radius:5px;}"
        "TruckItem QWidget#hoverOverlay QPushButton#workButton{background:url(:/images/btn_green_normal.png);}"
        "TruckItem QWidget#hoverOverlay QPushButton#workButton:hover{background:url(:/images/btn_green_hover.png)}"
        "TruckItem QWidget#hoverOverlay QPushButton#workButton:pressed"
        "{background:url(:/images/btn_green_pressed.png)}"
        "TruckItem QWidget#hoverOverlay QPushButton#packButton,"
        "TruckItem QWidget#hoverOverlay QPushButton#loadingListButton"
        "{color:#333333; background:url(:/images/btn_blue_normal.png);}"
        "TruckItem QWidget#hoverOverlay QPushButton#packButton:hover,"
        "TruckItem QWidget#hoverOverlay QPushButton#loadingListButton:hover"
        "{background:url(:/images/btn_blue_hover.png)}"
        "TruckItem QWidget#hoverOverlay QPushButton#packButton:pressed,"
        "TruckItem QWidget#hoverOverlay QPushButton#loadingListButton:pressed"
        "{background:url(:/images/btn_blue_pressed.png)}");
}

void TruckItem::makeHoverOverlay()
{
    hoverOverlay = new QWidget(this);
    hoverOverlay->setObjectName(QStringLiteral("hoverOverlay"));
    hoverOverlay->setAttribute(Qt::WA_StyledBackground);
    hoverOverlay->hide();

    workButton = new QPushButton(hoverOverlay);
    workButton->setObjectName(QStringLiteral("workButton"));
    connect(workButton, &QPushButton::pressed, this, &TruckItem::slot_work_pressed);

    packButton = new QPushButton(QStringLiteral("配货"), hoverOverlay);
    packButton->setObjectName(QStringLiteral("packButton"));
    connect(packButton, &QPushButton::pressed, this, &TruckItem::slot_pack_pressed);

    loadingListButton = new QPushButton(QStringLiteral("装车单"), hoverOverlay);
    loadingListButton->setObjectName(QStringLiteral("loadingListButton"));
    // Clicked rather than pressed: the print preview is a window of its own,
    // and a press would leave the button down behind it.
    connect(loadingListButton, &QPushButton::clicked, this, &TruckItem::slot_loading_list_pressed);

    showLook(working);
}

void TruckItem::setRecord(const QJsonObject& record)
{
    // Drops the answers and questions of the old record.
    delete recordScope;
    recordScope = new QObject(this);
    truck = record;
    truckId = record.value(QLatin1String("id")).toVariant().toInt();
    number = record.value(QLatin1String("number")).toVariant().toString();
    const QString goods = describeLoads(loads());
    if (goods.isEmpty())
        goodsText.clear();
    else
        setGoodsText(goods);
    partsChanged();
    showLoad();
    showLook(status() != 0);
}

int TruckItem::status() const
{
    return truck.value(statusKey).toVariant().toInt();
}

QJsonArray TruckItem::loads() const
{
    return truck.value(loadsKey).toArray();
}

double TruckItem::ratedLoad() const
{
    // A number or a text ("20"); anything else is no rated load.
    return qMax(0.0, truck.value(QLatin1String("tonnage")).toVariant().toDouble());
}

double TruckItem::bookedWeight() const
{
    double booked = 0;
    for (const QJsonValue& load : loads())
        booked += qMax(0.0, load.toObject().value(QLatin1String("weight")).toVariant().toDouble());
    return booked;
}

void TruckItem::showLoad()
{
    const double rated = ratedLoad();
    loadShown = rated > 0;
    if (loadShown) {
        const double booked = bookedWeight();
        // Thousandths of a tonne on the bar; the text drops the float noise
        // of a sum.
        barMaximum = qRound(rated * 1000);
        barValue = qRound(qMin(booked, rated) * 1000);
        barOver = booked > rated + 0.0005;
        loadText = QStringLiteral("%1/%2吨").arg(QString::number(booked, 'g', 10), QString::number(rated, 'g', 10));
    }
    partsChanged();
}

void TruckItem::setGoodsText(const QString& text)
{
    goodsText = text;
    // A tile built empty gets its goods look with its first packing.
    if (!text.isEmpty())
        goodsStyled = true;
    partsChanged();
}

void TruckItem::showLook(bool onTheRoad)
{
    working = onTheRoad;
    partsChanged();
    if (!hoverOverlay)
        return;
    workButton->setText(working ? QStringLiteral("运输完成") : QStringLiteral("发车"));
    workButton->show();
    packButton->setVisible(!working);
    placeButtons();
}

void TruckItem::showWorking()
{
    showLook(true);
}

void TruckItem::showResting()
{
    goodsText.clear();
    partsChanged();
    showLook(false);
}

void TruckItem::takeStatusAnswer(bool success, int newStatus)
{
    if (!success)
        return;
    truck.insert(statusKey, newStatus);
    if (newStatus == 0) {
        // Back from the road: whatever it carried has been delivered.
        truck.insert(loadsKey, QJsonArray());
        showResting();
        showLoad();
    } else {
        showWorking();
    }
}

void TruckItem::slot_work_pressed()
{
    emit signal_truck_clicked(this);

    // A question answered after the board brought a newer record sends
    // nothing.
    const QPointer<QObject> scope = recordScope;
    switch (status()) {
    case 0:
        if (loads().isEmpty()) {
            GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("本车尚未配货，不能发车！"));
            return;
        }
        if (GuardedMessageBox::question(this, QStringLiteral("提醒"), QStringLiteral("确定要发车吗？"))
                == GuardedMessageBox::Answer::Yes
            && scope)
            sendStatus(1);
        break;
    case 1:
        if (GuardedMessageBox::question(this, QStringLiteral("提醒"), QStringLiteral("确定运输完成了吗？"))
                == GuardedMessageBox::Answer::Yes
            && scope)
            sendStatus(2);
        break;
    default:
        break;
    }
}

void TruckItem::sendStatus(int newStatus)
{
    API::instance()->changeTruckStatus(truckId, newStatus)->then(recordScope, [this](const ApiAnswer& answer) {
        takeStatusAnswer(answer.success, answer.value);
        emit signal_status_answered(answer.success, answer.value, answer.errors);
    });
}

void TruckItem::slot_pack_pressed()
{
    emit signal_truck_clicked(this);

    ActivityController* controller = homeController(host);
    if (!controller) {
        qDebug() << "no home controller to pack truck" << truckId << "on";
        return;
    }
    // One press, one packing screen.
    if (!ActivityController::acceptsPressFrom(this))
        return;
    auto* pack = new PackActivity(truckId, truck.value(QLatin1String("number")).toVariant().toString(), host);
    pack->setTruckLoad(bookedWeight(), ratedLoad());
    packedWeight = 0;
    connect(pack, &PackActivity::signal_packed, this, [this](double weight) { packedWeight = weight; });
    // Only this packing screen's own result reaches this tile, once: not that
    // of a form opened on top of it, nor another tile's.
    controller->startActivityForResult(pack, this, [this](const QVariant& data) { slot_packactivity_finish(data); });
    subscribed = true;
}

void TruckItem::slot_packactivity_finish(QVariant data)
{
    subscribed = false;
    if (!data.isValid())
        return;
    const QString packed = data.toString();
    QString text = goodsText;
    if (!text.isEmpty())
        text += loadSeparator;
    setGoodsText(text + packed);

    // The truck now carries something: it may depart. The packing screen
    // names a load only by its text.
    QJsonArray current = loads();
    current.append(QJsonObject { { QStringLiteral("text"), packed }, { QStringLiteral("weight"), packedWeight } });
    truck.insert(loadsKey, current);
    showLoad();
}

void TruckItem::slot_loading_list_pressed()
{
    emit signal_truck_clicked(this);
    PaperJob::loadingList(truckId, PaperJob::Output::Preview, this);
}

void TruckItem::enterEvent(QEvent* event)
{
    QWidget::enterEvent(event);
    if (!hoverOverlay)
        makeHoverOverlay();
    hoverOverlay->show();
    hoverOverlay->raise();
}

void TruckItem::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (hoverOverlay)
        hoverOverlay->hide();
}

void TruckItem::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    drawn->valid = false;
    placeButtons();
}

void TruckItem::partsChanged()
{
    // The texts are drawn, not held by labels: assistive tools read them
    // from the tile's own name.
    setAccessibleName(QStringList { number, loadShownText(), goodsText }.join(QLatin1Char(' ')).simplified());
    drawn->valid = false;
    drawn->hintsValid = false;
    drawn->heightForWidth = { -1, -1 };
    updateGeometry();
    update();
}

TruckTileLook::Content TruckItem::content() const
{
    return { working, number, loadShown, loadText, goodsStyled, goodsText };
}

const TruckTileLook& TruckItem::look() const
{
    if (!drawn->look) {
        // The font and style are those the board's sheet gives the tile.
        ensurePolished();
        // The tiles of one board share their look.
        static std::weak_ptr<const TruckTileLook> last;
        drawn->look = last.lock();
        if (!drawn->look || !drawn->look->suits(this)) {
            drawn->look = std::make_shared<const TruckTileLook>(this);
            last = drawn->look;
        }
    }
    return *drawn->look;
}

void TruckItem::placeParts() const
{
    if (drawn->valid && drawn->size == size())
        return;
    drawn->places = look().place(content(), size());
    drawn->size = size();
    drawn->valid = true;
}

void TruckItem::takeHints() const
{
    if (drawn->hintsValid)
        return;
    const TruckTileLook::Hints hints = look().hints(content());
    drawn->sizeHint = hints.size;
    drawn->minimumSizeHint = hints.minimum;
    drawn->hintsValid = true;
}

QSize TruckItem::sizeHint() const
{
    takeHints();
    return drawn->sizeHint;
}

QSize TruckItem::minimumSizeHint() const
{
    takeHints();
    return drawn->minimumSizeHint;
}

bool TruckItem::hasHeightForWidth() const
{
    // The number wraps; so does the goods text once it has its look.
    return true;
}

int TruckItem::heightForWidth(int width) const
{
    if (drawn->heightForWidth.first != width)
        drawn->heightForWidth = { width, look().heightForWidth(content(), width) };
    return drawn->heightForWidth.second;
}

void TruckItem::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    placeParts();
    QPainter painter(this);
    look().paint(&painter, this, content(), drawn->places, { barValue, barMaximum, barOver });
}

void TruckItem::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        drawn->look.reset();
        partsChanged();
    }
}

const QPixmap& TruckItem::picture() const
{
    return look().picture(working);
}

QRect TruckItem::loadBarGeometry() const
{
    placeParts();
    return loadShown ? drawn->places.bar : QRect();
}

void TruckItem::placeButtons()
{
    if (!hoverOverlay)
        return;
    const int w = width();
    const int h = height();
    hoverOverlay->setGeometry(0, 0, w, h);
    const int bw = TruckTileLook::ButtonWidth;
    const int bh = TruckTileLook::ButtonHeight;
    workButton->setGeometry((w - bw) / 2, h - 32, bw, bh);
    packButton->setGeometry((w - bw) / 2, h - 65, bw, bh);
    // The loading list button sits on top of the others that are shown.
    loadingListButton->setGeometry((w - bw) / 2, packButton->isHidden() ? h - 65 : h - 98, bw, bh);
}
