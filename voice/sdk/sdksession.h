#pragma once

#include "../wire/linebuffer.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace voicesdk {

// What voiceLogin() was given, copied.
struct LoginParameters
{
    std::string host;
    int port = 0;
    std::string applicationId;
    std::string applicationToken;
    std::string subAccount;
    std::string subAccountPwd;
    std::string voipAccount;
    std::string voipPwd;
};

// The SDK's one session with a voice switch. A worker thread connects, signs
// in, reads the switch's lines and calls the callbacks; the public functions
// may be called from any thread and only write lines to the socket.
class SdkSession
{
public:
    static SdkSession& instance();
    ~SdkSession();

    int init(void** table);
    int login(const LoginParameters& parameters);
    bool isOnline() const { return online.load(); }
    int makeCall(int type, const std::string& number);
    int releaseCall(int call);

    // How often the worker checks that the switch still answers.
    static constexpr std::chrono::seconds HeartbeatInterval { 15 };
    static constexpr std::chrono::seconds ConnectTimeout { 5 };
    static constexpr std::chrono::seconds AnswerTimeout { 5 };

private:
    enum class ReadResult { Line, Timeout, Closed, Stopped, Malformed };

    SdkSession();
    void stopWorker();
    void run(LoginParameters parameters);
    bool connectTo(const LoginParameters& parameters);
    bool signIn(const LoginParameters& parameters);
    void serve();
    void dispatch(const std::vector<std::string>& words);
    ReadResult readLine(std::chrono::steady_clock::time_point deadline, std::vector<std::string>& words);
    bool sendLine(const std::vector<std::string>& words);
    void closeSocket();

    void connectError(int code, const std::string& message);
    void logInfo(const std::string& text);
    void callEvent(int position, const std::string& callId);
    void callFailed(const std::string& callId, int reason);
    void heartbeat();
    void connected();
    void* entry(int position) const;

    mutable std::mutex tableMutex;
    std::vector<void*> table;
    bool hasTable = false;

    std::mutex controlMutex; // serialises login() and the destructor
    std::thread worker;
    std::atomic<bool> stopRequested { false };
    std::atomic<bool> online { false };
    int wakeRead = -1;
    int wakeWrite = -1;

    std::mutex socketMutex; // guards `socketFd` for writers on other threads
    int socketFd = -1;

    // Worker thread only.
    voicewire::LineBuffer incoming;
    std::string currentCallId;
    bool awaitingPong = false;
};

} // namespace voicesdk
