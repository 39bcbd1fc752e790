// The book of shippers and consignees, and trades: packing, the paged list,
// corrections and settlement.

#include "platformtestclient.h"
#include "platformtestserver.h"
#include "sql.h"

#include <QtTest>

class TestPlatformRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void partyRoundTrip_data();
    void partyRoundTrip();
    void partyRefusals_data();
    void partyRefusals();
    void partyNamesFilterBySubstringAndPage();
    void partyDeletionWaitsForTheOpenTrades();
    void tradeAsThePackingScreenSendsIt();
    void tradeRefusals_data();
    void tradeRefusals();
    void tradeListIsNewestFirstInPagesOf20();
    void pagesFollowTheFullOrderAfterChanges_data();
    void pagesFollowTheFullOrderAfterChanges();
    void settlementChangesTheStatesAndTheirTexts();
    void tradeCorrections();
    void recordsCarryWhatThePaperNeeds();

private:
    PlatformTestServer server;
    std::unique_ptr<PlatformTestClient> demo;
    qint64 truck = 0;
    qint64 shipper = 0;
    qint64 consignee = 0;
};

void TestPlatformRecords::initTestCase()
{
    QVERIFY(server.start());
    demo = std::make_unique<PlatformTestClient>(server.port());
    QVERIFY(demo->login("demo"));
    truck = demo->addTruck(QStringLiteral("鲁Q66666"));
    shipper = demo->addShipper(QStringLiteral("兰山测试建材有限公司"));
    consignee = demo->addConsignee(QStringLiteral("济南测试商贸有限公司"));
    QVERIFY(truck > 0 && shipper > 0 && consignee > 0);
}

void TestPlatformRecords::partyRoundTrip_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("shipper") << "shipper";
    QTest::newRow("consignee") << "consignee";
}

void TestPlatformRecords::partyRoundTrip()
{
    QFETCH(QString, kind);
    const bool isShipper = kind == QLatin1String("shipper");
    const QString idKey = kind + "_id";
    QMap<QString, QString> form = isShipper ? PlatformTestClient::shipperForm(QStringLiteral("  郯城往返测试公司 "))
                                            : PlatformTestClient::consigneeForm(QStringLiteral("  郯城往返测试公司 "));
    form.insert("organ", QString::number(demo->organ()));
    form.insert("notes", QStringLiteral("周末不收货"));
    auto answer = demo->post("/" + kind + "/add/" + demo->suffix(), form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    const qint64 id = answer.integer(idKey);
    QVERIFY(id > 0);

    const auto find = [&]() {
        for (const QJsonValue& value :
            demo->get("/" + kind + "/" + demo->suffix({ { "page", "1" }, { "name", "" } })).array()) {
            if (value.toObject().value("id").toVariant().toLongLong() == id)
                return value.toObject();
        }
        return QJsonObject();
    };
    QJsonObject record = find();
    QCOMPARE(record.value("name").toString(), QStringLiteral("郯城往返测试公司"));
    QCOMPARE(record.value("notes").toString(), QStringLiteral("周末不收货"));
    QCOMPARE(record.value("address").toString(), form.value("address"));
    QCOMPARE(record.value("linkman").toString(), form.value("linkman"));
    QCOMPARE(record.value("tel1").toString(), form.value("tel1"));
    QCOMPARE(record.value("tel2").toString(), form.value("tel2"));
    QCOMPARE(record.contains("industry"), isShipper);

    // The same name twice is refused; an edit under its own name is not.
    QVERIFY(!demo->post("/" + kind + "/add/" + demo->suffix(), form).success());
    form.insert("id", QString::number(id));
    form.insert("tel1", "05391234567");
    answer = demo->post(QStringLiteral("/%1/%2/edit/").arg(kind).arg(id) + demo->suffix(), form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    QCOMPARE(answer.integer(idKey), id);
    QCOMPARE(find().value("tel1").toString(), QStringLiteral("05391234567"));
}

void TestPlatformRecords::partyRefusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << "shipper"
                             << "name"
                             << " " << QStringLiteral("请输入名称！");
    QTest::newRow("name too long") << "consignee"
                                   << "name" << QString(201, QChar(u'名')) << QStringLiteral("名称不能超过200个字！");
    QTest::newRow("no address") << "consignee"
                                << "address"
                                << "" << QStringLiteral("请输入地址！");
    QTest::newRow("no industry") << "shipper"
                                 << "industry"
                                 << "" << QStringLiteral("请输入行业！");
    QTest::newRow("no contact") << "shipper"
                                << "linkman"
                                << "" << QStringLiteral("请输入联系人姓名！");
    QTest::newRow("phone letters") << "shipper"
                                   << "tel1"
                                   << "0539abc" << QStringLiteral("联系电话1格式不正确！");
    QTest::newRow("phone too short") << "consignee"
                                     << "tel2"
                                     << "123456" << QStringLiteral("联系电话2格式不正确！");
    // The client's rule: a mobile, or 0 with an area code and 7 or 8 digits.
    QTest::newRow("nine-digit landline") << "shipper"
                                         << "tel1"
                                         << "053912345" << QStringLiteral("联系电话1格式不正确！");
    QTest::newRow("seven digits without area code") << "consignee"
                                                    << "tel2"
                                                    << "8123456" << QStringLiteral("联系电话2格式不正确！");
    QTest::newRow("eleven digits, not a mobile") << "shipper"
                                                 << "tel2"
                                                 << "12345678901" << QStringLiteral("联系电话2格式不正确！");
    QTest::newRow("another station") << "consignee"
                                     << "organ"
                                     << "12345" << QStringLiteral("无权操作其他货站的数据！");
    QTest::newRow("duplicate name") << "shipper"
                                    << "name" << QStringLiteral("兰山测试建材有限公司")
                                    << QStringLiteral("名称为“兰山测试建材有限公司”的托运人已存在！");
}

void TestPlatformRecords::partyRefusals()
{
    QFETCH(QString, kind);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, message);
    QMap<QString, QString> form = kind == QLatin1String("shipper")
        ? PlatformTestClient::shipperForm(QStringLiteral("拒绝测试"))
        : PlatformTestClient::consigneeForm(QStringLiteral("拒绝测试"));
    form.insert(key, value);
    const auto answer = demo->post("/" + kind + "/add/" + demo->suffix(), form);
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), message);

    // At least one phone number is needed.
    form = PlatformTestClient::consigneeForm(QStringLiteral("无电话"));
    form.insert("tel1", "");
    form.insert("tel2", " ");
    QCOMPARE(demo->post("/consignee/add/" + demo->suffix(), form).errors(), QStringLiteral("请至少输入一个联系电话！"));
}

void TestPlatformRecords::partyNamesFilterBySubstringAndPage()
{
    PlatformTestClient second(server.port());
    QVERIFY(second.login("demo2"));
    const QStringList names = { QStringLiteral("过滤甲商行"), QStringLiteral("过滤乙商行"),
        QStringLiteral("'; DROP TABLE shippers; --"), QStringLiteral("50% 折扣_店"), QStringLiteral("A&B 贸易") };
    for (const QString& name : names)
        QVERIFY(second.addShipper(name) > 0);

    const auto search = [&](const QString& name, const QString& page = "1") {
        QStringList found;
        for (const QJsonValue& value :
            second.get("/shipper/" + second.suffix({ { "page", page }, { "name", name } })).array())
            found.append(value.toObject().value("name").toString());
        return found;
    };
    QCOMPARE(
        search(QStringLiteral("过滤")), QStringList({ QStringLiteral("过滤乙商行"), QStringLiteral("过滤甲商行") }));
    QCOMPARE(search(QStringLiteral("乙")), QStringList({ QStringLiteral("过滤乙商行") }));
    QCOMPARE(search(QStringLiteral("DROP TABLE")), QStringList({ names.at(2) }));
    // LIKE wildcards are plain characters here.
    QCOMPARE(search(QStringLiteral("%")), QStringList({ names.at(3) }));
    QCOMPARE(search(QStringLiteral("_")), QStringList({ names.at(3) }));
    QCOMPARE(search(QStringLiteral("A&B")), QStringList({ names.at(4) }));
    QCOMPARE(search(QStringLiteral("不存在的名字")), QStringList());
    // Each station searches only its own book.
    QCOMPARE(
        demo->get("/shipper/" + demo->suffix({ { "page", "1" }, { "name", QStringLiteral("过滤") } })).array().size(),
        0);

    // Pages of 20, newest first, that together hold every record once.
    QCOMPARE(search(QString()).size(), 15); // 10 seeded + 5
    for (int i = 0; i < 10; ++i)
        QVERIFY(second.addConsignee(QStringLiteral("分页收货人%1").arg(i)) > 0);
    const QJsonArray all = second.allPages("/consignee/");
    QCOMPARE(all.size(), 20);
    QCOMPARE(all.at(0).toObject().value("name").toString(), QStringLiteral("分页收货人9"));
    for (int i = 0; i < 12; ++i)
        QVERIFY(second.addConsignee(QStringLiteral("分页收货人第二批%1").arg(i)) > 0);
    QCOMPARE(second.get("/consignee/" + second.suffix({ { "page", "1" } })).array().size(), 20);
    QCOMPARE(second.get("/consignee/" + second.suffix({ { "page", "2" } })).array().size(), 12);
    QSet<qint64> ids;
    for (const QJsonValue& value : second.allPages("/consignee/"))
        ids.insert(value.toObject().value("id").toVariant().toLongLong());
    QCOMPARE(ids.size(), 32);
}

void TestPlatformRecords::partyDeletionWaitsForTheOpenTrades()
{
    const qint64 ownShipper = demo->addShipper(QStringLiteral("删除测试托运人"));
    const qint64 ownConsignee = demo->addConsignee(QStringLiteral("删除测试收货人"));
    const qint64 ownTruck = demo->addTruck(QStringLiteral("鲁Q50505"));
    const qint64 trade = demo->addTrade(ownTruck, ownShipper, ownConsignee);
    QVERIFY(trade > 0);

    QCOMPARE(demo->get(QStringLiteral("/shipper/%1/delete/").arg(ownShipper) + demo->suffix()).errors(),
        QStringLiteral("该托运人还有1笔未完成的业务，不能删除！"));
    QCOMPARE(demo->get(QStringLiteral("/consignee/%1/delete/").arg(ownConsignee) + demo->suffix()).errors(),
        QStringLiteral("该收货人还有1笔未完成的业务，不能删除！"));
    QVERIFY(demo->get(QStringLiteral("/truck/%1/work/").arg(ownTruck) + demo->suffix()).success());
    QVERIFY(demo->get(QStringLiteral("/truck/%1/sleep/").arg(ownTruck) + demo->suffix()).success());

    QVERIFY(demo->get(QStringLiteral("/shipper/%1/delete/").arg(ownShipper) + demo->suffix()).success());
    QVERIFY(demo->get(QStringLiteral("/consignee/%1/delete/").arg(ownConsignee) + demo->suffix()).success());
    QCOMPARE(demo->get(QStringLiteral("/shipper/%1/delete/").arg(ownShipper) + demo->suffix()).errors(),
        QStringLiteral("托运人不存在！"));
    QCOMPARE(demo->get("/shipper/" + demo->suffix({ { "page", "1" }, { "name", QStringLiteral("删除测试") } }))
                 .array()
                 .size(),
        0);
    const QJsonObject delivered = demo->trade(trade);
    QCOMPARE(delivered.value("shipper_name").toString(), QStringLiteral("删除测试托运人"));
    QCOMPARE(delivered.value("consignee_name").toString(), QStringLiteral("删除测试收货人"));
    QCOMPARE(demo->post("/trade/add/" + demo->suffix(), PlatformTestClient::tradeForm(truck, ownShipper, consignee))
                 .errors(),
        QStringLiteral("托运人不存在！"));
}

void TestPlatformRecords::tradeAsThePackingScreenSendsIt()
{
    // Line and weight as typed (not trimmed), the blank is-agency choice, and
    // the optional amounts left empty.
    QMap<QString, QString> form = PlatformTestClient::tradeForm(truck, shipper, consignee);
    form.insert("organ", QString::number(demo->organ()));
    form.insert("line", QStringLiteral(" 临沂—济南 "));
    form.insert("weight", " 12.5 ");
    form.insert("is_agency", "-1");
    form.insert("value", "");
    form.insert("revenue", "");
    form.insert("payout", "");
    const auto answer = demo->post("/trade/add/" + demo->suffix(), form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    const QJsonObject trade = demo->trade(answer.integer("trade_id"));
    QCOMPARE(trade.value("truck_number").toString(), QStringLiteral("鲁Q66666"));
    QCOMPARE(trade.value("shipper_name").toString(), QStringLiteral("兰山测试建材有限公司"));
    QCOMPARE(trade.value("consignee_name").toString(), QStringLiteral("济南测试商贸有限公司"));
    QCOMPARE(trade.value("line").toString(), QStringLiteral("临沂—济南"));
    QCOMPARE(trade.value("goods").toString(), QStringLiteral("瓷砖"));
    QCOMPARE(trade.value("weight").toDouble(), 12.5);
    QCOMPARE(trade.value("value").toDouble(), 0.0);
    QCOMPARE(trade.value("is_agency").toBool(), false);
    QCOMPARE(trade.value("status").toInt(), 0);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("未付"));
    QCOMPARE(trade.value("agency_status_text").toString(), QString());
    QVERIFY(!trade.value("create_time").toString().isEmpty());
    QCOMPARE(trade.value("start_time").toString(), QString());
    QCOMPARE(trade.value("complete_time").toString(), QString());
    QCOMPARE(trade.value("pay_agency_time").toString(), QString());
}

void TestPlatformRecords::tradeRefusals_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("no truck") << "truck"
                              << "0" << QStringLiteral("请选择货车！");
    QTest::newRow("truck not a number") << "truck"
                                        << "abc" << QStringLiteral("货车无效！");
    QTest::newRow("unknown truck") << "truck"
                                   << "987654" << QStringLiteral("货车不存在！");
    QTest::newRow("no shipper") << "shipper"
                                << "" << QStringLiteral("请选择托运人！");
    QTest::newRow("unknown consignee") << "consignee"
                                       << "987654" << QStringLiteral("收货人不存在！");
    QTest::newRow("no line") << "line"
                             << "  " << QStringLiteral("请输入线路！");
    QTest::newRow("no goods") << "goods"
                              << "" << QStringLiteral("请输入货物！");
    QTest::newRow("no weight") << "weight"
                               << " " << QStringLiteral("请输入重量！");
    QTest::newRow("weight text") << "weight" << QStringLiteral("十吨") << QStringLiteral("重量必须是数字！");
    QTest::newRow("weight 0") << "weight"
                              << "0.0001" << QStringLiteral("重量必须大于0！");
    QTest::newRow("weight negative") << "weight"
                                     << "-100" << QStringLiteral("重量超出允许的范围！");
    QTest::newRow("value huge") << "value"
                                << "1000000000000000" << QStringLiteral("价值超出允许的范围！");
    QTest::newRow("revenue with an exponent") << "revenue"
                                              << "1e3" << QStringLiteral("收入必须是数字！");
    QTest::newRow("payout text") << "payout"
                                 << "12,5" << QStringLiteral("支出必须是数字！");
    QTest::newRow("is_agency 2") << "is_agency"
                                 << "2" << QStringLiteral("是否代收款无效！");
    QTest::newRow("is_agency text") << "is_agency"
                                    << "yes" << QStringLiteral("是否代收款无效！");
}

void TestPlatformRecords::tradeRefusals()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const int before = demo->truck(truck).value("loads").toArray().size();
    QMap<QString, QString> form = PlatformTestClient::tradeForm(truck, shipper, consignee);
    form.insert(key, value);
    const auto answer = demo->post("/trade/add/" + demo->suffix(), form);
    QVERIFY(!answer.success());
    QCOMPARE(answer.errors(), message);
    QCOMPARE(demo->truck(truck).value("loads").toArray().size(), before);
}

void TestPlatformRecords::tradeListIsNewestFirstInPagesOf20()
{
    const int before = demo->allPages("/trade/").size();
    QList<qint64> added;
    for (int i = 0; i < 25; ++i)
        added.append(demo->addTrade(truck, shipper, consignee, { { "goods", QStringLiteral("货物%1").arg(i) } }));
    QVERIFY(!added.contains(-1));

    const QJsonArray first = demo->get("/trade/" + demo->suffix({ { "page", "1" } })).array();
    QCOMPARE(first.size(), 20);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(first.at(i).toObject().value("id").toVariant().toLongLong(), added.at(24 - i));
    const QJsonArray second = demo->get("/trade/" + demo->suffix({ { "page", "2" } })).array();
    QCOMPARE(second.size(), 20);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(second.at(i).toObject().value("id").toVariant().toLongLong(), added.at(4 - i));

    const QJsonArray all = demo->allPages("/trade/");
    QCOMPARE(all.size(), before + 25);
    QSet<qint64> ids;
    QString previous = QStringLiteral("9999");
    for (const QJsonValue& value : all) {
        ids.insert(value.toObject().value("id").toVariant().toLongLong());
        const QString created = value.toObject().value("create_time").toString();
        QVERIFY2(created <= previous, qPrintable(created + " after " + previous));
        previous = created;
    }
    QCOMPARE(ids.size(), all.size());
    // Without a page the first page is meant.
    QCOMPARE(demo->get("/trade/" + demo->suffix()).array(), first);
}

void TestPlatformRecords::pagesFollowTheFullOrderAfterChanges_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("order"); // the list's order over the whole table
    QTest::newRow("trades") << "trades"
                            << "create_time DESC, id DESC";
    QTest::newRow("shippers") << "shippers"
                              << "id DESC";
    QTest::newRow("consignees") << "consignees"
                                << "id DESC";
}

// The pages come from ranks that the database keeps; whatever happens to the
// records, page after page has to give what one ordered query over the whole
// table gives.
void TestPlatformRecords::pagesFollowTheFullOrderAfterChanges()
{
    QFETCH(QString, table);
    QFETCH(QString, order);
    const QSqlDatabase db = server.storage()->connection();
    const auto ids = [&](const QString& statement) {
        QList<qint64> list;
        platform::Sql q(db, statement);
        q.bind(demo->organ()).exec();
        while (q.next())
            list.append(q.integer(0));
        return list;
    };
    const auto column = [&](const QString& name) {
        return ids(QStringLiteral("SELECT %1 FROM %2 WHERE organ = ? ORDER BY id").arg(name, table));
    };

    if (table == QLatin1String("trades")) {
        // Trades entered with a time before the newest, and with the same
        // time as another (sign-ins within one second): they rank in between.
        const QList<qint64> existing = column(QStringLiteral("id"));
        for (const QString& time : { QStringLiteral("2001-01-01 00:00:00"), QStringLiteral("2999-01-01 00:00:00") }) {
            for (int i = 0; i < 3; ++i) {
                platform::Sql insert(db,
                    QStringLiteral("INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight,"
                                   " create_time) SELECT organ, truck, shipper, consignee, line, goods, weight, ?"
                                   " FROM trades WHERE id = ?"));
                insert.bind(time).bind(existing.at(i * 7 % existing.size())).exec();
            }
        }
        const qint64 middle = existing.at(existing.size() / 2);
        platform::Sql copy(db,
            QStringLiteral("INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight, create_time)"
                           " SELECT organ, truck, shipper, consignee, line, goods, weight, create_time"
                           " FROM trades WHERE id = ?"));
        copy.bind(middle).exec();
    } else {
        // Deleted at the oldest end, in the middle and at the newest; one of
        // them restored; then new ones.
        const QString kind = table.chopped(1);
        const QList<qint64> live
            = ids(QStringLiteral("SELECT id FROM %1 WHERE organ = ? AND deleted = 0 ORDER BY id").arg(table));
        QVERIFY(live.size() > 3);
        for (const qint64 id : { live.first(), live.at(live.size() / 2), live.last() })
            platform::Sql(db, QStringLiteral("UPDATE %1 SET deleted = 1 WHERE id = ?").arg(table)).bind(id).exec();
        platform::Sql(db, QStringLiteral("UPDATE %1 SET deleted = 0 WHERE id = ?").arg(table))
            .bind(live.at(live.size() / 2))
            .exec();
        for (int i = 0; i < 3; ++i) {
            const qint64 id = kind == QLatin1String("shipper")
                ? demo->addShipper(QStringLiteral("分页托运人%1").arg(i))
                : demo->addConsignee(QStringLiteral("分页收货人%1").arg(i));
            QVERIFY(id > 0);
        }
    }

    const QString filter = table == QLatin1String("trades") ? QString() : QStringLiteral(" AND deleted = 0");
    const QList<qint64> expected
        = ids(QStringLiteral("SELECT id FROM %1 WHERE organ = ?%2 ORDER BY %3").arg(table, filter, order));
    const QString path = QStringLiteral("/%1/").arg(table.chopped(1));
    // Every page, and the empty one after the last.
    for (int page = 1; page <= expected.size() / 20 + 2; ++page) {
        QList<qint64> listed;
        for (const QJsonValue& value : demo->get(path + demo->suffix({ { "page", QString::number(page) } })).array())
            listed.append(value.toObject().value("id").toVariant().toLongLong());
        QCOMPARE(listed, expected.mid((page - 1) * 20, 20));
    }
}

void TestPlatformRecords::settlementChangesTheStatesAndTheirTexts()
{
    const qint64 agency = demo->addTrade(truck, shipper, consignee, { { "is_agency", "1" } });
    const qint64 plain = demo->addTrade(truck, shipper, consignee, { { "is_agency", "0" } });
    const auto settle = [&](qint64 id, const QString& payout, const QString& collection) {
        QMap<QString, QString> form;
        if (!payout.isNull())
            form.insert("payout_status", payout);
        if (!collection.isNull())
            form.insert("agency_status", collection);
        return demo->post(QStringLiteral("/trade/%1/status/change/").arg(id) + demo->suffix(), form);
    };

    QJsonObject trade = demo->trade(agency);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("未付"));
    QCOMPARE(trade.value("agency_status_text").toString(), QStringLiteral("未付"));

    QVERIFY(settle(agency, "1", "-1").success());
    trade = demo->trade(agency);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("部分支付"));
    QCOMPARE(trade.value("agency_status_text").toString(), QStringLiteral("未付"));
    QCOMPARE(trade.value("pay_agency_time").toString(), QString());

    QVERIFY(settle(agency, "-1", "1").success());
    trade = demo->trade(agency);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("部分支付"));
    QCOMPARE(trade.value("agency_status").toInt(), 1);
    QCOMPARE(trade.value("agency_status_text").toString(), QStringLiteral("已付"));
    const QString paidAt = trade.value("pay_agency_time").toString();
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(paidAt).hasMatch());

    // Settling again as paid keeps the first payment's time; both -1 change
    // nothing, also in the unsigned form in which the client writes them.
    QVERIFY(settle(agency, "2", "1").success());
    QVERIFY(settle(agency, "-1", "-1").success());
    QVERIFY(settle(agency, "4294967295", "4294967295").success());
    trade = demo->trade(agency);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("已全部支付"));
    QCOMPARE(trade.value("pay_agency_time").toString(), paidAt);

    QVERIFY(settle(agency, "0", "0").success());
    trade = demo->trade(agency);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("未付"));
    QCOMPARE(trade.value("agency_status_text").toString(), QStringLiteral("未付"));
    QCOMPARE(trade.value("pay_agency_time").toString(), QString());

    // A trade without cash on delivery keeps no collection state.
    const auto answer = settle(plain, "2", "1");
    QVERIFY(answer.success());
    trade = demo->trade(plain);
    QCOMPARE(trade.value("payout_status_text").toString(), QStringLiteral("已全部支付"));
    QCOMPARE(trade.value("agency_status").toInt(), 0);
    QCOMPARE(trade.value("agency_status_text").toString(), QString());
    QCOMPARE(trade.value("pay_agency_time").toString(), QString());

    // Values out of range or missing are refused and change nothing.
    QCOMPARE(settle(agency, "3", "0").errors(), QStringLiteral("支付司机状态无效！"));
    QCOMPARE(settle(agency, "0", "2").errors(), QStringLiteral("代收款状态无效！"));
    QCOMPARE(settle(agency, "1", "x").errors(), QStringLiteral("代收款状态无效！"));
    QCOMPARE(settle(agency, QString(), "1").errors(), QStringLiteral("请输入支付司机状态！"));
    QCOMPARE(settle(agency, "2", "1.0").errors(), QStringLiteral("代收款状态无效！"));
    QCOMPARE(settle(agency, "4294967294", "0").errors(), QStringLiteral("支付司机状态无效！"));
    QCOMPARE(settle(agency, "0", "4294967296").errors(), QStringLiteral("代收款状态无效！"));
    QCOMPARE(demo->trade(agency).value("payout_status").toInt(), 0);
    QCOMPARE(settle(987654, "1", "1").errors(), QStringLiteral("业务不存在！"));
}

void TestPlatformRecords::tradeCorrections()
{
    const qint64 spare = demo->addTruck(QStringLiteral("鲁Q67676"));
    const qint64 trade = demo->addTrade(truck, shipper, consignee, { { "goods", QStringLiteral("防水卷材") } });
    QVERIFY(spare > 0 && trade > 0);
    QMap<QString, QString> form = PlatformTestClient::tradeForm(spare, shipper, consignee);
    form.insert("id", QString::number(trade));
    form.insert("goods", QStringLiteral("保温板"));
    form.insert("is_agency", "0");
    const QString edit = QStringLiteral("/trade/%1/edit/").arg(trade) + demo->suffix();
    auto answer = demo->post(edit, form);
    QVERIFY2(answer.success(), qPrintable(answer.errors()));

    // The load moved to the other truck with its new goods.
    QJsonObject moved = demo->trade(trade);
    QCOMPARE(moved.value("truck_number").toString(), QStringLiteral("鲁Q67676"));
    QCOMPARE(moved.value("goods").toString(), QStringLiteral("保温板"));
    QCOMPARE(moved.value("is_agency").toBool(), false);
    const QJsonArray loads = demo->truck(spare).value("loads").toArray();
    QCOMPARE(loads.size(), 1);
    QCOMPARE(loads.first().toObject().value("goods").toString(), QStringLiteral("保温板"));

    // On the road, a load stays on its truck; its other fields can be corrected.
    QVERIFY(demo->get(QStringLiteral("/truck/%1/work/").arg(spare) + demo->suffix()).success());
    form.insert("truck", QString::number(truck));
    QCOMPARE(demo->post(edit, form).errors(), QStringLiteral("已发车的业务不能更换货车！"));
    form.insert("truck", QString::number(spare));
    form.insert("weight", "13");
    QVERIFY(demo->post(edit, form).success());
    moved = demo->trade(trade);
    QCOMPARE(moved.value("weight").toDouble(), 13.0);
    QCOMPARE(moved.value("status").toInt(), 1);
    QVERIFY(demo->get(QStringLiteral("/truck/%1/sleep/").arg(spare) + demo->suffix()).success());
    QCOMPARE(demo->post(QStringLiteral("/trade/987654/edit/") + demo->suffix(), form).errors(),
        QStringLiteral("业务不存在！"));
}

// The waybill prints the parties' contacts and the driver from the trade list's
// record; the loading list prints each load's weight, value and collection
// from the truck's record.
void TestPlatformRecords::recordsCarryWhatThePaperNeeds()
{
    const qint64 loadTruck = demo->addTruck(QStringLiteral("鲁Q77777"));
    const qint64 collected = demo->addTrade(loadTruck, shipper, consignee, { { "weight", "2.5" }, { "value", "300" } });
    const qint64 plain = demo->addTrade(
        loadTruck, shipper, consignee, { { "weight", "4" }, { "value", "120.5" }, { "is_agency", "0" } });

    const QJsonObject trade = demo->trade(collected);
    QCOMPARE(trade.value("shipper_linkman").toString(), QStringLiteral("李明"));
    QCOMPARE(trade.value("shipper_tel1").toString(), QStringLiteral("13812345678"));
    QCOMPARE(trade.value("shipper_tel2").toString(), QString());
    QCOMPARE(trade.value("consignee_linkman").toString(), QStringLiteral("赵强"));
    QCOMPARE(trade.value("consignee_tel1").toString(), QString());
    QCOMPARE(trade.value("consignee_tel2").toString(), QStringLiteral("053188886666"));
    QCOMPARE(trade.value("driver_name").toString(), QStringLiteral("张建国"));
    QCOMPARE(trade.value("driver_mobile").toString(), QStringLiteral("13912345678"));

    const QJsonArray loads = demo->truck(loadTruck).value("loads").toArray();
    QCOMPARE(loads.size(), 2);
    const QJsonObject first = loads.at(0).toObject();
    QCOMPARE(first.value("trade_id").toVariant().toLongLong(), collected);
    QCOMPARE(first.value("weight").toDouble(), 2.5);
    QCOMPARE(first.value("value").toDouble(), 300.0);
    QCOMPARE(first.value("is_agency").toBool(), true);
    const QJsonObject second = loads.at(1).toObject();
    QCOMPARE(second.value("trade_id").toVariant().toLongLong(), plain);
    QCOMPARE(second.value("weight").toDouble(), 4.0);
    QCOMPARE(second.value("value").toDouble(), 120.5);
    QCOMPARE(second.value("is_agency").toBool(), false);
}

QTEST_GUILESS_MAIN(TestPlatformRecords)
#include "tst_platformrecords.moc"
