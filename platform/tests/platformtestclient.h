#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
class Client;
}

// An HTTP client of the platform on 127.0.0.1 that sends what the desktop
// client sends: GET with a query percent-encoded, POST with a form body in
// ascending key order, RFC 3986 percent-encoding and a trailing "&". raw()
// sends any bytes at all.
class PlatformTestClient
{
public:
    struct Answer
    {
        int status = 0; // the HTTP status; 0 when nothing came back
        QByteArray body;
        QJsonObject json; // the body as a JSON object, empty if it is none

        // A JSON object with a boolean "success" and a string "errors".
        bool isEnvelope() const;
        bool success() const { return json.value(QStringLiteral("success")).toBool(); }
        QString errors() const { return json.value(QStringLiteral("errors")).toString(); }
        QJsonArray array() const { return json.value(QStringLiteral("data")).toArray(); }
        QJsonObject data() const { return json.value(QStringLiteral("data")).toObject(); }
        qint64 integer(const QString& key) const { return json.value(key).toVariant().toLongLong(); }
    };

    explicit PlatformTestClient(int port);
    ~PlatformTestClient();

    // `path` is below "/api" and may carry a query that is already encoded.
    Answer get(const QString& path);
    Answer post(const QString& path, const QMap<QString, QString>& form);
    Answer raw(const std::string& method, const std::string& target, const std::string& body = std::string(),
        const std::string& contentType = "application/x-www-form-urlencoded");

    // Signs in; false when refused.
    bool login(const QString& username, const QString& password = QStringLiteral("load"));
    QString token() const { return sessionToken; }
    qint64 user() const { return sessionUser; }
    qint64 organ() const { return sessionOrgan; }
    // "?token=...&user=..." of this client's session.
    QString suffix() const;
    // The suffix followed by "&key=value" for each pair, values encoded.
    QString suffix(const std::vector<std::pair<QString, QString>>& params) const;

    // Complete, valid forms as the client's screens send them ("id" "0").
    static QMap<QString, QString> truckForm(const QString& number);
    static QMap<QString, QString> shipperForm(const QString& name);
    static QMap<QString, QString> consigneeForm(const QString& name);
    static QMap<QString, QString> tradeForm(qint64 truck, qint64 shipper, qint64 consignee);

    // Submissions of those forms (with `changes` applied); the new record's
    // id, or -1 when refused.
    qint64 addTruck(const QString& number, const QMap<QString, QString>& changes = {});
    qint64 addShipper(const QString& name);
    qint64 addConsignee(const QString& name);
    qint64 addTrade(qint64 truck, qint64 shipper, qint64 consignee, const QMap<QString, QString>& changes = {});

    // Every record of a paged list ("/trade/", "/shipper/", ...), page by page.
    QJsonArray allPages(const QString& path);
    // The truck with `id` from the board's list (all trucks), or an empty object.
    QJsonObject truck(qint64 id);
    // The trade with `id` from the trade list, or an empty object.
    QJsonObject trade(qint64 id);

    static QString encode(const QString& value);
    static QByteArray formBody(const QMap<QString, QString>& form);

private:
    std::unique_ptr<httplib::Client> client;
    QString sessionToken;
    qint64 sessionUser = 0;
    qint64 sessionOrgan = 0;
};
