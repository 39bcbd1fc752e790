#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// A fixed set of threads that run posted jobs. Each job comes in a lane (the
// group of its client's address): jobs of one lane run in the order they
// came, and the lanes take turns, so that a flood of jobs in one lane makes
// the others wait for one job of it at a time, not for all of them. The
// queue is bounded: a job beyond `maxQueued` waiting jobs, or beyond
// `maxQueuedPerLane` of its lane, is refused, and so is every job posted
// once stop() has begun. stop() lets the jobs already queued finish, then
// joins the threads.
class WorkerPool
{
public:
    WorkerPool(int threads, size_t maxQueued, size_t maxQueuedPerLane = 0);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // False when the job was not queued (the pool or the lane is full, or
    // the pool is stopping).
    bool post(std::function<void()> job, const std::string& lane = std::string());
    void stop();

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::map<std::string, std::deque<std::function<void()>>> lanes;
    // The lanes with jobs, in the order of their turns.
    std::deque<std::string> turns;
    size_t queued = 0;
    size_t maxQueued;
    size_t maxQueuedPerLane;
    bool stopping = false;
    std::vector<std::thread> threads;
};

} // namespace platform
