#include "voiceswitch.h"

#include "../wire/linebuffer.h"
#include "../wire/wireline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace voiceswitch {

const char* const VoiceSwitch::DefaultApplicationId = "6f1c2b9e04d85a73c1e0f49b2d7a8c35";
const char* const VoiceSwitch::DefaultApplicationToken = "b83e5d0a9f274c61e2d8a05f7c3b194e";

namespace {

constexpr const char* Greeting = "FVP/1";
// What one connection may make the switch hold, and how much of one turn of
// the loop its lines may take: the rest waits for the next turn, so that a
// peer flooding lines delays no other session's answers. A connection whose
// answers pile up unread is served no further lines, nor read from, until
// they drain; the kernel's buffers are kept small for the same reason.
constexpr std::size_t MaxPendingInput = 16 * 1024;
constexpr std::size_t MaxPendingOutput = 64 * 1024;
constexpr std::size_t MaxReadPerTurn = 16 * 1024;
constexpr int MaxLinesPerTurn = 64;
constexpr int MaxAcceptsPerTurn = 16;
constexpr int SocketBufferSize = 32 * 1024;
// A connection that is being closed gets this long to take its last lines.
constexpr std::chrono::seconds ClosingGrace { 5 };
// When the account check cannot tell (its database is away), sessions are
// not checked again for this long; they are kept meanwhile.
constexpr std::chrono::seconds RecheckPause { 30 };
// The call log keeps the latest calls only (at most this many): a peer that
// places call after call (each busy one is logged too) must not grow it
// without end.
constexpr std::size_t MaxLoggedCalls = 10000;

// Reasons of FAILED and ERR lines.
constexpr int BadRequest = 400;
constexpr int NotSignedIn = 401;
constexpr int AccountRefused = 403;
constexpr int Unreachable = 404;
constexpr int NoSuchCall = 481;
constexpr int Busy = 486;
constexpr int Unsupported = 488;
constexpr int Overloaded = 503;

// "0086" and 7 to 12 digits: the numbers the switch can reach.
bool reachable(const std::string& number)
{
    static const std::string prefix = "0086";
    if (number.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::size_t digits = number.size() - prefix.size();
    if (digits < 7 || digits > 12)
        return false;
    return std::all_of(number.begin() + prefix.size(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The peer's address as text; an IPv4 address mapped into IPv6 is given as
// IPv4, so that a dual-stack listener counts it as the same address.
std::string addressOf(const sockaddr_storage& peer)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&address))
            ::inet_ntop(AF_INET, &address.s6_addr[12], text, sizeof text);
        else
            ::inet_ntop(AF_INET6, &address, text, sizeof text);
    }
    return text;
}

// The peer's group: the first `ipv4Bits` or `ipv6Bits` bits of its address
// (an IPv4 address mapped into IPv6 counts as IPv4), as bytes.
std::string groupOf(const sockaddr_storage& peer, int ipv4Bits, int ipv6Bits)
{
    unsigned char bytes[16] = {};
    std::size_t size = 0;
    int bits = 0;
    if (peer.ss_family == AF_INET) {
        std::memcpy(bytes, &reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr, 4);
        size = 4;
        bits = ipv4Bits;
    } else if (peer.ss_family == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&address)) {
            std::memcpy(bytes, &address.s6_addr[12], 4);
            size = 4;
            bits = ipv4Bits;
        } else {
            std::memcpy(bytes, &address, 16);
            size = 16;
            bits = ipv6Bits;
        }
    }
    for (std::size_t i = 0; i < size; ++i) {
        const int keep = std::clamp(bits - static_cast<int>(i) * 8, 0, 8);
        bytes[i] = static_cast<unsigned char>(bytes[i] & (0xFF00 >> keep));
    }
    return std::string(size == 4 ? "4" : "6") + std::string(reinterpret_cast<const char*>(bytes), size);
}

// The same for an address as addressOf() writes it.
std::string groupOfText(const std::string& address, int ipv4Bits, int ipv6Bits)
{
    sockaddr_storage peer {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&peer);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&peer);
    if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1)
        peer.ss_family = AF_INET;
    else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1)
        peer.ss_family = AF_INET6;
    return groupOf(peer, ipv4Bits, ipv6Bits);
}

} // namespace

struct VoiceSwitch::Connection
{
    int fd = -1;
    std::string peer; // the peer's address
    std::string group; // the group of its address
    // From a balancer, before the line that names its client.
    bool awaitingProxy = false;
    voicewire::LineBuffer in;
    std::string out;
    bool signedIn = false;
    bool closeAfterFlush = false;
    // Its last lines are sent and its sending side shut down; what still
    // comes in is read and dropped until the peer closes, so that unread
    // input does not make the close a reset that could lose those lines.
    bool draining = false;
    // Complete lines may be waiting that the last turn left unserved.
    bool backlog = false;
    // The account it signed in with, checked again while the session lasts.
    std::string subAccount;
    std::string subAccountPwd;
    std::string voipAccount;
    std::string voipPwd;
    // Until sign-in, when the login timeout runs out; once signed in, when
    // the idle timeout runs out after the last line; once closing, when the
    // peer has had its time to take the last lines.
    Clock::time_point deadline;
    std::string callId; // the call in progress; empty when none
    Clock::time_point nextStepAt;

    bool wantsInput() const
    {
        return draining || (!closeAfterFlush && in.size() < MaxPendingInput && out.size() < MaxPendingOutput);
    }
    bool canServe() const { return fd >= 0 && !closeAfterFlush && out.size() < MaxPendingOutput; }
    // It holds a slot: open and not on its way out.
    bool holdsSlot() const { return fd >= 0 && !closeAfterFlush; }
};

VoiceSwitch::VoiceSwitch(AccountCheck accountCheck)
    : accountCheck(std::move(accountCheck))
    , applicationId(DefaultApplicationId)
    , applicationToken(DefaultApplicationToken)
{
}

VoiceSwitch::~VoiceSwitch()
{
    stop();
}

bool VoiceSwitch::start(const std::string& address, int port)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (running) {
        error = "the switch already runs";
        return false;
    }
    if (port < 0 || port > 65535) {
        error = "port out of range";
        return false;
    }

    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int lookup = ::getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        error = std::string("cannot resolve ") + address + ": " + ::gai_strerror(lookup);
        return false;
    }
    int fd = -1;
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        // Inherited by the accepted connections.
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &SocketBufferSize, sizeof SocketBufferSize);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 16) == 0)
            break;
        error = std::string("cannot listen on ") + address + ":" + service + ": " + std::strerror(errno);
        closeFd(fd);
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return false;

    sockaddr_storage bound {};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    listenPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                             : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = std::string("cannot create a pipe: ") + std::strerror(errno);
        closeFd(fd);
        listenPort = 0;
        return false;
    }
    listenFd = fd;
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    running = true;
    stopping = false;
    error.clear();
    thread = std::thread(&VoiceSwitch::run, this);
    return true;
}

void VoiceSwitch::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running)
            return;
        stopping = true;
        wake();
    }
    thread.join();
    std::lock_guard<std::mutex> lock(mutex);
    closeFd(listenFd);
    closeFd(wakeRead);
    closeFd(wakeWrite);
    listenPort = 0;
    running = false;
    stopping = false;
}

bool VoiceSwitch::isRunning() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return running;
}

int VoiceSwitch::port() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return listenPort;
}

std::string VoiceSwitch::errorString() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return error;
}

void VoiceSwitch::setApplicationCredentials(const std::string& id, const std::string& token)
{
    std::lock_guard<std::mutex> lock(mutex);
    applicationId = id;
    applicationToken = token;
}

void VoiceSwitch::setCallTiming(std::chrono::milliseconds alerting, std::chrono::milliseconds answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    alertingDelay = alerting;
    answerDelay = answer;
}

void VoiceSwitch::setLoginTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard<std::mutex> lock(mutex);
    loginTimeout = timeout;
}

void VoiceSwitch::setIdleTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard<std::mutex> lock(mutex);
    idleTimeout = timeout;
}

void VoiceSwitch::setConnectionLimits(
    std::size_t total, std::size_t perAddress, std::size_t perGroup, unsigned reserved)
{
    std::lock_guard<std::mutex> lock(mutex);
    maxConnections = total;
    maxConnectionsPerAddress = perAddress;
    maxConnectionsPerGroup = perGroup;
    reservedPercent = std::min(reserved, 90u);
}

void VoiceSwitch::setAddressGroups(int ipv4Bits, int ipv6Bits)
{
    std::lock_guard<std::mutex> lock(mutex);
    ipv4GroupBits = std::clamp(ipv4Bits, 0, 32);
    ipv6GroupBits = std::clamp(ipv6Bits, 0, 128);
}

void VoiceSwitch::setProxies(std::vector<std::string> addresses, ProxyLineReader read)
{
    std::lock_guard<std::mutex> lock(mutex);
    proxies = std::move(addresses);
    readProxyLine = std::move(read);
}

void VoiceSwitch::setRefusalObserver(RefusalObserver observer)
{
    std::lock_guard<std::mutex> lock(mutex);
    refusalObserver = std::move(observer);
}

void VoiceSwitch::refused(const char* limit) const
{
    if (refusalObserver)
        refusalObserver(limit);
}

void VoiceSwitch::handleProxyLine(Connection& connection, const std::string& line, Clock::time_point now)
{
    connection.awaitingProxy = false;
    std::string client;
    if (!readProxyLine(line, &client)) {
        send(connection, { "ERR", std::to_string(BadRequest), "no client named" });
        closeAfterAnswer(connection, now);
        return;
    }
    if (!client.empty()) {
        connection.peer = client;
        connection.group = groupOfText(client, ipv4GroupBits, ipv6GroupBits);
    }
    if (const char* limit = admit(connection, true)) {
        refused(limit);
        send(connection, { "ERR", std::to_string(Overloaded), refusalText(limit) });
        closeAfterAnswer(connection, now);
        return;
    }
    send(connection, { "HELLO", Greeting });
}

bool VoiceSwitch::hangUp(const std::string& callId)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& connection : connections) {
        if (!callId.empty() && connection->callId == callId) {
            endCall(*connection, "callee", true);
            wake();
            return true;
        }
    }
    return false;
}

int VoiceSwitch::endSessionsOf(const std::string& subAccount)
{
    std::lock_guard<std::mutex> lock(mutex);
    int ended = 0;
    const Clock::time_point now = Clock::now();
    for (auto& connection : connections) {
        if (connection->fd < 0 || !connection->signedIn || connection->closeAfterFlush
            || connection->subAccount != subAccount)
            continue;
        endCall(*connection, "switch", true);
        send(*connection, { "BYE" });
        closeAfterAnswer(*connection, now);
        ++ended;
    }
    if (ended > 0)
        wake();
    return ended;
}

std::vector<CallRecord> VoiceSwitch::callLog() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

int VoiceSwitch::sessionCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(std::count_if(
        connections.begin(), connections.end(), [](const auto& c) { return c->signedIn && !c->closeAfterFlush; }));
}

void VoiceSwitch::wake()
{
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
}

void VoiceSwitch::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    std::vector<pollfd> fds;
    while (!stopping) {
        fds.clear();
        fds.push_back({ wakeRead, POLLIN, 0 });
        fds.push_back({ listenFd, POLLIN, 0 });
        for (const auto& connection : connections) {
            const short events
                = static_cast<short>((connection->wantsInput() ? POLLIN : 0) | (connection->out.empty() ? 0 : POLLOUT));
            fds.push_back({ connection->fd, events, 0 });
        }
        const int timeout = nextPollTimeout(Clock::now());

        lock.unlock();
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        lock.lock();
        if (stopping)
            break;
        if (ready < 0 && errno != EINTR)
            break;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) { }
        }
        // Connections are only added and removed on this thread, so the
        // poll entries still line up with `connections`.
        const std::size_t polled = fds.size() - 2;
        for (std::size_t i = 0; i < polled && i < connections.size(); ++i) {
            const pollfd& entry = fds[i + 2];
            Connection& connection = *connections[i];
            if (entry.revents & POLLIN || (entry.events & POLLIN && entry.revents & (POLLHUP | POLLERR))) {
                receive(connection);
            } else if (entry.revents & (POLLHUP | POLLERR)) {
                // Gone while its input was held back: nobody is left to answer.
                endCall(connection, "caller", false);
                closeConnection(connection);
            }
        }
        const Clock::time_point now = Clock::now();
        for (auto& connection : connections)
            serveLines(*connection, now);
        if (fds[1].revents & POLLIN)
            acceptConnections();

        enforceDeadlines(now);
        advanceCalls(now);

        for (auto& connection : connections) {
            if (connection->fd >= 0)
                flush(*connection);
            if (connection->fd >= 0 && connection->closeAfterFlush && connection->out.empty()
                && !connection->draining) {
                ::shutdown(connection->fd, SHUT_WR);
                connection->draining = true;
            }
        }
        connections.erase(
            std::remove_if(connections.begin(), connections.end(), [](const auto& c) { return c->fd < 0; }),
            connections.end());
    }
    shutdownAll();
}

int VoiceSwitch::nextPollTimeout(Clock::time_point now) const
{
    Clock::time_point next = Clock::time_point::max();
    for (const auto& connection : connections) {
        // Lines left over from the last turn are served at once.
        if (connection->backlog && connection->canServe())
            return 0;
        next = std::min(next, connection->deadline);
        if (!connection->callId.empty())
            next = std::min(next, connection->nextStepAt);
    }
    if (next == Clock::time_point::max())
        return -1;
    if (next <= now)
        return 0;
    // Rounded up, so a timer never fires a millisecond early and spins.
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now) + std::chrono::milliseconds(1);
    return static_cast<int>(std::min<long long>(wait.count(), 60000));
}

void VoiceSwitch::acceptConnections()
{
    // A bounded number per turn: a flood of connects must not hold the loop.
    for (int accepted = 0; accepted < MaxAcceptsPerTurn; ++accepted) {
        sockaddr_storage peer {};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &SocketBufferSize, sizeof SocketBufferSize);
        // Each turn's answers go out in one write; Nagle would only hold the
        // last of them back until the peer's delayed acknowledgement.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->peer = addressOf(peer);
        connection->group = groupOf(peer, ipv4GroupBits, ipv6GroupBits);
        connection->deadline = Clock::now() + loginTimeout;
        // A balancer's connection is counted by its client once it names it.
        connection->awaitingProxy
            = readProxyLine && std::find(proxies.begin(), proxies.end(), connection->peer) != proxies.end();
        const char* limit = admit(*connection, false);
        if (limit) {
            refused(limit);
            const char* refusal = refusalText(limit);
            send(*connection, { "ERR", std::to_string(Overloaded), refusal });
            flush(*connection);
            closeConnection(*connection);
            continue;
        }
        if (!connection->awaitingProxy)
            send(*connection, { "HELLO", Greeting });
        connections.push_back(std::move(connection));
    }
}

const char* VoiceSwitch::admit(const Connection& newcomer, bool counted)
{
    const std::string& peer = newcomer.peer;
    const std::string& group = newcomer.group;
    // A balancer's connection is known by its address only once it named its
    // client; until then only the limits of all count it.
    const bool byAddress = !newcomer.awaitingProxy;
    const auto fromPeer = [&](const Connection& c) { return !c.awaitingProxy && &c != &newcomer && c.peer == peer; };
    const auto fromGroup = [&](const Connection& c) { return !c.awaitingProxy && &c != &newcomer && c.group == group; };
    // Each limit, narrowest first: past it, the newcomer takes the place of
    // the oldest connection within it that has not signed in, if any.
    // Connections on their way out no longer count, nor does the newcomer
    // itself once it is `counted` among the connections.
    const struct
    {
        bool applies;
        std::size_t limit;
        std::function<bool(const Connection&)> within;
        const char* name;
    } limits[] = {
        { byAddress, maxConnectionsPerAddress, fromPeer, "voice_connections_per_address" },
        { byAddress && maxConnectionsPerGroup > 0, maxConnectionsPerGroup, fromGroup, "voice_connections_per_group" },
        { !counted, maxConnections, [](const Connection&) { return true; }, "voice_connections" },
        // Connections not signed in may not take the slots kept for sessions.
        { !counted, maxConnections - maxConnections * reservedPercent / 100,
            [](const Connection& c) { return !c.signedIn; }, "voice_connections" },
    };
    for (const auto& scope : limits) {
        if (!scope.applies)
            continue;
        const std::size_t held = static_cast<std::size_t>(std::count_if(
            connections.begin(), connections.end(), [&](const auto& c) { return c->holdsSlot() && scope.within(*c); }));
        if (held < scope.limit)
            continue;
        Connection* oldest = oldestUnsigned(scope.within);
        if (!oldest)
            return scope.name;
        // It never signed in: it ends as the switch ends such sessions.
        send(*oldest, { "BYE" });
        closeAfterAnswer(*oldest, Clock::now());
    }
    return nullptr;
}

const char* VoiceSwitch::refusalText(const std::string& limit)
{
    if (limit == "voice_connections_per_address")
        return "too many sessions from this address";
    if (limit == "voice_connections_per_group")
        return "too many sessions from this network";
    return "too many sessions";
}

VoiceSwitch::Connection* VoiceSwitch::oldestUnsigned(const std::function<bool(const Connection&)>& within) const
{
    // The connections are kept in the order they came.
    for (const auto& c : connections) {
        if (c->holdsSlot() && !c->signedIn && within(*c))
            return c.get();
    }
    return nullptr;
}

void VoiceSwitch::receive(Connection& connection)
{
    char buffer[4096];
    std::size_t taken = 0;
    while (connection.fd >= 0 && taken < MaxReadPerTurn
        && (connection.draining || connection.in.size() < MaxPendingInput)) {
        const ssize_t received = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (received > 0) {
            if (!connection.draining)
                connection.in.append(buffer, static_cast<std::size_t>(received));
            taken += static_cast<std::size_t>(received);
            continue;
        }
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (received < 0 && errno == EINTR)
            continue;
        // The peer went away: its call ends with it.
        endCall(connection, "caller", false);
        closeConnection(connection);
        return;
    }
}

void VoiceSwitch::serveLines(Connection& connection, Clock::time_point now)
{
    std::string line;
    int served = 0;
    connection.backlog = false;
    while (connection.canServe()) {
        if (served == MaxLinesPerTurn) {
            connection.backlog = true;
            return;
        }
        if (!connection.in.nextLine(line))
            break;
        handleLine(connection, line, now);
        ++served;
    }
    if (!connection.canServe()) {
        // Held back by unread answers: served on once they drain.
        connection.backlog = connection.fd >= 0 && !connection.closeAfterFlush;
        return;
    }
    if (connection.in.overflowed()) {
        send(connection, { "ERR", std::to_string(BadRequest), "line too long" });
        endCall(connection, "caller", true);
        connection.in.clear();
        closeAfterAnswer(connection, now);
    }
}

void VoiceSwitch::enforceDeadlines(Clock::time_point now)
{
    for (auto& connection : connections) {
        if (connection->fd < 0 || now < connection->deadline)
            continue;
        if (connection->closeAfterFlush) {
            // It did not take its last lines in time.
            endCall(*connection, "switch", false);
            closeConnection(*connection);
            continue;
        }
        // Not signed in in time, or silent for longer than the SDK's
        // keep-alive allows: the session is dead or never was one.
        endCall(*connection, "switch", true);
        send(*connection, { "BYE" });
        closeAfterAnswer(*connection, now);
    }
}

void VoiceSwitch::closeAfterAnswer(Connection& connection, Clock::time_point now)
{
    connection.closeAfterFlush = true;
    connection.backlog = false;
    connection.deadline = now + ClosingGrace;
}

void VoiceSwitch::handleLine(Connection& connection, const std::string& line, Clock::time_point now)
{
    if (connection.awaitingProxy)
        return handleProxyLine(connection, line, now);
    std::vector<std::string> words;
    const bool wellFormed = voicewire::splitLine(line, words);
    if (!connection.signedIn) {
        // Before sign-in only LOGIN is served (and BYE honoured): anything
        // else ends the connection, so that no one unknown makes the switch
        // work for them.
        if (wellFormed && words.front() == "LOGIN") {
            handleLogin(connection, words, now);
        } else if (wellFormed && words.front() == "BYE" && words.size() == 1) {
            send(connection, { "BYE" });
            closeAfterAnswer(connection, now);
        } else {
            send(connection, { "ERR", std::to_string(NotSignedIn), "sign in first" });
            closeAfterAnswer(connection, now);
        }
        return;
    }
    connection.deadline = now + idleTimeout;
    if (!wellFormed) {
        send(connection, { "ERR", std::to_string(BadRequest), "malformed field" });
        return;
    }
    const std::string& command = words.front();
    // The keep-alive and a call: the account must still pass.
    if ((command == "PING" || command == "CALL") && !accountStillValid(connection, now))
        return;
    if (command == "PING" && words.size() == 1) {
        send(connection, { "PONG" });
    } else if (command == "BYE" && words.size() == 1) {
        endCall(connection, "caller", true);
        send(connection, { "BYE" });
        closeAfterAnswer(connection, now);
    } else if (command == "LOGIN") {
        send(connection, { "ERR", std::to_string(BadRequest), "already signed in" });
    } else if (command == "CALL") {
        handleCall(connection, words);
    } else if (command == "RELEASE" && words.size() == 1) {
        handleRelease(connection);
    } else {
        send(connection, { "ERR", std::to_string(BadRequest), "unknown command" });
    }
}

void VoiceSwitch::handleLogin(Connection& connection, const std::vector<std::string>& words, Clock::time_point now)
{
    if (words.size() != 7) {
        send(connection, { "LOGIN-ERR", std::to_string(BadRequest), "LOGIN takes six fields" });
        closeAfterAnswer(connection, now);
        return;
    }
    if (words[1] != applicationId || words[2] != applicationToken) {
        send(connection, { "LOGIN-ERR", std::to_string(NotSignedIn), "application credentials refused" });
        closeAfterAnswer(connection, now);
        return;
    }
    const Account account = accountCheck ? accountCheck(words[3], words[4], words[5], words[6]) : Account::Accepted;
    if (account != Account::Accepted) {
        if (account == Account::Refused)
            send(connection, { "LOGIN-ERR", std::to_string(AccountRefused), "voice account refused" });
        else
            send(connection, { "LOGIN-ERR", std::to_string(Overloaded), "voice account cannot be checked now" });
        closeAfterAnswer(connection, now);
        return;
    }
    connection.signedIn = true;
    connection.subAccount = words[3];
    connection.subAccountPwd = words[4];
    connection.voipAccount = words[5];
    connection.voipPwd = words[6];
    connection.deadline = now + idleTimeout;
    send(connection, { "LOGIN-OK" });
}

bool VoiceSwitch::accountStillValid(Connection& connection, Clock::time_point now)
{
    if (!accountCheck || now < rechecksPausedUntil)
        return true;
    const Account account
        = accountCheck(connection.subAccount, connection.subAccountPwd, connection.voipAccount, connection.voipPwd);
    if (account == Account::Unknown) {
        rechecksPausedUntil = now + RecheckPause;
        return true;
    }
    if (account == Account::Accepted)
        return true;
    endCall(connection, "switch", true);
    send(connection, { "BYE" });
    closeAfterAnswer(connection, now);
    return false;
}

void VoiceSwitch::handleCall(Connection& connection, const std::vector<std::string>& words)
{
    if (words.size() != 3) {
        send(connection, { "ERR", std::to_string(BadRequest), "CALL takes two fields" });
        return;
    }
    CallRecord record;
    record.callId = "call-" + std::to_string(nextCallNumber++);
    record.voipAccount = connection.voipAccount;
    record.number = words[2];
    record.placedAt = std::chrono::system_clock::now();
    const bool numericType = !words[1].empty() && words[1].size() < 6
        && std::all_of(words[1].begin(), words[1].end(), [](char c) { return c >= '0' && c <= '9'; });
    record.type = numericType ? std::stoi(words[1]) : -1;

    int failure = 0;
    if (!connection.callId.empty())
        failure = Busy;
    else if (record.type != 1)
        failure = Unsupported;
    else if (!reachable(record.number))
        failure = Unreachable;

    send(connection, { "PROCEEDING", record.callId });
    if (failure != 0) {
        record.state = CallRecord::State::Failed;
        record.failure = failure;
        record.endedAt = record.placedAt;
        send(connection, { "FAILED", record.callId, std::to_string(failure) });
    } else {
        connection.callId = record.callId;
        connection.nextStepAt = Clock::now() + alertingDelay;
    }
    // Half at a time, so that a full log costs nothing per call.
    if (log.size() >= MaxLoggedCalls)
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(MaxLoggedCalls / 2));
    log.push_back(record);
}

void VoiceSwitch::handleRelease(Connection& connection)
{
    if (connection.callId.empty()) {
        send(connection, { "ERR", std::to_string(NoSuchCall), "no call in progress" });
        return;
    }
    endCall(connection, "caller", true);
}

void VoiceSwitch::advanceCalls(Clock::time_point now)
{
    for (auto& connection : connections) {
        if (connection->callId.empty() || connection->fd < 0 || now < connection->nextStepAt)
            continue;
        CallRecord* record = recordFor(connection->callId);
        if (!record)
            continue;
        if (record->state == CallRecord::State::Proceeding) {
            record->state = CallRecord::State::Alerting;
            connection->nextStepAt = now + answerDelay;
            send(*connection, { "ALERTING", record->callId });
        } else if (record->state == CallRecord::State::Alerting) {
            record->state = CallRecord::State::Answered;
            record->answered = true;
            record->answeredAt = std::chrono::system_clock::now();
            // Answered calls wait for a hang-up, not for a timer.
            connection->nextStepAt = Clock::time_point::max();
            send(*connection, { "ANSWERED", record->callId });
        }
    }
}

void VoiceSwitch::endCall(Connection& connection, const char* endedBy, bool tellCaller)
{
    if (connection.callId.empty())
        return;
    if (CallRecord* record = recordFor(connection.callId)) {
        record->state = CallRecord::State::Released;
        record->endedBy = endedBy;
        record->endedAt = std::chrono::system_clock::now();
    }
    if (tellCaller)
        send(connection, { "RELEASED", connection.callId });
    connection.callId.clear();
}

CallRecord* VoiceSwitch::recordFor(const std::string& callId)
{
    for (auto it = log.rbegin(); it != log.rend(); ++it) {
        if (it->callId == callId)
            return &*it;
    }
    return nullptr;
}

void VoiceSwitch::send(Connection& connection, const std::vector<std::string>& words)
{
    if (connection.fd < 0)
        return;
    connection.out += voicewire::makeLine(words);
}

void VoiceSwitch::flush(Connection& connection)
{
    while (!connection.out.empty() && connection.fd >= 0) {
        const ssize_t sent = ::send(connection.fd, connection.out.data(), connection.out.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            connection.out.erase(0, static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        // The rest waits for the peer to read; no more of its lines are
        // served meanwhile (Connection::canServe).
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        endCall(connection, "caller", false);
        closeConnection(connection);
    }
}

void VoiceSwitch::closeConnection(Connection& connection)
{
    closeFd(connection.fd);
    connection.out.clear();
}

void VoiceSwitch::shutdownAll()
{
    for (auto& connection : connections) {
        if (connection->fd < 0)
            continue;
        endCall(*connection, "switch", true);
        send(*connection, { "BYE" });
        // Best effort: the last lines fit the socket's buffer unless the peer
        // stopped reading long ago.
        flush(*connection);
        closeConnection(*connection);
    }
    connections.clear();
}

} // namespace voiceswitch
