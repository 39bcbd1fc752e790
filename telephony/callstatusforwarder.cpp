#include "telephony/callstatusforwarder.h"

#include "telephony/telnumberwidget.h"

#include <QCoreApplication>

#include <mutex>

namespace {

// Guards `current`: the SDK's thread reads it, the GUI thread sets and clears it.
// Never destroyed, so a report from the SDK's thread during process exit still
// finds a valid lock (and then no forwarder).
std::mutex& forwarderMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

CallStatusForwarder* current = nullptr;

} // namespace

CallStatusForwarder* CallStatusForwarder::instance()
{
    std::lock_guard<std::mutex> lock(forwarderMutex());
    if (!current)
        current = new CallStatusForwarder(QCoreApplication::instance());
    return current;
}

CallStatusForwarder::CallStatusForwarder(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<CallStatusForwarder::CallEvent>();
}

CallStatusForwarder::~CallStatusForwarder()
{
    std::lock_guard<std::mutex> lock(forwarderMutex());
    if (current == this)
        current = nullptr;
}

void CallStatusForwarder::post(CallEvent event, const QByteArray& callId)
{
    std::lock_guard<std::mutex> lock(forwarderMutex());
    if (!current)
        return;
    CallStatusForwarder* forwarder = current;
    // Held under the lock, so the forwarder cannot be destroyed meanwhile;
    // the queued call itself is dropped by Qt if it is destroyed later.
    QMetaObject::invokeMethod(
        forwarder, [forwarder, event, callId] { forwarder->deliver(event, callId); }, Qt::QueuedConnection);
}

void CallStatusForwarder::startCall(TelNumberWidget* widget)
{
    activeTelNumberWidget = widget;
    currentCallId.clear();
    callIdKnown = false;
}

void CallStatusForwarder::deliver(CallEvent event, const QByteArray& callId)
{
    bool forThisCall = false;
    if (event == CallEvent::Proceeding && !callIdKnown) {
        currentCallId = callId;
        callIdKnown = true;
        forThisCall = true;
    } else if (callIdKnown) {
        forThisCall = callId == currentCallId;
    } else {
        // The SDK may fail a call before it proceeds; a release cannot
        // belong to a call that never proceeded.
        forThisCall = event == CallEvent::Failed;
    }
    if (forThisCall && activeTelNumberWidget)
        activeTelNumberWidget->reportCallEvent(event);
    emit signal_call_event_delivered(event, callId);
}
