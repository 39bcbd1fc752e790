// The exported C functions of the voice SDK; the work is done by SdkSession.
#include "voicesdk.h"

#include "sdk/sdksession.h"

namespace {

std::string text(const char* value)
{
    return value ? std::string(value) : std::string();
}

} // namespace

extern "C" {

int voiceInit(void** callbacks)
{
    return voicesdk::SdkSession::instance().init(callbacks);
}

int voiceLogin(const char* host, int port, const char* applicationId, const char* applicationToken,
    const char* subAccount, const char* subAccountPwd, const char* voipAccount, const char* voipPwd)
{
    if (!host || !applicationId || !applicationToken || !subAccount || !subAccountPwd || !voipAccount || !voipPwd)
        return VOICE_ERR_ARGUMENT;
    voicesdk::LoginParameters parameters;
    parameters.host = text(host);
    parameters.port = port;
    parameters.applicationId = text(applicationId);
    parameters.applicationToken = text(applicationToken);
    parameters.subAccount = text(subAccount);
    parameters.subAccountPwd = text(subAccountPwd);
    parameters.voipAccount = text(voipAccount);
    parameters.voipPwd = text(voipPwd);
    return voicesdk::SdkSession::instance().login(parameters);
}

int voiceIsOnline(void)
{
    return voicesdk::SdkSession::instance().isOnline() ? 1 : 0;
}

int voiceMakeCall(int type, const char* number)
{
    if (!number)
        return VOICE_ERR_ARGUMENT;
    return voicesdk::SdkSession::instance().makeCall(type, number);
}

int voiceReleaseCall(int call)
{
    return voicesdk::SdkSession::instance().releaseCall(call);
}

} // extern "C"
