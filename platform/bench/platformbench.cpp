// Throughput and latency of the platform on loopback, beside the platform's
// HTTP library (libmicrohttpd, with the same event loop) answering a constant
// JSON body of the truck list's size (the baseline) in the same run:
// - the truck list (the board's request) and adding a trade, as ratios of the
//   baseline's requests per second;
// - the paged trade, shipper and consignee lists of a station with 1,000 and
//   of one with 100,000 records of each, at the first and at the last page,
//   whose times should not differ;
// - searches of those stations by plate, name, trade text and day.
// Not a test; run it by hand:
//   freymo-platform-bench [--clients N] [--reads N] [--writes N] [--pages N]
//                         [--records N,N] [--only TEXT] [--database URL]
// --only runs just the rounds whose names contain TEXT (and the baseline).
// --database runs it on an empty database of that address instead of a
// temporary SQLite file (postgresql://USER@HOST:PORT/DBNAME); a second
// server with connections of its own then shares the rounds "two servers".

#include "demoseed.h"
#include "dialect.h"
#include "platformserver.h"
#include "sessionservice.h"
#include "sql.h"
#include "storage.h"
#include "transaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <httplib.h>
#include <microhttpd.h>

#include <netinet/in.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Result
{
    QString name;
    double requestsPerSecond = 0;
    double p50 = 0, p90 = 0, p99 = 0, max = 0; // milliseconds
    // Processor time of the whole process (servers and clients) per
    // request: unlike the rate, it does not follow the other load of a
    // shared machine.
    double cpuMicros = 0;
    int failures = 0;
};

double processorSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

using Request = std::function<bool(httplib::Client&, int client, int index)>;

// Runs `perClient` requests on each of `clients` kept-alive connections at once.
// `request` returns false for a failed request.
// Clients take turns on `ports` (client c on ports[c % n]), so that several
// servers of one database share the load.
Result measure(const QString& name, const std::vector<int>& ports, int clients, int perClient, const Request& request)
{
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<int> failures { 0 };
    std::vector<std::thread> threads;
    const double cpuBefore = processorSeconds();
    const Clock::time_point start = Clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", ports.at(static_cast<size_t>(c) % ports.size()));
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            client.set_url_encode(false);
            std::vector<double>& mine = latencies[static_cast<size_t>(c)];
            mine.reserve(static_cast<size_t>(perClient));
            for (int i = 0; i < perClient; ++i) {
                const Clock::time_point before = Clock::now();
                if (!request(client, c, i))
                    ++failures;
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - before).count());
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuSeconds = processorSeconds() - cpuBefore;

    std::vector<double> all;
    for (const auto& list : latencies)
        all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end());
    const auto percentile
        = [&](double p) { return all.at(std::min(all.size() - 1, static_cast<size_t>(p * all.size()))); };
    Result result;
    result.name = name;
    result.requestsPerSecond = all.size() / seconds;
    result.cpuMicros = cpuSeconds * 1e6 / all.size();
    result.p50 = percentile(0.50);
    result.p90 = percentile(0.90);
    result.p99 = percentile(0.99);
    result.max = all.back();
    result.failures = failures;
    return result;
}

void print(const Result& r)
{
    std::printf(
        "%-30s %8.0f req/s  p50 %6.2f ms  p90 %6.2f ms  p99 %6.2f ms  max %7.2f ms  cpu %6.1f us/req  failed %d\n",
        qPrintable(r.name), r.requestsPerSecond, r.p50, r.p90, r.p99, r.max, r.cpuMicros, r.failures);
    std::fflush(stdout);
}

// The same cheap check for every answer, the baseline's included, so that
// the clients spend alike: the status and the envelope's success.
bool succeeded(const httplib::Result& result)
{
    return result && result->status == 200 && result->body.find("\"success\":true") != std::string::npos;
}

int intOption(const QStringList& args, const QString& name, int fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? std::max(1, args.at(at + 1).toInt()) : fallback;
}

// A station of `records` shippers, consignees and delivered trades (one
// truck), made in one transaction; returns its user's name.
QString seedLargeStation(const platform::Storage& storage, int records)
{
    const QString username = QStringLiteral("bench%1").arg(records);
    const QSqlDatabase db = storage.connection();
    platform::Transaction transaction(db, platform::Transaction::Write);
    platform::Sql organ(db, QStringLiteral("INSERT INTO organs (name, create_time) VALUES (?, '2024-01-01 08:00:00')"));
    organ.bind(QStringLiteral("测试货站%1").arg(records)).exec();
    const qint64 station = organ.lastInsertId();
    platform::SessionService::createUser(
        db, station, username, QString::fromLatin1(platform::DemoSeed::demoPassword()));
    platform::Sql truck(db,
        QStringLiteral("INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage, packingcase_mode,"
                       " driver1_name, driver1_mobile, create_time)"
                       " VALUES (?, ?, 1, 0, 30, 1, '张三', '13800000000', '2024-01-01 08:00:00')"));
    truck.bind(station).bind(QStringLiteral("鲁Q%1").arg(records)).exec();
    const qint64 truckId = truck.lastInsertId();
    // The bulk rows come with their ranks (row i is the i-th oldest, and the
    // station is new). SQLite's rank triggers give each the same; on
    // PostgreSQL they rest meanwhile: one by one, they made a station of
    // 10,000 take minutes.
    const bool postgres = platform::Dialect::of(db).isPostgreSQL();
    const QStringList rankedTables
        = { QStringLiteral("shippers"), QStringLiteral("consignees"), QStringLiteral("trades") };
    if (postgres) {
        for (const QString& table : rankedTables)
            platform::Sql::run(db, QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER %1_rank_insert").arg(table));
    }
    // Rows numbered 1..records, one a minute, each made by one set-based
    // statement.
    const QString numbers = postgres
        ? QStringLiteral("WITH n(i) AS (SELECT generate_series(1, ?)) ")
        : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ");
    const QString minute = postgres
        ? QStringLiteral("to_char(timestamp '2024-01-01 08:00:00' + i * interval '1 minute', 'YYYY-MM-DD HH24:MI:SS')")
        : QStringLiteral("datetime('2024-01-01 08:00:00', '+' || i || ' minutes')");
    platform::Sql shippers(db,
        numbers
            + QStringLiteral("INSERT INTO shippers (organ, name, address, industry, linkman, tel1, create_time,"
                             " list_rank) SELECT ?, '托运人' || i, '临沂市兰山区', '五金', '李四', '05398888888', %1,"
                             " i FROM n ORDER BY i")
                  .arg(minute));
    shippers.bind(records).bind(station).exec();
    platform::Sql consignees(db,
        numbers
            + QStringLiteral("INSERT INTO consignees (organ, name, address, linkman, tel1, create_time, list_rank)"
                             " SELECT ?, '收货人' || i, '济南市历下区', '王五', '05318888888', %1, i FROM n ORDER BY i")
                  .arg(minute));
    consignees.bind(records).bind(station).exec();
    const qint64 firstShipper
        = platform::Sql::scalar(db, QStringLiteral("SELECT MIN(id) FROM shippers WHERE organ = ?"), { station })
              .toLongLong();
    const qint64 firstConsignee
        = platform::Sql::scalar(db, QStringLiteral("SELECT MIN(id) FROM consignees WHERE organ = ?"), { station })
              .toLongLong();
    // Ten of the trades, spread over the station's time, carry "沂蒙果品0".."9"
    // as their goods, for the searches.
    const int tenth = std::max(1, records / 10);
    platform::Sql trades(db,
        numbers
            + QStringLiteral("INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight, value,"
                             " revenue, payout, status, payout_status, create_time, start_time, complete_time,"
                             " list_rank)"
                             " SELECT ?, ?, ? + i % ?, ? + i % ?, '临沂—济南',"
                             " CASE WHEN i % ? = 0 AND i / ? <= 10 THEN '沂蒙果品' || (i / ? - 1) ELSE '瓷砖' END,"
                             " 12.5, 30000, 3000, 2100, 2, 2, %1, %1, %1, i FROM n ORDER BY i")
                  .arg(minute));
    const int spread = std::min(records, 50);
    trades.bind(records)
        .bind(station)
        .bind(truckId)
        .bind(firstShipper)
        .bind(spread)
        .bind(firstConsignee)
        .bind(spread)
        .bind(tenth)
        .bind(tenth)
        .bind(tenth)
        .exec();
    if (postgres) {
        for (const QString& table : rankedTables)
            platform::Sql::run(db, QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER %1_rank_insert").arg(table));
    }
    // What the other searches look for: as many trucks as records, and ten
    // shippers and consignees, whatever the station's size, that hold
    // "蒙果品" ("津M7" for the plates).
    const QString plate = postgres ? QStringLiteral("'鲁' || chr(65 + i % 26) || lpad(i::text, 5, '0')")
                                   : QStringLiteral("'鲁' || char(65 + i % 26) || printf('%05d', i)");
    platform::Sql trucks(db,
        numbers
            + QStringLiteral("INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage,"
                             " packingcase_mode, driver1_name, driver1_mobile, create_time)"
                             " SELECT ?, %1, 1, 0, 30, 1, '张三', '13800000000', '2024-01-01 08:00:00' FROM n")
                  .arg(plate));
    trucks.bind(records - 11).bind(station).exec();
    for (int k = 0; k < 10; ++k) {
        const QString marker = QStringLiteral("沂蒙果品%1").arg(k);
        platform::Sql(db,
            QStringLiteral("INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage,"
                           " packingcase_mode, driver1_name, driver1_mobile, create_time)"
                           " VALUES (?, ?, 1, 0, 30, 1, '张三', '13800000000', '2024-01-01 08:00:00')"))
            .bind(station)
            .bind(QStringLiteral("津M7%1").arg(k))
            .exec();
        platform::Sql(db,
            QStringLiteral("INSERT INTO shippers (organ, name, address, industry, linkman, create_time)"
                           " VALUES (?, ?, '', '', '', '2024-01-01 08:00:00')"))
            .bind(station)
            .bind(marker)
            .exec();
        platform::Sql(db,
            QStringLiteral("INSERT INTO consignees (organ, name, address, linkman, create_time)"
                           " VALUES (?, ?, '', '', '2024-01-01 08:00:00')"))
            .bind(station)
            .bind(marker)
            .exec();
    }
    transaction.commit();
    // The planner's figures of the new rows, as the server's autovacuum
    // would gather them soon after.
    if (platform::Dialect::of(db).isPostgreSQL())
        platform::Sql::run(db, QStringLiteral("ANALYZE"));
    return username;
}

// libmicrohttpd with an event loop of its own, answering every request with
// one constant JSON body.
class ConstantServer
{
public:
    explicit ConstantServer(const std::string& body)
        : body(body)
    {
        sockaddr_in loopback {};
        loopback.sin_family = AF_INET;
        loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        daemon = MHD_start_daemon(MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, &ConstantServer::answer,
            &this->body, MHD_OPTION_SOCK_ADDR, &loopback, MHD_OPTION_END);
        const MHD_DaemonInfo* bound = daemon ? MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
        boundPort = bound ? bound->port : 0;
    }
    ~ConstantServer()
    {
        if (daemon)
            MHD_stop_daemon(daemon);
    }
    ConstantServer(const ConstantServer&) = delete;
    ConstantServer& operator=(const ConstantServer&) = delete;

    int port() const { return boundPort; }

private:
    static MHD_Result answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*, const char*,
        size_t* uploadSize, void** context)
    {
        if (!*context) {
            *context = cls; // the first call only announces the headers
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
        std::string& text = *static_cast<std::string*>(cls);
        MHD_Response* response = MHD_create_response_from_buffer(text.size(), text.data(), MHD_RESPMEM_PERSISTENT);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json; charset=utf-8");
        const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
        MHD_destroy_response(response);
        return queued;
    }

    std::string body;
    MHD_Daemon* daemon = nullptr;
    int boundPort = 0;
};

// Signs `username` in; returns "?token=…&user=…", or an empty text.
std::string signIn(httplib::Client& client, const QString& username)
{
    const std::string form = "password=" + std::string(platform::DemoSeed::demoPassword())
        + "&username=" + QUrl::toPercentEncoding(username).toStdString() + "&";
    const auto login = client.Post("/api/auth/", form, "application/x-www-form-urlencoded");
    const QJsonObject session
        = login ? QJsonDocument::fromJson(QByteArray::fromStdString(login->body)).object() : QJsonObject();
    if (!session.value("success").toBool())
        return std::string();
    return QStringLiteral("?token=%1&user=%2")
        .arg(session.value("token").toString())
        .arg(session.value("user").toInt())
        .toStdString();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int clients = intOption(args, "--clients", 16);
    const int reads = intOption(args, "--reads", 1000);
    const int writes = intOption(args, "--writes", 250);
    const int pages = intOption(args, "--pages", 100);
    const int onlyAt = args.indexOf("--only");
    const QString only = onlyAt >= 0 && onlyAt + 1 < args.size() ? args.at(onlyAt + 1) : QString();
    const int recordsAt = args.indexOf("--records");
    const QStringList recordCounts = recordsAt >= 0 && recordsAt + 1 < args.size()
        ? args.at(recordsAt + 1).split(QLatin1Char(','))
        : QStringList { "1000", "100000" };
    const auto wanted = [&](const QString& name) { return only.isEmpty() || name.contains(only); };

    QTemporaryDir dir;
    platform::DatabaseUrl url = platform::DatabaseUrl::sqliteFile(QDir(dir.path()).filePath("platform.db"));
    const int databaseAt = args.indexOf("--database");
    QString error;
    if (databaseAt >= 0
        && (databaseAt + 1 >= args.size() || !platform::DatabaseUrl::parse(args.at(databaseAt + 1), &url, &error))) {
        std::fprintf(stderr, "--database: %s\n", qPrintable(error));
        return 1;
    }
    platform::Storage storage;
    if (!storage.open(url, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("on %s\n", qPrintable(storage.location()));
    platform::DemoSeed::seedIfEmpty(storage);
    struct LargeStation
    {
        int records;
        QString username;
        std::string suffix;
    };
    std::vector<LargeStation> largeStations;
    for (const QString& count : recordCounts) {
        const int records = std::max(20, count.toInt());
        // A station's account is named after its count of records.
        if (std::any_of(largeStations.begin(), largeStations.end(),
                [records](const LargeStation& station) { return station.records == records; })) {
            std::fprintf(stderr, "--records: %d records named twice\n", records);
            return 2;
        }
        const Clock::time_point before = Clock::now();
        largeStations.push_back({ records, seedLargeStation(storage, records), std::string() });
        std::printf("seeded a station with %d shippers, consignees and trades in %.1f s\n", records,
            std::chrono::duration<double>(Clock::now() - before).count());
    }

    platform::PlatformServer::Config config;
    config.port = 0;
    // Its clients share one session and write far faster than any clerk.
    config.limits.recordWritesPerMinute = 0;
    platform::PlatformServer server(storage, config);
    server.setLogSink([](const QString&) {}); // the lines are formatted, not written
    if (!server.bind(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    server.start();
    // The same platform on the same database, making every answer afresh.
    platform::PlatformServer::Config freshConfig = config;
    freshConfig.reuseAnswers = false;
    platform::PlatformServer fresh(storage, freshConfig);
    fresh.setLogSink([](const QString&) {});
    if (!fresh.bind(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    fresh.start();
    // A second server on the same database, with storage (connections,
    // statements, kept answers) of its own, as a second process would have.
    platform::Storage otherStorage;
    if (!otherStorage.open(url, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    platform::PlatformServer other(otherStorage, config);
    other.setLogSink([](const QString&) {});
    if (!other.bind(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    other.start();

    // Sign in and find a resting truck, a shipper and a consignee.
    httplib::Client setup("127.0.0.1", server.port());
    setup.set_url_encode(false);
    setup.set_read_timeout(60, 0); // a sign-in may take long under a profiler
    const std::string suffix = signIn(setup, QStringLiteral("demo"));
    for (LargeStation& station : largeStations)
        station.suffix = signIn(setup, station.username);
    if (suffix.empty() || std::any_of(largeStations.begin(), largeStations.end(), [](const LargeStation& s) {
            return s.suffix.empty();
        })) {
        std::fprintf(stderr, "cannot sign in\n");
        return 1;
    }
    const std::string truckList = "/api/truck/" + suffix;
    const auto firstId = [&](const std::string& path) {
        const auto answer = setup.Get(path.c_str());
        if (!answer)
            return 0;
        const QJsonArray records
            = QJsonDocument::fromJson(QByteArray::fromStdString(answer->body)).object().value("data").toArray();
        return records.isEmpty() ? 0 : records.first().toObject().value("id").toInt();
    };
    const int truck = firstId("/api/truck/0/" + suffix);
    const int shipper = firstId("/api/shipper/" + suffix + "&page=1&name=");
    const int consignee = firstId("/api/consignee/" + suffix + "&page=1&name=");
    if (truck == 0 || shipper == 0 || consignee == 0) {
        std::fprintf(stderr, "the demo station has no resting truck, shipper or consignee\n");
        return 1;
    }
    const std::string constantBody = setup.Get(truckList.c_str())->body;

    // The baselines: the same library, answering the truck list's body (and
    // the version's) as a constant.
    const ConstantServer baseline(constantBody);
    const std::string versionBody = setup.Get("/api/system/version/windesktop/")->body;
    const ConstantServer versionBaseline(versionBody);
    if (baseline.port() == 0 || versionBaseline.port() == 0) {
        std::fprintf(stderr, "cannot start the baseline server\n");
        return 1;
    }

    std::printf("%d clients on loopback; the truck list answers %zu bytes (%d trucks with their loads)\n", clients,
        constantBody.size(),
        QJsonDocument::fromJson(QByteArray::fromStdString(constantBody)).object().value("data").toArray().size());

    const auto constantGet = [](httplib::Client& client, int, int) { return succeeded(client.Get("/constant")); };
    const auto truckGet = [&](httplib::Client& client, int, int) { return succeeded(client.Get(truckList.c_str())); };
    const std::string addPath = "/api/trade/add/" + suffix;
    const auto tradePost = [&](httplib::Client& client, int c, int i) {
        const QByteArray body = "consignee=" + QByteArray::number(consignee)
            + "&goods=" + QUrl::toPercentEncoding(QStringLiteral("瓷砖%1-%2").arg(c).arg(i)) + "&id=0&is_agency=0&line="
            + QUrl::toPercentEncoding(QStringLiteral("临沂—济南")) + "&notes=&payout=2100&revenue=3000&shipper="
            + QByteArray::number(shipper) + "&truck=" + QByteArray::number(truck) + "&value=30000&weight=12.5&";
        return succeeded(client.Post(addPath.c_str(), body.toStdString(), "application/x-www-form-urlencoded"));
    };

    // The baseline goes beside each round, as the machine's load may change
    // from one round to the next.
    int failures = 0;
    const auto round = [&](const QString& name, int perClient, const Request& request, int baselinePort,
                           const std::vector<int>& ports) {
        const Result constant = measure("baseline constant", { baselinePort }, clients, perClient, constantGet);
        const Result result = measure(name, ports, clients, perClient, request);
        print(constant);
        print(result);
        std::printf("%s / baseline: %.2f of the baseline's requests per second, %.2f of its processor time per"
                    " request (baseline / this)\n\n",
            qPrintable(name), result.requestsPerSecond / constant.requestsPerSecond,
            constant.cpuMicros / result.cpuMicros);
        failures += constant.failures + result.failures;
    };
    measure("warm-up", { baseline.port() }, clients, 50, constantGet);
    measure("warm-up", { server.port() }, clients, 50, truckGet);
    // What the server costs without the database: the version answer.
    const auto versionGet
        = [&](httplib::Client& client, int, int) { return succeeded(client.Get("/api/system/version/windesktop/")); };
    if (wanted("version"))
        round("version (no database)", reads, versionGet, versionBaseline.port(), { server.port() });
    if (wanted("truck list")) {
        round("truck list", reads, truckGet, baseline.port(), { server.port() });
        round("truck list, made afresh", reads, truckGet, baseline.port(), { fresh.port() });
    }
    if (wanted("add trade"))
        round("add trade", writes, tradePost, baseline.port(), { server.port() });
    // Two servers of one database: each write of one changes what the
    // other may reuse.
    if (wanted("two servers")) {
        round("truck list, two servers", reads, truckGet, baseline.port(), { server.port(), other.port() });
        round("add trade, two servers", writes, tradePost, baseline.port(), { server.port(), other.port() });
        const Request mixed = [&](httplib::Client& client, int c, int i) {
            return i % 10 == 0 ? tradePost(client, c, i) : truckGet(client, c, i);
        };
        round("truck list with 1 write in 10, two servers", reads, mixed, baseline.port(),
            { server.port(), other.port() });
    }

    // The paged lists: the first and the last page of each station. The
    // answers are checked to hold a full page.
    struct Row
    {
        QString list;
        int records;
        double first;
        double last;
    };
    std::vector<Row> rows;
    for (const char* list : { "trade", "shipper", "consignee" }) {
        for (const LargeStation& station : largeStations) {
            Row row { QString::fromLatin1(list), station.records, 0, 0 };
            const QString name = QStringLiteral("%1 list, %2 records").arg(row.list).arg(station.records);
            if (!wanted(name))
                continue;
            const int lastPage = (station.records + 19) / 20;
            for (const int page : { 1, lastPage }) {
                const std::string path
                    = "/api/" + std::string(list) + "/" + station.suffix + "&page=" + std::to_string(page) + "&name=";
                const Request get = [&path](httplib::Client& client, int, int) {
                    const auto answer = client.Get(path.c_str());
                    return succeeded(answer) && answer->body.find("\"page_size\":20") != std::string::npos
                        && answer->body.find("\"id\"") != std::string::npos;
                };
                const Result result = measure(
                    QStringLiteral("%1, page %2").arg(name).arg(page), { server.port() }, clients, pages, get);
                print(result);
                failures += result.failures;
                (page == 1 ? row.first : row.last) = result.p50;
            }
            rows.push_back(row);
        }
    }
    if (!rows.empty()) {
        std::printf("\np50 of a page (ms)   records   first page   last page\n");
        for (const Row& row : rows)
            std::printf("%-20s %8d   %10.2f   %9.2f\n", qPrintable(row.list + QStringLiteral(" list")), row.records,
                row.first, row.last);
    }

    // Searches, page 1, in each station: a text of three characters or more
    // (the index), ten hits whatever the station's size; two characters
    // (a scan that stops at a full page), found in every record and in ten;
    // and the trades of one day.
    struct Search
    {
        const char* name;
        const char* list;
        QString query;
    };
    const QString day = QStringLiteral("2024-01-01");
    const std::vector<Search> searches {
        { "search plate, 3 characters", "truck", QStringLiteral("&number=津M7") },
        { "search shipper, 3 characters", "shipper", QStringLiteral("&name=蒙果品") },
        { "search consignee, 3 characters", "consignee", QStringLiteral("&name=蒙果品") },
        { "search trade, 3 characters", "trade", QStringLiteral("&q=蒙果品") },
        { "search shipper, 2 in every one", "shipper", QStringLiteral("&name=托运") },
        { "search shipper, 2 in ten", "shipper", QStringLiteral("&name=果品") },
        { "search trade, 2 in ten", "trade", QStringLiteral("&q=果品") },
        { "trades of one day", "trade", QStringLiteral("&from=%1&to=%1").arg(day) },
    };
    std::vector<std::pair<QString, std::vector<double>>> searchRows;
    for (const Search& search : searches) {
        std::vector<double> p50s;
        for (const LargeStation& station : largeStations) {
            const QString name = QStringLiteral("%1, %2 records").arg(QLatin1String(search.name)).arg(station.records);
            if (!wanted(name))
                continue;
            const std::string path = "/api/" + std::string(search.list) + "/" + station.suffix + "&page=1"
                + search.query.toUtf8().toPercentEncoding("&=").toStdString();
            const Request get = [&path](httplib::Client& client, int, int) {
                const auto answer = client.Get(path.c_str());
                return succeeded(answer) && answer->body.find("\"id\"") != std::string::npos;
            };
            const Result result = measure(name, { server.port() }, clients, pages, get);
            print(result);
            failures += result.failures;
            p50s.push_back(result.p50);
        }
        if (!p50s.empty())
            searchRows.emplace_back(QLatin1String(search.name), p50s);
    }
    if (!searchRows.empty()) {
        std::printf("\np50 of a search (ms)");
        for (const LargeStation& station : largeStations)
            std::printf("   %8d", station.records);
        std::printf("\n");
        for (const auto& row : searchRows) {
            std::printf("%-32s", qPrintable(row.first));
            for (const double p50 : row.second)
                std::printf("   %8.2f", p50);
            std::printf("\n");
        }
    }

    other.stop();
    fresh.stop();
    server.stop();
    return failures == 0 ? 0 : 1;
}
