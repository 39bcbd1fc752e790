#pragma once

#include <QRegularExpression>

namespace platform {

// The phone numbers the platform stores, as the client checks them too.
// A mobile number: eleven digits, 13 to 19 first.
inline const QRegularExpression& mobileNumber()
{
    static const QRegularExpression pattern(QStringLiteral("^1[3-9][0-9]{9}$"));
    return pattern;
}

// A mobile number, or a fixed line: 0, the area code (two or three digits)
// and the 7 or 8 digits of the number.
inline const QRegularExpression& phoneNumber()
{
    static const QRegularExpression pattern(QStringLiteral("^(1[3-9][0-9]{9}|0[1-9][0-9]{1,2}[0-9]{7,8})$"));
    return pattern;
}

} // namespace platform
