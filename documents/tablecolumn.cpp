#include "documents/tablecolumn.h"

#include <QDate>
#include <QDateTime>

#include <cmath>

namespace {

// The platform writes times as "yyyy-MM-dd HH:mm:ss"; older records and
// hand-made ones leave out the seconds.
QDateTime parseDateTime(const QString& text)
{
    for (const char* format : { "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm:ss" }) {
        const QDateTime time = QDateTime::fromString(text, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return QDateTime();
}

} // namespace

QVariant TableColumn::cell(Kind kind, const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull())
        return QVariant();
    const QString text = value.isString() ? value.toString().trimmed() : value.toVariant().toString();
    if (text.isEmpty())
        return QVariant();
    bool ok = false;
    switch (kind) {
    case Kind::Text:
        return value.isString() ? value.toString() : text;
    case Kind::Integer: {
        const double number = value.isDouble() ? value.toDouble() : text.toDouble(&ok);
        if ((value.isDouble() || ok) && std::isfinite(number) && number == std::trunc(number)
            && std::fabs(number) < 9.0e15)
            return static_cast<qlonglong>(number);
        return text;
    }
    case Kind::Number:
    case Kind::Money: {
        const double number = value.isDouble() ? value.toDouble() : text.toDouble(&ok);
        if ((value.isDouble() || ok) && std::isfinite(number))
            return number;
        return text;
    }
    case Kind::Date: {
        const QDate day = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid() && (text.size() == 10 || parseDateTime(text).isValid()))
            return day;
        return text;
    }
    case Kind::DateTime: {
        const QDateTime time = parseDateTime(text);
        if (time.isValid())
            return time;
        const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        return day.isValid() ? QVariant(day) : QVariant(text);
    }
    }
    return text;
}
