#pragma once

#include "requestgate.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace platform {

// Takes the platform's connections before the HTTP library does. It decides
// who may connect, and passes each request on through a RequestGate over a
// socket pair whose other end the library serves; the answers come back the
// same way.
//
// Who may connect: at most `maxConnections` in all, `maxPerAddress` from one
// address and `maxPerGroup` from one group of addresses (an IPv4 /24 or an
// IPv6 /64 by default), since one host can hold many addresses of its
// network. The last `reserved` connections are kept for addresses that have
// completed a request before, so that connections which never finish a
// request cannot take every slot.
//
// Behind a balancer every connection comes from the balancer's address. A
// connection from an address listed in `proxies` must therefore begin with
// the PROXY protocol's header (see ProxyHeader), which names the client: the
// limits above, the log and everything after count that client. Until its
// header is read such a connection counts only towards `maxConnections`, and
// it has `proxyHeaderSeconds` to send it. No address is a proxy by default.
class ConnectionFront
{
public:
    struct Settings
    {
        RequestGate::Settings gate;
        unsigned maxConnections = 512;
        unsigned maxPerAddress = 32;
        unsigned maxPerGroup = 128;
        unsigned reserved = 128;
        int ipv4GroupBits = 24;
        int ipv6GroupBits = 64;
        // A connection whose server end has closed gets this long to take
        // what is still to be sent to it.
        unsigned drainSeconds = 15;
        // Numeric addresses (as addressText() writes them) of the proxies.
        std::vector<std::string> proxies;
        unsigned proxyHeaderSeconds = 5;
    };
    // Gives the server's end of a socket pair to the library, with the
    // client's address (as addressText() writes it); false when it was not
    // taken (the library closes it).
    using Handoff = std::function<bool(int fd, const std::string& address)>;
    // A request refused by the gate, and the milliseconds since its
    // connection opened or its previous request passed.
    using RefusalSink = std::function<void(const RequestGate::Refusal& refusal, double ms)>;

    ConnectionFront(const Settings& settings, Handoff handoff, RefusalSink refusals);
    ~ConnectionFront();

    ConnectionFront(const ConnectionFront&) = delete;
    ConnectionFront& operator=(const ConnectionFront&) = delete;

    // Accepts on `listenFd` (which it then owns) on a thread of its own.
    bool start(int listenFd);
    // Stops accepting and closes the client ends; safe to call twice.
    void stop();

    // `address` (as addressText() writes it) completed a request.
    void remember(const std::string& address);
    // The connections open now; safe from any thread.
    size_t openConnections() const { return openCount; }

    static std::string addressText(const sockaddr* address);
    // The group of an address: its first `ipv4Bits` or `ipv6Bits` bits (an
    // IPv4-mapped IPv6 address counts as IPv4).
    static std::string groupOf(const sockaddr* address, int ipv4Bits, int ipv6Bits);
    // The same for an address as addressText() writes it; an empty text
    // (no address known) is a group of its own.
    static std::string groupOf(const std::string& addressText, int ipv4Bits, int ipv6Bits);

private:
    struct Conn;
    struct Endpoint
    {
        Conn* conn;
        bool inner;
    };

    void run();
    void acceptAll();
    // Null when a connection from `address` may come in beside `open`
    // others, else the limit it is beyond.
    const char* refusal(const std::string& address, const std::string& group, size_t open);
    // Lets `conn` in as a connection of `address`: the pair to the library,
    // and the counts. False when it may not come in or was not taken.
    bool handOff(Conn& conn, const std::string& address, const std::string& group);
    // Reads the PROXY header of a connection from a proxy, then hands it off.
    void readProxyHeader(Conn& conn, unsigned events);
    bool isProxy(const std::string& address) const;
    void onEvent(Endpoint* endpoint, unsigned events);
    void pump(Conn& conn);
    void watch(Conn& conn);
    void close(Conn& conn);
    void resumeAccepting();
    bool isKnown(const std::string& address);

    const Settings settings;
    Handoff handoff;
    RefusalSink refusals;
    int listenFd = -1;
    int epollFd = -1;
    int wakeFd = -1;
    // Out of descriptors, accepting waits for a connection to close, or a
    // second.
    bool acceptPaused = false;
    std::chrono::steady_clock::time_point acceptPausedAt;
    std::thread thread;
    std::set<Conn*> conns;
    std::atomic<size_t> openCount { 0 };
    std::map<std::string, unsigned> perAddress;
    std::map<std::string, unsigned> perGroup;

    // Addresses that completed a request: the newer half and the older half,
    // so that the memory stays bounded and recent ones are kept.
    std::mutex knownMutex;
    std::unordered_set<std::string> known;
    std::unordered_set<std::string> knownBefore;
};

} // namespace platform
