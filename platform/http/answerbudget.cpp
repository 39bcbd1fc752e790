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
    const auto made = making.find(group);
    if (limits.makingPerGroup > 0 && made != making.end() && made->second >= limits.makingPerGroup)
        return false;
    if (limits.perGroup == 0)
        return true;
    const auto it = byGroup.find(group);
    return it == byGroup.end() || it->second < limits.perGroup;
}

bool AnswerBudget::admit(const std::string& group, std::function<void()> retry, bool* firstToWait)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (hasRoom(group)) {
        ++making[group];
        return true;
    }
    if (firstToWait)
        *firstToWait = std::none_of(waiting.begin(), waiting.end(), [&](const Waiting& w) { return w.group == group; });
    waiting.push_back({ group, std::move(retry) });
    return false;
}

void AnswerBudget::charge(const std::string& group, size_t bytes)
{
    std::deque<std::function<void()>> retries;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto made = making.find(group);
        if (made != making.end() && --made->second == 0)
            making.erase(made);
        if (bytes > 0) {
            byGroup[group] += bytes;
            total += bytes;
        }
        retries = takeRetries();
    }
    for (std::function<void()>& retry : retries)
        retry();
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
        retries = takeRetries();
    }
    for (std::function<void()>& retry : retries)
        retry();
}

std::deque<std::function<void()>> AnswerBudget::takeRetries()
{
    // The requests that have room now ask again, in the order they came, as
    // many of a group as it may have answers made; those that find the room
    // taken by then wait once more.
    std::deque<std::function<void()>> retries;
    std::map<std::string, size_t> woken;
    for (auto w = waiting.begin(); w != waiting.end();) {
        const auto made = making.find(w->group);
        const size_t busy = (made == making.end() ? 0 : made->second) + woken[w->group];
        if (hasRoom(w->group) && (limits.makingPerGroup == 0 || busy < limits.makingPerGroup)) {
            ++woken[w->group];
            retries.push_back(std::move(w->retry));
            w = waiting.erase(w);
        } else {
            ++w;
        }
    }
    return retries;
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
