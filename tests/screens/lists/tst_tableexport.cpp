// Exporting the lists: the spreadsheet read back cell by cell, the CSV's
// bytes, the pages fetched with the list's own request, and exports that are
// cancelled or fail leaving no file. The cells and fields themselves are
// tests/documents/tst_tablefile.cpp's.
#include "screens/lists/tableexport.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "screens/parties/consigneelistactivity.h"
#include "screens/parties/shipperlistactivity.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trucks/trucklistactivity.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>
#include <QXmlStreamReader>

#include <functional>

Q_DECLARE_METATYPE(std::function<PagedListActivity*(QWidget*)>)

namespace {

QJsonObject trade(int id)
{
    return QJsonObject { { "id", id }, { "create_time", QStringLiteral("2024-05-0%1 08:00:00").arg(id) },
        { "truck_number", "京A12345" }, { "shipper_name", "张三" }, { "consignee_name", "李四" },
        { "line", "北京-上海" }, { "goods", "钢材" }, { "weight", 20.5 }, { "value", "5000.5" },
        { "is_agency", id % 2 == 1 }, { "revenue", 1200 }, { "payout", 800 }, { "payout_status_text", "未付" },
        { "agency_status_text", "未付" }, { "pay_agency_time", "" }, { "status_text", "运输在途" },
        { "start_time", "2024-05-01 09:30:00" }, { "complete_time", "" }, { "notes", "易碎，轻放；\"加急\"" } };
}

QByteArray answerWith(const QJsonArray& records)
{
    return R"({"success":true,"data":)" + QJsonDocument(records).toJson(QJsonDocument::Compact) + "}";
}

int pageOf(const RecordingHttpServer::Request& request)
{
    const QByteArray target = request.target;
    return QUrlQuery(QString::fromUtf8(target.mid(target.indexOf('?') + 1))).queryItemValue("page").toInt();
}

// One cell of a sheet as the file holds it.
struct Cell
{
    bool number = false;
    QString value;
    QString format;
};

QByteArray unzipped(const QString& archive, const QString& member)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), { QStringLiteral("-p"), archive, member });
    if (!unzip.waitForFinished(10000) || unzip.exitCode() != 0)
        return QByteArray();
    return unzip.readAllStandardOutput();
}

// The first sheet's cells by reference ("A1"), their shared strings
// resolved and their number formats named; "cols" holds the column widths.
QMap<QString, Cell> readSheet(const QString& path, QList<double>* widths)
{
    QStringList strings;
    QXmlStreamReader shared(unzipped(path, QStringLiteral("xl/sharedStrings.xml")));
    while (!shared.atEnd()) {
        if (shared.readNext() == QXmlStreamReader::StartElement && shared.name() == QLatin1String("t"))
            strings << shared.readElementText();
    }
    QMap<int, QString> formats { { 0, "General" }, { 1, "0" }, { 14, "m/d/yy" } };
    QList<int> styles;
    QXmlStreamReader style(unzipped(path, QStringLiteral("xl/styles.xml")));
    bool inCellXfs = false;
    while (!style.atEnd()) {
        style.readNext();
        if (style.isStartElement() && style.name() == QLatin1String("numFmt"))
            formats.insert(
                style.attributes().value("numFmtId").toInt(), style.attributes().value("formatCode").toString());
        if (style.name() == QLatin1String("cellXfs"))
            inCellXfs = style.isStartElement();
        if (inCellXfs && style.isStartElement() && style.name() == QLatin1String("xf"))
            styles << style.attributes().value("numFmtId").toInt();
    }
    QMap<QString, Cell> cells;
    QXmlStreamReader sheet(unzipped(path, QStringLiteral("xl/worksheets/sheet1.xml")));
    QString ref;
    Cell cell;
    while (!sheet.atEnd()) {
        sheet.readNext();
        if (!sheet.isStartElement())
            continue;
        if (sheet.name() == QLatin1String("col"))
            *widths << sheet.attributes().value("width").toDouble();
        if (sheet.name() == QLatin1String("c")) {
            ref = sheet.attributes().value("r").toString();
            cell = Cell();
            const QString type = sheet.attributes().value("t").toString();
            cell.number = type.isEmpty() || type == QLatin1String("n");
            cell.format = formats.value(styles.value(sheet.attributes().value("s").toInt()));
            if (type == QLatin1String("s"))
                cell.number = false;
        }
        if (sheet.name() == QLatin1String("v")) {
            const QString v = sheet.readElementText();
            cell.value = cell.number ? v : strings.value(v.toInt());
            cells.insert(ref, cell);
        }
    }
    return cells;
}

// The day number under which a spreadsheet keeps `time`.
double serial(const QDateTime& time)
{
    return QDate(1899, 12, 30).daysTo(time.date()) + time.time().msecsSinceStartOfDay() / 86400000.0;
}

} // namespace

class TestTableExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void spreadsheetHoldsEveryRecordOnceWithItsKinds();
    void csvFileHasTheMarkTheHeaderAndALineARecord();
    void rowsAtHandAreWrittenWithoutAsking();
    void pagesAreTheListsOwnRequests_data();
    void pagesAreTheListsOwnRequests();
    void cancelledExportLeavesNoFile();
    void failedExportLeavesTheFolderAsItWas_data();
    void failedExportLeavesTheFolderAsItWas();
    void exportAsksWhereAndSuggestsTheScreenAndTheDay();

private:
    // Answers `path` with `pages` (page N from 1, an empty page after them);
    // the page numbered `held` waits for the gate "held".
    void serve(const QByteArray& path, const QList<QJsonArray>& pages, int held = -1);
    // Expects the progress dialog next, doing `onProgress` to it.
    void expectProgressThenBox(std::function<void(QWidget*)> onProgress = nullptr);
    // Lets the held page go once the progress dialog has been answered, so
    // that the box after it cannot come first.
    bool releaseAfterProgress();
    QStringList folderEntries() const
    {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    ScreenTestKit kit;
    QTemporaryDir folder;
    QWidget* host = nullptr;
};

void TestTableExport::init()
{
    kit.initTest();
    QVERIFY(folder.isValid());
    for (const QString& name : folderEntries())
        QFile::remove(folder.filePath(name));
    host = new QWidget;
    host->resize(800, 400);
}

void TestTableExport::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

void TestTableExport::serve(const QByteArray& path, const QList<QJsonArray>& pages, int held)
{
    kit.server.on(path, [pages, held](const RecordingHttpServer::Request& request) {
        const int page = pageOf(request);
        RecordingHttpServer::Reply reply = RecordingHttpServer::json(answerWith(pages.value(page - 1)));
        if (page == held)
            reply.gate = QStringLiteral("held");
        return reply;
    });
}

void TestTableExport::expectProgressThenBox(std::function<void(QWidget*)> onProgress)
{
    kit.boxes->expectDialog([onProgress](QWidget* dialog) {
        QVERIFY2(qobject_cast<QProgressDialog*>(dialog), dialog->metaObject()->className());
        if (onProgress)
            onProgress(dialog);
    });
}

bool TestTableExport::releaseAfterProgress()
{
    const bool seen = QTest::qWaitFor([this] { return kit.boxes->pending() == 1; });
    kit.server.release(QStringLiteral("held"));
    return seen;
}

void TestTableExport::spreadsheetHoldsEveryRecordOnceWithItsKinds()
{
    // The list moved on under the export: page 2 starts with page 1's last.
    serve("/api/trade/", { QJsonArray { trade(1), trade(2), trade(3) }, QJsonArray { trade(3), trade(4) } }, 3);
    auto* list = new TradeListActivity(host);
    const QString path = folder.filePath(QStringLiteral("业务管理.xlsx"));
    expectProgressThenBox();
    kit.boxes->expect(QMessageBox::Ok);
    list->exportTo(path);
    QVERIFY(kit.waitForRequests("/api/trade/", 3));
    QVERIFY(!QFile::exists(path));
    QVERIFY(releaseAfterProgress());
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts().last(),
        QStringLiteral("提醒|导出成功！共 4 条记录，已保存到\n") + QDir::toNativeSeparators(path));
    QCOMPARE(folderEntries(), QStringList { QStringLiteral("业务管理.xlsx") });
    // A document others may read, not a private temporary file.
    QVERIFY(QFile::permissions(path).testFlag(QFileDevice::ReadOther));

    QList<double> widths;
    const QMap<QString, Cell> cells = readSheet(path, &widths);
    struct Expected
    {
        const char* ref;
        bool number;
        QVariant value;
        QString format;
    };
    const QDateTime created(QDate(2024, 5, 2), QTime(8, 0));
    const QList<Expected> expected {
        { "A1", false, QStringLiteral("托运时间"), "General" },
        { "H1", false, QStringLiteral("价值(元)"), "General" },
        { "A3", true, serial(created), "yyyy-mm-dd hh:mm:ss" },
        { "B3", false, QStringLiteral("京A12345"), "General" },
        { "E3", false, QStringLiteral("北京-上海"), "General" },
        { "G3", true, 20.5, "General" },
        { "H3", true, 5000.5, "#,##0.00" },
        { "I3", false, QStringLiteral("否"), "General" },
        { "I4", false, QStringLiteral("是"), "General" },
        { "K3", true, 800.0, "#,##0.00" },
        { "R3", false, QStringLiteral("易碎，轻放；\"加急\""), "General" },
        { "A5", true, serial(QDateTime(QDate(2024, 5, 4), QTime(8, 0))), "yyyy-mm-dd hh:mm:ss" },
    };
    for (const Expected& e : expected) {
        const QString ref = QLatin1String(e.ref);
        QVERIFY2(cells.contains(ref), e.ref);
        const Cell cell = cells.value(ref);
        QVERIFY2(cell.number == e.number, e.ref);
        if (e.number)
            QVERIFY2(qAbs(cell.value.toDouble() - e.value.toDouble()) < 1e-6, qPrintable(ref + ": " + cell.value));
        else
            QCOMPARE(cell.value, e.value.toString());
        QCOMPARE(cell.format, e.format);
    }
    // Four records under the header, the repeated one once; an empty time
    // is an empty cell.
    QVERIFY(cells.contains(QStringLiteral("A5")) && !cells.contains(QStringLiteral("A6")));
    QVERIFY(!cells.contains(QStringLiteral("N3")));
    // The columns fit their texts: the notes are wider than the weights.
    QCOMPARE(widths.size(), 18);
    QVERIFY(widths.at(17) > widths.at(6));
}

void TestTableExport::csvFileHasTheMarkTheHeaderAndALineARecord()
{
    const QJsonObject shipper { { "id", 7 }, { "name", "顺达, 物流" }, { "industry", "钢铁" }, { "address", "北京" },
        { "linkman", "王" }, { "tel1", "010123" }, { "tel2", "" }, { "notes", "" },
        { "create_time", "2024-05-01 08:00:00" } };
    serve("/api/shipper/", { QJsonArray { shipper } }, 2);
    auto* list = new ShipperListActivity(host);
    const QString path = folder.filePath(QStringLiteral("托运人管理.csv"));
    expectProgressThenBox();
    kit.boxes->expect(QMessageBox::Ok);
    list->exportTo(path);
    QVERIFY(kit.waitForRequests("/api/shipper/", 2));
    QVERIFY(releaseAfterProgress());
    QVERIFY(kit.boxes->waitForAll());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
        "\xEF\xBB\xBF"
            + QStringLiteral("名称,行业,地址,联系人,电话1,电话2,备注,添加时间\r\n"
                             "\"顺达, 物流\",钢铁,北京,王,010123,,,2024-05-01 08:00:00\r\n")
                  .toUtf8());
}

void TestTableExport::rowsAtHandAreWrittenWithoutAsking()
{
    ExportTable table;
    table.name = QStringLiteral("代收款台账");
    table.columns = { { QStringLiteral("托运人"), ExportTable::Kind::Text, QString() },
        { QStringLiteral("笔数"), ExportTable::Kind::Integer, QString() },
        { QStringLiteral("金额"), ExportTable::Kind::Money, QString() } };
    table.rows = { { QStringLiteral("张三"), qlonglong(2), 1500.1 } };
    const QString path = folder.filePath(QStringLiteral("ledger.csv"));
    kit.boxes->expect(QMessageBox::Ok);
    (new TableExport(table, path, host))->start();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.server.requestCount(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "\xEF\xBB\xBF" + QStringLiteral("托运人,笔数,金额\r\n张三,2,1500.10\r\n").toUtf8());
}

void TestTableExport::pagesAreTheListsOwnRequests_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<std::function<PagedListActivity*(QWidget*)>>("create");
    QTest::newRow("trucks") << QByteArray("/api/truck/")
                            << std::function<PagedListActivity*(QWidget*)>(
                                   [](QWidget* parent) { return new TruckListActivity(parent); });
    QTest::newRow("shippers") << QByteArray("/api/shipper/")
                              << std::function<PagedListActivity*(QWidget*)>(
                                     [](QWidget* parent) { return new ShipperListActivity(parent); });
    QTest::newRow("consignees") << QByteArray("/api/consignee/")
                                << std::function<PagedListActivity*(QWidget*)>(
                                       [](QWidget* parent) { return new ConsigneeListActivity(parent); });
    QTest::newRow("trades") << QByteArray("/api/trade/")
                            << std::function<PagedListActivity*(QWidget*)>(
                                   [](QWidget* parent) { return new TradeListActivity(parent); });
}

void TestTableExport::pagesAreTheListsOwnRequests()
{
    QFETCH(QByteArray, path);
    QFETCH(std::function<PagedListActivity*(QWidget*)>, create);
    serve(path, { QJsonArray { trade(1) }, QJsonArray { trade(2) } }, 3);
    PagedListActivity* list = create(host);
    host->show();
    QVERIFY(kit.waitForRequests(path, 1));
    QVERIFY(ScreenTestKit::waitForIdle());
    const QByteArray own = kit.requestsTo(path).constFirst().target;
    QVERIFY(own.contains("page=1"));
    kit.server.clearRequests();

    QVERIFY(list->findChild<QToolButton*>(QStringLiteral("ExportButton"))->isVisible());
    expectProgressThenBox();
    kit.boxes->expect(QMessageBox::Ok);
    list->exportTo(folder.filePath(QStringLiteral("list.csv")));
    QVERIFY(kit.waitForRequests(path, 3));
    QVERIFY(releaseAfterProgress());
    QVERIFY(kit.boxes->waitForAll());
    const QList<RecordingHttpServer::Request> asked = kit.requestsTo(path);
    QCOMPARE(asked.size(), 3);
    for (int page = 1; page <= 3; ++page) {
        QByteArray expected = own;
        expected.replace("page=1", "page=" + QByteArray::number(page));
        QCOMPARE(asked.at(page - 1).target, expected);
    }
}

void TestTableExport::cancelledExportLeavesNoFile()
{
    serve("/api/trade/", { QJsonArray { trade(1) }, QJsonArray { trade(2) } }, 2);
    auto* list = new TradeListActivity(host);
    // Given up while page 2 is on its way: the dialog may be seen before
    // page 1 has come back.
    expectProgressThenBox([this](QWidget* progress) {
        QVERIFY(kit.waitForRequests("/api/trade/", 2));
        QVERIFY(ScreenTestKit::clickButton(progress, QStringLiteral("取消")));
    });
    list->exportTo(folder.filePath(QStringLiteral("业务管理.xlsx")));
    QVERIFY(kit.waitForRequests("/api/trade/", 2));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(!list->findChild<QProgressDialog*>());
    // The held page comes after all and changes nothing.
    kit.server.release(QStringLiteral("held"));
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo("/api/trade/").size(), 2);
    QCOMPARE(folderEntries(), QStringList());
}

void TestTableExport::failedExportLeavesTheFolderAsItWas_data()
{
    QTest::addColumn<QByteArray>("secondPage");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("page refused") << QByteArray(R"({"success":false,"errors":"服务器忙"})") << "old.xlsx"
                                  << "抱歉|导出失败！读取第2页数据失败。\n服务器忙";
    QTest::newRow("folder missing") << QByteArray(R"({"success":true,"data":[]})") << "missing/new.xlsx"
                                    << "抱歉|导出失败！无法写入文件 ";
}

void TestTableExport::failedExportLeavesTheFolderAsItWas()
{
    QFETCH(QByteArray, secondPage);
    QFETCH(QString, target);
    QFETCH(QString, message);
    kit.server.on("/api/trade/", [secondPage](const RecordingHttpServer::Request& request) {
        RecordingHttpServer::Reply reply
            = RecordingHttpServer::json(pageOf(request) == 1 ? answerWith(QJsonArray { trade(1) }) : secondPage);
        reply.gate = pageOf(request) == 2 ? QStringLiteral("held") : QString();
        return reply;
    });
    QFile old(folder.filePath(QStringLiteral("old.xlsx")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the earlier export");
    old.close();
    auto* list = new TradeListActivity(host);
    expectProgressThenBox();
    kit.boxes->expect(QMessageBox::Ok);
    list->exportTo(folder.filePath(target));
    QVERIFY(kit.waitForRequests("/api/trade/", 2));
    QVERIFY(releaseAfterProgress());
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY2(kit.boxes->seenTexts().last().startsWith(message), qPrintable(kit.boxes->seenTexts().last()));
    QCOMPARE(folderEntries(), QStringList { QStringLiteral("old.xlsx") });
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("the earlier export"));
}

void TestTableExport::exportAsksWhereAndSuggestsTheScreenAndTheDay()
{
    serve("/api/trade/", {}, 1);
    auto* list = new TradeListActivity(host);
    const QString path = folder.filePath(QStringLiteral("chosen.xlsx"));
    QString suggested;
    kit.boxes->expectDialog([this, &suggested](QWidget* dialog) {
        auto* chooser = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(chooser);
        suggested = QFileInfo(chooser->selectedFiles().value(0)).fileName();
        chooser->setDirectory(folder.path());
        auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(QStringLiteral("chosen.xlsx"));
        QMetaObject::invokeMethod(chooser, "accept");
    });
    expectProgressThenBox();
    kit.boxes->expect(QMessageBox::Ok);
    list->slot_export();
    QVERIFY(kit.waitForRequests("/api/trade/", 1));
    QVERIFY(releaseAfterProgress());
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(suggested, QStringLiteral("业务管理-") + QDate::currentDate().toString(Qt::ISODate) + ".xlsx");
    QVERIFY2(QFile::exists(path), qPrintable(kit.boxes->seenTexts().join("\n")));
}

QTEST_MAIN(TestTableExport)
#include "tst_tableexport.moc"
