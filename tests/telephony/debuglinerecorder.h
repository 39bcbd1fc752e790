#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records the debug lines of the whole process, from whichever thread writes
// them (the voice SDK calls the client's callbacks on a thread of its own),
// while an object of this class lives. Warnings and worse still reach the
// handler that was installed before. One at a time.
class DebugLineRecorder
{
public:
    DebugLineRecorder();
    ~DebugLineRecorder();

    DebugLineRecorder(const DebugLineRecorder&) = delete;
    DebugLineRecorder& operator=(const DebugLineRecorder&) = delete;

    QStringList lines() const;
    bool contains(const QString& line) const;
    void clear();

private:
    QtMessageHandler previous = nullptr;
};
