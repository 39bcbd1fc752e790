#include "screens/tradelistactivity.h"

#include "net/api.h"
#include "screens/historydialog.h"
#include "screens/tradeitem.h"
#include "widgets/dialogwidget.h"
#include "widgets/guardedmessagebox.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QJsonArray>
#include <QLabel>
#include <QResizeEvent>
#include <QToolButton>

TradeListActivity::TradeListActivity(QWidget* parent)
    : PagedListActivity(parent)
{
    setObjectName(QStringLiteral("TradeListActivity"));
    setTitle(QStringLiteral("业务管理"));
    buildDashboard();
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

    grid->addWidget(new QLabel(QStringLiteral("支付司机:"), content), 0, 0, Qt::AlignRight);
    grid->addWidget(payoutChoice, 0, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(QStringLiteral("支付代收款:"), content), 1, 0, Qt::AlignRight);
    grid->addWidget(collectionChoice, 1, 1, Qt::AlignLeft);
    // The trade's history, over the list: the row's press and this one.
    auto* historyButton = new QToolButton(content);
    historyButton->setObjectName(QStringLiteral("historyButton"));
    historyButton->setText(QStringLiteral("查看历史记录"));
    historyButton->setCursor(Qt::PointingHandCursor);
    historyButton->setStyleSheet(QStringLiteral("QToolButton{border:none;color:#054500;text-decoration:underline;}"));
    grid->addWidget(historyButton, 2, 1, Qt::AlignLeft);
    dashboard->setContent(content);
    connect(historyButton, &QToolButton::clicked, this, [this] {
        dashboard->hide();
        if (!history)
            history = new HistoryDialog(this);
        history->open(RecordKind::Trade, tradeId);
    });

    connect(dashboard, &DialogWidget::signal_ok, this, &TradeListActivity::slot_dashboard_ok_clicked);
    connect(API::instance(), &API::signal_change_trade_status_finished, this,
        &TradeListActivity::slot_change_trade_status_finished);
}

void TradeListActivity::slot_action()
{
    // Does nothing: the trade list has no action button.
}

int TradeListActivity::requestPage(int pageNumber)
{
    return API::instance()->fetchTrade(pageNumber)->request();
}

QWidget* TradeListActivity::createRow(const QJsonObject& record, int number)
{
    auto* row = new TradeItem(record, number, dashboard, parentWidget());
    connect(row, &TradeItem::signal_item_clicked, this, &TradeListActivity::slot_item_clicked);
    return row;
}

void TradeListActivity::takeOverAnswers()
{
    connect(API::instance(), &API::signal_fetch_trade_finished, this, &TradeListActivity::slot_fetch_trade_finished,
        Qt::UniqueConnection);
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
}

void TradeListActivity::slot_dashboard_ok_clicked(DialogWidget* dlg, QWidget* content)
{
    Q_UNUSED(dlg)
    Q_UNUSED(content)
    const int payout = payoutChoice->currentData().toInt();
    const int collection = collectionChoice->currentData().toInt();
    showLoading(QStringLiteral("正在保存数据，请稍候..."));
    statusRequest = API::instance()->changeTradeStatus(tradeId, payout, collection)->request();
}

void TradeListActivity::slot_change_trade_status_finished(bool success, const QString errors)
{
    if (API::instance()->answeredRequest() != statusRequest)
        return;
    statusRequest = 0;
    hideLoading();
    if (success) {
        dashboard->hide();
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
