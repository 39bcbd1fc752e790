#include "debuglinerecorder.h"

#include <mutex>

namespace {

std::mutex linesMutex;
QStringList recorded;
QtMessageHandler forwardTo = nullptr;

void record(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QtMessageHandler next = nullptr;
    {
        std::lock_guard<std::mutex> lock(linesMutex);
        recorded << message;
        next = forwardTo;
    }
    if (type != QtDebugMsg && next)
        next(type, context, message);
}

} // namespace

DebugLineRecorder::DebugLineRecorder()
{
    clear();
    previous = qInstallMessageHandler(&record);
    std::lock_guard<std::mutex> lock(linesMutex);
    forwardTo = previous;
}

DebugLineRecorder::~DebugLineRecorder()
{
    qInstallMessageHandler(previous);
    std::lock_guard<std::mutex> lock(linesMutex);
    forwardTo = nullptr;
}

QStringList DebugLineRecorder::lines() const
{
    std::lock_guard<std::mutex> lock(linesMutex);
    return recorded;
}

bool DebugLineRecorder::contains(const QString& line) const
{
    std::lock_guard<std::mutex> lock(linesMutex);
    return recorded.contains(line);
}

void DebugLineRecorder::clear()
{
    std::lock_guard<std::mutex> lock(linesMutex);
    recorded.clear();
}
