#include "documents/money.h"

#include <QJsonValue>
#include <QtMath>

qint64 Money::cents(const QJsonValue& value)
{
    bool ok = false;
    const double number = value.isString() ? value.toString().toDouble(&ok) : value.toDouble();
    if (value.isString() && !ok)
        return 0;
    if (!qIsFinite(number) || qAbs(number) > 1e15)
        return 0;
    return qRound64(number * 100.0);
}

QString Money::text(qint64 cents)
{
    const bool negative = cents < 0;
    const quint64 magnitude = negative ? 0 - static_cast<quint64>(cents) : static_cast<quint64>(cents);
    QString whole = QString::number(magnitude / 100);
    for (int i = whole.size() - 3; i > 0; i -= 3)
        whole.insert(i, QLatin1Char(','));
    return (negative ? QStringLiteral("-") : QString()) + whole + QLatin1Char('.')
        + QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}
