#include "schema.h"

#include "dialect.h"
#include "sql.h"
#include "transaction.h"

#include <QStringList>

#include <stdexcept>

namespace platform {

namespace {

// Version 1: stations, their users and sessions, the truck dictionary, and
// the business records. Records are deleted softly ("deleted" = 1), so that
// delivered trades keep naming their truck, shipper and consignee.
const QStringList version1 = {
    QStringLiteral("CREATE TABLE organs ("
                   " id INTEGER PRIMARY KEY,"
                   " name TEXT NOT NULL,"
                   " linkman TEXT NOT NULL DEFAULT '',"
                   " mobile_number TEXT NOT NULL DEFAULT '',"
                   " address TEXT NOT NULL DEFAULT '',"
                   " summary TEXT NOT NULL DEFAULT '',"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE users ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " username TEXT NOT NULL UNIQUE,"
                   " password_hash TEXT NOT NULL,"
                   " sub_account TEXT NOT NULL UNIQUE,"
                   " sub_account_pwd TEXT NOT NULL,"
                   " voip_account TEXT NOT NULL UNIQUE,"
                   " voip_pwd TEXT NOT NULL,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE sessions ("
                   " token_digest TEXT PRIMARY KEY,"
                   " user INTEGER NOT NULL REFERENCES users(id),"
                   " create_time TEXT NOT NULL) WITHOUT ROWID"),
    QStringLiteral("CREATE INDEX sessions_user ON sessions(user)"),
    QStringLiteral("CREATE TABLE truck_dict ("
                   " kind TEXT NOT NULL,"
                   " code INTEGER NOT NULL,"
                   " text TEXT NOT NULL,"
                   " PRIMARY KEY (kind, code)) WITHOUT ROWID"),
    QStringLiteral("INSERT INTO truck_dict (kind, code, text) VALUES"
                   " ('driving_mode', 1, '4×2'), ('driving_mode', 2, '6×2'),"
                   " ('driving_mode', 3, '6×4'), ('driving_mode', 4, '8×4'),"
                   " ('tonnage', 0, '重卡'), ('tonnage', 1, '中卡'), ('tonnage', 2, '轻卡'),"
                   " ('packingcase_mode', 1, '厢式'), ('packingcase_mode', 2, '高栏'),"
                   " ('packingcase_mode', 3, '平板'), ('packingcase_mode', 4, '冷藏'),"
                   " ('packingcase_mode', 5, '集装箱')"),
    QStringLiteral("CREATE TABLE trucks ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " number TEXT NOT NULL,"
                   " driving_mode INTEGER NOT NULL,"
                   " tonnage_level INTEGER NOT NULL,"
                   " tonnage REAL NOT NULL,"
                   " packingcase_mode INTEGER NOT NULL,"
                   " packingcase_length REAL,"
                   " packingcase_width REAL,"
                   " packingcase_height REAL,"
                   " photo1 TEXT NOT NULL DEFAULT '',"
                   " photo2 TEXT NOT NULL DEFAULT '',"
                   " driver1_name TEXT NOT NULL,"
                   " driver1_mobile TEXT NOT NULL,"
                   " driver2_name TEXT NOT NULL DEFAULT '',"
                   " driver2_mobile TEXT NOT NULL DEFAULT '',"
                   " company_name TEXT NOT NULL DEFAULT '',"
                   " company_tel TEXT NOT NULL DEFAULT '',"
                   " notes TEXT NOT NULL DEFAULT '',"
                   " status INTEGER NOT NULL DEFAULT 0,"
                   " deleted INTEGER NOT NULL DEFAULT 0,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE INDEX trucks_organ ON trucks(organ, deleted, id)"),
    QStringLiteral("CREATE TABLE shippers ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " name TEXT NOT NULL,"
                   " address TEXT NOT NULL,"
                   " industry TEXT NOT NULL,"
                   " linkman TEXT NOT NULL,"
                   " tel1 TEXT NOT NULL DEFAULT '',"
                   " tel2 TEXT NOT NULL DEFAULT '',"
                   " notes TEXT NOT NULL DEFAULT '',"
                   " deleted INTEGER NOT NULL DEFAULT 0,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE INDEX shippers_organ ON shippers(organ, deleted, id)"),
    QStringLiteral("CREATE TABLE consignees ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " name TEXT NOT NULL,"
                   " address TEXT NOT NULL,"
                   " linkman TEXT NOT NULL,"
                   " tel1 TEXT NOT NULL DEFAULT '',"
                   " tel2 TEXT NOT NULL DEFAULT '',"
                   " notes TEXT NOT NULL DEFAULT '',"
                   " deleted INTEGER NOT NULL DEFAULT 0,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE INDEX consignees_organ ON consignees(organ, deleted, id)"),
    QStringLiteral("CREATE TABLE trades ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " truck INTEGER NOT NULL REFERENCES trucks(id),"
                   " shipper INTEGER NOT NULL REFERENCES shippers(id),"
                   " consignee INTEGER NOT NULL REFERENCES consignees(id),"
                   " line TEXT NOT NULL,"
                   " goods TEXT NOT NULL,"
                   " weight REAL NOT NULL,"
                   " value REAL NOT NULL DEFAULT 0,"
                   " is_agency INTEGER NOT NULL DEFAULT 0,"
                   " revenue REAL NOT NULL DEFAULT 0,"
                   " payout REAL NOT NULL DEFAULT 0,"
                   " notes TEXT NOT NULL DEFAULT '',"
                   " status INTEGER NOT NULL DEFAULT 0,"
                   " payout_status INTEGER NOT NULL DEFAULT 0,"
                   " agency_status INTEGER NOT NULL DEFAULT 0,"
                   " create_time TEXT NOT NULL,"
                   " start_time TEXT NOT NULL DEFAULT '',"
                   " complete_time TEXT NOT NULL DEFAULT '',"
                   " pay_agency_time TEXT NOT NULL DEFAULT '')"),
    QStringLiteral("CREATE INDEX trades_organ_time ON trades(organ, create_time DESC, id DESC)"),
    QStringLiteral("CREATE INDEX trades_truck ON trades(truck, status)"),
    QStringLiteral("CREATE INDEX trades_shipper ON trades(shipper, status)"),
    QStringLiteral("CREATE INDEX trades_consignee ON trades(consignee, status)"),
};

// Version 2: what the platform records besides the business: the text
// message outbox, feedback, visit records and the platform's own settings
// (customer-service contacts, the announced client version).
const QStringList version2 = {
    QStringLiteral("CREATE TABLE sms_outbox ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " user INTEGER NOT NULL REFERENCES users(id),"
                   " number TEXT NOT NULL,"
                   " content TEXT NOT NULL,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE feedback ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " user INTEGER NOT NULL REFERENCES users(id),"
                   " type INTEGER NOT NULL,"
                   " content TEXT NOT NULL,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE visits ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " user INTEGER NOT NULL REFERENCES users(id),"
                   " sessionid TEXT NOT NULL,"
                   " platform TEXT NOT NULL DEFAULT '',"
                   " machine TEXT NOT NULL DEFAULT '',"
                   " os_version TEXT NOT NULL DEFAULT '',"
                   " app_version TEXT NOT NULL DEFAULT '',"
                   " network_type TEXT NOT NULL DEFAULT '',"
                   " resolution TEXT NOT NULL DEFAULT '',"
                   " start_time TEXT NOT NULL,"
                   " end_time TEXT NOT NULL DEFAULT '')"),
    QStringLiteral("CREATE INDEX visits_session ON visits(user, sessionid)"),
    QStringLiteral("CREATE TABLE settings ("
                   " key TEXT PRIMARY KEY,"
                   " value TEXT NOT NULL) WITHOUT ROWID"),
    QStringLiteral("INSERT INTO settings (key, value) VALUES"
                   " ('service_mobile', '4008765432'), ('service_qq', '800087654'),"
                   " ('announced_version', '1.0.1 Beta')"),
};

// Version 3: a session's last use, by which idle sessions end, and the
// text messages of a station by day, by which they are capped.
const QStringList version3 = {
    QStringLiteral("ALTER TABLE sessions ADD COLUMN last_seen TEXT NOT NULL DEFAULT ''"),
    QStringLiteral("CREATE INDEX sms_outbox_organ_time ON sms_outbox(organ, create_time)"),
};

// The rank of a shipper or consignee among the live ones of its station,
// oldest first (1, 2, ...), kept dense by triggers: inserting, deleting or
// restoring one renumbers only the live records after it, which for new
// records are none. A page, newest first, is then a range of ranks below the
// station's highest, found through an index whatever the page's number.
QStringList partyRanks(const QString& table)
{
    const QString insertBody
        = QStringLiteral("UPDATE %1 SET list_rank = list_rank + 1"
                         " WHERE organ = NEW.organ AND deleted = 0 AND id > NEW.id;"
                         " UPDATE %1 SET list_rank = 1 + coalesce((SELECT list_rank FROM %1"
                         " WHERE organ = NEW.organ AND deleted = 0 AND id < NEW.id ORDER BY id DESC LIMIT 1), 0)"
                         " WHERE id = NEW.id;")
              .arg(table);
    return {
        QStringLiteral("ALTER TABLE %1 ADD COLUMN list_rank INTEGER").arg(table),
        QStringLiteral("UPDATE %1 SET list_rank = r.n FROM (SELECT id,"
                       " row_number() OVER (PARTITION BY organ ORDER BY id) AS n FROM %1 WHERE deleted = 0) AS r"
                       " WHERE r.id = %1.id")
            .arg(table),
        QStringLiteral("CREATE INDEX %1_rank ON %1(organ, list_rank)").arg(table),
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

// Version 4: ranks for the paged lists. Shippers and consignees as above;
// trades rank by (create_time, id) among all of the station's (trades are
// never deleted), so that a trade entered with an earlier time than the
// newest one still lands in its place.
QStringList version4()
{
    QStringList steps = partyRanks(QStringLiteral("shippers")) + partyRanks(QStringLiteral("consignees"));
    steps += {
        QStringLiteral("ALTER TABLE trades ADD COLUMN list_rank INTEGER"),
        QStringLiteral("UPDATE trades SET list_rank = r.n FROM (SELECT id,"
                       " row_number() OVER (PARTITION BY organ ORDER BY create_time, id) AS n FROM trades) AS r"
                       " WHERE r.id = trades.id"),
        QStringLiteral("CREATE INDEX trades_rank ON trades(organ, list_rank)"),
        QStringLiteral("CREATE TRIGGER trades_rank_insert AFTER INSERT ON trades BEGIN"
                       " UPDATE trades SET list_rank = list_rank + 1"
                       " WHERE organ = NEW.organ AND (create_time, id) > (NEW.create_time, NEW.id);"
                       " UPDATE trades SET list_rank = 1 + coalesce((SELECT list_rank FROM trades"
                       " WHERE organ = NEW.organ AND (create_time, id) < (NEW.create_time, NEW.id)"
                       " ORDER BY create_time DESC, id DESC LIMIT 1), 0)"
                       " WHERE id = NEW.id; END"),
    };
    return steps;
}

// Version 5: accounts of their own for a station's clerks (a name, a role,
// and whether the account is stopped), and the history of every write to a
// station's records: who, when, what, and for an edit each changed field's
// value before and after (a JSON object).
const QStringList version5 = {
    QStringLiteral("ALTER TABLE users ADD COLUMN name TEXT NOT NULL DEFAULT ''"),
    QStringLiteral("ALTER TABLE users ADD COLUMN role TEXT NOT NULL DEFAULT 'station'"),
    QStringLiteral("ALTER TABLE users ADD COLUMN disabled INTEGER NOT NULL DEFAULT 0"),
    QStringLiteral("UPDATE users SET name = (SELECT linkman FROM organs WHERE organs.id = users.organ)"),
    QStringLiteral("CREATE TABLE history ("
                   " id INTEGER PRIMARY KEY,"
                   " organ INTEGER NOT NULL REFERENCES organs(id),"
                   " kind TEXT NOT NULL,"
                   " record INTEGER NOT NULL,"
                   " time TEXT NOT NULL,"
                   " user INTEGER NOT NULL REFERENCES users(id),"
                   " action TEXT NOT NULL,"
                   " changes TEXT NOT NULL DEFAULT '{}')"),
    QStringLiteral("CREATE INDEX history_record ON history(kind, record, id)"),
};

// Version 6: failed sign-ins and the write limits' counts, kept in the
// database so that every process on it counts the same (see LoginThrottle
// and WriteQuota). A scope is one of the throttle's tables; times are
// milliseconds since the epoch; `name` is the user name a row counts against
// ('' for an address's row).
const QStringList version6 = {
    QStringLiteral("CREATE TABLE login_failures ("
                   " scope INTEGER NOT NULL,"
                   " key TEXT NOT NULL,"
                   " name TEXT NOT NULL DEFAULT '',"
                   " failures INTEGER NOT NULL,"
                   " last_failure INTEGER NOT NULL,"
                   " PRIMARY KEY (scope, key)) WITHOUT ROWID"),
    QStringLiteral("CREATE INDEX login_failures_time ON login_failures(last_failure)"),
    QStringLiteral("CREATE TABLE write_counts ("
                   " key TEXT PRIMARY KEY,"
                   " tokens REAL NOT NULL,"
                   " refilled INTEGER NOT NULL,"
                   " day INTEGER NOT NULL,"
                   " today INTEGER NOT NULL,"
                   " capped INTEGER NOT NULL) WITHOUT ROWID"),
};

// Version 7: the search indexes of plates, names and trades (see
// SqliteDialect::searchIndexSteps()), filled from the records already there;
// and the station's open trades by status, which every truck list carries as
// loads: without it, a search of a station's trucks read every trade it ever
// had.
QStringList version7()
{
    return Dialect::sqlite().searchIndexSteps()
        + QStringList { QStringLiteral("CREATE INDEX trades_open ON trades(organ, status)") };
}

} // namespace

QList<QStringList> Schema::sqliteSteps()
{
    static const QList<QStringList> all = { version1, version2, version3, version4(), version5, version6, version7() };
    return all;
}

int Schema::latestVersion()
{
    return sqliteSteps().size();
}

int Schema::versionOf(const QSqlDatabase& db)
{
    return Dialect::of(db).schemaVersion(db);
}

void Schema::upgrade(const QSqlDatabase& db, int target)
{
    if (target < 0 || target > latestVersion())
        target = latestVersion();
    // The write lock is taken before the version is read, so two processes
    // opening one database cannot both run the same step.
    Transaction transaction(db, Transaction::Write);
    const int current = versionOf(db);
    if (current > latestVersion())
        throw std::runtime_error(QStringLiteral("the database has schema version %1, newer than this program's %2")
                                     .arg(current)
                                     .arg(latestVersion())
                                     .toStdString());
    const Dialect& dialect = Dialect::of(db);
    const QList<QStringList> steps = dialect.schemaSteps();
    for (int version = current + 1; version <= target; ++version) {
        for (const QString& statement : steps.at(version - 1))
            Sql::run(db, statement);
        dialect.setSchemaVersion(db, version);
    }
    transaction.commit();
}

} // namespace platform
