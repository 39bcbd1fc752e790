#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <string>

namespace platform {

// The first line of a connection that a proxy (HAProxy's "send-proxy") opens
// on behalf of a client: version 1 of the PROXY protocol, which names the
// client's address before any byte of the client's own.
//   PROXY TCP4 192.0.2.7 192.0.2.1 51234 8765\r\n
//   PROXY TCP6 2001:db8::7 2001:db8::1 51234 8765\r\n
//   PROXY UNKNOWN\r\n      (the proxy does not know; the connection's own
//                           address stands)
// Only a connection from an address that is configured as a proxy may send
// it; from anywhere else those bytes would be a client's lie about itself.
class ProxyHeader
{
public:
    // The longest line the protocol allows, CR LF included.
    static constexpr size_t maxLength = 107;

    enum class Result { Incomplete, Done, Bad };

    // Reads the header at the start of `data`. Done: `length` is its size
    // with the CR LF, and `client` holds the client's address with
    // `known` true, or `known` is false for UNKNOWN. Incomplete: more bytes
    // may complete it. Bad: it is no such header, or not one in the rules.
    static Result parse(const char* data, size_t size, size_t* length, sockaddr_storage* client, bool* known);

    // The client's address named by `line`, a whole header read as a line
    // (without its LF): empty for UNKNOWN. False when it is no header.
    static bool clientOfLine(const std::string& line, std::string* client);
};

} // namespace platform
