#include "sdksession.h"

#include "../voicesdk.h"
#include "../wire/wireline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace voicesdk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* ProtocolVersion = "FVP/1";

// True on the worker thread: its callbacks must not wait for it to end.
thread_local bool onWorkerThread = false;

int millisecondsUntil(Clock::time_point deadline)
{
    const auto now = Clock::now();
    if (deadline <= now)
        return 0;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
    return static_cast<int>(std::min<long long>(wait, 60000));
}

int toInt(const std::string& text, int fallback)
{
    if (text.empty() || text.size() > 9
        || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fallback;
    return std::stoi(text);
}

} // namespace

SdkSession& SdkSession::instance()
{
    static SdkSession session;
    return session;
}

SdkSession::SdkSession()
    : table(VOICE_CALLBACK_COUNT, nullptr)
{
}

SdkSession::~SdkSession()
{
    std::lock_guard<std::mutex> lock(controlMutex);
    stopWorker();
}

int SdkSession::init(void** callbacks)
{
    if (!callbacks)
        return VOICE_ERR_ARGUMENT;
    std::lock_guard<std::mutex> lock(tableMutex);
    // Copied, so the caller's table may go away while the worker still runs.
    std::copy(callbacks, callbacks + VOICE_CALLBACK_COUNT, table.begin());
    hasTable = true;
    return VOICE_OK;
}

int SdkSession::login(const LoginParameters& parameters)
{
    if (parameters.host.empty() || parameters.port <= 0 || parameters.port > 65535)
        return VOICE_ERR_ARGUMENT;
    {
        std::lock_guard<std::mutex> lock(tableMutex);
        if (!hasTable)
            return VOICE_ERR_NO_TABLE;
    }
    // A callback that signs in again would wait for its own thread. (Asked of
    // the thread itself: `worker` may only be read under controlMutex.)
    if (onWorkerThread)
        return VOICE_ERR_ARGUMENT;

    std::lock_guard<std::mutex> lock(controlMutex);
    stopWorker();
    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0)
        return VOICE_ERR_ARGUMENT;
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    stopRequested = false;
    worker = std::thread(&SdkSession::run, this, parameters);
    return VOICE_OK;
}

void SdkSession::stopWorker()
{
    if (!worker.joinable())
        return;
    stopRequested = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
    worker.join();
    ::close(wakeRead);
    ::close(wakeWrite);
    wakeRead = wakeWrite = -1;
}

int SdkSession::makeCall(int type, const std::string& number)
{
    if (!online)
        return VOICE_ERR_OFFLINE;
    return sendLine({ "CALL", std::to_string(type), number }) ? VOICE_OK : VOICE_ERR_OFFLINE;
}

int SdkSession::releaseCall(int call)
{
    if (call != 0)
        return VOICE_ERR_ARGUMENT;
    if (!online)
        return VOICE_ERR_OFFLINE;
    return sendLine({ "RELEASE" }) ? VOICE_OK : VOICE_ERR_OFFLINE;
}

void SdkSession::run(LoginParameters parameters)
{
    onWorkerThread = true;
    incoming.clear();
    currentCallId.clear();
    awaitingPong = false;
    if (connectTo(parameters) && signIn(parameters)) {
        online = true;
        connected();
        serve();
        online = false;
    }
    if (socketFd >= 0) {
        if (stopRequested)
            sendLine({ "BYE" });
        closeSocket();
    }
}

bool SdkSession::connectTo(const LoginParameters& parameters)
{
    logInfo("VoiceSdk: connecting to " + parameters.host + ":" + std::to_string(parameters.port));
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(parameters.port);
    const int lookup = ::getaddrinfo(parameters.host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        connectError(VOICE_REASON_UNREACHABLE, std::string("cannot resolve the host: ") + ::gai_strerror(lookup));
        return false;
    }
    std::string failure = "no address";
    const Clock::time_point deadline = Clock::now() + ConnectTimeout;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0 && !stopRequested; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        int result = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (result != 0 && errno == EINPROGRESS) {
            pollfd fds[2] = { { fd, POLLOUT, 0 }, { wakeRead, POLLIN, 0 } };
            const int ready = ::poll(fds, 2, millisecondsUntil(deadline));
            int socketError = ETIMEDOUT;
            if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
                socklen_t length = sizeof socketError;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &socketError, &length);
            }
            result = socketError == 0 ? 0 : -1;
            errno = socketError;
        }
        if (result != 0) {
            failure = std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (stopRequested) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (fd < 0) {
        connectError(VOICE_REASON_UNREACHABLE, "cannot connect: " + failure);
        return false;
    }
    std::lock_guard<std::mutex> lock(socketMutex);
    socketFd = fd;
    return true;
}

bool SdkSession::signIn(const LoginParameters& p)
{
    std::vector<std::string> words;
    ReadResult result = readLine(Clock::now() + AnswerTimeout, words);
    if (result == ReadResult::Stopped)
        return false;
    if (result == ReadResult::Timeout) {
        connectError(VOICE_REASON_TIMEOUT, "the switch sent no greeting");
        return false;
    }
    if (result != ReadResult::Line || words.size() < 2 || words[0] != "HELLO" || words[1] != ProtocolVersion) {
        connectError(VOICE_REASON_PROTOCOL, "the peer is not a voice switch");
        return false;
    }
    if (!sendLine({ "LOGIN", p.applicationId, p.applicationToken, p.subAccount, p.subAccountPwd, p.voipAccount,
            p.voipPwd })) {
        connectError(VOICE_REASON_CONNECTION_LOST, "the connection closed while signing in");
        return false;
    }
    const Clock::time_point deadline = Clock::now() + AnswerTimeout;
    while (true) {
        result = readLine(deadline, words);
        if (result == ReadResult::Stopped)
            return false;
        if (result == ReadResult::Timeout) {
            connectError(VOICE_REASON_TIMEOUT, "the switch did not answer the sign-in");
            return false;
        }
        if (result == ReadResult::Closed) {
            connectError(VOICE_REASON_CONNECTION_LOST, "the connection closed while signing in");
            return false;
        }
        if (result == ReadResult::Malformed) {
            connectError(VOICE_REASON_PROTOCOL, "the switch sent a malformed line");
            return false;
        }
        if (words[0] == "LOGIN-OK") {
            logInfo("VoiceSdk: signed in as " + p.voipAccount);
            return true;
        }
        if (words[0] == "LOGIN-ERR") {
            const int code = words.size() > 1 ? toInt(words[1], VOICE_REASON_PROTOCOL) : VOICE_REASON_PROTOCOL;
            const std::string text = words.size() > 2 ? words[2] : std::string("sign-in refused");
            logInfo("VoiceSdk: sign-in refused: " + text);
            connectError(code, text);
            return false;
        }
        // Anything else before the answer (an ERR, a PONG) is only logged.
        logInfo("VoiceSdk: ignored before sign-in: " + words[0]);
    }
}

void SdkSession::serve()
{
    Clock::time_point nextHeartbeat = Clock::now() + HeartbeatInterval;
    while (true) {
        std::vector<std::string> words;
        const ReadResult result = readLine(nextHeartbeat, words);
        if (result == ReadResult::Stopped)
            return;
        if (result == ReadResult::Line) {
            if (words[0] == "BYE") {
                logInfo("VoiceSdk: the switch closed the session");
                break;
            }
            dispatch(words);
            continue;
        }
        if (result == ReadResult::Timeout) {
            if (awaitingPong) {
                logInfo("VoiceSdk: the switch stopped answering");
                break;
            }
            awaitingPong = true;
            nextHeartbeat = Clock::now() + HeartbeatInterval;
            if (sendLine({ "PING" }))
                continue;
        }
        if (result == ReadResult::Malformed)
            logInfo("VoiceSdk: the switch sent a malformed line");
        break;
    }
    // Lost: a call in progress ends with the connection.
    online = false;
    if (!currentCallId.empty()) {
        const std::string callId = currentCallId;
        currentCallId.clear();
        callEvent(VOICE_CB_ON_CALL_RELEASED, callId);
    }
    connectError(VOICE_REASON_CONNECTION_LOST, "the connection to the switch was lost");
}

void SdkSession::dispatch(const std::vector<std::string>& words)
{
    const std::string& command = words[0];
    const std::string callId = words.size() > 1 ? words[1] : std::string();
    if (command == "PROCEEDING" && words.size() == 2) {
        if (currentCallId.empty())
            currentCallId = callId;
        callEvent(VOICE_CB_ON_CALL_PROCEEDING, callId);
    } else if (command == "ALERTING" && words.size() == 2) {
        callEvent(VOICE_CB_ON_CALL_ALERTING, callId);
    } else if (command == "ANSWERED" && words.size() == 2) {
        callEvent(VOICE_CB_ON_CALL_ANSWERED, callId);
    } else if (command == "FAILED" && words.size() == 3) {
        if (currentCallId == callId)
            currentCallId.clear();
        callFailed(callId, toInt(words[2], VOICE_FAIL_BAD_REQUEST));
    } else if (command == "RELEASED" && words.size() == 2) {
        if (currentCallId == callId)
            currentCallId.clear();
        callEvent(VOICE_CB_ON_CALL_RELEASED, callId);
    } else if (command == "PONG" && words.size() == 1) {
        awaitingPong = false;
        heartbeat();
    } else if (command == "ERR") {
        logInfo("VoiceSdk: the switch answered " + (words.size() > 1 ? words[1] : std::string()) + " "
            + (words.size() > 2 ? words[2] : std::string()));
    } else {
        logInfo("VoiceSdk: ignored a line from the switch: " + command);
    }
}

SdkSession::ReadResult SdkSession::readLine(Clock::time_point deadline, std::vector<std::string>& words)
{
    while (true) {
        std::string line;
        if (incoming.nextLine(line))
            return voicewire::splitLine(line, words) && !words.front().empty() ? ReadResult::Line
                                                                               : ReadResult::Malformed;
        if (incoming.overflowed())
            return ReadResult::Malformed;
        if (stopRequested)
            return ReadResult::Stopped;

        pollfd fds[2] = { { socketFd, POLLIN, 0 }, { wakeRead, POLLIN, 0 } };
        const int ready = ::poll(fds, 2, millisecondsUntil(deadline));
        if (stopRequested || (fds[1].revents & POLLIN))
            return ReadResult::Stopped;
        if (ready == 0)
            return ReadResult::Timeout;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Closed;
        }
        char buffer[4096];
        const ssize_t received = ::recv(socketFd, buffer, sizeof buffer, 0);
        if (received > 0)
            incoming.append(buffer, static_cast<std::size_t>(received));
        else if (received == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return ReadResult::Closed;
    }
}

bool SdkSession::sendLine(const std::vector<std::string>& words)
{
    const std::string line = voicewire::makeLine(words);
    std::lock_guard<std::mutex> lock(socketMutex);
    std::size_t offset = 0;
    while (socketFd >= 0 && offset < line.size()) {
        const ssize_t sent = ::send(socketFd, line.data() + offset, line.size() - offset, MSG_NOSIGNAL);
        if (sent > 0) {
            offset += static_cast<std::size_t>(sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd fds = { socketFd, POLLOUT, 0 };
            if (::poll(&fds, 1, 1000) <= 0)
                return false;
        } else if (!(sent < 0 && errno == EINTR)) {
            return false;
        }
    }
    return socketFd >= 0;
}

void SdkSession::closeSocket()
{
    std::lock_guard<std::mutex> lock(socketMutex);
    if (socketFd >= 0)
        ::close(socketFd);
    socketFd = -1;
}

void* SdkSession::entry(int position) const
{
    std::lock_guard<std::mutex> lock(tableMutex);
    return table[static_cast<std::size_t>(position)];
}

void SdkSession::connected()
{
    if (auto callback = reinterpret_cast<VoiceOnConnected>(entry(VOICE_CB_ON_CONNECTED)))
        callback();
}

void SdkSession::connectError(int code, const std::string& message)
{
    logInfo("VoiceSdk: " + message);
    VoiceReason reason {};
    reason.code = code;
    std::strncpy(reason.message, message.c_str(), sizeof reason.message - 1);
    if (auto callback = reinterpret_cast<VoiceOnConnectError>(entry(VOICE_CB_ON_CONNECT_ERROR)))
        callback(&reason);
}

void SdkSession::logInfo(const std::string& text)
{
    if (auto callback = reinterpret_cast<VoiceOnLogInfo>(entry(VOICE_CB_ON_LOG_INFO)))
        callback(text.c_str());
}

void SdkSession::callEvent(int position, const std::string& callId)
{
    if (auto callback = reinterpret_cast<VoiceOnCallEvent>(entry(position)))
        callback(callId.c_str());
}

void SdkSession::callFailed(const std::string& callId, int reason)
{
    if (auto callback = reinterpret_cast<VoiceOnMakeCallFailed>(entry(VOICE_CB_ON_MAKE_CALL_FAILED)))
        callback(callId.c_str(), reason);
}

void SdkSession::heartbeat()
{
    if (auto callback = reinterpret_cast<VoiceOnHeartbeat>(entry(VOICE_CB_ON_HEARTBEAT)))
        callback();
}

} // namespace voicesdk
