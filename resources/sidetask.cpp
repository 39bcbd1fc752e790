#include "resources/sidetask.h"

#include <system_error>

SideTask::SideTask(const std::function<void()>& work)
{
    try {
        thread = std::thread(work);
    } catch (const std::system_error&) {
        work();
    }
}

SideTask::~SideTask()
{
    wait();
}

void SideTask::wait()
{
    if (thread.joinable())
        thread.join();
}
