#include "admincommands.h"

#include "apierror.h"
#include "credentials.h"
#include "databasecopy.h"
#include "databaseurl.h"
#include "loginthrottle.h"
#include "phonerules.h"
#include "printabletext.h"
#include "sessionservice.h"
#include "sql.h"
#include "storage.h"
#include "transaction.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace platform {

namespace {

// A refusal of the command: printed as one line, exit status 1.
struct Refusal
{
    QString message;
};

// A command line that names no command properly: exit status 2.
struct Usage
{
    QString message;
};

const QRegularExpression& loginPattern()
{
    // Printable, without spaces: what a person can type at the sign-in.
    static const QRegularExpression pattern(QStringLiteral("^[^\\s\\p{C}]{1,64}$"));
    return pattern;
}

// Parses the options of a command: each given exactly once, each required,
// no other arguments.
QStringList parseOptions(const QStringList& arguments, const QStringList& names)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const QString& name : names)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("VALUE")));
    // QCommandLineParser skips the first argument, the program's name.
    if (!parser.parse(QStringList { QStringLiteral("freymo-platform") } + arguments))
        throw Usage { parser.errorText() };
    if (!parser.positionalArguments().isEmpty())
        throw Usage { QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()) };
    QStringList values;
    for (const QString& name : names) {
        if (parser.values(name).size() != 1)
            throw Usage { QStringLiteral("give --%1 once").arg(name) };
        values.append(parser.value(name));
    }
    return values;
}

QString text(const QString& value, const QString& what, int maxLength)
{
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > maxLength)
        throw Refusal { QStringLiteral("the %1 must be 1 to %2 characters").arg(what).arg(maxLength) };
    return trimmed;
}

QString newLogin(const QSqlDatabase& db, const QString& login)
{
    if (!loginPattern().match(login).hasMatch())
        throw Refusal { QStringLiteral("bad login \"%1\": 1 to 64 characters without spaces").arg(login) };
    if (Sql::scalar(db, QStringLiteral("SELECT COUNT(*) FROM users WHERE username = ?"), { login }).toLongLong() > 0)
        throw Refusal { QStringLiteral("login %1 is taken").arg(login) };
    return login;
}

// A new password from standard input, refused when it breaks the platform's rules.
QString newPassword(const AdminCommands::PasswordReader& readPassword)
{
    QString password;
    QString error;
    if (!readPassword(&password, &error))
        throw Refusal { error };
    if (!SessionService::acceptablePassword(password))
        throw Refusal { QStringLiteral("the password must be 8 to 64 characters") };
    return password;
}

QString newPasswordHash(const AdminCommands::PasswordReader& readPassword)
{
    return Credentials::hashPassword(newPassword(readPassword));
}

struct Account
{
    qint64 id = 0;
    qint64 organ = 0;
    QString hash;
    QString role;
};

Account account(const QSqlDatabase& db, const QString& login)
{
    Sql q(db, QStringLiteral("SELECT id, organ, password_hash, role FROM users WHERE username = ?"));
    q.bind(login).exec();
    if (!q.next())
        throw Refusal { QStringLiteral("no account %1").arg(login) };
    return { q.integer(0), q.integer(1), q.text(2), q.text(3) };
}

QString argument(const QStringList& command, int index, const QString& what)
{
    if (command.size() != index + 1)
        throw Usage { QStringLiteral("%1 takes one %2").arg(command.first(), what) };
    return command.at(index);
}

int addStation(const QStringList& arguments, const QSqlDatabase& db, const AdminCommands::PasswordReader& readPassword,
    const AdminCommands::Printer& out)
{
    const QStringList values = parseOptions(arguments,
        { QStringLiteral("name"), QStringLiteral("contact"), QStringLiteral("mobile"), QStringLiteral("login") });
    const QString name = text(values.at(0), QStringLiteral("station's name"), 50);
    const QString contact = text(values.at(1), QStringLiteral("contact's name"), 20);
    const QString mobile = values.at(2).trimmed();
    if (!phoneNumber().match(mobile).hasMatch())
        throw Refusal { QStringLiteral(
            "bad mobile number \"%1\": a mobile (11 digits, 13 to 19 first) or 0, an area code and 7 to 8 digits")
                            .arg(values.at(2)) };
    const QString login = newLogin(db, values.at(3));
    // Argon2 takes a while: the hash is made before the write lock is taken.
    const QString hash = newPasswordHash(readPassword);

    Transaction transaction(db, Transaction::Write);
    newLogin(db, login);
    Sql q(db, QStringLiteral("INSERT INTO organs (name, linkman, mobile_number, create_time) VALUES (?, ?, ?, ?)"));
    q.bind(name).bind(contact).bind(mobile).bind(SessionService::now()).exec();
    const qint64 organ = q.lastInsertId();
    const qint64 user = SessionService::insertUser(db, organ, login, hash, contact, QStringLiteral("station"));
    transaction.commit();
    out(QStringLiteral("added station %1 (organ %2) with its account %3 (user %4)")
            .arg(name)
            .arg(organ)
            .arg(login)
            .arg(user));
    return 0;
}

int addClerk(const QStringList& arguments, const QSqlDatabase& db, const AdminCommands::PasswordReader& readPassword,
    const AdminCommands::Printer& out)
{
    const QStringList values
        = parseOptions(arguments, { QStringLiteral("station"), QStringLiteral("login"), QStringLiteral("name") });
    qint64 organ = 0;
    {
        Sql q(db, QStringLiteral("SELECT organ FROM users WHERE username = ? AND role = 'station'"));
        q.bind(values.at(0)).exec();
        if (!q.next())
            throw Refusal { QStringLiteral("no station signs in as %1").arg(values.at(0)) };
        organ = q.integer(0);
    }
    const QString login = newLogin(db, values.at(1));
    const QString name = text(values.at(2), QStringLiteral("clerk's name"), 20);
    const QString hash = newPasswordHash(readPassword);

    Transaction transaction(db, Transaction::Write);
    newLogin(db, login);
    const qint64 user = SessionService::insertUser(db, organ, login, hash, name, QStringLiteral("clerk"));
    transaction.commit();
    out(QStringLiteral("added clerk %1 (user %2, %3) to the station of %4")
            .arg(login)
            .arg(user)
            .arg(name, values.at(0)));
    return 0;
}

int setPassword(const QString& login, const QSqlDatabase& db, const AdminCommands::PasswordReader& readPassword,
    const AdminCommands::Printer& out)
{
    const Account user = account(db, login);
    const QString password = newPassword(readPassword);
    // The same change as the client's: every session of the account ends, and
    // its voice secrets are renewed (a voice session already signed in on a
    // running service lasts until it disconnects).
    SessionService::changePassword(db, user.id, user.hash, password, QString());
    // Guesses at the old password no longer hold the new one up: the owner
    // who forgot it can sign in at once, from where they failed too.
    LoginThrottle::forgetName(db, login);
    out(QStringLiteral("set the password of %1; its sessions ended").arg(login));
    return 0;
}

int setDisabled(const QString& login, bool disabled, const QSqlDatabase& db, const AdminCommands::Printer& out)
{
    Transaction transaction(db, Transaction::Write);
    const Account user = account(db, login);
    Sql update(db, QStringLiteral("UPDATE users SET disabled = ? WHERE id = ?"));
    update.bind(disabled ? 1 : 0).bind(user.id).exec();
    int ended = 0;
    if (disabled) {
        Sql end(db, QStringLiteral("DELETE FROM sessions WHERE user = ?"));
        end.bind(user.id).exec();
        ended = end.rowsAffected();
    }
    transaction.commit();
    if (disabled)
        out(QStringLiteral("disabled %1; ended %2 open session(s)").arg(login).arg(ended));
    else
        out(QStringLiteral("enabled %1").arg(login));
    return 0;
}

int list(const QSqlDatabase& db, const AdminCommands::Printer& out)
{
    Transaction transaction(db, Transaction::Read);
    Sql q(db,
        QStringLiteral("SELECT o.id, o.name, o.linkman, o.mobile_number, u.username, u.role, u.name, u.disabled"
                       " FROM organs o LEFT JOIN users u ON u.organ = o.id"
                       " ORDER BY o.id, u.role = 'clerk', u.id"));
    q.exec();
    qint64 organ = -1;
    int stations = 0;
    // A station wrote its own names and contact (the profile): whatever they
    // hold, the administrator's terminal gets printable text only.
    const auto shown = [&q](int column) { return printableText(q.text(column)); };
    while (q.next()) {
        if (q.integer(0) != organ) {
            organ = q.integer(0);
            ++stations;
            out(QStringLiteral("station %1: %2 (contact %3, %4)").arg(organ).arg(shown(1), shown(2), shown(3)));
        }
        if (q.isNull(4))
            continue;
        out(QStringLiteral("  %1  %2  %3%4")
                .arg(shown(4), shown(5), shown(6), q.integer(7) != 0 ? QStringLiteral("  (disabled)") : QString()));
    }
    if (stations == 0)
        out(QStringLiteral("no stations"));
    return 0;
}

// The terminal's settings while a password is typed without echo; restored
// also when the user breaks off with Ctrl-C.
struct termios savedTerminal;
volatile std::sig_atomic_t echoOff = 0;

void restoreTerminal(int signal)
{
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool readLine(QString* line)
{
    std::string bytes;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        bytes.push_back(static_cast<char>(c));
    if (c == EOF && bytes.empty())
        return false;
    if (!bytes.empty() && bytes.back() == '\r')
        bytes.pop_back();
    *line = QString::fromStdString(bytes);
    return true;
}

bool readHidden(const char* prompt, QString* line)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    tcgetattr(STDIN_FILENO, &savedTerminal);
    struct termios hidden = savedTerminal;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    echoOff = 1;
    const auto previous = std::signal(SIGINT, restoreTerminal);
    tcsetattr(STDIN_FILENO, TCSANOW, &hidden);
    const bool read = readLine(line);
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    echoOff = 0;
    std::signal(SIGINT, previous);
    std::fputs("\n", stderr);
    return read;
}

} // namespace

QStringList AdminCommands::names()
{
    return { QStringLiteral("station"), QStringLiteral("clerk"), QStringLiteral("passwd"), QStringLiteral("disable"),
        QStringLiteral("enable"), QStringLiteral("list"), QStringLiteral("copy-to") };
}

QString AdminCommands::helpText()
{
    return QStringLiteral("Commands (on the database of --data-dir; they work while the server runs):\n"
                          "  station add --name NAME --contact PERSON --mobile NUMBER --login LOGIN\n"
                          "                        Add a station and its first account.\n"
                          "  clerk add --station STATION_LOGIN --login LOGIN --name NAME\n"
                          "                        Add a clerk's account to the station of STATION_LOGIN.\n"
                          "  passwd LOGIN          Set a new password; the account's sessions end.\n"
                          "  disable LOGIN         Stop an account; its open sessions end at once.\n"
                          "  enable LOGIN          Restore a stopped account.\n"
                          "  list                  Show the stations and their accounts.\n"
                          "  copy-to URL           Copy the SQLite database into the empty PostgreSQL\n"
                          "                        database postgresql://USER@HOST:PORT/DBNAME, history\n"
                          "                        included, and check the counts. Refused while a\n"
                          "                        server still serves the file.\n"
                          "Passwords (8 to 64 characters) are read from standard input: one line, or\n"
                          "asked twice without echo on a terminal.\n");
}

namespace {

int copyTo(const QString& address, const Storage& storage, const AdminCommands::Printer& out)
{
    DatabaseUrl url;
    QString error;
    if (!DatabaseUrl::parse(address, &url, &error))
        throw Usage { error };
    if (url.kind != DatabaseUrl::PostgreSQL || storage.databaseUrl().kind != DatabaseUrl::SQLite)
        throw Usage { QStringLiteral("copy-to copies a SQLite file (--data-dir) into a PostgreSQL database") };
    Storage target;
    if (!target.open(url, &error))
        throw Refusal { error };
    for (const QString& line : DatabaseCopy::copy(storage, target))
        out(line);
    out(QStringLiteral("copied %1 to %2").arg(storage.location(), target.location()));
    return 0;
}

} // namespace

int AdminCommands::run(const QStringList& command, const Storage& storage, const PasswordReader& readPassword,
    const Printer& out, const Printer& err)
{
    try {
        const QSqlDatabase db = storage.connection();
        const QString name = command.value(0);
        const QString sub = command.value(1);
        if (name == QLatin1String("station") && sub == QLatin1String("add"))
            return addStation(command.mid(2), db, readPassword, out);
        if (name == QLatin1String("clerk") && sub == QLatin1String("add"))
            return addClerk(command.mid(2), db, readPassword, out);
        if (name == QLatin1String("passwd"))
            return setPassword(argument(command, 1, QStringLiteral("login")), db, readPassword, out);
        if (name == QLatin1String("disable") || name == QLatin1String("enable"))
            return setDisabled(
                argument(command, 1, QStringLiteral("login")), name == QLatin1String("disable"), db, out);
        if (name == QLatin1String("list") && command.size() == 1)
            return list(db, out);
        if (name == QLatin1String("copy-to") && command.size() == 2)
            return copyTo(command.at(1), storage, out);
        throw Usage { QStringLiteral("unknown command: %1").arg(command.join(QLatin1Char(' '))) };
    } catch (const Usage& usage) {
        err(QStringLiteral("freymo-platform: %1").arg(usage.message));
        return 2;
    } catch (const Refusal& refusal) {
        err(QStringLiteral("freymo-platform: %1").arg(refusal.message));
        return 1;
    } catch (const ApiError& refusal) {
        err(QStringLiteral("freymo-platform: %1").arg(refusal.message()));
        return 1;
    } catch (const std::exception& failure) {
        err(QStringLiteral("freymo-platform: %1").arg(QString::fromStdString(failure.what())));
        return 1;
    }
}

bool AdminCommands::readStandardInput(QString* password, QString* error)
{
    if (!isatty(STDIN_FILENO)) {
        if (readLine(password))
            return true;
        *error = QStringLiteral("no password on standard input");
        return false;
    }
    QString again;
    if (!readHidden("Password: ", password) || !readHidden("Password again: ", &again)) {
        *error = QStringLiteral("no password typed");
        return false;
    }
    if (*password != again) {
        *error = QStringLiteral("the two passwords differ");
        return false;
    }
    return true;
}

} // namespace platform
