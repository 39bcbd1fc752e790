#pragma once

#include <QJsonObject>
#include <QString>

#include <stdexcept>

namespace platform {

// A refusal of a request: the text goes to the client as the envelope's
// "errors", and `extra` (if any) as added top-level keys that let a client
// act on the refusal without parsing its text (a stale write's "stale" and
// the record's "version", for instance). Thrown by the request readers and
// the services; the router rolls the request's transaction back and answers
// the envelope with "success" false.
class ApiError : public std::runtime_error
{
public:
    explicit ApiError(const QString& message, const QJsonObject& extra = QJsonObject())
        : std::runtime_error(message.toStdString())
        , text(message)
        , keys(extra)
    {
    }

    const QString& message() const { return text; }
    const QJsonObject& extra() const { return keys; }

private:
    QString text;
    QJsonObject keys;
};

} // namespace platform
