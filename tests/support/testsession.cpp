#include "testsession.h"

#include "recordinghttpserver.h"

#include "net/api.h"
#include "net/basehttp.h"
#include "net/usertoken.h"

#include <QTest>

const QByteArray defaultTestLoginAnswer(R"({"success":true,"user":7,"organ":3,"token":"tk1",)"
                                        R"("sub_account":"s","sub_account_pwd":"sp","voip_account":"v",)"
                                        R"("voip_pwd":"vp"})");

bool signInForTesting(RecordingHttpServer& server, const QByteArray& loginAnswer)
{
    BaseHttp::setBaseAddressForTesting(server.apiBase());
    server.on("/api/auth/", RecordingHttpServer::json(loginAnswer));
    QObject context;
    bool answered = false;
    QObject::connect(API::instance(), &API::signal_login_finished, &context, [&answered] { answered = true; });
    API::instance()->login(QStringLiteral("station"), QStringLiteral("secret"));
    return QTest::qWaitFor([&answered] { return answered; }, 5000) && API::instance()->userToken() != nullptr;
}

int requestsFor(const RecordingHttpServer& server, const QByteArray& path)
{
    int n = 0;
    for (const RecordingHttpServer::Request& r : server.requests())
        n += r.path == path ? 1 : 0;
    return n;
}

bool waitForRequests(const RecordingHttpServer& server, const QByteArray& path, int count, int ms)
{
    return QTest::qWaitFor([&] { return requestsFor(server, path) >= count; }, ms);
}
