#pragma once

#include "apireply.h"
#include "servicelimits.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace platform {

struct ApiContext;

// Sign-in and everything about the session and the station itself: the truck
// dictionary, the profile, the platform's contacts and version, password
// changes and the visit records.
class SessionService
{
public:
    static ApiReply login(ApiContext& context);
    static ApiReply version(ApiContext& context);
    static ApiReply truckDict(ApiContext& context);
    static ApiReply serviceInfo(ApiContext& context);
    static ApiReply notification(ApiContext& context);
    static ApiReply profile(ApiContext& context);
    static ApiReply editProfile(ApiContext& context);
    static ApiReply editPassword(ApiContext& context);
    static ApiReply visitStart(ApiContext& context);
    static ApiReply visitEnd(ApiContext& context);

    // True when `token` is a live session of `user`; sets the user's station.
    // A session past its idle time or its maximum age is ended here; a live
    // one is marked as used.
    static bool checkSession(
        const QSqlDatabase& db, const QString& token, qint64 user, const ServiceLimits& limits, qint64* organ);
    // Deletes the sessions that have run out.
    static void purgeSessions(const QSqlDatabase& db, const ServiceLimits& limits);
    // Creates a user with a fresh voice account; returns its id.
    static qint64 createUser(const QSqlDatabase& db, qint64 organ, const QString& username, const QString& password);

    static QString now();

    // A seam for tests: called in a sign-in between the password's check
    // and the storing of its session (null: nothing).
    static void setAfterPasswordCheck(std::function<void()> hook);
};

} // namespace platform
