#include "truckservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "history.h"
#include "jsonwriter.h"
#include "namekey.h"
#include "phonerules.h"
#include "rowreader.h"
#include "searchindex.h"
#include "sessionservice.h"
#include "sql.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QVector>

#include <cmath>

namespace platform {

namespace {

const QString truckColumns
    = QStringLiteral("SELECT t.id, t.number, t.status, t.driving_mode, dm.text, t.tonnage_level, tl.text, t.tonnage,"
                     " t.packingcase_mode, pm.text, t.packingcase_length, t.packingcase_width, t.packingcase_height,"
                     " t.photo1, t.photo2, t.driver1_name, t.driver1_mobile, t.driver2_name, t.driver2_mobile,"
                     " t.company_name, t.company_tel, t.notes, t.create_time, t.version");
const QString truckTexts
    = QStringLiteral(" LEFT JOIN truck_dict dm ON dm.kind = 'driving_mode' AND dm.code = t.driving_mode"
                     " LEFT JOIN truck_dict tl ON tl.kind = 'tonnage' AND tl.code = t.tonnage_level"
                     " LEFT JOIN truck_dict pm ON pm.kind = 'packingcase_mode' AND pm.code = t.packingcase_mode"
                     " WHERE t.organ = ? AND t.deleted = 0");
const QString truckSelect = truckColumns + QStringLiteral(" FROM trucks t") + truckTexts;

// Sizes go out as texts ("20", "9.6", "" when not given): the truck form
// fills its fields only from JSON strings.
QString sizeText(const RowReader& q, int column)
{
    if (q.isNull(column))
        return QString();
    const double size = q.real(column);
    // Sizes are kept to two decimals, and below a million twelve significant
    // digits show exactly those: written by hand, that is the same text at a
    // fraction of the cost of the general conversion.
    const double hundredths = std::round(size * 100);
    if (size >= 0 && size < 1e6 && std::abs(size * 100 - hundredths) < 1e-6) {
        const qint64 h = static_cast<qint64>(hundredths);
        QString text = QString::number(h / 100);
        if (h % 100 != 0) {
            text += QLatin1Char('.');
            text += QLatin1Char(static_cast<char>('0' + h % 100 / 10));
            if (h % 10 != 0)
                text += QLatin1Char(static_cast<char>('0' + h % 10));
        }
        return text;
    }
    return QString::number(size, 'g', 12);
}

// The undelivered trades of the station's live trucks, by truck: each a
// written JSON array, with what the loading list of a truck shows. One query
// for the whole station, not one per truck. It goes from the trucks to their
// open trades (CROSS JOIN keeps SQLite to that order), so that its cost grows
// with the open trades, not with the delivered ones that a station adds all
// day (100,000 of them made it 90 ms when it went through the station's
// trades). The unary plus keeps SQLite from taking the station's index of
// open trades for each truck instead: that read every open trade of the
// station once per truck.
QHash<qint64, QByteArray> loadsByTruck(const QSqlDatabase& db, qint64 organ)
{
    QHash<qint64, JsonWriter> loads;
    RowReader q(db,
        QStringLiteral("SELECT tr.truck, tr.id, s.name, tr.goods, c.name, tr.status, tr.is_agency, tr.value,"
                       " tr.weight FROM trucks t CROSS JOIN trades tr"
                       " JOIN shippers s ON s.id = tr.shipper JOIN consignees c ON c.id = tr.consignee"
                       " WHERE t.organ = ? AND t.deleted = 0 AND tr.truck = t.id AND tr.status < 2"
                       " AND +tr.organ = ? ORDER BY tr.id"));
    q.bind(organ).bind(organ).exec();
    while (q.next()) {
        JsonWriter& json = loads[q.integer(0)];
        if (json.bytes().isEmpty())
            json.beginArray();
        const auto text = [&](const char* key, int column) {
            json.key(key);
            q.writeText(json, column);
        };
        json.beginObject();
        text("consignee", 4);
        text("goods", 3);
        json.key("is_agency").value(q.integer(6) != 0);
        text("shipper", 2);
        json.key("status").value(q.integer(5));
        json.key("trade_id").value(q.integer(1));
        json.key("value").value(q.real(7));
        json.key("weight").value(q.real(8));
        json.endObject();
    }
    QHash<qint64, QByteArray> arrays;
    for (auto it = loads.begin(); it != loads.end(); ++it)
        arrays.insert(it.key(), it.value().endArray().bytes());
    return arrays;
}

// The trucks of `q` (selected by truckSelect) as a JSON array, each with its
// loads. The keys are in the order in which QJsonObject would put them.
QByteArray trucksJson(const QSqlDatabase& db, qint64 organ, RowReader& q)
{
    const QHash<qint64, QByteArray> loads = loadsByTruck(db, organ);
    static const QByteArray noLoads = QByteArrayLiteral("[]");
    JsonWriter json;
    json.beginArray();
    const auto text = [&](const char* key, int column) {
        json.key(key);
        q.writeText(json, column);
    };
    while (q.next()) {
        json.beginObject();
        text("company_name", 19);
        text("company_tel", 20);
        text("create_time", 22);
        text("driver1_mobile", 16);
        text("driver1_name", 15);
        text("driver2_mobile", 18);
        text("driver2_name", 17);
        json.key("driving_mode").value(q.integer(3));
        text("driving_mode_text", 4);
        json.key("id").value(q.integer(0));
        json.key("loads").raw(loads.value(q.integer(0), noLoads));
        text("notes", 21);
        text("number", 1);
        json.key("packingcase_height").value(sizeText(q, 12));
        json.key("packingcase_length").value(sizeText(q, 10));
        json.key("packingcase_mode").value(q.integer(8));
        text("packingcase_mode_text", 9);
        json.key("packingcase_width").value(sizeText(q, 11));
        text("photo1", 13);
        text("photo2", 14);
        json.key("status").value(q.integer(2));
        json.key("tonnage").value(sizeText(q, 7));
        json.key("tonnage_level").value(q.integer(5));
        text("tonnage_level_text", 6);
        json.key("version").value(q.integer(23));
        json.endObject();
    }
    json.endArray();
    return json.bytes();
}

qint64 dictionaryCode(const ApiContext& context, const QString& key, const QString& kind, const QString& label)
{
    const qint64 code = context.request.integer(key, label, 0, 1000000, true);
    const bool known
        = Sql::scalar(
              context.db, QStringLiteral("SELECT COUNT(*) FROM truck_dict WHERE kind = ? AND code = ?"), { kind, code })
              .toLongLong()
        > 0;
    if (!known)
        throw ApiError(QStringLiteral("请选择%1！").arg(label));
    return code;
}

QVariant optionalSize(const ApiRequest& request, const QString& key, const QString& label, double max)
{
    if (request.value(key).trimmed().isEmpty())
        return QVariant(QVariant::Double);
    const double size = request.decimal(key, label, 0, max, 2, false);
    if (size <= 0)
        throw ApiError(QStringLiteral("%1超出允许的范围！").arg(label));
    return size;
}

// Reads and checks the form, then inserts (id 0) or updates the truck.
qint64 saveTruck(ApiContext& context, qint64 id)
{
    const QRegularExpression& mobile = mobileNumber();
    const QRegularExpression& phone = phoneNumber();
    const ApiRequest& request = context.request;
    request.requireOwnOrgan();

    const QString number = request.name(QStringLiteral("number"), QStringLiteral("车牌号码"), 10, true).toUpper();
    const qint64 drivingMode = dictionaryCode(
        context, QStringLiteral("driving_mode"), QStringLiteral("driving_mode"), QStringLiteral("驱动形式"));
    const qint64 tonnageLevel = dictionaryCode(
        context, QStringLiteral("tonnage_level"), QStringLiteral("tonnage"), QStringLiteral("吨位级别"));
    const double tonnage = request.decimal(QStringLiteral("tonnage"), QStringLiteral("额定载重"), 0, 1000, 2, true);
    if (tonnage <= 0)
        throw ApiError(QStringLiteral("额定载重超出允许的范围！"));
    const qint64 packingcaseMode = dictionaryCode(
        context, QStringLiteral("packingcase_mode"), QStringLiteral("packingcase_mode"), QStringLiteral("货箱形式"));
    const QVariant length
        = optionalSize(request, QStringLiteral("packingcase_length"), QStringLiteral("货箱长度"), 100);
    const QVariant width = optionalSize(request, QStringLiteral("packingcase_width"), QStringLiteral("货箱宽度"), 5);
    const QVariant height = optionalSize(request, QStringLiteral("packingcase_height"), QStringLiteral("货箱高度"), 5);
    const QString photo1 = request.text(QStringLiteral("photo1"), QStringLiteral("照片1"), 500, false);
    const QString photo2 = request.text(QStringLiteral("photo2"), QStringLiteral("照片2"), 500, false);
    const QString driver1Name = request.text(QStringLiteral("driver1_name"), QStringLiteral("司机1姓名"), 20, true);
    const QString driver1Mobile
        = request.matching(QStringLiteral("driver1_mobile"), QStringLiteral("司机1手机号码"), mobile, true);
    const QString driver2Name = request.text(QStringLiteral("driver2_name"), QStringLiteral("司机2姓名"), 20, false);
    const QString driver2Mobile
        = request.matching(QStringLiteral("driver2_mobile"), QStringLiteral("司机2手机号码"), mobile, false);
    const QString companyName = request.text(QStringLiteral("company_name"), QStringLiteral("公司"), 100, false);
    const QString companyTel
        = request.matching(QStringLiteral("company_tel"), QStringLiteral("公司电话"), phone, false);
    const QString notes = request.text(QStringLiteral("notes"), QStringLiteral("备注"), 500, false);

    const QString taken
        = NameKey::clash(context.db, QStringLiteral("trucks"), QStringLiteral("number"), request.organ(), number, id);
    if (!taken.isEmpty())
        throw ApiError(QStringLiteral("车牌号码%1已存在！").arg(taken));

    const QString columns = QStringLiteral("number = ?, driving_mode = ?, tonnage_level = ?, tonnage = ?,"
                                           " packingcase_mode = ?, packingcase_length = ?, packingcase_width = ?,"
                                           " packingcase_height = ?, photo1 = ?, photo2 = ?, driver1_name = ?,"
                                           " driver1_mobile = ?, driver2_name = ?, driver2_mobile = ?,"
                                           " company_name = ?, company_tel = ?, notes = ?");
    Sql q(context.db,
        id == 0
            ? QStringLiteral("INSERT INTO trucks (number, driving_mode, tonnage_level, tonnage,"
                             " packingcase_mode, packingcase_length, packingcase_width,"
                             " packingcase_height, photo1, photo2, driver1_name, driver1_mobile,"
                             " driver2_name, driver2_mobile, company_name, company_tel, notes,"
                             " organ, create_time)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            : QStringLiteral("UPDATE trucks SET %1, version = version + 1 WHERE id = ? AND organ = ?").arg(columns));
    q.bind(number)
        .bind(drivingMode)
        .bind(tonnageLevel)
        .bind(tonnage)
        .bind(packingcaseMode)
        .bind(length)
        .bind(width)
        .bind(height)
        .bind(photo1)
        .bind(photo2)
        .bind(driver1Name)
        .bind(driver1Mobile)
        .bind(driver2Name)
        .bind(driver2Mobile)
        .bind(companyName)
        .bind(companyTel)
        .bind(notes);
    if (id == 0)
        q.bind(request.organ()).bind(SessionService::now());
    else
        q.bind(id).bind(request.organ());
    q.exec();
    return id == 0 ? q.lastInsertId() : id;
}

// The truck's trades in `status`, which a status change moves on.
QVector<qint64> tradesOf(const ApiContext& context, qint64 truck, int status)
{
    QVector<qint64> ids;
    Sql q(context.db, QStringLiteral("SELECT id FROM trades WHERE truck = ? AND status = ? ORDER BY id"));
    q.bind(truck).bind(status).exec();
    while (q.next())
        ids.append(q.integer(0));
    return ids;
}

// A truck's status change is an entry of the truck's history and of each
// trade that it moved on (from `tradeStatus` to `newTradeStatus`).
void recordStatus(
    const ApiContext& context, qint64 truck, const QVector<qint64>& trades, int tradeStatus, int newTradeStatus)
{
    const QString status = QStringLiteral("status");
    const int truckStatus = newTradeStatus == 1 ? 1 : 0;
    History::record(
        context, History::Truck, truck, status, { { status, 1 - truckStatus } }, { { status, truckStatus } });
    for (const qint64 trade : trades)
        History::record(
            context, History::Trade, trade, status, { { status, tradeStatus } }, { { status, newTradeStatus } });
}

} // namespace

qint64 TruckService::requireTruck(const ApiContext& context, qint64 id)
{
    Sql q(context.db, QStringLiteral("SELECT status FROM trucks WHERE id = ? AND organ = ? AND deleted = 0"));
    q.bind(id).bind(context.request.organ()).exec();
    if (!q.next())
        throw ApiError(QStringLiteral("货车不存在！"));
    return q.integer(0);
}

ApiReply TruckService::list(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QString number = request.text(QStringLiteral("number"), QStringLiteral("车牌号码"), 20, false);
    const SearchIndex::Match match = SearchIndex::match(context.db, SearchIndex::Target::Trucks, number);
    QString statement = truckColumns + QStringLiteral(" FROM ") + match.source + truckTexts + match.condition;
    // Without a page the board asks for every truck, oldest first; the list
    // pages newest first.
    const bool paged = request.has(QStringLiteral("page"));
    const qint64 page = request.page();
    statement += paged ? QStringLiteral(" ORDER BY t.id DESC LIMIT ? OFFSET ?") : QStringLiteral(" ORDER BY t.id");
    // The search's values are texts.
    RowReader q(context.db, statement);
    for (const QVariant& value : match.sourceValues)
        q.bind(value.toString());
    q.bind(request.organ());
    for (const QVariant& value : match.conditionValues)
        q.bind(value.toString());
    if (paged)
        q.bind(pageSize).bind((page - 1) * pageSize);
    q.exec();
    ApiReply reply = ApiReply::okWithJson(trucksJson(context.db, request.organ(), q));
    if (paged)
        reply.with(QStringLiteral("page"), page).with(QStringLiteral("page_size"), pageSize);
    return reply;
}

ApiReply TruckService::group(ApiContext& context)
{
    const QString group = context.request.segments().at(1);
    if (group != QLatin1String("0") && group != QLatin1String("1"))
        throw ApiError(QStringLiteral("货车分组无效！"));
    RowReader q(context.db, truckSelect + QStringLiteral(" AND t.status = ? ORDER BY t.id"));
    q.bind(context.request.organ()).bind(group.toInt()).exec();
    return ApiReply::okWithJson(trucksJson(context.db, context.request.organ(), q));
}

QJsonObject TruckService::record(const ApiContext& context, qint64 id)
{
    RowReader q(context.db, truckSelect + QStringLiteral(" AND t.id = ?"));
    q.bind(context.request.organ()).bind(id).exec();
    const QJsonArray trucks = QJsonDocument::fromJson(trucksJson(context.db, context.request.organ(), q)).array();
    return trucks.isEmpty() ? QJsonObject() : trucks.first().toObject();
}

QString TruckService::listAnswerKey(const ApiRequest& request)
{
    if (!request.value(QStringLiteral("number")).trimmed().isEmpty())
        return QString();
    if (!request.has(QStringLiteral("page")))
        return QStringLiteral("board");
    return QStringLiteral("page %1").arg(request.page());
}

QString TruckService::groupAnswerKey(const ApiRequest& request)
{
    const QString group = request.segments().at(1);
    if (group != QLatin1String("0") && group != QLatin1String("1"))
        return QString();
    return QStringLiteral("group ") + group;
}

ApiReply TruckService::add(ApiContext& context)
{
    // The board carries every truck of the station in one answer: a station
    // keeps it bounded by the trucks it may have.
    const int cap = context.limits.trucksPerStation;
    if (cap > 0
        && Sql::scalar(context.db, QStringLiteral("SELECT COUNT(*) FROM trucks WHERE organ = ? AND deleted = 0"),
               { context.request.organ() })
                .toLongLong()
            >= cap)
        throw ApiError(QStringLiteral("本站的货车已达%1辆的上限，请先删除不用的货车！").arg(cap));
    const qint64 id = saveTruck(context, 0);
    History::record(context, History::Truck, id, QStringLiteral("add"));
    return ApiReply::ok().with(QStringLiteral("truck_id"), id);
}

ApiReply TruckService::edit(ApiContext& context)
{
    const qint64 id = context.request.segmentId(1, QStringLiteral("货车"));
    requireTruck(context, id);
    const QVariantMap before = History::snapshot(context.db, History::Truck, id);
    saveTruck(context, id);
    History::record(
        context, History::Truck, id, QStringLiteral("edit"), before, History::snapshot(context.db, History::Truck, id));
    return ApiReply::ok().with(QStringLiteral("truck_id"), id);
}

ApiReply TruckService::work(ApiContext& context)
{
    const qint64 id = context.request.segmentId(1, QStringLiteral("货车"));
    if (requireTruck(context, id) != 0)
        throw ApiError(QStringLiteral("该车已在运输途中！"));
    const QVector<qint64> loads = tradesOf(context, id, 0);
    Sql trades(context.db,
        QStringLiteral("UPDATE trades SET status = 1, start_time = ?, version = version + 1"
                       " WHERE truck = ? AND status = 0"));
    trades.bind(SessionService::now()).bind(id).exec();
    if (trades.rowsAffected() == 0)
        throw ApiError(QStringLiteral("本车尚未配货，不能发车！"));
    Sql truck(context.db, QStringLiteral("UPDATE trucks SET status = 1, version = version + 1 WHERE id = ?"));
    truck.bind(id).exec();
    recordStatus(context, id, loads, 0, 1);
    return ApiReply::ok().with(QStringLiteral("status"), 1);
}

ApiReply TruckService::sleep(ApiContext& context)
{
    const qint64 id = context.request.segmentId(1, QStringLiteral("货车"));
    if (requireTruck(context, id) != 1)
        throw ApiError(QStringLiteral("该车尚未发车！"));
    const QVector<qint64> loads = tradesOf(context, id, 1);
    Sql trades(context.db,
        QStringLiteral("UPDATE trades SET status = 2, complete_time = ?, version = version + 1"
                       " WHERE truck = ? AND status = 1"));
    trades.bind(SessionService::now()).bind(id).exec();
    Sql truck(context.db, QStringLiteral("UPDATE trucks SET status = 0, version = version + 1 WHERE id = ?"));
    truck.bind(id).exec();
    recordStatus(context, id, loads, 1, 2);
    return ApiReply::ok().with(QStringLiteral("status"), 0);
}

ApiReply TruckService::remove(ApiContext& context)
{
    const qint64 id = context.request.segmentId(1, QStringLiteral("货车"));
    requireTruck(context, id);
    const qint64 open
        = Sql::scalar(context.db, QStringLiteral("SELECT COUNT(*) FROM trades WHERE truck = ? AND status < 2"), { id })
              .toLongLong();
    if (open > 0)
        throw ApiError(QStringLiteral("该车还有%1笔未完成的业务，不能删除！").arg(open));
    Sql q(context.db, QStringLiteral("UPDATE trucks SET deleted = 1, version = version + 1 WHERE id = ?"));
    q.bind(id).exec();
    History::record(context, History::Truck, id, QStringLiteral("delete"));
    return ApiReply::ok();
}

} // namespace platform
