#include "schema.h"

#include "dialect.h"
#include "sql.h"
#include "transaction.h"

#include <QStringList>

#include <stdexcept>

namespace platform {

namespace {

// The layout is written once, for both engines: in SQLite's spelling, with
// BIGINT for the integers that need 64 bits on every engine (ids that point
// at a row, ranks, milliseconds). Each dialect takes these statements as its
// engine spells them (Dialect::layoutStatement()); SQLite's own are exactly
// those that made its older files. What the engines do differently (the
// triggers that keep ranks, the search indexes, PostgreSQL's change counter)
// each dialect adds at its place.

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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " username TEXT NOT NULL UNIQUE,"
                   " password_hash TEXT NOT NULL,"
                   " sub_account TEXT NOT NULL UNIQUE,"
                   " sub_account_pwd TEXT NOT NULL,"
                   " voip_account TEXT NOT NULL UNIQUE,"
                   " voip_pwd TEXT NOT NULL,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE sessions ("
                   " token_digest TEXT PRIMARY KEY,"
                   " user BIGINT NOT NULL REFERENCES users(id),"
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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " truck BIGINT NOT NULL REFERENCES trucks(id),"
                   " shipper BIGINT NOT NULL REFERENCES shippers(id),"
                   " consignee BIGINT NOT NULL REFERENCES consignees(id),"
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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " user BIGINT NOT NULL REFERENCES users(id),"
                   " number TEXT NOT NULL,"
                   " content TEXT NOT NULL,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE feedback ("
                   " id INTEGER PRIMARY KEY,"
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " user BIGINT NOT NULL REFERENCES users(id),"
                   " type INTEGER NOT NULL,"
                   " content TEXT NOT NULL,"
                   " create_time TEXT NOT NULL)"),
    QStringLiteral("CREATE TABLE visits ("
                   " id INTEGER PRIMARY KEY,"
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " user BIGINT NOT NULL REFERENCES users(id),"
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
// oldest first (1, 2, ...), kept dense by triggers (Dialect::partyRankSteps()):
// inserting, deleting or restoring one renumbers only the live records after
// it, which for new records are none. A page, newest first, is then a range
// of ranks below the station's highest, found through an index whatever the
// page's number.
QStringList partyRanks(const Dialect& dialect, const QString& table)
{
    return QStringList {
        dialect.layoutStatement(QStringLiteral("ALTER TABLE %1 ADD COLUMN list_rank BIGINT").arg(table)),
        QStringLiteral("UPDATE %1 SET list_rank = r.n FROM (SELECT id,"
                       " row_number() OVER (PARTITION BY organ ORDER BY id) AS n FROM %1 WHERE deleted = 0) AS r"
                       " WHERE r.id = %1.id")
            .arg(table),
        QStringLiteral("CREATE INDEX %1_rank ON %1(organ, list_rank)").arg(table),
    }
    + dialect.partyRankSteps(table);
}

// Version 4: ranks for the paged lists. Shippers and consignees as above;
// trades rank by (create_time, id) among all of the station's (trades are
// never deleted), so that a trade entered with an earlier time than the
// newest one still lands in its place (Dialect::tradeRankSteps()).
QStringList version4(const Dialect& dialect)
{
    QStringList steps
        = partyRanks(dialect, QStringLiteral("shippers")) + partyRanks(dialect, QStringLiteral("consignees"));
    steps += {
        dialect.layoutStatement(QStringLiteral("ALTER TABLE trades ADD COLUMN list_rank BIGINT")),
        QStringLiteral("UPDATE trades SET list_rank = r.n FROM (SELECT id,"
                       " row_number() OVER (PARTITION BY organ ORDER BY create_time, id) AS n FROM trades) AS r"
                       " WHERE r.id = trades.id"),
        QStringLiteral("CREATE INDEX trades_rank ON trades(organ, list_rank)"),
    };
    return steps + dialect.tradeRankSteps();
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
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " kind TEXT NOT NULL,"
                   " record BIGINT NOT NULL,"
                   " time TEXT NOT NULL,"
                   " user BIGINT NOT NULL REFERENCES users(id),"
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
                   " last_failure BIGINT NOT NULL,"
                   " PRIMARY KEY (scope, key)) WITHOUT ROWID"),
    QStringLiteral("CREATE INDEX login_failures_time ON login_failures(last_failure)"),
    QStringLiteral("CREATE TABLE write_counts ("
                   " key TEXT PRIMARY KEY,"
                   " tokens REAL NOT NULL,"
                   " refilled BIGINT NOT NULL,"
                   " day BIGINT NOT NULL,"
                   " today INTEGER NOT NULL,"
                   " capped INTEGER NOT NULL) WITHOUT ROWID"),
};

// Version 7: the search indexes of plates, names and trades (see
// Dialect::searchIndexSteps()), filled from the records already there; and
// the station's open trades by status, which every truck list carries as
// loads: without it, a search of a station's trucks read every trade it ever
// had.
QStringList version7(const Dialect& dialect)
{
    return dialect.searchIndexSteps()
        + QStringList { QStringLiteral("CREATE INDEX trades_open ON trades(organ, status)") };
}

// Version 8: every record a clerk edits has a version that each write of it
// increases, so that a save made from an older copy can be refused (see
// RecordVersion); and the answer given to each write that named a request
// id, kept for a day, so that the same request sent again after its answer
// was lost is answered, not done twice (see RequestAnswers). `path` is the
// method and the route the answer belongs to; `created` milliseconds since
// the epoch.
const QStringList version8 = {
    QStringLiteral("ALTER TABLE trucks ADD COLUMN version INTEGER NOT NULL DEFAULT 1"),
    QStringLiteral("ALTER TABLE shippers ADD COLUMN version INTEGER NOT NULL DEFAULT 1"),
    QStringLiteral("ALTER TABLE consignees ADD COLUMN version INTEGER NOT NULL DEFAULT 1"),
    QStringLiteral("ALTER TABLE trades ADD COLUMN version INTEGER NOT NULL DEFAULT 1"),
    QStringLiteral("ALTER TABLE organs ADD COLUMN version INTEGER NOT NULL DEFAULT 1"),
    QStringLiteral("CREATE TABLE request_answers ("
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " request_id TEXT NOT NULL,"
                   " path TEXT NOT NULL,"
                   " status INTEGER NOT NULL,"
                   " body TEXT NOT NULL,"
                   " created BIGINT NOT NULL,"
                   " PRIMARY KEY (organ, request_id)) WITHOUT ROWID"),
    QStringLiteral("CREATE INDEX request_answers_created ON request_answers(organ, created)"),
};

// Version 9: the station's changes as the desks hear of them: one row per
// write of a truck, shipper, consignee, trade or the station's profile,
// appended in the write's transaction (see ChangeLog), read in the order of
// its id. A station's old rows are pruned; `change_floors` keeps, per
// station, the highest id pruned, below which a desk has missed too much.
const QStringList version9 = {
    QStringLiteral("CREATE TABLE changes ("
                   " id INTEGER PRIMARY KEY,"
                   " organ BIGINT NOT NULL REFERENCES organs(id),"
                   " kind TEXT NOT NULL,"
                   " record BIGINT NOT NULL,"
                   " version BIGINT NOT NULL DEFAULT 0,"
                   " user BIGINT NOT NULL REFERENCES users(id),"
                   " user_name TEXT NOT NULL DEFAULT '',"
                   " time TEXT NOT NULL)"),
    QStringLiteral("CREATE INDEX changes_organ ON changes(organ, id)"),
    QStringLiteral("CREATE TABLE change_floors ("
                   " organ BIGINT PRIMARY KEY REFERENCES organs(id),"
                   " pruned_to BIGINT NOT NULL) WITHOUT ROWID"),
};

// Version 10: the addresses from which each user name signed in, and when it
// last did (milliseconds since the epoch): a name's failures from anywhere
// hold up guesses from every other address, never the right password from
// one of these (see LoginThrottle).
const QStringList version10 = {
    QStringLiteral("CREATE TABLE login_known ("
                   " name TEXT NOT NULL,"
                   " address TEXT NOT NULL,"
                   " last_success BIGINT NOT NULL,"
                   " PRIMARY KEY (name, address)) WITHOUT ROWID"),
    QStringLiteral("CREATE INDEX login_known_time ON login_known(last_success)"),
};

// The tables whose records a kept answer may show: a change to them makes
// the kept answers stale (see Dialect::changeCounterSteps()). Sessions,
// visits, the outbox, feedback and history are shown by no kept answer.
const QStringList answeredTables = { QStringLiteral("organs"), QStringLiteral("users"), QStringLiteral("truck_dict"),
    QStringLiteral("trucks"), QStringLiteral("shippers"), QStringLiteral("consignees"), QStringLiteral("trades"),
    QStringLiteral("settings") };

// Each statement as `dialect` takes it.
QStringList spelled(const Dialect& dialect, QStringList statements)
{
    for (QString& statement : statements)
        statement = dialect.layoutStatement(statement);
    return statements;
}

} // namespace

QList<QStringList> Schema::steps(const Dialect& dialect)
{
    // PostgreSQL's databases began at version 5, with the change counter.
    return { spelled(dialect, version1), spelled(dialect, version2), spelled(dialect, version3), version4(dialect),
        spelled(dialect, version5) + dialect.changeCounterSteps(answeredTables), spelled(dialect, version6),
        version7(dialect), spelled(dialect, version8), spelled(dialect, version9), spelled(dialect, version10) };
}

int Schema::latestVersion()
{
    return steps(Dialect::sqlite()).size();
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
    const QList<QStringList> all = steps(Dialect::of(db));
    for (int version = current + 1; version <= target; ++version) {
        for (const QString& statement : all.at(version - 1))
            Sql::run(db, statement);
        Dialect::of(db).setSchemaVersion(db, version);
    }
    transaction.commit();
}

} // namespace platform
