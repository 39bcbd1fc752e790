// Searching the lists: what the search index finds is what a plain scan of
// the station's records finds, whatever the text's length, after renames and
// deletions too; the trade list's text and date filters; and no station sees
// another's records.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

using Params = std::vector<std::pair<QString, QString>>;

// The statements of a plain scan, newest first, as each list orders them.
const QMap<QString, QString> plainScans {
    { "truck",
        "SELECT id FROM trucks WHERE organ = ? AND deleted = 0 AND instr(upper(number), upper(?)) > 0"
        " ORDER BY id DESC" },
    { "shipper", "SELECT id FROM shippers WHERE organ = ? AND deleted = 0 AND instr(name, ?) > 0 ORDER BY id DESC" },
    { "consignee",
        "SELECT id FROM consignees WHERE organ = ? AND deleted = 0 AND instr(name, ?) > 0 ORDER BY id DESC" },
    { "trade",
        "SELECT tr.id FROM trades tr JOIN trucks t ON t.id = tr.truck JOIN shippers s ON s.id = tr.shipper"
        " JOIN consignees c ON c.id = tr.consignee WHERE tr.organ = ? AND (instr(upper(t.number), upper(?)) > 0"
        " OR instr(upper(s.name), upper(?)) > 0 OR instr(upper(c.name), upper(?)) > 0"
        " OR instr(upper(tr.goods), upper(?)) > 0) ORDER BY tr.list_rank DESC" },
};

const QMap<QString, QString> searchKeys { { "truck", "number" }, { "shipper", "name" }, { "consignee", "name" },
    { "trade", "q" } };

} // namespace

class TestPlatformSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void searchFindsWhatAScanFinds();
    void tradeTextAndDates_data();
    void tradeTextAndDates();

private:
    // Every page of `list` with `params`: the records' ids, in order.
    QList<qint64> ids(PlatformTestClient& client, const QString& list, const Params& params);
    QList<qint64> scan(qint64 organ, const QString& list, const QString& text);
    // Random records of one station, their texts from a few letters, so that
    // short texts match many and longer ones few.
    void addRandomRecords(qint64 organ, int count);

    PlatformTestServer server;
    std::unique_ptr<PlatformTestClient> demo;
    std::unique_ptr<PlatformTestClient> other;
    // The station of the date filters, made by their first case.
    std::unique_ptr<PlatformTestClient> station;
    QRandomGenerator random { 23 };
    // LIKE's wildcards and escape character stand for themselves; a letter
    // outside ASCII has a case too.
    const QStringList letters { "a", "B", "b", "7", "鲁", "物", "流", "Q", "%", "_", "\\", "ä", "Ä" };
};

void TestPlatformSearch::initTestCase()
{
    QVERIFY(server.start());
    demo = std::make_unique<PlatformTestClient>(server.port());
    other = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(demo->login("demo"));
    QVERIFY(other->login("demo2"));
    addRandomRecords(demo->organ(), 120);
    addRandomRecords(other->organ(), 120);
}

void TestPlatformSearch::addRandomRecords(qint64 organ, int count)
{
    const QSqlDatabase db = server.storage()->connection();
    const auto text = [this](int length) {
        QString t;
        for (int i = 0; i < length; ++i)
            t += letters.at(random.bounded(letters.size()));
        return t;
    };
    const QString time = "2024-03-01 08:00:00";
    for (int i = 0; i < count; ++i) {
        platform::Sql(db,
            "INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage, packingcase_mode,"
            " driver1_name, driver1_mobile, create_time) VALUES (?, ?, 1, 0, 30, 1, '张三', '13800000000', ?)")
            .bind(organ)
            .bind(text(2 + random.bounded(6)))
            .bind(time)
            .exec();
        for (const QString table : { "shippers", "consignees" }) {
            platform::Sql(db,
                QString("INSERT INTO %1 (organ, name, address, linkman, create_time%2) VALUES (?, ?, '', '', ?%3)")
                    .arg(table, table == "shippers" ? ", industry" : "", table == "shippers" ? ", ''" : ""))
                .bind(organ)
                .bind(text(2 + random.bounded(8)))
                .bind(time)
                .exec();
        }
    }
    const auto idsOf = [&](const QString& table) {
        QList<qint64> all;
        platform::Sql q(db, QString("SELECT id FROM %1 WHERE organ = ?").arg(table));
        q.bind(organ).exec();
        while (q.next())
            all << q.integer(0);
        return all;
    };
    const QList<qint64> trucks = idsOf("trucks");
    const QList<qint64> shippers = idsOf("shippers");
    const QList<qint64> consignees = idsOf("consignees");
    for (int i = 0; i < count; ++i) {
        platform::Sql(db,
            "INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight, create_time)"
            " VALUES (?, ?, ?, ?, '', ?, 1, ?)")
            .bind(organ)
            .bind(trucks.at(random.bounded(trucks.size())))
            .bind(shippers.at(random.bounded(shippers.size())))
            .bind(consignees.at(random.bounded(consignees.size())))
            .bind(text(2 + random.bounded(6)))
            .bind(time)
            .exec();
    }
}

QList<qint64> TestPlatformSearch::ids(PlatformTestClient& client, const QString& list, const Params& params)
{
    QList<qint64> all;
    for (int page = 1; page < 1000; ++page) {
        Params withPage = params;
        withPage.emplace_back("page", QString::number(page));
        const PlatformTestClient::Answer answer = client.get("/" + list + "/" + client.suffix(withPage));
        if (!answer.success()) {
            all << -1;
            break;
        }
        if (answer.array().isEmpty())
            break;
        for (const QJsonValue& record : answer.array())
            all << record.toObject().value("id").toVariant().toLongLong();
    }
    return all;
}

QList<qint64> TestPlatformSearch::scan(qint64 organ, const QString& list, const QString& text)
{
    platform::Sql q(server.storage()->connection(), plainScans.value(list));
    q.bind(organ);
    for (int i = 0; i < (list == "trade" ? 4 : 1); ++i)
        q.bind(text);
    q.exec();
    QList<qint64> found;
    while (q.next())
        found << q.integer(0);
    return found;
}

void TestPlatformSearch::searchFindsWhatAScanFinds()
{
    const QSqlDatabase db = server.storage()->connection();
    QStringList texts { "流", "aB", "b7Q", "鲁物流", "ab7b", "\"Q", "Qb\"", "%", "_", "\\", "a%b", "_7%", "äB" };
    for (int i = 0; i < 25; ++i) {
        QString t;
        for (int n = 1 + random.bounded(4); n > 0; --n)
            t += letters.at(random.bounded(letters.size()));
        texts << t;
    }
    // Each round changes records behind the index's back: renames reach the
    // trades that name them, deleted records leave the lists.
    for (int round = 0; round < 2; ++round) {
        for (const QString& list : plainScans.keys()) {
            for (const QString& text : texts) {
                for (PlatformTestClient* client : { demo.get(), other.get() }) {
                    const QList<qint64> expected = scan(client->organ(), list, text);
                    QCOMPARE(ids(*client, list, { { searchKeys.value(list), text } }), expected);
                }
            }
        }
        platform::Sql::run(db, "UPDATE trucks SET number = number || 'Q7' WHERE id % 3 = 0");
        platform::Sql::run(db, "UPDATE shippers SET name = 'b' || name WHERE id % 4 = 0");
        platform::Sql::run(db, "UPDATE consignees SET deleted = 1 WHERE id % 5 = 0");
        platform::Sql::run(db, "UPDATE trades SET goods = '鲁物流' WHERE id % 7 = 0");
    }
    // A text that only the other station's records hold.
    platform::Sql::run(db,
        QString(
            "UPDATE shippers SET name = '只在别站的托运人' WHERE id = (SELECT max(id) FROM shippers WHERE organ = %1)")
            .arg(other->organ()));
    QCOMPARE(ids(*other, "shipper", { { "name", "在别站" } }).size(), 1);
    QCOMPARE(ids(*demo, "shipper", { { "name", "在别站" } }), QList<qint64>());
    QCOMPARE(ids(*demo, "trade", { { "q", "在别站" } }), QList<qint64>());
}

void TestPlatformSearch::tradeTextAndDates_data()
{
    QTest::addColumn<QString>("q");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    // The consignment days of the trades expected, newest first; "refused"
    // for a request that is refused.
    QTest::addColumn<QStringList>("days");

    const QStringList all { "05-03", "05-02", "05-02", "05-01", "04-30" };
    QTest::newRow("no filter") << ""
                               << ""
                               << "" << all;
    QTest::newRow("both ends are included") << ""
                                            << "2025-05-01"
                                            << "2025-05-02" << QStringList { "05-02", "05-02", "05-01" };
    QTest::newRow("from only") << ""
                               << "2025-05-02"
                               << "" << QStringList { "05-03", "05-02", "05-02" };
    QTest::newRow("to only") << ""
                             << ""
                             << "2025-04-30" << QStringList { "04-30" };
    QTest::newRow("one day") << ""
                             << "2025-05-02"
                             << "2025-05-02" << QStringList { "05-02", "05-02" };
    QTest::newRow("ends reversed") << ""
                                   << "2025-05-03"
                                   << "2025-05-01" << QStringList();
    QTest::newRow("before every trade") << ""
                                        << "2020-01-01"
                                        << "2020-12-31" << QStringList();
    QTest::newRow("text and dates") << "日期测试"
                                    << "2025-05-02"
                                    << "2025-05-03" << QStringList { "05-03", "05-02" };
    QTest::newRow("a short text and dates") << "测"
                                            << "2025-04-30"
                                            << "2025-05-02" << QStringList { "05-02", "04-30" };
    QTest::newRow("not a day") << ""
                               << "2025-02-30"
                               << "" << QStringList { "refused" };
    QTest::newRow("another format") << ""
                                    << ""
                                    << "2025/05/01" << QStringList { "refused" };
}

void TestPlatformSearch::tradeTextAndDates()
{
    QFETCH(QString, q);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, days);

    // A station of its own with five trades, three of them carrying the
    // text, on four days; the trade of 05-01 is entered after the newer ones.
    if (!station) {
        const QSqlDatabase db = server.storage()->connection();
        platform::Sql organ(db, "INSERT INTO organs (name, create_time) VALUES ('日期货站', '2025-01-01 08:00:00')");
        organ.exec();
        const qint64 id = organ.lastInsertId();
        platform::Sql::run(db,
            QString("INSERT INTO users (organ, username, password_hash, sub_account, sub_account_pwd, voip_account,"
                    " voip_pwd, create_time) SELECT %1, 'dates', password_hash, 'ds', 'dsp', 'dv', 'dvp', ''"
                    " FROM users WHERE username = 'demo'")
                .arg(id));
        station = std::make_unique<PlatformTestClient>(server.port());
        QVERIFY(station->login("dates"));
        const qint64 truck = station->addTruck("鲁D12345");
        const qint64 shipper = station->addShipper("日期托运人");
        const qint64 consignee = station->addConsignee("日期收货人");
        const QList<QPair<QString, QString>> trades { { "2025-04-30 23:59:59", "日期测试甲" },
            { "2025-05-02 00:00:00", "日期测试乙" }, { "2025-05-02 18:00:00", "瓷砖" },
            { "2025-05-03 09:00:00", "日期测试丙" }, { "2025-05-01 12:00:00", "水泥" } };
        for (const auto& trade : trades) {
            const qint64 added = station->addTrade(truck, shipper, consignee, { { "goods", trade.second } });
            QVERIFY(added > 0);
            platform::Sql(db, "UPDATE trades SET create_time = ? WHERE id = ?").bind(trade.first).bind(added).exec();
        }
        // The ranks follow the times as a new trade's would.
        platform::Sql::run(db,
            QString("UPDATE trades SET list_rank = r.n FROM (SELECT id, row_number() OVER (ORDER BY create_time, id)"
                    " AS n FROM trades WHERE organ = %1) AS r WHERE r.id = trades.id")
                .arg(id));
    }

    Params params;
    if (!q.isEmpty())
        params.emplace_back("q", q);
    if (!from.isEmpty())
        params.emplace_back("from", from);
    if (!to.isEmpty())
        params.emplace_back("to", to);
    params.emplace_back("page", "1");
    const PlatformTestClient::Answer answer = station->get("/trade/" + station->suffix(params));
    if (days == QStringList { "refused" }) {
        QVERIFY(!answer.success());
        QVERIFY2(answer.errors().contains("日期"), qPrintable(answer.errors()));
        return;
    }
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    QStringList found;
    for (const QJsonValue& trade : answer.array())
        found << trade.toObject().value("create_time").toString().mid(5, 5);
    QCOMPARE(found, days);
}

QTEST_GUILESS_MAIN(TestPlatformSearch)
#include "tst_platformsearch.moc"
