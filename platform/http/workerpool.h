#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// A fixed set of threads that run posted jobs in the order they came. The
// queue is bounded: a job beyond `maxQueued` waiting jobs is refused, and so
// is every job posted once stop() has begun. stop() lets the jobs already
// queued finish, then joins the threads.
class WorkerPool
{
public:
    WorkerPool(int threads, size_t maxQueued);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // False when the job was not queued (the pool is full or stopping).
    bool post(std::function<void()> job);
    void stop();

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    size_t maxQueued;
    bool stopping = false;
    std::vector<std::thread> threads;
};

} // namespace platform
