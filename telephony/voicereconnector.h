#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Signs the voice session in again after the voice switch went away or could
// not be reached, until it is back: the first try follows the SDK's report
// after a short wait, and each failed try doubles the wait, up to a limit. A
// connection resets the wait.
//
// One object for the application's lifetime, created on the GUI thread by
// instance() and owned by the application object. The SDK's callbacks only
// post() what happened; everything else runs on the GUI thread.
class VoiceReconnector : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstWaitMs = 2000;
    static constexpr int LongestWaitMs = 60000;

    // GUI thread only. Created on first use.
    static VoiceReconnector* instance();
    ~VoiceReconnector() override;

    // Any thread: the SDK connected (true) or could not connect or lost its
    // connection (false). Dropped when there is no reconnector.
    static void post(bool connected);

    // How to sign in again; set by the session's start, which also calls off
    // a try that was planned and starts again from the first wait.
    void watch(std::function<void()> signIn);
    // A try is planned: the session was lost and is not back yet.
    bool isReconnecting() const { return reconnecting; }
    // The session was online since the latest start: a loss, not a sign-in
    // that never worked.
    bool wasOnline() const { return everOnline; }
    // The wait before the try after the next failure.
    int nextWaitMs() const { return wait; }

    // Test seam: the waits (the application never calls this).
    static void setWaitsForTesting(int firstMs, int longestMs);

signals:
    void signal_voice_connection_changed(bool connected);

private:
    explicit VoiceReconnector(QObject* parent);
    void deliver(bool connected);
    void tryAgain();

    std::function<void()> signIn;
    QTimer retry;
    int wait;
    bool reconnecting = false;
    bool everOnline = false;
};
