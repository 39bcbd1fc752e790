#include "databaseurl.h"

#include <QFileInfo>
#include <QUrl>

namespace platform {

DatabaseUrl DatabaseUrl::sqliteFile(const QString& path)
{
    DatabaseUrl url;
    url.kind = SQLite;
    url.path = QFileInfo(path).absoluteFilePath();
    return url;
}

bool DatabaseUrl::parse(const QString& text, DatabaseUrl* url, QString* error)
{
    const auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString sqlitePrefix = QStringLiteral("sqlite:");
    if (text.startsWith(sqlitePrefix)) {
        const QString path = text.mid(sqlitePrefix.size());
        if (path.isEmpty())
            return refuse(QStringLiteral("the database address sqlite: names no file"));
        *url = sqliteFile(path);
        return true;
    }
    const QString scheme = text.section(QLatin1Char(':'), 0, 0);
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        return refuse(QStringLiteral("unknown database address %1 (sqlite:PATH or postgresql://USER@HOST:PORT/DBNAME)")
                          .arg(text));

    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid() || !text.startsWith(scheme + QStringLiteral("://")))
        return refuse(QStringLiteral("the database address is not a valid postgresql://USER@HOST:PORT/DBNAME"));
    // Before anything else: a secret on the command line would be readable
    // by every user of the machine.
    if (!parsed.password().isEmpty() || text.section(QLatin1Char('@'), 0, 0).count(QLatin1Char(':')) > 1)
        return refuse(QStringLiteral("the database address must not hold a password: use PGPASSWORD or PGPASSFILE"));
    if (parsed.hasQuery() || parsed.hasFragment())
        return refuse(QStringLiteral("the database address takes no options after the database name"));
    DatabaseUrl result;
    result.kind = PostgreSQL;
    result.user = parsed.userName();
    result.host = parsed.host();
    result.port = parsed.port(0);
    result.databaseName = parsed.path().mid(1);
    if (result.host.isEmpty() || result.databaseName.isEmpty() || result.databaseName.contains(QLatin1Char('/')))
        return refuse(QStringLiteral("the database address needs a host and a database name:"
                                     " postgresql://USER@HOST:PORT/DBNAME"));
    *url = result;
    return true;
}

QString DatabaseUrl::toString() const
{
    if (kind == SQLite)
        return QStringLiteral("sqlite:") + path;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    text += host;
    if (port > 0)
        text += QLatin1Char(':') + QString::number(port);
    return text + QLatin1Char('/') + databaseName;
}

} // namespace platform
