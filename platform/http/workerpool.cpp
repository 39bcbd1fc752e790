#include "workerpool.h"

#include <algorithm>

namespace platform {

WorkerPool::WorkerPool(int count, size_t limit)
    : maxQueued(limit)
{
    for (int i = 0; i < std::max(1, count); ++i)
        threads.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool()
{
    stop();
}

bool WorkerPool::post(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping || jobs.size() >= maxQueued)
            return false;
        jobs.push_back(std::move(job));
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
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return; // stopping, and nothing is left to do
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job();
    }
}

} // namespace platform
