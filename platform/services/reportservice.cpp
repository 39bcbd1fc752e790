#include "reportservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "jsonwriter.h"
#include "sql.h"
#include "tradeservice.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace platform {

namespace {

// Amounts are kept with two decimals and weights with three (see the trade
// form's readers), so rounding a stored value to whole hundredths or
// thousandths gives back exactly what was entered; those integers are summed.
QString cents(const QString& column)
{
    return QStringLiteral("CAST(ROUND(%1 * 100) AS BIGINT)").arg(column);
}

QString thousandths(const QString& column)
{
    return QStringLiteral("CAST(ROUND(%1 * 1000) AS BIGINT)").arg(column);
}

QDate dateParameter(const ApiRequest& request, const QString& key, const QString& label)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString text = request.value(key).trimmed();
    if (text.isEmpty())
        throw ApiError(QStringLiteral("请指定%1！").arg(label));
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!shape.match(text).hasMatch() || !date.isValid())
        throw ApiError(QStringLiteral("%1无效，应为“年-月-日”，如2026-12-07！").arg(label));
    return date;
}

// A page of the trades that `unpaid` selects (the trades are "tr"; its only
// "?" is the station) whose `column` is `id`, oldest first, with the sum of
// their `amount` at the top level.
ApiReply unpaidTrades(
    ApiContext& context, const QString& unpaid, const QString& column, qint64 id, const QString& amount)
{
    const QString condition = unpaid + QStringLiteral(" AND %1 = ?").arg(column);
    const qint64 total
        = Sql::scalar(context.db, QStringLiteral("SELECT SUM(%1) FROM trades tr WHERE ").arg(cents(amount)) + condition,
            { context.request.organ(), id }, 0)
              .toLongLong();
    const qint64 page = context.request.page();
    Sql q(context.db,
        TradeService::selectTrades() + QStringLiteral(" WHERE ") + condition
            + QStringLiteral(" ORDER BY tr.create_time, tr.id LIMIT ? OFFSET ?"));
    q.bind(context.request.organ()).bind(id).bind(ReportService::pageSize).bind((page - 1) * ReportService::pageSize);
    q.exec();
    JsonWriter trades;
    trades.beginArray();
    while (q.next())
        TradeService::writeTrade(trades, q);
    trades.endArray();
    return ApiReply::okWithJson(trades.bytes())
        .with(QStringLiteral("page"), page)
        .with(QStringLiteral("page_size"), ReportService::pageSize)
        .with(QStringLiteral("total"), ReportService::fixedPoint(total, 2).toDouble());
}

} // namespace

QByteArray ReportService::fixedPoint(qint64 units, int decimals)
{
    const bool negative = units < 0;
    quint64 magnitude = negative ? 0 - static_cast<quint64>(units) : static_cast<quint64>(units);
    quint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    QByteArray text = QByteArray::number(magnitude / scale);
    QByteArray fraction = QByteArray::number(magnitude % scale).rightJustified(decimals, '0');
    while (fraction.endsWith('0'))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += '.' + fraction;
    return negative && magnitude != 0 ? '-' + text : text;
}

ApiReply ReportService::agency(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QString unpaid = QStringLiteral("tr.organ = ? AND tr.is_agency = 1 AND tr.agency_status <> 1");
    if (request.has(QStringLiteral("shipper")))
        return unpaidTrades(context, unpaid, QStringLiteral("tr.shipper"),
            request.id(QStringLiteral("shipper"), QStringLiteral("托运人")), QStringLiteral("tr.value"));
    Sql q(context.db,
        QStringLiteral("SELECT tr.shipper, s.name, COUNT(*), SUM(%1), MIN(tr.create_time)"
                       " FROM trades tr JOIN shippers s ON s.id = tr.shipper WHERE %2"
                       " GROUP BY tr.shipper, s.name ORDER BY 4 DESC, tr.shipper")
            .arg(cents(QStringLiteral("tr.value")), unpaid));
    q.bind(request.organ()).exec();
    qint64 total = 0;
    JsonWriter rows;
    rows.beginArray();
    while (q.next()) {
        total += q.integer(3);
        rows.beginObject()
            .key("amount")
            .raw(fixedPoint(q.integer(3), 2))
            .key("oldest")
            .value(q.text(4))
            .key("shipper_id")
            .value(q.integer(0))
            .key("shipper_name")
            .value(q.text(1))
            .key("trades")
            .value(q.integer(2))
            .endObject();
    }
    rows.endArray();
    return ApiReply::okWithJson(rows.bytes()).with(QStringLiteral("total"), fixedPoint(total, 2).toDouble());
}

ApiReply ReportService::payout(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QString unpaid = QStringLiteral("tr.organ = ? AND tr.payout_status <> 2");
    if (request.has(QStringLiteral("truck")))
        return unpaidTrades(context, unpaid, QStringLiteral("tr.truck"),
            request.id(QStringLiteral("truck"), QStringLiteral("货车")), QStringLiteral("tr.payout"));
    Sql q(context.db,
        QStringLiteral("SELECT tr.truck, t.number, t.driver1_name, COUNT(*), SUM(%1)"
                       " FROM trades tr JOIN trucks t ON t.id = tr.truck WHERE %2"
                       " GROUP BY tr.truck, t.number, t.driver1_name ORDER BY 5 DESC, tr.truck")
            .arg(cents(QStringLiteral("tr.payout")), unpaid));
    q.bind(request.organ()).exec();
    qint64 total = 0;
    JsonWriter rows;
    rows.beginArray();
    while (q.next()) {
        total += q.integer(4);
        rows.beginObject()
            .key("amount")
            .raw(fixedPoint(q.integer(4), 2))
            .key("driver1_name")
            .value(q.text(2))
            .key("trades")
            .value(q.integer(3))
            .key("truck_id")
            .value(q.integer(0))
            .key("truck_number")
            .value(q.text(1))
            .endObject();
    }
    rows.endArray();
    return ApiReply::okWithJson(rows.bytes()).with(QStringLiteral("total"), fixedPoint(total, 2).toDouble());
}

ApiReply ReportService::daily(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QDate from = dateParameter(request, QStringLiteral("from"), QStringLiteral("起始日期"));
    const QDate to = dateParameter(request, QStringLiteral("to"), QStringLiteral("结束日期"));
    if (from > to)
        throw ApiError(QStringLiteral("起始日期不能晚于结束日期！"));
    if (from.daysTo(to) >= maxDays)
        throw ApiError(QStringLiteral("统计的时间不能超过%1天！").arg(maxDays));
    const QString value = cents(QStringLiteral("value"));
    Sql q(context.db,
        QStringLiteral("SELECT substr(create_time, 1, 10), COUNT(*), SUM(%1), SUM(%2), SUM(%3), SUM(%4),"
                       " SUM(CASE WHEN is_agency = 1 THEN %2 ELSE 0 END),"
                       " SUM(CASE WHEN is_agency = 1 AND agency_status = 1 THEN %2 ELSE 0 END)"
                       " FROM trades WHERE organ = ? AND create_time >= ? AND create_time < ?"
                       " GROUP BY substr(create_time, 1, 10) ORDER BY 1")
            .arg(thousandths(QStringLiteral("weight")), value, cents(QStringLiteral("revenue")),
                cents(QStringLiteral("payout"))));
    // Times are "YYYY-MM-DD HH:MM:SS", so the day after `to` bounds the range.
    q.bind(request.organ())
        .bind(from.toString(QStringLiteral("yyyy-MM-dd")))
        .bind(to.addDays(1).toString(QStringLiteral("yyyy-MM-dd")))
        .exec();
    // trades, weight, value, revenue, payout, agency collected, agency paid
    qint64 sums[7] = {};
    // The keys in ascending order, as JsonWriter needs them; the total has no day.
    const auto write = [](JsonWriter& json, const qint64* figures, const QString* day) {
        json.beginObject()
            .key("agency_collected")
            .raw(fixedPoint(figures[5], 2))
            .key("agency_paid")
            .raw(fixedPoint(figures[6], 2));
        if (day)
            json.key("day").value(*day);
        json.key("payout")
            .raw(fixedPoint(figures[4], 2))
            .key("revenue")
            .raw(fixedPoint(figures[3], 2))
            .key("trades")
            .value(figures[0])
            .key("value")
            .raw(fixedPoint(figures[2], 2))
            .key("weight")
            .raw(fixedPoint(figures[1], 3))
            .endObject();
    };
    JsonWriter rows;
    rows.beginArray();
    while (q.next()) {
        qint64 figures[7];
        for (int i = 0; i < 7; ++i) {
            figures[i] = q.integer(i + 1);
            sums[i] += figures[i];
        }
        const QString day = q.text(0);
        write(rows, figures, &day);
    }
    rows.endArray();
    JsonWriter total;
    write(total, sums, nullptr);
    return ApiReply::okWithJson(rows.bytes())
        .with(QStringLiteral("total"), QJsonDocument::fromJson(total.bytes()).object());
}

} // namespace platform
