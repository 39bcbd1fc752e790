#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class API;
class RecordingHttpServer;

// Records every signal of the API as one line of text, in the order of
// emission: "<signal name without the prefix>(<payload>, "<errors>")", with
// JSON payloads written compactly and null pointers as "null". Transfer
// signals go to `all` only; `results` holds the completion signals.
class ApiRecorder : public QObject
{
    Q_OBJECT

public:
    explicit ApiRecorder(API* api, QObject* parent = nullptr);

    QStringList results;
    QStringList all;
    int transStarts = 0;
    int transFinishes = 0;

    // Waits until `count` completion signals have been recorded.
    bool waitForResults(int count = 1, int timeoutMs = 5000);
    // Waits until every started transfer has finished.
    bool waitForIdle(int timeoutMs = 5000);
    void clear();

    // Answers "/auth/" on `server` with a success for the user 42 of the
    // station 7 with the token "tk", logs in and waits for the answer.
    static bool signIn(RecordingHttpServer& server);

private:
    void record(const QString& line);
};
