#pragma once

#include "apireply.h"
#include "apirequest.h"
#include "loginthrottle.h"
#include "recordversion.h"
#include "servicelimits.h"
#include "writequota.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <string>

namespace platform {

struct ApiContext;
class Storage;

// Maps a method and a path below "/api" to its service, checks the session,
// runs the service in one transaction and turns every outcome into the
// envelope. Every write passes through here the same way: its request id
// (see RequestAnswers) answers a repeated request with the first answer, and
// the version of the record it names (see RecordVersion) refuses a stale one.
// Only a path that names no request at all gets the HTTP status 404, and the
// health check 503 when the database does not answer; every other answer,
// refusals included, is a 200 with "success" false.
class ApiRouter
{
public:
    struct Outcome
    {
        int status = 200;
        ApiReply reply;
        // The pattern of the route that answered ("truck/*/edit"), or "-".
        std::string route = "-";
    };

    struct Settings
    {
        QString announcedVersion;
        // "host:port" for the installer's download address; empty: none.
        QString host;
        // The client's address, by which failed sign-ins are counted too.
        QString peer;
        ServiceLimits limits;
        // Whether answers that depend only on the database are reused while
        // it is unchanged (see AnswerCache).
        bool reuseAnswers = true;
    };

    ApiRouter();

    // `path` is the part after "/api", starting with "/".
    Outcome dispatch(const QString& method, const QString& path, const ApiRequest::RawParams& params,
        const Storage& storage, const Settings& settings) const;

    // Whether the request would verify or hash a password (sign-in and the
    // password change): the server runs those apart from the rest, as each
    // takes a while and much memory.
    bool hashesPassword(const QString& method, const QString& path) const;

    // A message for a logger: internal failures (database errors) are written
    // here, never sent to the client.
    // The sign-in throttle's notices go there too.
    void setErrorSink(std::function<void(const QString&)> sink);
    // Called after a write that changed records has committed (see
    // ChangeLog), on the thread that wrote; set before serving.
    void setChangeListener(std::function<void()> listener);

private:
    enum class Access { Public, Session };
    // Read and Write wrap the service in a transaction; Own routes take their
    // own transactions (login and the password change verify a password hash
    // first and must not hold the write lock meanwhile; the visit end keeps
    // the session's end even when it refuses). The Health route is answered
    // here: the platform's version and whether the database answers one
    // statement, without a session or a transaction, so that a balancer may
    // ask every second.
    enum class Mode { None, Read, Write, Own, Health };
    using Handler = ApiReply (*)(ApiContext&);
    // Whether the route verifies or hashes a password.
    enum class Cost { Light, PasswordHash };
    // For a Read route whose answer depends on nothing but the station's
    // records and a few of the request's values: those values as a text, by
    // which the answer is reused while the database is unchanged (see
    // AnswerCache); an empty text when this request's answer is not reused.
    using AnswerKey = QString (*)(const ApiRequest&);

    // Which count of writes a route takes one from (see ServiceLimits).
    enum class Quota { None, Feedback, Visits, Parties, StationRecords };

    struct Route
    {
        QString method;
        QStringList pattern; // "*" matches any one segment
        Access access;
        Mode mode;
        Handler handler;
        Cost cost;
        AnswerKey answerKey; // null: never reused
        Quota quota = Quota::None;
        // The record a write changes, whose version the request may name
        // and the answer reports (see RecordVersion).
        RecordVersion::Kind record = RecordVersion::None;
    };

    void add(const QString& method, const QString& pattern, Access access, Mode mode, Handler handler,
        Cost cost = Cost::Light, AnswerKey answerKey = nullptr);
    // The count a request of a route takes one write from; an empty key: none.
    struct QuotaUse
    {
        QString key;
        WriteQuota::Limit limit;
        QString dayFullMessage;
        // The limit's name in the metrics ("parties"), before "_per_minute"
        // or "_per_day".
        std::string name;
    };

    void count(const QString& method, const QString& pattern, Quota quota);
    void versioned(const QString& method, const QString& pattern, RecordVersion::Kind record);
    static QuotaUse quotaUse(Quota quota, const ApiRequest& request, const ServiceLimits& limits);
    const Route* match(const QStringList& segments, bool* methodMismatch, const QString& method) const;
    // The route named by `path` (below "/api"), if any; `segments` gets the
    // path's segments without the slashes around them.
    const Route* find(const QString& method, const QString& path, QStringList* segments, bool* methodMismatch) const;
    Outcome run(const Route& route, ApiRequest& request, const Storage& storage, const Settings& settings) const;
    static Outcome health(const Storage& storage);

    QVector<Route> routes;
    QStringList resources;
    // Shared by every request; its counts are in the database.
    std::unique_ptr<LoginThrottle> throttle;
    std::function<void(const QString&)> errorSink;
    std::function<void()> changeListener;
};

} // namespace platform
