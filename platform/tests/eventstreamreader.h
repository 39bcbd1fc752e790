#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpSocket>

// Reads a stream of changes (GET /api/events/) as a desk would, over a plain
// socket to the platform on 127.0.0.1: the answer's head, then its events
// one by one as they come, chunked or not.
class EventStreamReader
{
public:
    struct Event
    {
        QString id; // the "id:" line; empty when there was none
        QString type; // the "event:" line; empty for a comment
        QByteArray data;
        QByteArray comment; // a ": ..." line's text
    };

    explicit EventStreamReader(int port);

    // Sends GET `target` (below "/api", with its query) with `headers`
    // ("Name: value" lines) and waits for the answer's head.
    bool open(const QString& target, const QList<QByteArray>& headers = {}, int ms = 10000);
    int status() const { return httpStatus; }
    QByteArray header(const QByteArray& name) const;
    // The whole body so far, for a refusal that is not a stream.
    QByteArray body(int ms = 10000);

    // The next block of the stream; false when none came in `ms` or the
    // stream ended.
    bool next(Event* event, int ms = 10000);
    // The next block that is an event of `type` (other blocks are passed
    // over); false when none came in `ms`.
    bool nextOfType(const QString& type, Event* event, int ms = 10000);
    // Whether the stream ended (its last chunk, or the connection closed)
    // within `ms`, passing over whatever else came.
    bool ends(int ms = 10000);

private:
    // Reads what the socket has into `decoded`; false once it ended.
    bool pump(int ms);
    void decode();

    QTcpSocket socket;
    int port;
    int httpStatus = 0;
    QByteArray head;
    QByteArray raw;
    QByteArray decoded;
    bool chunked = false;
    bool finished = false;
};
