#include "sqlitedialect.h"

#include "sql.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>

namespace platform {

namespace {

// The search indexes are FTS5 tables with the trigram tokenizer, rowid = the
// record's id. They hold no station: a query joins the hits to their table
// and keeps its own station's live records.
const QString tradeTexts = QStringLiteral("(SELECT number FROM trucks WHERE id = NEW.truck),"
                                          " (SELECT name FROM shippers WHERE id = NEW.shipper),"
                                          " (SELECT name FROM consignees WHERE id = NEW.consignee), NEW.goods");

// The index of one column of a record table.
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

// An FTS5 query of one phrase: the text's trigrams in a row, in any column.
// Quotes inside it are doubled; nothing else in it is syntax.
QString phrase(const QString& text)
{
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace

void SqliteDialect::prepareConnection(const QSqlDatabase& db, bool synchronousFull) const
{
    // WAL is a property of the file and stays. With synchronous=NORMAL a
    // crash of the process loses no commit; a power cut can lose the last
    // ones (see Storage::setSynchronousFull()).
    const QString mode = Sql::scalar(db, QStringLiteral("PRAGMA journal_mode=WAL")).toString();
    if (mode.compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        throw Sql::Error(QStringLiteral("%1 cannot run in WAL mode (%2)").arg(db.databaseName(), mode).toStdString());
    Sql::run(
        db, synchronousFull ? QStringLiteral("PRAGMA synchronous=FULL") : QStringLiteral("PRAGMA synchronous=NORMAL"));
    Sql::run(db, QStringLiteral("PRAGMA foreign_keys=ON"));
}

void SqliteDialect::begin(const QSqlDatabase& db, bool write) const
{
    // BEGIN IMMEDIATE takes the write lock at once: a read lock that had to
    // be upgraded later could fail instead of waiting.
    Sql::run(db, write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
}

qint64 SqliteDialect::lastInsertId(const QSqlDatabase&, const QSqlQuery& query) const
{
    return query.lastInsertId().toLongLong();
}

int SqliteDialect::schemaVersion(const QSqlDatabase& db) const
{
    return Sql::scalar(db, QStringLiteral("PRAGMA user_version")).toInt();
}

void SqliteDialect::setSchemaVersion(const QSqlDatabase& db, int version) const
{
    Sql::run(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
}

QString SqliteDialect::layoutStatement(const QString& statement) const
{
    // Every integer has 64 bits here, and the files were made with INTEGER.
    if (!statement.startsWith(QLatin1String("CREATE TABLE")) && !statement.startsWith(QLatin1String("ALTER TABLE")))
        return statement;
    static const QRegularExpression bigint(QStringLiteral("\\bBIGINT\\b"));
    return QString(statement).replace(bigint, QStringLiteral("INTEGER"));
}

QStringList SqliteDialect::partyRankSteps(const QString& table) const
{
    const QString insertBody
        = QStringLiteral("UPDATE %1 SET list_rank = list_rank + 1"
                         " WHERE organ = NEW.organ AND deleted = 0 AND id > NEW.id;"
                         " UPDATE %1 SET list_rank = 1 + coalesce((SELECT list_rank FROM %1"
                         " WHERE organ = NEW.organ AND deleted = 0 AND id < NEW.id ORDER BY id DESC LIMIT 1), 0)"
                         " WHERE id = NEW.id;")
              .arg(table);
    return {
        QStringLiteral("CREATE TRIGGER %1_rank_insert AFTER INSERT ON %1 WHEN NEW.deleted = 0 BEGIN %2 END")
            .arg(table, insertBody),
        QStringLiteral("CREATE TRIGGER %1_rank_restore AFTER UPDATE OF deleted ON %1"
                       " WHEN OLD.deleted <> 0 AND NEW.deleted = 0 BEGIN %2 END")
            .arg(table, insertBody),
        QStringLiteral("CREATE TRIGGER %1_rank_delete AFTER UPDATE OF deleted ON %1"
                       " WHEN OLD.deleted = 0 AND NEW.deleted <> 0 BEGIN"
                       " UPDATE %1 SET list_rank = NULL WHERE id = NEW.id;"
                       " UPDATE %1 SET list_rank = list_rank - 1"
                       " WHERE organ = NEW.organ AND deleted = 0 AND id > NEW.id; END")
            .arg(table),
    };
}

QStringList SqliteDialect::tradeRankSteps() const
{
    return {
        QStringLiteral("CREATE TRIGGER trades_rank_insert AFTER INSERT ON trades BEGIN"
                       " UPDATE trades SET list_rank = list_rank + 1"
                       " WHERE organ = NEW.organ AND (create_time, id) > (NEW.create_time, NEW.id);"
                       " UPDATE trades SET list_rank = 1 + coalesce((SELECT list_rank FROM trades"
                       " WHERE organ = NEW.organ AND (create_time, id) < (NEW.create_time, NEW.id)"
                       " ORDER BY create_time DESC, id DESC LIMIT 1), 0)"
                       " WHERE id = NEW.id; END"),
    };
}

QStringList SqliteDialect::changeCounterSteps(const QStringList&) const
{
    // The file counts its commits itself (see dataVersion()).
    return {};
}

void SqliteDialect::dataVersion(const QSqlDatabase& db, qint64* version, qint64* ownChanges) const
{
    // data_version sees other connections' and processes' commits, the
    // connection's total changes its own.
    Sql q(db, QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version"));
    q.exec();
    *version = -1;
    *ownChanges = -1;
    if (q.next()) {
        *version = q.integer(0);
        *ownChanges = q.integer(1);
    }
}

QStringList SqliteDialect::searchIndexSteps() const
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

SearchIndex::Match SqliteDialect::searchMatch(SearchIndex::Target target, const QString& text) const
{
    using Target = SearchIndex::Target;
    const QString table = SearchIndex::table(target);
    const QString alias = SearchIndex::alias(target);
    SearchIndex::Match match;
    // The index folds the case of every letter, so it finds a superset of
    // what the condition keeps. A text without a trigram walks the
    // station's records in the list's order and stops at a full page: the
    // fewer records match, the more it reads, at most the station's own.
    if (SearchIndex::indexable(text)) {
        match.source = QStringLiteral("(SELECT rowid AS id FROM %1_search WHERE %1_search MATCH ?) AS hit"
                                      " CROSS JOIN %1 %2 ON %2.id = hit.id")
                           .arg(table, alias);
        match.sourceValues = { phrase(text) };
    } else {
        match.source = table + QLatin1Char(' ') + alias;
    }
    switch (target) {
    case Target::Trucks:
        match.condition = QStringLiteral(" AND instr(upper(t.number), upper(?)) > 0");
        match.conditionValues = { text };
        break;
    case Target::Shippers:
    case Target::Consignees:
        match.condition = QStringLiteral(" AND instr(p.name, ?) > 0");
        match.conditionValues = { text };
        break;
    case Target::Trades:
        match.condition = QStringLiteral(" AND (instr(upper(t.number), upper(?)) > 0"
                                         " OR instr(upper(s.name), upper(?)) > 0"
                                         " OR instr(upper(c.name), upper(?)) > 0"
                                         " OR instr(upper(tr.goods), upper(?)) > 0)");
        match.conditionValues = { text, text, text, text };
        break;
    }
    return match;
}

} // namespace platform
