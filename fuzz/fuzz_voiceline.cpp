// Speaks arbitrary lines to the voice switch over a real connection, the way
// an SDK session does, and checks the line format's own round trip: every
// line the switch accepts as well formed is re-made identically by makeLine.
//
// Input: the bytes the session sends; "\nBYE\n" is appended so that the
// switch always ends the session and the run waits for every answer.

#include "voiceswitch.h"
#include "wireline.h"
#include "wireroundtrip.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using voiceswitch::VoiceSwitch;

namespace {

VoiceSwitch* voiceSwitch = nullptr;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_voiceline: %s\n", what);
    std::abort();
}

// libFuzzer's time-out alarm interrupts blocking calls: they are retried.
int waitFor(int fd, short events)
{
    pollfd entry { fd, events, 0 };
    int ready;
    do {
        ready = ::poll(&entry, 1, 10000);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

void connectTo(int fd, int port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return;
    // An interrupted connect goes on by itself; its outcome is SO_ERROR.
    int error = errno;
    if (error == EINTR && waitFor(fd, POLLOUT) == 1) {
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    }
    if (error != 0)
        fail(std::strerror(error));
}

void converse(const std::string& input)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        fail("no socket");
    connectTo(fd, voiceSwitch->port());

    // The switch may close the session early (a refused LOGIN, a line too
    // long): then the rest cannot be sent, and that is fine.
    const std::string sent = input + "\nBYE\n";
    std::size_t offset = 0;
    while (offset < sent.size()) {
        const ssize_t n = ::send(fd, sent.data() + offset, sent.size() - offset, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        offset += static_cast<std::size_t>(n);
    }
    char buffer[4096];
    while (true) {
        if (waitFor(fd, POLLIN) != 1)
            fail("the switch neither answered nor closed the session");
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
    }
    ::close(fd);
    // Waits for the switch's thread to finish with the session.
    (void)voiceSwitch->sessionCount();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    voiceSwitch = new VoiceSwitch([](const std::string& subAccount, const std::string& subAccountPwd,
                                      const std::string& voipAccount, const std::string& voipPwd) {
        return subAccount == "sub" && subAccountPwd == "subpwd" && voipAccount == "voip1" && voipPwd == "voippwd"
            ? VoiceSwitch::Account::Accepted
            : VoiceSwitch::Account::Refused;
    });
    // No call advances and no session times out during a run: the answers
    // depend on the input alone.
    voiceSwitch->setCallTiming(std::chrono::hours(1), std::chrono::hours(1));
    voiceSwitch->setLoginTimeout(std::chrono::hours(1));
    voiceSwitch->setIdleTimeout(std::chrono::hours(1));
    // One run after the other from one address: a session still being
    // closed must not turn the next one away.
    voiceSwitch->setConnectionLimits(64, 64);
    if (!voiceSwitch->start("127.0.0.1", 0))
        fail(voiceSwitch->errorString().c_str());
    std::atexit([] { delete voiceSwitch; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        fuzzwire::checkLine(input.substr(start, end - start), &fail);
        start = end + 1;
    }
    converse(input);
    return 0;
}
