#pragma once

#include <chrono>
#include <string>

namespace voiceswitch {

// One entry of the switch's call log: a call from the moment it was placed.
struct CallRecord
{
    enum class State {
        Proceeding, // accepted, not ringing yet
        Alerting, // ringing at the far end
        Answered, // in the call
        Failed, // never connected; see `failure`
        Released, // ended; see `endedBy`
    };

    std::string callId;
    std::string voipAccount; // the caller's voice account
    std::string number; // as dialled
    int type = 0;
    State state = State::Proceeding;
    bool answered = false;
    int failure = 0; // the FAILED reason when state is Failed
    std::string endedBy; // "caller", "callee" or "switch" when state is Released
    std::chrono::system_clock::time_point placedAt;
    std::chrono::system_clock::time_point answeredAt; // when answered
    std::chrono::system_clock::time_point endedAt; // when failed or released
};

const char* stateName(CallRecord::State state);

} // namespace voiceswitch
