#pragma once

#include <QString>
#include <QUrl>

// Customer-service contacts built into the client. The side bar shows the
// defaults until the platform's service information arrives; the login
// dialog's "注册账号" and "忘记密码" links open the instant-messaging contact page.
namespace ServiceContacts {

inline QString defaultMobile()
{
    return QStringLiteral("4008765432");
}

inline QString defaultQQ()
{
    return QStringLiteral("800087654");
}

// The instant-messaging service's contact page for `qq`.
inline QString imContactUrl(const QString& qq)
{
    return QStringLiteral("http://im.freymo.example/msgrd?v=3&uin=%1&site=qq&menu=yes")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(qq)));
}

} // namespace ServiceContacts
