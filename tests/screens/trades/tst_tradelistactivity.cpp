// The trade list: what each row shows, paging through this screen, and the
// settlement dialog: the codes it sends, the trade and states it opens on,
// and what a success and a refusal do.
#include "screens/trades/tradelistactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "screens/trades/traderow.h"
#include "widgets/dialogwidget.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

const QByteArray tradePath("/api/trade/");

QJsonObject trade(int id, const QJsonObject& changes = {})
{
    QJsonObject record {
        { QStringLiteral("id"), id },
        { QStringLiteral("status"), 1 },
        { QStringLiteral("truck_number"), QStringLiteral("京A12345") },
        { QStringLiteral("shipper_name"), QStringLiteral("张三") },
        { QStringLiteral("consignee_name"), QStringLiteral("李四") },
        { QStringLiteral("goods"), QStringLiteral("钢材") },
        { QStringLiteral("weight"), 20 },
        { QStringLiteral("value"), 5000.5 },
        { QStringLiteral("is_agency"), true },
        { QStringLiteral("payout"), 800 },
        { QStringLiteral("payout_status_text"), QStringLiteral("未付") },
        { QStringLiteral("agency_status_text"), QStringLiteral("已付") },
        { QStringLiteral("pay_agency_time"), QStringLiteral("2024-05-02 10:00") },
        { QStringLiteral("create_time"), QStringLiteral("2024-05-01 08:00") },
        { QStringLiteral("start_time"), QString() },
        { QStringLiteral("complete_time"), QString() },
    };
    // A null change removes the key.
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            record.remove(it.key());
        else
            record.insert(it.key(), it.value());
    }
    return record;
}

// A page of `count` trades with ids from `first`.
QByteArray pageOf(int first, int count)
{
    QJsonArray rows;
    for (int i = 0; i < count; ++i)
        rows.append(trade(first + i));
    return R"({"success":true,"data":)" + QJsonDocument(rows).toJson(QJsonDocument::Compact) + "}";
}

QByteArray statusPath(int id)
{
    return tradePath + QByteArray::number(id) + "/status/change/";
}

} // namespace

class TestTradeListActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void rowLines_data();
    void rowLines();
    void statusPicture_data();
    void statusPicture();
    void pagesAppendAtTheBottomAndReloadAtTheTop();
    void okSendsTheChosenCodesAndSuccessHides_data();
    void okSendsTheChosenCodesAndSuccessHides();
    void dialogOpensOnThePressedTrade_data();
    void dialogOpensOnThePressedTrade();
    void refusalIsReportedAndKeepsTheDialog();

private:
    void showTrades(int count);
    QList<TradeItem*> rows() const { return list->findChildren<TradeItem*>(); }
    void choose(const QString& payout, const QString& collection);
    bool loadingShown() const { return list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible(); }

    ScreenTestKit kit;
    QWidget* host = nullptr;
    TradeListActivity* list = nullptr;
    DialogWidget* dashboard = nullptr;
    QComboBox* payoutChoice = nullptr;
    QComboBox* collectionChoice = nullptr;
};

void TestTradeListActivity::init()
{
    kit.initTest();
    host = new QWidget;
    host->resize(800, 400);
    list = new TradeListActivity(host);
    list->resize(800, 400);
    dashboard = list->findChild<DialogWidget*>();
    payoutChoice = list->findChild<QComboBox*>(QStringLiteral("payoutChoice"));
    collectionChoice = list->findChild<QComboBox*>(QStringLiteral("collectionChoice"));
    QVERIFY(dashboard && payoutChoice && collectionChoice);
    QVERIFY(dashboard->isAncestorOf(payoutChoice));
}

void TestTradeListActivity::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

void TestTradeListActivity::showTrades(int count)
{
    kit.server.on(tradePath, RecordingHttpServer::json(pageOf(11, count)));
    host->show();
    QTRY_COMPARE(rows().size(), count);
}

void TestTradeListActivity::choose(const QString& payout, const QString& collection)
{
    payoutChoice->setCurrentIndex(payoutChoice->findText(payout));
    collectionChoice->setCurrentIndex(collectionChoice->findText(collection));
    QCOMPARE(payoutChoice->currentText(), payout);
    QCOMPARE(collectionChoice->currentText(), collection);
}

void TestTradeListActivity::rowLines_data()
{
    QTest::addColumn<QJsonObject>("changes");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    const QJsonValue gone = QJsonValue::Null;
    QTest::newRow("parties")
        << QJsonObject() << "partiesLine"
        << "<b>承运车辆：</b>京A12345&nbsp;&nbsp;<b>托运人：</b>张三&nbsp;&nbsp;<b>收货人：</b>李四";
    QTest::newRow("agency: goods")
        << QJsonObject() << "goodsLine"
        << "<b>货物:</b>钢材&nbsp;20吨&nbsp;&nbsp;<b>价值：</b>5000.5元&nbsp;&nbsp;<b>代收款：</b>是";
    QTest::newRow("agency: payment")
        << QJsonObject() << "paymentLine"
        << "<b>应支付司机:</b>800元&nbsp;未付&nbsp;&nbsp;<b>代收款</b>已付&nbsp;&nbsp;时间：2024-05-02 10:00";
    const QJsonObject noAgency { { QStringLiteral("is_agency"), false } };
    QTest::newRow("no agency: goods")
        << noAgency << "goodsLine"
        << "<b>货物:</b>钢材&nbsp;20吨&nbsp;&nbsp;<b>价值：</b>5000.5元&nbsp;&nbsp;<b>代收款：</b>否";
    QTest::newRow("no agency: payment") << noAgency << "paymentLine"
                                        << "<b>应支付司机:</b>800元&nbsp;未付";
    const QJsonObject agencyMissing { { QStringLiteral("is_agency"), gone } };
    QTest::newRow("agency missing: goods")
        << agencyMissing << "goodsLine"
        << "<b>货物:</b>钢材&nbsp;20吨&nbsp;&nbsp;<b>价值：</b>5000.5元&nbsp;&nbsp;<b>代收款：</b>否";
    QTest::newRow("agency missing: payment") << agencyMissing << "paymentLine"
                                             << "<b>应支付司机:</b>800元&nbsp;未付";
    QTest::newRow("amounts as strings")
        << QJsonObject { { QStringLiteral("weight"), QStringLiteral("20.50") },
               { QStringLiteral("value"), QStringLiteral("5000") }, { QStringLiteral("is_agency"), false } }
        << "goodsLine"
        << "<b>货物:</b>钢材&nbsp;20.50吨&nbsp;&nbsp;<b>价值：</b>5000元&nbsp;&nbsp;<b>代收款：</b>否";
    QTest::newRow("payout as string and status text as number")
        << QJsonObject { { QStringLiteral("payout"), QStringLiteral("800.00") },
               { QStringLiteral("payout_status_text"), 2 }, { QStringLiteral("is_agency"), false } }
        << "paymentLine"
        << "<b>应支付司机:</b>800.00元&nbsp;2";
    QTest::newRow("only created") << QJsonObject() << "timesLine"
                                  << "<b>托运时间:</b>2024-05-01 08:00";
    QTest::newRow("start and complete missing")
        << QJsonObject { { QStringLiteral("start_time"), gone }, { QStringLiteral("complete_time"), gone } }
        << "timesLine"
        << "<b>托运时间:</b>2024-05-01 08:00";
    QTest::newRow("all three times") << QJsonObject { { QStringLiteral("start_time"),
                                                          QStringLiteral("2024-05-01 09:00") },
        { QStringLiteral("complete_time"), QStringLiteral("2024-05-03 17:30") } }
                                     << "timesLine"
                                     << "<b>托运时间:</b>2024-05-01 08:00&nbsp;<b>发车时间:</b>2024-05-01 "
                                        "09:00&nbsp;<b>完成时间:</b>2024-05-03 17:30";
    QTest::newRow("markup in a value shows as typed")
        << QJsonObject { { QStringLiteral("shipper_name"), QStringLiteral("<i>A&B</i>") } } << "partiesLine"
        << "<b>承运车辆：</b>京A12345&nbsp;&nbsp;<b>托运人：</b>&lt;i&gt;A&amp;B&lt;/i&gt;&nbsp;&nbsp;<b>收货人：</"
           "b>李四";
}

void TestTradeListActivity::rowLines()
{
    QFETCH(QJsonObject, changes);
    QFETCH(QString, line);
    QFETCH(QString, expected);
    TradeItem row(trade(7, changes), 1, dashboard, nullptr);
    QCOMPARE(row.tradeId(), 7);
    QCOMPARE(row.lineMarkup(line), expected);
}

void TestTradeListActivity::statusPicture_data()
{
    QTest::addColumn<QJsonValue>("status");
    QTest::addColumn<QString>("picture");
    QTest::newRow("0") << QJsonValue(0) << ":/images/trade_status_0.png";
    QTest::newRow("1") << QJsonValue(1) << ":/images/trade_status_1.png";
    QTest::newRow("2") << QJsonValue(2) << ":/images/trade_status_2.png";
    QTest::newRow("2 as text") << QJsonValue(QStringLiteral("2")) << ":/images/trade_status_2.png";
    QTest::newRow("3") << QJsonValue(3) << QString();
}

void TestTradeListActivity::statusPicture()
{
    QFETCH(QJsonValue, status);
    QFETCH(QString, picture);
    TradeItem row(trade(7, { { QStringLiteral("status"), status } }), 1, dashboard, nullptr);
    const QPixmap shown = row.statusPicture();
    if (picture.isEmpty()) {
        QVERIFY(shown.isNull());
    } else {
        const QImage expected(picture);
        QVERIFY(!expected.isNull());
        QCOMPARE(shown.toImage().convertToFormat(expected.format()), expected);
    }
}

void TestTradeListActivity::pagesAppendAtTheBottomAndReloadAtTheTop()
{
    kit.server.on(tradePath, [](const RecordingHttpServer::Request& request) {
        const bool second = request.target.endsWith("&page=2");
        return RecordingHttpServer::json(second ? pageOf(21, 3) : pageOf(11, 8));
    });
    host->show();
    QTRY_COMPARE(rows().size(), 8);
    QVERIFY(kit.requestsTo(tradePath).first().target.endsWith("?token=tk1&user=7&page=1"));
    QCOMPARE(list->findChild<QWidget*>(QStringLiteral("ListContainer"))->height(), 8 * TradeItem::RowHeight);
    TradeItem* first = rows().first();
    QCOMPARE(first->height(), 100);
    QTRY_COMPARE(first->width(), list->findChild<QWidget*>(QStringLiteral("ListContainer"))->width());
    QCOMPARE(first->arrowGeometry(), QRect(first->width() - 50, 40, 25, 25));
    QCOMPARE(first->property("stripe").toString(), QStringLiteral("odd"));
    QCOMPARE(rows().at(1)->property("stripe").toString(), QStringLiteral("even"));

    // Showing the list again asks for nothing and subscribes no second time.
    host->hide();
    host->show();
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo(tradePath).size(), 1);

    QScrollBar* bar = list->findChild<QScrollArea*>(QStringLiteral("ListScrollArea"))->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QTRY_COMPARE(rows().size(), 11);
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(rows().size(), 11);
    QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=2"));
    QCOMPARE(rows().last()->tradeId(), 23);

    bar->setValue(bar->minimum());
    QVERIFY(kit.waitForRequests(tradePath, 3));
    QTRY_COMPARE(rows().size(), 8);
    QVERIFY(kit.requestsTo(tradePath).last().target.endsWith("&page=1"));
    QCOMPARE(rows().first()->tradeId(), 11);
    // The 12th row since the screen was built: striped grey.
    QCOMPARE(rows().first()->property("stripe").toString(), QStringLiteral("even"));
}

void TestTradeListActivity::okSendsTheChosenCodesAndSuccessHides_data()
{
    QTest::addColumn<QString>("payout");
    QTest::addColumn<QString>("collection");
    QTest::addColumn<QByteArray>("body");
    // Status values travel as unsigned 32-bit numbers: -1 is 4294967295.
    QTest::newRow("both blank") << QString() << QString()
                                << QByteArray("agency_status=4294967295&payout_status=4294967295&");
    QTest::newRow("unpaid") << "未付"
                            << "未付" << QByteArray("agency_status=0&payout_status=0&");
    QTest::newRow("part paid, collected") << "部分支付"
                                          << "已付" << QByteArray("agency_status=1&payout_status=1&");
    QTest::newRow("all paid, blank") << "已全部支付" << QString()
                                     << QByteArray("agency_status=4294967295&payout_status=2&");
}

void TestTradeListActivity::okSendsTheChosenCodesAndSuccessHides()
{
    QFETCH(QString, payout);
    QFETCH(QString, collection);
    QFETCH(QByteArray, body);
    showTrades(2);
    QVERIFY(!dashboard->isVisible());
    QTest::mouseClick(rows().at(1), Qt::LeftButton);
    QVERIFY(dashboard->isVisible());
    QCOMPARE(dashboard->size(), list->size());

    auto held = RecordingHttpServer::json(R"({"success":true})");
    held.gate = QStringLiteral("hold");
    kit.server.on(statusPath(12), held);
    choose(payout, collection);
    QVERIFY(ScreenTestKit::clickButton(dashboard, QStringLiteral("确定")));
    QVERIFY(kit.waitForRequests(statusPath(12)));
    QCOMPARE(kit.requestsTo(statusPath(12)).first().body, body);
    QVERIFY(loadingShown());
    QCOMPARE(
        list->findChild<QLabel*>(QStringLiteral("LoadingText"))->text(), QStringLiteral("正在保存数据，请稍候..."));
    QVERIFY(dashboard->isVisible());

    // The row shows what was saved while the confirmation is read.
    QString shownWhileConfirmed;
    const QPointer<TradeItem> settled = rows().at(1);
    kit.boxes->expectDialog([&](QWidget* box) {
        if (settled)
            shownWhileConfirmed = settled->lineMarkup(QStringLiteral("paymentLine"));
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
    });
    kit.server.release(QStringLiteral("hold"));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|保存成功！") });
    QCOMPARE(kit.boxes->seen().first().icon, QMessageBox::Information);
    QVERIFY(!dashboard->isVisible());
    const QString payoutShown = payout.isEmpty() ? QStringLiteral("未付") : payout;
    const QString collectionShown = collection.isEmpty() ? QStringLiteral("已付") : collection;
    QVERIFY2(shownWhileConfirmed.contains(QStringLiteral("元&nbsp;") + payoutShown), qPrintable(shownWhileConfirmed));
    QVERIFY2(shownWhileConfirmed.contains(QStringLiteral("<b>代收款</b>") + collectionShown),
        qPrintable(shownWhileConfirmed));
    // The list asks again for what it shows.
    QVERIFY(kit.waitForRequests(tradePath, 2));
    QTRY_VERIFY(!loadingShown());
}

void TestTradeListActivity::dialogOpensOnThePressedTrade_data()
{
    QTest::addColumn<QJsonObject>("changes");
    QTest::addColumn<QString>("payout");
    QTest::addColumn<QString>("collection");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("part paid, collected")
        << QJsonObject { { "payout_status", 1 }, { "agency_status", 1 } } << QStringLiteral("部分支付")
        << QStringLiteral("已付") << QByteArray("agency_status=1&payout_status=1&");
    QTest::newRow("unpaid") << QJsonObject { { "payout_status", 0 }, { "agency_status", 0 } } << QStringLiteral("未付")
                            << QStringLiteral("未付") << QByteArray("agency_status=0&payout_status=0&");
    QTest::newRow("states unknown: blank, left as they are")
        << QJsonObject { { "payout_status", QJsonValue::Null }, { "agency_status", QJsonValue::Null } } << QString()
        << QString() << QByteArray("agency_status=4294967295&payout_status=4294967295&");
}

void TestTradeListActivity::dialogOpensOnThePressedTrade()
{
    QFETCH(QJsonObject, changes);
    QFETCH(QString, payout);
    QFETCH(QString, collection);
    QFETCH(QByteArray, body);

    // The first trade is settled as fully paid; the second is pressed next.
    QJsonObject second = trade(12, changes);
    second.insert(QStringLiteral("truck_number"), QStringLiteral("鲁QWM209"));
    second.insert(QStringLiteral("goods"), QStringLiteral("木材"));
    const QJsonArray page { trade(11, { { "payout_status", 0 }, { "agency_status", 0 } }), second };
    kit.server.on(tradePath,
        RecordingHttpServer::json(
            R"({"success":true,"data":)" + QJsonDocument(page).toJson(QJsonDocument::Compact) + "}"));
    kit.server.on(statusPath(12), RecordingHttpServer::json(R"({"success":true})"));
    host->show();
    QTRY_COMPARE(rows().size(), 2);
    QTest::mouseClick(rows().at(0), Qt::LeftButton);
    choose(QStringLiteral("已全部支付"), QStringLiteral("已付"));
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(dashboard, QStringLiteral("确定")));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(!dashboard->isVisible());
    QVERIFY(ScreenTestKit::waitForIdle());
    QTRY_COMPARE(rows().size(), 2);

    // One press of OK settles the pressed trade as it stands, not as the
    // trade before was settled.
    QTest::mouseClick(rows().at(1), Qt::LeftButton);
    QVERIFY(dashboard->isVisible());
    QCOMPARE(
        list->findChild<QLabel*>(QStringLiteral("settledTrade"))->text(), QStringLiteral("鲁QWM209  张三托运的木材"));
    QCOMPARE(payoutChoice->currentText(), payout);
    QCOMPARE(collectionChoice->currentText(), collection);
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(dashboard, QStringLiteral("确定")));
    QVERIFY(kit.waitForRequests(statusPath(12)));
    QCOMPARE(kit.requestsTo(statusPath(12)).first().body, body);
    QVERIFY(kit.boxes->waitForAll());
}

void TestTradeListActivity::refusalIsReportedAndKeepsTheDialog()
{
    showTrades(1);
    kit.server.on(statusPath(11), RecordingHttpServer::json(R"({"success":false,"errors":"业务不存在！"})"));
    kit.boxes->expect(QMessageBox::Ok);
    QTest::mouseClick(rows().first(), Qt::LeftButton);
    choose(QStringLiteral("已全部支付"), QStringLiteral("未付"));
    QVERIFY(ScreenTestKit::clickButton(dashboard, QStringLiteral("确定")));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("抱歉|保存失败！\n业务不存在！") });
    QVERIFY(dashboard->isVisible());
    QVERIFY(!loadingShown());
    QCOMPARE(payoutChoice->currentText(), QStringLiteral("已全部支付"));
    QCOMPARE(collectionChoice->currentText(), QStringLiteral("未付"));

    // The clerk presses OK again once the platform accepts.
    kit.server.on(statusPath(11), RecordingHttpServer::json(R"({"success":true})"));
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(dashboard, QStringLiteral("确定")));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(!dashboard->isVisible());
    QCOMPARE(kit.boxes->seen().size(), 2);
}

QTEST_MAIN(TestTradeListActivity)
#include "tst_tradelistactivity.moc"
