#pragma once

#include "apireply.h"

#include <QJsonObject>
#include <QString>

namespace platform {

struct ApiContext;
class JsonWriter;
class Sql;

// Trades (consignments): packing a load on a resting truck, correcting it,
// the paged list newest first, and the settlement of the driver's payout and
// the cash collected on delivery. The status 0 (packed), 1 (on the road) and
// 2 (delivered) is moved only by the truck's trips.
class TradeService
{
public:
    static ApiReply list(ApiContext& context);
    static ApiReply add(ApiContext& context);
    static ApiReply edit(ApiContext& context);
    static ApiReply changeStatus(ApiContext& context);

    // The trade records as the list sends them: selectTrades() is the query
    // without its WHERE clause (the trades are "tr", read from `source`),
    // writeTrade() writes one of its rows.
    static QString selectTrades(const QString& source = QStringLiteral("trades tr"));
    static void writeTrade(JsonWriter& json, const Sql& q);
    // A trade of the station as the list shows it; empty when there is none.
    static QJsonObject record(const ApiContext& context, qint64 id);

    static QString payoutText(int payoutStatus);
    static QString agencyText(bool isAgency, int agencyStatus);

    static const int pageSize = 20;
};

} // namespace platform
