#include "screens/trades/tradelistactivity.h"

#include "net/api.h"
#include "screens/lists/paperjob.h"
#include "screens/trades/historydialog.h"
#include "screens/trades/traderow.h"
#include "widgets/dialogwidget.h"
#include "widgets/guardedmessagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>

TradeListActivity::TradeListActivity(QWidget* parent)
    : PagedListActivity(parent)
{
    setObjectName(QStringLiteral("TradeListActivity"));
    setTitle(QStringLiteral("业务管理"));
    setSearchHint(QStringLiteral("搜索车牌、客户、货物"));
    buildDateRange();
    buildDashboard();
    // A row names its truck and its parties too.
    showsRecords({ RecordKind::Trade, RecordKind::Truck, RecordKind::Shipper, RecordKind::Consignee });
}

TradeListActivity::TradeListActivity(const QString& title, PageRequest request, QWidget* parent)
    : TradeListActivity(parent)
{
    setObjectName(QStringLiteral("SelectedTradeListActivity"));
    setTitle(title);
    showBackButton();
    pageRequest = std::move(request);
    // Its trades are chosen by the screen that opened it.
    hideSearch();
    dateRange->hide();
}

void TradeListActivity::buildDateRange()
{
    auto* range = dateRange = new QWidget;
    range->setObjectName(QStringLiteral("DateRange"));
    // The header's own rule (a green background, a bottom border) would
    // reach the fields too.
    range->setStyleSheet(QStringLiteral("#DateRange,QLabel{border:none;background:transparent;}"
                                        // A brush would hide the tick box's frame (see ApplicationLook).
                                        "QCheckBox{border:none;background:none;}"
                                        "QDateEdit{background:white;border:1px solid #42A85B;border-radius:4px;"
                                        "padding:0px 2px;font-size:12px;}"
                                        "QDateEdit:disabled{color:#999999;border-color:#cccccc;}"));
    auto* layout = new QHBoxLayout(range);
    layout->setContentsMargins(0, 0, 6, 0);
    layout->setSpacing(4);
    dateRangeCheck = new QCheckBox(QStringLiteral("日期"), range);
    dateRangeCheck->setObjectName(QStringLiteral("DateRangeCheck"));
    const QDate today = QDate::currentDate();
    fromDate = new QDateEdit(today.addDays(-30), range);
    fromDate->setObjectName(QStringLiteral("FromDate"));
    toDate = new QDateEdit(today, range);
    toDate->setObjectName(QStringLiteral("ToDate"));
    layout->addWidget(dateRangeCheck);
    for (QDateEdit* edit : { fromDate, toDate }) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setCalendarPopup(true);
        edit->setFixedHeight(24);
        edit->setEnabled(false);
        if (edit == toDate)
            layout->addWidget(new QLabel(QStringLiteral("至"), range));
        layout->addWidget(edit);
        connect(edit, &QDateEdit::dateChanged, this, &TradeListActivity::scheduleSearch);
    }
    connect(dateRangeCheck, &QCheckBox::toggled, this, [this](bool on) {
        fromDate->setEnabled(on);
        toDate->setEnabled(on);
        scheduleSearch();
    });
    addHeaderWidget(range, searchBox);
}

void TradeListActivity::applySearchFilters()
{
    const bool on = dateRangeCheck->isChecked();
    shownFrom = on ? fromDate->date() : QDate();
    shownTo = on ? toDate->date() : QDate();
}

void TradeListActivity::buildDashboard()
{
    dashboard = new DialogWidget(this);
    dashboard->setAccessibleName(QStringLiteral("dashboardDialog"));
    dashboard->setTitle(QStringLiteral("业务操作"));

    auto* content = new QFrame(this);
    content->setStyleSheet(QStringLiteral("border:none;background:white;"));
    auto* grid = new QGridLayout(content);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 2);

    // A blank choice sends -1: leave that state as it is.
    payoutChoice = new QComboBox(content);
    payoutChoice->setObjectName(QStringLiteral("payoutChoice"));
    payoutChoice->setFixedWidth(150);
    payoutChoice->addItem(QString(), -1);
    payoutChoice->addItem(QStringLiteral("未付"), 0);
    payoutChoice->addItem(QStringLiteral("部分支付"), 1);
    payoutChoice->addItem(QStringLiteral("已全部支付"), 2);

    collectionChoice = new QComboBox(content);
    collectionChoice->setObjectName(QStringLiteral("collectionChoice"));
    collectionChoice->setFixedWidth(150);
    collectionChoice->addItem(QString(), -1);
    collectionChoice->addItem(QStringLiteral("未付"), 0);
    collectionChoice->addItem(QStringLiteral("已付"), 1);

    // The trade being settled, so that the clerk sees which one it is.
    tradeLabel = new QLabel(content);
    tradeLabel->setObjectName(QStringLiteral("settledTrade"));
    tradeLabel->setTextFormat(Qt::PlainText);
    tradeLabel->setAlignment(Qt::AlignCenter);

    grid->addWidget(tradeLabel, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("支付司机:"), content), 1, 0, Qt::AlignRight);
    grid->addWidget(payoutChoice, 1, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("支付代收款:"), content), 2, 0, Qt::AlignRight);
    grid->addWidget(collectionChoice, 2, 1, Qt::AlignLeft);
    auto* printButton = new QPushButton(QStringLiteral("打印托运单"), content);
    printButton->setObjectName(QStringLiteral("printWaybillButton"));
    printButton->setFixedWidth(150);
    grid->addWidget(printButton, 3, 1, Qt::AlignLeft);
    // The trade's history, over the list: the row's press and this one.
    auto* historyButton = new QToolButton(content);
    historyButton->setObjectName(QStringLiteral("historyButton"));
    historyButton->setText(QStringLiteral("查看历史记录"));
    historyButton->setCursor(Qt::PointingHandCursor);
    historyButton->setStyleSheet(QStringLiteral("QToolButton{border:none;color:#054500;text-decoration:underline;}"));
    grid->addWidget(historyButton, 4, 1, Qt::AlignLeft);
    dashboard->setContent(content);
    connect(printButton, &QPushButton::clicked, this, &TradeListActivity::slot_print_waybill);
    connect(historyButton, &QToolButton::clicked, this, [this] {
        dashboard->hide();
        if (!history)
            history = new HistoryDialog(this);
        history->open(RecordKind::Trade, tradeId);
    });

    connect(dashboard, &DialogWidget::signal_ok, this, &TradeListActivity::slot_dashboard_ok_clicked);
}

void TradeListActivity::slot_print_waybill()
{
    // The dialog is about the trade pressed last; its row holds the record.
    for (TradeItem* row : findChildren<TradeItem*>()) {
        if (row->tradeId() == tradeId) {
            PaperJob::waybill(row->record(), PaperJob::Output::Preview, this);
            return;
        }
    }
}

void TradeListActivity::slot_action()
{
    // Does nothing: the trade list has no action button.
}

ApiCall* TradeListActivity::requestPage(int pageNumber)
{
    if (pageRequest)
        return pageRequest(pageNumber);
    return API::instance()->fetchTrade(pageNumber, searchText(), shownFrom, shownTo);
}

void TradeListActivity::takePage(QJsonArray* rows, const QString& errors)
{
    slot_fetch_trade_finished(rows, errors);
}

QWidget* TradeListActivity::createRow(const QJsonObject& record, int number)
{
    auto* row = new TradeItem(record, number, dashboard, listContainer);
    connect(row, &TradeItem::signal_item_clicked, this, &TradeListActivity::slot_item_clicked);
    return row;
}

QList<ExportTable::Column> TradeListActivity::exportColumns() const
{
    using Kind = ExportTable::Kind;
    const auto isAgency = [](const QJsonObject& trade) -> QJsonValue {
        return trade.value(QLatin1String("is_agency")).toBool() ? QStringLiteral("是") : QStringLiteral("否");
    };
    return {
        { QStringLiteral("托运时间"), Kind::DateTime, QStringLiteral("create_time") },
        { QStringLiteral("承运车辆"), Kind::Text, QStringLiteral("truck_number") },
        { QStringLiteral("托运人"), Kind::Text, QStringLiteral("shipper_name") },
        { QStringLiteral("收货人"), Kind::Text, QStringLiteral("consignee_name") },
        { QStringLiteral("线路"), Kind::Text, QStringLiteral("line") },
        { QStringLiteral("货物"), Kind::Text, QStringLiteral("goods") },
        { QStringLiteral("重量(吨)"), Kind::Number, QStringLiteral("weight") },
        { QStringLiteral("价值(元)"), Kind::Money, QStringLiteral("value") },
        { QStringLiteral("代收款"), Kind::Text, QString(), isAgency },
        { QStringLiteral("运费收入(元)"), Kind::Money, QStringLiteral("revenue") },
        { QStringLiteral("应支付司机(元)"), Kind::Money, QStringLiteral("payout") },
        { QStringLiteral("支付司机"), Kind::Text, QStringLiteral("payout_status_text") },
        { QStringLiteral("代收款状态"), Kind::Text, QStringLiteral("agency_status_text") },
        { QStringLiteral("代收款支付时间"), Kind::DateTime, QStringLiteral("pay_agency_time") },
        { QStringLiteral("状态"), Kind::Text, QStringLiteral("status_text") },
        { QStringLiteral("发车时间"), Kind::DateTime, QStringLiteral("start_time") },
        { QStringLiteral("完成时间"), Kind::DateTime, QStringLiteral("complete_time") },
        { QStringLiteral("备注"), Kind::Text, QStringLiteral("notes") },
    };
}

void TradeListActivity::slot_fetch_trade_finished(QJsonArray* trades, const QString errors)
{
    Q_UNUSED(errors)
    appendPage(trades, "slot_fetch_trade_finished");
}

void TradeListActivity::slot_item_clicked(int index, int id)
{
    Q_UNUSED(index)
    tradeId = id;
    // The dialog opens on the pressed trade's present states, never on the
    // choices made for another trade.
    settledRow = qobject_cast<TradeItem*>(sender());
    const QJsonObject trade = settledRow ? settledRow->record() : QJsonObject();
    const auto state = [&trade](const char* key) {
        const QJsonValue value = trade.value(QLatin1String(key));
        return value.isUndefined() || value.isNull() ? -1 : value.toVariant().toInt();
    };
    const auto select = [](QComboBox* choice, int code) { choice->setCurrentIndex(qMax(0, choice->findData(code))); };
    select(payoutChoice, state("payout_status"));
    select(collectionChoice, state("agency_status"));
    const auto text = [&trade](const char* key) { return trade.value(QLatin1String(key)).toString(); };
    tradeLabel->setText(
        text("truck_number") + QStringLiteral("  ") + text("shipper_name") + QStringLiteral("托运的") + text("goods"));
}

void TradeListActivity::slot_dashboard_ok_clicked(DialogWidget* dlg, QWidget* content)
{
    Q_UNUSED(dlg)
    Q_UNUSED(content)
    const int payout = payoutChoice->currentData().toInt();
    const int collection = collectionChoice->currentData().toInt();
    // One settlement at a time: the loading overlay covers the dialog.
    if (statusCall)
        return;
    showLoading(QStringLiteral("正在保存数据，请稍候..."));
    const QPointer<TradeItem> row = settledRow;
    const QString payoutText = payoutChoice->currentText();
    const QString collectionText = collectionChoice->currentText();
    statusCall = API::instance()->changeTradeStatus(tradeId, payout, collection);
    statusCall->then(this, [=](const ApiAnswer& answer) {
        statusCall.clear();
        if (answer.success && row)
            row->takeSettlement(payout, payoutText, collection, collectionText);
        slot_change_trade_status_finished(answer.success, answer.errors);
    });
}

void TradeListActivity::slot_change_trade_status_finished(bool success, const QString errors)
{
    hideLoading();
    if (success) {
        dashboard->hide();
        GuardedMessageBox::information(this, QStringLiteral("提醒"), QStringLiteral("保存成功！"));
        return;
    }
    // Money changes hands here: a refusal must not pass for a recorded
    // payment. The dialog stays open with the choices made, to retry or cancel.
    GuardedMessageBox::warning(this, QStringLiteral("抱歉"), QStringLiteral("保存失败！\n") + errors);
}

void TradeListActivity::resizeEvent(QResizeEvent* event)
{
    PagedListActivity::resizeEvent(event);
    dashboard->resize(size());
}
