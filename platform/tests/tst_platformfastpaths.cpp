// The pieces that make the platform's answers cheap: the JSON writer (which
// must write what Qt's writer writes), the statements kept per connection
// (which must behave like fresh ones), and the truck lists made afresh, whose
// bytes must stay those recorded from the first implementation.

#include "apireply.h"
#include "demoseed.h"
#include "jsonwriter.h"
#include "platformtestclient.h"
#include "platformtestserver.h"
#include "rowreader.h"
#include "sessionservice.h"
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
    void rowReaderReadsWhatSqlReads_data();
    void rowReaderReadsWhatSqlReads();
    void truckListsReplayTheirBytes_data();
    void truckListsReplayTheirBytes();
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
        std::numeric_limits<double>::infinity(), std::nan(""), qint64(9007199254740993LL), qint64(-42),
        -9007199254740992.0, 7.0, -10.0 };
    QTest::newRow("numbers") << QJsonValue(numbers);
    // Two decimals at most, as weights and prices have, with the ones that
    // only look like it (0.1 + 0.2 is not 0.3).
    QJsonArray hundredths { 0.01, -0.01, 0.1 + 0.2, 0.3, 5.05, 999999.99, -999999.99, 1e6 - 0.5, 100000.1, 2.675, 1.005,
        0.125, 12.5 + 1e-9 };
    for (int h = -100000; h <= 100000; h += 7)
        hundredths.append(h / 100.0);
    QTest::newRow("hundredths") << QJsonValue(hundredths);
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

void TestPlatformFastPaths::rowReaderReadsWhatSqlReads_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("Chinese and an emoji") << QString::fromUtf8("'临沂—济南😀'");
    QTest::newRow("quotes, backslashes, controls and DEL") << "'a\"b\\c' || char(1, 9, 10, 31, 127) || 'd'";
    QTest::newRow("byte-order mark and noncharacters") << "char(65279) || 'x' || char(65534, 65535, 1114111)";
    QTest::newRow("invalid byte") << "CAST(x'61ff62' AS TEXT)";
    QTest::newRow("encoded surrogate") << "CAST(x'eda080' AS TEXT)";
    QTest::newRow("overlong slash") << "CAST(x'c0af' AS TEXT)";
    QTest::newRow("truncated sequence") << "CAST(x'61e4b8' AS TEXT)";
    QTest::newRow("beyond U+10FFFF") << "CAST(x'f4908080' AS TEXT)";
    QTest::newRow("embedded NUL") << "CAST(x'610062' AS TEXT)";
    QTest::newRow("empty text") << "''";
    QTest::newRow("text of a number") << "'12.50'";
    QTest::newRow("NULL") << "NULL";
    QTest::newRow("integer") << "-9007199254740993";
    QTest::newRow("real") << "0.1";
    QTest::newRow("large real") << "1e300";
    QTest::newRow("blob") << "x'e4b8ad'";
}

// Each value as text, integer, real and null-ness, through SQLite's own API
// and through QtSql, in a list of two.
void TestPlatformFastPaths::rowReaderReadsWhatSqlReads()
{
    QFETCH(QString, value);
    QTemporaryDir dir;
    platform::Storage storage;
    QString error;
    QVERIFY2(storage.open(dir.filePath("platform.db"), &error), qPrintable(error));
    const QString statement = QStringLiteral("SELECT %1, 7").arg(value);
    platform::RowReader direct(storage.connection(), statement);
    platform::Sql viaQt(storage.connection(), statement);
    direct.exec();
    viaQt.exec();
    QVERIFY(direct.next());
    QVERIFY(viaQt.next());
    platform::JsonWriter written;
    platform::JsonWriter expected;
    written.beginArray();
    expected.beginArray();
    direct.writeText(written, 0);
    expected.value(viaQt.text(0));
    direct.writeText(written, 1);
    expected.value(viaQt.text(1));
    QCOMPARE(written.endArray().bytes(), expected.endArray().bytes());
    QCOMPARE(direct.integer(0), viaQt.integer(0));
    QCOMPARE(direct.real(0), viaQt.real(0));
    QCOMPARE(direct.isNull(0), viaQt.isNull(0));
    QVERIFY(!direct.next());
}

namespace {

// A station with texts that need escaping, sizes missing, decimal and large,
// a code without a text, loads in every status, a deleted truck and another
// station's trade, all at fixed times; returns its user's name.
QString seedReplayStation(const QSqlDatabase& db)
{
    using platform::Sql;
    Sql organ(db, QStringLiteral("INSERT INTO organs (name, create_time) VALUES ('回放货站', '2024-01-01 08:00:00')"));
    const qint64 station = organ.exec().lastInsertId();
    const QString username = QStringLiteral("replay");
    platform::SessionService::createUser(
        db, station, username, QString::fromLatin1(platform::DemoSeed::demoPassword()));
    const auto party = [&](const QString& table, qint64 organ, const QString& name) {
        const QString industry = table == QLatin1String("shippers") ? QStringLiteral("industry, ") : QString();
        Sql q(db,
            QStringLiteral("INSERT INTO %1 (organ, name, address, %2linkman, tel1, create_time)"
                           " VALUES (?, ?, '临沂', %3'李四', '05398888888', '2024-01-01 08:00:00')")
                .arg(table, industry, industry.isEmpty() ? QString() : QStringLiteral("'五金', ")));
        return q.bind(organ).bind(name).exec().lastInsertId();
    };
    const qint64 shipper = party(QStringLiteral("shippers"), station, QString::fromUtf8("托运人\"甲\"😀"));
    const qint64 consignee = party(QStringLiteral("consignees"), station, QString::fromUtf8("收货人\\乙\u2028"));
    const auto truck = [&](const QString& number, int mode, int tonnage, const QVariant& load,
                           const QVariantList& sizes, int status, int deleted, const QString& notes) {
        Sql q(db,
            QStringLiteral("INSERT INTO trucks (organ, number, driving_mode, tonnage_level, tonnage, packingcase_mode,"
                           " packingcase_length, packingcase_width, packingcase_height, photo1, driver1_name,"
                           " driver1_mobile, driver2_name, company_name, notes, status, deleted, create_time)"
                           " VALUES (?, ?, ?, ?, ?, 1, ?, ?, ?, 'p/1.jpg', '张三', '13800000000', ?, ?, ?, ?, ?,"
                           " '2024-01-02 09:30:00')"));
        q.bind(station).bind(number).bind(mode).bind(tonnage).bind(load);
        for (const QVariant& size : sizes)
            q.bind(size);
        return q.bind(QString::fromUtf8("李\t四"))
            .bind(QStringLiteral("ＡＢ运输"))
            .bind(notes)
            .bind(status)
            .bind(deleted)
            .exec()
            .lastInsertId();
    };
    const QVariant none(QVariant::Double);
    const qint64 resting = truck(QString::fromUtf8("鲁Q\"1\\2"), 1, 0, 30.0, { none, none, none }, 0, 0,
        QString::fromUtf8("冷链\n专线\r\u0001\u007f"));
    const qint64 away = truck(QStringLiteral("鲁Q00002"), 99, 2, 9.6, { 9.6, 2.35, 2.5 }, 1, 0, QString());
    truck(QStringLiteral("鲁Q00003"), 4, 1, 1000000.5, { 12.345, 0.01, 100.0 }, 0, 0, QStringLiteral("大"));
    truck(QStringLiteral("鲁Q00004"), 2, 1, 20.0, { none, none, none }, 0, 1, QString());
    const auto trade = [&](qint64 organ, qint64 truck, const QString& goods, double weight, double value, int agency,
                           int status) {
        Sql q(db,
            QStringLiteral("INSERT INTO trades (organ, truck, shipper, consignee, line, goods, weight, value,"
                           " is_agency, revenue, payout, status, create_time)"
                           " VALUES (?, ?, ?, ?, '临沂—济南', ?, ?, ?, ?, 3000, 2100, ?, '2024-01-03 10:00:00')"));
        q.bind(organ).bind(truck).bind(shipper).bind(consignee).bind(goods).bind(weight).bind(value).bind(agency);
        q.bind(status).exec();
    };
    trade(station, resting, QStringLiteral("瓷砖"), 12.5, 30000, 1, 0);
    trade(station, resting, QString::fromUtf8("\"玻璃\""), 0.1, 0, 0, 0);
    trade(station, away, QStringLiteral("钢材"), 33.333, 123456.78, 0, 1);
    trade(station, away, QStringLiteral("已送达"), 1, 1, 0, 2);
    Sql other(db, QStringLiteral("INSERT INTO organs (name, create_time) VALUES ('别的货站', '2024-01-01 08:00:00')"));
    trade(other.exec().lastInsertId(), resting, QStringLiteral("别站的货"), 1, 1, 0, 0);
    return username;
}

} // namespace

void TestPlatformFastPaths::truckListsReplayTheirBytes_data()
{
    // The station's three live trucks, as the first implementation wrote them
    // (with the version that came later).
    const QByteArray resting
        = "{\"company_name\":\"ＡＢ运输\",\"company_tel\":\"\",\"create_time\":\"2024-01-02 "
          "09:30:00\",\"driver1_mobile\":\"13800000000\",\"driver1_name\":\"张三\",\"driver2_mobile\":\"\",\"driver2_"
          "name\":\"李\\t四\",\"driving_mode\":1,\"driving_mode_text\":\"4×2\",\"id\":1,\"loads\":[{\"consignee\":"
          "\"收货人\\\\乙\u2028\",\"goods\":\"瓷砖\",\"is_agency\":true,\"shipper\":\"托运人\\\"甲\\\"😀\",\"status\":0,"
          "\"trade_id\":1,\"value\":30000,\"weight\":12.5},{\"consignee\":\"收货人\\\\乙\u2028\",\"goods\":"
          "\"\\\"玻璃\\\"\",\"is_agency\":false,\"shipper\":\"托运人\\\"甲\\\"😀\",\"status\":0,\"trade_id\":2,"
          "\"value\":0,\"weight\":0.1}],\"notes\":\"冷链\\n专线\\r\\u0001\177\",\"number\":\"鲁Q\\\"1\\\\2\","
          "\"packingcase_height\":\"\",\"packingcase_length\":\"\",\"packingcase_mode\":1,\"packingcase_mode_text\":"
          "\"厢式\",\"packingcase_width\":\"\",\"photo1\":\"p/"
          "1.jpg\",\"photo2\":\"\",\"status\":0,\"tonnage\":\"30\",\"tonnage_level\":0,\"tonnage_level_text\":"
          "\"重卡\",\"version\":1}";
    const QByteArray away
        = "{\"company_name\":\"ＡＢ运输\",\"company_tel\":\"\",\"create_time\":\"2024-01-02 "
          "09:30:00\",\"driver1_mobile\":\"13800000000\",\"driver1_name\":\"张三\",\"driver2_mobile\":\"\",\"driver2_"
          "name\":\"李\\t四\",\"driving_mode\":99,\"driving_mode_text\":\"\",\"id\":2,\"loads\":[{\"consignee\":"
          "\"收货人\\\\乙\u2028\",\"goods\":\"钢材\",\"is_agency\":false,\"shipper\":\"托运人\\\"甲\\\"😀\",\"status\":"
          "1,\"trade_id\":3,\"value\":123456.78,\"weight\":33.333}],\"notes\":\"\",\"number\":\"鲁Q00002\","
          "\"packingcase_height\":\"2.5\",\"packingcase_length\":\"9.6\",\"packingcase_mode\":1,\"packingcase_mode_"
          "text\":\"厢式\",\"packingcase_width\":\"2.35\",\"photo1\":\"p/"
          "1.jpg\",\"photo2\":\"\",\"status\":1,\"tonnage\":\"9.6\",\"tonnage_level\":2,\"tonnage_level_text\":"
          "\"轻卡\",\"version\":1}";
    const QByteArray large
        = "{\"company_name\":\"ＡＢ运输\",\"company_tel\":\"\",\"create_time\":\"2024-01-02 "
          "09:30:00\",\"driver1_mobile\":\"13800000000\",\"driver1_name\":\"张三\",\"driver2_mobile\":\"\",\"driver2_"
          "name\":\"李\\t四\",\"driving_mode\":4,\"driving_mode_text\":\"8×4\",\"id\":3,\"loads\":[],\"notes\":\"大\","
          "\"number\":\"鲁Q00003\",\"packingcase_height\":\"100\",\"packingcase_length\":\"12.345\",\"packingcase_"
          "mode\":1,\"packingcase_mode_text\":\"厢式\",\"packingcase_width\":\"0.01\",\"photo1\":\"p/"
          "1.jpg\",\"photo2\":\"\",\"status\":0,\"tonnage\":\"1000000.5\",\"tonnage_level\":1,\"tonnage_level_text\":"
          "\"中卡\",\"version\":1}";
    const auto answer = [](const QByteArrayList& trucks, const QByteArray& paging = QByteArray()) {
        return "{\"data\":[" + trucks.join(',') + "],\"errors\":\"\"" + paging + ",\"success\":true}";
    };
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("board, oldest first") << "/truck/" << answer({ resting, away, large });
    QTest::newRow("first page, newest first")
        << "/truck/?page=1" << answer({ large, away, resting }, ",\"page\":1,\"page_size\":20");
    QTest::newRow("group at rest") << "/truck/0/" << answer({ resting, large });
    QTest::newRow("group on the road") << "/truck/1/" << answer({ away });
}

// The answers as recorded, made afresh on each request (no reuse).
void TestPlatformFastPaths::truckListsReplayTheirBytes()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, expected);
    PlatformTestServer server(false);
    platform::PlatformServer::Config config;
    config.reuseAnswers = false;
    QVERIFY(server.start(config));
    const QString username = seedReplayStation(server.storage()->connection());
    PlatformTestClient client(server.port());
    QVERIFY(client.login(username));
    const QString suffix = client.suffix();
    const QString target = path.contains('?')
        ? path.left(path.indexOf('?')) + suffix + "&" + path.mid(path.indexOf('?') + 1)
        : path + suffix;
    for (int round = 0; round < 2; ++round) {
        const PlatformTestClient::Answer answer = client.get(target);
        QCOMPARE(answer.body, expected);
    }
}

QTEST_GUILESS_MAIN(TestPlatformFastPaths)
#include "tst_platformfastpaths.moc"
