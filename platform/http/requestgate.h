#pragma once

#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace platform {

// Looks at one connection's bytes before the HTTP library sees them, and lets
// through only requests whose framing nobody can read two ways: each head is
// checked whole before any of it passes, a body passes as its length or its
// chunks say, and everything after a refused request stays behind. The
// library's own error pages never come into play, so every refusal goes out
// in the platform's envelope.
class RequestGate
{
public:
    struct Settings
    {
        // Host names (lower case, without port or brackets) that requests
        // may name; with `anyAddress` also any numeric address, which no
        // other site's name can be made to resolve to.
        std::vector<std::string> hosts;
        bool anyAddress = false;
        // Request line and headers together, and the number of header (and
        // trailer) lines: many short lines fit the bytes but not the
        // library's memory, which would answer them with its own page.
        size_t maxHeadBytes = 32 * 1024;
        size_t maxHeaders = 100;
        // What "Expect: 100-continue" may announce, for forms and for other
        // bodies.
        size_t maxFormBytes = 8 * 1024;
        size_t maxBodyBytes = 64 * 1024;
    };
    struct Refusal
    {
        int status = 0; // 0: nothing refused
        QString message;
        std::string method; // as far as they were read; may be any bytes
        std::string target;
    };

    explicit RequestGate(const Settings& settings);

    // Appends bytes from the client and checks as far as they go.
    void feed(const char* data, size_t size);
    // The bytes not yet passed on; the first ready() of them may go to the
    // server.
    const std::string& pending() const { return buffer; }
    size_t ready() const { return approved; }
    // The first `count` ready bytes went to the server.
    void passed(size_t count);
    // Whether to read more from the client: false after a refusal, and while
    // the bytes held back already fill a head.
    bool wantsMore() const;
    bool refused() const { return refusal.status != 0; }
    // Whole requests approved (head and body) that the server has not yet
    // answered; the one whose body is still coming is not counted, since it
    // may never be answered.
    size_t unanswered() const;
    // Whether the oldest request not yet answered is a HEAD request, whose
    // answer carries no body.
    bool awaitsHead() const { return !awaiting.empty() && awaiting.front(); }
    // The server answered the oldest request.
    void answered();
    const Refusal& refusalOf() const { return refusal; }

    // The host of a Host value or an address ("name", "name:port",
    // "[v6]:port"), lower case and without a final dot; empty when `value`
    // is no such thing. `numeric` tells whether it is a numeric address.
    static std::string hostName(const std::string& value, bool* numeric);

    // "HTTP/1.1 <status> ..." with the envelope as its body, ending the
    // connection.
    static std::string answer(int status, const QString& message);

private:
    enum class State { Head, Length, ChunkSize, ChunkData, ChunkEnd, Trailer };

    void scan();
    bool scanHead();
    bool scanChunkLine();
    void checkHead(size_t end);
    void refuse(int status, const QString& message);

    const Settings& settings;
    std::string buffer;
    size_t approved = 0;
    size_t scanned = 0; // where the search for a line end resumes
    size_t trailerBytes = 0;
    size_t trailerLines = 0;
    State state = State::Head;
    uint64_t remaining = 0;
    Refusal refusal;
    std::deque<bool> awaiting; // per approved head, oldest first: whether it is HEAD
};

} // namespace platform
