#include "net/api.h"

#include "buildconfig.h"
#include "net/requestcode.h"
#include "net/systeminfo.h"
#include "net/truckdict.h"
#include "net/usertoken.h"
#include "net/voiceaccount.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QUrl>

#include <cmath>
#include <limits>

namespace {

const QString connectFailedText = QString::fromUtf8("连接管理平台失败！");

// An integer of an answer: a JSON number rounded to the nearest integer, a
// string of decimal digits parsed, anything else 0. Out-of-range values are
// clamped rather than wrapped.
qint64 readInteger(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return 0;
        if (d >= 9.2e18)
            return std::numeric_limits<qint64>::max();
        if (d <= -9.2e18)
            return std::numeric_limits<qint64>::min();
        return qRound64(d);
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 n = value.toString().trimmed().toLongLong(&ok);
        return ok ? n : 0;
    }
    return 0;
}

int readInt(const QJsonValue& value)
{
    const qint64 n = readInteger(value);
    if (n > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (n < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(n);
}

bool isSuccess(const QJsonObject& answer)
{
    const QJsonValue success = answer.value(QLatin1String("success"));
    return success.isBool() && success.toBool();
}

QString errorsOf(const QJsonObject& answer)
{
    return answer.value(QLatin1String("errors")).toString();
}

// The answer object of a finished reply: the fixed connection failure for a
// refused connection or a missing resource, otherwise the body's top-level
// object (empty when the body is empty, unreadable, not JSON or not an object).
QJsonObject answerOf(QNetworkReply* reply)
{
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::ContentNotFoundError || error == QNetworkReply::ConnectionRefusedError) {
        QJsonObject failure;
        failure.insert(QStringLiteral("success"), false);
        failure.insert(QStringLiteral("errors"), connectFailedText);
        return failure;
    }
    // An aborted or timed-out reply is closed; it has no body to read.
    if (!reply->isReadable())
        return QJsonObject();
    QByteArray body = reply->readAll().trimmed();
    const int nul = body.indexOf('\0');
    if (nul >= 0)
        body.truncate(nul);
    const QJsonDocument document = QJsonDocument::fromJson(QString::fromUtf8(body).toUtf8());
    return document.isObject() ? document.object() : QJsonObject();
}

QString decimal(quint32 value)
{
    return QString::number(value);
}

// A number that goes into a path or a query as an identifier, page or status.
QString unsignedText(int value)
{
    return QString::number(static_cast<quint32>(value));
}

// A value typed by the user that goes into a query: trimmed, then escaped so
// that "&", "#", "+" and "%" stay part of the value.
QString queryValue(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text.trimmed()));
}

// 32 lower-case hex digits: the MD5 of the local time text, salted with a
// random number so that two sessions opened within one second (here or on
// another machine) never share a number.
QString makeSessionId()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ddd"));
    QByteArray input = stamp.toLatin1();
    input += ' ';
    input += QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    return QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex());
}

} // namespace

API* API::instance()
{
    static API api;
    return &api;
}

API::API()
    : BaseHttp(nullptr)
{
}

API::~API()
{
    delete token;
    delete voice;
}

void API::endSession()
{
    delete token;
    token = nullptr;
    delete voice;
    voice = nullptr;
}

QString API::sessionSuffix() const
{
    if (!token)
        return QStringLiteral("?token=&user=0");
    // Escaped like every other value: a token is the server's text, and a "&",
    // "+" or "#" in it must stay part of it.
    return QStringLiteral("?token=") + QString::fromLatin1(QUrl::toPercentEncoding(token->token))
        + QStringLiteral("&user=") + decimal(token->user);
}

// ---------------------------------------------------------------- session

ApiCall* API::login(const QString& username, const QString& password)
{
    if (!token) {
        token = new UserToken;
        delete voice;
        voice = new VoiceAccount;
    }
    token->username = username;
    token->password = password;
    token->sessionid = makeSessionId();

    QMap<QString, QString> params;
    params.insert(QStringLiteral("username"), username);
    params.insert(QStringLiteral("password"), password);
    return track(performPost(QStringLiteral("/auth/"), params, toInt(RequestCode::Login)));
}

ApiCall* API::fetchTruckDict()
{
    return track(performGet(QStringLiteral("/truck/dict/") + sessionSuffix(), toInt(RequestCode::FetchTruckDict)));
}

ApiCall* API::fetchServiceInfo()
{
    return track(
        performGet(QStringLiteral("/system/serviceinfo/") + sessionSuffix(), toInt(RequestCode::FetchServiceInfo)));
}

ApiCall* API::fetchProfile()
{
    return track(performGet(QStringLiteral("/mine/profile/") + sessionSuffix(), toInt(RequestCode::FetchProfile)));
}

ApiCall* API::fetchVersion()
{
    return track(performGet(QStringLiteral("/system/version/windesktop/"), toInt(RequestCode::FetchVersion)));
}

ApiCall* API::submitProfile(const QMap<QString, QString>& params)
{
    return track(performPost(
        QStringLiteral("/mine/profile/edit/") + sessionSuffix(), params, toInt(RequestCode::SubmitProfile)));
}

ApiCall* API::submitPassword(const QMap<QString, QString>& params)
{
    return track(performPost(
        QStringLiteral("/mine/password/edit/") + sessionSuffix(), params, toInt(RequestCode::SubmitPassword)));
}

ApiCall* API::visitStart()
{
    QMap<QString, QString> params;
    params.insert(QStringLiteral("organ"), decimal(token ? token->organ : 0));
    params.insert(QStringLiteral("user"), decimal(token ? token->user : 0));
    params.insert(QStringLiteral("platform"), QStringLiteral("PC"));
    params.insert(QStringLiteral("machine"), QString::number(SystemInfo::processorType()));
    params.insert(QStringLiteral("os_version"), SystemInfo::windowsVersionName(SystemInfo::windowsVersion()));
    params.insert(QStringLiteral("app_version"), QStringLiteral(FREYMO_VERSION_TEXT));
    params.insert(QStringLiteral("network_type"), QStringLiteral("ADSL"));
    params.insert(QStringLiteral("resolution"), SystemInfo::screenResolution());
    params.insert(QStringLiteral("sessionid"), token ? token->sessionid : QString());
    return track(
        performPost(QStringLiteral("/system/visit/start/") + sessionSuffix(), params, toInt(RequestCode::VisitStart)));
}

ApiCall* API::visitEnd()
{
    const QString sessionid = token ? token->sessionid : QString();
    return track(performGet(QStringLiteral("/system/visit/") + sessionid + QStringLiteral("/end/") + sessionSuffix(),
        toInt(RequestCode::VisitEnd)));
}

// ---------------------------------------------------------------- business

ApiCall* API::fetchTruckGroup(int group)
{
    const QString path = group >= 0 ? QStringLiteral("/truck/") + QString::number(group) + QStringLiteral("/")
                                    : QStringLiteral("/truck/");
    return track(performGet(path + sessionSuffix(), toInt(RequestCode::FetchTruck)));
}

ApiCall* API::fetchTruck(int page, const QString& number)
{
    return track(performGet(QStringLiteral("/truck/") + sessionSuffix() + QStringLiteral("&page=") + unsignedText(page)
            + QStringLiteral("&number=") + queryValue(number),
        toInt(RequestCode::FetchTruck)));
}

ApiCall* API::fetchShipper(int page, const QString& name)
{
    return track(performGet(QStringLiteral("/shipper/") + sessionSuffix() + QStringLiteral("&page=")
            + unsignedText(page) + QStringLiteral("&name=") + queryValue(name),
        toInt(RequestCode::FetchShipper)));
}

ApiCall* API::fetchConsignee(int page, const QString& name)
{
    return track(performGet(QStringLiteral("/consignee/") + sessionSuffix() + QStringLiteral("&page=")
            + unsignedText(page) + QStringLiteral("&name=") + queryValue(name),
        toInt(RequestCode::FetchConsignee)));
}

ApiCall* API::fetchTrade(int page, const QString& text, const QDate& from, const QDate& to)
{
    QString path = QStringLiteral("/trade/") + sessionSuffix() + QStringLiteral("&page=") + unsignedText(page);
    if (!text.trimmed().isEmpty())
        path += QStringLiteral("&q=") + queryValue(text);
    if (from.isValid())
        path += QStringLiteral("&from=") + from.toString(Qt::ISODate);
    if (to.isValid())
        path += QStringLiteral("&to=") + to.toString(Qt::ISODate);
    return track(performGet(path, toInt(RequestCode::FetchTrade)));
}

ApiCall* API::fetchNotification()
{
    return track(
        performGet(QStringLiteral("/system/notification/") + sessionSuffix(), toInt(RequestCode::FetchNotification)));
}

ApiCall* API::submitRecord(const QString& kind, QMap<QString, QString> params, int code)
{
    // "0" is a new record; any other id, or none, edits the record it names.
    const auto id = params.constFind(QStringLiteral("id"));
    QString path;
    if (id != params.constEnd() && *id == QLatin1String("0")) {
        path = QStringLiteral("/") + kind + QStringLiteral("/add/");
    } else {
        const QString idText = id != params.constEnd() ? *id : QString();
        // The id is escaped so that no value can step out of its path segment.
        path = QStringLiteral("/") + kind + QStringLiteral("/") + QString::fromLatin1(QUrl::toPercentEncoding(idText))
            + QStringLiteral("/edit/");
    }
    params.insert(QStringLiteral("organ"), decimal(token ? token->organ : 0));
    return track(performPost(path + sessionSuffix(), params, code));
}

ApiCall* API::submitTruck(QMap<QString, QString> params)
{
    return submitRecord(QStringLiteral("truck"), std::move(params), toInt(RequestCode::SubmitTruck));
}

ApiCall* API::submitShipper(QMap<QString, QString> params)
{
    return submitRecord(QStringLiteral("shipper"), std::move(params), toInt(RequestCode::SubmitShipper));
}

ApiCall* API::submitConsignee(QMap<QString, QString> params)
{
    return submitRecord(QStringLiteral("consignee"), std::move(params), toInt(RequestCode::SubmitConsignee));
}

ApiCall* API::submitTrade(QMap<QString, QString> params)
{
    return submitRecord(QStringLiteral("trade"), std::move(params), toInt(RequestCode::SubmitTrade));
}

ApiCall* API::changeTruckStatus(int truckId, int status)
{
    QString path = QStringLiteral("/truck/") + unsignedText(truckId);
    if (status == 1)
        path += QStringLiteral("/work/");
    else if (status == 2)
        path += QStringLiteral("/sleep/");
    return track(performGet(path + sessionSuffix(), toInt(RequestCode::ChangeTruckStatus)));
}

ApiCall* API::changeTradeStatus(int tradeId, int payoutStatus, int agencyStatus)
{
    QMap<QString, QString> params;
    params.insert(QStringLiteral("payout_status"), unsignedText(payoutStatus));
    params.insert(QStringLiteral("agency_status"), unsignedText(agencyStatus));
    return track(performPost(
        QStringLiteral("/trade/") + unsignedText(tradeId) + QStringLiteral("/status/change/") + sessionSuffix(), params,
        toInt(RequestCode::ChangeTradeStatus)));
}

ApiCall* API::deleteTruck(int truckId)
{
    return track(
        performGet(QStringLiteral("/truck/") + unsignedText(truckId) + QStringLiteral("/delete/") + sessionSuffix(),
            toInt(RequestCode::DeleteTruck)));
}

ApiCall* API::deleteShipper(int shipperId)
{
    return track(
        performGet(QStringLiteral("/shipper/") + unsignedText(shipperId) + QStringLiteral("/delete/") + sessionSuffix(),
            toInt(RequestCode::DeleteShipper)));
}

ApiCall* API::deleteConsignee(int consigneeId)
{
    return track(performGet(
        QStringLiteral("/consignee/") + unsignedText(consigneeId) + QStringLiteral("/delete/") + sessionSuffix(),
        toInt(RequestCode::DeleteConsignee)));
}

ApiCall* API::submitSms(const QString& number, const QString& content)
{
    QMap<QString, QString> params;
    params.insert(QStringLiteral("number"), number);
    params.insert(QStringLiteral("content"), content);
    return track(performPost(QStringLiteral("/sms/send/") + sessionSuffix(), params, toInt(RequestCode::SubmitSms)));
}

ApiCall* API::submitFeedback(int type, const QString& content)
{
    QMap<QString, QString> params;
    params.insert(QStringLiteral("type"), QString::number(type));
    params.insert(QStringLiteral("content"), content);
    return track(performPost(
        QStringLiteral("/system/feedback/add/") + sessionSuffix(), params, toInt(RequestCode::SubmitFeedback)));
}

ApiCall* API::fetchHistory(RecordKind kind, int id)
{
    QString name;
    switch (kind) {
    case RecordKind::Truck:
        name = QStringLiteral("truck");
        break;
    case RecordKind::Shipper:
        name = QStringLiteral("shipper");
        break;
    case RecordKind::Consignee:
        name = QStringLiteral("consignee");
        break;
    case RecordKind::Trade:
        name = QStringLiteral("trade");
        break;
    }
    return track(performGet(
        QLatin1Char('/') + name + QLatin1Char('/') + unsignedText(id) + QStringLiteral("/history/") + sessionSuffix(),
        toInt(RequestCode::FetchHistory)));
}

ApiCall* API::fetchAgencyReport(int shipperId, int page)
{
    QString path = QStringLiteral("/report/agency/") + sessionSuffix();
    if (shipperId > 0)
        path += QStringLiteral("&shipper=") + unsignedText(shipperId) + QStringLiteral("&page=") + unsignedText(page);
    return track(performGet(path, toInt(RequestCode::FetchReport)));
}

ApiCall* API::fetchPayoutReport(int truckId, int page)
{
    QString path = QStringLiteral("/report/payout/") + sessionSuffix();
    if (truckId > 0)
        path += QStringLiteral("&truck=") + unsignedText(truckId) + QStringLiteral("&page=") + unsignedText(page);
    return track(performGet(path, toInt(RequestCode::FetchReport)));
}

ApiCall* API::fetchDailyReport(const QDate& from, const QDate& to)
{
    return track(performGet(QStringLiteral("/report/daily/") + sessionSuffix() + QStringLiteral("&from=")
            + from.toString(Qt::ISODate) + QStringLiteral("&to=") + to.toString(Qt::ISODate),
        toInt(RequestCode::FetchReport)));
}

// ---------------------------------------------------------------- download

QByteArray API::downloadImage(const QString& url)
{
    qDebug() << "download image:" << url;
    auto* downloader = new QNetworkAccessManager(this);
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setTransferTimeout(transferTimeout());
    QNetworkReply* reply = downloader->get(request);

    {
        QEventLoop loop;
        connect(downloader, &QNetworkAccessManager::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
    }

    // The loop may also end because the application is quitting: the reply
    // is then given up here, so nothing arrives after this frame is gone.
    if (!reply->isFinished())
        reply->abort();
    QByteArray body;
    if (reply->isReadable())
        body = reply->readAll();
    delete downloader; // deletes the reply with it
    return body;
}

// ---------------------------------------------------------------- answers

ApiCall* API::track(int request)
{
    auto* call = new ApiCall(request, this);
    calls.insert(request, call);
    return call;
}

void API::slot_finished(QNetworkReply* reply)
{
    qDebug() << "Response incoming!";
    const int code = reply->property("mothed").toInt();
    const QJsonObject answer = answerOf(reply);
    const int number = requestNumberOf(reply);
    reply->deleteLater();
    const QPointer<ApiCall> call = calls.take(number);

    // Receivers may open nested event loops in which further answers are
    // delivered; each delivery sees its own number, and the outer one gets its
    // number back afterwards.
    const int outer = answering;
    answering = number;
    if (static_cast<unsigned>(code) <= static_cast<unsigned>(LastRequestCode))
        dispatch(static_cast<RequestCode>(code), answer, call);
    answering = outer;
    if (call)
        call->deleteLater();

    emit signal_trans_finished();
}

void API::dispatch(RequestCode code, const QJsonObject& answer, ApiCall* call)
{
    const bool ok = isSuccess(answer);
    const QString errors = ok ? QString() : errorsOf(answer);
    const QString data = QStringLiteral("data");

    ApiAnswer delivered;
    delivered.success = ok;
    delivered.errors = errors;
    if (ok) {
        const QJsonValue payload = answer.value(data);
        if (payload.isObject() || payload.isArray())
            delivered.data = payload;
        delivered.total = answer.value(QLatin1String("total"));
    }
    const auto decode = [&](const char* key) {
        if (ok)
            delivered.value = readInt(answer.value(QLatin1String(key)));
    };
    switch (code) {
    case RequestCode::SubmitShipper:
        decode("shipper_id");
        break;
    case RequestCode::SubmitConsignee:
        decode("consignee_id");
        break;
    case RequestCode::ChangeTruckStatus:
        decode("status");
        break;
    case RequestCode::Login:
        // The session is open (or closed) before anybody hears of it.
        delivered.success = takeLoginAnswer(answer);
        break;
    case RequestCode::FetchTruckDict:
        if (ok) {
            const QJsonObject dict = answer.value(data).toObject();
            TruckDict::instance()->setDrivingMode(dict.value(QLatin1String("driving_mode")).toObject());
            TruckDict::instance()->setTonnage(dict.value(QLatin1String("tonnage")).toObject());
            TruckDict::instance()->setPackingcaseMode(dict.value(QLatin1String("packingcase_mode")).toObject());
        }
        break;
    default:
        break;
    }
    // The asker first, then everybody else.
    if (call)
        call->deliver(delivered);

    auto objectPattern = [&](void (API::*signal)(QJsonObject*, QString)) {
        if (ok) {
            QJsonObject payload = answer.value(data).toObject();
            (this->*signal)(&payload, QString());
        } else {
            (this->*signal)(nullptr, errors);
        }
    };
    auto arrayPattern = [&](void (API::*signal)(QJsonArray*, QString)) {
        if (ok) {
            QJsonArray payload = answer.value(data).toArray();
            (this->*signal)(&payload, QString());
        } else {
            (this->*signal)(nullptr, errors);
        }
    };
    auto booleanPattern = [&](void (API::*signal)(bool, QString)) { (this->*signal)(ok, errors); };
    auto identifierPattern = [&](void (API::*signal)(int, QString)) { (this->*signal)(delivered.value, errors); };

    // The kinds of records that a successful answer has changed.
    QList<RecordKind> changed;
    switch (code) {
    case RequestCode::Login:
        emit signal_login_finished(
            delivered.success ? token : nullptr, delivered.success ? QString() : errorsOf(answer));
        break;
    case RequestCode::FetchTruckDict:
        emit signal_fetch_truckdict_finished(ok, errors);
        break;
    case RequestCode::FetchServiceInfo:
        objectPattern(&API::signal_fetch_serviceinfo_finished);
        break;
    case RequestCode::FetchProfile:
        objectPattern(&API::signal_fetch_profile_finished);
        break;
    case RequestCode::FetchMyProduct:
        arrayPattern(&API::signal_fetch_my_product_finished);
        break;
    case RequestCode::FetchTruck:
        arrayPattern(&API::signal_fetch_truck_finished);
        break;
    case RequestCode::FetchShipper:
        arrayPattern(&API::signal_fetch_shipper_finished);
        break;
    case RequestCode::FetchConsignee:
        arrayPattern(&API::signal_fetch_consignee_finished);
        break;
    case RequestCode::FetchTrade:
        arrayPattern(&API::signal_fetch_trade_finished);
        break;
    case RequestCode::FetchNotification:
        objectPattern(&API::signal_fetch_notification_finished);
        break;
    case RequestCode::FetchVersion:
        objectPattern(&API::signal_fetch_version_finished);
        break;
    case RequestCode::SubmitTruck:
        booleanPattern(&API::signal_submit_truck_finished);
        changed = { RecordKind::Truck };
        break;
    case RequestCode::SubmitShipper:
        identifierPattern(&API::signal_submit_shipper_finished);
        changed = { RecordKind::Shipper };
        break;
    case RequestCode::SubmitConsignee:
        identifierPattern(&API::signal_submit_consignee_finished);
        changed = { RecordKind::Consignee };
        break;
    case RequestCode::SubmitTrade:
        booleanPattern(&API::signal_submit_trade_finished);
        // A packed trade is also a new load on its truck.
        changed = { RecordKind::Trade, RecordKind::Truck };
        break;
    case RequestCode::SubmitProfile:
        booleanPattern(&API::signal_submit_profile_finished);
        break;
    case RequestCode::SubmitPassword:
        booleanPattern(&API::signal_submit_password_finished);
        break;
    case RequestCode::SubmitSms:
        booleanPattern(&API::signal_submit_sms_finished);
        break;
    case RequestCode::SubmitFeedback:
        booleanPattern(&API::signal_submit_feedback_finished);
        break;
    case RequestCode::ChangeTruckStatus:
        emit signal_change_truck_status_finished(ok, delivered.value, errors);
        // A departure or an arrival moves the truck's trades along too.
        changed = { RecordKind::Truck, RecordKind::Trade };
        break;
    case RequestCode::ChangeTradeStatus:
        booleanPattern(&API::signal_change_trade_status_finished);
        changed = { RecordKind::Trade };
        break;
    case RequestCode::DeleteTruck:
        booleanPattern(&API::signal_delete_truck_finished);
        changed = { RecordKind::Truck };
        break;
    case RequestCode::DeleteShipper:
        booleanPattern(&API::signal_delete_shipper_finished);
        changed = { RecordKind::Shipper };
        break;
    case RequestCode::DeleteConsignee:
        booleanPattern(&API::signal_delete_consignee_finished);
        changed = { RecordKind::Consignee };
        break;
    case RequestCode::VisitStart:
        break;
    case RequestCode::VisitEnd:
        emit signal_exit();
        break;
    case RequestCode::FetchHistory:
    case RequestCode::FetchReport:
        break;
    }
    if (!ok)
        return;
    for (RecordKind kind : qAsConst(changed))
        emit signal_records_changed(kind);
}

bool API::takeLoginAnswer(const QJsonObject& answer)
{
    if (!isSuccess(answer)) {
        // No session after a failed login: the next login starts a fresh record.
        delete token;
        token = nullptr;
        return false;
    }
    if (!token) {
        // A success that arrives after an overlapping login failed and
        // dropped the record: open the session on a fresh one.
        token = new UserToken;
        token->sessionid = makeSessionId();
    }
    if (!voice)
        voice = new VoiceAccount;
    token->user = static_cast<quint32>(readInteger(answer.value(QLatin1String("user"))));
    token->organ = static_cast<quint32>(readInteger(answer.value(QLatin1String("organ"))));
    token->token = answer.value(QLatin1String("token")).toString();
    voice->subAccount = answer.value(QLatin1String("sub_account")).toString();
    voice->subAccountPwd = answer.value(QLatin1String("sub_account_pwd")).toString();
    voice->voipAccount = answer.value(QLatin1String("voip_account")).toString();
    voice->voipPwd = answer.value(QLatin1String("voip_pwd")).toString();
    return true;
}
