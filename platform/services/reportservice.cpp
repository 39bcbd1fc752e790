#include "reportservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "jsonwriter.h"
#include "sql.h"
#include "unpaidledger.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace platform {

namespace {

// See cents().
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

} // namespace

QString ReportService::cents(const QString& column)
{
    return QStringLiteral("CAST(ROUND(%1 * 100) AS BIGINT)").arg(column);
}

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
    // The cash collected on delivery and not yet paid over, by shipper.
    static const UnpaidLedger ledger([] {
        UnpaidLedger::Description d;
        d.party = QStringLiteral("shipper");
        d.partyTable = QStringLiteral("shippers");
        d.idKey = "shipper_id";
        d.label = QStringLiteral("托运人");
        d.partyColumns = { { "shipper_name", QStringLiteral("p.name") } };
        d.figures = { { "oldest", QStringLiteral("MIN(tr.create_time)") } };
        d.amount = QStringLiteral("value");
        d.unpaid = QStringLiteral("tr.is_agency = 1 AND tr.agency_status <> 1");
        return d;
    }());
    return ledger.answer(context);
}

ApiReply ReportService::payout(ApiContext& context)
{
    // The drivers' pay not yet paid in full, by truck.
    static const UnpaidLedger ledger([] {
        UnpaidLedger::Description d;
        d.party = QStringLiteral("truck");
        d.partyTable = QStringLiteral("trucks");
        d.idKey = "truck_id";
        d.label = QStringLiteral("货车");
        d.partyColumns
            = { { "truck_number", QStringLiteral("p.number") }, { "driver1_name", QStringLiteral("p.driver1_name") } };
        d.amount = QStringLiteral("payout");
        d.unpaid = QStringLiteral("tr.payout_status <> 2");
        return d;
    }());
    return ledger.answer(context);
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
