#pragma once

#include "apireply.h"

namespace platform {

struct ApiContext;

// Text messages to a contact (kept in an outbox with their time) and the
// station's feedback to the platform.
class MessageService
{
public:
    static ApiReply sendSms(ApiContext& context);
    static ApiReply addFeedback(ApiContext& context);
};

} // namespace platform
