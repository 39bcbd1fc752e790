#include "platformmetrics.h"

#include <prometheus/collectable.h>
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/histogram.h>
#include <prometheus/metric_family.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <exception>
#include <map>
#include <mutex>

namespace platform {

namespace {

// From a millisecond to ten seconds: the cached board's answers take well
// under one, a sign-in's password hash some tenths.
const prometheus::Histogram::BucketBoundaries requestSeconds
    = { 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10 };
// A free lock is had within microseconds; SQLite's busy timeout ends at ten
// seconds.
const prometheus::Histogram::BucketBoundaries lockSeconds = { 0.0001, 0.001, 0.005, 0.01, 0.05, 0.1, 0.5, 1, 5, 10 };

} // namespace

struct PlatformMetrics::Families
{
    std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
    prometheus::Family<prometheus::Counter>& requests = prometheus::BuildCounter()
                                                            .Name("freymo_platform_requests_total")
                                                            .Help("Requests answered, by route and HTTP status.")
                                                            .Register(*registry);
    prometheus::Family<prometheus::Histogram>& durations
        = prometheus::BuildHistogram()
              .Name("freymo_platform_request_duration_seconds")
              .Help("Seconds from a request's arrival to its answer, by route.")
              .Register(*registry);
    prometheus::Family<prometheus::Counter>& refusals = prometheus::BuildCounter()
                                                            .Name("freymo_platform_refusals_total")
                                                            .Help("Connections and requests refused, by limit.")
                                                            .Register(*registry);
    prometheus::Counter& databaseErrors = prometheus::BuildCounter()
                                              .Name("freymo_platform_database_errors_total")
                                              .Help("Statements that failed for a reason of the database's.")
                                              .Register(*registry)
                                              .Add({});
    prometheus::Counter& reconnections
        = prometheus::BuildCounter()
              .Name("freymo_platform_database_reconnections_total")
              .Help("Connections that the database server dropped, replaced at their next use.")
              .Register(*registry)
              .Add({});
    prometheus::Family<prometheus::Counter>& reuse = prometheus::BuildCounter()
                                                         .Name("freymo_platform_answer_reuse_total")
                                                         .Help("Reads answered from the answers kept (result hit) or "
                                                               "made afresh (result miss).")
                                                         .Register(*registry);
    prometheus::Counter& hits = reuse.Add({ { "result", "hit" } });
    prometheus::Counter& misses = reuse.Add({ { "result", "miss" } });
    prometheus::Histogram& lockWaits = prometheus::BuildHistogram()
                                           .Name("freymo_platform_write_lock_wait_seconds")
                                           .Help("Seconds that writers waited for the database's write lock.")
                                           .Register(*registry)
                                           .Add({}, lockSeconds);
};

class PlatformMetrics::Readers : public prometheus::Collectable
{
public:
    struct Entry
    {
        std::string name;
        std::string help;
        Kind kind;
        Reader reader;
    };

    std::vector<prometheus::MetricFamily> Collect() const override
    {
        const std::lock_guard<std::mutex> lock(mutex);
        std::map<std::string, prometheus::MetricFamily> byName;
        for (const auto& [id, entry] : entries) {
            double value = 0;
            try {
                value = entry.reader();
            } catch (const std::exception&) {
                continue; // nothing to show this time (the database is away)
            }
            prometheus::MetricFamily& family = byName[entry.name];
            if (family.metric.empty()) {
                family.name = entry.name;
                family.help = entry.help;
                family.type
                    = entry.kind == Kind::Gauge ? prometheus::MetricType::Gauge : prometheus::MetricType::Counter;
                family.metric.emplace_back();
            }
            family.metric.front().gauge.value += value;
            family.metric.front().counter.value += value;
        }
        std::vector<prometheus::MetricFamily> families;
        for (auto& named : byName)
            families.push_back(std::move(named.second));
        return families;
    }

    int add(Entry entry)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        entries.emplace(++lastId, std::move(entry));
        return lastId;
    }

    void remove(int id)
    {
        const std::lock_guard<std::mutex> lock(mutex);
        entries.erase(id);
    }

private:
    mutable std::mutex mutex;
    std::map<int, Entry> entries;
    int lastId = 0;
};

PlatformMetrics::PlatformMetrics()
    : families(std::make_unique<Families>())
    , readers(std::make_shared<Readers>())
{
}

PlatformMetrics::~PlatformMetrics() = default;

PlatformMetrics& PlatformMetrics::instance()
{
    static PlatformMetrics metrics;
    return metrics;
}

void PlatformMetrics::requestAnswered(const std::string& route, int status, double seconds)
{
    families->requests.Add({ { "route", route }, { "status", std::to_string(status) } }).Increment();
    families->durations.Add({ { "route", route } }, requestSeconds).Observe(seconds);
}

void PlatformMetrics::refused(const std::string& limit)
{
    families->refusals.Add({ { "limit", limit } }).Increment();
}

void PlatformMetrics::databaseError()
{
    families->databaseErrors.Increment();
}

void PlatformMetrics::databaseReconnected()
{
    families->reconnections.Increment();
}

void PlatformMetrics::answerReused(bool hit)
{
    (hit ? families->hits : families->misses).Increment();
}

void PlatformMetrics::writeLockWaited(double seconds)
{
    families->lockWaits.Observe(seconds);
}

std::shared_ptr<void> PlatformMetrics::addReader(
    const std::string& name, const std::string& help, Kind kind, Reader reader)
{
    const int id = readers->add({ name, help, kind, std::move(reader) });
    std::weak_ptr<Readers> owner = readers;
    return std::shared_ptr<void>(nullptr, [owner, id](void*) {
        if (const auto kept = owner.lock())
            kept->remove(id);
    });
}

std::vector<std::weak_ptr<prometheus::Collectable>> PlatformMetrics::collectables() const
{
    return { families->registry, readers };
}

std::string PlatformMetrics::text() const
{
    std::vector<prometheus::MetricFamily> all = families->registry->Collect();
    for (prometheus::MetricFamily& family : readers->Collect())
        all.push_back(std::move(family));
    return prometheus::TextSerializer().Serialize(all);
}

} // namespace platform
