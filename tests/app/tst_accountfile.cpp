#include "app/accountfile.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/capability.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The super-user may write into a read-only folder. For as long as it lives,
// this takes that right (CAP_DAC_OVERRIDE) out of the calling thread's
// effective capabilities, so that folder permissions apply as to any user.
class FolderPermissionsApply
{
public:
    FolderPermissionsApply()
    {
        if (geteuid() != 0)
            return;
        const cap_value_t override[] = { CAP_DAC_OVERRIDE };
        cap_t caps = cap_get_proc();
        dropped = caps && cap_set_flag(caps, CAP_EFFECTIVE, 1, override, CAP_CLEAR) == 0 && cap_set_proc(caps) == 0;
        cap_free(caps);
    }
    ~FolderPermissionsApply()
    {
        if (!dropped)
            return;
        const cap_value_t override[] = { CAP_DAC_OVERRIDE };
        cap_t caps = cap_get_proc();
        if (caps && cap_set_flag(caps, CAP_EFFECTIVE, 1, override, CAP_SET) == 0)
            cap_set_proc(caps);
        cap_free(caps);
    }
    FolderPermissionsApply(const FolderPermissionsApply&) = delete;
    FolderPermissionsApply& operator=(const FolderPermissionsApply&) = delete;

private:
    bool dropped = false;
};
} // namespace

class TestAccountFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void writeRaw(const QByteArray& bytes)
    {
        QFile f(AccountFile::defaultPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    static void verifyNothingRemembered(const AccountFile& file)
    {
        QVERIFY(!file.remember());
        QVERIFY(file.username().isEmpty());
        QVERIFY(file.password().isEmpty());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(QDir::setCurrent(dir.path()));
    }

    void init() { QFile::remove(AccountFile::defaultPath()); }

    void writesTheDocumentedBytes()
    {
        AccountFile file;
        QVERIFY(file.save(true, QStringLiteral(" a"), QStringLiteral("张")));
        QCOMPARE(readAll(QStringLiteral("account.dat")),
            QByteArray::fromHex("01"
                                "00000004"
                                "00200061"
                                "00000002"
                                "5f20"));

        QVERIFY(file.save(true, QString(), QString()));
        QCOMPARE(readAll(file.path()), QByteArray::fromHex("01ffffffffffffffff"));
    }

    // Unticked: the flag is 0 and neither the name nor the password reaches
    // the disk, whatever stands in the edits.
    void forgetsWhatWasNotToBeRemembered()
    {
        AccountFile file;
        QVERIFY(file.save(true, QStringLiteral("someone-long-name"), QStringLiteral("old-secret")));
        QVERIFY(file.save(false, QStringLiteral("bob"), QStringLiteral("secret")));
        QCOMPARE(readAll(file.path()),
            QByteArray::fromHex("00"
                                "00000000"
                                "00000000"));

        AccountFile reread;
        QVERIFY(reread.load());
        verifyNothingRemembered(reread);
    }

    void roundTrips_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::newRow("ascii") << QStringLiteral("bob") << QStringLiteral("p@ss word");
        QTest::newRow("spaces kept") << QStringLiteral("  bob ") << QStringLiteral(" pw  ");
        QTest::newRow("chinese") << QStringLiteral("张三") << QStringLiteral("密码123");
        QTest::newRow("empty") << QString() << QString();
    }

    void roundTrips()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QVERIFY(AccountFile().save(true, name, password));
        AccountFile file;
        QVERIFY(file.load());
        QVERIFY(file.remember());
        QCOMPARE(file.username(), name);
        QCOMPARE(file.password(), password);
    }

    // The reader reads the oldest stream format of Qt 5; a file written with
    // that format must read back the same.
    void readsFormatVersion13()
    {
        QFile f(AccountFile::defaultPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QDataStream out(&f);
        out.setVersion(13);
        out << true << QStringLiteral("李四") << QStringLiteral("pw");
        f.close();

        AccountFile file;
        QVERIFY(file.load());
        QVERIFY(file.remember());
        QCOMPARE(file.username(), QStringLiteral("李四"));
        QCOMPARE(file.password(), QStringLiteral("pw"));
    }

    // A damaged file keeps what was read before the damage; everything after
    // it reads as empty, and only a true flag offers the texts.
    void damagedFilesKeepWhatWasReadBefore_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("remember");
        QTest::addColumn<QString>("name");
        const QByteArray whole = QByteArray::fromHex("01"
                                                     "00000004"
                                                     "00620062"
                                                     "00000002"
                                                     "0070");
        const QString bb = QStringLiteral("bb");
        QTest::newRow("empty file") << QByteArray() << false << QString();
        QTest::newRow("flag only") << whole.left(1) << true << QString();
        QTest::newRow("inside name length") << whole.left(3) << true << QString();
        QTest::newRow("inside name") << whole.left(7) << true << QString();
        QTest::newRow("after name") << whole.left(9) << true << bb;
        QTest::newRow("inside password length") << whole.left(11) << true << bb;
        QTest::newRow("inside password") << whole.left(14) << true << bb;
        QTest::newRow("false flag, cut short") << QByteArray::fromHex("00000000040062") << false << QString();
        QTest::newRow("odd byte count") << QByteArray::fromHex("01"
                                                               "00000003"
                                                               "006200"
                                                               "00000000")
                                        << true << QString();
        QTest::newRow("huge length") << QByteArray::fromHex("01"
                                                            "7ffffffe"
                                                            "0062")
                                     << true << QString();
    }

    void damagedFilesKeepWhatWasReadBefore()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, remember);
        QFETCH(QString, name);
        writeRaw(bytes);
        AccountFile file;
        QVERIFY(!file.load());
        QCOMPARE(file.remember(), remember);
        QCOMPARE(file.username(), name);
        QVERIFY(file.password().isEmpty());
    }

    // A file far larger than any record is not ours: nothing is read from it.
    void oversizedFileIsIgnored()
    {
        writeRaw(QByteArray(1 << 20, '\x01'));
        AccountFile file;
        QVERIFY(!file.load());
        verifyNothingRemembered(file);
    }

    void randomBytesNeverCrash()
    {
        QRandomGenerator random(20240611);
        for (int i = 0; i < 500; ++i) {
            QByteArray bytes(int(random.bounded(40)), Qt::Uninitialized);
            for (char& c : bytes)
                c = char(random.bounded(256));
            writeRaw(bytes);
            AccountFile file;
            file.load();
            // Whatever was read, nothing is offered under an unticked flag.
            if (!file.remember()) {
                QVERIFY(file.username().isEmpty());
                QVERIFY(file.password().isEmpty());
            }
        }
    }

    void missingOrUnwritableFile()
    {
        AccountFile missing;
        QVERIFY(!missing.load());
        verifyNothingRemembered(missing);

        // A directory where the file should be: saving fails cleanly.
        QVERIFY(QDir().mkdir(AccountFile::defaultPath()));
        QVERIFY(!AccountFile().save(true, QStringLiteral("a"), QStringLiteral("b")));
        QVERIFY(QDir().rmdir(AccountFile::defaultPath()));
    }

    // Only its owner may read the file, whether it is new or an older copy
    // was readable by everyone, and whatever the umask.
    void onlyItsOwnerMayReadIt_data()
    {
        QTest::addColumn<bool>("existsAlready");
        QTest::newRow("new") << false;
        QTest::newRow("older copy readable by all") << true;
    }
    void onlyItsOwnerMayReadIt()
    {
        QFETCH(bool, existsAlready);
        const mode_t umaskBefore = ::umask(0);
        if (existsAlready) {
            writeRaw(QByteArray(1, '\0'));
            QVERIFY(QFile::setPermissions(AccountFile::defaultPath(),
                QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther));
        }
        const bool saved = AccountFile().save(true, QStringLiteral("a"), QStringLiteral("secret"));
        ::umask(umaskBefore);
        QVERIFY(saved);
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(AccountFile::defaultPath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
    }

    // No temporary copy can be made beside the file: the file itself is
    // rewritten. Without a file to rewrite, saving fails cleanly.
    void readOnlyFolderWritableFile()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("account.dat"));
        QVERIFY(AccountFile(path).save(true, QStringLiteral("old"), QStringLiteral("1")));
        const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
        QVERIFY(QFile::setPermissions(folder.path(), readOnly));
        {
            FolderPermissionsApply permissionsApply;
            QFile probe(folder.filePath(QStringLiteral("probe")));
            const bool folderWritable = probe.open(QIODevice::WriteOnly);
            if (!folderWritable) {
                QVERIFY(AccountFile(path).save(true, QString::fromUtf8("新名"), QStringLiteral("2")));
                QVERIFY(!AccountFile(folder.filePath(QStringLiteral("other.dat"))).save(true, QString(), QString()));
            }
            QVERIFY(QFile::setPermissions(folder.path(), readOnly | QFile::WriteOwner));
            if (folderWritable)
                QSKIP("this process may write into a read-only folder");
        }
        AccountFile file(path);
        QVERIFY(file.load());
        QCOMPARE(file.username(), QString::fromUtf8("新名"));
        QCOMPARE(file.password(), QStringLiteral("2"));
    }
};

QTEST_GUILESS_MAIN(TestAccountFile)
#include "tst_accountfile.moc"
