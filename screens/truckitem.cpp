#include "screens/truckitem.h"

#include "net/api.h"
#include "screens/packactivity.h"
#include "screens/paperjob.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "widgets/guardedmessagebox.h"

#include <QApplication>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString statusKey = QStringLiteral("status");
const QString loadsKey = QStringLiteral("loads");
const QString loadSeparator = QStringLiteral("，\n");

QString restingPicture()
{
    return QStringLiteral(":/images/img_truck_sleeping.png");
}

QString workingPicture()
{
    return QStringLiteral(":/images/img_truck_working.png");
}

QString goodsText(const QJsonArray& loads)
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

TruckItem::TruckItem(const QJsonObject& truck, QWidget* host)
    : QWidget(host)
    , host(host)
    , truck(truck)
    , truckId(truck.value(QLatin1String("id")).toVariant().toInt())
    , layout(new QVBoxLayout(this))
    , pictureLabel(new QLabel(this))
    , numberLabel(new QLabel(this))
    , loadRow(new QWidget(this))
    , loadBar(new QProgressBar(loadRow))
    , loadLabel(new QLabel(loadRow))
    , goodsLabel(new QLabel(this))
    , hoverOverlay(new QWidget(this))
    , workButton(new QPushButton(hoverOverlay))
    , packButton(new QPushButton(QStringLiteral("配货"), hoverOverlay))
    , loadingListButton(new QPushButton(QStringLiteral("装车单"), hoverOverlay))
{
    setObjectName(QStringLiteral("TruckItem"));
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setCursor(Qt::PointingHandCursor);

    pictureLabel->setObjectName(QStringLiteral("pictureLabel"));
    pictureLabel->setAlignment(Qt::AlignCenter);

    numberLabel->setObjectName(QStringLiteral("numberLabel"));
    numberLabel->setWordWrap(true);
    // The platform's texts show as typed, never as markup.
    numberLabel->setTextFormat(Qt::PlainText);
    goodsLabel->setTextFormat(Qt::PlainText);
    numberLabel->setStyleSheet(QStringLiteral("font-size:16px;"));
    numberLabel->setText(truck.value(QLatin1String("number")).toVariant().toString());
    numberLabel->setAlignment(Qt::AlignCenter);

    goodsLabel->setObjectName(QStringLiteral("goodsLabel"));
    setGoodsText(goodsText(loads()));

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
    loadLabel->setStyleSheet(QStringLiteral("QLabel{color:#999999; font-size:12px;}"));
    loadLayout->addWidget(loadBar, 1, Qt::AlignVCenter);
    loadLayout->addWidget(loadLabel);
    showLoad();

    layout->addWidget(pictureLabel);
    layout->addWidget(numberLabel);
    layout->addWidget(loadRow, 0, Qt::AlignHCenter);
    layout->addWidget(goodsLabel);

    hoverOverlay->setObjectName(QStringLiteral("hoverOverlay"));
    hoverOverlay->setAttribute(Qt::WA_StyledBackground);
    hoverOverlay->setStyleSheet(QStringLiteral("background:rgba(100, 100, 100, 50%);border-radius:5px;"));
    hoverOverlay->hide();

    workButton->setObjectName(QStringLiteral("workButton"));
    workButton->setStyleSheet(QStringLiteral("QPushButton{background:url(:/images/btn_green_normal.png);} "
                                             "QPushButton:hover{background:url(:/images/btn_green_hover.png)} "
                                             "QPushButton:pressed{background:url(:/images/btn_green_pressed.png)}"));
    connect(workButton, &QPushButton::pressed, this, &TruckItem::slot_work_pressed);

    packButton->setObjectName(QStringLiteral("packButton"));
    packButton->setStyleSheet(
        QStringLiteral("QPushButton{color:#333333; background:url(:/images/btn_blue_normal.png);} "
                       "QPushButton:hover{background:url(:/images/btn_blue_hover.png)} "
                       "QPushButton:pressed{background:url(:/images/btn_blue_pressed.png)}"));
    connect(packButton, &QPushButton::pressed, this, &TruckItem::slot_pack_pressed);

    loadingListButton->setObjectName(QStringLiteral("loadingListButton"));
    loadingListButton->setStyleSheet(packButton->styleSheet());
    // Clicked rather than pressed: the print preview is a window of its own,
    // and a press would leave the button down behind it.
    connect(loadingListButton, &QPushButton::clicked, this, &TruckItem::slot_loading_list_pressed);

    if (status() != 0) {
        pictureLabel->setPixmap(QPixmap(workingPicture()));
        packButton->hide();
        workButton->setText(QStringLiteral("运输完成"));
    } else {
        pictureLabel->setPixmap(QPixmap(restingPicture()));
        workButton->setText(QStringLiteral("发车"));
    }
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
    loadRow->setVisible(rated > 0);
    if (rated <= 0)
        return;
    const double booked = bookedWeight();
    // Thousandths of a tonne on the bar; the text drops the float noise of a
    // sum.
    loadBar->setRange(0, qRound(rated * 1000));
    loadBar->setValue(qRound(qMin(booked, rated) * 1000));
    const bool over = booked > rated + 0.0005;
    loadBar->setStyleSheet(QStringLiteral("QProgressBar{border:none; background:#e5e5e5; border-radius:2px;}"
                                          "QProgressBar::chunk{background:%1; border-radius:2px;}")
                               .arg(over ? QStringLiteral("#ff6600") : QStringLiteral("#42A85B")));
    loadLabel->setText(
        QStringLiteral("%1/%2吨").arg(QString::number(booked, 'g', 10), QString::number(rated, 'g', 10)));
}

void TruckItem::setGoodsText(const QString& text)
{
    goodsLabel->setText(text);
    if (text.isEmpty())
        return;
    // A tile built empty gets its goods look with its first packing.
    goodsLabel->setWordWrap(true);
    goodsLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    goodsLabel->setFixedWidth(145);
    goodsLabel->setStyleSheet(QStringLiteral("QLabel{color:#999999; font-size:12px;}"));
    goodsLabel->adjustSize();
}

void TruckItem::showWorking()
{
    pictureLabel->setPixmap(QPixmap(workingPicture()));
    workButton->setText(QStringLiteral("运输完成"));
    workButton->show();
    packButton->hide();
    placeButtons();
}

void TruckItem::showResting()
{
    pictureLabel->setPixmap(QPixmap(restingPicture()));
    goodsLabel->clear();
    workButton->setText(QStringLiteral("发车"));
    workButton->show();
    packButton->show();
    placeButtons();
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

    switch (status()) {
    case 0:
        if (loads().isEmpty()) {
            GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("本车尚未配货，不能发车！"));
            return;
        }
        if (GuardedMessageBox::question(this, QStringLiteral("提醒"), QStringLiteral("确定要发车吗？"))
            == GuardedMessageBox::Answer::Yes)
            sendStatus(1);
        break;
    case 1:
        if (GuardedMessageBox::question(this, QStringLiteral("提醒"), QStringLiteral("确定运输完成了吗？"))
            == GuardedMessageBox::Answer::Yes)
            sendStatus(2);
        break;
    default:
        break;
    }
}

void TruckItem::sendStatus(int newStatus)
{
    API::instance()->changeTruckStatus(truckId, newStatus)->then(this, [this](const ApiAnswer& answer) {
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
    QString text = goodsLabel->text();
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
    hoverOverlay->show();
    hoverOverlay->raise();
}

void TruckItem::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    hoverOverlay->hide();
}

void TruckItem::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeButtons();
}

void TruckItem::placeButtons()
{
    const int w = width();
    const int h = height();
    hoverOverlay->setGeometry(0, 0, w, h);
    workButton->setGeometry((w - 135) / 2, h - 32, 135, 30);
    packButton->setGeometry((w - 135) / 2, h - 65, 135, 30);
    // The loading list button sits on top of the others that are shown.
    loadingListButton->setGeometry((w - 135) / 2, packButton->isHidden() ? h - 65 : h - 98, 135, 30);
}
