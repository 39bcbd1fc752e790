#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace platform {

// One answer in the platform's envelope: "success", "errors", "data" and any
// operation-specific keys at the top level.
class ApiReply
{
public:
    static ApiReply ok();
    static ApiReply ok(const QJsonValue& data);
    static ApiReply refusal(const QString& errors);

    // Adds an operation-specific top-level key ("status", "shipper_id", ...).
    ApiReply& with(const QString& key, const QJsonValue& value);

    bool isSuccess() const { return success; }
    const QString& errors() const { return errorText; }
    QJsonObject toObject() const;
    QByteArray toJson() const;

private:
    bool success = false;
    QString errorText;
    QJsonValue data = QJsonValue(QJsonValue::Undefined);
    QJsonObject extra;
};

} // namespace platform
