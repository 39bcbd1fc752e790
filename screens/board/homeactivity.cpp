#include "screens/board/homeactivity.h"

#include "net/api.h"
#include "screens/board/trucktile.h"
#include "screens/reports/ledgermenu.h"
#include "shell/mainwindow.h"
#include "shell/sidebar.h"
#include "widgets/dialogwidget.h"
#include "widgets/guardedmessagebox.h"
#include "widgets/segmentitembutton.h"
#include "widgets/segmentwidget.h"

#include <QComboBox>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
constexpr int TilesPerRow = 4;
constexpr int RowHeight = 160;
} // namespace

HomeActivity::HomeActivity(QWidget* parent)
    : BaseActivity(parent)
    , segmentWidget(new SegmentWidget(headerWidget))
    , boardScrollArea(new QScrollArea(bodyWidget))
    , boardContainer(new QWidget)
    , boardGrid(new QGridLayout(boardContainer))
    , sideBar(nullptr)
    , feedbackDialog(nullptr)
    , categoryBox(nullptr)
    , contentEdit(nullptr)
{
    setObjectName(QStringLiteral("HomeActivity"));
    setTitle(QStringLiteral("货车场站"));
    // The station's ledgers open on this section, from the window's ••• menu.
    LedgerMenu::install(qobject_cast<MainWindow*>(parent));

    segmentWidget->setObjectName(QStringLiteral("segmentWidget"));
    segmentWidget->setItems({ QStringLiteral("待配货的"), QStringLiteral("已出车的") });
    segmentWidget->setCurrentIndex(0);
    connect(segmentWidget, &SegmentWidget::signal_item_clicked, this, &HomeActivity::slot_sgementitem_clicked);

    buildBoard();
    connect(API::instance(), &API::signal_records_changed, this, &HomeActivity::slot_records_changed);

    sideBar = new SideBar(this);
    sideLayout->addWidget(sideBar);

    buildFeedbackDialog();
}

void HomeActivity::buildBoard()
{
    boardContainer->setObjectName(QStringLiteral("boardContainer"));
    boardGrid->setSpacing(5);
    boardGrid->setContentsMargins(0, 5, 0, 0);
    // A row of fewer tiles keeps its tiles a quarter of the board wide.
    for (int column = 0; column < TilesPerRow; ++column)
        boardGrid->setColumnStretch(column, 1);

    boardScrollArea->setObjectName(QStringLiteral("boardScrollArea"));
    // The tiles' rules sit beside the board's own, so that one sheet, parsed
    // once, styles every tile.
    boardScrollArea->setStyleSheet(
        QStringLiteral("*{background:transparent;border:none;}") + TruckItem::boardStyleSheet());
    boardScrollArea->setFrameShape(QFrame::NoFrame);
    boardScrollArea->setAlignment(Qt::AlignHCenter);
    boardScrollArea->setWidget(boardContainer);
    connect(boardScrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
        &HomeActivity::slot_scroller_top_bottom_reached);
    bodyLayout->addWidget(boardScrollArea);
}

void HomeActivity::buildFeedbackDialog()
{
    feedbackDialog = new DialogWidget(this);
    // The dialog keeps its own object name: its style sheet dims the screen
    // through "#Main". Tests and assistive tools find it by this name.
    feedbackDialog->setAccessibleName(QStringLiteral("意见反馈"));
    feedbackDialog->setTitle(QStringLiteral("意见反馈"));

    auto* content = new QFrame(this);
    content->setStyleSheet(QStringLiteral("border:none;background:white;"));
    auto* grid = new QGridLayout(content);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 10);

    categoryBox = new QComboBox(content);
    categoryBox->setObjectName(QStringLiteral("feedbackCategory"));
    categoryBox->addItem(QStringLiteral("功能建议"), 0);
    categoryBox->addItem(QStringLiteral("错误报告"), 1);
    categoryBox->addItem(QStringLiteral("其它"), 2);
    contentEdit = new QPlainTextEdit(content);
    contentEdit->setObjectName(QStringLiteral("feedbackContent"));
    contentEdit->setFixedWidth(400);

    grid->addWidget(new QLabel(QStringLiteral("类别:"), content), 0, 0, Qt::AlignRight);
    grid->addWidget(categoryBox, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("内容:"), content), 1, 0, Qt::AlignRight);
    grid->addWidget(contentEdit, 1, 1, Qt::AlignLeft);
    feedbackDialog->setContent(content);

    connect(feedbackDialog, &DialogWidget::signal_ok, this, &HomeActivity::slot_feedback_ok_clicked);
}

void HomeActivity::slot_action()
{
    // The home screen has no action button.
}

void HomeActivity::slot_scroller_top_bottom_reached(int pos)
{
    // The board is not paged.
    Q_UNUSED(pos)
}

void HomeActivity::showEvent(QShowEvent* event)
{
    BaseActivity::showEvent(event);
    // The first load shows every truck, although the first segment is marked;
    // a board that missed a change while hidden asks for the group it shows.
    if (!loaded || stale)
        fetchGroup(shownGroup);
}

void HomeActivity::slot_records_changed(RecordKind kind)
{
    // A tile shows its truck, its loads and their shippers. The changes made
    // on the board itself (a departure, an arrival, a packing) show in their
    // tiles at once; the board asks for every change when it is next shown.
    if (kind != RecordKind::Consignee)
        stale = true;
}

void HomeActivity::fetchGroup(int group)
{
    stale = false;
    shownGroup = group;
    // Only the latest group asked for may fill the board.
    if (boardCall)
        boardCall->abandon();
    boardCall = API::instance()->fetchTruckGroup(group)->then(this, [this, group](const ApiAnswer& answer) {
        boardCall.clear();
        QJsonArray trucks = answer.data.toArray();
        if (answer.success && group < 0) {
            // Every truck came: the board shows the marked segment's group.
            int marked = 0;
            for (int i = 0; i < segmentWidget->items().size(); ++i)
                marked = segmentWidget->items().at(i)->isChecked() ? i : marked;
            QJsonArray shown;
            int inGroup[2] = { 0, 0 };
            for (const QJsonValue& truck : qAsConst(trucks)) {
                const int status = truck.toObject().value(QLatin1String("status")).toVariant().toInt();
                if (status == 0 || status == 1)
                    ++inGroup[status];
                if (status == marked)
                    shown.append(truck);
            }
            setCounts(inGroup[0], inGroup[1]);
            trucks = shown;
        } else if (answer.success) {
            setCounts(group == 0 ? trucks.size() : -1, group == 1 ? trucks.size() : -1);
        }
        slot_fetch_truck_finished(answer.success ? &trucks : nullptr, answer.errors);
    });
}

void HomeActivity::setCounts(int resting, int onTheRoad)
{
    const QStringList captions { QStringLiteral("待配货的"), QStringLiteral("已出车的") };
    const int given[2] = { resting, onTheRoad };
    const QList<SegmentItemButton*>& segments = segmentWidget->items();
    for (int i = 0; i < 2 && i < segments.size(); ++i) {
        if (given[i] >= 0)
            counts[i] = given[i];
        segments.at(i)->setText(
            counts[i] < 0 ? captions.at(i) : QStringLiteral("%1 (%2)").arg(captions.at(i)).arg(counts[i]));
    }
}

void HomeActivity::reloadFromStart()
{
    fetchGroup(shownGroup);
}

void HomeActivity::slot_sgementitem_clicked(unsigned int buttonIdex, SegmentItemButton* sender)
{
    Q_UNUSED(sender)
    fetchGroup(static_cast<int>(buttonIdex));
}

void HomeActivity::slot_fetch_truck_finished(QJsonArray* trucks, const QString errors)
{
    Q_UNUSED(errors)
    loaded = true;
    hideLoading();
    // A truck answered again keeps its tile, which takes the new record;
    // the tiles of trucks no longer answered go.
    QHash<int, TruckItem*> previous;
    while (QLayoutItem* item = boardGrid->takeAt(0)) {
        if (auto* tile = qobject_cast<TruckItem*>(item->widget())) {
            TruckItem*& slot = previous[tile->id()];
            delete slot;
            slot = tile;
        }
        delete item;
    }
    qDebug() << "**********slot_fetch_truck_finished**********";
    const int count = trucks ? trucks->size() : 0;
    for (int i = 0; i < count; ++i) {
        const QJsonObject record = trucks->at(i).toObject();
        TruckItem* tile = previous.take(record.value(QLatin1String("id")).toVariant().toInt());
        if (tile) {
            tile->setRecord(record);
        } else {
            // Made in the board; the packing screens they open take the home
            // screen's controller as parent.
            tile = new TruckItem(record, parentWidget(), boardContainer);
            connect(tile, &TruckItem::signal_truck_clicked, this, &HomeActivity::slot_truck_clicked);
            connect(tile, &TruckItem::signal_status_answered, this, &HomeActivity::slot_change_truck_status_finished);
        }
        boardGrid->addWidget(tile, i / TilesPerRow, i % TilesPerRow);
    }
    qDeleteAll(previous);
    if (count == 0) {
        // Nothing left to scroll over.
        boardContainer->setFixedSize(qMax(0, boardWidth), 0);
        showNoData();
        return;
    }
    hideNoData();
    const int rows = (count + TilesPerRow - 1) / TilesPerRow;
    boardContainer->setFixedSize(qMax(0, boardWidth), rows * RowHeight);
}

void HomeActivity::slot_truck_clicked(TruckItem* p)
{
    currentTile = p;
}

void HomeActivity::slot_change_truck_status_finished(bool success, int status, const QString errors)
{
    // A tile's answer, which the tile has taken already. The truck moved from
    // one group to the other.
    Q_UNUSED(errors)
    if (success && counts[0] >= 0 && counts[1] >= 0) {
        const int from = status == 0 ? 1 : 0;
        if (counts[from] > 0)
            setCounts(from == 0 ? counts[0] - 1 : counts[0] + 1, from == 1 ? counts[1] - 1 : counts[1] + 1);
    }
    if (!success)
        GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("操作失败！"));
}

void HomeActivity::slot_feedback_clicked()
{
    feedbackDialog->resize(size());
    feedbackDialog->show();
    feedbackDialog->raise();
}

void HomeActivity::slot_feedback_ok_clicked(DialogWidget* dlg, QWidget* container)
{
    Q_UNUSED(dlg)
    Q_UNUSED(container)
    if (feedbackGuard.isHeld())
        return;
    if (categoryBox->currentText().isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("请选择反馈类别！"));
        categoryBox->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QString text = contentEdit->toPlainText().trimmed();
    if (text.isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("提醒"), QStringLiteral("请输入反馈内容！"));
        contentEdit->setFocus(Qt::OtherFocusReason);
        return;
    }
    feedbackGuard.hold();
    API::instance()->submitFeedback(categoryBox->currentIndex(), text)->then(this, [this](const ApiAnswer& answer) {
        slot_submit_feedback_finished(answer.success, answer.errors);
    });
}

void HomeActivity::slot_submit_feedback_finished(bool success, const QString errors)
{
    Q_UNUSED(errors)
    feedbackGuard.release();
    if (success) {
        QMessageBox::information(nullptr, QStringLiteral("提醒"), QStringLiteral("反馈成功！"));
        feedbackDialog->hide();
        contentEdit->clear();
    } else {
        QMessageBox::warning(nullptr, QStringLiteral("错误"), QStringLiteral("抱歉，反馈失败！"));
    }
}

void HomeActivity::resizeEvent(QResizeEvent* event)
{
    BaseActivity::resizeEvent(event);
    segmentWidget->setGeometry(width() - 390, 2, 160, 30);
    boardWidth = width() - 255;
    // A board already built follows the new width; its height stays.
    if (boardContainer->height() > 0)
        boardContainer->setFixedWidth(qMax(0, boardWidth));
    feedbackDialog->resize(size());
}
