#pragma once

#include <QString>

#include <cstdint>

// The session record made at login. Owned by API.
struct UserToken
{
    quint32 user = 0; // the signed-in user's number ("user" of the login answer)
    quint32 organ = 0; // the user's station ("organ" of the login answer)
    QString username; // the login name as sent
    QString password; // the password as sent
    QString token; // the session token ("token" of the login answer)
    QString sessionid; // 32 lower-case hex digits made by the client at login
};
