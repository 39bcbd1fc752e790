#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

namespace platform {

class ApiRequest;

// The answers a station's writes were given, by the request id the client
// sent with them ("request_id": 32 lower-case hex digits, made once per
// action of the user and kept for its retries). A write sent again, because
// its answer was lost on the way, gets the answer it got the first time and
// changes nothing.
//
// An answer is kept in the write's own transaction, so a write that is
// rolled back keeps none and a committed one is never without it; only
// successes are kept, so a refused write is tried afresh when sent again.
// Writers of one database take turns (see Transaction), so a duplicate sent
// while the first is still running waits for it and then finds its answer,
// in whatever process it runs; the key (organ, request_id) is unique besides.
// Answers are kept for a day.
class RequestAnswers
{
public:
    static const qint64 keptMs = 24 * 60 * 60 * 1000;

    struct Answer
    {
        int status = 200;
        QByteArray body;
    };

    // The request's id; empty when it names none. Refuses (ApiError) an id of
    // another form.
    static QString idOf(const ApiRequest& request);

    // The answer kept for `id` of station `organ`, if there is one younger
    // than a day. `route` names what the request asked for (method and
    // path); an id kept for another route is refused (ApiError).
    static bool find(
        const QSqlDatabase& db, qint64 organ, const QString& id, const QString& route, qint64 nowMs, Answer* answer);
    // Keeps `answer` for `id`, and drops the station's answers older than a
    // day.
    static void keep(const QSqlDatabase& db, qint64 organ, const QString& id, const QString& route, qint64 nowMs,
        const Answer& answer);
};

} // namespace platform
