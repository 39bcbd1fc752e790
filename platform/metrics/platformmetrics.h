#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace prometheus {
class Collectable;
}

namespace platform {

// The platform's metrics: one prometheus-cpp registry for the whole process,
// shown by MetricsServer. The places that count call one function here each;
// every call is cheap (an atomic add, after a look-up of its labels where it
// has some) and safe from any thread.
//
// What is easier to look up than to follow (open connections, sessions, the
// answers kept for reuse) is read when the metrics are collected, through
// readers that their owners register for as long as they live.
class PlatformMetrics
{
public:
    static PlatformMetrics& instance();

    // A request answered: its route (the pattern that named it, such as
    // "truck/*/edit", or what the server answered by itself), its HTTP status
    // and the seconds from its arrival to its answer.
    void requestAnswered(const std::string& route, int status, double seconds);
    // A connection or a request refused by `limit` (such as "write_rate").
    void refused(const std::string& limit);
    // A statement failed for a reason of the database's, not of the request.
    void databaseError();
    // A connection that the database server dropped was opened anew.
    void databaseReconnected();
    // A read answered from the answers kept (`hit`) or made afresh.
    void answerReused(bool hit);
    // A writer waited this long for the database's write lock.
    void writeLockWaited(double seconds);

    enum class Kind { Gauge, Counter };
    using Reader = std::function<double()>;
    // Shows `reader`'s value as the metric `name` until the handle returned
    // goes. The readers of one name add up (several servers in one process).
    // A reader is called on the metrics server's threads.
    [[nodiscard]] std::shared_ptr<void> addReader(
        const std::string& name, const std::string& help, Kind kind, Reader reader);

    // What an exposer shows: the registry and the readers.
    std::vector<std::weak_ptr<prometheus::Collectable>> collectables() const;
    // The metrics in Prometheus's text format, as a scrape would get them.
    std::string text() const;

    PlatformMetrics(const PlatformMetrics&) = delete;
    PlatformMetrics& operator=(const PlatformMetrics&) = delete;

private:
    PlatformMetrics();
    ~PlatformMetrics();

    struct Families;
    class Readers;
    std::unique_ptr<Families> families;
    std::shared_ptr<Readers> readers;
};

} // namespace platform
