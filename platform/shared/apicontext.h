#pragma once

#include "apirequest.h"
#include "servicelimits.h"

#include <QSqlDatabase>
#include <QString>

namespace platform {

class LoginThrottle;
class Storage;

// What a service sees of one request: the decoded request with its session,
// this thread's connection (inside the request's transaction, unless the
// route manages its own), the storage, the server's settings and limits, and
// the record of failed sign-ins.
struct ApiContext
{
    ApiRequest& request;
    QSqlDatabase db;
    const Storage& storage;
    // The client version the platform announces.
    QString announcedVersion;
    // "host:port" under which clients reach the server, for download
    // addresses; empty when it is not known.
    QString host;
    // The client's address.
    QString peer;
    const ServiceLimits& limits;
    LoginThrottle& throttle;
};

} // namespace platform
