#include "documents/paperformat.h"

#include <QJsonValue>
#include <QLocale>
#include <QVariant>

#include <cmath>

namespace PaperFormat {

QString text(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

QString scalar(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toVariant().toString();
}

QString phones(const QJsonObject& record, const char* first, const char* second)
{
    QStringList numbers;
    for (const char* key : { first, second }) {
        const QString number = scalar(record, key).trimmed();
        if (!number.isEmpty())
            numbers << number;
    }
    return numbers.join(QStringLiteral(" / "));
}

QString joined(const QStringList& parts)
{
    QStringList kept;
    for (const QString& part : parts) {
        if (!part.trimmed().isEmpty())
            kept << part.trimmed();
    }
    return kept.join(QLatin1Char(' '));
}

double number(const QJsonValue& value, bool* ok)
{
    if (value.isDouble()) {
        if (ok)
            *ok = true;
        return value.toDouble();
    }
    bool parsed = false;
    const double result = value.toString().trimmed().toDouble(&parsed);
    if (ok)
        *ok = parsed && std::isfinite(result);
    return parsed ? result : 0;
}

QString weight(double tonnes)
{
    // Weights are kept to three decimals; trailing zeros are dropped.
    QString text = QLocale::c().toString(tonnes, 'f', 3);
    while (text.contains(QLatin1Char('.')) && (text.endsWith(QLatin1Char('0')) || text.endsWith(QLatin1Char('.'))))
        text.chop(1);
    return text + QStringLiteral(" 吨");
}

QString money(double yuan)
{
    return QLocale::c().toString(yuan, 'f', 2) + QStringLiteral(" 元");
}

QString weight(const QJsonValue& value)
{
    bool ok = false;
    const double tonnes = number(value, &ok);
    return ok ? weight(tonnes) : value.toVariant().toString();
}

QString money(const QJsonValue& value)
{
    bool ok = false;
    const double yuan = number(value, &ok);
    return ok ? money(yuan) : value.toVariant().toString();
}

} // namespace PaperFormat
