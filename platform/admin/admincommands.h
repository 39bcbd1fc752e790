#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace platform {

class Storage;

// The platform's administration on its own database, also while the server
// runs on it (SQLite's WAL mode and the write lock of Transaction keep the
// two apart):
//   station add --name NAME --contact PERSON --mobile NUMBER --login LOGIN
//   clerk add --station STATION_LOGIN --login LOGIN --name NAME
//   passwd LOGIN
//   disable LOGIN / enable LOGIN
//   list
// Passwords are never taken from the arguments: they come from a reader
// (standard input in the executable). Every command prints one line per
// thing it did; a refusal is one line on the error output and a non-zero
// status.
class AdminCommands
{
public:
    // Reads one password; `twice` asks for it a second time where a person
    // types it. Returns false when none could be read (the reason in `error`).
    using PasswordReader = std::function<bool(QString* password, QString* error)>;
    using Printer = std::function<void(const QString& line)>;

    static QStringList names();
    static QString helpText();

    // Runs `command` (its name first). Returns the exit status: 0 when done,
    // 1 when refused, 2 for a bad command line.
    static int run(const QStringList& command, const Storage& storage, const PasswordReader& readPassword,
        const Printer& out, const Printer& err);

    // Reads a password from standard input: on a terminal asked twice
    // without echo, otherwise one line.
    static bool readStandardInput(QString* password, QString* error);
};

} // namespace platform
