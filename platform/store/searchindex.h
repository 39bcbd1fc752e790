#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace platform {

// Substring search over a station's plates, names and trades, so that a
// search costs what its hits cost, not what the records of every station
// cost. How the records are indexed and looked up is the engine's (see
// Dialect::searchIndexSteps() and Dialect::searchMatch()); the lists only
// put the pieces of a Match into their queries.
//
// What a search finds is what a plain scan of the station finds: a plate or
// a trade's texts (its plate, shipper, consignee and goods) that contain
// the text with letters in any case (as SQL's upper() folds them), a
// shipper's or consignee's name that contains it exactly.
class SearchIndex
{
public:
    enum class Target { Trucks, Shippers, Consignees, Trades };

    // What a list's query takes over for a search. The query names its
    // records with fixed aliases: trucks "t", shippers and consignees "p",
    // trades "tr" joined to their truck "t", shipper "s" and consignee "c".
    // Without a text the source is the plain table and the condition empty.
    struct Match
    {
        // The FROM item in place of "<table> <alias>" (the index's hits
        // joined to the table, or the table itself), and its values.
        QString source;
        QVariantList sourceValues;
        // " AND ..." after the query's own conditions: what decides, exactly.
        QString condition;
        QVariantList conditionValues;
    };

    static Match match(const QSqlDatabase& db, Target target, const QString& text);

    // The table of `target` and the alias a query names it by.
    static QString table(Target target);
    static QString alias(Target target);

    // Whether `text` is long enough for a trigram index: three characters
    // (not UTF-16 units) or more. A shorter text has no trigram to look up.
    static bool indexable(const QString& text);
    // A LIKE pattern (escape character '\') that matches the texts that
    // contain `text`: its '%', '_' and '\' stand for themselves.
    static QString containsPattern(const QString& text);
};

} // namespace platform
