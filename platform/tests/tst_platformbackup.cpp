// The backup and restore commands of the freymo-platform executable: a copy
// taken while writes go on, and its way back into a data folder.

#include "platformtestclient.h"
#include "platformtestserver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run platformCommand(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The first column of `sql` on the SQLite file at `path`, one value a row.
QStringList column(const QString& path, const QString& sql)
{
    QStringList values;
    const QString name = QStringLiteral("backup-check");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(db);
        if (db.open() && query.exec(sql)) {
            while (query.next())
                values << query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

} // namespace

class TestPlatformBackup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void backupDuringWritesRestoresEveryAcknowledgedWrite();
    void restoreRefusesWhileAPlatformServes();
    void restoreRefusesWhatIsNoCopy_data();
    void restoreRefusesWhatIsNoCopy();
    void aFolderKeepsTheNewestCopies();
    void postgresqlIsLeftToItsServer();
};

void TestPlatformBackup::init()
{
    const bool postgresTest = QByteArray(QTest::currentTestFunction()) == "postgresqlIsLeftToItsServer";
    if (PlatformTestServer::onPostgreSQL() && !postgresTest)
        QSKIP("the copies are of the SQLite file; PostgreSQL's server keeps its own");
    if (!PlatformTestServer::onPostgreSQL() && postgresTest)
        QSKIP("a run on PostgreSQL checks that");
}

void TestPlatformBackup::backupDuringWritesRestoresEveryAcknowledgedWrite()
{
    PlatformTestServer server;
    QVERIFY(server.start());
    QTemporaryDir work;

    // Trucks are added one after another, and each one the server
    // acknowledged is noted, until the copy is done.
    std::mutex noted;
    std::vector<qint64> acknowledged;
    std::atomic<bool> writing { true };
    std::atomic<bool> refused { false };
    std::thread writer([&] {
        PlatformTestClient client(server.port());
        if (!client.login(QStringLiteral("demo")))
            refused = true;
        for (int n = 0; writing && !refused && n < 5000; ++n) {
            const qint64 id = client.addTruck(QStringLiteral("鲁B%1").arg(10000 + n));
            if (id <= 0)
                refused = true;
            const std::lock_guard<std::mutex> lock(noted);
            acknowledged.push_back(id);
        }
    });
    const auto count = [&] {
        const std::lock_guard<std::mutex> lock(noted);
        return acknowledged.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(count() >= 20 || refused, 30000);
    std::vector<qint64> before;
    {
        const std::lock_guard<std::mutex> lock(noted);
        before = acknowledged;
    }
    const QString copy = work.filePath(QStringLiteral("copy.db"));
    const Run backup
        = platformCommand({ QStringLiteral("--data-dir"), server.dataDir(), QStringLiteral("backup"), copy });
    writing = false;
    writer.join();
    QVERIFY(!refused);
    QVERIFY2(backup.status == 0, qPrintable(backup.err));
    // The writes went on while the copy was made.
    QVERIFY(count() > before.size());
    struct stat info
    {
    };
    QCOMPARE(::stat(QFile::encodeName(copy).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, 0600u);
    // Nothing is left under the temporary name.
    QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("copy.db") });

    const QString restoredDir = work.filePath(QStringLiteral("restored"));
    const Run restore = platformCommand({ QStringLiteral("--data-dir"), restoredDir, QStringLiteral("restore"), copy });
    QVERIFY2(restore.status == 0, qPrintable(restore.err));
    QVERIFY(restore.out.contains(QStringLiteral("there was no database to keep")));
    const QString restored = QDir(restoredDir).filePath(QStringLiteral("platform.db"));
    QCOMPARE(column(restored, QStringLiteral("PRAGMA integrity_check")), QStringList { QStringLiteral("ok") });
    const QStringList trucks = column(restored, QStringLiteral("SELECT id FROM trucks"));
    for (const qint64 id : before)
        QVERIFY2(trucks.contains(QString::number(id)), qPrintable(QStringLiteral("truck %1 is missing").arg(id)));
}

void TestPlatformBackup::restoreRefusesWhileAPlatformServes()
{
    QTemporaryDir work;
    const QString dataDir = work.filePath(QStringLiteral("data"));
    QVERIFY(platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("list") }).status == 0);
    const QString copy = work.filePath(QStringLiteral("copy.db"));
    QCOMPARE(platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("backup"), copy }).status, 0);

    QProcess serving;
    serving.setProcessChannelMode(QProcess::MergedChannels);
    serving.start(QStringLiteral(FREYMO_PLATFORM_EXECUTABLE),
        { QStringLiteral("--data-dir"), dataDir, QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--voice-port"), QStringLiteral("0") });
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += serving.readAll()).contains("listening on"), 20000);
    const Run refused = platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("restore"), copy });
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains(QStringLiteral("stop it first")), qPrintable(refused.err));
    QCOMPARE(QDir(dataDir).entryList({ QStringLiteral("*.replaced-*") }, QDir::Files), QStringList());

    serving.terminate();
    QVERIFY(serving.waitForFinished(15000));
    const Run restore = platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("restore"), copy });
    QVERIFY2(restore.status == 0, qPrintable(restore.err));
    const QRegularExpression kept(QStringLiteral("the replaced database is kept as (\\S+)"));
    const QString keptAs = kept.match(restore.out).captured(1);
    QVERIFY2(QFileInfo(keptAs).isFile(), qPrintable(restore.out));
    QCOMPARE(QFileInfo(keptAs).dir().absolutePath(), QDir(dataDir).absolutePath());
}

void TestPlatformBackup::restoreRefusesWhatIsNoCopy_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("message");
    QTest::newRow("no database") << QStringList() << QStringLiteral("not a database");
    QTest::newRow("another program's database")
        << QStringList { QStringLiteral("DROP TABLE trades") } << QStringLiteral("no database of the platform");
    QTest::newRow("a newer platform's copy")
        << QStringList { QStringLiteral("PRAGMA user_version = 9999") } << QStringLiteral("newer platform");
}

void TestPlatformBackup::restoreRefusesWhatIsNoCopy()
{
    QFETCH(QStringList, statements);
    QFETCH(QString, message);
    QTemporaryDir work;
    const QString dataDir = work.filePath(QStringLiteral("data"));
    QVERIFY(platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("list") }).status == 0);
    const QString database = QDir(dataDir).filePath(QStringLiteral("platform.db"));
    const QString copy = work.filePath(QStringLiteral("copy.db"));
    if (statements.isEmpty()) {
        QFile junk(copy);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(8192, 'x'));
    } else {
        QVERIFY(QFile::copy(database, copy));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("spoil"));
            db.setDatabaseName(copy);
            QVERIFY(db.open());
            for (const QString& statement : statements)
                QVERIFY(QSqlQuery(db).exec(statement));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("spoil"));
    }
    const QByteArray served = [&] {
        QFile file(database);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    const Run run = platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("restore"), copy });
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QFile file(database);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), served);
    QCOMPARE(QDir(dataDir).entryList(QDir::Files | QDir::Hidden),
        (QStringList { QStringLiteral("platform.db"), QStringLiteral("platform.db.lock") }));
}

void TestPlatformBackup::aFolderKeepsTheNewestCopies()
{
    QTemporaryDir work;
    const QString dataDir = work.filePath(QStringLiteral("data"));
    const QString folder = work.filePath(QStringLiteral("backups"));
    QVERIFY(QDir().mkpath(folder));
    const QStringList older { QStringLiteral("platform-20240101-020000.db"),
        QStringLiteral("platform-20240102-020000.db"), QStringLiteral("platform-20240103-020000.db") };
    for (const QString& name : older + QStringList { QStringLiteral("notes.txt") }) {
        QFile file(QDir(folder).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("list") }).status == 0);

    const Run run = platformCommand({ QStringLiteral("--data-dir"), dataDir, QStringLiteral("backup"),
        QStringLiteral("--keep"), QStringLiteral("2"), folder });
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QStringList left = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(left.size(), 3);
    QCOMPARE(left.at(0), QStringLiteral("notes.txt"));
    QCOMPARE(left.at(1), older.last());
    QVERIFY(QRegularExpression(QStringLiteral("^platform-\\d{8}-\\d{6}\\.db$")).match(left.at(2)).hasMatch());
    QVERIFY(left.at(2) > older.last());
}

void TestPlatformBackup::postgresqlIsLeftToItsServer()
{
    PlatformTestServer server;
    QVERIFY(server.start());
    QTemporaryDir work;
    for (const QString& command : { QStringLiteral("backup"), QStringLiteral("restore") }) {
        const Run run
            = platformCommand(server.databaseArguments() << command << work.filePath(QStringLiteral("copy.db")));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("pg_dump")), qPrintable(run.err));
    }
}

QTEST_GUILESS_MAIN(TestPlatformBackup)
#include "tst_platformbackup.moc"
