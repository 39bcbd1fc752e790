// Every API operation against a recording server: what each one sends, which
// signal answers it and with what, the record submission rules, replies that
// finish out of order, the time-out and the image download.
#include "apirecorder.h"
#include "signedinapifixture.h"

#include "net/api.h"
#include "support/recordinghttpserver.h"

#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTcpServer>
#include <QTest>

#include <functional>
#include <memory>

using Call = std::function<void(API*)>;
using Params = QMap<QString, QString>;
Q_DECLARE_METATYPE(Call)

class TestApiBusiness : public QObject, private SignedInApiFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void operations_data();
    void operations();
    void failures_data();
    void failures();
    void identifierAndStatusAnswers_data();
    void identifierAndStatusAnswers();
    void recordSubmissionPath_data();
    void recordSubmissionPath();
    void repliesAreHandledInTheOrderTheyFinish();
    void eachCallReceivesOnlyItsOwnAnswer();
    void successfulChangesAreAnnounced_data();
    void successfulChangesAreAnnounced();
    void codesWithoutAnOperation_data();
    void codesWithoutAnOperation();
    void requestThatTimesOutFails();
    void downloadImage();
    void downloadImageKeepsTheEventLoopRunning();
    void downloadImageGivesUpOnASilentServer();

private:
    // Answers `target`'s path with `answer`, runs `call` and waits for one result.
    bool runOne(const Call& call, const QByteArray& answer);
};

void TestApiBusiness::initTestCase()
{
    QVERIFY(startSignedIn());
}

void TestApiBusiness::cleanupTestCase()
{
    stopServer();
}

void TestApiBusiness::init()
{
    beginTest();
    server->otherwise(RecordingHttpServer::json(R"({"success":true})"));
}

void TestApiBusiness::cleanup()
{
    QVERIFY(endTest());
    BaseHttp::setTransferTimeoutForTesting(BaseHttp::DefaultTransferTimeoutMs);
}

bool TestApiBusiness::runOne(const Call& call, const QByteArray& answer)
{
    server->otherwise(RecordingHttpServer::json(answer));
    call(api);
    return recorder->waitForResults() && recorder->waitForIdle();
}

void TestApiBusiness::operations_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("result");

    const QByteArray s = "?token=tk&user=42";
    const QByteArray list = R"({"success":true,"data":[{"id":1}]})";
    const QByteArray object = R"({"success":true,"data":{"k":"v"}})";
    const QByteArray ok = R"({"success":true})";

    auto get
        = [&](const char* name, Call call, const QByteArray& target, const QByteArray& answer, const QString& result) {
              QTest::newRow(name) << call << QByteArray("GET") << target << QByteArray() << answer << result;
          };
    auto post = [&](const char* name, Call call, const QByteArray& target, const QByteArray& body,
                    const QByteArray& answer, const QString& result) {
        QTest::newRow(name) << call << QByteArray("POST") << target << body << answer << result;
    };

    // Session.
    get(
        "fetchServiceInfo", [](API* a) { a->fetchServiceInfo(); }, "/api/system/serviceinfo/" + s, object,
        R"(fetch_serviceinfo({"k":"v"}, ""))");
    get(
        "fetchProfile", [](API* a) { a->fetchProfile(); }, "/api/mine/profile/" + s, object,
        R"(fetch_profile({"k":"v"}, ""))");
    get(
        "fetchVersion", [](API* a) { a->fetchVersion(); }, "/api/system/version/windesktop/", object,
        R"(fetch_version({"k":"v"}, ""))");
    post(
        "submitProfile",
        [](API* a) {
            a->submitProfile(Params { { "name", "n" }, { "organ", "3" } });
        },
        "/api/mine/profile/edit/" + s, "name=n&organ=3&", ok, R"(submit_profile(true, ""))");
    post(
        "submitPassword",
        [](API* a) {
            a->submitPassword(Params { { "password", "p q" } });
        },
        "/api/mine/password/edit/" + s, "password=p%20q&", ok, R"(submit_password(true, ""))");

    // Lists.
    get(
        "fetchTruckGroup(-1)", [](API* a) { a->fetchTruckGroup(-1); }, "/api/truck/" + s, list,
        R"(fetch_truck([{"id":1}], ""))");
    get(
        "fetchTruckGroup(0)", [](API* a) { a->fetchTruckGroup(0); }, "/api/truck/0/" + s, list,
        R"(fetch_truck([{"id":1}], ""))");
    get(
        "fetchTruckGroup(1)", [](API* a) { a->fetchTruckGroup(1); }, "/api/truck/1/" + s, list,
        R"(fetch_truck([{"id":1}], ""))");
    get(
        "fetchTruck trims", [](API* a) { a->fetchTruck(2, QString::fromUtf8("  京A 123\t")); },
        "/api/truck/" + s + "&page=2&number=%E4%BA%ACA%20123", list, R"(fetch_truck([{"id":1}], ""))");
    get(
        "fetchShipper empty name", [](API* a) { a->fetchShipper(1, QString()); },
        "/api/shipper/" + s + "&page=1&name=", list, R"(fetch_shipper([{"id":1}], ""))");
    get(
        "fetchShipper &#+% stay in the value", [](API* a) { a->fetchShipper(3, QStringLiteral(" a&b#c+d%e ")); },
        "/api/shipper/" + s + "&page=3&name=a%26b%23c%2Bd%25e", list, R"(fetch_shipper([{"id":1}], ""))");
    get(
        "fetchConsignee", [](API* a) { a->fetchConsignee(1, QString::fromUtf8("李 四&x=1")); },
        "/api/consignee/" + s + "&page=1&name=%E6%9D%8E%20%E5%9B%9B%26x%3D1", list,
        R"(fetch_consignee([{"id":1}], ""))");
    get(
        "fetchTrade", [](API* a) { a->fetchTrade(5); }, "/api/trade/" + s + "&page=5", list,
        R"(fetch_trade([{"id":1}], ""))");
    get(
        "fetchTrade with a text and days",
        [](API* a) { a->fetchTrade(2, QString::fromUtf8(" 鲁Q 1&b "), QDate(2025, 5, 1), QDate(2025, 5, 3)); },
        "/api/trade/" + s + "&page=2&q=%E9%B2%81Q%201%26b&from=2025-05-01&to=2025-05-03", list,
        R"(fetch_trade([{"id":1}], ""))");
    get(
        "fetchTrade blank text, one day open",
        [](API* a) { a->fetchTrade(1, QStringLiteral("  "), QDate(), QDate(2025, 5, 3)); },
        "/api/trade/" + s + "&page=1&to=2025-05-03", list, R"(fetch_trade([{"id":1}], ""))");
    get(
        "fetchTrade data missing", [](API* a) { a->fetchTrade(1); }, "/api/trade/" + s + "&page=1", ok,
        R"(fetch_trade([], ""))");
    get(
        "fetchNotification", [](API* a) { a->fetchNotification(); }, "/api/system/notification/" + s, object,
        R"(fetch_notification({"k":"v"}, ""))");

    // Submissions.
    post(
        "submitTruck",
        [](API* a) {
            a->submitTruck(Params { { "id", "0" }, { "number", QString::fromUtf8("京A") } });
        },
        "/api/truck/add/" + s, "id=0&number=%E4%BA%ACA&organ=7&", ok, R"(submit_truck(true, ""))");
    post(
        "submitShipper",
        [](API* a) {
            a->submitShipper(Params { { "id", "0" }, { "name", "s" } });
        },
        "/api/shipper/add/" + s, "id=0&name=s&organ=7&", R"({"success":true,"shipper_id":57,"data":{"shipper_id":1}})",
        R"(submit_shipper(57, ""))");
    post(
        "submitConsignee",
        [](API* a) {
            a->submitConsignee(Params { { "id", "8" }, { "name", "c" } });
        },
        "/api/consignee/8/edit/" + s, "id=8&name=c&organ=7&", R"({"success":true,"consignee_id":"8"})",
        R"(submit_consignee(8, ""))");
    post(
        "submitTrade",
        [](API* a) {
            a->submitTrade(Params { { "id", "0" }, { "goods", "g" } });
        },
        "/api/trade/add/" + s, "goods=g&id=0&organ=7&", ok, R"(submit_trade(true, ""))");

    // Status changes.
    get(
        "changeTruckStatus work", [](API* a) { a->changeTruckStatus(5, 1); }, "/api/truck/5/work/" + s,
        R"({"success":true,"status":1})", R"(change_truck_status(true, 1, ""))");
    get(
        "changeTruckStatus sleep", [](API* a) { a->changeTruckStatus(5, 2); }, "/api/truck/5/sleep/" + s,
        R"({"success":true,"status":"2"})", R"(change_truck_status(true, 2, ""))");
    get(
        "changeTruckStatus other", [](API* a) { a->changeTruckStatus(5, 3); }, "/api/truck/5" + s, ok,
        R"(change_truck_status(true, 0, ""))");
    post(
        "changeTradeStatus", [](API* a) { a->changeTradeStatus(9, 1, 2); }, "/api/trade/9/status/change/" + s,
        "agency_status=2&payout_status=1&", ok, R"(change_trade_status(true, ""))");

    // Deletions.
    get(
        "deleteTruck", [](API* a) { a->deleteTruck(3); }, "/api/truck/3/delete/" + s, ok, R"(delete_truck(true, ""))");
    get(
        "deleteTruck unsigned", [](API* a) { a->deleteTruck(-1); }, "/api/truck/4294967295/delete/" + s, ok,
        R"(delete_truck(true, ""))");
    get(
        "deleteShipper", [](API* a) { a->deleteShipper(4); }, "/api/shipper/4/delete/" + s, ok,
        R"(delete_shipper(true, ""))");
    get(
        "deleteConsignee", [](API* a) { a->deleteConsignee(6); }, "/api/consignee/6/delete/" + s, ok,
        R"(delete_consignee(true, ""))");

    // Messages.
    post(
        "submitSms", [](API* a) { a->submitSms(QStringLiteral("13800000000"), QString::fromUtf8("你好 &")); },
        "/api/sms/send/" + s, "content=%E4%BD%A0%E5%A5%BD%20%26&number=13800000000&", ok, R"(submit_sms(true, ""))");
    post(
        "submitFeedback", [](API* a) { a->submitFeedback(-2, QStringLiteral("slow")); },
        "/api/system/feedback/add/" + s, "content=slow&type=-2&", ok, R"(submit_feedback(true, ""))");
}

void TestApiBusiness::operations()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, answer);
    QFETCH(QString, result);

    QVERIFY(runOne(call, answer));
    QCOMPARE(recorder->results, QStringList { result });
    QCOMPARE(recorder->all, (QStringList { "trans_start", result, "trans_finished" }));
    QCOMPARE(server->requestCount(), 1);

    const auto request = server->lastRequest();
    QCOMPARE(request.method, method);
    QCOMPARE(request.target, target);
    QCOMPARE(request.body, body);
    if (method == "POST")
        QCOMPARE(request.contentType, QByteArray("application/x-www-form-urlencoded"));
}

void TestApiBusiness::failures_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("result");

    QTest::newRow("array") << Call([](API* a) { a->fetchConsignee(1, QString()); })
                           << R"(fetch_consignee(null, "bad"))";
    QTest::newRow("object") << Call([](API* a) { a->fetchNotification(); }) << R"(fetch_notification(null, "bad"))";
    QTest::newRow("boolean") << Call([](API* a) { a->deleteShipper(1); }) << R"(delete_shipper(false, "bad"))";
    QTest::newRow("identifier") << Call([](API* a) {
        a->submitShipper(Params { { "id", "0" } });
    }) << R"(submit_shipper(-1, "bad"))";
    QTest::newRow("status") << Call([](API* a) { a->changeTruckStatus(1, 1); })
                            << R"(change_truck_status(false, -1, "bad"))";
}

void TestApiBusiness::failures()
{
    QFETCH(Call, call);
    QFETCH(QString, result);
    // The payload keys of a success are there too: a failure ignores them.
    QVERIFY(runOne(call, R"({"success":false,"errors":"bad","shipper_id":5,"status":1,"data":[1]})"));
    QCOMPARE(recorder->results, QStringList { result });
}

void TestApiBusiness::identifierAndStatusAnswers_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("result");

    const Call shipper = [](API* a) { a->submitShipper(Params { { "id", "0" } }); };
    const Call truck = [](API* a) { a->changeTruckStatus(1, 2); };
    QTest::newRow("id number") << shipper << QByteArray(R"({"success":true,"shipper_id":57})")
                               << R"(submit_shipper(57, ""))";
    QTest::newRow("id string") << shipper << QByteArray(R"({"success":true,"shipper_id":"57"})")
                               << R"(submit_shipper(57, ""))";
    QTest::newRow("id only inside data") << shipper << QByteArray(R"({"success":true,"data":{"shipper_id":57}})")
                                         << R"(submit_shipper(0, ""))";
    QTest::newRow("id not a number") << shipper << QByteArray(R"({"success":true,"shipper_id":"x"})")
                                     << R"(submit_shipper(0, ""))";
    QTest::newRow("id huge") << shipper << QByteArray(R"({"success":true,"shipper_id":1e30})")
                             << R"(submit_shipper(2147483647, ""))";
    QTest::newRow("status missing") << truck << QByteArray(R"({"success":true})")
                                    << R"(change_truck_status(true, 0, ""))";
    QTest::newRow("status rounded") << truck << QByteArray(R"({"success":true,"status":1.6})")
                                    << R"(change_truck_status(true, 2, ""))";
    QTest::newRow("refusal") << truck << QByteArray(R"({"success":false,"status":2})")
                             << R"(change_truck_status(false, -1, ""))";
}

void TestApiBusiness::identifierAndStatusAnswers()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, answer);
    QFETCH(QString, result);
    QVERIFY(runOne(call, answer));
    QCOMPARE(recorder->results, QStringList { result });
}

void TestApiBusiness::recordSubmissionPath_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");

    const QByteArray s = "?token=tk&user=42";
    QTest::newRow("id 0 is new") << Call([](API* a) {
        a->submitTruck(Params { { "id", "0" } });
    }) << "/api/truck/add/" + s << QByteArray("id=0&organ=7&");
    QTest::newRow("id 12 edits") << Call([](API* a) {
        a->submitTruck(Params { { "id", "12" } });
    }) << "/api/truck/12/edit/" + s
                                 << QByteArray("id=12&organ=7&");
    QTest::newRow("id 00 is not 0") << Call([](API* a) {
        a->submitTrade(Params { { "id", "00" } });
    }) << "/api/trade/00/edit/" + s << QByteArray("id=00&organ=7&");
    QTest::newRow("missing id edits nothing named") << Call([](API* a) {
        a->submitConsignee(Params { { "name", "c" } });
    }) << "/api/consignee//edit/" + s << QByteArray("name=c&organ=7&");
    QTest::newRow("caller's organ replaced") << Call([](API* a) {
        a->submitShipper(Params { { "id", "0" }, { "organ", "99" } });
    }) << "/api/shipper/add/" + s << QByteArray("id=0&organ=7&");
    QTest::newRow("id cannot leave its segment") << Call([](API* a) {
        a->submitTruck(Params { { "id", "1/delete/?x=" } });
    }) << "/api/truck/1%2Fdelete%2F%3Fx%3D/edit/" + s
                                                 << QByteArray("id=1%2Fdelete%2F%3Fx%3D&organ=7&");
}

void TestApiBusiness::recordSubmissionPath()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QVERIFY(runOne(call, R"({"success":true})"));
    QCOMPARE(server->lastRequest().target, target);
    QCOMPARE(server->lastRequest().body, body);
}

void TestApiBusiness::repliesAreHandledInTheOrderTheyFinish()
{
    server->on("/api/shipper/", [](const RecordingHttpServer::Request& request) {
        const bool first = request.target.endsWith("name=first");
        auto reply
            = RecordingHttpServer::json(first ? R"({"success":true,"data":[1]})" : R"({"success":true,"data":[2]})");
        reply.gate = first ? QStringLiteral("first") : QStringLiteral("second");
        return reply;
    });
    // Each delivery names the request it answers, whatever the order.
    QList<int> answered;
    QObject context;
    connect(api, &API::signal_fetch_shipper_finished, &context, [&] { answered << api->answeredRequest(); });
    const int first = api->fetchShipper(1, QStringLiteral("first"))->request();
    const int second = api->fetchShipper(1, QStringLiteral("second"))->request();
    QVERIFY(first > 0 && second > first);
    QVERIFY(QTest::qWaitFor([&] { return server->requestCount() == 2; }, 5000));

    server->release(QStringLiteral("second"));
    QVERIFY(recorder->waitForResults(1));
    QCOMPARE(recorder->results, QStringList { R"(fetch_shipper([2], ""))" });
    server->release(QStringLiteral("first"));
    QVERIFY(recorder->waitForResults(2));
    QCOMPARE(recorder->results, (QStringList { R"(fetch_shipper([2], ""))", R"(fetch_shipper([1], ""))" }));
    QCOMPARE(answered, (QList<int> { second, first }));
    QCOMPARE(api->answeredRequest(), 0);
    QVERIFY(recorder->waitForIdle());
    QCOMPARE(api->requestsInFlight(), 0);
    QCOMPARE(recorder->transStarts, 2);
    QCOMPARE(recorder->transFinishes, 2);
}

void TestApiBusiness::eachCallReceivesOnlyItsOwnAnswer()
{
    server->on("/api/shipper/", [](const RecordingHttpServer::Request& request) {
        const QByteArray name = request.target.mid(request.target.lastIndexOf('=') + 1);
        auto reply = RecordingHttpServer::json(R"({"success":true,"data":[")" + name + R"("]})");
        reply.gate = QString::fromLatin1(name);
        return reply;
    });
    QStringList heard;
    QObject context;
    connect(api, &API::signal_fetch_shipper_finished, &context,
        [&](QJsonArray* rows) { heard << QStringLiteral("shared ") + rows->at(0).toString(); });
    const auto follow = [&](ApiCall* call) {
        return call->then(&context, [&heard, request = call->request()](const ApiAnswer& answer) {
            heard << QStringLiteral("call %1 ").arg(request) + answer.data.toArray().at(0).toString();
        });
    };
    QPointer<ApiCall> a = follow(api->fetchShipper(1, QStringLiteral("a")));
    ApiCall* b = follow(api->fetchShipper(1, QStringLiteral("b")));
    ApiCall* c = follow(api->fetchShipper(1, QStringLiteral("c")));
    const int first = a->request();
    const int second = b->request();
    QVERIFY(QTest::qWaitFor([&] { return server->requestCount() == 3; }, 5000));

    // An abandoned call hears nothing, though the shared signal still speaks.
    c->abandon();
    server->release(QStringLiteral("c"));
    QVERIFY(recorder->waitForResults(1));
    server->release(QStringLiteral("b"));
    QVERIFY(recorder->waitForResults(2));
    server->release(QStringLiteral("a"));
    QVERIFY(recorder->waitForResults(3));
    QCOMPARE(heard,
        (QStringList { QStringLiteral("shared c"), QStringLiteral("call %1 b").arg(second), QStringLiteral("shared b"),
            QStringLiteral("call %1 a").arg(first), QStringLiteral("shared a") }));
    // The handles go once their answers are delivered.
    QTRY_VERIFY(a.isNull());
}

void TestApiBusiness::successfulChangesAreAnnounced_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<int>>("kinds");

    const QByteArray ok = R"({"success":true,"shipper_id":5,"consignee_id":6,"status":1})";
    const QByteArray refused = R"({"success":false,"errors":"no"})";
    const auto kinds = [](std::initializer_list<RecordKind> list) {
        QList<int> out;
        for (RecordKind kind : list)
            out << static_cast<int>(kind);
        return out;
    };
    const Params p { { QStringLiteral("id"), QStringLiteral("0") } };
    QTest::newRow("truck saved") << Call([p](API* a) { a->submitTruck(p); }) << ok << kinds({ RecordKind::Truck });
    QTest::newRow("shipper saved") << Call([p](API* a) { a->submitShipper(p); }) << ok
                                   << kinds({ RecordKind::Shipper });
    QTest::newRow("consignee saved") << Call([p](API* a) { a->submitConsignee(p); }) << ok
                                     << kinds({ RecordKind::Consignee });
    QTest::newRow("trade packed") << Call([p](API* a) { a->submitTrade(p); }) << ok
                                  << kinds({ RecordKind::Trade, RecordKind::Truck });
    QTest::newRow("truck departed") << Call([](API* a) { a->changeTruckStatus(3, 1); }) << ok
                                    << kinds({ RecordKind::Truck, RecordKind::Trade });
    QTest::newRow("trade settled") << Call([](API* a) { a->changeTradeStatus(3, 1, 0); }) << ok
                                   << kinds({ RecordKind::Trade });
    QTest::newRow("truck deleted") << Call([](API* a) { a->deleteTruck(3); }) << ok << kinds({ RecordKind::Truck });
    QTest::newRow("shipper deleted") << Call([](API* a) { a->deleteShipper(3); }) << ok
                                     << kinds({ RecordKind::Shipper });
    QTest::newRow("consignee deleted") << Call([](API* a) { a->deleteConsignee(3); }) << ok
                                       << kinds({ RecordKind::Consignee });
    QTest::newRow("refused save") << Call([p](API* a) { a->submitTruck(p); }) << refused << kinds({});
    QTest::newRow("refused delete") << Call([](API* a) { a->deleteShipper(3); }) << refused << kinds({});
    QTest::newRow("a read") << Call([](API* a) { a->fetchTrade(1); }) << ok << kinds({});
    QTest::newRow("a text message") << Call([](API* a) { a->submitSms(QStringLiteral("1"), QStringLiteral("x")); })
                                    << ok << kinds({});
}

void TestApiBusiness::successfulChangesAreAnnounced()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, answer);
    QFETCH(QList<int>, kinds);

    QList<int> announced;
    QObject context;
    // The notice comes after the operation's own signal.
    connect(api, &API::signal_records_changed, &context, [&](RecordKind kind) {
        QCOMPARE(recorder->results.size(), 1);
        announced << static_cast<int>(kind);
    });
    QVERIFY(runOne(call, answer));
    QCOMPARE(announced, kinds);
}

void TestApiBusiness::codesWithoutAnOperation_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("emitted");
    QTest::newRow("4 has a parser") << 4 << QStringList { R"(fetch_my_product([{"id":1}], ""))", "trans_finished" };
    QTest::newRow("24 is not read") << 24 << QStringList { "trans_finished" };
    QTest::newRow("26 is ignored") << 26 << QStringList { "trans_finished" };
    QTest::newRow("negative is ignored") << -1 << QStringList { "trans_finished" };
}

void TestApiBusiness::codesWithoutAnOperation()
{
    QFETCH(int, code);
    QFETCH(QStringList, emitted);

    // A finished reply fetched on the side, then handed over with the code.
    server->otherwise(RecordingHttpServer::json(R"({"success":true,"data":[{"id":1}]})"));
    QNetworkAccessManager side;
    QNetworkReply* reply = side.get(QNetworkRequest(QUrl(server->apiBase() + QStringLiteral("/any/"))));
    QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 5000));
    reply->setProperty("mothed", code);
    api->slot_finished(reply);
    QCOMPARE(recorder->all, emitted);
}

void TestApiBusiness::requestThatTimesOutFails()
{
    RecordingHttpServer silent;
    RecordingHttpServer::Reply never;
    never.silent = true;
    silent.otherwise(never);
    BaseHttp::setBaseAddressForTesting(silent.apiBase());
    BaseHttp::setTransferTimeoutForTesting(300);

    api->fetchTrade(1);
    QVERIFY(recorder->waitForResults(1, 10000));
    QCOMPARE(recorder->results, QStringList { R"(fetch_trade(null, ""))" });
}

void TestApiBusiness::downloadImage()
{
    server->on("/img/a.png", RecordingHttpServer::json(QByteArray("\x89PNG\0\x01", 6)));
    QCOMPARE(api->downloadImage(QStringLiteral("http://%1/img/a.png").arg(server->hostAndPort())),
        QByteArray("\x89PNG\0\x01", 6));

    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 closed = probe.serverPort();
    probe.close();
    QCOMPARE(api->downloadImage(QStringLiteral("http://127.0.0.1:%1/img/a.png").arg(closed)), QByteArray());

    // Not a transfer of the API: no transfer or completion signal.
    QCOMPARE(recorder->all, QStringList());
}

void TestApiBusiness::downloadImageKeepsTheEventLoopRunning()
{
    // The image is held back until the trade list has been answered, which
    // only happens if replies are handled while the download waits.
    auto image = RecordingHttpServer::json("img");
    image.gate = QStringLiteral("image");
    server->on("/img/b.png", image);
    QObject context;
    connect(api, &API::signal_fetch_trade_finished, &context, [this] { server->release(QStringLiteral("image")); });

    api->fetchTrade(1);
    QCOMPARE(api->downloadImage(QStringLiteral("http://%1/img/b.png").arg(server->hostAndPort())), QByteArray("img"));
    QCOMPARE(recorder->results, QStringList { R"(fetch_trade([], ""))" });
}

void TestApiBusiness::downloadImageGivesUpOnASilentServer()
{
    RecordingHttpServer silent;
    RecordingHttpServer::Reply never;
    never.silent = true;
    silent.otherwise(never);
    BaseHttp::setTransferTimeoutForTesting(300);

    QCOMPARE(api->downloadImage(QStringLiteral("http://%1/img/c.png").arg(silent.hostAndPort())), QByteArray());
    QCOMPARE(silent.requestCount(), 1);
    QCOMPARE(recorder->all, QStringList());
}

QTEST_GUILESS_MAIN(TestApiBusiness)
#include "tst_api_business.moc"
