#pragma once

#include <QSqlDatabase>
#include <QString>

namespace platform {

// The key by which names that have to be unique in a station (shippers,
// consignees, truck numbers) are compared: names that look alike have one
// key. It folds compatibility forms (NFKC: full-width Latin, a no-break or
// ideographic space), drops what shows nothing (format characters, variation
// selectors, the combining grapheme joiner, Hangul fillers) and makes any
// run of white space one space. The name itself is stored as it was typed;
// only the comparison uses the key.
class NameKey
{
public:
    static QString of(const QString& name);

    // The name of a live record in `table` of `organ`, other than `id`,
    // whose `column` has the same key as `name`; empty when there is none.
    // `table` and `column` come from the code, never from a request.
    static QString clash(const QSqlDatabase& db, const QString& table, const QString& column, qint64 organ,
        const QString& name, qint64 id);
};

} // namespace platform
