#include "apireply.h"

#include <QJsonDocument>

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

ApiReply ApiReply::refusal(const QString& errors)
{
    ApiReply reply;
    reply.errorText = errors;
    return reply;
}

ApiReply& ApiReply::with(const QString& key, const QJsonValue& value)
{
    extra.insert(key, value);
    return *this;
}

QJsonObject ApiReply::toObject() const
{
    QJsonObject object = extra;
    object.insert(QStringLiteral("success"), success);
    object.insert(QStringLiteral("errors"), errorText);
    if (!data.isUndefined())
        object.insert(QStringLiteral("data"), data);
    return object;
}

QByteArray ApiReply::toJson() const
{
    return QJsonDocument(toObject()).toJson(QJsonDocument::Compact);
}

} // namespace platform
