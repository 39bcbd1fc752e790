// Where the clerk puts a waybill or a loading list on paper: the trade row's
// menu, the settlement dialog's button, the tile's "装车单" and the truck
// row's menu. Each fetches what it needs from the platform, then shows the
// print preview or writes the PDF; the PDFs are read back with pdftotext.
#include "screens/board/trucktile.h"
#include "screens/trades/tradelistactivity.h"
#include "screens/trades/traderow.h"
#include "screens/trucks/truckrow.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray profilePath("/api/mine/profile/");
const QByteArray trucksPath("/api/truck/");
const QByteArray tradePath("/api/trade/");

QByteArray answer(const QJsonValue& data)
{
    return QJsonDocument(QJsonObject { { QStringLiteral("success"), true }, { QStringLiteral("data"), data } })
        .toJson(QJsonDocument::Compact);
}

const QJsonObject profile {
    { QStringLiteral("organ"), QStringLiteral("顺达货运站") },
    { QStringLiteral("mobile_number"), QStringLiteral("13800138000") },
};

QJsonObject trade(int id, const QString& shipper)
{
    return QJsonObject {
        { QStringLiteral("id"), id },
        { QStringLiteral("status"), 0 },
        { QStringLiteral("truck_number"), QStringLiteral("京A12345") },
        { QStringLiteral("shipper_name"), shipper },
        { QStringLiteral("shipper_linkman"), QStringLiteral("张三") },
        { QStringLiteral("shipper_tel1"), QStringLiteral("13900000001") },
        { QStringLiteral("consignee_name"), QStringLiteral("李四建材") },
        { QStringLiteral("goods"), QStringLiteral("钢材") },
        { QStringLiteral("weight"), 20 },
        { QStringLiteral("value"), 5000 },
        { QStringLiteral("is_agency"), false },
        { QStringLiteral("create_time"), QStringLiteral("2024-05-01 08:00") },
    };
}

// Truck 7 as the platform has it now: one load more than the tile knew of.
QJsonArray trucks()
{
    const QJsonObject load { { QStringLiteral("trade_id"), 31 },
        { QStringLiteral("shipper"), QStringLiteral("新装货主") },
        { QStringLiteral("consignee"), QStringLiteral("天津收货") },
        { QStringLiteral("goods"), QStringLiteral("瓷砖") }, { QStringLiteral("weight"), 3.5 },
        { QStringLiteral("value"), 800 }, { QStringLiteral("is_agency"), true } };
    return QJsonArray {
        QJsonObject { { QStringLiteral("id"), 6 }, { QStringLiteral("number"), QStringLiteral("京C00006") },
            { QStringLiteral("loads"), QJsonArray() } },
        QJsonObject { { QStringLiteral("id"), 7 }, { QStringLiteral("number"), QStringLiteral("京B54321") },
            { QStringLiteral("status"), 0 }, { QStringLiteral("tonnage"), QStringLiteral("30") },
            { QStringLiteral("driver1_name"), QStringLiteral("赵六") },
            { QStringLiteral("loads"), QJsonArray { load } } },
    };
}

QString pdfText(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), { QStringLiteral("-raw"), path, QStringLiteral("-") });
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestPaperPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tradeRowMenuExportsTheWaybill();
    void settlementDialogPrintsTheTradePressedLast();
    void tileOpensThePreviewOfTheCurrentLoads();
    void truckRowMenuExportsTheLoadingList();
    void failuresAreReported_data();
    void failuresAreReported();
    void rowGoneBeforeTheAnswerShowsNothing();

private:
    // Opens the context menu of `widget` and chooses `choice`; the menu's
    // entries are kept in `entries`.
    void chooseFromMenu(QWidget* widget, const QString& choice);
    // Shows `tile` in `host` and points at it, so that its buttons show.
    static void pointAt(QWidget& host, TruckItem* tile);
    // Answers the next file dialog with `path`.
    void expectSaveAs(const QString& path);
    // Answers the next print preview: records its title and pages, then
    // exports the PDF to `path` through its "导出PDF" and closes it.
    void expectPreviewExportingTo(const QString& path);

    ScreenTestKit kit;
    QTemporaryDir folder;
    QStringList entries;
    QString previewTitle;
    int previewPages = 0;
};

void TestPaperPrinting::initTestCase()
{
    kit.initSuite();
    QVERIFY(folder.isValid());
}

void TestPaperPrinting::init()
{
    kit.initTest();
    kit.server.on(profilePath, RecordingHttpServer::json(answer(profile)));
    kit.server.on(trucksPath, RecordingHttpServer::json(answer(trucks())));
    entries.clear();
    previewTitle.clear();
    previewPages = 0;
}

void TestPaperPrinting::cleanup()
{
    kit.cleanupTest();
}

void TestPaperPrinting::chooseFromMenu(QWidget* widget, const QString& choice)
{
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll, choice] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        poll->deleteLater();
        poll->stop();
        for (QAction* action : menu->actions()) {
            entries << action->text();
            if (action->text() == choice)
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    poll->start(10);
    const QPoint inside(10, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, inside, widget->mapToGlobal(inside));
    QApplication::sendEvent(widget, &event);
}

void TestPaperPrinting::pointAt(QWidget& host, TruckItem* tile)
{
    host.resize(300, 200);
    tile->setGeometry(50, 20, 200, 160);
    host.show();
    // The cursor may rest on the tile from an earlier test: come from elsewhere.
    QTest::mouseMove(&host, QPoint(1, 1));
    QTest::mouseMove(tile);
}

void TestPaperPrinting::expectSaveAs(const QString& path)
{
    kit.boxes->expectDialog([path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("导出PDF"));
        // Typed into the name field, as the clerk does.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

void TestPaperPrinting::expectPreviewExportingTo(const QString& path)
{
    kit.boxes->expectDialog([this, path](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintPreviewDialog*>(modal);
        QVERIFY(dialog);
        previewTitle = dialog->windowTitle();
        auto* preview = dialog->findChild<QPrintPreviewWidget*>();
        QTRY_VERIFY(preview && preview->pageCount() > 0);
        previewPages = preview->pageCount();
        auto* exportAction = dialog->findChild<QAction*>(QStringLiteral("exportPdfAction"));
        QVERIFY(exportAction);
        exportAction->trigger();
        dialog->reject();
    });
    expectSaveAs(path);
}

void TestPaperPrinting::tradeRowMenuExportsTheWaybill()
{
    QWidget host;
    auto* row = new TradeItem(trade(4711, QStringLiteral("张三商贸")), 1, nullptr, &host);
    host.show();
    const QString path = folder.filePath(QStringLiteral("row.pdf"));
    expectSaveAs(path);

    chooseFromMenu(row, QStringLiteral("导出PDF"));

    QCOMPARE(entries, (QStringList { QStringLiteral("打印托运单"), QStringLiteral("导出PDF") }));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.requestsTo(profilePath).size(), 1);
    const QString text = pdfText(path);
    for (const QString& field : { QStringLiteral("顺达货运站"), QStringLiteral("单号：4711"),
             QStringLiteral("张三商贸"), QStringLiteral("13900000001"), QStringLiteral("李四建材") })
        QVERIFY2(text.contains(field), qPrintable(field + QStringLiteral(" missing in\n") + text));
}

void TestPaperPrinting::settlementDialogPrintsTheTradePressedLast()
{
    const QJsonArray page { trade(11, QStringLiteral("第一货主")), trade(12, QStringLiteral("第二货主")) };
    kit.server.on(tradePath, RecordingHttpServer::json(answer(page)));
    QWidget host;
    host.resize(800, 400);
    auto* list = new TradeListActivity(&host);
    list->resize(800, 400);
    host.show();
    QTRY_COMPARE(list->findChildren<TradeItem*>().size(), 2);
    auto* printButton = list->findChild<QPushButton*>(QStringLiteral("printWaybillButton"));
    QVERIFY(printButton);
    // The right button is the row's menu; it does not open the settlement dialog.
    TradeItem* first = list->findChildren<TradeItem*>().at(0);
    QMouseEvent rightPress(QEvent::MouseButtonPress, QPointF(10, 10), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(first, &rightPress);
    QVERIFY(!printButton->isVisible());
    TradeItem* second = list->findChildren<TradeItem*>().at(1);
    QCOMPARE(second->tradeId(), 12);
    QTest::mouseClick(second, Qt::LeftButton);
    QVERIFY(printButton->isVisible());
    const QString path = folder.filePath(QStringLiteral("settlement.pdf"));
    expectPreviewExportingTo(path);

    QTest::mouseClick(printButton, Qt::LeftButton);

    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(previewTitle, QStringLiteral("打印预览"));
    QCOMPARE(previewPages, 1);
    const QString text = pdfText(path);
    QVERIFY2(text.contains(QStringLiteral("单号：12")) && text.contains(QStringLiteral("第二货主")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("第一货主")));
}

void TestPaperPrinting::tileOpensThePreviewOfTheCurrentLoads()
{
    // The tile was built before the last packing: it knows of no load.
    QWidget host;
    auto* tile = new TruckItem(
        QJsonObject { { QStringLiteral("id"), 7 }, { QStringLiteral("number"), QStringLiteral("京B54321") },
            { QStringLiteral("status"), 0 }, { QStringLiteral("loads"), QJsonArray() } },
        &host);
    pointAt(host, tile);
    auto* button = tile->findChild<QPushButton*>(QStringLiteral("loadingListButton"));
    QTRY_VERIFY(button && button->isVisible());
    QCOMPARE(button->text(), QStringLiteral("装车单"));
    // Above "配货" on a resting truck; in its place once the truck is away.
    QCOMPARE(button->geometry(), QRect(32, 160 - 98, 135, 30));
    tile->showWorking();
    QCOMPARE(button->geometry(), QRect(32, 160 - 65, 135, 30));
    const QString path = folder.filePath(QStringLiteral("tile.pdf"));
    expectPreviewExportingTo(path);

    QTest::mouseClick(button, Qt::LeftButton);

    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(previewTitle, QStringLiteral("打印预览"));
    QCOMPARE(kit.requestsTo(trucksPath).size(), 1);
    const QString text = pdfText(path);
    for (const QString& field : { QStringLiteral("装车清单"), QStringLiteral("京B54321"), QStringLiteral("新装货主"),
             QStringLiteral("天津收货"), QStringLiteral("3.5 吨"), QStringLiteral("800.00 元") })
        QVERIFY2(text.contains(field), qPrintable(field + QStringLiteral(" missing in\n") + text));
}

void TestPaperPrinting::truckRowMenuExportsTheLoadingList()
{
    QWidget host;
    auto* row = new MyTruckItem(trucks().at(1).toObject(), 1, &host, &host);
    row->resize(800, MyTruckItem::RowHeight);
    host.show();
    const QString path = folder.filePath(QStringLiteral("truckrow.pdf"));
    expectSaveAs(path);

    chooseFromMenu(row, QStringLiteral("导出PDF"));

    QCOMPARE(entries, (QStringList { QStringLiteral("打印装车单"), QStringLiteral("导出PDF") }));
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(pdfText(path).contains(QStringLiteral("新装货主")));
}

void TestPaperPrinting::failuresAreReported_data()
{
    QTest::addColumn<int>("truckId");
    QTest::addColumn<QByteArray>("profileAnswer");
    QTest::addColumn<QString>("message");
    QTest::newRow("profile refused") << 7 << QByteArray(R"({"success":false,"errors":"会话已过期"})")
                                     << "抱歉|获取数据失败！\n会话已过期";
    QTest::newRow("truck gone") << 99 << answer(profile) << "抱歉|获取数据失败！\n该车已不存在！";
}

void TestPaperPrinting::failuresAreReported()
{
    QFETCH(int, truckId);
    QFETCH(QByteArray, profileAnswer);
    QFETCH(QString, message);
    kit.server.on(profilePath, RecordingHttpServer::json(profileAnswer));
    QWidget host;
    auto* tile
        = new TruckItem(QJsonObject { { QStringLiteral("id"), truckId }, { QStringLiteral("status"), 0 } }, &host);
    pointAt(host, tile);
    auto* button = tile->findChild<QPushButton*>(QStringLiteral("loadingListButton"));
    QTRY_VERIFY(button->isVisible());
    kit.boxes->expect(QMessageBox::Ok);

    QTest::mouseClick(button, Qt::LeftButton);

    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { message });
}

void TestPaperPrinting::rowGoneBeforeTheAnswerShowsNothing()
{
    RecordingHttpServer::Reply held = RecordingHttpServer::json(answer(profile));
    held.gate = QStringLiteral("profile");
    kit.server.on(profilePath, held);
    auto* host = new QWidget;
    auto* row = new TradeItem(trade(4711, QStringLiteral("张三商贸")), 1, nullptr, host);
    host->show();
    chooseFromMenu(row, QStringLiteral("打印托运单"));
    QVERIFY(kit.waitForRequests(profilePath));

    // A list reload takes the row, and its job, before the platform answers.
    delete host;
    kit.server.release(QStringLiteral("profile"));

    QVERIFY(ScreenTestKit::waitForIdle());
    // No preview opened: the answerer fails the test on any unexpected dialog.
    QVERIFY(kit.boxes->seen().isEmpty());
}

QTEST_MAIN(TestPaperPrinting)
#include "tst_paperprinting.moc"
