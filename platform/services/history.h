#pragma once

#include "apireply.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

namespace platform {

struct ApiContext;

// The history of a station's records: every write to a truck, a shipper, a
// consignee or a trade leaves one entry with the time, the signed-in user,
// the action and, for an edit, each changed field's value before and after
// (only the fields that changed, each text bounded in length).
// An entry is written on the write's own connection inside its transaction,
// so a write that is rolled back leaves none and a committed one is never
// without its entry.
class History
{
public:
    enum Kind { Truck, Shipper, Consignee, Trade };

    // The characters of a changed value an entry keeps at most (then "…").
    static const int maxValueLength = 100;

    // The fields that a user can change, by column, as they are now; empty
    // when there is no such record.
    static QVariantMap snapshot(const QSqlDatabase& db, Kind kind, qint64 id);

    // Records `action` ("add", "edit", "delete", "status" or "settle") by the
    // request's user. The changes are the fields whose values differ between
    // `before` and `after`. The station's desks are told of the write too
    // (see ChangeLog).
    static void record(const ApiContext& context, Kind kind, qint64 id, const QString& action,
        const QVariantMap& before = QVariantMap(), const QVariantMap& after = QVariantMap());

    // Who made the last entry of a station's record, and when: the user's
    // name (the account's login when it has none) and the entry's time to the
    // minute ("yyyy-MM-dd HH:mm"). False when the record has no entry.
    struct LastChange
    {
        QString name;
        QString time;
    };
    static bool lastChange(const QSqlDatabase& db, Kind kind, qint64 id, qint64 organ, LastChange* change);

    // GET {kind}/ID/history: the entries of one record of the station,
    // oldest first.
    static ApiReply ofTruck(ApiContext& context);
    static ApiReply ofShipper(ApiContext& context);
    static ApiReply ofConsignee(ApiContext& context);
    static ApiReply ofTrade(ApiContext& context);
};

} // namespace platform
