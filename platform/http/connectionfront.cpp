#include "connectionfront.h"

#include "platformmetrics.h"
#include "proxyheader.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Answers waiting for a slow reader: beyond this the server's end is not read.
constexpr size_t maxOutBytes = 64 * 1024;
// The kernel's buffers for what goes to a client, and from the library to
// the front, are kept this small: left to themselves they grow to megabytes
// for each connection whose client does not read, which the answer budget
// would not see. An answer that does not fit stays with the library, where
// it is counted (AnswerBudget).
constexpr int socketSendBuffer = 64 * 1024;

void maskBits(unsigned char* bytes, size_t size, int bits)
{
    for (size_t i = 0; i < size; ++i) {
        const int keep = std::clamp(bits - static_cast<int>(i) * 8, 0, 8);
        bytes[i] = static_cast<unsigned char>(bytes[i] & (0xFF00 >> keep));
    }
}

// Follows the server's answers on one connection, so that the front knows
// when every request it passed has been answered and the server's end can
// be closed without losing one. The library drops requests still queued
// when it reads the end of its input, so that end must not come before.
// Each answer is framed by its Content-Length; an interim 1xx answer, a 204
// or 304, and the answer to HEAD have no body.
class AnswerScanner
{
public:
    // Takes the next bytes from the server, and tells `gate` of each answer
    // that came whole.
    void feed(const char* data, size_t size, RequestGate& gate)
    {
        while (size > 0 && !lost) {
            if (bodyLeft > 0) {
                const auto take = static_cast<size_t>(std::min<uint64_t>(bodyLeft, size));
                bodyLeft -= take;
                data += take;
                size -= take;
                if (bodyLeft == 0)
                    gate.answered();
                continue;
            }
            const size_t from = head.size() < 3 ? 0 : head.size() - 3;
            const size_t before = head.size();
            head.append(data, std::min(size, maxHeadBytes + 1 - head.size()));
            const size_t end = head.find("\r\n\r\n", from);
            if (end == std::string::npos) {
                lost = head.size() > maxHeadBytes;
                return;
            }
            const size_t used = end + 4 - before;
            data += used;
            size -= used;
            head.resize(end + 2);
            finishHead(gate);
            head.clear();
        }
    }
    // The answers can no longer be told apart: the server's own close ends
    // the connection.
    bool isLost() const { return lost; }

private:
    void finishHead(RequestGate& gate)
    {
        // "HTTP/1.x NNN ..."
        if (head.size() < 12 || head.compare(0, 7, "HTTP/1.") != 0 || head[8] != ' ') {
            lost = true;
            return;
        }
        const int status = std::atoi(head.c_str() + 9);
        if (status >= 100 && status < 200)
            return;
        uint64_t length = 0;
        bool framed = false;
        for (size_t at = head.find("\r\n"); at + 2 < head.size(); at = head.find("\r\n", at + 2)) {
            if (strncasecmp(head.c_str() + at + 2, "content-length:", 15) == 0) {
                length = std::strtoull(head.c_str() + at + 17, nullptr, 10);
                framed = true;
            }
        }
        const bool bodiless = gate.awaitsHead() || status == 204 || status == 304;
        if (!bodiless && !framed) {
            lost = true;
            return;
        }
        bodyLeft = bodiless ? 0 : length;
        if (bodyLeft == 0)
            gate.answered();
    }

    static constexpr size_t maxHeadBytes = 16 * 1024;
    std::string head;
    uint64_t bodyLeft = 0;
    bool lost = false;
};

} // namespace

struct ConnectionFront::Conn
{
    explicit Conn(const RequestGate::Settings& gateSettings)
        : gate(gateSettings)
    {
    }

    int client = -1;
    int inner = -1;
    std::string address;
    std::string group;
    RequestGate gate;
    std::string out; // from the server, for the client
    std::string refusal; // goes out after the server's last answer
    AnswerScanner answers;
    // From a proxy, before its header: not yet handed to the library, nor
    // counted by address.
    bool awaitingProxy = false;
    bool counted = false;
    std::string proxyHead;
    bool clientEof = false;
    bool innerEof = false;
    bool innerShut = false;
    bool refusalSeen = false;
    bool dead = false;
    unsigned clientMask = 0;
    unsigned innerMask = 0;
    Endpoint clientEnd { this, false };
    Endpoint innerEnd { this, true };
    Clock::time_point since = Clock::now();
    Clock::time_point innerClosed;
};

ConnectionFront::ConnectionFront(const Settings& frontSettings, Handoff give, RefusalSink refused)
    : settings(frontSettings)
    , handoff(std::move(give))
    , refusals(std::move(refused))
{
}

ConnectionFront::~ConnectionFront()
{
    stop();
    if (listenFd >= 0)
        ::close(listenFd);
    if (wakeFd >= 0)
        ::close(wakeFd);
    if (epollFd >= 0)
        ::close(epollFd);
}

bool ConnectionFront::start(int fd)
{
    listenFd = fd;
    epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epollFd < 0 || wakeFd < 0)
        return false;
    const int flags = ::fcntl(listenFd, F_GETFL);
    if (flags < 0 || ::fcntl(listenFd, F_SETFL, flags | O_NONBLOCK) != 0)
        return false;
    epoll_event listen {};
    listen.events = EPOLLIN;
    listen.data.ptr = nullptr;
    epoll_event wake {};
    wake.events = EPOLLIN;
    wake.data.ptr = this;
    if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, listenFd, &listen) != 0
        || ::epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &wake) != 0)
        return false;
    thread = std::thread([this] { run(); });
    return true;
}

void ConnectionFront::stop()
{
    if (!thread.joinable())
        return;
    const uint64_t one = 1;
    if (::write(wakeFd, &one, sizeof one) < 0) {
        // The counter cannot overflow with one write; the loop wakes anyway.
    }
    thread.join();
}

void ConnectionFront::remember(const std::string& address)
{
    std::lock_guard<std::mutex> lock(knownMutex);
    if (known.count(address))
        return;
    if (known.size() >= 2048) {
        knownBefore.swap(known);
        known.clear();
    }
    known.insert(address);
}

bool ConnectionFront::isKnown(const std::string& address)
{
    std::lock_guard<std::mutex> lock(knownMutex);
    return known.count(address) || knownBefore.count(address);
}

std::string ConnectionFront::addressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    } else if (address && address->sa_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    return text;
}

std::string ConnectionFront::groupOf(const sockaddr* address, int ipv4Bits, int ipv6Bits)
{
    unsigned char bytes[16] = {};
    if (address && address->sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        std::memcpy(bytes, &v4.sin_addr, 4);
        maskBits(bytes, 4, ipv4Bits);
        return "4" + std::string(reinterpret_cast<const char*>(bytes), 4);
    }
    if (address && address->sa_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
            std::memcpy(bytes, v6.sin6_addr.s6_addr + 12, 4);
            maskBits(bytes, 4, ipv4Bits);
            return "4" + std::string(reinterpret_cast<const char*>(bytes), 4);
        }
        std::memcpy(bytes, v6.sin6_addr.s6_addr, 16);
        maskBits(bytes, 16, ipv6Bits);
        return "6" + std::string(reinterpret_cast<const char*>(bytes), 16);
    }
    return std::string();
}

std::string ConnectionFront::groupOf(const std::string& addressText, int ipv4Bits, int ipv6Bits)
{
    sockaddr_in v4 {};
    if (inet_pton(AF_INET, addressText.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        return groupOf(reinterpret_cast<const sockaddr*>(&v4), ipv4Bits, ipv6Bits);
    }
    sockaddr_in6 v6 {};
    if (inet_pton(AF_INET6, addressText.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        return groupOf(reinterpret_cast<const sockaddr*>(&v6), ipv4Bits, ipv6Bits);
    }
    return std::string();
}

void ConnectionFront::run()
{
    std::vector<epoll_event> events(64);
    bool stopping = false;
    while (!stopping) {
        const int count = ::epoll_wait(epollFd, events.data(), static_cast<int>(events.size()), 1000);
        if (count < 0 && errno != EINTR)
            break;
        std::vector<Conn*> closed;
        for (int i = 0; i < count; ++i) {
            void* const what = events[static_cast<size_t>(i)].data.ptr;
            // Out of memory ends the connection at hand, not the server.
            try {
                if (what == nullptr)
                    acceptAll();
                else if (what == this)
                    stopping = true;
                else
                    onEvent(static_cast<Endpoint*>(what), events[static_cast<size_t>(i)].events);
            } catch (const std::exception&) {
                if (what != nullptr && what != this)
                    close(*static_cast<Endpoint*>(what)->conn);
            }
        }
        // A client that does not take its last answers is let go.
        const Clock::time_point now = Clock::now();
        for (Conn* conn : conns) {
            if ((conn->innerEof && now - conn->innerClosed > std::chrono::seconds(settings.drainSeconds))
                || (conn->awaitingProxy && now - conn->since > std::chrono::seconds(settings.proxyHeaderSeconds)))
                closed.push_back(conn);
        }
        for (Conn* conn : closed)
            close(*conn);
        if (acceptPaused && now - acceptPausedAt > std::chrono::seconds(1))
            resumeAccepting();
        for (auto it = conns.begin(); it != conns.end();) {
            if ((*it)->dead) {
                delete *it;
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Conn* conn : conns) {
        if (!conn->dead)
            close(*conn);
        delete conn;
    }
    conns.clear();
}

const char* ConnectionFront::refusal(const std::string& address, const std::string& group, size_t open)
{
    const auto count = [](const std::map<std::string, unsigned>& counts, const std::string& key) {
        const auto it = counts.find(key);
        return it == counts.end() ? 0u : it->second;
    };
    if (open >= settings.maxConnections)
        return "connections";
    if (count(perAddress, address) >= settings.maxPerAddress)
        return "connections_per_address";
    if (count(perGroup, group) >= settings.maxPerGroup)
        return "connections_per_group";
    if (open + settings.reserved >= settings.maxConnections && !isKnown(address))
        return "reserved_connections";
    return nullptr;
}

void ConnectionFront::acceptAll()
{
    for (;;) {
        sockaddr_storage from {};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: wait for a connection to close.
                epoll_event none {};
                none.data.ptr = nullptr;
                ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &none);
                acceptPaused = true;
                acceptPausedAt = Clock::now();
            }
            return;
        }
        const auto* address = reinterpret_cast<const sockaddr*>(&from);
        const std::string text = addressText(address);
        const std::string group = groupOf(address, settings.ipv4GroupBits, settings.ipv6GroupBits);
        auto conn = std::make_unique<Conn>(settings.gate);
        conn->client = fd;
        if (isProxy(text)) {
            // Counted by its client's address once its header names it.
            if (conns.size() >= settings.maxConnections) {
                PlatformMetrics::instance().refused("connections");
                ::close(fd);
                continue;
            }
            conn->awaitingProxy = true;
            conn->address = text;
            conn->group = group;
        } else if (!handOff(*conn, text, group)) {
            ::close(fd);
            continue;
        }
        watch(*conn);
        conns.insert(conn.release());
        ++openCount;
    }
}

bool ConnectionFront::handOff(Conn& conn, const std::string& address, const std::string& group)
{
    const size_t others = conns.size() - conns.count(&conn);
    if (const char* limit = refusal(address, group, others)) {
        PlatformMetrics::instance().refused(limit);
        return false;
    }
    int pair[2] = { -1, -1 };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    ::setsockopt(conn.client, SOL_SOCKET, SO_SNDBUF, &socketSendBuffer, sizeof socketSendBuffer);
    ::setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &socketSendBuffer, sizeof socketSendBuffer);
    // The library closes its end itself when it does not take it.
    if (!handoff(pair[1], address)) {
        ::close(pair[0]);
        return false;
    }
    conn.inner = pair[0];
    conn.address = address;
    conn.group = group;
    conn.counted = true;
    ++perAddress[address];
    ++perGroup[group];
    return true;
}

bool ConnectionFront::isProxy(const std::string& address) const
{
    // An IPv4 client of a socket of both families shows as "::ffff:a.b.c.d".
    const std::string mapped = "::ffff:";
    const bool isMapped = address.compare(0, mapped.size(), mapped) == 0 && address.find('.') != std::string::npos;
    for (const std::string& proxy : settings.proxies) {
        if (proxy == address || (isMapped && proxy == address.substr(mapped.size())))
            return true;
    }
    return false;
}

void ConnectionFront::readProxyHeader(Conn& conn, unsigned events)
{
    if (!(events & EPOLLIN))
        return close(conn);
    // Never more than the longest header: what follows it is the client's.
    char chunk[ProxyHeader::maxLength];
    const ssize_t n = ::recv(conn.client, chunk, ProxyHeader::maxLength - conn.proxyHead.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0)
        return close(conn);
    conn.proxyHead.append(chunk, static_cast<size_t>(n));
    size_t length = 0;
    sockaddr_storage client {};
    bool known = false;
    switch (ProxyHeader::parse(conn.proxyHead.data(), conn.proxyHead.size(), &length, &client, &known)) {
    case ProxyHeader::Result::Incomplete:
        return;
    case ProxyHeader::Result::Bad:
        PlatformMetrics::instance().refused("proxy_header");
        return close(conn);
    case ProxyHeader::Result::Done:
        break;
    }
    const auto* address = reinterpret_cast<const sockaddr*>(&client);
    const std::string text = known ? addressText(address) : conn.address;
    const std::string group = known ? groupOf(address, settings.ipv4GroupBits, settings.ipv6GroupBits) : conn.group;
    if (!handOff(conn, text, group))
        return close(conn);
    conn.awaitingProxy = false;
    conn.since = Clock::now();
    const std::string rest = conn.proxyHead.substr(length);
    std::string().swap(conn.proxyHead);
    conn.gate.feed(rest.data(), rest.size());
    pump(conn);
}

void ConnectionFront::onEvent(Endpoint* endpoint, unsigned events)
{
    Conn& conn = *endpoint->conn;
    if (conn.dead)
        return;
    if (conn.awaitingProxy)
        return readProxyHeader(conn, events);
    if (!endpoint->inner) {
        if (events & (EPOLLERR | EPOLLHUP))
            return close(conn);
        char chunk[16384];
        while ((events & EPOLLIN) && !conn.clientEof && conn.gate.wantsMore()) {
            const size_t room = std::min(sizeof chunk, settings.gate.maxHeadBytes + 1 - conn.gate.pending().size());
            const ssize_t n = ::recv(conn.client, chunk, room, 0);
            if (n > 0)
                conn.gate.feed(chunk, static_cast<size_t>(n));
            else if (n == 0)
                conn.clientEof = true;
            else if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            else if (errno != EINTR)
                return close(conn);
        }
    } else {
        while ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) && !conn.innerEof && conn.out.size() < maxOutBytes) {
            char chunk[16384];
            const ssize_t n = ::recv(conn.inner, chunk, sizeof chunk, 0);
            if (n > 0) {
                conn.out.append(chunk, static_cast<size_t>(n));
                conn.answers.feed(chunk, static_cast<size_t>(n), conn.gate);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            } else if (n == 0 || errno != EINTR) {
                conn.innerEof = true;
                conn.innerClosed = Clock::now();
            }
        }
    }
    pump(conn);
}

void ConnectionFront::pump(Conn& conn)
{
    RequestGate& gate = conn.gate;
    while (!conn.innerShut && !conn.innerEof && gate.ready() > 0) {
        const ssize_t n = ::send(conn.inner, gate.pending().data(), gate.ready(), MSG_NOSIGNAL);
        if (n > 0) {
            gate.passed(static_cast<size_t>(n));
            conn.since = Clock::now();
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else if (n == 0 || errno != EINTR) {
            conn.innerEof = true;
            conn.innerClosed = Clock::now();
        }
    }
    if (gate.refused() && !conn.refusalSeen) {
        conn.refusalSeen = true;
        const RequestGate::Refusal& refusal = gate.refusalOf();
        if (refusals)
            refusals(refusal,
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - conn.since).count() / 1000.0);
        conn.refusal = RequestGate::answer(refusal.status, refusal.message);
    }
    // Nothing more will pass: once every whole request passed has its
    // answer, the server's end is closed and the refusal follows the last
    // answer. When the answers cannot be counted, the server is shown the
    // end of its input and its own close ends the connection.
    if ((gate.refused() || conn.clientEof) && gate.ready() == 0 && !conn.innerShut && !conn.innerEof) {
        if (conn.answers.isLost()) {
            ::shutdown(conn.inner, SHUT_WR);
            conn.innerShut = true;
        } else if (gate.unanswered() == 0) {
            conn.innerEof = true;
            conn.innerClosed = Clock::now();
        }
    }
    if (conn.innerEof && conn.inner >= 0) {
        if (conn.innerMask)
            ::epoll_ctl(epollFd, EPOLL_CTL_DEL, conn.inner, nullptr);
        ::close(conn.inner);
        conn.inner = -1;
        conn.innerMask = 0;
        conn.out += conn.refusal;
        conn.refusal.clear();
    }
    while (!conn.out.empty()) {
        const ssize_t n = ::send(conn.client, conn.out.data(), conn.out.size(), MSG_NOSIGNAL);
        if (n > 0)
            conn.out.erase(0, static_cast<size_t>(n));
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        else if (n == 0 || errno != EINTR)
            return close(conn);
    }
    if (conn.innerEof && conn.out.empty())
        return close(conn);
    watch(conn);
}

void ConnectionFront::watch(Conn& conn)
{
    const auto apply = [this](int fd, unsigned wanted, unsigned* registered, Endpoint* endpoint) {
        if (fd < 0 || wanted == *registered)
            return;
        epoll_event event {};
        event.events = wanted;
        event.data.ptr = endpoint;
        // With nothing to wait for, the descriptor leaves the set, so that a
        // hang-up is not reported over and over.
        const int operation = wanted == 0 ? EPOLL_CTL_DEL : *registered == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        ::epoll_ctl(epollFd, operation, fd, &event);
        *registered = wanted;
    };
    const unsigned client = (!conn.clientEof && !conn.innerEof && conn.gate.wantsMore() ? EPOLLIN : 0u)
        | (conn.out.empty() ? 0u : EPOLLOUT);
    const unsigned inner = (!conn.innerEof && conn.out.size() < maxOutBytes ? EPOLLIN : 0u)
        | (!conn.innerShut && !conn.innerEof && conn.gate.ready() > 0 ? EPOLLOUT : 0u);
    apply(conn.client, client, &conn.clientMask, &conn.clientEnd);
    apply(conn.inner, inner, &conn.innerMask, &conn.innerEnd);
}

void ConnectionFront::close(Conn& conn)
{
    if (conn.dead)
        return;
    conn.dead = true;
    for (int* fd : { &conn.client, &conn.inner }) {
        if (*fd >= 0) {
            ::epoll_ctl(epollFd, EPOLL_CTL_DEL, *fd, nullptr);
            ::close(*fd);
            *fd = -1;
        }
    }
    --openCount;
    if (conn.counted && --perAddress[conn.address] == 0)
        perAddress.erase(conn.address);
    if (conn.counted && --perGroup[conn.group] == 0)
        perGroup.erase(conn.group);
    if (acceptPaused)
        resumeAccepting();
}

void ConnectionFront::resumeAccepting()
{
    epoll_event listen {};
    listen.events = EPOLLIN;
    listen.data.ptr = nullptr;
    ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &listen);
    acceptPaused = false;
}

} // namespace platform
