// Feeds arbitrary bytes from a client to the request gate that stands before
// the platform's HTTP library, as the connection front does: in pieces no
// larger than the gate wants, passing on what it let through after each one.
// The same bytes in one piece at a time of every size must be let through
// alike and refused alike, whatever the pieces: a request's fate cannot depend
// on how TCP cut it up.
//
// Input: the first byte sets the piece size of the second run (1 to 256); the
// rest is what the client sends.

#include "requestgate.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace platform;

namespace {

struct Run
{
    std::string passed;
    int status = 0;
};

Run feed(const RequestGate::Settings& settings, const uint8_t* data, size_t size, size_t piece)
{
    RequestGate gate(settings);
    Run run;
    size_t at = 0;
    while (at < size && gate.wantsMore()) {
        const size_t room = settings.maxHeadBytes + 1 - gate.pending().size();
        const size_t take = std::min({ piece, room, size - at });
        gate.feed(reinterpret_cast<const char*>(data) + at, take);
        at += take;
        if (gate.ready() > gate.pending().size())
            std::abort();
        run.passed.append(gate.pending(), 0, gate.ready());
        gate.passed(gate.ready());
    }
    run.status = gate.refusalOf().status;
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static RequestGate::Settings settings = [] {
        RequestGate::Settings s;
        s.hosts = { "127.0.0.1", "localhost", "station.example" };
        s.maxHeadBytes = 2048; // small, so that the fuzzer reaches the limit
        s.maxFormBytes = 100;
        s.maxBodyBytes = 1000;
        return s;
    }();
    const size_t piece = 1 + data[0];
    const Run whole = feed(settings, data + 1, size - 1, settings.maxHeadBytes + 1);
    const Run cut = feed(settings, data + 1, size - 1, piece);
    if (whole.status != cut.status || whole.passed != cut.passed)
        std::abort();
    switch (whole.status) {
    case 0:
    case 400:
    case 413:
    case 421:
    case 431:
    case 505:
        break;
    default:
        std::abort();
    }
    return 0;
}
