#include "partyservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "history.h"
#include "jsonwriter.h"
#include "namekey.h"
#include "phonerules.h"
#include "searchindex.h"
#include "sessionservice.h"
#include "sql.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace platform {

namespace {

struct Kind
{
    QString table; // never from a request
    QString label; // "托运人" / "收货人"
    QString idKey; // the answer's identifier key
    QString tradeColumn;
    bool hasIndustry;
    History::Kind historyKind;
    SearchIndex::Target searchTarget;
};

const Kind& shipperKind()
{
    static const Kind kind { QStringLiteral("shippers"), QStringLiteral("托运人"), QStringLiteral("shipper_id"),
        QStringLiteral("shipper"), true, History::Shipper, SearchIndex::Target::Shippers };
    return kind;
}

const Kind& consigneeKind()
{
    static const Kind kind { QStringLiteral("consignees"), QStringLiteral("收货人"), QStringLiteral("consignee_id"),
        QStringLiteral("consignee"), false, History::Consignee, SearchIndex::Target::Consignees };
    return kind;
}

QString columns(const Kind& kind)
{
    return kind.hasIndustry
        ? QStringLiteral(
            "p.id, p.name, p.address, p.linkman, p.tel1, p.tel2, p.notes, p.create_time, p.version, p.industry")
        : QStringLiteral("p.id, p.name, p.address, p.linkman, p.tel1, p.tel2, p.notes, p.create_time, p.version");
}

// One record selected with columns(); the keys in the order in which
// QJsonObject would put them.
void writeParty(JsonWriter& json, const Sql& q, const Kind& kind)
{
    // clang-format off
    json.beginObject()
        .key("address").value(q.text(2))
        .key("create_time").value(q.text(7))
        .key("id").value(q.integer(0));
    if (kind.hasIndustry)
        json.key("industry").value(q.text(9));
    json.key("linkman").value(q.text(3))
        .key("name").value(q.text(1))
        .key("notes").value(q.text(6))
        .key("tel1").value(q.text(4))
        .key("tel2").value(q.text(5))
        .key("version").value(q.integer(8))
        .endObject();
    // clang-format on
}

QJsonObject record(const ApiContext& context, const Kind& kind, qint64 id)
{
    Sql q(context.db,
        QStringLiteral("SELECT %1 FROM %2 p WHERE p.organ = ? AND p.deleted = 0 AND p.id = ?")
            .arg(columns(kind), kind.table));
    q.bind(context.request.organ()).bind(id).exec();
    if (!q.next())
        return QJsonObject();
    JsonWriter json;
    writeParty(json, q, kind);
    return QJsonDocument::fromJson(json.bytes()).object();
}

ApiReply list(ApiContext& context, const Kind& kind)
{
    const ApiRequest& request = context.request;
    const QString name = request.name(QStringLiteral("name"), QStringLiteral("名称"), 200, false);
    const qint64 page = request.page();
    const qint64 skipped = (page - 1) * PartyService::pageSize;
    const SearchIndex::Match match = SearchIndex::match(context.db, kind.searchTarget, name);
    QString statement = QStringLiteral("SELECT %1 FROM ").arg(columns(kind)) + match.source
        + QStringLiteral(" WHERE p.organ = ? AND p.deleted = 0") + match.condition;
    qint64 newestRank = 0;
    if (name.isEmpty()) {
        // A page is a range of ranks (see the schema), so the last page
        // costs what the first does.
        newestRank
            = Sql::scalar(context.db, QStringLiteral("SELECT max(list_rank) FROM %1 WHERE organ = ?").arg(kind.table),
                  { request.organ() }, 0)
                  .toLongLong()
            - skipped;
        statement += QStringLiteral(" AND p.list_rank BETWEEN ? AND ? ORDER BY p.list_rank DESC");
    } else {
        statement += QStringLiteral(" ORDER BY p.id DESC LIMIT ? OFFSET ?");
    }
    Sql q(context.db, statement);
    for (const QVariant& value : match.sourceValues)
        q.bind(value);
    q.bind(request.organ());
    for (const QVariant& value : match.conditionValues)
        q.bind(value);
    if (name.isEmpty())
        q.bind(newestRank - PartyService::pageSize + 1).bind(newestRank);
    else
        q.bind(PartyService::pageSize).bind(skipped);
    q.exec();

    // The keys in the order in which QJsonObject would put them.
    JsonWriter records;
    records.beginArray();
    while (q.next())
        writeParty(records, q, kind);
    records.endArray();
    return ApiReply::okWithJson(records.bytes())
        .with(QStringLiteral("page"), page)
        .with(QStringLiteral("page_size"), PartyService::pageSize);
}

void requireRecord(const ApiContext& context, const Kind& kind, qint64 id)
{
    const bool exists
        = Sql::scalar(context.db,
              QStringLiteral("SELECT COUNT(*) FROM %1 WHERE id = ? AND organ = ? AND deleted = 0").arg(kind.table),
              { id, context.request.organ() })
              .toLongLong()
        > 0;
    if (!exists)
        throw ApiError(QStringLiteral("%1不存在！").arg(kind.label));
}

ApiReply save(ApiContext& context, const Kind& kind, qint64 id)
{
    const QRegularExpression& phone = phoneNumber();
    const ApiRequest& request = context.request;
    request.requireOwnOrgan();
    if (id != 0)
        requireRecord(context, kind, id);
    const QVariantMap before = id == 0 ? QVariantMap() : History::snapshot(context.db, kind.historyKind, id);

    const QString name = request.name(QStringLiteral("name"), QStringLiteral("名称"), 200, true);
    const QString address = request.text(QStringLiteral("address"), QStringLiteral("地址"), 200, true);
    const QString industry
        = kind.hasIndustry ? request.text(QStringLiteral("industry"), QStringLiteral("行业"), 20, true) : QString();
    const QString linkman = request.text(QStringLiteral("linkman"), QStringLiteral("联系人姓名"), 20, true);
    const QString tel1 = request.matching(QStringLiteral("tel1"), QStringLiteral("联系电话1"), phone, false);
    const QString tel2 = request.matching(QStringLiteral("tel2"), QStringLiteral("联系电话2"), phone, false);
    if (tel1.isEmpty() && tel2.isEmpty())
        throw ApiError(QStringLiteral("请至少输入一个联系电话！"));
    const QString notes = request.text(QStringLiteral("notes"), QStringLiteral("备注"), 500, false);

    // Names are what the packing screen's suggestions are chosen by, so two
    // live records of one kind never share a name, nor look alike.
    const QString taken = NameKey::clash(context.db, kind.table, QStringLiteral("name"), request.organ(), name, id);
    if (!taken.isEmpty())
        throw ApiError(QStringLiteral("名称为“%1”的%2已存在！").arg(taken, kind.label));

    QString statement;
    if (id == 0)
        statement = QStringLiteral("INSERT INTO %1 (name, address, linkman, tel1, tel2, notes, %2 organ, create_time)"
                                   " VALUES (?, ?, ?, ?, ?, ?, %3 ?, ?)")
                        .arg(kind.table, kind.hasIndustry ? QStringLiteral("industry,") : QString(),
                            kind.hasIndustry ? QStringLiteral("?,") : QString());
    else
        statement = QStringLiteral("UPDATE %1 SET name = ?, address = ?, linkman = ?, tel1 = ?, tel2 = ?, notes = ? %2,"
                                   " version = version + 1 WHERE id = ? AND organ = ?")
                        .arg(kind.table, kind.hasIndustry ? QStringLiteral(", industry = ?") : QString());
    Sql q(context.db, statement);
    q.bind(name).bind(address).bind(linkman).bind(tel1).bind(tel2).bind(notes);
    if (kind.hasIndustry)
        q.bind(industry);
    if (id == 0)
        q.bind(request.organ()).bind(SessionService::now());
    else
        q.bind(id).bind(request.organ());
    q.exec();
    if (id == 0) {
        const qint64 added = q.lastInsertId();
        History::record(context, kind.historyKind, added, QStringLiteral("add"));
        return ApiReply::ok().with(kind.idKey, added);
    }
    History::record(context, kind.historyKind, id, QStringLiteral("edit"), before,
        History::snapshot(context.db, kind.historyKind, id));
    return ApiReply::ok().with(kind.idKey, id);
}

ApiReply remove(ApiContext& context, const Kind& kind)
{
    const qint64 id = context.request.segmentId(1, kind.label);
    requireRecord(context, kind, id);
    const qint64 open = Sql::scalar(context.db,
        QStringLiteral("SELECT COUNT(*) FROM trades WHERE %1 = ? AND status < 2").arg(kind.tradeColumn), { id })
                            .toLongLong();
    if (open > 0)
        throw ApiError(QStringLiteral("该%1还有%2笔未完成的业务，不能删除！").arg(kind.label).arg(open));
    Sql q(context.db, QStringLiteral("UPDATE %1 SET deleted = 1, version = version + 1 WHERE id = ?").arg(kind.table));
    q.bind(id).exec();
    History::record(context, kind.historyKind, id, QStringLiteral("delete"));
    return ApiReply::ok();
}

} // namespace

ApiReply PartyService::listShippers(ApiContext& context)
{
    return list(context, shipperKind());
}

ApiReply PartyService::addShipper(ApiContext& context)
{
    return save(context, shipperKind(), 0);
}

ApiReply PartyService::editShipper(ApiContext& context)
{
    return save(context, shipperKind(), context.request.segmentId(1, shipperKind().label));
}

ApiReply PartyService::removeShipper(ApiContext& context)
{
    return remove(context, shipperKind());
}

ApiReply PartyService::listConsignees(ApiContext& context)
{
    return list(context, consigneeKind());
}

ApiReply PartyService::addConsignee(ApiContext& context)
{
    return save(context, consigneeKind(), 0);
}

ApiReply PartyService::editConsignee(ApiContext& context)
{
    return save(context, consigneeKind(), context.request.segmentId(1, consigneeKind().label));
}

ApiReply PartyService::removeConsignee(ApiContext& context)
{
    return remove(context, consigneeKind());
}

QJsonObject PartyService::shipperRecord(const ApiContext& context, qint64 id)
{
    return record(context, shipperKind(), id);
}

QJsonObject PartyService::consigneeRecord(const ApiContext& context, qint64 id)
{
    return record(context, consigneeKind(), id);
}

void PartyService::requireShipper(const ApiContext& context, qint64 id)
{
    requireRecord(context, shipperKind(), id);
}

void PartyService::requireConsignee(const ApiContext& context, qint64 id)
{
    requireRecord(context, consigneeKind(), id);
}

} // namespace platform
