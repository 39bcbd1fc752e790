#pragma once

#include <QByteArray>

class RecordingHttpServer;

// The login answer that signInForTesting() serves unless told otherwise:
// user 7 of the station 3 with the token "tk1".
extern const QByteArray defaultTestLoginAnswer;

// Points the API at `server`, answers its login path with `loginAnswer`, signs
// in and waits for the answer, so that requests carrying the session suffix
// can be sent. Returns false when the login did not come back signed in.
bool signInForTesting(RecordingHttpServer& server, const QByteArray& loginAnswer = defaultTestLoginAnswer);

// How many requests for `path` (without the query) the server has seen.
int requestsFor(const RecordingHttpServer& server, const QByteArray& path);

// Waits until the server has seen `count` requests for `path`.
bool waitForRequests(const RecordingHttpServer& server, const QByteArray& path, int count, int ms = 5000);
