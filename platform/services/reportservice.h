#pragma once

#include "apireply.h"

#include <QByteArray>
#include <QString>

namespace platform {

struct ApiContext;

// The station's money in figures: the cash collected on delivery that is not
// yet paid over to the shippers, the drivers' pay still owed, and the daily
// sums of the consignments. Every amount is added up in whole cents (weights
// in kilograms), never as binary fractions, so a total is exact to the cent.
class ReportService
{
public:
    // Unpaid cash on delivery, one row per shipper, largest amount first;
    // with "shipper", that shipper's unpaid trades, oldest first, a page at
    // a time (see UnpaidLedger).
    static ApiReply agency(ApiContext& context);
    // Unpaid drivers' pay, one row per truck, largest amount first; with
    // "truck", that truck's unpaid trades (see UnpaidLedger).
    static ApiReply payout(ApiContext& context);
    // One row per day with consignments between "from" and "to" (both
    // "YYYY-MM-DD", both included).
    static ApiReply daily(ApiContext& context);

    // The SQL for `column` (an amount with two decimals) in whole cents.
    // Amounts are kept with two decimals and weights with three (see the
    // trade form's readers), so rounding a stored value to whole hundredths
    // or thousandths gives back exactly what was entered; those integers are
    // summed.
    static QString cents(const QString& column);
    // `units` hundredths (or thousandths, with `decimals` 3) as a JSON
    // number without trailing zeros: 123450 with 2 decimals is "1234.5".
    static QByteArray fixedPoint(qint64 units, int decimals);

    static const int pageSize = 20;
    // The longest range the daily report covers.
    static const int maxDays = 366;
};

} // namespace platform
