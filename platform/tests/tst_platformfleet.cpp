// Trucks: the form's submissions, the board's groups and loads, the trips
// that move the trades, deletion, and the separation of stations.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"

#include <QtTest>

class TestPlatformFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void truckFormRoundTrip();
    void truckFormRefusals_data();
    void truckFormRefusals();
    void boardGroupsAndLoads();
    void tripMovesTheTradesAndTheLoads();
    void deletionWaitsForTheOpenTrades();
    void truckListPagesAndFilters();
    void boardAnswersFollowEveryWrite();
    void stationsCannotReachEachOthersRecords();

private:
    PlatformTestServer server;
    std::unique_ptr<PlatformTestClient> demo;
    qint64 shipper = 0;
    qint64 consignee = 0;
};

void TestPlatformFleet::initTestCase()
{
    QVERIFY(server.start());
    demo = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(demo->login("demo"));
    shipper = demo->addShipper(QStringLiteral("车队测试托运人"));
    consignee = demo->addConsignee(QStringLiteral("车队测试收货人"));
    QVERIFY(shipper > 0 && consignee > 0);
}

void TestPlatformFleet::truckFormRoundTrip()
{
    QMap<QString, QString> form = PlatformTestClient::truckForm(QStringLiteral("鲁q12345"));
    form.insert("organ", QString::number(demo->organ()));
    form.insert("driver2_name", QStringLiteral("王海涛"));
    form.insert("driver2_mobile", " 18612345678 ");
    form.insert("notes", QStringLiteral("冷链\n专线"));
    auto answer = demo->post("/truck/add/" + demo->suffix(), form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    const qint64 id = answer.integer("truck_id");
    QVERIFY(id > 0);

    QJsonObject truck = demo->truck(id);
    QCOMPARE(truck.value("number").toString(), QStringLiteral("鲁Q12345")); // plates in upper case
    QCOMPARE(truck.value("status").toInt(), 0);
    QCOMPARE(truck.value("loads").toArray().size(), 0);
    QCOMPARE(truck.value("driving_mode_text").toString(), QStringLiteral("6×4"));
    QCOMPARE(truck.value("tonnage_level").toInt(), 0);
    QCOMPARE(truck.value("tonnage_level_text").toString(), QStringLiteral("重卡"));
    QCOMPARE(truck.value("packingcase_mode_text").toString(), QStringLiteral("厢式"));
    // Sizes are texts, so that the truck form can fill its fields from them.
    QCOMPARE(truck.value("tonnage").toString(), QStringLiteral("20"));
    QCOMPARE(truck.value("packingcase_length").toString(), QStringLiteral("9.6"));
    QCOMPARE(truck.value("packingcase_width").toString(), QStringLiteral("2.3"));
    QCOMPARE(truck.value("packingcase_height").toString(), QStringLiteral("2.5"));
    QCOMPARE(truck.value("driver2_mobile").toString(), QStringLiteral("18612345678"));
    QCOMPARE(truck.value("notes").toString(), QStringLiteral("冷链\n专线"));
    QCOMPARE(truck.value("company_tel").toString(), QStringLiteral("05398123456"));

    // The same plate again is refused; editing the truck under its own plate is not.
    answer = demo->post("/truck/add/" + demo->suffix(), form);
    QCOMPARE(answer.errors(), QStringLiteral("车牌号码鲁Q12345已存在！"));
    form.insert("id", QString::number(id));
    form.insert("tonnage_level", "1");
    form.insert("tonnage", "12.55");
    form.insert("packingcase_length", "");
    answer = demo->post(QStringLiteral("/truck/%1/edit/").arg(id) + demo->suffix(), form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    truck = demo->truck(id);
    QCOMPARE(truck.value("tonnage_level_text").toString(), QStringLiteral("中卡"));
    QCOMPARE(truck.value("tonnage").toString(), QStringLiteral("12.55"));
    QCOMPARE(truck.value("packingcase_length").toString(), QString());
    QCOMPARE(truck.value("number").toString(), QStringLiteral("鲁Q12345"));

    // Editing onto another truck's plate is refused and changes nothing.
    const qint64 other = demo->addTruck(QStringLiteral("鲁Q54321"));
    QVERIFY(other > 0);
    form.insert("number", QStringLiteral("鲁Q54321"));
    QVERIFY(!demo->post(QStringLiteral("/truck/%1/edit/").arg(id) + demo->suffix(), form).success());
    QCOMPARE(demo->truck(id).value("number").toString(), QStringLiteral("鲁Q12345"));
    QCOMPARE(demo->post(QStringLiteral("/truck/%1/edit/").arg(999999) + demo->suffix(), form).errors(),
        QStringLiteral("货车不存在！"));
}

void TestPlatformFleet::truckFormRefusals_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("no plate") << "number"
                              << "  " << QStringLiteral("请输入车牌号码！");
    QTest::newRow("plate too long") << "number" << QStringLiteral("鲁Q123456789")
                                    << QStringLiteral("车牌号码不能超过10个字！");
    QTest::newRow("blank drive (the form's empty item)") << "driving_mode"
                                                         << "0" << QStringLiteral("请选择驱动形式！");
    QTest::newRow("drive not a number") << "driving_mode"
                                        << "x" << QStringLiteral("驱动形式无效！");
    QTest::newRow("unknown class") << "tonnage_level"
                                   << "9" << QStringLiteral("请选择吨位级别！");
    QTest::newRow("no class") << "tonnage_level"
                              << "" << QStringLiteral("请输入吨位级别！");
    QTest::newRow("unknown box type") << "packingcase_mode"
                                      << "-1" << QStringLiteral("货箱形式无效！");
    QTest::newRow("no rated load") << "tonnage"
                                   << "" << QStringLiteral("请输入额定载重！");
    QTest::newRow("rated load text") << "tonnage"
                                     << "abc" << QStringLiteral("额定载重必须是数字！");
    QTest::newRow("rated load infinite") << "tonnage"
                                         << "1e999" << QStringLiteral("额定载重必须是数字！");
    QTest::newRow("rated load nan") << "tonnage"
                                    << "nan" << QStringLiteral("额定载重必须是数字！");
    QTest::newRow("rated load negative") << "tonnage"
                                         << "-3" << QStringLiteral("额定载重超出允许的范围！");
    QTest::newRow("rated load zero") << "tonnage"
                                     << "0" << QStringLiteral("额定载重超出允许的范围！");
    QTest::newRow("box too wide") << "packingcase_width"
                                  << "6" << QStringLiteral("货箱宽度超出允许的范围！");
    QTest::newRow("box too long") << "packingcase_length"
                                  << "100.5" << QStringLiteral("货箱长度超出允许的范围！");
    QTest::newRow("no driver") << "driver1_name"
                               << "" << QStringLiteral("请输入司机1姓名！");
    QTest::newRow("no driver mobile") << "driver1_mobile"
                                      << "" << QStringLiteral("请输入司机1手机号码！");
    QTest::newRow("incomplete mobile") << "driver1_mobile"
                                       << "1391234" << QStringLiteral("司机1手机号码格式不正确！");
    QTest::newRow("mobile with a 2nd digit 2") << "driver1_mobile"
                                               << "12912345678" << QStringLiteral("司机1手机号码格式不正确！");
    QTest::newRow("second mobile letters") << "driver2_mobile"
                                           << "1391234567a" << QStringLiteral("司机2手机号码格式不正确！");
    QTest::newRow("company phone 13 digits") << "company_tel"
                                             << "0539812345678" << QStringLiteral("公司电话格式不正确！");
    QTest::newRow("company phone without area code") << "company_tel"
                                                     << "81234567" << QStringLiteral("公司电话格式不正确！");
    QTest::newRow("notes too long") << "notes" << QString(501, QChar(u'x')) << QStringLiteral("备注不能超过500个字！");
    QTest::newRow("another station") << "organ"
                                     << "999" << QStringLiteral("无权操作其他货站的数据！");
}

void TestPlatformFleet::truckFormRefusals()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const int before = demo->get("/truck/" + demo->suffix()).array().size();
    QMap<QString, QString> form = PlatformTestClient::truckForm(QStringLiteral("鲁Q77777"));
    form.insert(key, value);
    const auto answer = demo->post("/truck/add/" + demo->suffix(), form);
    QCOMPARE(answer.status, 200);
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), message);
    QCOMPARE(demo->get("/truck/" + demo->suffix()).array().size(), before);
}

void TestPlatformFleet::boardGroupsAndLoads()
{
    const QJsonArray all = demo->get("/truck/" + demo->suffix()).array();
    const QJsonArray resting = demo->get("/truck/0/" + demo->suffix()).array();
    const QJsonArray onRoad = demo->get("/truck/1/" + demo->suffix()).array();
    QVERIFY(!resting.isEmpty());
    QVERIFY(!onRoad.isEmpty());
    QCOMPARE(resting.size() + onRoad.size(), all.size());
    for (const QJsonValue& truck : resting)
        QCOMPARE(truck.toObject().value("status").toInt(), 0);
    for (const QJsonValue& truck : onRoad) {
        QCOMPARE(truck.toObject().value("status").toInt(), 1);
        QVERIFY(!truck.toObject().value("loads").toArray().isEmpty());
    }

    // A truck's loads are exactly its trades that are not delivered.
    QHash<qint64, int> open;
    for (const QJsonValue& value : demo->allPages("/trade/")) {
        const QJsonObject trade = value.toObject();
        if (trade.value("status").toInt() < 2)
            ++open[trade.value("truck").toVariant().toLongLong()];
    }
    for (const QJsonValue& value : all) {
        const QJsonObject truck = value.toObject();
        const QJsonArray loads = truck.value("loads").toArray();
        QCOMPARE(loads.size(), open.value(truck.value("id").toVariant().toLongLong()));
        for (const QJsonValue& load : loads) {
            QVERIFY(!load.toObject().value("shipper").toString().isEmpty());
            QVERIFY(!load.toObject().value("goods").toString().isEmpty());
        }
    }
}

void TestPlatformFleet::tripMovesTheTradesAndTheLoads()
{
    const qint64 truck = demo->addTruck(QStringLiteral("鲁Q20001"));
    QVERIFY(truck > 0);
    const QString prefix = QStringLiteral("/truck/%1/").arg(truck);

    auto answer = demo->get(prefix + "work/" + demo->suffix());
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), QStringLiteral("本车尚未配货，不能发车！"));
    QCOMPARE(demo->get(prefix + "sleep/" + demo->suffix()).errors(), QStringLiteral("该车尚未发车！"));

    const qint64 first = demo->addTrade(truck, shipper, consignee, { { "goods", QStringLiteral("石膏板") } });
    const qint64 second
        = demo->addTrade(truck, shipper, consignee, { { "goods", QStringLiteral("水泥") }, { "weight", "7.25" } });
    QVERIFY(first > 0 && second > 0);
    QJsonArray loads = demo->truck(truck).value("loads").toArray();
    QCOMPARE(loads.size(), 2);
    // The board's records carry the rated load and each load's weight.
    QJsonObject onBoard;
    for (const QJsonValue& value : demo->get("/truck/0/" + demo->suffix()).array()) {
        if (value.toObject().value("id").toVariant().toLongLong() == truck)
            onBoard = value.toObject();
    }
    QCOMPARE(onBoard.value("tonnage").toString(), QStringLiteral("20"));
    const QJsonArray boardLoads = onBoard.value("loads").toArray();
    QCOMPARE(boardLoads.size(), 2);
    QCOMPARE(boardLoads.at(0).toObject().value("weight").toDouble(), 12.5);
    QCOMPARE(boardLoads.at(1).toObject().value("weight").toDouble(), 7.25);
    QCOMPARE(loads.at(0).toObject().value("shipper").toString(), QStringLiteral("车队测试托运人"));
    QCOMPARE(loads.at(0).toObject().value("goods").toString(), QStringLiteral("石膏板"));
    QCOMPARE(loads.at(1).toObject().value("goods").toString(), QStringLiteral("水泥"));
    QCOMPARE(demo->trade(first).value("status").toInt(), 0);
    QCOMPARE(demo->trade(first).value("start_time").toString(), QString());

    answer = demo->get(prefix + "work/" + demo->suffix());
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    QCOMPARE(answer.integer("status"), 1);
    QCOMPARE(demo->truck(truck).value("status").toInt(), 1);
    QJsonObject trade = demo->trade(first);
    QCOMPARE(trade.value("status").toInt(), 1);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                .match(trade.value("start_time").toString())
                .hasMatch());
    QCOMPARE(trade.value("complete_time").toString(), QString());
    QCOMPARE(demo->truck(truck).value("loads").toArray().size(), 2);

    // Nothing is packed on a truck on the road, and it cannot leave twice.
    QCOMPARE(
        demo->post("/trade/add/" + demo->suffix(), PlatformTestClient::tradeForm(truck, shipper, consignee)).errors(),
        QStringLiteral("该车已出车，不能配货！"));
    QCOMPARE(demo->get(prefix + "work/" + demo->suffix()).errors(), QStringLiteral("该车已在运输途中！"));

    answer = demo->get(prefix + "sleep/" + demo->suffix());
    QVERIFY(answer.success());
    QCOMPARE(answer.integer("status"), 0);
    QVERIFY(answer.json.contains("status"));
    QCOMPARE(demo->truck(truck).value("status").toInt(), 0);
    QCOMPARE(demo->truck(truck).value("loads").toArray().size(), 0);
    for (qint64 id : { first, second }) {
        trade = demo->trade(id);
        QCOMPARE(trade.value("status").toInt(), 2);
        QVERIFY(!trade.value("complete_time").toString().isEmpty());
        QVERIFY(trade.value("complete_time").toString() >= trade.value("start_time").toString());
    }

    // Back at rest the truck can be packed and sent again; delivered trades stay delivered.
    const qint64 third = demo->addTrade(truck, shipper, consignee);
    QVERIFY(third > 0);
    QVERIFY(demo->get(prefix + "work/" + demo->suffix()).success());
    QCOMPARE(demo->trade(first).value("status").toInt(), 2);
    QCOMPARE(demo->trade(third).value("status").toInt(), 1);
    QVERIFY(demo->get(prefix + "sleep/" + demo->suffix()).success());
}

void TestPlatformFleet::deletionWaitsForTheOpenTrades()
{
    const qint64 truck = demo->addTruck(QStringLiteral("鲁Q30001"));
    const qint64 trade = demo->addTrade(truck, shipper, consignee);
    QVERIFY(trade > 0);
    const QString prefix = QStringLiteral("/truck/%1/").arg(truck);

    auto answer = demo->get(prefix + "delete/" + demo->suffix());
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), QStringLiteral("该车还有1笔未完成的业务，不能删除！"));
    QVERIFY(demo->get(prefix + "work/" + demo->suffix()).success());
    QCOMPARE(
        demo->get(prefix + "delete/" + demo->suffix()).errors(), QStringLiteral("该车还有1笔未完成的业务，不能删除！"));
    QVERIFY(demo->get(prefix + "sleep/" + demo->suffix()).success());

    answer = demo->get(prefix + "delete/" + demo->suffix());
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    QVERIFY(demo->truck(truck).isEmpty());
    QCOMPARE(demo->get(prefix + "delete/" + demo->suffix()).errors(), QStringLiteral("货车不存在！"));
    QCOMPARE(demo->get(prefix + "work/" + demo->suffix()).errors(), QStringLiteral("货车不存在！"));
    QCOMPARE(
        demo->post("/trade/add/" + demo->suffix(), PlatformTestClient::tradeForm(truck, shipper, consignee)).errors(),
        QStringLiteral("货车不存在！"));
    // The delivered trade keeps naming its truck, and the plate is free again.
    QCOMPARE(demo->trade(trade).value("truck_number").toString(), QStringLiteral("鲁Q30001"));
    QVERIFY(demo->addTruck(QStringLiteral("鲁Q30001")) > 0);
}

void TestPlatformFleet::truckListPagesAndFilters()
{
    PlatformTestClient second(server.port());
    QVERIFY(second.login("demo2"));
    const int before = second.get("/truck/" + second.suffix()).array().size();
    for (int i = 0; i < 22; ++i)
        QVERIFY(second.addTruck(QStringLiteral("浙G8%1").arg(i, 4, 10, QLatin1Char('0'))) > 0);
    const int total = before + 22;

    const auto page = [&](const QString& number, const QString& page) {
        return second.get("/truck/" + second.suffix({ { "page", page }, { "number", number } }));
    };
    QJsonArray first = page("", "1").array();
    QCOMPARE(first.size(), 20);
    // Newest first: the last truck added leads the first page.
    QCOMPARE(first.at(0).toObject().value("number").toString(), QStringLiteral("浙G80021"));
    QCOMPARE(page("", "2").array().size(), total - 20);
    QVERIFY(page("", "3").success());
    QCOMPARE(page("", "3").array().size(), 0);
    QCOMPARE(page("", "99999").array().size(), 0);

    // The number filters by substring, whatever the case; the query is decoded.
    QCOMPARE(page(QStringLiteral("g8001"), "1").array().size(), 10);
    QCOMPARE(page(QStringLiteral("浙G80021"), "1").array().size(), 1);
    QCOMPARE(page(QStringLiteral("  80021 "), "1").array().size(), 1);
    QCOMPARE(page(QStringLiteral("鲁"), "1").array().size(), 0);
    QCOMPARE(page(QStringLiteral("%"), "1").array().size(), 0);

    for (const QString& bad : { QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("abc"), QStringLiteral(""),
             QStringLiteral("1.5"), QStringLiteral("99999999999999999999") }) {
        const auto answer = page("", bad);
        QVERIFY(answer.isEnvelope());
        QCOMPARE(answer.errors(), QStringLiteral("页码无效！"));
    }
}

// The board's answers are reused while the database is unchanged; each
// worker keeps its own, so the board is asked often enough to meet them all.
void TestPlatformFleet::boardAnswersFollowEveryWrite()
{
    const qint64 truck = demo->addTruck(QStringLiteral("鲁Q24680"));
    QVERIFY(truck > 0);
    const auto numbersOnTheBoard = [&] {
        QSet<QString> seen;
        for (int i = 0; i < 48; ++i) {
            for (const QString& group : { QString(), QStringLiteral("0/") }) {
                for (const QJsonValue& value : demo->get("/truck/" + group + demo->suffix()).array()) {
                    if (value.toObject().value("id").toVariant().toLongLong() == truck)
                        seen.insert(value.toObject().value("number").toString());
                }
            }
        }
        return seen;
    };
    QCOMPARE(numbersOnTheBoard(), QSet<QString> { QStringLiteral("鲁Q24680") });
    // Changed by another connection, as another process would.
    platform::Sql(server.storage()->connection(), QStringLiteral("UPDATE trucks SET number = ? WHERE id = ?"))
        .bind(QStringLiteral("鲁Q13579"))
        .bind(truck)
        .exec();
    QCOMPARE(numbersOnTheBoard(), QSet<QString> { QStringLiteral("鲁Q13579") });
    // Changed through the platform: by one of the workers' connections.
    QVERIFY(demo->post(QStringLiteral("/truck/%1/edit/").arg(truck) + demo->suffix(),
                    PlatformTestClient::truckForm(QStringLiteral("鲁Q11223")))
                .success());
    QCOMPARE(numbersOnTheBoard(), QSet<QString> { QStringLiteral("鲁Q11223") });
}

void TestPlatformFleet::stationsCannotReachEachOthersRecords()
{
    PlatformTestClient other(server.port());
    QVERIFY(other.login("demo2"));
    const qint64 truck = demo->addTruck(QStringLiteral("鲁Q40001"));
    const qint64 trade = demo->addTrade(truck, shipper, consignee);
    QVERIFY(trade > 0);

    // Lists show only the own station's records.
    QSet<qint64> own;
    for (const QJsonValue& value : demo->get("/truck/" + demo->suffix()).array())
        own.insert(value.toObject().value("id").toVariant().toLongLong());
    for (const QJsonValue& value : other.get("/truck/" + other.suffix()).array())
        QVERIFY(!own.contains(value.toObject().value("id").toVariant().toLongLong()));
    for (const QJsonValue& value : other.allPages("/trade/"))
        QVERIFY(value.toObject().value("id").toVariant().toLongLong() != trade);
    for (const QJsonValue& value : other.allPages("/shipper/"))
        QVERIFY(value.toObject().value("id").toVariant().toLongLong() != shipper);

    // Another station's ids are refused as not found, and nothing changes.
    const QString path = QStringLiteral("/truck/%1/").arg(truck);
    QCOMPARE(other.get(path + "work/" + other.suffix()).errors(), QStringLiteral("货车不存在！"));
    QCOMPARE(other.get(path + "sleep/" + other.suffix()).errors(), QStringLiteral("货车不存在！"));
    QCOMPARE(other.get(path + "delete/" + other.suffix()).errors(), QStringLiteral("货车不存在！"));
    QCOMPARE(other.post(path + "edit/" + other.suffix(), PlatformTestClient::truckForm("X1")).errors(),
        QStringLiteral("货车不存在！"));
    QCOMPARE(other.get(QStringLiteral("/shipper/%1/delete/").arg(shipper) + other.suffix()).errors(),
        QStringLiteral("托运人不存在！"));
    QCOMPARE(other
                 .post(QStringLiteral("/consignee/%1/edit/").arg(consignee) + other.suffix(),
                     PlatformTestClient::consigneeForm("X"))
                 .errors(),
        QStringLiteral("收货人不存在！"));
    QCOMPARE(other
                 .post(QStringLiteral("/trade/%1/status/change/").arg(trade) + other.suffix(),
                     { { "payout_status", "2" }, { "agency_status", "1" } })
                 .errors(),
        QStringLiteral("业务不存在！"));
    QCOMPARE(other
                 .post(QStringLiteral("/trade/%1/edit/").arg(trade) + other.suffix(),
                     PlatformTestClient::tradeForm(truck, shipper, consignee))
                 .errors(),
        QStringLiteral("业务不存在！"));

    // A trade of the other station may not use this station's records either.
    const QJsonObject otherTruck = other.get("/truck/0/" + other.suffix()).array().first().toObject();
    const qint64 otherShipper = other.addShipper(QStringLiteral("义乌测试托运人"));
    const qint64 otherConsignee = other.addConsignee(QStringLiteral("义乌测试收货人"));
    const qint64 otherTruckId = otherTruck.value("id").toVariant().toLongLong();
    QCOMPARE(
        other.post("/trade/add/" + other.suffix(), PlatformTestClient::tradeForm(truck, otherShipper, otherConsignee))
            .errors(),
        QStringLiteral("货车不存在！"));
    QCOMPARE(
        other.post("/trade/add/" + other.suffix(), PlatformTestClient::tradeForm(otherTruckId, shipper, otherConsignee))
            .errors(),
        QStringLiteral("托运人不存在！"));
    QCOMPARE(
        other.post("/trade/add/" + other.suffix(), PlatformTestClient::tradeForm(otherTruckId, otherShipper, consignee))
            .errors(),
        QStringLiteral("收货人不存在！"));

    const QJsonObject mine = demo->trade(trade);
    QCOMPARE(mine.value("status").toInt(), 0);
    QCOMPARE(mine.value("payout_status").toInt(), 0);
    QCOMPARE(demo->truck(truck).value("number").toString(), QStringLiteral("鲁Q40001"));
}

QTEST_GUILESS_MAIN(TestPlatformFleet)
#include "tst_platformfleet.moc"
