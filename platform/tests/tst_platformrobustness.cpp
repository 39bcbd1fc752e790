// Hostile and random input, limits, concurrent writers, restarts, the
// schema's upgrade of older files, and the demo data.

#include "credentials.h"
#include "platformtestclient.h"
#include "platformtestserver.h"
#include "schema.h"
#include "sql.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class TestPlatformRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void hostileRequestsGetTheEnvelope_data();
    void hostileRequestsGetTheEnvelope();
    void hostileTextIsStoredVerbatim();
    void randomRequestsNeverBreakTheServer();
    void concurrentWritersLoseNothing();
    void restartKeepsEveryRecord();
    void olderDatabaseIsUpgradedInPlace();
    void newerDatabaseIsRefusedUntouched();
    void storageMayOutliveItsThreadsConnections();
    void demoDataIsCompleteAndConsistent();

private:
    PlatformTestServer server;
};

void TestPlatformRobustness::initTestCase()
{
    QVERIFY(server.start());
}

void TestPlatformRobustness::hostileRequestsGetTheEnvelope_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target"); // %S stands for demo's session suffix
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message"); // empty: any refusal

    const QByteArray truckForm = PlatformTestClient::formBody(PlatformTestClient::truckForm("X1"));
    QTest::newRow("bad UTF-8 in the query") << QByteArray("GET") << QByteArray("/api/shipper/%S&page=1&name=%FF%FE")
                                            << QByteArray() << QStringLiteral("请求参数的编码无效！");
    QTest::newRow("cut UTF-8 in the body")
        << QByteArray("POST") << QByteArray("/api/shipper/add/%S") << QByteArray("name=%E4%B8&address=a&")
        << QStringLiteral("请求参数的编码无效！");
    QTest::newRow("raw invalid bytes in the body")
        << QByteArray("POST") << QByteArray("/api/sms/send/%S")
        << QByteArray("number=13812345678&content=\xff\xfe\xc0\x80&") << QStringLiteral("请求参数的编码无效！");
    QTest::newRow("NUL in a value") << QByteArray("POST") << QByteArray("/api/consignee/add/%S")
                                    << QByteArray("name=a%00b&") << QStringLiteral("请求参数的编码无效！");
    QTest::newRow("bad UTF-8 in the path") << QByteArray("GET") << QByteArray("/api/system/visit/%FF/end/%S")
                                           << QByteArray() << QStringLiteral("请求参数的编码无效！");
    QTest::newRow("malformed escapes") << QByteArray("GET") << QByteArray("/api/shipper/%S&page=%ZZ&name=%")
                                       << QByteArray() << QStringLiteral("页码无效！");
    QTest::newRow("SQL in an id") << QByteArray("GET") << QByteArray("/api/truck/1%20OR%201=1/work/%S") << QByteArray()
                                  << QStringLiteral("货车编号无效！");
    QTest::newRow("SQL in the token") << QByteArray("GET") << QByteArray("/api/truck/?token='%20OR%20'1'='1&user=1")
                                      << QByteArray() << QStringLiteral("登录已失效，请重新登录！");
    QTest::newRow("SQL in the page") << QByteArray("GET") << QByteArray("/api/trade/%S&page=1;DELETE%20FROM%20trades")
                                     << QByteArray() << QStringLiteral("页码无效！");
    QTest::newRow("negative id") << QByteArray("GET") << QByteArray("/api/consignee/-3/delete/%S") << QByteArray()
                                 << QStringLiteral("收货人编号无效！");
    QTest::newRow("huge number") << QByteArray("POST") << QByteArray("/api/trade/1/status/change/%S")
                                 << QByteArray("agency_status=0&payout_status=99999999999999999999999&")
                                 << QStringLiteral("支付司机状态无效！");
    QTest::newRow("huge text") << QByteArray("POST") << QByteArray("/api/system/feedback/add/%S")
                               << QByteArray("type=0&content=") + QByteArray(801, 'x')
                               << QStringLiteral("反馈内容不能超过800个字！");
    QTest::newRow("form body over 8 KiB")
        << QByteArray("POST") << QByteArray("/api/system/feedback/add/%S")
        << QByteArray("type=0&content=") + QByteArray(8200, 'x') << QStringLiteral("请求的内容过大！");
    QTest::newRow("body over the limit") << QByteArray("POST") << QByteArray("/api/system/feedback/add/%S")
                                         << QByteArray("type=0&content=") + QByteArray(600000, 'x')
                                         << QStringLiteral("请求的内容过大！");
    QTest::newRow("target over the limit")
        << QByteArray("GET") << QByteArray("/api/shipper/%S&name=") + QByteArray(9000, 'a') << QByteArray()
        << QStringLiteral("请求的地址过长！");
    QTest::newRow("JSON instead of a form") << QByteArray("POST") << QByteArray("/api/truck/add/%S")
                                            << QByteArray("{\"number\":\"X1\"}") << QStringLiteral("请输入车牌号码！");
    QTest::newRow("repeated keys: the first wins")
        << QByteArray("POST") << QByteArray("/api/truck/add/%S") << QByteArray("number=&") + truckForm
        << QStringLiteral("请输入车牌号码！");
    QTest::newRow("wrong type for a choice") << QByteArray("POST") << QByteArray("/api/system/feedback/add/%S")
                                             << QByteArray("type=true&content=x&") << QStringLiteral("反馈类别无效！");
    QTest::newRow("feedback type out of range") << QByteArray("POST") << QByteArray("/api/system/feedback/add/%S")
                                                << QByteArray("type=3&content=x&") << QStringLiteral("反馈类别无效！");
    QTest::newRow("empty feedback") << QByteArray("POST") << QByteArray("/api/system/feedback/add/%S")
                                    << QByteArray("type=1&content=%20%0A&") << QStringLiteral("请输入反馈内容！");
    QTest::newRow("sms to a landline") << QByteArray("POST") << QByteArray("/api/sms/send/%S")
                                       << QByteArray("content=hi&number=05398123456&")
                                       << QStringLiteral("手机号码05398123456无效，短信只能发送到手机！");
    QTest::newRow("sms without text") << QByteArray("POST") << QByteArray("/api/sms/send/%S")
                                      << QByteArray("content=%20&number=13812345678&")
                                      << QStringLiteral("短信内容不能为空！");
    QTest::newRow("sms without number") << QByteArray("POST") << QByteArray("/api/sms/send/%S")
                                        << QByteArray("content=hi&") << QStringLiteral("请输入手机号码！");
    QTest::newRow("sms too long") << QByteArray("POST") << QByteArray("/api/sms/send/%S")
                                  << QByteArray("number=13812345678&content=") + QByteArray(501, 'a')
                                  << QStringLiteral("短信内容不能超过500个字！");
    QTest::newRow("unknown method") << QByteArray("PATCH") << QByteArray("/api/trade/%S") << QByteArray()
                                    << QStringLiteral("不支持的请求方法！");
    QTest::newRow("path traversal") << QByteArray("GET") << QByteArray("/api/../../etc/passwd") << QByteArray()
                                    << QString();
}

void TestPlatformRobustness::hostileRequestsGetTheEnvelope()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    target.replace("%S", client.suffix().toLatin1());

    const auto answer = client.raw(method.toStdString(), target.toStdString(), body.toStdString());
    QVERIFY2(answer.status == 200 || answer.status == 404, qPrintable(QString::number(answer.status)));
    QVERIFY2(answer.isEnvelope(), answer.body.left(200).constData());
    QVERIFY(!answer.success());
    QVERIFY(!answer.errors().isEmpty());
    if (!message.isEmpty())
        QCOMPARE(answer.errors(), message);

    // The server goes on answering.
    PlatformTestClient after(server.port());
    QVERIFY(after.login("demo"));
}

void TestPlatformRobustness::hostileTextIsStoredVerbatim()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo"));
    const QString name = QStringLiteral("Robert'); DROP TABLE shippers;-- \"引号\" <b>粗</b> 🚚 \\ %25");
    QVERIFY(client.addShipper(name) > 0);
    const QJsonArray found = client.get("/shipper/" + client.suffix({ { "page", "1" }, { "name", name } })).array();
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().toObject().value("name").toString(), name);
    QVERIFY(client.get("/truck/" + client.suffix()).success());

    const QString content = QStringLiteral("明天8点装货 & 带上回单 = 100% 😀\n第二行");
    auto answer
        = client.post("/sms/send/" + client.suffix(), { { "number", " 13812345678 " }, { "content", content } });
    QVERIFY2(answer.success(), qPrintable(answer.errors()));
    answer = client.post("/system/feedback/add/" + client.suffix(), { { "type", "2" }, { "content", content } });
    QVERIFY(answer.success());

    // What was accepted is in the outbox with its time; nothing else is.
    const QSqlDatabase db = server.storage()->connection();
    platform::Sql q(db, "SELECT number, content, create_time FROM sms_outbox WHERE organ = ? ORDER BY id");
    q.bind(client.organ()).exec();
    QVERIFY(q.next());
    QCOMPARE(q.text(0), QStringLiteral("13812345678"));
    QCOMPARE(q.text(1), content);
    QVERIFY(!q.text(2).isEmpty());
    QVERIFY(!q.next());
    QCOMPARE(platform::Sql::scalar(db, "SELECT content FROM feedback WHERE type = 2").toString(), content);
}

void TestPlatformRobustness::randomRequestsNeverBreakTheServer()
{
    PlatformTestClient client(server.port());
    QVERIFY(client.login("demo2"));
    QRandomGenerator random(4711);
    const QStringList paths = { "/truck/", "/truck/0/", "/truck/1/", "/truck/dict/", "/truck/add/", "/truck/%N/edit/",
        "/truck/%N/work/", "/truck/%N/sleep/", "/truck/%N/delete/", "/shipper/", "/shipper/add/", "/shipper/%N/edit/",
        "/shipper/%N/delete/", "/consignee/", "/consignee/add/", "/consignee/%N/delete/", "/trade/", "/trade/add/",
        "/trade/%N/edit/", "/trade/%N/status/change/", "/sms/send/", "/system/feedback/add/", "/mine/profile/",
        "/mine/profile/edit/", "/system/visit/start/", "/system/visit/%N/end/", "/auth/", "/system/version/windesktop/",
        "/nowhere/%N/" };
    const QStringList keys = { "id", "number", "name", "truck", "shipper", "consignee", "weight", "goods", "line",
        "is_agency", "page", "payout_status", "agency_status", "content", "type", "tel1", "driving_mode", "tonnage",
        "organ", "sessionid", "username", "password" };
    const auto randomValue = [&]() -> QByteArray {
        switch (random.bounded(8)) {
        case 0:
            return QByteArray::number(random.bounded(-5, 100));
        case 1:
            return QByteArray::number(random.generate64());
        case 2:
            return "%27%3B%20DROP%20TABLE%20trades%3B--";
        case 3: {
            QByteArray bytes;
            for (int i = random.bounded(1, 12); i > 0; --i)
                bytes += '%' + QByteArray::number(random.bounded(256), 16).rightJustified(2, '0').toUpper();
            return bytes;
        }
        case 4:
            return QByteArray(random.bounded(0, 3000), 'z');
        case 5:
            return QUrl::toPercentEncoding(QStringLiteral("货物") + QString::number(random.bounded(100)));
        case 6:
            return "1e308";
        default:
            return QByteArray();
        }
    };

    int answered = 0;
    for (int i = 0; i < 300; ++i) {
        QString path = paths.at(random.bounded(paths.size()));
        path.replace("%N",
            QString::fromLatin1(random.bounded(3) == 0 ? randomValue() : QByteArray::number(random.bounded(1, 40))));
        QByteArray params;
        for (int k = random.bounded(0, 8); k > 0; --k)
            params += keys.at(random.bounded(keys.size())).toLatin1() + '=' + randomValue() + '&';
        const bool post = random.bounded(2) == 0;
        const QByteArray suffix
            = random.bounded(10) == 0 ? QByteArray("?token=bad&user=1") : client.suffix().toLatin1();
        const QByteArray target = "/api" + path.toLatin1() + suffix + (post ? QByteArray() : '&' + params);
        const auto answer
            = client.raw(post ? "POST" : "GET", target.toStdString(), post ? params.toStdString() : std::string());
        QVERIFY2(answer.status == 200 || answer.status == 404,
            qPrintable(QString::number(answer.status) + " " + target.left(120)));
        QVERIFY2(answer.isEnvelope(), answer.body.left(200).constData());
        if (!answer.success())
            QVERIFY(!answer.errors().isEmpty());
        ++answered;
    }
    QCOMPARE(answered, 300);
    QVERIFY(client.login("demo2")); // a visit end among the requests ends the session
    QVERIFY(client.get("/truck/" + client.suffix()).success());
}

void TestPlatformRobustness::concurrentWritersLoseNothing()
{
    QTemporaryDir dir;
    PlatformTestServer own(true, dir.path());
    // One station's writers, faster than its limit of writes a minute allows.
    platform::PlatformServer::Config config;
    config.limits.recordWritesPerMinute = 0;
    QVERIFY(own.start(config));
    PlatformTestClient demo(own.port());
    QVERIFY(demo.login("demo"));
    const int before = demo.allPages("/trade/").size();
    const qint64 shipper = demo.addShipper(QStringLiteral("并发托运人"));
    const qint64 consignee = demo.addConsignee(QStringLiteral("并发收货人"));
    const int writers = 8;
    const int tradesEach = 200;
    std::vector<qint64> trucks;
    for (int w = 0; w < writers; ++w)
        trucks.push_back(demo.addTruck(QStringLiteral("鲁Q9%1").arg(w, 4, 10, QLatin1Char('0'))));

    std::atomic<int> accepted { 0 };
    std::atomic<int> refused { 0 };
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            // No QtTest macros off the test's thread: count, then compare.
            PlatformTestClient writer(own.port());
            if (!writer.login("demo")) {
                refused += tradesEach;
                return;
            }
            for (int i = 0; i < tradesEach; ++i) {
                const qint64 id = writer.addTrade(trucks.at(static_cast<size_t>(w)), shipper, consignee,
                    { { "goods", QStringLiteral("w%1-%2").arg(w).arg(i) } });
                (id > 0 ? accepted : refused)++;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(refused.load(), 0);
    QCOMPARE(accepted.load(), writers * tradesEach);

    const QJsonArray all = demo.allPages("/trade/");
    QCOMPARE(all.size(), before + writers * tradesEach);
    QSet<QString> goods;
    for (const QJsonValue& value : all)
        goods.insert(value.toObject().value("goods").toString());
    for (int w = 0; w < writers; ++w) {
        QCOMPARE(demo.truck(trucks.at(static_cast<size_t>(w))).value("loads").toArray().size(), tradesEach);
        for (int i = 0; i < tradesEach; ++i)
            QVERIFY(goods.contains(QStringLiteral("w%1-%2").arg(w).arg(i)));
    }
}

void TestPlatformRobustness::restartKeepsEveryRecord()
{
    QTemporaryDir dir;
    PlatformTestServer own(true, dir.path());
    QVERIFY(own.start());
    QString token;
    qint64 user = 0;
    qint64 trade = 0;
    QJsonArray trucks;
    QJsonArray trades;
    QJsonArray shippers;
    QJsonArray consignees;
    {
        PlatformTestClient client(own.port());
        QVERIFY(client.login("demo"));
        const qint64 truck = client.addTruck(QStringLiteral("鲁Q10101"));
        trade = client.addTrade(
            truck, client.addShipper(QStringLiteral("重启托运人")), client.addConsignee(QStringLiteral("重启收货人")));
        QVERIFY(trade > 0);
        QVERIFY(client
                    .post(QStringLiteral("/trade/%1/status/change/").arg(trade) + client.suffix(),
                        { { "payout_status", "1" }, { "agency_status", "1" } })
                    .success());
        QVERIFY(client.get(QStringLiteral("/truck/%1/work/").arg(truck) + client.suffix()).success());
        token = client.token();
        user = client.user();
        trucks = client.get("/truck/" + client.suffix()).array();
        trades = client.allPages("/trade/");
        shippers = client.allPages("/shipper/");
        consignees = client.allPages("/consignee/");
    }
    own.stop();
    QVERIFY(own.start());

    PlatformTestClient client(own.port());
    QVERIFY(client.login("demo"));
    QCOMPARE(client.get("/truck/" + client.suffix()).array(), trucks);
    QCOMPARE(client.allPages("/trade/"), trades);
    QCOMPARE(client.allPages("/shipper/"), shippers);
    QCOMPARE(client.allPages("/consignee/"), consignees);
    // Sessions survive a restart too; the demo data was not seeded twice.
    QVERIFY(client.get(QStringLiteral("/mine/profile/?token=%1&user=%2").arg(token).arg(user)).success());
    QCOMPARE(client.trade(trade).value("agency_status_text").toString(), QStringLiteral("已付"));
    QCOMPARE(trades.size(), 61);
}

void TestPlatformRobustness::olderDatabaseIsUpgradedInPlace()
{
    if (PlatformTestServer::onPostgreSQL())
        QSKIP("an older SQLite file is upgraded; PostgreSQL databases start at the latest layout");
    QTemporaryDir dir;
    const QString path = dir.filePath("platform.db");
    {
        // A file as the first release left it: schema version 1.
        platform::Storage old;
        QString error;
        QVERIFY2(old.open(path, &error, 1), qPrintable(error));
        const QSqlDatabase db = old.connection();
        QCOMPARE(platform::Schema::versionOf(db), 1);
        platform::Sql::run(
            db, "INSERT INTO organs (id, name, create_time) VALUES (7, '老货站', '2020-01-01 08:00:00')");
        platform::Sql insert(db,
            "INSERT INTO users (organ, username, password_hash, sub_account, sub_account_pwd,"
            " voip_account, voip_pwd, create_time) VALUES (7, 'old', ?, 's', 'sp', 'v', 'vp', '')");
        insert.bind(platform::Credentials::hashPassword("word")).exec();
        platform::Sql::run(db,
            "INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage, packingcase_mode,"
            " driver1_name, driver1_mobile, create_time) VALUES (7, '鲁A00001', 1, 0, 30, 1, '老王',"
            " '13900000000', '2020-01-01 08:00:00')");
        QVERIFY(!db.tables().contains("sms_outbox"));
    }
    PlatformTestServer upgraded(false, dir.path());
    QVERIFY(upgraded.start());
    QCOMPARE(platform::Schema::versionOf(upgraded.storage()->connection()), platform::Schema::latestVersion());
    PlatformTestClient client(upgraded.port());
    QVERIFY(client.login("old", "word"));
    const QJsonArray trucks = client.get("/truck/" + client.suffix()).array();
    QCOMPARE(trucks.size(), 1);
    QCOMPARE(trucks.first().toObject().value("number").toString(), QStringLiteral("鲁A00001"));
    // The search index holds the records that were there before it.
    QCOMPARE(client.get("/truck/" + client.suffix({ { "page", "1" }, { "number", "a000" } })).array(), trucks);
    // What the newer version added works on the old file.
    QVERIFY(
        client.post("/sms/send/" + client.suffix(), { { "number", "13900000000" }, { "content", "hi" } }).success());
    QCOMPARE(client.get("/system/serviceinfo/" + client.suffix()).data().value("qq").toString(),
        QStringLiteral("800087654"));
    QVERIFY(upgraded.storage()->hasVoiceAccount("s", "sp", "v", "vp"));
}

void TestPlatformRobustness::newerDatabaseIsRefusedUntouched()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("platform.db");
    {
        platform::Storage store;
        QString error;
        QVERIFY(store.open(path, &error));
        platform::Sql::run(store.connection(), "PRAGMA user_version = 99");
    }
    platform::Storage store;
    QString error;
    QVERIFY(!store.open(path, &error));
    QVERIFY2(error.contains("99"), qPrintable(error));
    QCOMPARE(platform::Schema::versionOf(store.connection()), 99);
    QCOMPARE(platform::Sql::scalar(store.connection(), "SELECT COUNT(*) FROM settings").toInt(), 3);
}

void TestPlatformRobustness::storageMayOutliveItsThreadsConnections()
{
    // A storage destroyed after its thread's connections were dropped, as a
    // static one is at process exit: thread-local objects end in reverse
    // order of construction, so this holder ends after the connection table.
    QTemporaryDir dir;
    bool opened = false;
    std::thread([&] {
        thread_local std::unique_ptr<platform::Storage> holder;
        holder = std::make_unique<platform::Storage>();
        QString error;
        opened = holder->open(dir.filePath("platform.db"), &error);
    }).join();
    QVERIFY(opened);
}

void TestPlatformRobustness::demoDataIsCompleteAndConsistent()
{
    QTemporaryDir dir;
    PlatformTestServer own(true, dir.path());
    QVERIFY(own.start());
    PlatformTestClient client(own.port());
    QVERIFY(client.login("demo"));
    // Mobile numbers as the truck form accepts them.
    const QRegularExpression mobile(
        "^((13[4-9]|147|15[012789]|18[23478])|(13[0-2]|145|15[56]|18[56])|(133|15[35]|18[019]))[0-9]{8}$");

    const QJsonArray trucks = client.get("/truck/" + client.suffix()).array();
    QVERIFY(trucks.size() >= 12);
    int onRoad = 0;
    int loadedResting = 0;
    QSet<QString> plates;
    for (const QJsonValue& value : trucks) {
        const QJsonObject truck = value.toObject();
        plates.insert(truck.value("number").toString());
        QCOMPARE(truck.value("number").toString().size(), 7);
        QVERIFY(mobile.match(truck.value("driver1_mobile").toString()).hasMatch());
        if (!truck.value("driver2_mobile").toString().isEmpty())
            QVERIFY(mobile.match(truck.value("driver2_mobile").toString()).hasMatch());
        QVERIFY(!truck.value("driving_mode_text").toString().isEmpty());
        QVERIFY(!truck.value("packingcase_mode_text").toString().isEmpty());
        QVERIFY(truck.value("tonnage_level").toInt() == 0 || truck.value("tonnage_level").toInt() == 1);
        onRoad += truck.value("status").toInt() == 1;
        loadedResting += truck.value("status").toInt() == 0 && !truck.value("loads").toArray().isEmpty();
    }
    QCOMPARE(plates.size(), trucks.size());
    QVERIFY(onRoad > 0);
    QVERIFY(loadedResting > 0);
    QVERIFY(onRoad + loadedResting < trucks.size()); // some are empty too

    const QJsonArray shippers = client.allPages("/shipper/");
    const QJsonArray consignees = client.allPages("/consignee/");
    QCOMPARE(shippers.size(), 30);
    QCOMPARE(consignees.size(), 30);
    for (const QJsonArray& book : { shippers, consignees }) {
        for (const QJsonValue& value : book) {
            const QJsonObject record = value.toObject();
            QVERIFY(!record.value("name").toString().isEmpty());
            QVERIFY(!record.value("address").toString().isEmpty());
            QVERIFY(mobile.match(record.value("tel1").toString()).hasMatch());
        }
    }

    const QJsonArray trades = client.allPages("/trade/");
    QCOMPARE(trades.size(), 60);
    QSet<int> states;
    QSet<QString> payouts;
    bool collected = false;
    for (const QJsonValue& value : trades) {
        const QJsonObject trade = value.toObject();
        const int status = trade.value("status").toInt();
        states.insert(status);
        payouts.insert(trade.value("payout_status_text").toString());
        QCOMPARE(trade.value("start_time").toString().isEmpty(), status == 0);
        QCOMPARE(trade.value("complete_time").toString().isEmpty(), status != 2);
        if (status == 2)
            QVERIFY(trade.value("complete_time").toString() > trade.value("start_time").toString());
        if (trade.value("agency_status_text").toString() == QStringLiteral("已付")) {
            collected = true;
            QVERIFY(!trade.value("pay_agency_time").toString().isEmpty());
        }
    }
    QCOMPARE(states, QSet<int>({ 0, 1, 2 }));
    QCOMPARE(
        payouts, QSet<QString>({ QStringLiteral("未付"), QStringLiteral("部分支付"), QStringLiteral("已全部支付") }));
    QVERIFY(collected);

    // The second station exists with its own, smaller book.
    PlatformTestClient second(own.port());
    QVERIFY(second.login("demo2"));
    QVERIFY(!second.get("/truck/" + second.suffix()).array().isEmpty());
    QVERIFY(!second.allPages("/trade/").isEmpty());
}

QTEST_GUILESS_MAIN(TestPlatformRobustness)
#include "tst_platformrobustness.moc"
