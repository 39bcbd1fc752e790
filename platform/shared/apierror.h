#pragma once

#include <QString>

#include <stdexcept>

namespace platform {

// A refusal of a request: the text goes to the client as the envelope's
// "errors". Thrown by the request readers and the services; the router rolls
// the request's transaction back and answers the envelope with "success" false.
class ApiError : public std::runtime_error
{
public:
    explicit ApiError(const QString& message)
        : std::runtime_error(message.toStdString())
        , text(message)
    {
    }

    const QString& message() const { return text; }

private:
    QString text;
};

} // namespace platform
