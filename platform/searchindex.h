#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Substring search over a station's plates, names and trades through trigram
// indexes (SQLite's FTS5 with its trigram tokenizer), so that a search costs
// what its hits cost, not what the records of every station cost. The
// indexes hold no station: a caller joins the hits to their table and keeps
// its own station's live records.
//
// Everything that is particular to SQLite's index is here: the schema steps
// that make, fill and maintain the indexes, and the text of a search. A
// second database would replace this file.
//
// A trigram index finds texts of three characters or more. A shorter text
// has no trigram to look up: callers scan for it instead (see indexable()).
class SearchIndex
{
public:
    enum class Target { Trucks, Shippers, Consignees, Trades };

    // The schema steps that make the indexes, fill them from the records
    // already there and keep them in step with every later write (triggers).
    static QStringList schemaSteps();

    // Whether `text` is long enough for the index.
    static bool indexable(const QString& text);
    // A sub-select of one column "id": the records of `target` whose indexed
    // texts contain a text in any letter case. It takes one parameter, bound
    // to pattern(text). The index folds case, so callers that match exactly
    // keep their own exact condition beside it.
    static QString hits(Target target);
    static QString pattern(const QString& text);
};

} // namespace platform
