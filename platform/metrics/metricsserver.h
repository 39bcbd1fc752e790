#pragma once

#include <memory>
#include <string>

namespace prometheus {
class Exposer;
}

namespace platform {

// Shows PlatformMetrics in Prometheus's text format at "/metrics" on an
// address of its own (loopback unless told otherwise), apart from the API's
// port: whoever may scrape the metrics need not reach the desks' port, and
// the API's limits and host checks do not apply to the scraper.
class MetricsServer
{
public:
    MetricsServer();
    ~MetricsServer();

    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens on `address` (numeric, IPv4 or IPv6) and `port` (0: any free
    // one). False with `error` set when it cannot.
    bool start(const std::string& address, int port, std::string* error);
    // The port listened on; 0 before start().
    int port() const { return boundPort; }

private:
    std::unique_ptr<prometheus::Exposer> exposer;
    int boundPort = 0;
};

} // namespace platform
