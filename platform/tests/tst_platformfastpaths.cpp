// The pieces that make the platform's answers cheap: the JSON writer (which
// must write what Qt's writer writes) and the statements kept per connection
// (which must behave like fresh ones).

#include "apireply.h"
#include "jsonwriter.h"
#include "sql.h"
#include "storage.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <thread>

class TestPlatformFastPaths : public QObject
{
    Q_OBJECT

private slots:
    void writerMatchesQt_data();
    void writerMatchesQt();
    void replyWithWrittenDataMatchesQt();
    void keptStatementsSeeOtherConnectionsWrites();
};

void TestPlatformFastPaths::writerMatchesQt_data()
{
    QTest::addColumn<QJsonValue>("value");
    QString ascii;
    for (int c = 0; c < 0x80; ++c)
        ascii += QChar(c);
    QTest::newRow("every ASCII character") << QJsonValue(ascii);
    QTest::newRow("Chinese, a dash and an emoji") << QJsonValue(QString::fromUtf8("临沂—济南 😀 \u00a0\u2028\ufeff"));
    QTest::newRow("lone surrogates") << QJsonValue(QString(QChar(0xd800)) + "x" + QChar(0xdc00) + QChar(0xdbff));
    QTest::newRow("empty text") << QJsonValue(QString());
    QTest::newRow("booleans and null") << QJsonValue(QJsonArray { true, false, QJsonValue() });
    const double big = 9223372036854775808.0; // 2^63
    QJsonArray numbers { 0.0, -0.0, 3.0, 12.5, -5.5, 0.1, 1.0 / 3, 2100.0, 1e10, 1e16, 1e20, 1e300, 1e-7, 12.345,
        123456789012.34, big, -big, std::nextafter(big, 0.0), 1.5e17, 1e19, 1.8446744073709552e19, 9007199254740994.0,
        std::numeric_limits<double>::infinity(), std::nan(""), qint64(9007199254740993LL), qint64(-42) };
    QTest::newRow("numbers") << QJsonValue(numbers);
    QTest::newRow("object in Qt's key order") << QJsonValue(QJsonObject { { "b", 1 }, { "a", "x" }, { "B", true },
        { "aa", 2 }, { "a_b", QJsonArray {} }, { QString::fromUtf8("名"), QJsonObject {} } });
}

void TestPlatformFastPaths::writerMatchesQt()
{
    QFETCH(QJsonValue, value);
    platform::JsonWriter writer;
    writer.beginArray().value(value).endArray();
    QCOMPARE(writer.bytes(), QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact));
}

void TestPlatformFastPaths::replyWithWrittenDataMatchesQt()
{
    const QJsonArray records { QJsonObject { { "id", 7 }, { "name", QString::fromUtf8("托运人\"甲\"") } } };
    platform::JsonWriter writer;
    writer.beginArray()
        .beginObject()
        .key("id")
        .value(7)
        .key("name")
        .value(records.at(0)["name"])
        .endObject()
        .endArray();
    // Keys around "data" on both sides of it, and one of the envelope's own.
    const auto extras = [](platform::ApiReply reply) {
        return reply.with("page", 2).with("a_first", "x").with("success", false).toJson();
    };
    QCOMPARE(extras(platform::ApiReply::okWithJson(writer.bytes())), extras(platform::ApiReply::ok(records)));
    QCOMPARE(platform::ApiReply::okWithJson("[]").toJson(), QByteArray(R"({"data":[],"errors":"","success":true})"));
}

// A kept statement that still held its result would hold its read snapshot
// too (WAL), and a connection would not see later writes of the others.
void TestPlatformFastPaths::keptStatementsSeeOtherConnectionsWrites()
{
    QTemporaryDir dir;
    platform::Storage storage;
    QString error;
    QVERIFY2(storage.open(dir.filePath("platform.db"), &error), qPrintable(error));
    const QString count = QStringLiteral("SELECT COUNT(*) FROM settings");
    const qint64 before = platform::Sql::scalar(storage.connection(), count).toLongLong();
    {
        // The same text twice at once: the second is a statement of its own.
        platform::Sql outer(storage.connection(), QStringLiteral("SELECT key FROM settings ORDER BY key"));
        outer.exec();
        QVERIFY(outer.next());
        QCOMPARE(platform::Sql::scalar(storage.connection(), count).toLongLong(), before);
        platform::Sql inner(storage.connection(), QStringLiteral("SELECT key FROM settings ORDER BY key"));
        inner.exec();
        QVERIFY(inner.next());
        QCOMPARE(inner.text(0), outer.text(0));
    }
    std::thread writer([&] {
        platform::Sql(storage.connection(), QStringLiteral("INSERT INTO settings (key, value) VALUES ('k', 'v')"))
            .exec();
    });
    writer.join();
    QCOMPARE(platform::Sql::scalar(storage.connection(), count).toLongLong(), before + 1);
}

QTEST_GUILESS_MAIN(TestPlatformFastPaths)
#include "tst_platformfastpaths.moc"
