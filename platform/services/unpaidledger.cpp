#include "unpaidledger.h"

#include "apicontext.h"
#include "jsonwriter.h"
#include "reportservice.h"
#include "sql.h"
#include "tradeservice.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace platform {

UnpaidLedger::UnpaidLedger(Description ledger)
    : description(std::move(ledger))
{
    // party, trades, amount, then the texts
    QStringList select { QStringLiteral("tr.") + description.party, QStringLiteral("COUNT(*)"),
        QStringLiteral("SUM(%1)").arg(ReportService::cents(QStringLiteral("tr.") + description.amount)) };
    QStringList group { select.first() };
    row = { { "amount", RowField::Cents, 2 }, { description.idKey, RowField::Integer, 0 },
        { "trades", RowField::Integer, 1 } };
    for (const Text& text : description.partyColumns) {
        row.append({ text.key, RowField::Text, static_cast<int>(select.size()) });
        select << text.expression;
        group << text.expression;
    }
    for (const Text& text : description.figures) {
        row.append({ text.key, RowField::Text, static_cast<int>(select.size()) });
        select << text.expression;
    }
    std::sort(
        row.begin(), row.end(), [](const RowField& a, const RowField& b) { return std::strcmp(a.key, b.key) < 0; });
    groupQuery = QStringLiteral("SELECT %1 FROM trades tr JOIN %2 p ON p.id = tr.%3 WHERE tr.organ = ? AND %4"
                                " GROUP BY %5 ORDER BY 3 DESC, tr.%3")
                     .arg(select.join(QStringLiteral(", ")), description.partyTable, description.party,
                         description.unpaid, group.join(QStringLiteral(", ")));
}

ApiReply UnpaidLedger::answer(ApiContext& context) const
{
    if (context.request.has(description.party))
        return trades(context, context.request.id(description.party, description.label));
    return parties(context);
}

ApiReply UnpaidLedger::parties(ApiContext& context) const
{
    Sql q(context.db, groupQuery);
    q.bind(context.request.organ()).exec();
    qint64 total = 0;
    JsonWriter rows;
    rows.beginArray();
    while (q.next()) {
        total += q.integer(2);
        rows.beginObject();
        for (const RowField& field : row) {
            rows.key(field.key);
            switch (field.kind) {
            case RowField::Integer:
                rows.value(q.integer(field.column));
                break;
            case RowField::Cents:
                rows.raw(ReportService::fixedPoint(q.integer(field.column), 2));
                break;
            case RowField::Text:
                rows.value(q.text(field.column));
                break;
            }
        }
        rows.endObject();
    }
    rows.endArray();
    return ApiReply::okWithJson(rows.bytes())
        .with(QStringLiteral("total"), ReportService::fixedPoint(total, 2).toDouble());
}

ApiReply UnpaidLedger::trades(ApiContext& context, qint64 party) const
{
    const QString condition
        = QStringLiteral("tr.organ = ? AND %1 AND tr.%2 = ?").arg(description.unpaid, description.party);
    const qint64 total = Sql::scalar(context.db,
        QStringLiteral("SELECT SUM(%1) FROM trades tr WHERE ")
                .arg(ReportService::cents(QStringLiteral("tr.") + description.amount))
            + condition,
        { context.request.organ(), party }, 0)
                             .toLongLong();
    const qint64 page = context.request.page();
    Sql q(context.db,
        TradeService::selectTrades() + QStringLiteral(" WHERE ") + condition
            + QStringLiteral(" ORDER BY tr.create_time, tr.id LIMIT ? OFFSET ?"));
    q.bind(context.request.organ())
        .bind(party)
        .bind(ReportService::pageSize)
        .bind((page - 1) * ReportService::pageSize);
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

} // namespace platform
