#include "platformtestclient.h"

#include <QJsonDocument>
#include <QUrl>

#include <httplib.h>

bool PlatformTestClient::Answer::isEnvelope() const
{
    return json.value(QStringLiteral("success")).isBool() && json.value(QStringLiteral("errors")).isString();
}

PlatformTestClient::PlatformTestClient(int port)
    : client(std::make_unique<httplib::Client>("127.0.0.1", port))
{
    client->set_url_encode(false);
    client->set_keep_alive(true);
    client->set_tcp_nodelay(true);
    client->set_connection_timeout(5);
    client->set_read_timeout(20);
    client->set_write_timeout(20);
}

PlatformTestClient::~PlatformTestClient() = default;

PlatformTestClient::Answer PlatformTestClient::raw(
    const std::string& method, const std::string& target, const std::string& body, const std::string& contentType)
{
    httplib::Request request;
    request.method = method;
    request.path = target;
    request.body = body;
    if (method != "GET")
        request.set_header("Content-Type", contentType);
    Answer answer;
    const httplib::Result result = client->send(request);
    if (!result)
        return answer;
    answer.status = result->status;
    answer.body = QByteArray::fromStdString(result->body);
    answer.json = QJsonDocument::fromJson(answer.body).object();
    return answer;
}

PlatformTestClient::Answer PlatformTestClient::get(const QString& path)
{
    return raw("GET", "/api" + path.toStdString());
}

PlatformTestClient::Answer PlatformTestClient::post(const QString& path, const QMap<QString, QString>& form)
{
    return raw("POST", "/api" + path.toStdString(), formBody(form).toStdString());
}

bool PlatformTestClient::login(const QString& username, const QString& password)
{
    const Answer answer = post(QStringLiteral("/auth/"),
        { { QStringLiteral("username"), username }, { QStringLiteral("password"), password } });
    if (!answer.success())
        return false;
    sessionToken = answer.json.value(QStringLiteral("token")).toString();
    sessionUser = answer.integer(QStringLiteral("user"));
    sessionOrgan = answer.integer(QStringLiteral("organ"));
    return true;
}

QString PlatformTestClient::suffix() const
{
    return QStringLiteral("?token=%1&user=%2").arg(sessionToken).arg(sessionUser);
}

QString PlatformTestClient::suffix(const std::vector<std::pair<QString, QString>>& params) const
{
    QString text = suffix();
    for (const auto& param : params)
        text += QLatin1Char('&') + param.first + QLatin1Char('=') + encode(param.second);
    return text;
}

QString PlatformTestClient::encode(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QByteArray PlatformTestClient::formBody(const QMap<QString, QString>& form)
{
    QByteArray body;
    for (auto it = form.constBegin(); it != form.constEnd(); ++it)
        body += QUrl::toPercentEncoding(it.key()) + '=' + QUrl::toPercentEncoding(it.value()) + '&';
    return body;
}

QMap<QString, QString> PlatformTestClient::truckForm(const QString& number)
{
    return { { "id", "0" }, { "number", number }, { "driving_mode", "3" }, { "tonnage_level", "0" },
        { "tonnage", "20" }, { "packingcase_mode", "1" }, { "packingcase_length", "9.6" },
        { "packingcase_width", "2.3" }, { "packingcase_height", "2.5" }, { "photo1", "" }, { "photo2", "" },
        { "driver1_name", QStringLiteral("张建国") }, { "driver1_mobile", "13912345678" }, { "driver2_name", "" },
        { "driver2_mobile", "" }, { "company_name", QStringLiteral("临沂通达运输有限公司") },
        { "company_tel", "05398123456" }, { "notes", "" } };
}

QMap<QString, QString> PlatformTestClient::shipperForm(const QString& name)
{
    return { { "id", "0" }, { "name", name }, { "address", QStringLiteral("临沂市兰山区解放路1号") },
        { "industry", QStringLiteral("建材") }, { "linkman", QStringLiteral("李明") }, { "tel1", "13812345678" },
        { "tel2", "" }, { "notes", "" } };
}

QMap<QString, QString> PlatformTestClient::consigneeForm(const QString& name)
{
    return { { "id", "0" }, { "name", name }, { "address", QStringLiteral("济南市历城区工业北路8号") },
        { "linkman", QStringLiteral("赵强") }, { "tel1", "" }, { "tel2", "053188886666" }, { "notes", "" } };
}

QMap<QString, QString> PlatformTestClient::tradeForm(qint64 truck, qint64 shipper, qint64 consignee)
{
    return { { "id", "0" }, { "truck", QString::number(truck) }, { "shipper", QString::number(shipper) },
        { "consignee", QString::number(consignee) }, { "line", QStringLiteral("临沂—济南") },
        { "goods", QStringLiteral("瓷砖") }, { "weight", "12.5" }, { "value", "30000" }, { "is_agency", "1" },
        { "revenue", "3000" }, { "payout", "2100" }, { "notes", "" } };
}

namespace {

qint64 submitted(const PlatformTestClient::Answer& answer, const QString& key)
{
    if (!answer.success()) {
        qWarning("submission refused: %s", qPrintable(answer.errors()));
        return -1;
    }
    return answer.integer(key);
}

QMap<QString, QString> changed(QMap<QString, QString> form, const QMap<QString, QString>& changes)
{
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        form.insert(it.key(), it.value());
    return form;
}

} // namespace

qint64 PlatformTestClient::addTruck(const QString& number, const QMap<QString, QString>& changes)
{
    return submitted(post("/truck/add/" + suffix(), changed(truckForm(number), changes)), "truck_id");
}

qint64 PlatformTestClient::addShipper(const QString& name)
{
    return submitted(post("/shipper/add/" + suffix(), shipperForm(name)), "shipper_id");
}

qint64 PlatformTestClient::addConsignee(const QString& name)
{
    return submitted(post("/consignee/add/" + suffix(), consigneeForm(name)), "consignee_id");
}

qint64 PlatformTestClient::addTrade(
    qint64 truck, qint64 shipper, qint64 consignee, const QMap<QString, QString>& changes)
{
    return submitted(
        post("/trade/add/" + suffix(), changed(tradeForm(truck, shipper, consignee), changes)), "trade_id");
}

QJsonArray PlatformTestClient::allPages(const QString& path)
{
    QJsonArray all;
    for (int page = 1; page < 10000; ++page) {
        const Answer answer = get(path + suffix({ { "page", QString::number(page) } }));
        if (!answer.success() || answer.array().isEmpty())
            break;
        for (const QJsonValue& value : answer.array())
            all.append(value);
    }
    return all;
}

QJsonObject PlatformTestClient::truck(qint64 id)
{
    for (const QJsonValue& value : get("/truck/" + suffix()).array()) {
        if (value.toObject().value("id").toVariant().toLongLong() == id)
            return value.toObject();
    }
    return QJsonObject();
}

QJsonObject PlatformTestClient::trade(qint64 id)
{
    for (const QJsonValue& value : allPages("/trade/")) {
        if (value.toObject().value("id").toVariant().toLongLong() == id)
            return value.toObject();
    }
    return QJsonObject();
}
