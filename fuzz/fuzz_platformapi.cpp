// Sends arbitrary requests to the platform's router: every route, its session
// check, its parameter readers and its handler, on a database seeded with the
// demo stations. The socket layer is not involved; the parameters arrive as
// the HTTP server hands them over, decoded by the server's own code (query
// pairs, then form pairs, each in the order sent).
//
// Input, as lines: flags ("S" adds the demo user's session to the
// parameters), the method, the path below "/api", the query; the rest is the
// form body. Every input starts from the same freshly seeded database.

#include "apirouter.h"
#include "demoseed.h"
#include "requestdecoding.h"
#include "storage.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDriver>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace platform;

namespace {

struct Fixture
{
    QTemporaryDir folder;
    Storage storage;
    ApiRouter router;
    ApiRouter::Settings settings { QStringLiteral("1.0.1"), QStringLiteral("127.0.0.1:8765"),
        QStringLiteral("127.0.0.1"), ServiceLimits() };
    sqlite3* pristine = nullptr;
    std::string token;
    std::string user;

    explicit Fixture(const QString& base)
        : folder(base)
    {
    }

    ~Fixture() { sqlite3_close(pristine); }
};

Fixture* fixture = nullptr;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_platformapi: %s\n", what);
    std::abort();
}

void discardMessages(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtFatalMsg)
        std::abort();
}

sqlite3* handleOf(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        fail("no SQLite handle");
    return *static_cast<sqlite3* const*>(handle.constData());
}

void copyDatabase(sqlite3* from, sqlite3* to)
{
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup || sqlite3_backup_step(backup, -1) != SQLITE_DONE || sqlite3_backup_finish(backup) != SQLITE_OK)
        fail(sqlite3_errmsg(to));
}

std::string nextLine(const std::string& input, std::size_t& position)
{
    if (position >= input.size())
        return std::string();
    std::size_t end = input.find('\n', position);
    if (end == std::string::npos)
        end = input.size();
    const std::string line = input.substr(position, end - position);
    position = end + 1;
    return line;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz_platformapi";
    static char* argv[] = { name, nullptr };
    qInstallMessageHandler(discardMessages);
    new QCoreApplication(argc, argv);

    // Memory-backed when the machine has it: every input rewrites the file.
    const QString base
        = QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm/fuzz_platformapi-XXXXXX") : QString();
    fixture = new Fixture(base);
    std::atexit([] { delete fixture; });
    QString error;
    if (!fixture->folder.isValid() || !fixture->storage.open(fixture->folder.filePath("platform.db"), &error))
        fail(qPrintable(error));
    DemoSeed::seedIfEmpty(fixture->storage);

    // One session of the demo user, opened the way the client opens it.
    const ApiRequest::RawParams login { { QByteArrayLiteral("username"), QByteArrayLiteral("demo") },
        { QByteArrayLiteral("password"), QByteArray(DemoSeed::demoPassword()) } };
    const ApiRouter::Outcome signedIn = fixture->router.dispatch(
        QStringLiteral("POST"), QStringLiteral("/auth/"), login, fixture->storage, fixture->settings);
    const QJsonObject answer = QJsonDocument::fromJson(signedIn.reply.toJson()).object();
    if (!signedIn.reply.isSuccess())
        fail("the demo user cannot sign in");
    fixture->token = answer.value(QLatin1String("token")).toString().toStdString();
    fixture->user = std::to_string(answer.value(QLatin1String("user")).toInt());

    if (sqlite3_open(":memory:", &fixture->pristine) != SQLITE_OK)
        fail("no in-memory database");
    copyDatabase(handleOf(fixture->storage.connection()), fixture->pristine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t position = 0;
    const std::string flags = nextLine(input, position);
    const std::string method = nextLine(input, position);
    const std::string path = nextLine(input, position);
    const std::string query = nextLine(input, position);
    const std::string body = position < input.size() ? input.substr(position) : std::string();

    // Decoded by the server's own code, in the order the server hands them on.
    ApiRequest::RawParams params;
    parseParams(query, &params);
    parseParams(body, &params);
    if (flags.find('S') != std::string::npos) {
        // After the input's own pairs: a "token" or "user" of the input wins.
        params.append({ QByteArrayLiteral("token"), QByteArray::fromStdString(fixture->token) });
        params.append({ QByteArrayLiteral("user"), QByteArray::fromStdString(fixture->user) });
    }

    copyDatabase(fixture->pristine, handleOf(fixture->storage.connection()));
    const ApiRouter::Outcome outcome = fixture->router.dispatch(QString::fromStdString(method),
        QString::fromUtf8(path.data(), static_cast<int>(path.size())), params, fixture->storage,
        fixture->settings);

    // Every answer is the envelope, and only an unknown address is not a 200.
    const QJsonDocument document = QJsonDocument::fromJson(outcome.reply.toJson());
    if (!document.isObject() || !document.object().value(QLatin1String("success")).isBool())
        fail("an answer outside the envelope");
    if (outcome.status != 200 && (outcome.status != 404 || outcome.reply.isSuccess()))
        fail("an unexpected status");
    return 0;
}
