#include "eventstreamreader.h"

#include <QDeadlineTimer>

EventStreamReader::EventStreamReader(int serverPort)
    : port(serverPort)
{
}

bool EventStreamReader::open(const QString& target, const QList<QByteArray>& headers, int ms)
{
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!socket.waitForConnected(ms))
        return false;
    QByteArray request = "GET /api" + target.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
        + "\r\nAccept: text/event-stream\r\n";
    for (const QByteArray& header : headers)
        request += header + "\r\n";
    socket.write(request + "\r\n");
    const QDeadlineTimer deadline(ms);
    while (!raw.contains("\r\n\r\n")) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        raw += socket.readAll();
    }
    const int end = raw.indexOf("\r\n\r\n");
    head = raw.left(end + 2);
    raw.remove(0, end + 4);
    httpStatus = head.mid(9, 3).toInt();
    chunked = header("transfer-encoding").toLower().contains("chunked");
    decode();
    return true;
}

QByteArray EventStreamReader::header(const QByteArray& name) const
{
    for (const QByteArray& line : head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

QByteArray EventStreamReader::body(int ms)
{
    const QByteArray length = header("content-length");
    const QDeadlineTimer deadline(ms);
    while (!finished && (length.isEmpty() || decoded.size() < length.toInt()) && pump(int(deadline.remainingTime()))) {
    }
    return decoded;
}

bool EventStreamReader::pump(int ms)
{
    if (finished)
        return false;
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(qMax(0, ms))) {
        finished = socket.state() != QAbstractSocket::ConnectedState;
        return false;
    }
    raw += socket.readAll();
    decode();
    return true;
}

void EventStreamReader::decode()
{
    if (!chunked) {
        decoded += raw;
        raw.clear();
        return;
    }
    for (;;) {
        const int lineEnd = raw.indexOf("\r\n");
        if (lineEnd < 0)
            return;
        bool ok = false;
        const int size = raw.left(lineEnd).split(';').first().trimmed().toInt(&ok, 16);
        if (!ok)
            return;
        if (size == 0) {
            finished = true;
            return;
        }
        if (raw.size() < lineEnd + 2 + size + 2)
            return;
        decoded += raw.mid(lineEnd + 2, size);
        raw.remove(0, lineEnd + 2 + size + 2);
    }
}

bool EventStreamReader::next(Event* event, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!decoded.contains("\n\n")) {
        if (!pump(int(deadline.remainingTime())))
            return false;
    }
    const int end = decoded.indexOf("\n\n");
    const QByteArray block = decoded.left(end);
    decoded.remove(0, end + 2);
    *event = Event();
    for (const QByteArray& line : block.split('\n')) {
        if (line.startsWith(':'))
            event->comment = line.mid(1).trimmed();
        else if (line.startsWith("id:"))
            event->id = QString::fromUtf8(line.mid(3).trimmed());
        else if (line.startsWith("event:"))
            event->type = QString::fromUtf8(line.mid(6).trimmed());
        else if (line.startsWith("data:"))
            event->data += line.mid(5).trimmed();
    }
    return true;
}

bool EventStreamReader::nextOfType(const QString& type, Event* event, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (next(event, int(deadline.remainingTime()))) {
        if (event->type == type)
            return true;
    }
    return false;
}

bool EventStreamReader::ends(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!finished && !deadline.hasExpired())
        pump(int(deadline.remainingTime()));
    return finished;
}
