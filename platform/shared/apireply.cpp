#include "apireply.h"

#include "jsonwriter.h"

namespace platform {

ApiReply ApiReply::ok()
{
    ApiReply reply;
    reply.success = true;
    return reply;
}

ApiReply ApiReply::ok(const QJsonValue& data)
{
    ApiReply reply = ok();
    reply.data = data;
    return reply;
}

ApiReply ApiReply::okWithJson(const QByteArray& data)
{
    ApiReply reply = ok();
    reply.rawData = data;
    return reply;
}

ApiReply ApiReply::refusal(const QString& errors)
{
    ApiReply reply;
    reply.errorText = errors;
    return reply;
}

ApiReply ApiReply::verbatim(const QByteArray& json)
{
    // Only successes are kept for their request ids.
    ApiReply reply = ok();
    reply.written = json;
    return reply;
}

ApiReply& ApiReply::with(const QString& key, const QJsonValue& value)
{
    extra.insert(key, value);
    written.clear();
    return *this;
}

ApiReply ApiReply::prewritten() const
{
    ApiReply reply = *this;
    reply.written = toJson();
    return reply;
}

QByteArray ApiReply::toJson() const
{
    if (!written.isEmpty())
        return written;
    // The envelope's own keys win over operation-specific ones of the same
    // name; the object puts every key in its place.
    const QString dataKey = QStringLiteral("data");
    QJsonObject envelope = extra;
    envelope.insert(QStringLiteral("success"), success);
    envelope.insert(QStringLiteral("errors"), errorText);
    if (!rawData.isEmpty())
        envelope.insert(dataKey, QJsonValue::Null); // a place holder for the written data
    else if (!data.isUndefined())
        envelope.insert(dataKey, data);

    JsonWriter json;
    json.beginObject();
    for (auto it = envelope.constBegin(); it != envelope.constEnd(); ++it) {
        json.key(it.key());
        if (!rawData.isEmpty() && it.key() == dataKey)
            json.raw(rawData);
        else
            json.value(it.value());
    }
    json.endObject();
    return json.bytes();
}

} // namespace platform
