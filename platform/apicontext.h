#pragma once

#include "apirequest.h"

#include <QSqlDatabase>
#include <QString>

namespace platform {

class Storage;

// What a service sees of one request: the decoded request with its session,
// this thread's connection (inside the request's transaction, unless the
// route manages its own), the storage, and the server's settings.
struct ApiContext
{
    ApiRequest& request;
    QSqlDatabase db;
    const Storage& storage;
    // The client version the platform announces.
    QString announcedVersion;
    // "host:port" under which the client reached the server (the Host header).
    QString host;
};

} // namespace platform
