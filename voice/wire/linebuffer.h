#pragma once

#include <string>

namespace voicewire {

// Collects bytes from a stream socket and hands out complete lines.
class LineBuffer
{
public:
    void append(const char* data, std::size_t size) { pending.append(data, size); }

    // Takes the next complete line, without its LF. False when none is
    // complete yet.
    bool nextLine(std::string& line);

    // True when more than MaxLineLength bytes arrived without a LF: the peer
    // does not speak the protocol, and the connection should be dropped.
    bool overflowed() const;

    void clear() { pending.clear(); }
    // Bytes held, complete lines and the unfinished rest.
    std::size_t size() const { return pending.size(); }

private:
    std::string pending;
};

} // namespace voicewire
