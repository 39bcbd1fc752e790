// Reads arbitrary bytes as the saved login file. A record that reads whole
// must survive being saved and read again unchanged.

#include "app/accountfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir* folder = nullptr;

void discardMessages(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(discardMessages);
    // Memory-backed when the machine has it: a million files are written.
    const QString base
        = QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm/fuzz_accountfile-XXXXXX") : QString();
    folder = base.isEmpty() ? new QTemporaryDir : new QTemporaryDir(base);
    if (!folder->isValid())
        std::abort();
    // Removed with the folder at exit, also when the run is stopped early.
    std::atexit([] { delete folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = folder->filePath(QStringLiteral("account.dat"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    AccountFile account(path);
    const bool whole = account.load();
    if (!account.remember() && (!account.username().isEmpty() || !account.password().isEmpty()))
        std::abort();
    if (!whole)
        return 0;

    AccountFile copy(path);
    if (!account.save(account.remember(), account.username(), account.password()) || !copy.load()
        || copy.remember() != account.remember() || copy.username() != account.username()
        || copy.password() != account.password())
        std::abort();
    return 0;
}
