// The voice line format on its own, single-threaded: bytes arrive in chunks
// of any size, LineBuffer hands out the lines the switch reads, and every
// line that splits is re-made identically by makeLine. The conversation with
// the switch itself is fuzz_voiceline's.
//
// Input: byte 0 sets the chunk size; the rest is the byte stream.

#include "linebuffer.h"
#include "wireline.h"
#include "wireroundtrip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_voicewire: %s\n", what);
    std::abort();
}

// What the switch must read from `stream`: its complete lines, up to the
// first one (complete or not) that is too long.
std::vector<std::string> expectedLines(const std::string& stream)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < stream.size()) {
        const std::size_t end = stream.find('\n', start);
        const std::size_t length = (end == std::string::npos ? stream.size() : end) - start;
        if (length > voicewire::MaxLineLength + 1 || end == std::string::npos)
            break;
        lines.push_back(stream.substr(start, length));
        start = end + 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64 * (data[0] >= 128 ? 37 : 1);
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

    // As the switch reads a connection: append what arrived, take every
    // complete line, and give up once the buffer overflows.
    voicewire::LineBuffer buffer;
    std::vector<std::string> lines;
    for (std::size_t offset = 0; offset < stream.size(); offset += chunk) {
        const std::string piece = stream.substr(offset, chunk);
        buffer.append(piece.data(), piece.size());
        std::string line;
        while (buffer.nextLine(line))
            lines.push_back(line);
        if (buffer.overflowed())
            break;
    }
    if (lines != expectedLines(stream))
        fail("LineBuffer hands out other lines than the stream holds");
    for (const std::string& line : lines)
        fuzzwire::checkLine(line, &fail);
    return 0;
}
