#pragma once

namespace platform {

// The limits the services enforce, set from the command line.
struct ServiceLimits
{
    // A session ends after this long without a request, and this long after
    // its sign-in at the latest.
    int sessionIdleSeconds = 12 * 3600;
    int sessionMaxAgeSeconds = 30 * 24 * 3600;
    // Text messages one station may queue in one calendar day.
    int smsPerDay = 200;
};

} // namespace platform
