#pragma once

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

struct MHD_Connection;

namespace platform {

class EventStream;

// One request from its headers to its answer. It lives from the first call of
// the request handler to the library's notice that the request completed;
// while a worker answers it, the connection is suspended and only that worker
// touches it.
struct Exchange
{
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    MHD_Connection* connection = nullptr;
    std::string method;
    std::string target; // as sent
    std::string path; // decoded, without the query
    std::string peer;
    std::string group; // of the peer's address (ConnectionFront::groupOf)
    std::string body;
    size_t bodyLimit = 0;
    bool form = false;
    bool tooLarge = false;
    bool dispatched = false;
    bool ready = false; // `status` and `answer` are the answer to send
    bool queued = false; // an answer is on its way: nothing more to do
    int status = 0;
    // Shared with the answers kept for reuse, and handed to the library
    // without a copy.
    QByteArray answer;
    // What the answer budget was charged for this answer (AnswerBudget).
    size_t charged = 0;
    // What answered, for the metrics: a route's pattern, or "-".
    std::string route = "-";
    // The Last-Event-ID header, for a stream of changes.
    std::string lastEventId;
    // Set instead of `answer` when the answer is a stream of changes; it
    // ends when the request does.
    std::shared_ptr<EventStream> stream;
};

} // namespace platform
