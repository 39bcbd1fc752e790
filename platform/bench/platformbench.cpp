// Throughput and latency of the platform on loopback: the truck list and
// adding a trade, beside the platform's HTTP library (libmicrohttpd, with the
// same event loop) answering a constant JSON body (the baseline) in the same
// run. Not a test; run it by hand:
//   freymo-platform-bench [--clients N] [--reads N] [--writes N]

#include "demoseed.h"
#include "platformserver.h"
#include "storage.h"

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
    int failures = 0;
};

// Runs `perClient` requests on each of `clients` kept-alive connections at once.
// `request` returns false for a failed request.
Result measure(const QString& name, int port, int clients, int perClient,
    const std::function<bool(httplib::Client&, int client, int index)>& request)
{
    std::vector<std::vector<double>> latencies(static_cast<size_t>(clients));
    std::atomic<int> failures { 0 };
    std::vector<std::thread> threads;
    const Clock::time_point start = Clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
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

    std::vector<double> all;
    for (const auto& list : latencies)
        all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end());
    const auto percentile
        = [&](double p) { return all.at(std::min(all.size() - 1, static_cast<size_t>(p * all.size()))); };
    Result result;
    result.name = name;
    result.requestsPerSecond = all.size() / seconds;
    result.p50 = percentile(0.50);
    result.p90 = percentile(0.90);
    result.p99 = percentile(0.99);
    result.max = all.back();
    result.failures = failures;
    return result;
}

void print(const Result& r)
{
    std::printf("%-22s %9.0f req/s   p50 %6.2f ms   p90 %6.2f ms   p99 %6.2f ms   max %7.2f ms   failed %d\n",
        qPrintable(r.name), r.requestsPerSecond, r.p50, r.p90, r.p99, r.max, r.failures);
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int clients = intOption(args, "--clients", 4);
    const int reads = intOption(args, "--reads", 2000);
    const int writes = intOption(args, "--writes", 500);

    QTemporaryDir dir;
    platform::Storage storage;
    QString error;
    if (!storage.open(QDir(dir.path()).filePath("platform.db"), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    platform::DemoSeed::seedIfEmpty(storage);
    platform::PlatformServer::Config config;
    config.port = 0;
    platform::PlatformServer server(storage, config);
    server.setLogSink([](const QString&) {}); // the lines are formatted, not written
    if (!server.bind(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    server.start();

    // Sign in and find a resting truck, a shipper and a consignee.
    httplib::Client setup("127.0.0.1", server.port());
    setup.set_url_encode(false);
    const auto login = setup.Post("/api/auth/", "password=load&username=demo&", "application/x-www-form-urlencoded");
    const QJsonObject session
        = login ? QJsonDocument::fromJson(QByteArray::fromStdString(login->body)).object() : QJsonObject();
    if (!session.value("success").toBool()) {
        std::fprintf(stderr, "cannot sign in as the demo user\n");
        return 1;
    }
    const std::string suffix = QStringLiteral("?token=%1&user=%2")
                                   .arg(session.value("token").toString())
                                   .arg(session.value("user").toInt())
                                   .toStdString();
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

    // The baseline: the same library, answering that body as a constant.
    struct Constant
    {
        static MHD_Result answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*,
            const char*, size_t* uploadSize, void** context)
        {
            if (!*context) {
                *context = cls; // the first call only announces the headers
                return MHD_YES;
            }
            if (*uploadSize > 0) {
                *uploadSize = 0;
                return MHD_YES;
            }
            const std::string& body = *static_cast<const std::string*>(cls);
            MHD_Response* response
                = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_PERSISTENT);
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json; charset=utf-8");
            const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
            MHD_destroy_response(response);
            return queued;
        }
    };
    sockaddr_in loopback {};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    MHD_Daemon* baseline = MHD_start_daemon(MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, &Constant::answer,
        const_cast<std::string*>(&constantBody), MHD_OPTION_SOCK_ADDR, &loopback, MHD_OPTION_END);
    const MHD_DaemonInfo* bound = baseline ? MHD_get_daemon_info(baseline, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    if (!bound) {
        std::fprintf(stderr, "cannot start the baseline server\n");
        return 1;
    }
    const int baselinePort = bound->port;

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

    // Warm up, then measure.
    measure("warm-up", baselinePort, clients, 100, constantGet);
    measure("warm-up", server.port(), clients, 100, truckGet);
    const Result constant = measure("baseline constant", baselinePort, clients, reads, constantGet);
    const Result trucks = measure("truck list", server.port(), clients, reads, truckGet);
    const Result baselineForWrites = measure("baseline constant", baselinePort, clients, writes, constantGet);
    const Result trades = measure("add trade", server.port(), clients, writes, tradePost);
    print(constant);
    print(trucks);
    print(trades);
    std::printf("truck list / baseline: %.2f of the baseline's requests per second\n",
        trucks.requestsPerSecond / constant.requestsPerSecond);
    std::printf(
        "add trade / baseline:  %.2f of the baseline's requests per second (baseline %.0f req/s in that round)\n",
        trades.requestsPerSecond / baselineForWrites.requestsPerSecond, baselineForWrites.requestsPerSecond);

    MHD_stop_daemon(baseline);
    server.stop();
    return constant.failures + trucks.failures + trades.failures == 0 ? 0 : 1;
}
