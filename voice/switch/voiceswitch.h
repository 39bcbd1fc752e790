#pragma once

#include "callrecord.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace voiceswitch {

// The voice switch: the server side of the voice line protocol (PROTOCOL.md).
// It accepts voice SDK sessions over TCP, checks their credentials, and
// simulates outgoing calls:
//   - a number "0086" followed by 7 to 12 digits rings (ALERTING) after the
//     alerting delay, is answered after the answer delay, and stays in the
//     call until the caller releases it or the far end hangs up (hangUp());
//   - any other number fails with 404, a second call while one is in progress
//     with 486, a call type other than 1 with 488.
// Every call is kept in the call log (the latest ones, at most 10000).
//
// It is reachable from the station's network, so no peer can take it from
// the others: connections are limited in all, per address and per group of
// addresses (one host can hold many addresses of its network); connections
// that have not signed in may take only part of the slots, and one that
// needs a slot taken by a connection not yet signed in gets it (the oldest
// such one is let go), so that those never keep a desk from signing in; a
// connection must sign in within the login timeout and a signed-in one must
// not fall silent for longer than the idle timeout, nothing but LOGIN is
// served before sign-in, and each turn of the loop serves a bounded share of
// each connection's lines; a connection whose answers are not read is served
// no further lines until they are.
//
// A session lasts only as long as its account: at each keep-alive and before
// each call the account is checked again, and a session whose account no
// longer passes (stopped, or its secrets changed by any process) is ended.
//
// One thread of its own serves every connection. All public functions are
// thread-safe.
class VoiceSwitch
{
public:
    // What the account check says of a voice account: it may sign in (and
    // stay signed in), it may not, or it cannot tell now (its records cannot
    // be read): a sign-in is then refused, a session kept.
    enum class Account { Accepted, Refused, Unknown };
    // Whether a voice account may sign in, or stay signed in. Called on the
    // switch's thread; it must not call back into the switch.
    using AccountCheck = std::function<Account(const std::string& subAccount, const std::string& subAccountPwd,
        const std::string& voipAccount, const std::string& voipPwd)>;

    // The application credentials the switch accepts unless told otherwise.
    static const char* const DefaultApplicationId;
    static const char* const DefaultApplicationToken;

    // An empty check accepts every account.
    explicit VoiceSwitch(AccountCheck accountCheck);
    ~VoiceSwitch();

    VoiceSwitch(const VoiceSwitch&) = delete;
    VoiceSwitch& operator=(const VoiceSwitch&) = delete;

    // Listens on `address` (a numeric IPv4 or IPv6 address or a host name)
    // and `port`; port 0 picks a free port. False with errorString() set when
    // the port cannot be bound or the switch already runs.
    bool start(const std::string& address, int port);
    // Ends every call (RELEASED, by "switch"), says BYE to every session and
    // closes them; returns once the switch's thread has ended. Idempotent.
    void stop();

    bool isRunning() const;
    // The port listened on; 0 when not running.
    int port() const;
    std::string errorString() const;

    // Before start().
    void setApplicationCredentials(const std::string& applicationId, const std::string& applicationToken);
    void setCallTiming(std::chrono::milliseconds alertingDelay, std::chrono::milliseconds answerDelay);
    // A session that has not signed in after this long is closed.
    void setLoginTimeout(std::chrono::milliseconds timeout);
    // A signed-in session that sends no line for this long is closed; the
    // SDK's keep-alive sends one every 15 seconds.
    void setIdleTimeout(std::chrono::milliseconds timeout);
    // Connections at most, in all, from one address and from one group of
    // addresses (0: no limit by group), and the share of all (in percent,
    // at most 90) that connections not signed in may not take. A connection
    // beyond a limit takes the place of the oldest connection within that
    // limit that has not signed in (which gets BYE); when there is none, it
    // is answered ERR 503 and closed.
    void setConnectionLimits(
        std::size_t total, std::size_t perAddress, std::size_t perGroup = 0, unsigned reservedPercent = 0);
    // The leading bits of an IPv4 and of an IPv6 address that make its group.
    void setAddressGroups(int ipv4Bits, int ipv6Bits);
    // Connections from `addresses` (numeric, as the system writes them) come
    // through a balancer and begin with one line that names their client
    // (the PROXY protocol's), which `read` turns into the client's address
    // (empty: the balancer does not know it; false: no such line, and the
    // connection is closed). The switch greets such a connection after that
    // line, and counts it by its client's address from then on.
    using ProxyLineReader = std::function<bool(const std::string& line, std::string* client)>;
    void setProxies(std::vector<std::string> addresses, ProxyLineReader read);
    // Told of each connection refused by a limit: "voice_connections",
    // "voice_connections_per_address" or "voice_connections_per_group".
    // Called on the switch's thread; it must not call back into the switch.
    // Before start().
    using RefusalObserver = std::function<void(const std::string& limit)>;
    void setRefusalObserver(RefusalObserver observer);

    // The far end hangs up: ends the call (RELEASED, by "callee") if it is
    // still ringing or answered. False when no such call is in progress.
    bool hangUp(const std::string& callId);

    // Ends every session signed in with this sub account: its call is
    // released (by "switch"), then BYE and the connection is closed. For
    // credentials that are no longer valid. Returns the number of sessions.
    int endSessionsOf(const std::string& subAccount);

    std::vector<CallRecord> callLog() const;
    // Sessions signed in right now.
    int sessionCount() const;

private:
    struct Connection;
    using Clock = std::chrono::steady_clock;

    void run();
    void acceptConnections();
    // Makes room for `newcomer` under every limit, letting go of connections
    // not signed in; the name of the limit that leaves no room, or null.
    // `counted`: it is among the connections already (a balancer's, whose
    // client has just been named), and only the limits by address apply.
    const char* admit(const Connection& newcomer, bool counted);
    // The text of ERR 503 for a limit's name.
    static const char* refusalText(const std::string& limit);
    void receive(Connection& connection);
    void serveLines(Connection& connection, Clock::time_point now);
    void enforceDeadlines(Clock::time_point now);
    void closeAfterAnswer(Connection& connection, Clock::time_point now);
    void handleLine(Connection& connection, const std::string& line, Clock::time_point now);
    void handleProxyLine(Connection& connection, const std::string& line, Clock::time_point now);
    void refused(const char* limit) const;
    void handleLogin(Connection& connection, const std::vector<std::string>& words, Clock::time_point now);
    void handleCall(Connection& connection, const std::vector<std::string>& words);
    // Checks a signed-in session's account again; false when it no longer
    // passes, and the session is then being ended.
    bool accountStillValid(Connection& connection, Clock::time_point now);
    // The oldest open connection that has not signed in and that `within`
    // accepts; null when there is none.
    Connection* oldestUnsigned(const std::function<bool(const Connection&)>& within) const;
    void handleRelease(Connection& connection);
    void advanceCalls(Clock::time_point now);
    void endCall(Connection& connection, const char* endedBy, bool tellCaller);
    void send(Connection& connection, const std::vector<std::string>& words);
    void flush(Connection& connection);
    void closeConnection(Connection& connection);
    void shutdownAll();
    void wake();
    CallRecord* recordFor(const std::string& callId);
    int nextPollTimeout(Clock::time_point now) const;

    AccountCheck accountCheck;
    std::string applicationId;
    std::string applicationToken;
    std::chrono::milliseconds alertingDelay { 300 };
    std::chrono::milliseconds answerDelay { 1200 };
    std::chrono::milliseconds loginTimeout { 5000 };
    std::chrono::milliseconds idleTimeout { 45000 };
    std::size_t maxConnections = 64;
    std::size_t maxConnectionsPerAddress = 8;
    std::size_t maxConnectionsPerGroup = 0;
    unsigned reservedPercent = 0;
    int ipv4GroupBits = 24;
    int ipv6GroupBits = 64;
    // After the account check could not tell, no session is checked again
    // until then: a database that is away is not asked at every keep-alive.
    Clock::time_point rechecksPausedUntil;
    std::vector<std::string> proxies;
    ProxyLineReader readProxyLine;
    RefusalObserver refusalObserver;

    mutable std::mutex mutex;
    std::thread thread;
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    int listenPort = 0;
    bool running = false;
    bool stopping = false;
    std::string error;
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<CallRecord> log;
    unsigned long nextCallNumber = 1;
};

} // namespace voiceswitch
