#include "telephony/voicereconnector.h"

#include "telephony/voicesession.h"

#include <QCoreApplication>
#include <QDebug>

#include <mutex>

namespace {

// Guards `current` as in CallStatusForwarder: never destroyed, so a report
// from the SDK's thread during process exit still finds a valid lock.
std::mutex& reconnectorMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

VoiceReconnector* current = nullptr;

int firstWaitMs = VoiceReconnector::FirstWaitMs;
int longestWaitMs = VoiceReconnector::LongestWaitMs;

} // namespace

VoiceReconnector* VoiceReconnector::instance()
{
    std::lock_guard<std::mutex> lock(reconnectorMutex());
    if (!current)
        current = new VoiceReconnector(QCoreApplication::instance());
    return current;
}

VoiceReconnector::VoiceReconnector(QObject* parent)
    : QObject(parent)
    , wait(firstWaitMs)
{
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &VoiceReconnector::tryAgain);
}

VoiceReconnector::~VoiceReconnector()
{
    std::lock_guard<std::mutex> lock(reconnectorMutex());
    if (current == this)
        current = nullptr;
}

void VoiceReconnector::post(bool connected)
{
    std::lock_guard<std::mutex> lock(reconnectorMutex());
    if (!current)
        return;
    VoiceReconnector* reconnector = current;
    QMetaObject::invokeMethod(
        reconnector, [reconnector, connected] { reconnector->deliver(connected); }, Qt::QueuedConnection);
}

void VoiceReconnector::watch(std::function<void()> how)
{
    signIn = std::move(how);
    retry.stop();
    reconnecting = false;
    everOnline = false;
    wait = firstWaitMs;
}

void VoiceReconnector::setWaitsForTesting(int firstMs, int longestMs)
{
    firstWaitMs = firstMs;
    longestWaitMs = longestMs;
    if (current)
        current->wait = firstMs;
}

void VoiceReconnector::deliver(bool connected)
{
    emit signal_voice_connection_changed(connected);
    if (connected) {
        everOnline = true;
        reconnecting = false;
        retry.stop();
        wait = firstWaitMs;
        return;
    }
    // One try at a time; a session never started is not retried.
    if (!signIn || retry.isActive())
        return;
    reconnecting = true;
    qDebug() << "voice session lost; signing in again in" << wait << "ms";
    retry.start(wait);
    wait = qMin(wait * 2, longestWaitMs);
}

void VoiceReconnector::tryAgain()
{
    // Back in the meantime (started again, for one): nothing to mend.
    if (VoiceSession::isOnline()) {
        reconnecting = false;
        wait = firstWaitMs;
        return;
    }
    if (signIn)
        signIn();
}
