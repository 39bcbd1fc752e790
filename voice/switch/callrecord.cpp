#include "callrecord.h"

namespace voiceswitch {

const char* stateName(CallRecord::State state)
{
    switch (state) {
    case CallRecord::State::Proceeding:
        return "proceeding";
    case CallRecord::State::Alerting:
        return "alerting";
    case CallRecord::State::Answered:
        return "answered";
    case CallRecord::State::Failed:
        return "failed";
    case CallRecord::State::Released:
        return "released";
    }
    return "unknown";
}

} // namespace voiceswitch
