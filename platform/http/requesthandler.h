#pragma once

#include <microhttpd.h>

#include <cstddef>

namespace platform {

class Answerer;
class ConnectionFront;
class ConnectionTracker;
class ServerLog;
struct Exchange;

// The HTTP library's handler of requests. It reads a request's headers and
// body into an Exchange, refuses what it can before routing (a target too
// long, too many headers, a path that is none, a body too large, an unknown
// address), serves the installer, and hands every other whole request under
// "/api/" to the Answerer. When the library says that a request is over, it
// writes the request's log line and tells the front that its client
// completed a request.
//
// The library calls it on its event loop only.
class RequestHandler
{
public:
    struct Limits
    {
        size_t maxTargetBytes = 0;
        int maxHeaders = 0;
        size_t maxFormBytes = 0;
        size_t maxBodyBytes = 0;
    };

    RequestHandler(
        const Limits& limits, ConnectionTracker& connections, const Answerer& answerer, const ServerLog& log);

    RequestHandler(const RequestHandler&) = delete;
    RequestHandler& operator=(const RequestHandler&) = delete;

    // The front to tell; set before it accepts its first connection.
    void setFront(ConnectionFront* front);

    // The library's access handler and its notice that a request is over
    // (MHD_OPTION_NOTIFY_COMPLETED), with the handler as `cls`.
    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
        const char* version, const char* uploadData, size_t* uploadSize, void** context);
    static void onCompleted(
        void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode termination);

private:
    // The headers are in: refuse what can be refused before the body.
    MHD_Result begin(MHD_Connection* connection, const char* method, void** context) const;
    // The whole request is in: answer it here or hand it to the Answerer.
    MHD_Result complete(MHD_Connection* connection, Exchange& exchange) const;

    const Limits limits;
    ConnectionTracker& connections;
    const Answerer& answerer;
    const ServerLog& log;
    ConnectionFront* front = nullptr;
};

} // namespace platform
