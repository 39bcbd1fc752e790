#include "tradeservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "history.h"
#include "jsonwriter.h"
#include "partyservice.h"
#include "searchindex.h"
#include "sessionservice.h"
#include "sql.h"
#include "truckservice.h"

#include <QDate>
#include <QJsonDocument>
#include <QRegularExpression>

namespace platform {

namespace {

const double maxAmount = 1e10;

QString statusText(qint64 status)
{
    switch (status) {
    case 0:
        return QStringLiteral("待发车");
    case 1:
        return QStringLiteral("运输在途");
    case 2:
        return QStringLiteral("完成");
    default:
        return QString();
    }
}

// A settlement state: 0 to `max`, or -1 for "leave it as it is". The client
// writes status values as unsigned 32-bit numbers, so its -1 arrives as
// 4294967295; both spellings mean the same.
int settlementState(const ApiRequest& request, const QString& key, const QString& label, int max)
{
    const qint64 unsignedMinusOne = 0xFFFFFFFFLL;
    const qint64 value = request.integer(key, label, -1, unsignedMinusOne, true);
    if (value == unsignedMinusOne)
        return -1;
    if (value > max)
        throw ApiError(QStringLiteral("%1无效！").arg(label));
    return static_cast<int>(value);
}

// The day `key` names ("YYYY-MM-DD"), `daysAfter` days on, as the start of
// a consignment time; empty when the request names none.
QString dayBound(const ApiRequest& request, const QString& key, const QString& label, int daysAfter)
{
    static const QRegularExpression day(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    const QString text = request.matching(key, label, day, false);
    if (text.isEmpty())
        return QString();
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid())
        throw ApiError(QStringLiteral("%1无效！").arg(label));
    return date.addDays(daysAfter).toString(Qt::ISODate);
}

void requireRestingTruck(const ApiContext& context, qint64 truck)
{
    if (TruckService::requireTruck(context, truck) != 0)
        throw ApiError(QStringLiteral("该车已出车，不能配货！"));
}

struct TradeFields
{
    qint64 truck = 0;
    qint64 shipper = 0;
    qint64 consignee = 0;
    QString line;
    QString goods;
    double weight = 0;
    double value = 0;
    bool isAgency = false;
    double revenue = 0;
    double payout = 0;
    QString notes;
};

TradeFields readFields(const ApiRequest& request)
{
    request.requireOwnOrgan();
    TradeFields f;
    f.truck = request.id(QStringLiteral("truck"), QStringLiteral("货车"));
    f.shipper = request.id(QStringLiteral("shipper"), QStringLiteral("托运人"));
    f.consignee = request.id(QStringLiteral("consignee"), QStringLiteral("收货人"));
    f.line = request.text(QStringLiteral("line"), QStringLiteral("线路"), 100, true);
    f.goods = request.text(QStringLiteral("goods"), QStringLiteral("货物"), 100, true);
    f.weight = request.decimal(QStringLiteral("weight"), QStringLiteral("重量"), 0, 100000, 3, true);
    // Nothing is packed that weighs nothing.
    if (f.weight <= 0)
        throw ApiError(QStringLiteral("重量必须大于0！"));
    f.value = request.decimal(QStringLiteral("value"), QStringLiteral("价值"), 0, maxAmount, 2, false);
    // The packing screen's blank choice (-1) means no collection.
    f.isAgency = request.integer(QStringLiteral("is_agency"), QStringLiteral("是否代收款"), -1, 1, false) == 1;
    f.revenue = request.decimal(QStringLiteral("revenue"), QStringLiteral("收入"), 0, maxAmount, 2, false);
    f.payout = request.decimal(QStringLiteral("payout"), QStringLiteral("支出"), 0, maxAmount, 2, false);
    f.notes = request.text(QStringLiteral("notes"), QStringLiteral("备注"), 500, false);
    return f;
}

// Binds the form's fields in the order of the columns truck, shipper,
// consignee, line, goods, weight, value, is_agency, revenue, payout, notes.
Sql& bindFields(Sql& q, const TradeFields& f)
{
    return q.bind(f.truck)
        .bind(f.shipper)
        .bind(f.consignee)
        .bind(f.line)
        .bind(f.goods)
        .bind(f.weight)
        .bind(f.value)
        .bind(f.isAgency ? 1 : 0)
        .bind(f.revenue)
        .bind(f.payout)
        .bind(f.notes);
}

} // namespace

QString TradeService::selectTrades(const QString& source)
{
    return QStringLiteral("SELECT tr.id, tr.truck, t.number, tr.shipper, s.name, tr.consignee, c.name,"
                          " tr.line, tr.goods, tr.weight, tr.value, tr.is_agency, tr.revenue, tr.payout,"
                          " tr.notes, tr.status, tr.payout_status, tr.agency_status, tr.create_time,"
                          " tr.start_time, tr.complete_time, tr.pay_agency_time,"
                          " s.linkman, s.tel1, s.tel2, c.linkman, c.tel1, c.tel2, t.driver1_name, t.driver1_mobile,"
                          " tr.version FROM %1 JOIN trucks t ON t.id = tr.truck"
                          " JOIN shippers s ON s.id = tr.shipper JOIN consignees c ON c.id = tr.consignee")
        .arg(source);
}

// One trade of the list's query; the keys in the order in which QJsonObject
// would put them. The parties' contacts and phones and the truck's driver
// are there for the waybill that the client prints from the record.
void TradeService::writeTrade(JsonWriter& json, const Sql& q)
{
    const bool isAgency = q.integer(11) != 0;
    const int payoutStatus = static_cast<int>(q.integer(16));
    const int agencyStatus = static_cast<int>(q.integer(17));
    // clang-format off
    json.beginObject()
        .key("agency_status").value(agencyStatus)
        .key("agency_status_text").value(TradeService::agencyText(isAgency, agencyStatus))
        .key("complete_time").value(q.text(20))
        .key("consignee").value(q.integer(5))
        .key("consignee_linkman").value(q.text(25))
        .key("consignee_name").value(q.text(6))
        .key("consignee_tel1").value(q.text(26))
        .key("consignee_tel2").value(q.text(27))
        .key("create_time").value(q.text(18))
        .key("driver_mobile").value(q.text(29))
        .key("driver_name").value(q.text(28))
        .key("goods").value(q.text(8))
        .key("id").value(q.integer(0))
        .key("is_agency").value(isAgency)
        .key("line").value(q.text(7))
        .key("notes").value(q.text(14))
        .key("pay_agency_time").value(q.text(21))
        .key("payout").value(q.real(13))
        .key("payout_status").value(payoutStatus)
        .key("payout_status_text").value(TradeService::payoutText(payoutStatus))
        .key("revenue").value(q.real(12))
        .key("shipper").value(q.integer(3))
        .key("shipper_linkman").value(q.text(22))
        .key("shipper_name").value(q.text(4))
        .key("shipper_tel1").value(q.text(23))
        .key("shipper_tel2").value(q.text(24))
        .key("start_time").value(q.text(19))
        .key("status").value(q.integer(15))
        .key("status_text").value(statusText(q.integer(15)))
        .key("truck").value(q.integer(1))
        .key("truck_number").value(q.text(2))
        .key("value").value(q.real(10))
        .key("version").value(q.integer(30))
        .key("weight").value(q.real(9))
        .endObject();
    // clang-format on
}

QString TradeService::payoutText(int payoutStatus)
{
    switch (payoutStatus) {
    case 0:
        return QStringLiteral("未付");
    case 1:
        return QStringLiteral("部分支付");
    case 2:
        return QStringLiteral("已全部支付");
    default:
        return QString();
    }
}

QString TradeService::agencyText(bool isAgency, int agencyStatus)
{
    if (!isAgency)
        return QString();
    return agencyStatus == 1 ? QStringLiteral("已付") : QStringLiteral("未付");
}

ApiReply TradeService::list(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const qint64 page = request.page();
    const qint64 skipped = (page - 1) * pageSize;
    const QString text = request.name(QStringLiteral("q"), QStringLiteral("搜索内容"), 100, false);
    const QString from = dayBound(request, QStringLiteral("from"), QStringLiteral("开始日期"), 0);
    const QString until = dayBound(request, QStringLiteral("to"), QStringLiteral("结束日期"), 1);

    // Ranks follow the consignment time (see the schema), so the trades of a
    // date range are a range of ranks, found through the time index.
    qint64 lowest = 1;
    qint64 highest = Sql::scalar(
        context.db, QStringLiteral("SELECT max(list_rank) FROM trades WHERE organ = ?"), { request.organ() }, 0)
                         .toLongLong();
    if (!from.isEmpty())
        lowest = Sql::scalar(context.db,
            QStringLiteral("SELECT list_rank FROM trades WHERE organ = ? AND create_time >= ?"
                           " ORDER BY create_time, id LIMIT 1"),
            { request.organ(), from }, highest + 1)
                     .toLongLong();
    if (!until.isEmpty())
        highest = Sql::scalar(context.db,
            QStringLiteral("SELECT list_rank FROM trades WHERE organ = ? AND create_time < ?"
                           " ORDER BY create_time DESC, id DESC LIMIT 1"),
            { request.organ(), until }, 0)
                      .toLongLong();

    const SearchIndex::Match match = SearchIndex::match(context.db, SearchIndex::Target::Trades, text);
    QString statement = selectTrades(match.source)
        + QStringLiteral(" WHERE tr.organ = ? AND tr.list_rank BETWEEN ? AND ?") + match.condition;
    if (!text.isEmpty()) {
        statement += QStringLiteral(" ORDER BY tr.list_rank DESC LIMIT ? OFFSET ?");
    } else {
        // A page is a range of ranks, so the last page costs what the first
        // does.
        statement += QStringLiteral(" ORDER BY tr.list_rank DESC");
        const qint64 newest = highest - skipped;
        lowest = qMax(lowest, newest - pageSize + 1);
        highest = newest;
    }
    Sql q(context.db, statement);
    for (const QVariant& value : match.sourceValues)
        q.bind(value);
    q.bind(request.organ()).bind(lowest).bind(highest);
    for (const QVariant& value : match.conditionValues)
        q.bind(value);
    if (!text.isEmpty())
        q.bind(pageSize).bind(skipped);
    q.exec();
    JsonWriter trades;
    trades.beginArray();
    while (q.next())
        writeTrade(trades, q);
    trades.endArray();
    return ApiReply::okWithJson(trades.bytes())
        .with(QStringLiteral("page"), page)
        .with(QStringLiteral("page_size"), pageSize);
}

QJsonObject TradeService::record(const ApiContext& context, qint64 id)
{
    Sql q(context.db, selectTrades(QStringLiteral("trades tr")) + QStringLiteral(" WHERE tr.organ = ? AND tr.id = ?"));
    q.bind(context.request.organ()).bind(id).exec();
    if (!q.next())
        return QJsonObject();
    JsonWriter json;
    writeTrade(json, q);
    return QJsonDocument::fromJson(json.bytes()).object();
}

ApiReply TradeService::add(ApiContext& context)
{
    const TradeFields f = readFields(context.request);
    requireRestingTruck(context, f.truck);
    PartyService::requireShipper(context, f.shipper);
    PartyService::requireConsignee(context, f.consignee);
    Sql q(context.db,
        QStringLiteral("INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight, value,"
                       " is_agency, revenue, payout, notes, create_time)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.bind(context.request.organ());
    bindFields(q, f).bind(SessionService::now()).exec();
    const qint64 id = q.lastInsertId();
    History::record(context, History::Trade, id, QStringLiteral("add"));
    return ApiReply::ok().with(QStringLiteral("trade_id"), id);
}

ApiReply TradeService::edit(ApiContext& context)
{
    const qint64 id = context.request.segmentId(1, QStringLiteral("业务"));
    qint64 truck = 0;
    qint64 shipper = 0;
    qint64 consignee = 0;
    qint64 status = 0;
    bool wasAgency = false;
    {
        Sql q(context.db,
            QStringLiteral("SELECT truck, shipper, consignee, status, is_agency FROM trades"
                           " WHERE id = ? AND organ = ?"));
        q.bind(id).bind(context.request.organ()).exec();
        if (!q.next())
            throw ApiError(QStringLiteral("业务不存在！"));
        truck = q.integer(0);
        shipper = q.integer(1);
        consignee = q.integer(2);
        status = q.integer(3);
        wasAgency = q.integer(4) != 0;
    }
    const TradeFields f = readFields(context.request);
    // A load on the road or delivered stays on its truck; records it already
    // names stay valid even if they were deleted since.
    if (f.truck != truck) {
        if (status != 0)
            throw ApiError(QStringLiteral("已发车的业务不能更换货车！"));
        requireRestingTruck(context, f.truck);
    }
    if (f.shipper != shipper)
        PartyService::requireShipper(context, f.shipper);
    if (f.consignee != consignee)
        PartyService::requireConsignee(context, f.consignee);
    Sql q(context.db,
        QStringLiteral("UPDATE trades SET truck = ?, shipper = ?, consignee = ?, line = ?, goods = ?,"
                       " weight = ?, value = ?, is_agency = ?, revenue = ?, payout = ?, notes = ?,"
                       " agency_status = CASE WHEN ? = 1 THEN agency_status ELSE 0 END,"
                       " pay_agency_time = CASE WHEN ? = 1 THEN pay_agency_time ELSE '' END,"
                       " version = version + 1 WHERE id = ?"));
    const bool keepsCollection = wasAgency && f.isAgency;
    const QVariantMap before = History::snapshot(context.db, History::Trade, id);
    bindFields(q, f).bind(keepsCollection ? 1 : 0).bind(keepsCollection ? 1 : 0).bind(id).exec();
    History::record(
        context, History::Trade, id, QStringLiteral("edit"), before, History::snapshot(context.db, History::Trade, id));
    return ApiReply::ok().with(QStringLiteral("trade_id"), id);
}

ApiReply TradeService::changeStatus(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const qint64 id = request.segmentId(1, QStringLiteral("业务"));
    const int payout = settlementState(request, QStringLiteral("payout_status"), QStringLiteral("支付司机状态"), 2);
    const int agency = settlementState(request, QStringLiteral("agency_status"), QStringLiteral("代收款状态"), 1);

    bool isAgency = false;
    int payoutStatus = 0;
    int agencyStatus = 0;
    QString payAgencyTime;
    {
        Sql q(context.db,
            QStringLiteral("SELECT is_agency, payout_status, agency_status, pay_agency_time FROM trades"
                           " WHERE id = ? AND organ = ?"));
        q.bind(id).bind(request.organ()).exec();
        if (!q.next())
            throw ApiError(QStringLiteral("业务不存在！"));
        isAgency = q.integer(0) != 0;
        payoutStatus = static_cast<int>(q.integer(1));
        agencyStatus = static_cast<int>(q.integer(2));
        payAgencyTime = q.text(3);
    }
    // -1 leaves a state as it is. A trade without cash on delivery has no
    // collection state: the settlement dialog keeps its last choice from trade
    // to trade, so a collection choice is ignored there rather than refused.
    if (payout >= 0)
        payoutStatus = payout;
    if (agency >= 0 && isAgency && agency != agencyStatus) {
        agencyStatus = agency;
        payAgencyTime = agency == 1 ? SessionService::now() : QString();
    }
    const QVariantMap before = History::snapshot(context.db, History::Trade, id);
    Sql q(context.db,
        QStringLiteral("UPDATE trades SET payout_status = ?, agency_status = ?, pay_agency_time = ?,"
                       " version = version + 1 WHERE id = ?"));
    q.bind(payoutStatus).bind(agencyStatus).bind(payAgencyTime).bind(id).exec();
    History::record(context, History::Trade, id, QStringLiteral("settle"), before,
        History::snapshot(context.db, History::Trade, id));
    return ApiReply::ok()
        .with(QStringLiteral("payout_status"), payoutStatus)
        .with(QStringLiteral("payout_status_text"), payoutText(payoutStatus))
        .with(QStringLiteral("agency_status"), agencyStatus)
        .with(QStringLiteral("agency_status_text"), agencyText(isAgency, agencyStatus))
        .with(QStringLiteral("pay_agency_time"), payAgencyTime);
}

} // namespace platform
