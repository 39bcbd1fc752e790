#include "recordversion.h"

#include "apicontext.h"
#include "apierror.h"
#include "history.h"
#include "partyservice.h"
#include "sessionservice.h"
#include "sql.h"
#include "tradeservice.h"
#include "truckservice.h"

#include <QJsonObject>

namespace platform {

namespace {

// Versions go out as JSON numbers, which a client reads exactly up to 2^53.
const qint64 highestVersion = (qint64(1) << 53) - 1;

// The record's table and the condition that finds a record of the station by
// its id ("?" for the id, then for the station), deleted records excluded.
struct Place
{
    QString table;
    QString condition;
};

Place placeOf(RecordVersion::Kind kind)
{
    const QString live = QStringLiteral("id = ? AND organ = ? AND deleted = 0");
    switch (kind) {
    case RecordVersion::Truck:
        return { QStringLiteral("trucks"), live };
    case RecordVersion::Shipper:
        return { QStringLiteral("shippers"), live };
    case RecordVersion::Consignee:
        return { QStringLiteral("consignees"), live };
    case RecordVersion::Trade:
        return { QStringLiteral("trades"), QStringLiteral("id = ? AND organ = ?") };
    case RecordVersion::Profile:
        return { QStringLiteral("organs"), QStringLiteral("id = ? AND id = ?") };
    case RecordVersion::None:
        break;
    }
    return {};
}

// The id of the record the request writes; false when the path names none
// (the service then refuses the request itself).
bool recordId(const ApiContext& context, RecordVersion::Kind kind, qint64* id)
{
    if (kind == RecordVersion::Profile) {
        *id = context.request.organ();
        return true;
    }
    const QStringList& segments = context.request.segments();
    return segments.size() > 1 && ApiRequest::parseId(segments.at(1), id);
}

qint64 versionOf(const ApiContext& context, const Place& place, qint64 id)
{
    return Sql::scalar(context.db, QStringLiteral("SELECT version FROM %1 WHERE %2").arg(place.table, place.condition),
        { id, context.request.organ() }, -1)
        .toLongLong();
}

QJsonObject recordOf(const ApiContext& context, RecordVersion::Kind kind, qint64 id)
{
    switch (kind) {
    case RecordVersion::Truck:
        return TruckService::record(context, id);
    case RecordVersion::Shipper:
        return PartyService::shipperRecord(context, id);
    case RecordVersion::Consignee:
        return PartyService::consigneeRecord(context, id);
    case RecordVersion::Trade:
        return TradeService::record(context, id);
    case RecordVersion::Profile:
        return SessionService::profileOf(context);
    case RecordVersion::None:
        break;
    }
    return QJsonObject();
}

QString staleText(const ApiContext& context, RecordVersion::Kind kind, qint64 id)
{
    History::Kind history = History::Truck;
    switch (kind) {
    case RecordVersion::Truck:
        break;
    case RecordVersion::Shipper:
        history = History::Shipper;
        break;
    case RecordVersion::Consignee:
        history = History::Consignee;
        break;
    case RecordVersion::Trade:
        history = History::Trade;
        break;
    case RecordVersion::Profile:
    case RecordVersion::None:
        // The profile's changes have no history.
        return QStringLiteral("该记录已被他人修改，请重新打开后再保存！");
    }
    History::LastChange change;
    if (!History::lastChange(context.db, history, id, context.request.organ(), &change))
        return QStringLiteral("该记录已被他人修改，请重新打开后再保存！");
    return QStringLiteral("该记录已被他人修改（%1，%2），请重新打开后再保存！").arg(change.name, change.time);
}

} // namespace

void RecordVersion::check(const ApiContext& context, Kind kind)
{
    const ApiRequest& request = context.request;
    if (kind == None || request.value(QStringLiteral("version")).trimmed().isEmpty())
        return;
    const qint64 expected
        = request.integer(QStringLiteral("version"), QStringLiteral("记录版本"), 1, highestVersion, true);
    qint64 id = 0;
    if (!recordId(context, kind, &id))
        return;
    const Place place = placeOf(kind);
    // The check is itself a write of the row, so that it holds the row until
    // the transaction ends (PostgreSQL locks it; SQLite's writers take turns
    // anyway): no other writer can slip in between the check and the write.
    Sql claim(context.db,
        QStringLiteral("UPDATE %1 SET version = version WHERE %2 AND version = ?").arg(place.table, place.condition));
    claim.bind(id).bind(request.organ()).bind(expected).exec();
    if (claim.rowsAffected() > 0)
        return;
    const qint64 now = versionOf(context, place, id);
    if (now < 0)
        return;
    QJsonObject extra;
    extra.insert(QStringLiteral("stale"), true);
    extra.insert(QStringLiteral("version"), now);
    extra.insert(QStringLiteral("data"), recordOf(context, kind, id));
    throw ApiError(staleText(context, kind, id), extra);
}

qint64 RecordVersion::current(const ApiContext& context, Kind kind)
{
    qint64 id = 0;
    if (kind == None || !recordId(context, kind, &id))
        return -1;
    return versionOf(context, placeOf(kind), id);
}

} // namespace platform
