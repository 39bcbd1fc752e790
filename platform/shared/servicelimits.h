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

    // Writes that nothing else bounds, per station: at most so many a minute
    // and a day (0: no limit). Feedback, visit records, and shippers and
    // consignees added.
    int feedbackPerMinute = 5;
    int feedbackPerDay = 50;
    int visitsPerMinute = 60;
    int visitsPerDay = 2000;
    int partiesPerMinute = 60;
    int partiesPerDay = 2000;
    // Writes of one station's records (trucks, trades, shippers and
    // consignees: every write that leaves an entry in their history), by
    // all its clerks and sessions together, a minute and a day (0: no
    // limit); far above what a busy station does, a bound for a script.
    int recordWritesPerMinute = 600;
    int recordWritesPerDay = 20000;
    // The trucks one station may have (0: no limit): each is on the board,
    // which goes out whole.
    int trucksPerStation = 500;
};

} // namespace platform
