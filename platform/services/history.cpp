#include "history.h"

#include "apicontext.h"
#include "apierror.h"
#include "changelog.h"
#include "sessionservice.h"
#include "sql.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace platform {

namespace {

struct KindInfo
{
    QString name; // as stored and as in the request's path
    QString table; // never from a request
    QString label;
    QString columns; // those a user can change, status included
};

const KindInfo& info(History::Kind kind)
{
    static const KindInfo kinds[] = {
        { QStringLiteral("truck"), QStringLiteral("trucks"), QStringLiteral("货车"),
            QStringLiteral("number, driving_mode, tonnage_level, tonnage, packingcase_mode, packingcase_length,"
                           " packingcase_width, packingcase_height, photo1, photo2, driver1_name, driver1_mobile,"
                           " driver2_name, driver2_mobile, company_name, company_tel, notes, status") },
        { QStringLiteral("shipper"), QStringLiteral("shippers"), QStringLiteral("托运人"),
            QStringLiteral("name, address, industry, linkman, tel1, tel2, notes") },
        { QStringLiteral("consignee"), QStringLiteral("consignees"), QStringLiteral("收货人"),
            QStringLiteral("name, address, linkman, tel1, tel2, notes") },
        { QStringLiteral("trade"), QStringLiteral("trades"), QStringLiteral("业务"),
            QStringLiteral("truck, shipper, consignee, line, goods, weight, value, is_agency, revenue, payout,"
                           " notes, status, payout_status, agency_status") },
    };
    return kinds[kind];
}

// A value as an entry keeps it: a text longer than History::maxValueLength
// characters is kept as its beginning and "…", so that an entry stays small
// however long the fields it shows are.
QJsonValue bounded(const QJsonValue& value)
{
    if (!value.isString() || value.toString().size() <= History::maxValueLength)
        return value;
    QString text = value.toString();
    int cut = History::maxValueLength;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    text.truncate(cut);
    return text + QStringLiteral("…");
}

QJsonObject changesBetween(const QVariantMap& before, const QVariantMap& after)
{
    QJsonObject changes;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        const QVariant old = before.value(it.key());
        const QJsonValue from = QJsonValue::fromVariant(old);
        const QJsonValue to = QJsonValue::fromVariant(it.value());
        if (from != to)
            changes.insert(it.key(), QJsonArray { bounded(from), bounded(to) });
    }
    return changes;
}

ApiReply entriesOf(ApiContext& context, History::Kind kind)
{
    const KindInfo& k = info(kind);
    const qint64 id = context.request.segmentId(1, k.label);
    // Deleted records keep their history; another station's do not exist.
    const QVariant organ
        = Sql::scalar(context.db, QStringLiteral("SELECT organ FROM %1 WHERE id = ?").arg(k.table), { id }, 0);
    if (organ.toLongLong() != context.request.organ())
        throw ApiError(QStringLiteral("%1不存在！").arg(k.label));

    Sql q(context.db,
        QStringLiteral("SELECT h.time, u.username, u.name, h.action, h.changes FROM history h"
                       " JOIN users u ON u.id = h.user"
                       " WHERE h.kind = ? AND h.record = ? AND h.organ = ? ORDER BY h.id"));
    q.bind(k.name).bind(id).bind(context.request.organ()).exec();
    QJsonArray entries;
    while (q.next()) {
        QJsonObject entry;
        entry.insert(QStringLiteral("time"), q.text(0));
        entry.insert(QStringLiteral("user"), q.text(1));
        entry.insert(QStringLiteral("name"), q.text(2));
        entry.insert(QStringLiteral("action"), q.text(3));
        entry.insert(QStringLiteral("changes"), QJsonDocument::fromJson(q.text(4).toUtf8()).object());
        entries.append(entry);
    }
    return ApiReply::ok(entries);
}

} // namespace

QVariantMap History::snapshot(const QSqlDatabase& db, Kind kind, qint64 id)
{
    const KindInfo& k = info(kind);
    const QStringList columns = k.columns.split(QStringLiteral(", "));
    Sql q(db, QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(k.columns, k.table));
    q.bind(id).exec();
    QVariantMap fields;
    if (!q.next())
        return fields;
    for (int i = 0; i < columns.size(); ++i)
        fields.insert(columns.at(i), q.isNull(i) ? QVariant() : q.value(i));
    return fields;
}

void History::record(const ApiContext& context, Kind kind, qint64 id, const QString& action, const QVariantMap& before,
    const QVariantMap& after)
{
    const QByteArray changes = QJsonDocument(changesBetween(before, after)).toJson(QJsonDocument::Compact);
    Sql q(context.db,
        QStringLiteral("INSERT INTO history (organ, kind, record, time, user, action, changes)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    q.bind(context.request.organ())
        .bind(info(kind).name)
        .bind(id)
        .bind(SessionService::now())
        .bind(context.request.user())
        .bind(action)
        .bind(QString::fromUtf8(changes))
        .exec();
    // Every desk of the station hears of it once the write commits, with the
    // version the write left (a record's history follows its write).
    const qint64 version = Sql::scalar(
        context.db, QStringLiteral("SELECT version FROM %1 WHERE id = ?").arg(info(kind).table), { id }, 0)
                               .toLongLong();
    ChangeLog::append(context, info(kind).name, id, version);
}

bool History::lastChange(const QSqlDatabase& db, Kind kind, qint64 id, qint64 organ, LastChange* change)
{
    Sql q(db,
        QStringLiteral("SELECT u.name, u.username, h.time FROM history h JOIN users u ON u.id = h.user"
                       " WHERE h.kind = ? AND h.record = ? AND h.organ = ? ORDER BY h.id DESC LIMIT 1"));
    q.bind(info(kind).name).bind(id).bind(organ).exec();
    if (!q.next())
        return false;
    change->name = q.text(0).isEmpty() ? q.text(1) : q.text(0);
    change->time = q.text(2).left(16);
    return true;
}

ApiReply History::ofTruck(ApiContext& context)
{
    return entriesOf(context, Truck);
}

ApiReply History::ofShipper(ApiContext& context)
{
    return entriesOf(context, Shipper);
}

ApiReply History::ofConsignee(ApiContext& context)
{
    return entriesOf(context, Consignee);
}

ApiReply History::ofTrade(ApiContext& context)
{
    return entriesOf(context, Trade);
}

} // namespace platform
