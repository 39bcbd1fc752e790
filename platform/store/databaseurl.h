#pragma once

#include <QString>

namespace platform {

// Where the platform keeps its records, as given by --database:
//   sqlite:PATH                                  one SQLite file (the default)
//   postgresql://USER@HOST:PORT/DBNAME           a PostgreSQL database
// A password never appears here: libpq reads it from PGPASSWORD or the
// file that PGPASSFILE names (~/.pgpass by default).
struct DatabaseUrl
{
    enum Kind { SQLite, PostgreSQL };

    Kind kind = SQLite;
    // SQLite: the file's absolute path.
    QString path;
    // PostgreSQL: the parts of the address; port 0 leaves libpq's default.
    QString user;
    QString host;
    int port = 0;
    QString databaseName;

    // Parses `text`; on failure returns false and sets `error` to one line.
    static bool parse(const QString& text, DatabaseUrl* url, QString* error);
    static DatabaseUrl sqliteFile(const QString& path);

    // The address as the log may show it (never a secret: there is none).
    QString toString() const;
};

} // namespace platform
