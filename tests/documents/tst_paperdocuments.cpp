// The printed documents, read back from the PDFs they write the way a PDF
// viewer or a scanner reads them: the text with poppler's pdftotext, the
// page with pdfinfo, the fonts with pdffonts, and the barcode's bars from a
// rendering of the page with pdftoppm.
#include "documents/loadinglistdocument.h"
#include "documents/waybilldocument.h"

#include "support/testenvironment.h"

#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <zint.h>

namespace {

const QJsonObject profile {
    { QStringLiteral("organ"), QStringLiteral("顺达货运站") },
    { QStringLiteral("mobile_number"), QStringLiteral("13800138000") },
};

QJsonObject trade(const QJsonObject& changes = {})
{
    QJsonObject record {
        { QStringLiteral("id"), 4711 },
        { QStringLiteral("create_time"), QStringLiteral("2024-05-01 08:00:00") },
        { QStringLiteral("line"), QStringLiteral("北京-天津") },
        { QStringLiteral("shipper_name"), QStringLiteral("张三商贸") },
        { QStringLiteral("shipper_linkman"), QStringLiteral("张三") },
        { QStringLiteral("shipper_tel1"), QStringLiteral("13900000001") },
        { QStringLiteral("shipper_tel2"), QStringLiteral("01066668888") },
        { QStringLiteral("consignee_name"), QStringLiteral("李四建材") },
        { QStringLiteral("consignee_linkman"), QStringLiteral("李四") },
        { QStringLiteral("consignee_tel1"), QStringLiteral("13900000002") },
        { QStringLiteral("consignee_tel2"), QString() },
        { QStringLiteral("truck_number"), QStringLiteral("京A12345") },
        { QStringLiteral("driver_name"), QStringLiteral("王五") },
        { QStringLiteral("driver_mobile"), QStringLiteral("13700000003") },
        { QStringLiteral("goods"), QStringLiteral("钢材") },
        { QStringLiteral("weight"), 20.5 },
        { QStringLiteral("value"), 5000.5 },
        { QStringLiteral("is_agency"), true },
        { QStringLiteral("revenue"), 800 },
        { QStringLiteral("notes"), QStringLiteral("轻放") },
    };
    for (auto it = changes.begin(); it != changes.end(); ++it)
        record.insert(it.key(), it.value());
    return record;
}

QJsonObject load(int id, const QString& shipper, double weight, double value, bool agency)
{
    return QJsonObject {
        { QStringLiteral("trade_id"), id },
        { QStringLiteral("shipper"), shipper },
        { QStringLiteral("consignee"), QStringLiteral("收货%1").arg(id) },
        { QStringLiteral("goods"), QStringLiteral("货物%1").arg(id) },
        { QStringLiteral("status"), 0 },
        { QStringLiteral("weight"), weight },
        { QStringLiteral("value"), value },
        { QStringLiteral("is_agency"), agency },
    };
}

QJsonObject truck(const QJsonArray& loads)
{
    return QJsonObject {
        { QStringLiteral("id"), 7 },
        { QStringLiteral("number"), QStringLiteral("京B54321") },
        { QStringLiteral("tonnage"), QStringLiteral("30") },
        { QStringLiteral("driver1_name"), QStringLiteral("赵六") },
        { QStringLiteral("driver1_mobile"), QStringLiteral("13600000004") },
        { QStringLiteral("driver2_name"), QString() },
        { QStringLiteral("driver2_mobile"), QString() },
        { QStringLiteral("loads"), loads },
    };
}

const QDateTime printed(QDate(2024, 5, 3), QTime(9, 30));

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The page's text in the order it was painted.
QString textOf(const QString& pdf)
{
    return run(QStringLiteral("pdftotext"), { QStringLiteral("-raw"), pdf, QStringLiteral("-") });
}

QString withoutSpace(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

// Whether `pieces` occur in `text` in this order; names the first that does not.
bool inOrder(const QString& text, const QStringList& pieces, QString* missing)
{
    int from = 0;
    for (const QString& piece : pieces) {
        const int at = text.indexOf(piece, from);
        if (at < 0) {
            *missing = piece;
            return false;
        }
        from = at + piece.size();
    }
    return true;
}

// Code 128 as libzint encodes `data`: one flag per module, dark or light.
QVector<bool> modulesOf(const QByteArray& data)
{
    zint_symbol* symbol = ZBarcode_Create();
    symbol->symbology = BARCODE_CODE128;
    QVector<bool> modules;
    if (ZBarcode_Encode(symbol, reinterpret_cast<const unsigned char*>(data.constData()), data.size()) < ZINT_ERROR) {
        for (int i = 0; i < symbol->width; ++i)
            modules << ((symbol->encoded_data[0][i / 8] >> (i % 8)) & 1);
    }
    ZBarcode_Delete(symbol);
    return modules;
}

// The modules along the middle line of the barcode's area on the page, as a
// scanner sees them: the page rendered at 600 dpi, each run of dark or light
// pixels counted in modules, `moduleCount` of them from the first bar to the
// last.
QVector<bool> modulesOnPage(const QString& pdf, const QRectF& areaMm, int moduleCount, const QString& folder)
{
    const double dpi = 600;
    const auto pixels = [dpi](double mm) { return QString::number(std::lround(mm / 25.4 * dpi)); };
    const QString prefix = folder + QStringLiteral("/bars");
    run(QStringLiteral("pdftoppm"),
        { QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"), QStringLiteral("-singlefile"),
            QStringLiteral("-png"), QStringLiteral("-x"), pixels(areaMm.left() - 2), QStringLiteral("-y"),
            pixels(areaMm.center().y()), QStringLiteral("-W"), pixels(areaMm.width() + 4), QStringLiteral("-H"),
            QStringLiteral("1"), pdf, prefix });
    const QImage line(prefix + QStringLiteral(".png"));
    QVector<int> runs;
    QVector<bool> dark;
    for (int x = 0; x < line.width(); ++x) {
        const bool isDark = qGray(line.pixel(x, 0)) < 128;
        if (!dark.isEmpty() && dark.last() == isDark) {
            ++runs.last();
        } else {
            dark << isDark;
            runs << 1;
        }
    }
    // The light margins either side are not part of the symbol.
    if (!dark.isEmpty() && !dark.first()) {
        dark.removeFirst();
        runs.removeFirst();
    }
    if (!dark.isEmpty() && !dark.last()) {
        dark.removeLast();
        runs.removeLast();
    }
    // From the first bar to the last the runs span the symbol's width.
    int total = 0;
    for (int r : runs)
        total += r;
    const double module = static_cast<double>(total) / std::max(1, moduleCount);
    QVector<bool> modules;
    for (int i = 0; i < runs.size(); ++i)
        modules.insert(modules.size(), static_cast<int>(std::lround(runs.at(i) / module)), dark.at(i));
    return modules;
}

// The page size in points from pdfinfo, and the number of pages.
QSizeF pageSize(const QString& pdf, int* pages)
{
    const QString info = run(QStringLiteral("pdfinfo"), { pdf });
    const QRegularExpressionMatch size
        = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    const QRegularExpressionMatch count = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    if (pages)
        *pages = count.captured(1).toInt();
    return QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
}

} // namespace

class TestPaperDocuments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void waybillHoldsEveryFieldInItsBox();
    void waybillWithoutCashOnDelivery();
    void longNamesWrapWhole_data();
    void longNamesWrapWhole();
    void barcodeEncodesTradeId_data();
    void barcodeEncodesTradeId();
    void pageSizeAndOrientation_data();
    void pageSizeAndOrientation();
    void loadingListRowsAndTotals();
    void longLoadingListGoesOnOverPages();
    void unwritablePathFailsCleanly();

private:
    QString pdfOf(const PaperDocument& document, const QString& name);

    QTemporaryDir folder;
};

void TestPaperDocuments::initTestCase()
{
    initClientTestEnvironment();
    QVERIFY(folder.isValid());
}

QString TestPaperDocuments::pdfOf(const PaperDocument& document, const QString& name)
{
    const QString path = folder.filePath(name + QStringLiteral(".pdf"));
    QString error;
    if (!document.writePdf(path, &error))
        qWarning() << "writing" << path << "failed:" << error;
    return path;
}

void TestPaperDocuments::waybillHoldsEveryFieldInItsBox()
{
    const QString pdf = pdfOf(WaybillDocument(trade(), profile), QStringLiteral("waybill"));
    const QString text = textOf(pdf);
    QString missing;
    QVERIFY2(
        inOrder(text,
            { QStringLiteral("货物托运单"), QStringLiteral("顺达货运站"), QStringLiteral("电话：13800138000"),
                QStringLiteral("单号：4711"), QStringLiteral("托运时间"), QStringLiteral("2024-05-01 08:00:00"),
                QStringLiteral("线路"), QStringLiteral("北京-天津"), QStringLiteral("托运人"),
                QStringLiteral("张三商贸"), QStringLiteral("联系人"), QStringLiteral("张三"), QStringLiteral("电话"),
                QStringLiteral("13900000001 / 01066668888"), QStringLiteral("收货人"), QStringLiteral("李四建材"),
                QStringLiteral("联系人"), QStringLiteral("李四"), QStringLiteral("电话"), QStringLiteral("13900000002"),
                QStringLiteral("车牌号码"), QStringLiteral("京A12345"), QStringLiteral("司机"),
                QStringLiteral("王五 13700000003"), QStringLiteral("货物"), QStringLiteral("钢材"),
                QStringLiteral("重量"), QStringLiteral("20.5 吨"), QStringLiteral("价值"), QStringLiteral("5000.50 元"),
                QStringLiteral("代收款"), QStringLiteral("是"), QStringLiteral("代收金额"),
                QStringLiteral("5000.50 元"), QStringLiteral("运费"), QStringLiteral("800.00 元"),
                QStringLiteral("备注"), QStringLiteral("轻放"), QStringLiteral("托运人签字"),
                QStringLiteral("承运司机签字"), QStringLiteral("收货人签字") },
            &missing),
        qPrintable(QStringLiteral("not found in order: ") + missing + QStringLiteral("\n") + text));

    // The text is the program's CJK font, embedded, not pictures of letters.
    const QString fonts = run(QStringLiteral("pdffonts"), { pdf });
    QVERIFY2(fonts.contains(QStringLiteral("WenQuanYi")), qPrintable(fonts));
    for (const QString& row : fonts.split(QLatin1Char('\n')).mid(2)) {
        if (!row.trimmed().isEmpty())
            QVERIFY2(
                row.contains(QRegularExpression(QStringLiteral("\\byes\\s+(yes|no)\\s+yes\\b"))), qPrintable(fonts));
    }
}

void TestPaperDocuments::waybillWithoutCashOnDelivery()
{
    const QString text = textOf(
        pdfOf(WaybillDocument(trade({ { QStringLiteral("is_agency"), false } }), profile), QStringLiteral("plain")));
    QString missing;
    QVERIFY2(
        inOrder(withoutSpace(text), { QStringLiteral("代收款否代收金额无运费800.00元") }, &missing), qPrintable(text));
}

void TestPaperDocuments::longNamesWrapWhole_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QString chinese;
    for (int i = 0; i < 200; ++i)
        chinese += QChar(0x4E00 + (i * 37) % 0x5000);
    QString latin;
    for (int i = 0; i < 200; ++i)
        latin += QChar('A' + i % 26);
    QTest::newRow("shipper, Chinese") << "shipper_name" << chinese;
    QTest::newRow("consignee, one long word") << "consignee_name" << latin;
    QTest::newRow("notes") << "notes" << chinese;
    QTest::newRow("goods") << "goods" << latin;
}

void TestPaperDocuments::longNamesWrapWhole()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    const QString pdf = pdfOf(WaybillDocument(trade({ { key, name } }), profile), QStringLiteral("long"));
    const QString text = withoutSpace(textOf(pdf));
    QVERIFY2(text.contains(name), qPrintable(text));
    // Every other field is still on the one page, the signatures last.
    int pages = 0;
    pageSize(pdf, &pages);
    QCOMPARE(pages, 1);
    QVERIFY(text.contains(QStringLiteral("收货人签字")));
}

void TestPaperDocuments::barcodeEncodesTradeId_data()
{
    QTest::addColumn<int>("id");
    QTest::newRow("one digit") << 7;
    QTest::newRow("odd digits") << 4711;
    QTest::newRow("largest id") << 2147483647;
}

void TestPaperDocuments::barcodeEncodesTradeId()
{
    QFETCH(int, id);
    const QString pdf
        = pdfOf(WaybillDocument(trade({ { QStringLiteral("id"), id } }), profile), QStringLiteral("barcode"));
    const QVector<bool> expected = modulesOf(QByteArray::number(id));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(modulesOnPage(pdf, WaybillDocument::barcodeArea(), expected.size(), folder.path()), expected);
}

void TestPaperDocuments::pageSizeAndOrientation_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QSizeF>("points");
    QTest::newRow("waybill: A5 landscape") << "waybill" << QSizeF(595.276, 419.528);
    QTest::newRow("loading list: A4 portrait") << "loading list" << QSizeF(595.276, 841.89);
}

void TestPaperDocuments::pageSizeAndOrientation()
{
    QFETCH(QString, document);
    QFETCH(QSizeF, points);
    const QString pdf = document == QLatin1String("waybill")
        ? pdfOf(WaybillDocument(trade(), profile), QStringLiteral("size"))
        : pdfOf(LoadingListDocument(truck({ load(1, QStringLiteral("甲"), 1, 1, false) }), profile, printed),
            QStringLiteral("size"));
    const QSizeF size = pageSize(pdf, nullptr);
    QVERIFY2(std::abs(size.width() - points.width()) < 1 && std::abs(size.height() - points.height()) < 1,
        qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
}

void TestPaperDocuments::loadingListRowsAndTotals()
{
    const QJsonArray loads = { load(11, QStringLiteral("张三商贸"), 1.5, 1000, true),
        load(12, QStringLiteral("王记"), 2.25, 300.25, false), load(13, QStringLiteral("陈氏"), 0.125, 99.5, true) };
    const QString text = textOf(pdfOf(LoadingListDocument(truck(loads), profile, printed), QStringLiteral("list")));
    QString missing;
    QVERIFY2(inOrder(text,
                 { QStringLiteral("装车清单"), QStringLiteral("顺达货运站"), QStringLiteral("13800138000"),
                     QStringLiteral("车牌号码"), QStringLiteral("京B54321"), QStringLiteral("额定载重"),
                     QStringLiteral("30 吨"), QStringLiteral("司机"), QStringLiteral("赵六 13600000004"),
                     QStringLiteral("时间"), QStringLiteral("2024-05-03 09:30"), QStringLiteral("托运人"),
                     QStringLiteral("收货人"), QStringLiteral("货物"), QStringLiteral("重量"), QStringLiteral("价值"),
                     QStringLiteral("代收款"),
                     // One row a load: shipper, consignee, goods, weight, value, cash on delivery.
                     QStringLiteral("11"), QStringLiteral("张三商贸"), QStringLiteral("收货11"),
                     QStringLiteral("货物11"), QStringLiteral("1.5 吨"), QStringLiteral("1000.00 元"),
                     QStringLiteral("1000.00 元"), QStringLiteral("12"), QStringLiteral("王记"),
                     QStringLiteral("收货12"), QStringLiteral("货物12"), QStringLiteral("2.25 吨"),
                     QStringLiteral("300.25 元"), QStringLiteral("否"), QStringLiteral("13"), QStringLiteral("陈氏"),
                     QStringLiteral("0.125 吨"), QStringLiteral("99.50 元"), QStringLiteral("99.50 元"),
                     // The totals: weight, value, and only the cash to collect.
                     QStringLiteral("合计 3 票"), QStringLiteral("3.875 吨"), QStringLiteral("1399.75 元"),
                     QStringLiteral("1099.50 元"), QStringLiteral("装车人签字"), QStringLiteral("承运司机签字"),
                     QStringLiteral("第 1 页，共 1 页") },
                 &missing),
        qPrintable(QStringLiteral("not found in order: ") + missing + QStringLiteral("\n") + text));
}

void TestPaperDocuments::longLoadingListGoesOnOverPages()
{
    QJsonArray loads;
    for (int i = 1; i <= 60; ++i)
        loads.append(load(i, QStringLiteral("托运人%1").arg(i), 1, 10, i % 2 == 0));
    const QString pdf = pdfOf(LoadingListDocument(truck(loads), profile, printed), QStringLiteral("many"));
    int pages = 0;
    pageSize(pdf, &pages);
    QVERIFY(pages >= 2);
    const QString text = textOf(pdf);
    QVERIFY2(text.contains(QStringLiteral("托运人60")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("60.00 吨")) || text.contains(QStringLiteral("60 吨")));
    QVERIFY(text.contains(QStringLiteral("300.00 元")));
    QVERIFY(text.contains(QStringLiteral("第 %1 页，共 %1 页").arg(pages)));
    // Each page repeats the table's head.
    QCOMPARE(text.count(QStringLiteral("序号")), pages);
}

void TestPaperDocuments::unwritablePathFailsCleanly()
{
    const QString path = folder.filePath(QStringLiteral("missing/waybill.pdf"));
    QString error;
    QVERIFY(!WaybillDocument(trade(), profile).writePdf(path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestPaperDocuments)
#include "tst_paperdocuments.moc"
