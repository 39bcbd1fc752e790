#pragma once

#include "apireply.h"

#include <QString>
#include <QVector>

namespace platform {

struct ApiContext;

// A ledger of what a station still owes on its trades: the trades in an
// unpaid state, one row per party they are owed to (largest amount first,
// with the total of the rows), or with the party's parameter that party's
// trades, oldest first, a page at a time, with their sum. A ledger is made
// from a short description: which party, which amount, which state.
class UnpaidLedger
{
public:
    // A text of each row: `expression` under `key`.
    struct Text
    {
        const char* key;
        QString expression;
    };

    struct Description
    {
        // The trade's column that names the party ("shipper", "truck"), which
        // is also the request's parameter for that party's trades, the
        // party's table (known as "p" in the expressions below), the key of
        // the party's id in a row, and the party's label in messages.
        QString party;
        QString partyTable;
        const char* idKey = "";
        QString label;
        // Columns of the party (grouped by), and figures over its trades
        // (aggregates), each under its key in a row.
        QVector<Text> partyColumns;
        QVector<Text> figures;
        // The trade's column of the amount owed, in the trade's units.
        QString amount;
        // Which trades are unpaid: a condition on the trade, known as "tr".
        QString unpaid;
    };

    explicit UnpaidLedger(Description description);

    ApiReply answer(ApiContext& context) const;

private:
    ApiReply parties(ApiContext& context) const;
    ApiReply trades(ApiContext& context, qint64 party) const;

    const Description description;
    // What a row of the parties holds: each key with the column of the
    // grouping query that gives it, in the order of the keys, as JsonWriter
    // needs them.
    struct RowField
    {
        enum Kind { Integer, Cents, Text };
        const char* key;
        Kind kind;
        int column;
    };
    QVector<RowField> row;
    QString groupQuery;
};

} // namespace platform
