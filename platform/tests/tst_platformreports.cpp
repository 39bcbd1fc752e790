// The station's money reports checked against a plain computation over the
// station's own trade list, after random trades, settlements and deletions
// at two stations.

#include "demoseed.h"
#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sessionservice.h"
#include "sql.h"
#include "storage.h"

#include <QDate>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

namespace {

qint64 units(const QJsonValue& value, int scale)
{
    return qRound64(value.toDouble() * scale);
}

qint64 cents(const QJsonObject& object, const char* key)
{
    return units(object.value(QLatin1String(key)), 100);
}

struct Group
{
    QString name;
    qint64 trades = 0;
    qint64 amount = 0;
    QString oldest;
    QSet<qint64> ids;
};

} // namespace

class TestPlatformReports : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportsAddUpTheTrades();
    void badParametersAreRefused_data();
    void badParametersAreRefused();
    void ledgersAnswerAsRecorded_data();
    void ledgersAnswerAsRecorded();

private:
    // Random trades on the station's resting trucks, some settled, and a
    // shipper deleted once its trades are delivered.
    void trade(PlatformTestClient& station, const QString& tag);
    void compare(PlatformTestClient& station);

    PlatformTestServer server;
    std::unique_ptr<PlatformTestClient> demo;
    std::unique_ptr<PlatformTestClient> demo2;
    QRandomGenerator random { 24 };
    // A station of its own with five trades at fixed times, whose ledgers'
    // bytes are recorded below.
    PlatformTestServer small { false };
    std::unique_ptr<PlatformTestClient> smallStation;
};

void TestPlatformReports::initTestCase()
{
    QVERIFY(server.start());
    demo = std::make_unique<PlatformTestClient>(server.port());
    demo2 = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(demo->login("demo"));
    QVERIFY(demo2->login("demo2"));

    QVERIFY(small.start());
    const QSqlDatabase db = small.storage()->connection();
    const QString password = QString::fromLatin1(platform::DemoSeed::demoPassword());
    const qint64 organ = platform::Sql(
        db, QStringLiteral("INSERT INTO organs (name, create_time) VALUES ('账本货站', '2026-03-01 08:00:00')"))
                             .exec()
                             .lastInsertId();
    platform::SessionService::createUser(db, organ, "ledger", password);
    smallStation = std::make_unique<PlatformTestClient>(small.port());
    PlatformTestClient& station = *smallStation;
    QVERIFY(station.login("ledger", password));
    const qint64 trucks[] = { station.addTruck("鲁Q10001"), station.addTruck("鲁Q10002") };
    const qint64 shippers[] = { station.addShipper("甲商行"), station.addShipper("乙商行") };
    const qint64 consignee = station.addConsignee("丙仓库");
    const struct
    {
        int truck;
        int shipper;
        const char* value;
        const char* payout;
        const char* isAgency;
        const char* payoutStatus;
        const char* agencyStatus;
    } trades[] = { { 0, 0, "1234.56", "800.1", "1", "0", "0" }, { 0, 1, "99.9", "0.05", "1", "2", "0" },
        { 1, 0, "500", "1000", "0", "1", "0" }, { 0, 0, "0.44", "12.34", "1", "0", "0" },
        { 1, 1, "70", "30", "1", "2", "1" } };
    // Each trade a day older than the one before.
    int day = 9;
    for (const auto& t : trades) {
        const qint64 id = station.addTrade(trucks[t.truck], shippers[t.shipper], consignee,
            { { "value", t.value }, { "payout", t.payout }, { "is_agency", t.isAgency } });
        QVERIFY(id > 0);
        QVERIFY(station
                    .post(QStringLiteral("/trade/%1/status/change/").arg(id) + station.suffix(),
                        { { "payout_status", t.payoutStatus }, { "agency_status", t.agencyStatus } })
                    .success());
        platform::Sql(db, QStringLiteral("UPDATE trades SET create_time = ?, pay_agency_time = '' WHERE id = ?"))
            .bind(QStringLiteral("2026-03-0%1 09:00:00").arg(day--))
            .bind(id)
            .exec();
    }
}

void TestPlatformReports::trade(PlatformTestClient& station, const QString& tag)
{
    const qint64 truck = station.addTruck(tag == "a" ? QStringLiteral("鲁Q7%1").arg(random.bounded(1000, 9999))
                                                     : QStringLiteral("浙G7%1").arg(random.bounded(1000, 9999)));
    const qint64 gone = station.addShipper(QStringLiteral("报表托运人%1").arg(tag));
    const qint64 shipper = station.addShipper(QStringLiteral("报表常客%1").arg(tag));
    const qint64 consignee = station.addConsignee(QStringLiteral("报表收货人%1").arg(tag));
    QVERIFY(truck > 0 && gone > 0 && shipper > 0 && consignee > 0);
    QList<qint64> trades;
    for (int i = 0; i < 24; ++i) {
        const auto amount = [this] { return QString::number(random.bounded(0, 100000000) / 100.0, 'f', 2); };
        const QMap<QString, QString> changes { { "weight", QString::number(random.bounded(1, 99999) / 1000.0, 'f', 3) },
            { "value", amount() }, { "revenue", amount() }, { "payout", amount() },
            { "is_agency", QString::number(random.bounded(-1, 2)) } };
        const qint64 id = station.addTrade(truck, i % 3 == 0 ? gone : shipper, consignee, changes);
        QVERIFY(id > 0);
        trades << id;
    }
    for (qint64 id : qAsConst(trades)) {
        if (random.bounded(3) == 0)
            continue;
        const QMap<QString, QString> settlement { { "payout_status", QString::number(random.bounded(-1, 3)) },
            { "agency_status", QString::number(random.bounded(-1, 2)) } };
        QVERIFY(
            station.post(QStringLiteral("/trade/%1/status/change/").arg(id) + station.suffix(), settlement).success());
    }
    QVERIFY(station.get(QStringLiteral("/truck/%1/work/").arg(truck) + station.suffix()).success());
    QVERIFY(station.get(QStringLiteral("/truck/%1/sleep/").arg(truck) + station.suffix()).success());
    // A deleted shipper's cash is still owed to it, and a deleted truck's
    // driver is still owed his pay.
    QVERIFY(station.get(QStringLiteral("/shipper/%1/delete/").arg(gone) + station.suffix()).success());
    QVERIFY(station.get(QStringLiteral("/truck/%1/delete/").arg(truck) + station.suffix()).success());
}

void TestPlatformReports::compare(PlatformTestClient& station)
{
    const QJsonArray all = station.allPages("/trade/");
    QVERIFY(all.size() > 24);
    QMap<qint64, Group> agency;
    QMap<qint64, Group> payout;
    QMap<QString, QVector<qint64>> days;
    for (const QJsonValue& value : all) {
        const QJsonObject t = value.toObject();
        const qint64 id = t.value("id").toVariant().toLongLong();
        const bool isAgency = t.value("is_agency").toBool();
        const QString created = t.value("create_time").toString();
        if (isAgency && t.value("agency_status").toInt() != 1) {
            Group& g = agency[t.value("shipper").toVariant().toLongLong()];
            g.name = t.value("shipper_name").toString();
            ++g.trades;
            g.amount += cents(t, "value");
            g.oldest = g.oldest.isEmpty() ? created : std::min(g.oldest, created);
            g.ids << id;
        }
        if (t.value("payout_status").toInt() != 2) {
            Group& g = payout[t.value("truck").toVariant().toLongLong()];
            g.name = t.value("truck_number").toString();
            ++g.trades;
            g.amount += cents(t, "payout");
            g.ids << id;
        }
        QVector<qint64>& d = days[created.left(10)];
        d.resize(7);
        const bool paid = isAgency && t.value("agency_status").toInt() == 1;
        const qint64 figures[7] = { 1, units(t.value("weight"), 1000), cents(t, "value"), cents(t, "revenue"),
            cents(t, "payout"), isAgency ? cents(t, "value") : 0, paid ? cents(t, "value") : 0 };
        for (int i = 0; i < 7; ++i)
            d[i] += figures[i];
    }

    // Each ledger: one row per group, largest first, the total of the rows,
    // and a drill-down that lists the group's trades.
    const struct
    {
        const char* path;
        const char* idKey;
        const char* nameKey;
        const char* drill;
        const QMap<qint64, Group>& expected;
    } ledgers[] = { { "/report/agency/", "shipper_id", "shipper_name", "shipper", agency },
        { "/report/payout/", "truck_id", "truck_number", "truck", payout } };
    for (const auto& ledger : ledgers) {
        const auto answer = station.get(ledger.path + station.suffix());
        QVERIFY2(answer.success(), qPrintable(answer.errors()));
        const QJsonArray rows = answer.array();
        QCOMPARE(rows.size(), ledger.expected.size());
        qint64 total = 0;
        qint64 previous = std::numeric_limits<qint64>::max();
        for (const QJsonValue& value : rows) {
            const QJsonObject row = value.toObject();
            const qint64 id = row.value(ledger.idKey).toVariant().toLongLong();
            QVERIFY2(ledger.expected.contains(id), ledger.path);
            const Group& g = ledger.expected[id];
            QCOMPARE(row.value(ledger.nameKey).toString(), g.name);
            QCOMPARE(row.value("trades").toVariant().toLongLong(), g.trades);
            QCOMPARE(cents(row, "amount"), g.amount);
            if (!g.oldest.isEmpty())
                QCOMPARE(row.value("oldest").toString(), g.oldest);
            QVERIFY(g.amount <= previous);
            previous = g.amount;
            total += g.amount;

            QSet<qint64> listed;
            for (int page = 1; page < 100; ++page) {
                const auto drill = station.get(ledger.path
                    + station.suffix({ { ledger.drill, QString::number(id) }, { "page", QString::number(page) } }));
                QVERIFY(drill.success());
                if (drill.array().isEmpty())
                    break;
                for (const QJsonValue& trade : drill.array())
                    listed << trade.toObject().value("id").toVariant().toLongLong();
            }
            QCOMPARE(listed, g.ids);
        }
        QCOMPARE(units(answer.json.value("total"), 100), total);
    }

    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (int from : { 40, 10 }) {
        const QString first = QDate::currentDate().addDays(-from).toString(Qt::ISODate);
        const auto answer = station.get("/report/daily/" + station.suffix({ { "from", first }, { "to", today } }));
        QVERIFY2(answer.success(), qPrintable(answer.errors()));
        QStringList expectedDays;
        for (auto it = days.cbegin(); it != days.cend(); ++it) {
            if (it.key() >= first && it.key() <= today)
                expectedDays << it.key();
        }
        QStringList listed;
        for (const QJsonValue& value : answer.array()) {
            const QJsonObject row = value.toObject();
            const QString day = row.value("day").toString();
            listed << day;
            const QVector<qint64>& d = days.value(day);
            QVERIFY2(d.size() == 7, qPrintable(day));
            QCOMPARE(row.value("trades").toVariant().toLongLong(), d[0]);
            QCOMPARE(units(row.value("weight"), 1000), d[1]);
            QCOMPARE(cents(row, "value"), d[2]);
            QCOMPARE(cents(row, "revenue"), d[3]);
            QCOMPARE(cents(row, "payout"), d[4]);
            QCOMPARE(cents(row, "agency_collected"), d[5]);
            QCOMPARE(cents(row, "agency_paid"), d[6]);
        }
        QCOMPARE(listed, expectedDays);
    }
}

void TestPlatformReports::reportsAddUpTheTrades()
{
    trade(*demo, "a");
    trade(*demo2, "b");
    compare(*demo);
    compare(*demo2);
    // Another station's shipper or truck gives nothing away.
    const qint64 foreign = demo2->allPages("/shipper/").first().toObject().value("id").toVariant().toLongLong();
    const auto answer = demo->get("/report/agency/" + demo->suffix({ { "shipper", QString::number(foreign) } }));
    QVERIFY(answer.success());
    QVERIFY(answer.array().isEmpty());
}

void TestPlatformReports::badParametersAreRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("error");
    const QString daily("/report/daily/");
    const QString date("2026-12-07");
    QTest::newRow("no month 13") << daily << "2026-13-01" << date << "起始日期无效，应为“年-月-日”，如2026-12-07！";
    QTest::newRow("no 30 February") << daily << date << "2027-02-30"
                                    << "结束日期无效，应为“年-月-日”，如2026-12-07！";
    QTest::newRow("digits only") << daily << "20261201" << date << "起始日期无效，应为“年-月-日”，如2026-12-07！";
    QTest::newRow("short month") << daily << "2026-1-07" << date << "起始日期无效，应为“年-月-日”，如2026-12-07！";
    QTest::newRow("time added") << daily << date << "2026-12-07 10:00"
                                << "结束日期无效，应为“年-月-日”，如2026-12-07！";
    QTest::newRow("missing") << daily << "" << date << "请指定起始日期！";
    QTest::newRow("backwards") << daily << date << "2026-12-06"
                               << "起始日期不能晚于结束日期！";
    QTest::newRow("over a year") << daily << "2025-12-01" << date << "统计的时间不能超过366天！";
    QTest::newRow("shipper not a number") << "/report/agency/?shipper=x"
                                          << ""
                                          << ""
                                          << "托运人无效！";
    QTest::newRow("truck zero") << "/report/payout/?truck=0"
                                << ""
                                << ""
                                << "请选择货车！";
}

void TestPlatformReports::badParametersAreRefused()
{
    QFETCH(QString, path);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, error);
    std::vector<std::pair<QString, QString>> params;
    if (!from.isEmpty())
        params.emplace_back("from", from);
    if (!to.isEmpty())
        params.emplace_back("to", to);
    const QStringList parts = path.split('?');
    if (parts.size() > 1)
        params.emplace_back(parts.at(1).section('=', 0, 0), parts.at(1).section('=', 1));
    const auto answer = demo->get(parts.at(0) + demo->suffix(params));
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), error);
}

void TestPlatformReports::ledgersAnswerAsRecorded_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("agency")
        << "/report/agency/"
        << QByteArray("{\"data\":[{\"amount\":1235,\"oldest\":\"2026-03-06 09:00:00\",\"shipper_id\":1,"
                      "\"shipper_name\":\"甲商行\",\"trades\":2},{\"amount\":99.9,\"oldest\":\"2026-03-08 09:00:00\","
                      "\"shipper_id\":2,\"shipper_name\":\"乙商行\",\"trades\":1}],\"errors\":\"\",\"success\":true,"
                      "\"total\":1334.9}");
    QTest::newRow("agency of a shipper")
        << "/report/agency/?shipper=1"
        << QByteArray(
               "{\"data\":[{\"agency_status\":0,\"agency_status_text\":\"未付\",\"complete_time\":\"\","
               "\"consignee\":1,\"consignee_linkman\":\"赵强\",\"consignee_name\":\"丙仓库\","
               "\"consignee_tel1\":\"\",\"consignee_tel2\":\"053188886666\","
               "\"create_time\":\"2026-03-06 09:00:00\",\"driver_mobile\":\"13912345678\","
               "\"driver_name\":\"张建国\",\"goods\":\"瓷砖\",\"id\":4,\"is_agency\":true,\"line\":\"临沂—济南\","
               "\"notes\":\"\",\"pay_agency_time\":\"\",\"payout\":12.34,\"payout_status\":0,"
               "\"payout_status_text\":\"未付\",\"revenue\":3000,\"shipper\":1,\"shipper_linkman\":\"李明\","
               "\"shipper_name\":\"甲商行\",\"shipper_tel1\":\"13812345678\",\"shipper_tel2\":\"\","
               "\"start_time\":\"\",\"status\":0,\"status_text\":\"待发车\",\"truck\":1,"
               "\"truck_number\":\"鲁Q10001\",\"value\":0.44,\"version\":2,\"weight\":12.5},{\"agency_status\":0,"
               "\"agency_status_text\":\"未付\",\"complete_time\":\"\",\"consignee\":1,"
               "\"consignee_linkman\":\"赵强\",\"consignee_name\":\"丙仓库\",\"consignee_tel1\":\"\","
               "\"consignee_tel2\":\"053188886666\",\"create_time\":\"2026-03-09 09:00:00\","
               "\"driver_mobile\":\"13912345678\",\"driver_name\":\"张建国\",\"goods\":\"瓷砖\",\"id\":1,"
               "\"is_agency\":true,\"line\":\"临沂—济南\",\"notes\":\"\",\"pay_agency_time\":\"\",\"payout\":800.1,"
               "\"payout_status\":0,\"payout_status_text\":\"未付\",\"revenue\":3000,\"shipper\":1,"
               "\"shipper_linkman\":\"李明\",\"shipper_name\":\"甲商行\",\"shipper_tel1\":\"13812345678\","
               "\"shipper_tel2\":\"\",\"start_time\":\"\",\"status\":0,\"status_text\":\"待发车\",\"truck\":1,"
               "\"truck_number\":\"鲁Q10001\",\"value\":1234.56,\"version\":2,\"weight\":12.5}],\"errors\":\"\","
               "\"page\":1,"
               "\"page_size\":20,\"success\":true,\"total\":1235}");
    QTest::newRow("payout")
        << "/report/payout/"
        << QByteArray("{\"data\":[{\"amount\":1000,\"driver1_name\":\"张建国\",\"trades\":1,\"truck_id\":2,"
                      "\"truck_number\":\"鲁Q10002\"},{\"amount\":812.44,\"driver1_name\":\"张建国\",\"trades\":2,"
                      "\"truck_id\":1,\"truck_number\":\"鲁Q10001\"}],\"errors\":\"\",\"success\":true,"
                      "\"total\":1812.44}");
    QTest::newRow("payout of a truck")
        << "/report/payout/?truck=2"
        << QByteArray(
               "{\"data\":[{\"agency_status\":0,\"agency_status_text\":\"\",\"complete_time\":\"\","
               "\"consignee\":1,\"consignee_linkman\":\"赵强\",\"consignee_name\":\"丙仓库\","
               "\"consignee_tel1\":\"\",\"consignee_tel2\":\"053188886666\","
               "\"create_time\":\"2026-03-07 09:00:00\",\"driver_mobile\":\"13912345678\","
               "\"driver_name\":\"张建国\",\"goods\":\"瓷砖\",\"id\":3,\"is_agency\":false,\"line\":\"临沂—济南\","
               "\"notes\":\"\",\"pay_agency_time\":\"\",\"payout\":1000,\"payout_status\":1,"
               "\"payout_status_text\":\"部分支付\",\"revenue\":3000,\"shipper\":1,\"shipper_linkman\":\"李明\","
               "\"shipper_name\":\"甲商行\",\"shipper_tel1\":\"13812345678\",\"shipper_tel2\":\"\","
               "\"start_time\":\"\",\"status\":0,\"status_text\":\"待发车\",\"truck\":2,"
               "\"truck_number\":\"鲁Q10002\",\"value\":500,\"version\":2,\"weight\":12.5}],\"errors\":\"\",\"page\":1,"
               "\"page_size\":20,\"success\":true,\"total\":1000}");
}

void TestPlatformReports::ledgersAnswerAsRecorded()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    const QStringList parts = path.split('?');
    std::vector<std::pair<QString, QString>> params;
    if (parts.size() > 1)
        params.emplace_back(parts.at(1).section('=', 0, 0), parts.at(1).section('=', 1));
    QCOMPARE(smallStation->get(parts.at(0) + smallStation->suffix(params)).body, body);
}

QTEST_GUILESS_MAIN(TestPlatformReports)
#include "tst_platformreports.moc"
