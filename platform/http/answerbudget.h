#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace platform {

// The bytes of answers that wait to be read, by group of client addresses
// and in total. An answer is charged once a worker has made it and released
// once the HTTP library has handed all of it on towards its client (the
// front then holds at most a little of it for the connection, and the
// library one answer per connection at a time). A request whose group, or
// the whole server, is at its bound is not answered meanwhile: it waits,
// its connection suspended, until enough has been read, so that clients
// that ask again and again and never read cannot make the server hold
// answer after answer. Each request is admitted on a worker right before
// its answer is made, and at most `makingPerGroup` answers of one group are
// made at once, so that a group overshoots its bound by at most that many
// answers (and cannot take every worker).
//
// Thread-safe. The continuations run without the budget's lock held.
class AnswerBudget
{
public:
    struct Limits
    {
        // 0: no bound.
        size_t perGroup = 16 * 1024 * 1024;
        size_t total = 64 * 1024 * 1024;
        size_t makingPerGroup = 8; // 0: no bound
    };

    explicit AnswerBudget(const Limits& limits);

    AnswerBudget(const AnswerBudget&) = delete;
    AnswerBudget& operator=(const AnswerBudget&) = delete;

    // True when `group` and the total are below their bounds and fewer than
    // makingPerGroup answers of the group are being made: the caller makes
    // one, and charges it. Otherwise false, and `retry` runs once there is
    // room (or the server stops), to ask again; `firstToWait` tells whether
    // no other request of the group was waiting.
    bool admit(const std::string& group, std::function<void()> retry, bool* firstToWait = nullptr);
    // The answer admitted for `group` was made: `bytes` wait to be read.
    void charge(const std::string& group, size_t bytes);
    void release(const std::string& group, size_t bytes);
    // Runs every kept retry now, room or not: the server is stopping.
    void releaseWaiting();

    // What is charged, and how many requests wait.
    size_t heldBytes() const;
    size_t waitingRequests() const;

private:
    struct Waiting
    {
        std::string group;
        std::function<void()> retry;
    };

    bool hasRoom(const std::string& group) const;
    // Takes the retries that have room now out of `waiting`.
    std::deque<std::function<void()>> takeRetries();

    const Limits limits;
    mutable std::mutex mutex;
    std::map<std::string, size_t> byGroup;
    std::map<std::string, size_t> making;
    size_t total = 0;
    std::deque<Waiting> waiting;
};

} // namespace platform
