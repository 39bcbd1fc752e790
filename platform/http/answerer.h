#pragma once

#include "servicelimits.h"

#include <QString>

#include <microhttpd.h>

#include <string>

namespace platform {

class ApiRouter;
class EventHub;
class ServerLog;
class Storage;
class WorkerPool;
struct Exchange;

// Makes the answers and queues them on their connections: the router's answer
// to a request under "/api/", the installer's file, and the envelopes with
// which the request handler refuses a request itself.
//
// The router's answers are made on a worker, never on the event loop: the
// connection is suspended meanwhile, and the worker resumes it with the
// answer kept in the exchange, which the request handler then queues.
// Requests that hash passwords go to a small pool of their own, so that
// sign-ins cannot occupy the workers that everyone else needs.
//
// GET "/api/events/" is answered by a stream of the station's changes (see
// EventHub): the worker checks the session and opens it, and the answer then
// lasts as long as the stream.
class Answerer
{
public:
    struct Settings
    {
        QString announcedVersion;
        // "host:port" for the installer's download address; empty: none.
        QString publicHost;
        QString installerPath;
        ServiceLimits limits;
        bool reuseAnswers = true;
    };

    Answerer(const Settings& settings, const Storage& storage, const ApiRouter& router, EventHub& events,
        WorkerPool& workers, WorkerPool& passwordWorkers, const ServerLog& log);

    Answerer(const Answerer&) = delete;
    Answerer& operator=(const Answerer&) = delete;

    // Queues `body` (JSON) with `status` as the answer to `exchange`.
    static MHD_Result reply(MHD_Connection* connection, Exchange& exchange, int status, const std::string& body);
    // Queues the stream of changes that a worker opened for `exchange`.
    static MHD_Result stream(MHD_Connection* connection, Exchange& exchange);
    // The envelope of a refusal with `message`.
    static std::string refusal(const QString& message);

    // Queues the installer's file, or a 404 when there is none.
    MHD_Result serveInstaller(MHD_Connection* connection, Exchange& exchange) const;
    // Hands a whole request under "/api/" to a worker (see above). When no
    // worker takes it, the answer is that the server is busy, and the
    // connection is resumed at once.
    void dispatch(MHD_Connection* connection, Exchange& exchange) const;

private:
    // Runs on a worker: routes the request and keeps its answer.
    void answer(Exchange& exchange) const;

    const Settings settings;
    const Storage& storage;
    const ApiRouter& router;
    EventHub& events;
    WorkerPool& workers;
    WorkerPool& passwordWorkers;
    const ServerLog& log;
};

} // namespace platform
