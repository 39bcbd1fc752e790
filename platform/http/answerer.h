#pragma once

#include "answerbudget.h"
#include "servicelimits.h"

#include <QByteArray>
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
// sign-ins cannot occupy the workers that everyone else needs; it takes
// them group of addresses by group in turn (WorkerPool's lanes), so that
// one network's flood of sign-ins does not hold up everyone else's.
//
// Answers waiting to be read are bounded by an AnswerBudget: a worker makes
// an answer only while the client's group and the whole server are below
// their bounds, and the answer is released once the library has handed it
// on (finished()). Otherwise the request waits, suspended, for room.
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
        AnswerBudget::Limits unread;
        // The leading bits of an address that make its group.
        int ipv4GroupBits = 24;
        int ipv6GroupBits = 64;
    };

    Answerer(const Settings& settings, const Storage& storage, const ApiRouter& router, EventHub& events,
        WorkerPool& workers, WorkerPool& passwordWorkers, const ServerLog& log);

    Answerer(const Answerer&) = delete;
    Answerer& operator=(const Answerer&) = delete;

    // Queues `body` (JSON) with `status` as the answer to `exchange`; the
    // library shares the bytes instead of copying them.
    static MHD_Result reply(MHD_Connection* connection, Exchange& exchange, int status, const QByteArray& body);
    // Queues the stream of changes that a worker opened for `exchange`.
    static MHD_Result stream(MHD_Connection* connection, Exchange& exchange);
    // The envelope of a refusal with `message`.
    static QByteArray refusal(const QString& message);

    // Queues the installer's file, or a 404 when there is none.
    MHD_Result serveInstaller(MHD_Connection* connection, Exchange& exchange) const;
    // Hands a whole request under "/api/" to a worker (see above). When no
    // worker takes it, the answer is that the server is busy, and the
    // connection is resumed at once.
    void dispatch(MHD_Connection* connection, Exchange& exchange) const;
    // The library is done with `exchange`'s answer: it has gone on towards
    // the client, or the connection closed.
    void finished(const Exchange& exchange) const;
    // Answers every request still waiting for room that the server is busy:
    // the server stops, and no connection may stay suspended.
    void releaseWaiting() const;

    const AnswerBudget& budget() const { return unread; }

private:
    // Runs on a worker once the budget has room: routes the request, keeps
    // its answer and resumes the connection.
    void answer(Exchange& exchange) const;
    // Queues `exchange` on its pool (again); when no worker takes it, answers
    // that the server is busy.
    void post(Exchange& exchange) const;

    const Settings settings;
    const Storage& storage;
    const ApiRouter& router;
    EventHub& events;
    WorkerPool& workers;
    WorkerPool& passwordWorkers;
    const ServerLog& log;
    mutable AnswerBudget unread;
};

} // namespace platform
