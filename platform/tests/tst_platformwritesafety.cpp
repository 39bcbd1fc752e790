// Two desks of one station writing the same records: a save made from an
// older copy of a record is refused and changes nothing, and a write sent
// again under its request id is answered without being done twice.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"
#include "storage.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtTest>

#include <functional>

class TestPlatformWriteSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void staleWriteIsRefused_data();
    void staleWriteIsRefused();
    void tripsMoveTheTruckAndItsLoads();
    void requestIdAnswersOnce_data();
    void requestIdAnswersOnce();
    void refusedWriteIsTriedAfresh();
    void requestIdNamesOneAction_data();
    void requestIdNamesOneAction();
    void answersAreKeptForADay();

private:
    // One write of a record of some kind, as the demo account and the clerk
    // send it: the path (below "/api", without the session) and the form,
    // made different by `variant`; and the record as the lists show it.
    struct Kind
    {
        std::function<QString()> path;
        std::function<QMap<QString, QString>(int variant)> form;
        std::function<QJsonObject(PlatformTestClient&)> read;
        bool hasHistory = true;
    };
    Kind kind(const QString& name);
    qint64 historyEntries();
    qint64 tradesOfTheStation();

    PlatformTestServer server;
    std::unique_ptr<PlatformTestClient> demo;
    std::unique_ptr<PlatformTestClient> clerk;
    qint64 truck = 0;
    qint64 shipper = 0;
    qint64 consignee = 0;
    qint64 trade = 0;
};

void TestPlatformWriteSafety::initTestCase()
{
    QVERIFY(server.start());
    QVERIFY(server.addClerk("demo", "desk2", QStringLiteral("李四")) > 0);
    demo = std::make_unique<PlatformTestClient>(server.port());
    clerk = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(demo->login("demo"));
    QVERIFY(clerk->login("desk2"));
    QCOMPARE(clerk->organ(), demo->organ());
    truck = demo->addTruck(QStringLiteral("鲁AD1234"));
    shipper = demo->addShipper(QStringLiteral("两桌测试托运公司"));
    consignee = demo->addConsignee(QStringLiteral("两桌测试收货公司"));
    trade = demo->addTrade(truck, shipper, consignee, { { "is_agency", "1" } });
    QVERIFY(truck > 0 && shipper > 0 && consignee > 0 && trade > 0);
}

TestPlatformWriteSafety::Kind TestPlatformWriteSafety::kind(const QString& name)
{
    const auto find = [](const QString& list, qint64 id) {
        return [list, id](PlatformTestClient& client) {
            for (const QJsonValue& value : client.allPages(list)) {
                if (value["id"].toVariant().toLongLong() == id)
                    return value.toObject();
            }
            return QJsonObject();
        };
    };
    const auto with = [](QMap<QString, QString> form, qint64 id, const QString& key, const QString& value) {
        form.insert("id", QString::number(id));
        form.insert(key, value);
        return form;
    };
    if (name == "truck")
        return { [=] { return QStringLiteral("/truck/%1/edit/").arg(truck); },
            [=](int variant) {
                return with(PlatformTestClient::truckForm(QStringLiteral("鲁AD1234")), truck, "tonnage",
                    QString::number(30 + variant));
            },
            [=](PlatformTestClient& client) { return client.truck(truck); } };
    if (name == "shipper")
        return { [=] { return QStringLiteral("/shipper/%1/edit/").arg(shipper); },
            [=](int variant) {
                return with(PlatformTestClient::shipperForm(QStringLiteral("两桌测试托运公司")), shipper, "linkman",
                    QStringLiteral("联系人%1").arg(variant));
            },
            find("/shipper/", shipper) };
    if (name == "consignee")
        return { [=] { return QStringLiteral("/consignee/%1/edit/").arg(consignee); },
            [=](int variant) {
                return with(PlatformTestClient::consigneeForm(QStringLiteral("两桌测试收货公司")), consignee, "notes",
                    QStringLiteral("备注%1").arg(variant));
            },
            find("/consignee/", consignee) };
    if (name == "trade")
        return { [=] { return QStringLiteral("/trade/%1/edit/").arg(trade); },
            [=](int variant) {
                QMap<QString, QString> form = with(PlatformTestClient::tradeForm(truck, shipper, consignee), trade,
                    "payout", QString::number(800 + variant));
                form.insert("is_agency", "1");
                return form;
            },
            [=](PlatformTestClient& client) { return client.trade(trade); } };
    if (name == "settlement")
        // The clerk marks the cash on delivery paid, the other desk the driver.
        return { [=] { return QStringLiteral("/trade/%1/status/change/").arg(trade); },
            [](int variant) {
                return QMap<QString, QString> { { "payout_status", variant == 1 ? "4294967295" : "2" },
                    { "agency_status", variant == 1 ? "1" : "4294967295" } };
            },
            [=](PlatformTestClient& client) { return client.trade(trade); } };
    return { [] { return QStringLiteral("/mine/profile/edit/"); },
        [](int variant) {
            return QMap<QString, QString> { { "address", QStringLiteral("地址%1").arg(variant) } };
        },
        [](PlatformTestClient& client) { return client.get("/mine/profile/" + client.suffix()).data(); }, false };
}

qint64 TestPlatformWriteSafety::historyEntries()
{
    return platform::Sql::scalar(
        server.storage()->connection(), "SELECT COUNT(*) FROM history WHERE organ = ?", { demo->organ() })
        .toLongLong();
}

qint64 TestPlatformWriteSafety::tradesOfTheStation()
{
    return platform::Sql::scalar(
        server.storage()->connection(), "SELECT COUNT(*) FROM trades WHERE organ = ?", { demo->organ() })
        .toLongLong();
}

void TestPlatformWriteSafety::staleWriteIsRefused_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : { "truck", "shipper", "consignee", "trade", "settlement", "profile" })
        QTest::newRow(name) << QString(name);
}

void TestPlatformWriteSafety::staleWriteIsRefused()
{
    QFETCH(QString, name);
    const Kind k = kind(name);
    // Both desks open the record.
    const QJsonObject opened = k.read(*demo);
    const qint64 version = opened["version"].toVariant().toLongLong();
    QVERIFY(version > 0);
    QCOMPARE(k.read(*clerk)["version"].toVariant().toLongLong(), version);

    // The clerk saves first, on the version both opened.
    QMap<QString, QString> form = k.form(1);
    form.insert("version", QString::number(version));
    const auto saved = clerk->post(k.path() + clerk->suffix(), form);
    QVERIFY2(saved.success(), qPrintable(saved.errors()));
    QCOMPARE(saved.integer("version"), version + 1);
    const QJsonObject stored = k.read(*demo);
    QCOMPARE(stored["version"].toVariant().toLongLong(), version + 1);

    // The other desk's save from the same copy is refused, and says who
    // changed the record and when.
    form = k.form(2);
    form.insert("version", QString::number(version));
    const auto stale = demo->post(k.path() + demo->suffix(), form);
    QVERIFY(!stale.success());
    QCOMPARE(stale.json["stale"].toBool(), true);
    QCOMPARE(stale.integer("version"), version + 1);
    const QString names = k.hasHistory ? QStringLiteral("（李四，\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d）") : QString();
    QVERIFY2(
        QRegularExpression("^该记录已被他人修改" + names + "，请重新打开后再保存！$").match(stale.errors()).hasMatch(),
        qPrintable(stale.errors()));
    // It carries the record as it is now, and the record is unchanged.
    QCOMPARE(stale.data(), stored);
    QCOMPARE(k.read(*demo), stored);

    // Saved again on the version it was told, the write goes through; and
    // one without a version is done as before.
    form.insert("version", QString::number(version + 1));
    const auto again = demo->post(k.path() + demo->suffix(), form);
    QVERIFY2(again.success(), qPrintable(again.errors()));
    QCOMPARE(again.integer("version"), version + 2);
    const auto unversioned = clerk->post(k.path() + clerk->suffix(), k.form(3));
    QVERIFY2(unversioned.success(), qPrintable(unversioned.errors()));
    QCOMPARE(k.read(*demo)["version"].toVariant().toLongLong(), version + 3);
}

void TestPlatformWriteSafety::tripsMoveTheTruckAndItsLoads()
{
    const qint64 road = demo->addTruck(QStringLiteral("鲁AD5678"));
    const qint64 load = demo->addTrade(road, shipper, consignee);
    QVERIFY(road > 0 && load > 0);
    const auto versions
        = [&] { return qMakePair(demo->truck(road)["version"].toInt(), demo->trade(load)["version"].toInt()); };
    QCOMPARE(versions(), qMakePair(1, 1));
    const auto work = demo->get(QStringLiteral("/truck/%1/work/").arg(road) + demo->suffix());
    QVERIFY2(work.success(), qPrintable(work.errors()));
    QCOMPARE(work.integer("version"), 2);
    QCOMPARE(versions(), qMakePair(2, 2));
    // A trip that started from a stale copy of the board is refused.
    const auto stale = clerk->get(QStringLiteral("/truck/%1/sleep/").arg(road) + clerk->suffix({ { "version", "1" } }));
    QVERIFY(stale.json["stale"].toBool());
    QVERIFY(demo->get(QStringLiteral("/truck/%1/sleep/").arg(road) + demo->suffix()).success());
    QCOMPARE(versions(), qMakePair(3, 3));
}

void TestPlatformWriteSafety::requestIdAnswersOnce_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<bool>("addsATrade");
    QTest::newRow("packing") << "POST"
                             << "/trade/add/" << QStringLiteral("鲁AE0001") << true;
    QTest::newRow("settlement") << "POST"
                                << "/trade/%2/status/change/" << QStringLiteral("鲁AE0002") << false;
    QTest::newRow("departure") << "GET"
                               << "/truck/%1/work/" << QStringLiteral("鲁AE0003") << false;
    QTest::newRow("new shipper") << "POST"
                                 << "/shipper/add/" << QStringLiteral("鲁AE0004") << false;
}

void TestPlatformWriteSafety::requestIdAnswersOnce()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QString, plate);
    QFETCH(bool, addsATrade);
    const qint64 resting = demo->addTruck(plate);
    const qint64 load = demo->addTrade(resting, shipper, consignee);
    QVERIFY(resting > 0 && load > 0);
    QString target = path;
    target.replace("%1", QString::number(resting)).replace("%2", QString::number(load));
    QMap<QString, QString> form = PlatformTestClient::tradeForm(resting, shipper, consignee);
    if (target.startsWith("/shipper"))
        form = PlatformTestClient::shipperForm(QStringLiteral("重发测试托运人"));
    if (target.contains("status"))
        form = { { "payout_status", "2" }, { "agency_status", "4294967295" } };
    // One id per row: the plate's digits.
    const QString id = QStringLiteral("%1").arg(plate.right(4), 32, QLatin1Char('0'));
    const auto send = [&] {
        if (method == "GET")
            return demo->get(target + demo->suffix({ { "request_id", id } }));
        QMap<QString, QString> withId = form;
        withId.insert("request_id", id);
        return demo->post(target + demo->suffix(), withId);
    };

    const qint64 trades = tradesOfTheStation();
    const auto first = send();
    QVERIFY2(first.success(), qPrintable(first.errors()));
    const qint64 entries = historyEntries();
    const auto second = send();
    QCOMPARE(second.body, first.body);
    QCOMPARE(historyEntries(), entries);
    QCOMPARE(tradesOfTheStation(), trades + (addsATrade ? 1 : 0));
}

void TestPlatformWriteSafety::refusedWriteIsTriedAfresh()
{
    // Packed on a truck that is on the road: refused, and nothing kept.
    const qint64 road = demo->addTruck(QStringLiteral("鲁AD9012"));
    QVERIFY(demo->addTrade(road, shipper, consignee) > 0);
    QVERIFY(demo->get(QStringLiteral("/truck/%1/work/").arg(road) + demo->suffix()).success());
    QMap<QString, QString> form = PlatformTestClient::tradeForm(road, shipper, consignee);
    form.insert("request_id", "fedcba9876543210fedcba9876543210");
    const auto refused = demo->post("/trade/add/" + demo->suffix(), form);
    QCOMPARE(refused.errors(), QStringLiteral("该车已出车，不能配货！"));

    // Back at the station, the same request is done.
    QVERIFY(demo->get(QStringLiteral("/truck/%1/sleep/").arg(road) + demo->suffix()).success());
    const auto done = demo->post("/trade/add/" + demo->suffix(), form);
    QVERIFY2(done.success(), qPrintable(done.errors()));
    QVERIFY(done.integer("trade_id") > 0);
}

void TestPlatformWriteSafety::requestIdNamesOneAction_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("errors");
    QTest::newRow("not hex") << "0123456789abcdef0123456789abcdeg" << QStringLiteral("请求编号无效！");
    QTest::newRow("upper case") << "0123456789ABCDEF0123456789ABCDEF" << QStringLiteral("请求编号无效！");
    QTest::newRow("too short") << "0123456789abcdef" << QStringLiteral("请求编号无效！");
    QTest::newRow("used for another request")
        << "00000000000000000000000000000001" << QStringLiteral("请求编号已用于其他操作！");
}

void TestPlatformWriteSafety::requestIdNamesOneAction()
{
    QFETCH(QString, id);
    QFETCH(QString, errors);
    QMap<QString, QString> shipperForm = PlatformTestClient::shipperForm(QStringLiteral("编号测试托运人"));
    shipperForm.insert("request_id", "00000000000000000000000000000001");
    demo->post("/shipper/add/" + demo->suffix(), shipperForm);

    QMap<QString, QString> form = PlatformTestClient::consigneeForm(QStringLiteral("编号测试收货人"));
    form.insert("request_id", id);
    const qint64 entries = historyEntries();
    const auto answer = demo->post("/consignee/add/" + demo->suffix(), form);
    QCOMPARE(answer.errors(), errors);
    QCOMPARE(historyEntries(), entries);
}

void TestPlatformWriteSafety::answersAreKeptForADay()
{
    // An answer older than a day is gone: the id is a new request.
    const QString id = "abcdefabcdefabcdefabcdefabcdefab";
    platform::Sql keep(server.storage()->connection(),
        "INSERT INTO request_answers (organ, request_id, path, status, body, created) VALUES (?, ?, ?, ?, ?, ?)");
    keep.bind(demo->organ())
        .bind(id)
        .bind("POST shipper/add")
        .bind(200)
        .bind("{\"errors\":\"\",\"shipper_id\":1,\"success\":true}")
        .bind(QDateTime::currentMSecsSinceEpoch() - 25 * 3600 * 1000LL)
        .exec();
    QMap<QString, QString> form = PlatformTestClient::shipperForm(QStringLiteral("隔天重发测试托运人"));
    form.insert("request_id", id);
    const auto answer = demo->post("/shipper/add/" + demo->suffix(), form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    QVERIFY(answer.integer("shipper_id") > 1);
    QCOMPARE(demo->post("/shipper/add/" + demo->suffix(), form).body, answer.body);
}

QTEST_GUILESS_MAIN(TestPlatformWriteSafety)
#include "tst_platformwritesafety.moc"
