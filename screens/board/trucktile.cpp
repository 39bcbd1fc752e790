#include "screens/board/trucktile.h"

#include "net/api.h"
#include "screens/board/packactivity.h"
#include "screens/lists/paperjob.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "widgets/guardedmessagebox.h"
#include "widgets/sharedlook.h"

#include <QApplication>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QVBoxLayout>

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

// The widgets a tile is drawn after, once for all the tiles of one parent:
// hidden, styled by the same sheets as a tile's children would be, and given
// one tile's texts at a time to lay them out as that tile's own labels were.
// A tile then paints each part where its widget lies here, with the widget's
// font, palette and style, so that it shows the same pixels without a widget
// per part.
class TileLook : public QWidget
{
public:
    explicit TileLook(QWidget* parent)
        : QWidget(parent)
        , restingPicture(QStringLiteral(":/images/img_truck_sleeping.png"))
        , workingPicture(QStringLiteral(":/images/img_truck_working.png"))
    {
        // Named before its children are made: their rules name it.
        setObjectName(QStringLiteral("tileLook"));
        hide();
        layout = new QVBoxLayout(this);
        pictureLabel = new QLabel(this);
        numberLabel = new QLabel(this);
        loadRow = new QWidget(this);
        loadBar = new QProgressBar(loadRow);
        loadLabel = new QLabel(loadRow);
        goodsLabel = new QLabel(this);
        overBar = new QProgressBar(this);
        layout->setContentsMargins(5, 5, 5, 5);
        layout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

        pictureLabel->setObjectName(QStringLiteral("pictureLabel"));
        pictureLabel->setAlignment(Qt::AlignCenter);

        numberLabel->setObjectName(QStringLiteral("numberLabel"));
        numberLabel->setWordWrap(true);
        numberLabel->setTextFormat(Qt::PlainText);
        numberLabel->setAlignment(Qt::AlignCenter);

        goodsLabel->setObjectName(QStringLiteral("goodsLabel"));
        goodsLabel->setTextFormat(Qt::PlainText);

        // The load under the number: a thin bar, then "18/20吨" in the goods'
        // grey.
        loadRow->setObjectName(QStringLiteral("loadRow"));
        loadRow->setFixedWidth(145);
        auto* loadLayout = new QHBoxLayout(loadRow);
        loadLayout->setContentsMargins(0, 0, 0, 0);
        loadLayout->setSpacing(4);
        loadBar->setObjectName(QStringLiteral("loadBar"));
        loadBar->setTextVisible(false);
        loadBar->setFixedHeight(4);
        loadLabel->setObjectName(QStringLiteral("loadLabel"));
        loadLabel->setTextFormat(Qt::PlainText);
        loadLayout->addWidget(loadBar, 1, Qt::AlignVCenter);
        loadLayout->addWidget(loadLabel);

        // The bar of a booking over the rated load: its own widget, so that
        // neither bar is polished again when a tile changes.
        overBar->setObjectName(QStringLiteral("loadBar"));
        overBar->setProperty("over", true);
        overBar->setTextVisible(false);

        layout->addWidget(pictureLabel);
        layout->addWidget(numberLabel);
        layout->addWidget(loadRow, 0, Qt::AlignHCenter);
        layout->addWidget(goodsLabel);

        // Shown within the hidden look, so that its layout counts them.
        for (QWidget* part : { static_cast<QWidget*>(pictureLabel), static_cast<QWidget*>(numberLabel), loadRow,
                 static_cast<QWidget*>(loadBar), static_cast<QWidget*>(loadLabel), static_cast<QWidget*>(goodsLabel) })
            part->show();
        overBar->hide();
        overBar->ensurePolished();
    }

    // Gives the widgets one tile's picture and texts.
    void take(bool working, const QString& number, bool loadShown, const QString& load, bool goodsStyled,
        const QString& goods)
    {
        pictureLabel->setPixmap(working ? workingPicture : restingPicture);
        numberLabel->setText(number);
        loadRow->setVisible(loadShown);
        loadLabel->setText(load);
        if (goodsStyled) {
            goodsLabel->setWordWrap(true);
            goodsLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            goodsLabel->setFixedWidth(145);
        } else {
            goodsLabel->setWordWrap(false);
            goodsLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            goodsLabel->setMinimumWidth(0);
            goodsLabel->setMaximumWidth(QWIDGETSIZE_MAX);
        }
        goodsLabel->setText(goods);
    }

    // Lays the widgets out in a tile of `size`.
    void layOut(const QSize& tileSize)
    {
        resize(tileSize);
        layout->invalidate();
        layout->activate();
        // A hidden row gets no resize event to lay its own children out.
        loadRow->layout()->setGeometry(loadRow->contentsRect());
    }

    QVBoxLayout* layout;
    QLabel* pictureLabel;
    QLabel* numberLabel;
    QWidget* loadRow;
    QProgressBar* loadBar;
    QLabel* loadLabel;
    QLabel* goodsLabel;
    QProgressBar* overBar;
    const QPixmap restingPicture;
    const QPixmap workingPicture;
};

namespace {

} // namespace

// Where a part lies in its tile, and where within it it draws.
struct TruckItem::Place
{
    QRect clip;
    QRect area;
};

namespace {

TruckItem::Place placeOf(const QWidget* part, int margin = 0)
{
    QRect placed = part->geometry();
    for (const QWidget* w = part->parentWidget(); w && !dynamic_cast<const TileLook*>(w); w = w->parentWidget())
        placed.translate(w->pos());
    return { placed, part->contentsRect().adjusted(margin, margin, -margin, -margin).translated(placed.topLeft()) };
}

// Draws `label`'s text at `place` as the label draws it there.
void drawLabel(QPainter* painter, const QLabel* label, const TruckItem::Place& place, const QString& text, bool enabled)
{
    const QRect& placed = place.clip;
    const QRect& area = place.area;
    if (text.isEmpty() || placed.isEmpty())
        return;
    int flags = QStyle::visualAlignment(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight, label->alignment());
    if (label->wordWrap())
        flags |= Qt::TextWordWrap;
    flags |= text.isRightToLeft() ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight;
    painter->save();
    painter->setClipRect(placed, Qt::IntersectClip);
    painter->setFont(label->font());
    label->style()->drawItemText(painter, area, flags, label->palette(), enabled, text, label->foregroundRole());
    painter->restore();
}

} // namespace

struct TruckItem::Drawn
{
    QPointer<TileLook> look;
    // The parts' places for `size` and the texts they were laid out with.
    QSize size;
    bool valid = false;
    Place picture;
    Place number;
    Place bar;
    Place loadText;
    Place goods;
    // The tile's size hints while its texts stay.
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
    // The look of the board's tiles, made with the first of them.
    if (parentWidget())
        drawn->look
            = static_cast<TileLook*>(sharedLook(this, "tileLook", [](QWidget* board) { return new TileLook(board); }));
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
        "#tileLook QLabel#numberLabel{font-size:16px;}"
        "#tileLook QLabel#loadLabel,#tileLook QLabel#goodsLabel{color:#999999; font-size:12px;}"
        "#tileLook QProgressBar#loadBar{border:none; background:#e5e5e5; border-radius:2px;}"
        "#tileLook QProgressBar#loadBar::chunk{background:#42A85B; border-radius:2px;}"
        "#tileLook QProgressBar#loadBar[over=\"true\"]::chunk{background:#ff6600; border-radius:2px;}"
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

TileLook* TruckItem::lookWith() const
{
    if (!drawn->look)
        return nullptr;
    drawn->look->take(working, number, loadShown, loadText, goodsStyled, goodsText);
    return drawn->look;
}

void TruckItem::placeParts() const
{
    if (drawn->valid && drawn->size == size())
        return;
    TileLook* look = lookWith();
    if (!look)
        return;
    look->layOut(size());
    drawn->size = size();
    drawn->valid = true;
    drawn->picture = placeOf(look->pictureLabel, look->pictureLabel->margin());
    drawn->number = placeOf(look->numberLabel, look->numberLabel->margin());
    drawn->bar = loadShown ? placeOf(look->loadBar) : Place();
    drawn->loadText = loadShown ? placeOf(look->loadLabel, look->loadLabel->margin()) : Place();
    drawn->goods = placeOf(look->goodsLabel, look->goodsLabel->margin());
}

void TruckItem::takeHints() const
{
    if (drawn->hintsValid)
        return;
    TileLook* look = lookWith();
    if (!look)
        return;
    drawn->sizeHint = look->layout->totalSizeHint();
    drawn->minimumSizeHint = look->layout->totalMinimumSize();
    drawn->hintsValid = true;
}

QSize TruckItem::sizeHint() const
{
    takeHints();
    return drawn->hintsValid ? drawn->sizeHint : QWidget::sizeHint();
}

QSize TruckItem::minimumSizeHint() const
{
    takeHints();
    return drawn->hintsValid ? drawn->minimumSizeHint : QWidget::minimumSizeHint();
}

bool TruckItem::hasHeightForWidth() const
{
    // The number wraps; so does the goods text once it has its look.
    return true;
}

int TruckItem::heightForWidth(int width) const
{
    if (drawn->heightForWidth.first == width)
        return drawn->heightForWidth.second;
    TileLook* look = lookWith();
    if (!look)
        return -1;
    drawn->heightForWidth = { width, look->layout->totalHeightForWidth(width) };
    return drawn->heightForWidth.second;
}

void TruckItem::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    placeParts();
    TileLook* look = drawn->look;
    if (!look)
        return;
    QPainter painter(this);
    const bool enabled = isEnabled();

    const QPixmap& shown = picture();
    if (!shown.isNull() && !drawn->picture.clip.isEmpty()) {
        const QLabel* label = look->pictureLabel;
        QPixmap pix = shown;
        if (!enabled) {
            QStyleOption option;
            option.initFrom(label);
            pix = label->style()->generatedIconPixmap(QIcon::Disabled, pix, &option);
        }
        painter.save();
        painter.setClipRect(drawn->picture.clip, Qt::IntersectClip);
        label->style()->drawItemPixmap(
            &painter, drawn->picture.area, QStyle::visualAlignment(label->layoutDirection(), label->alignment()), pix);
        painter.restore();
    }
    drawLabel(&painter, look->numberLabel, drawn->number, number, enabled);
    if (loadShown) {
        const QProgressBar* bar = barOver ? look->overBar : look->loadBar;
        QStyleOptionProgressBar option;
        option.initFrom(bar);
        option.rect = QRect(QPoint(0, 0), drawn->bar.clip.size());
        option.minimum = 0;
        option.maximum = barMaximum;
        option.progress = barValue;
        option.textAlignment = bar->alignment();
        option.textVisible = false;
        option.orientation = bar->orientation();
        option.invertedAppearance = bar->invertedAppearance();
        option.bottomToTop = bar->textDirection() == QProgressBar::BottomToTop;
        painter.save();
        painter.setClipRect(drawn->bar.clip, Qt::IntersectClip);
        painter.translate(drawn->bar.clip.topLeft());
        painter.setFont(bar->font());
        painter.setPen(QPen(bar->palette().brush(bar->foregroundRole()), 1));
        painter.setBackground(bar->palette().brush(bar->backgroundRole()));
        bar->style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, bar);
        painter.restore();
        drawLabel(&painter, look->loadLabel, drawn->loadText, loadText, enabled);
    }
    drawLabel(&painter, look->goodsLabel, drawn->goods, goodsText, enabled);
}

const QPixmap& TruckItem::picture() const
{
    static const QPixmap none;
    if (!drawn->look)
        return none;
    return working ? drawn->look->workingPicture : drawn->look->restingPicture;
}

QRect TruckItem::loadBarGeometry() const
{
    placeParts();
    return loadShown ? drawn->bar.clip : QRect();
}

void TruckItem::placeButtons()
{
    if (!hoverOverlay)
        return;
    const int w = width();
    const int h = height();
    hoverOverlay->setGeometry(0, 0, w, h);
    workButton->setGeometry((w - 135) / 2, h - 32, 135, 30);
    packButton->setGeometry((w - 135) / 2, h - 65, 135, 30);
    // The loading list button sits on top of the others that are shown.
    loadingListButton->setGeometry((w - 135) / 2, packButton->isHidden() ? h - 65 : h - 98, 135, 30);
}
