#pragma once

#include "apireply.h"
#include "servicelimits.h"

#include <QJsonObject>
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
    // The signed-in user's station as "mine/profile" answers it.
    static QJsonObject profileOf(const ApiContext& context);
    static ApiReply editProfile(ApiContext& context);
    static ApiReply editPassword(ApiContext& context);
    static ApiReply visitStart(ApiContext& context);
    static ApiReply visitEnd(ApiContext& context);

    // True when `token` is a live session of `user`; sets the user's station.
    // A session past its idle time or its maximum age is ended here; a live
    // one is marked as used.
    static bool checkSession(
        const QSqlDatabase& db, const QString& token, qint64 user, const ServiceLimits& limits, qint64* organ);
    // Whether the session whose token has `tokenDigest` is still a live one
    // of `user`, without marking it used: for a stream that stays open
    // while its desk asks nothing.
    static bool sessionLasts(
        const QSqlDatabase& db, const QString& tokenDigest, qint64 user, const ServiceLimits& limits);
    // Deletes the sessions that have run out.
    static void purgeSessions(const QSqlDatabase& db, const ServiceLimits& limits);
    // Creates a user with a fresh voice account; returns its id.
    static qint64 createUser(const QSqlDatabase& db, qint64 organ, const QString& username, const QString& password);
    // The same with the password already hashed (Credentials::hashPassword),
    // the name shown in histories (empty: the station's contact person) and
    // the role ("station" or "clerk").
    static qint64 insertUser(const QSqlDatabase& db, qint64 organ, const QString& username, const QString& passwordHash,
        const QString& name, const QString& role);

    // Whether a new password keeps the platform's rules (8 to 64 characters).
    static bool acceptablePassword(const QString& password);
    // Refuses (ApiError) a new password that breaks the platform's rules.
    static void checkNewPassword(const QString& newPassword);
    // Sets `user`'s password when its hash is still `oldHash`, and ends the
    // user's other sessions (all but the one whose token digest is
    // `keptTokenDigest`; an empty digest keeps none). The HTTP password change
    // and the admin command both come through here. Throws ApiError when the
    // password breaks the rules or was changed meanwhile. The user's voice
    // secrets change in the same transaction; returns the voice sub account,
    // whose open voice sessions the caller ends once this has returned
    // (Storage::endVoiceSessions).
    static QString changePassword(const QSqlDatabase& db, qint64 user, const QString& oldHash,
        const QString& newPassword, const QString& keptTokenDigest);

    static QString now();

    // A seam for tests: called in a sign-in between the password's check
    // and the storing of its session (null: nothing).
    static void setAfterPasswordCheck(std::function<void()> hook);
};

} // namespace platform
