#pragma once

#include "support/recordinghttpserver.h"

#include "net/api.h"
#include "net/basehttp.h"
#include "net/usertoken.h"

#include <QSignalSpy>
#include <QTest>

// Points the API at `server` and signs in there, so that requests carrying
// the session suffix can be sent. Returns false when the login did not come
// back signed in.
inline bool signInForTesting(RecordingHttpServer& server)
{
    BaseHttp::setBaseAddressForTesting(server.apiBase());
    server.on("/api/auth/",
        RecordingHttpServer::json(R"({"success":true,"user":7,"organ":3,"token":"tk1",)"
                                  R"("sub_account":"s","sub_account_pwd":"sp","voip_account":"v",)"
                                  R"("voip_pwd":"vp"})"));
    QSignalSpy loggedIn(API::instance(), &API::signal_login_finished);
    API::instance()->login(QStringLiteral("station"), QStringLiteral("secret"));
    return loggedIn.wait(5000) && API::instance()->userToken();
}

// Waits until the server has seen `count` requests for `path`.
inline bool waitForRequests(const RecordingHttpServer& server, const QByteArray& path, int count, int ms = 5000)
{
    return QTest::qWaitFor(
        [&] {
            int n = 0;
            for (const RecordingHttpServer::Request& r : server.requests())
                n += r.path == path ? 1 : 0;
            return n >= count;
        },
        ms);
}

inline int requestsFor(const RecordingHttpServer& server, const QByteArray& path)
{
    int n = 0;
    for (const RecordingHttpServer::Request& r : server.requests())
        n += r.path == path ? 1 : 0;
    return n;
}
