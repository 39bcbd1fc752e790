#include "metricsserver.h"

#include "platformmetrics.h"

#include <prometheus/exposer.h>

#include <exception>

namespace platform {

MetricsServer::MetricsServer() = default;

MetricsServer::~MetricsServer() = default;

bool MetricsServer::start(const std::string& address, int port, std::string* error)
{
    const bool v6 = address.find(':') != std::string::npos;
    const std::string listen = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
    try {
        // Two threads: a scraper or two, never the desks.
        exposer = std::make_unique<prometheus::Exposer>(listen, 2);
        for (const auto& collectable : PlatformMetrics::instance().collectables())
            exposer->RegisterCollectable(collectable);
        const std::vector<int> ports = exposer->GetListeningPorts();
        boundPort = ports.empty() ? 0 : ports.front();
    } catch (const std::exception& failure) {
        exposer.reset();
        *error = "cannot listen on " + listen + ": " + failure.what();
        return false;
    }
    return boundPort > 0;
}

} // namespace platform
