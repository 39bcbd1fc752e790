#pragma once

#include "apirecorder.h"

#include "support/recordinghttpserver.h"

#include <memory>

class API;

// The set-up that the API suites share: a recording server with the API
// pointed at it and signed in for the whole suite, and a fresh recorder for
// every test. A suite derives from it (after QObject) and calls the four
// steps from initTestCase, cleanupTestCase, init and cleanup.
struct SignedInApiFixture
{
    std::unique_ptr<RecordingHttpServer> server;
    std::unique_ptr<ApiRecorder> recorder;
    API* api = nullptr;

    // Starts the server, points the API at it and signs in.
    bool startSignedIn();
    // Stops the server without waiting for the API's kept-alive connections.
    void stopServer();
    // Forgets earlier requests and starts recording the API afresh.
    void beginTest();
    // Waits until no reply is in flight, stops recording and points the API
    // back at the server (a test may have moved it).
    bool endTest();
};
