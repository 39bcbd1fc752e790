#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

class TelNumberWidget;

// Carries the voice SDK's call events from the SDK's thread to the phone
// pop-up that placed the call, on the GUI thread.
//
// One object for the application's lifetime, created on the GUI thread by
// instance() and owned by the application object. The SDK's callbacks only
// post() the event kind and the call id; delivery happens on the GUI thread,
// where the pop-up is looked up through a QPointer. An event for a pop-up that
// was deleted, or for a call other than the pop-up's own, touches nothing.
class CallStatusForwarder : public QObject
{
    Q_OBJECT

public:
    enum class CallEvent { Proceeding, Answered, Failed, Released };
    Q_ENUM(CallEvent)

    // GUI thread only. Created on first use.
    static CallStatusForwarder* instance();
    ~CallStatusForwarder() override;

    // Any thread. Queues the event for the GUI thread; dropped when there is
    // no forwarder (no pop-up was ever made, or the application is ending).
    static void post(CallEvent event, const QByteArray& callId);

    // The pop-up whose call is about to be placed: from now on it receives the
    // events of that call and of no earlier one.
    void startCall(TelNumberWidget* widget);
    TelNumberWidget* callingWidget() const { return activeTelNumberWidget; }

signals:
    // After an event was handled on the GUI thread, whether or not a pop-up
    // took it.
    void signal_call_event_delivered(CallStatusForwarder::CallEvent event, QByteArray callId);

private:
    explicit CallStatusForwarder(QObject* parent);
    void deliver(CallEvent event, const QByteArray& callId);

    // The pop-up that placed the call in progress.
    QPointer<TelNumberWidget> activeTelNumberWidget;
    // The id of that call, learnt from its first event. The SDK may give an
    // empty id, which then is that call's id like any other.
    QByteArray currentCallId;
    bool callIdKnown = false;
};
