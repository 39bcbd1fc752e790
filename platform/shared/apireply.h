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
    // "data" given as one JSON value already written (see JsonWriter); it
    // goes out as it is.
    static ApiReply okWithJson(const QByteArray& data);
    static ApiReply refusal(const QString& errors);
    // An answer given before, as it was written then (see RequestAnswers).
    static ApiReply verbatim(const QByteArray& json);

    // Adds an operation-specific top-level key ("status", "shipper_id", ...).
    ApiReply& with(const QString& key, const QJsonValue& value);

    bool isSuccess() const { return success; }
    bool has(const QString& key) const { return extra.contains(key); }
    const QString& errors() const { return errorText; }
    // The envelope as compact JSON, its keys in ascending order.
    QByteArray toJson() const;
    // The same answer, written once: its toJson() hands out those bytes,
    // shared, instead of writing them again (for an answer that is reused).
    ApiReply prewritten() const;

private:
    bool success = false;
    QString errorText;
    QJsonValue data = QJsonValue(QJsonValue::Undefined);
    QByteArray rawData;
    QJsonObject extra;
    QByteArray written;
};

} // namespace platform
