#pragma once

#include <QString>

class QJsonValue;

// Amounts of money as the screens show and add them: whole cents, never
// binary fractions. The platform sends amounts with at most two decimals, so
// rounding its number to cents gives back exactly what it meant.
class Money
{
public:
    // The value (a number or a numeric text) in cents; 0 when it is neither.
    static qint64 cents(const QJsonValue& value);
    // "12,345.60": thousands grouped, always two decimals.
    static QString text(qint64 cents);
    // The value in yuan, for charts and spreadsheets.
    static double yuan(qint64 cents) { return static_cast<double>(cents) / 100.0; }
};
