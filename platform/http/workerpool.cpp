#include "workerpool.h"

#include <algorithm>

namespace platform {

WorkerPool::WorkerPool(int count, size_t limit, size_t laneLimit)
    : maxQueued(limit)
    , maxQueuedPerLane(laneLimit == 0 ? limit : laneLimit)
{
    for (int i = 0; i < std::max(1, count); ++i)
        threads.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool()
{
    stop();
}

bool WorkerPool::post(std::function<void()> job, const std::string& lane)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping || queued >= maxQueued)
            return false;
        std::deque<std::function<void()>>& jobs = lanes[lane];
        if (jobs.size() >= maxQueuedPerLane)
            return false;
        if (jobs.empty())
            turns.push_back(lane);
        jobs.push_back(std::move(job));
        ++queued;
    }
    wake.notify_one();
    return true;
}

void WorkerPool::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        if (thread.joinable())
            thread.join();
    }
    threads.clear();
}

void WorkerPool::run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return stopping || queued > 0; });
            if (queued == 0)
                return; // stopping, and nothing is left to do
            const std::string lane = std::move(turns.front());
            turns.pop_front();
            const auto jobs = lanes.find(lane);
            job = std::move(jobs->second.front());
            jobs->second.pop_front();
            --queued;
            // The lane's next job waits for its next turn, behind the others.
            if (jobs->second.empty())
                lanes.erase(jobs);
            else
                turns.push_back(lane);
        }
        job();
    }
}

} // namespace platform
