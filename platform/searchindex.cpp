#include "searchindex.h"

namespace platform {

namespace {

const QString tradeTexts = QStringLiteral("(SELECT number FROM trucks WHERE id = NEW.truck),"
                                          " (SELECT name FROM shippers WHERE id = NEW.shipper),"
                                          " (SELECT name FROM consignees WHERE id = NEW.consignee), NEW.goods");

// The index of one column of a record table, rowid = the record's id.
QStringList columnIndex(const QString& table, const QString& column)
{
    return {
        QStringLiteral("CREATE VIRTUAL TABLE %1_search USING fts5(%2, tokenize = 'trigram')").arg(table, column),
        QStringLiteral("INSERT INTO %1_search (rowid, %2) SELECT id, %2 FROM %1").arg(table, column),
        QStringLiteral("CREATE TRIGGER %1_search_insert AFTER INSERT ON %1 BEGIN"
                       " INSERT INTO %1_search (rowid, %2) VALUES (NEW.id, NEW.%2); END")
            .arg(table, column),
        QStringLiteral("CREATE TRIGGER %1_search_delete AFTER DELETE ON %1 BEGIN"
                       " DELETE FROM %1_search WHERE rowid = OLD.id; END")
            .arg(table),
    };
}

// A renamed truck, shipper or consignee renames it in its own index and in
// the index of the trades that name it.
QString renameTrigger(const QString& table, const QString& column, const QString& tradeKey, const QString& tradeColumn)
{
    return QStringLiteral("CREATE TRIGGER %1_search_rename AFTER UPDATE OF %2 ON %1 BEGIN"
                          " UPDATE %1_search SET %2 = NEW.%2 WHERE rowid = NEW.id;"
                          " UPDATE trades_search SET %4 = NEW.%2"
                          " WHERE rowid IN (SELECT id FROM trades WHERE %3 = NEW.id); END")
        .arg(table, column, tradeKey, tradeColumn);
}

} // namespace

QStringList SearchIndex::schemaSteps()
{
    QStringList steps = columnIndex(QStringLiteral("trucks"), QStringLiteral("number"))
        + columnIndex(QStringLiteral("shippers"), QStringLiteral("name"))
        + columnIndex(QStringLiteral("consignees"), QStringLiteral("name"));
    steps += {
        QStringLiteral("CREATE VIRTUAL TABLE trades_search USING fts5("
                       "truck_number, shipper_name, consignee_name, goods, tokenize = 'trigram')"),
        QStringLiteral("INSERT INTO trades_search (rowid, truck_number, shipper_name, consignee_name, goods)"
                       " SELECT tr.id, t.number, s.name, c.name, tr.goods FROM trades tr"
                       " JOIN trucks t ON t.id = tr.truck JOIN shippers s ON s.id = tr.shipper"
                       " JOIN consignees c ON c.id = tr.consignee"),
        QStringLiteral("CREATE TRIGGER trades_search_insert AFTER INSERT ON trades BEGIN"
                       " INSERT INTO trades_search (rowid, truck_number, shipper_name, consignee_name, goods)"
                       " VALUES (NEW.id, %1); END")
            .arg(tradeTexts),
        QStringLiteral("CREATE TRIGGER trades_search_update AFTER UPDATE OF truck, shipper, consignee, goods"
                       " ON trades BEGIN"
                       " UPDATE trades_search SET (truck_number, shipper_name, consignee_name, goods) = (%1)"
                       " WHERE rowid = NEW.id; END")
            .arg(tradeTexts),
        QStringLiteral("CREATE TRIGGER trades_search_delete AFTER DELETE ON trades BEGIN"
                       " DELETE FROM trades_search WHERE rowid = OLD.id; END"),
        renameTrigger(QStringLiteral("trucks"), QStringLiteral("number"), QStringLiteral("truck"),
            QStringLiteral("truck_number")),
        renameTrigger(QStringLiteral("shippers"), QStringLiteral("name"), QStringLiteral("shipper"),
            QStringLiteral("shipper_name")),
        renameTrigger(QStringLiteral("consignees"), QStringLiteral("name"), QStringLiteral("consignee"),
            QStringLiteral("consignee_name")),
    };
    return steps;
}

bool SearchIndex::indexable(const QString& text)
{
    // The tokenizer counts characters, not UTF-16 units.
    return text.toUcs4().size() >= 3;
}

QString SearchIndex::hits(Target target)
{
    QString index;
    switch (target) {
    case Target::Trucks:
        index = QStringLiteral("trucks_search");
        break;
    case Target::Shippers:
        index = QStringLiteral("shippers_search");
        break;
    case Target::Consignees:
        index = QStringLiteral("consignees_search");
        break;
    case Target::Trades:
        index = QStringLiteral("trades_search");
        break;
    }
    return QStringLiteral("(SELECT rowid AS id FROM %1 WHERE %1 MATCH ?)").arg(index);
}

QString SearchIndex::pattern(const QString& text)
{
    // One phrase: the text's trigrams in a row, in any column. Quotes inside
    // it are doubled; nothing else in it is syntax.
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace platform
