#include "answerbudget.h"

#include <algorithm>
#include <utility>

namespace platform {

AnswerBudget::AnswerBudget(const Limits& budgetLimits)
    : limits(budgetLimits)
{
}

bool AnswerBudget::hasRoom(const std::string& group) const
{
    if (limits.total > 0 && total >= limits.total)
        return false;
    if (limits.perGroup == 0)
        return true;
    const auto it = byGroup.find(group);
    return it == byGroup.end() || it->second < limits.perGroup;
}

bool AnswerBudget::admit(const std::string& group, std::function<void()> retry, bool* firstToWait)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (hasRoom(group))
        return true;
    if (firstToWait)
        *firstToWait = std::none_of(waiting.begin(), waiting.end(), [&](const Waiting& w) { return w.group == group; });
    waiting.push_back({ group, std::move(retry) });
    return false;
}

void AnswerBudget::charge(const std::string& group, size_t bytes)
{
    if (bytes == 0)
        return;
    std::lock_guard<std::mutex> lock(mutex);
    byGroup[group] += bytes;
    total += bytes;
}

void AnswerBudget::release(const std::string& group, size_t bytes)
{
    std::deque<std::function<void()>> retries;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = byGroup.find(group);
        if (it != byGroup.end()) {
            const size_t taken = std::min(bytes, it->second);
            it->second -= taken;
            total -= std::min(taken, total);
            if (it->second == 0)
                byGroup.erase(it);
        }
        // Every request that has room now asks again, in the order they
        // came; those that find the room taken by then wait once more.
        for (auto w = waiting.begin(); w != waiting.end();) {
            if (hasRoom(w->group)) {
                retries.push_back(std::move(w->retry));
                w = waiting.erase(w);
            } else {
                ++w;
            }
        }
    }
    for (std::function<void()>& retry : retries)
        retry();
}

void AnswerBudget::releaseWaiting()
{
    std::deque<Waiting> all;
    {
        std::lock_guard<std::mutex> lock(mutex);
        all.swap(waiting);
    }
    for (Waiting& w : all)
        w.retry();
}

size_t AnswerBudget::heldBytes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return total;
}

size_t AnswerBudget::waitingRequests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return waiting.size();
}

} // namespace platform
