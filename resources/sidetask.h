#pragma once

#include <functional>
#include <thread>

// Runs one piece of work on a thread of its own from construction, so that
// the thread that made it can go on meanwhile; wait() returns once the work
// is done. Where no thread can be had, the constructor does the work itself.
// The destructor waits, so no way out of the owner leaves the work running.
class SideTask
{
public:
    explicit SideTask(const std::function<void()>& work);
    ~SideTask();
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;

    // Returns once the work is done; at once on later calls.
    void wait();

private:
    std::thread thread;
};
