// A test double of the voice SDK: exports the same five functions and records
// how it was called, so a test can check the client's side of the contract.
#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex mutex;
std::string journal;
void** lastTable = nullptr;
int online = 0;

void note(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex);
    journal += line;
    journal += '\n';
}

std::string text(const char* value)
{
    return value ? std::string("\"") + value + "\"" : std::string("null");
}

} // namespace

#define EXPORTED extern "C" __attribute__((visibility("default")))

EXPORTED int voiceInit(void** callbacks)
{
    lastTable = callbacks;
    note("voiceInit");
    return 11;
}

EXPORTED int voiceLogin(const char* host, int port, const char* applicationId, const char* applicationToken,
    const char* subAccount, const char* subAccountPwd, const char* voipAccount, const char* voipPwd)
{
    note("voiceLogin " + text(host) + " " + std::to_string(port) + " " + text(applicationId) + " "
        + text(applicationToken) + " " + text(subAccount) + " " + text(subAccountPwd) + " " + text(voipAccount) + " "
        + text(voipPwd));
    return 22;
}

EXPORTED int voiceIsOnline(void)
{
    note("voiceIsOnline");
    return online;
}

EXPORTED int voiceMakeCall(int type, const char* number)
{
    note("voiceMakeCall " + std::to_string(type) + " " + text(number));
    return 0;
}

EXPORTED int voiceReleaseCall(int call)
{
    note("voiceReleaseCall " + std::to_string(call));
    return 0;
}

// What the test reads back.
EXPORTED const char* recorderJournal()
{
    static std::string copy;
    std::lock_guard<std::mutex> lock(mutex);
    copy = journal;
    return copy.c_str();
}

EXPORTED void** recorderTable()
{
    return lastTable;
}

EXPORTED void recorderReset(int isOnline)
{
    std::lock_guard<std::mutex> lock(mutex);
    journal.clear();
    lastTable = nullptr;
    online = isOnline;
}
