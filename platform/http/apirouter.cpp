#include "apirouter.h"

#include "answercache.h"
#include "apicontext.h"
#include "apierror.h"
#include "changelog.h"
#include "credentials.h"
#include "history.h"
#include "messageservice.h"
#include "partyservice.h"
#include "platformmetrics.h"
#include "reportservice.h"
#include "requestanswers.h"
#include "serverlog.h"
#include "sessionservice.h"
#include "sql.h"
#include "storage.h"
#include "tradeservice.h"
#include "transaction.h"
#include "truckservice.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>

#include <exception>

namespace platform {

namespace {

// Takes one write for `key` inside the write's transaction, or refuses the
// request; no key, no count.
void take(const QSqlDatabase& db, const QString& key, const WriteQuota::Limit& limit, const QString& dayFullMessage,
    const std::string& name)
{
    if (key.isEmpty())
        return;
    const qint64 day = QDate::currentDate().toJulianDay();
    switch (WriteQuota::take(db, key, limit, QDateTime::currentMSecsSinceEpoch(), day)) {
    case WriteQuota::Verdict::Allowed:
        break;
    case WriteQuota::Verdict::TooFast:
        PlatformMetrics::instance().refused(name + "_per_minute");
        throw ApiError(QStringLiteral("操作过于频繁，请稍后再试！"));
    case WriteQuota::Verdict::DayFull:
        PlatformMetrics::instance().refused(name + "_per_day");
        throw ApiError(dayFullMessage.arg(limit.perDay));
    }
}

} // namespace

ApiRouter::ApiRouter()
    : throttle(std::make_unique<LoginThrottle>())
{
    const QString get = QStringLiteral("GET");
    const QString post = QStringLiteral("POST");
    const Access open = Access::Public;
    const Access signedIn = Access::Session;

    add(get, QStringLiteral("health"), open, Mode::Health, nullptr);
    add(post, QStringLiteral("auth"), open, Mode::Own, &SessionService::login, Cost::PasswordHash);
    add(get, QStringLiteral("system/version/windesktop"), open, Mode::None, &SessionService::version);
    add(get, QStringLiteral("truck/dict"), signedIn, Mode::Read, &SessionService::truckDict);
    add(get, QStringLiteral("system/serviceinfo"), signedIn, Mode::Read, &SessionService::serviceInfo);
    add(get, QStringLiteral("system/notification"), signedIn, Mode::Read, &SessionService::notification);
    add(get, QStringLiteral("mine/profile"), signedIn, Mode::Read, &SessionService::profile);
    add(post, QStringLiteral("mine/profile/edit"), signedIn, Mode::Write, &SessionService::editProfile);
    add(post, QStringLiteral("mine/password/edit"), signedIn, Mode::Own, &SessionService::editPassword,
        Cost::PasswordHash);
    add(post, QStringLiteral("system/visit/start"), signedIn, Mode::Write, &SessionService::visitStart);
    // The visit end also ends the session, whatever became of the visit.
    add(get, QStringLiteral("system/visit/*/end"), signedIn, Mode::Own, &SessionService::visitEnd);

    // The board asks for these again and again, mostly of an unchanged
    // station.
    add(get, QStringLiteral("truck"), signedIn, Mode::Read, &TruckService::list, Cost::Light,
        &TruckService::listAnswerKey);
    add(get, QStringLiteral("truck/*"), signedIn, Mode::Read, &TruckService::group, Cost::Light,
        &TruckService::groupAnswerKey);
    add(post, QStringLiteral("truck/add"), signedIn, Mode::Write, &TruckService::add);
    add(post, QStringLiteral("truck/*/edit"), signedIn, Mode::Write, &TruckService::edit);
    add(get, QStringLiteral("truck/*/work"), signedIn, Mode::Write, &TruckService::work);
    add(get, QStringLiteral("truck/*/sleep"), signedIn, Mode::Write, &TruckService::sleep);
    add(get, QStringLiteral("truck/*/delete"), signedIn, Mode::Write, &TruckService::remove);

    add(get, QStringLiteral("shipper"), signedIn, Mode::Read, &PartyService::listShippers);
    add(post, QStringLiteral("shipper/add"), signedIn, Mode::Write, &PartyService::addShipper);
    add(post, QStringLiteral("shipper/*/edit"), signedIn, Mode::Write, &PartyService::editShipper);
    add(get, QStringLiteral("shipper/*/delete"), signedIn, Mode::Write, &PartyService::removeShipper);
    add(get, QStringLiteral("consignee"), signedIn, Mode::Read, &PartyService::listConsignees);
    add(post, QStringLiteral("consignee/add"), signedIn, Mode::Write, &PartyService::addConsignee);
    add(post, QStringLiteral("consignee/*/edit"), signedIn, Mode::Write, &PartyService::editConsignee);
    add(get, QStringLiteral("consignee/*/delete"), signedIn, Mode::Write, &PartyService::removeConsignee);

    add(get, QStringLiteral("trade"), signedIn, Mode::Read, &TradeService::list);
    add(post, QStringLiteral("trade/add"), signedIn, Mode::Write, &TradeService::add);
    add(post, QStringLiteral("trade/*/edit"), signedIn, Mode::Write, &TradeService::edit);
    add(post, QStringLiteral("trade/*/status/change"), signedIn, Mode::Write, &TradeService::changeStatus);

    // What the station is owed, owes, and did day by day.
    add(get, QStringLiteral("report/agency"), signedIn, Mode::Read, &ReportService::agency);
    add(get, QStringLiteral("report/payout"), signedIn, Mode::Read, &ReportService::payout);
    add(get, QStringLiteral("report/daily"), signedIn, Mode::Read, &ReportService::daily);

    // Every record's history, oldest first.
    add(get, QStringLiteral("truck/*/history"), signedIn, Mode::Read, &History::ofTruck);
    add(get, QStringLiteral("shipper/*/history"), signedIn, Mode::Read, &History::ofShipper);
    add(get, QStringLiteral("consignee/*/history"), signedIn, Mode::Read, &History::ofConsignee);
    add(get, QStringLiteral("trade/*/history"), signedIn, Mode::Read, &History::ofTrade);

    add(post, QStringLiteral("sms/send"), signedIn, Mode::Write, &MessageService::sendSms);
    add(post, QStringLiteral("system/feedback/add"), signedIn, Mode::Write, &MessageService::addFeedback);

    // What one station may add of the records that nothing else bounds, and
    // how fast and how much it may write its records, whichever session
    // writes: each write leaves an entry in the record's history.
    count(post, QStringLiteral("system/feedback/add"), Quota::Feedback);
    count(post, QStringLiteral("system/visit/start"), Quota::Visits);
    count(post, QStringLiteral("shipper/add"), Quota::Parties);
    count(post, QStringLiteral("consignee/add"), Quota::Parties);
    for (const QString& pattern : { QStringLiteral("truck/add"), QStringLiteral("truck/*/edit"),
             QStringLiteral("trade/add"), QStringLiteral("trade/*/edit"), QStringLiteral("trade/*/status/change"),
             QStringLiteral("shipper/*/edit"), QStringLiteral("consignee/*/edit") })
        count(post, pattern, Quota::StationRecords);
    for (const QString& pattern :
        { QStringLiteral("truck/*/work"), QStringLiteral("truck/*/sleep"), QStringLiteral("truck/*/delete"),
            QStringLiteral("shipper/*/delete"), QStringLiteral("consignee/*/delete") })
        count(get, pattern, Quota::StationRecords);

    // The writes of one record, which may name the version the clerk's copy
    // has and answer with the version they made.
    versioned(post, QStringLiteral("truck/*/edit"), RecordVersion::Truck);
    versioned(get, QStringLiteral("truck/*/work"), RecordVersion::Truck);
    versioned(get, QStringLiteral("truck/*/sleep"), RecordVersion::Truck);
    versioned(get, QStringLiteral("truck/*/delete"), RecordVersion::Truck);
    versioned(post, QStringLiteral("shipper/*/edit"), RecordVersion::Shipper);
    versioned(get, QStringLiteral("shipper/*/delete"), RecordVersion::Shipper);
    versioned(post, QStringLiteral("consignee/*/edit"), RecordVersion::Consignee);
    versioned(get, QStringLiteral("consignee/*/delete"), RecordVersion::Consignee);
    versioned(post, QStringLiteral("trade/*/edit"), RecordVersion::Trade);
    versioned(post, QStringLiteral("trade/*/status/change"), RecordVersion::Trade);
    versioned(post, QStringLiteral("mine/profile/edit"), RecordVersion::Profile);

    for (const Route& route : qAsConst(routes)) {
        if (!resources.contains(route.pattern.first()))
            resources.append(route.pattern.first());
    }
}

void ApiRouter::add(const QString& method, const QString& pattern, Access access, Mode mode, Handler handler, Cost cost,
    AnswerKey answerKey)
{
    routes.append(Route { method, pattern.split(QLatin1Char('/')), access, mode, handler, cost, answerKey });
}

void ApiRouter::count(const QString& method, const QString& pattern, Quota counted)
{
    const QStringList segments = pattern.split(QLatin1Char('/'));
    for (Route& route : routes) {
        if (route.method == method && route.pattern == segments) {
            // The count is taken in the write's transaction.
            Q_ASSERT(route.mode == Mode::Write);
            route.quota = counted;
        }
    }
}

void ApiRouter::versioned(const QString& method, const QString& pattern, RecordVersion::Kind record)
{
    const QStringList segments = pattern.split(QLatin1Char('/'));
    for (Route& route : routes) {
        if (route.method == method && route.pattern == segments) {
            // The check is made in the write's transaction.
            Q_ASSERT(route.mode == Mode::Write);
            route.record = record;
        }
    }
}

ApiRouter::QuotaUse ApiRouter::quotaUse(Quota counted, const ApiRequest& request, const ServiceLimits& limits)
{
    const QString station = QStringLiteral("station %1 ").arg(request.organ());
    switch (counted) {
    case Quota::None:
        break;
    case Quota::Feedback:
        return { station + QStringLiteral("feedback"), { limits.feedbackPerMinute, limits.feedbackPerDay },
            QStringLiteral("今天的反馈已达%1条的上限，请明天再试！"), "feedback" };
    case Quota::Visits:
        return { station + QStringLiteral("visits"), { limits.visitsPerMinute, limits.visitsPerDay },
            QStringLiteral("今天的访问记录已达%1条的上限，请明天再试！"), "visits" };
    case Quota::Parties:
        return { station + QStringLiteral("parties"), { limits.partiesPerMinute, limits.partiesPerDay },
            QStringLiteral("今天新增的托运人和收货人已达%1个的上限，请明天再试！"), "parties" };
    case Quota::StationRecords:
        return { station + QStringLiteral("records"), { limits.recordWritesPerMinute, limits.recordWritesPerDay },
            QStringLiteral("今天修改的记录已达%1次的上限，请明天再试！"), "record_writes" };
    }
    return {};
}

void ApiRouter::setChangeListener(std::function<void()> listener)
{
    changeListener = std::move(listener);
}

void ApiRouter::setErrorSink(std::function<void(const QString&)> sink)
{
    errorSink = std::move(sink);
    throttle->setLogSink(errorSink);
}

const ApiRouter::Route* ApiRouter::match(const QStringList& segments, bool* methodMismatch, const QString& method) const
{
    // The most specific pattern (most literal segments) names the request;
    // "truck/dict" wins over "truck/*".
    const Route* best = nullptr;
    int bestLiterals = -1;
    for (const Route& route : routes) {
        if (route.pattern.size() != segments.size())
            continue;
        int literals = 0;
        bool matches = true;
        for (int i = 0; i < segments.size() && matches; ++i) {
            if (route.pattern.at(i) == QLatin1String("*"))
                continue;
            matches = route.pattern.at(i) == segments.at(i);
            ++literals;
        }
        if (!matches)
            continue;
        // HEAD is a GET without the body, so it is answered only where a GET
        // changes nothing.
        const bool methodFits = route.method == method
            || (method == QLatin1String("HEAD") && route.method == QLatin1String("GET")
                && (route.mode == Mode::Read || route.mode == Mode::None || route.mode == Mode::Health));
        if (literals > bestLiterals || (literals == bestLiterals && methodFits)) {
            best = &route;
            bestLiterals = literals;
            *methodMismatch = !methodFits;
        }
    }
    return best;
}

const ApiRouter::Route* ApiRouter::find(
    const QString& method, const QString& path, QStringList* segments, bool* methodMismatch) const
{
    *segments = path.split(QLatin1Char('/'));
    // "/truck/5/work/" splits into "", "truck", "5", "work", "".
    const bool trailingSlash = segments->size() > 1 && segments->last().isEmpty();
    if (!segments->isEmpty() && segments->first().isEmpty())
        segments->removeFirst();
    if (trailingSlash)
        segments->removeLast();
    *methodMismatch = false;
    if (!trailingSlash || segments->contains(QString()))
        return nullptr;
    return match(*segments, methodMismatch, method);
}

bool ApiRouter::hashesPassword(const QString& method, const QString& path) const
{
    QStringList segments;
    bool methodMismatch = false;
    const Route* route = find(method, path, &segments, &methodMismatch);
    return route && !methodMismatch && route->cost == Cost::PasswordHash;
}

ApiRouter::Outcome ApiRouter::dispatch(const QString& method, const QString& path, const ApiRequest::RawParams& params,
    const Storage& storage, const Settings& settings) const
{
    QStringList segments;
    bool methodMismatch = false;
    const Route* route = find(method, path, &segments, &methodMismatch);
    const bool knownResource = !segments.isEmpty() && resources.contains(segments.first());
    if (!route) {
        // A path below a known resource is a request with an unknown
        // operation (such as "/truck/5" without one); anything else names
        // nothing at all.
        if (knownResource)
            return { 200, ApiReply::refusal(QStringLiteral("未知的操作！")) };
        return { 404, ApiReply::refusal(QStringLiteral("请求的地址不存在！")) };
    }
    if (methodMismatch)
        return { 200, ApiReply::refusal(QStringLiteral("不支持的请求方法！")) };

    const std::string name = route->pattern.join(QLatin1Char('/')).toStdString();
    if (route->mode == Mode::Health) {
        Outcome outcome = health(storage);
        outcome.route = name;
        return outcome;
    }
    ApiRequest request(method, segments, params);
    if (!request.isWellFormed())
        return { 200, ApiReply::refusal(QStringLiteral("请求参数的编码无效！")), name };
    Outcome outcome = run(*route, request, storage, settings);
    outcome.route = name;
    return outcome;
}

ApiRouter::Outcome ApiRouter::health(const Storage& storage)
{
    QJsonObject data { { QStringLiteral("version"), QStringLiteral(FREYMO_PLATFORM_VERSION) } };
    // A connection that the database server dropped fails one statement
    // before it is known to be lost; the second try opens a new one, so the
    // check does not fail once per worker after the server is back. A
    // connection that cannot be opened is not tried twice: that may take
    // the connect timeout each time.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlDatabase db;
        try {
            db = storage.connection();
        } catch (const std::exception&) {
            PlatformMetrics::instance().databaseError();
            break;
        }
        try {
            Sql::scalar(db, QStringLiteral("SELECT 1"));
            data.insert(QStringLiteral("database"), QStringLiteral("ok"));
            return { 200, ApiReply::ok(data) };
        } catch (const std::exception&) {
            PlatformMetrics::instance().databaseError();
        }
    }
    // The log has the request's line with its status; a balancer that asks
    // every second would fill it with the same failure besides.
    data.insert(QStringLiteral("database"), QStringLiteral("unavailable"));
    return { 503, ApiReply::refusal(QStringLiteral("数据库暂时无法访问！")).with(QStringLiteral("data"), data) };
}

ApiRouter::Outcome ApiRouter::run(
    const Route& route, ApiRequest& request, const Storage& storage, const Settings& settings) const
{
    try {
        ApiContext context { request, storage.connection(), storage, settings.announcedVersion, settings.host,
            settings.peer, settings.limits, *throttle };
        if (route.access == Access::Session) {
            qint64 organ = 0;
            qint64 user = 0;
            if (!ApiRequest::parseId(request.value(QStringLiteral("user")), &user)
                || !SessionService::checkSession(
                    context.db, request.value(QStringLiteral("token")), user, settings.limits, &organ))
                return { 200, ApiReply::refusal(QStringLiteral("登录已失效，请重新登录！")) };
            request.setSession(user, organ);
        }
        if (route.mode == Mode::None || route.mode == Mode::Own)
            return { 200, route.handler(context) };

        // What an earlier request of this thread left behind was rolled back.
        ChangeLog::takeAppended();
        Transaction transaction(context.db, route.mode == Mode::Write ? Transaction::Write : Transaction::Read);
        // A write sent again under the id of one already done gets that
        // write's answer, and nothing else happens: no count is taken, no
        // version checked. Writes take turns, so the first one has committed
        // (or failed) by the time this one looks.
        const bool writes = route.mode == Mode::Write && route.access == Access::Session;
        const QString requestId = writes ? RequestAnswers::idOf(request) : QString();
        const QString routeName = request.method() + QLatin1Char(' ') + request.segments().join(QLatin1Char('/'));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (!requestId.isEmpty()) {
            RequestAnswers::Answer kept;
            if (RequestAnswers::find(context.db, request.organ(), requestId, routeName, now, &kept)) {
                transaction.commit();
                return { kept.status, ApiReply::verbatim(kept.body) };
            }
        }
        const QuotaUse use = quotaUse(route.quota, request, settings.limits);
        take(context.db, use.key, use.limit, use.dayFullMessage, use.name);
        QString key;
        if (route.mode == Mode::Read && route.answerKey && settings.reuseAnswers) {
            key = route.answerKey(request);
            if (!key.isEmpty())
                key = QString::number(request.organ()) + QLatin1Char(' ') + key;
        }
        const bool reusable = !key.isEmpty();
        AnswerCache::State state;
        if (reusable) {
            // The state is read first, so it is that of the snapshot the
            // answer is made from.
            state = AnswerCache::stateOf(context.db);
            ApiReply kept;
            const bool found = AnswerCache::find(context.db, key, state, &kept);
            PlatformMetrics::instance().answerReused(found);
            if (found) {
                transaction.commit();
                return { 200, kept };
            }
        }
        RecordVersion::check(context, route.record);
        ApiReply reply = route.handler(context);
        if (reply.isSuccess()) {
            if (route.record != RecordVersion::None && !reply.has(QStringLiteral("version"))) {
                const qint64 version = RecordVersion::current(context, route.record);
                if (version > 0)
                    reply.with(QStringLiteral("version"), version);
            }
            if (!requestId.isEmpty())
                RequestAnswers::keep(context.db, request.organ(), requestId, routeName, now, { 200, reply.toJson() });
            transaction.commit();
            if (reusable) {
                // Written once: this answer and the kept one share the bytes.
                reply = reply.prewritten();
                AnswerCache::keep(context.db, key, state, reply);
            }
            if (ChangeLog::takeAppended() && changeListener)
                changeListener();
        }
        // A refusal leaves nothing behind: the transaction rolls back.
        return { 200, reply };
    } catch (const ApiError& refusal) {
        ApiReply reply = ApiReply::refusal(refusal.message());
        const QJsonObject& extra = refusal.extra();
        for (auto it = extra.constBegin(); it != extra.constEnd(); ++it)
            reply.with(it.key(), it.value());
        return { 200, reply };
    } catch (const std::exception& failure) {
        if (dynamic_cast<const Sql::Error*>(&failure))
            PlatformMetrics::instance().databaseError();
        if (errorSink)
            errorSink(QStringLiteral("internal error in %1 /%2: %3")
                          .arg(request.method(),
                              ServerLog::printable(request.segments().join(QLatin1Char('/')).toStdString()),
                              QString::fromStdString(failure.what())));
        return { 200, ApiReply::refusal(QStringLiteral("服务器繁忙，请稍后再试！")) };
    }
}

} // namespace platform
