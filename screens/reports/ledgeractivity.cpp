#include "screens/reports/ledgeractivity.h"

#include "documents/money.h"
#include "net/api.h"
#include "screens/lists/pagedlistactivity.h"
#include "screens/reports/ledgerrow.h"
#include "screens/trades/tradelistactivity.h"
#include "shell/activitycontroller.h"

#include <QDateTime>
#include <QDebug>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace {

struct LedgerColumn
{
    QString title;
    int stretch;
    ExportTable::Kind kind;
};

QVector<LedgerColumn> columnsOf(LedgerActivity::Kind kind)
{
    using K = ExportTable::Kind;
    if (kind == LedgerActivity::Kind::Agency)
        return { { QStringLiteral("托运人"), 3, K::Text }, { QStringLiteral("笔数"), 1, K::Integer },
            { QStringLiteral("未付代收款（元）"), 2, K::Money }, { QStringLiteral("最早托运时间"), 3, K::DateTime },
            { QStringLiteral("已欠天数"), 1, K::Integer } };
    return { { QStringLiteral("车牌号"), 2, K::Text }, { QStringLiteral("司机"), 2, K::Text },
        { QStringLiteral("笔数"), 1, K::Integer }, { QStringLiteral("应支付司机（元）"), 2, K::Money } };
}

const int agencyAgeCell = 4;

QString text(const QJsonObject& row, const char* key)
{
    return row.value(QLatin1String(key)).toString();
}

qint64 integer(const QJsonObject& row, const char* key)
{
    return row.value(QLatin1String(key)).toVariant().toLongLong();
}

} // namespace

LedgerActivity::LedgerActivity(Kind kind, QWidget* parent)
    : ReportActivity(parent)
    , ledgerKind(kind)
    , scrollArea(new QScrollArea(this))
    , rowsContainer(new QWidget)
    , rowsLayout(new QVBoxLayout(rowsContainer))
    , totalLabel(new QLabel(this))
{
    const bool agency = kind == Kind::Agency;
    setObjectName(agency ? QStringLiteral("AgencyLedgerActivity") : QStringLiteral("PayoutLedgerActivity"));
    setTitle(agency ? QStringLiteral("代收款台账") : QStringLiteral("司机运费"));
    showBackButton();
    setActionButton(QStringLiteral("刷新"), this);
    // The rows' striping is selected here, over the white of the screen.
    setStyleSheet(QStringLiteral("*{background:white;}") + PagedListActivity::rowStyleRules());

    auto* header = new QFrame(this);
    header->setObjectName(QStringLiteral("ledgerHeader"));
    header->setFixedHeight(32);
    header->setStyleSheet(QStringLiteral("#ledgerHeader{background:#E7F7D9;border-bottom:1px solid #42A85B;}"
                                         "QLabel{color:#054500;background:transparent;font-weight:bold;}"));
    auto* headerLayout = new QHBoxLayout(header);
    // The rows below lose the scroll bar's width: the titles stay above their cells.
    headerLayout->setContentsMargins(20, 0, 20 + style()->pixelMetric(QStyle::PM_ScrollBarExtent), 0);
    for (const LedgerColumn& column : columnsOf(kind))
        headerLayout->addWidget(new QLabel(column.title, header), column.stretch);

    scrollArea->setObjectName(QStringLiteral("ledgerScrollArea"));
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    rowsLayout->addStretch(1);
    scrollArea->setWidget(rowsContainer);

    totalLabel->setObjectName(QStringLiteral("ledgerTotal"));
    totalLabel->setTextFormat(Qt::PlainText);
    totalLabel->setStyleSheet(QStringLiteral("padding:8px 20px;border-top:1px solid #42A85B;color:#054500;"));

    bodyLayout->setSpacing(0);
    bodyLayout->addWidget(header);
    bodyLayout->addWidget(scrollArea, 1);
    bodyLayout->addWidget(totalLabel);
}

int LedgerActivity::ageInDays(const QString& oldest, const QDate& today)
{
    const QDateTime time = QDateTime::fromString(oldest, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        return -1;
    return static_cast<int>(time.date().daysTo(today));
}

QString LedgerActivity::ageMark(int days)
{
    if (days > 30)
        return QStringLiteral("month");
    if (days > 7)
        return QStringLiteral("week");
    return QString();
}

void LedgerActivity::slot_action()
{
    fetch();
}

void LedgerActivity::fetch()
{
    if (fetching)
        fetching->abandon();
    stale = false;
    showLoading(QString());
    API* api = API::instance();
    fetching = ledgerKind == Kind::Agency ? api->fetchAgencyReport() : api->fetchPayoutReport();
    fetching->then(this, [this](const ApiAnswer& answer) {
        fetching.clear();
        slot_fetch_report_finished(answer);
    });
}

void LedgerActivity::clearRows()
{
    while (rowsLayout->count() > 1) {
        QLayoutItem* item = rowsLayout->takeAt(0);
        delete item->widget();
        delete item;
    }
}

void LedgerActivity::slot_fetch_report_finished(const ApiAnswer& answer)
{
    hideLoading();
    if (!answer.success) {
        qDebug() << "ledger fetch failed:" << answer.errors;
        // What was shown stays; the clerk is told it may be out of date.
        totalLabel->setText(QStringLiteral("读取失败，请刷新重试。") + answer.errors);
        if (!loaded)
            showNoData();
        return;
    }
    loaded = true;
    clearRows();
    rows = answer.data.toArray();
    const bool agency = ledgerKind == Kind::Agency;
    const QDate today = QDate::currentDate();
    QVector<int> stretches;
    for (const LedgerColumn& column : columnsOf(ledgerKind))
        stretches << column.stretch;
    qint64 trades = 0;
    int number = 0;
    for (const QJsonValue& value : qAsConst(rows)) {
        const QJsonObject row = value.toObject();
        const QString amount = Money::text(Money::cents(row.value(QLatin1String("amount"))));
        const QString count = QString::number(integer(row, "trades"));
        trades += integer(row, "trades");
        QStringList cells;
        QString age;
        int id = 0;
        if (agency) {
            id = static_cast<int>(integer(row, "shipper_id"));
            const int days = ageInDays(text(row, "oldest"), today);
            age = ageMark(days);
            cells << text(row, "shipper_name") << count << amount << text(row, "oldest")
                  << (days < 0 ? QString() : QString::number(days));
        } else {
            id = static_cast<int>(integer(row, "truck_id"));
            cells << text(row, "truck_number") << text(row, "driver1_name") << count << amount;
        }
        auto* item = new LedgerItem(id, cells, stretches, agency ? agencyAgeCell : -1, age, ++number, rowsContainer);
        connect(item, &LedgerItem::signal_item_clicked, this, &LedgerActivity::slot_item_clicked);
        rowsLayout->insertWidget(rowsLayout->count() - 1, item);
    }
    if (rows.isEmpty())
        showNoData();
    else
        hideNoData();
    totalLabel->setText(QStringLiteral("合计：%1笔，%2元").arg(trades).arg(Money::text(Money::cents(answer.total))));
}

void LedgerActivity::slot_item_clicked(int id)
{
    ActivityController* host = controller();
    if (!host || !ActivityController::acceptsPressFrom(this))
        return;
    QString name;
    for (const QJsonValue& value : qAsConst(rows)) {
        const QJsonObject row = value.toObject();
        if (integer(row, ledgerKind == Kind::Agency ? "shipper_id" : "truck_id") == id)
            name = text(row, ledgerKind == Kind::Agency ? "shipper_name" : "truck_number");
    }
    const Kind kind = ledgerKind;
    auto* trades = new TradeListActivity(
        name + (kind == Kind::Agency ? QStringLiteral(" 未付代收款") : QStringLiteral(" 未付运费")),
        [kind, id](int page) {
            API* api = API::instance();
            return kind == Kind::Agency ? api->fetchAgencyReport(id, page) : api->fetchPayoutReport(id, page);
        });
    host->startActivity(trades, false, true);
}

ExportTable LedgerActivity::table() const
{
    ExportTable table;
    table.name = titleLabel->text();
    for (const LedgerColumn& column : columnsOf(ledgerKind))
        table.columns.append({ column.title, column.kind, QString() });
    const QDate today = QDate::currentDate();
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        const double amount = Money::yuan(Money::cents(row.value(QLatin1String("amount"))));
        if (ledgerKind == Kind::Agency) {
            const QDateTime oldest = QDateTime::fromString(text(row, "oldest"), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            table.rows.append({ text(row, "shipper_name"), integer(row, "trades"), amount, oldest,
                static_cast<qint64>(ageInDays(text(row, "oldest"), today)) });
        } else {
            table.rows.append({ text(row, "truck_number"), text(row, "driver1_name"), integer(row, "trades"), amount });
        }
    }
    return table;
}
