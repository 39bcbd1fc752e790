#include "phonepopupparts.h"
#include "support/clientdriver.h"
#include "support/haproxyfront.h"
#include "support/messageboxanswerer.h"
#include "support/platformprocess.h"
#include "support/screentestkit.h"
#include "support/testenvironment.h"

#include "app/logindialog.h"
#include "screens/board/homeactivity.h"
#include "screens/board/packactivity.h"
#include "screens/board/trucktile.h"
#include "screens/parties/partyrow.h"
#include "screens/trades/traderow.h"
#include "screens/trucks/truckactivity.h"
#include "screens/trucks/truckrow.h"
#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "shell/processexit.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicesession.h"
#include "widgets/segmentitembutton.h"
#include "widgets/segmentwidget.h"
#include "widgets/suggestionitem.h"
#include "widgets/suggestionwidget.h"
#include "widgets/titlebar.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

// A station's working day, end to end: the real platform executable with its
// demo stations and voice switch, and the client as the program builds it,
// driven through the login dialog, the tool bar and the screens. After each
// step the journey reads what the platform stored from its database.
//
// The journeys run in order, as a day does: the settlement settles the trade
// that the packing made, and leaving ends the session last.
//
// With FREYMO_TEST_FRONT=haproxy (on PostgreSQL) the day runs behind HAProxy
// with the example configuration, over two platform processes on one
// database; after the first journey one process is killed (SIGKILL), and
// the rest of the day goes on through the other.
class TestJourneys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void packing();
    void settlement();
    void paper();
    void theBooks();
    void calls();
    void twoStations();
    void leaving();

private:
    // The id of the demo station (user demo), or of demo2.
    int organOf(const QString& username) const;
    QVariant db(const QString& sql, const QVariantList& bindings = {}) const { return platform->value(sql, bindings); }

    QList<TruckItem*> tiles() const;
    TruckItem* tileOf(int truckId) const;
    // Scrolls the tile into view and points at it, so that its buttons show,
    // then presses its button `name`. False when that button did not show.
    bool pressOnTile(TruckItem* tile, const char* name);
    // Rows of type T in the list screen on top of section `index`, in order.
    template <class T> QList<T*> rows(int index) const;
    // The rows named `rowName` (their class) in that list.
    QList<QFrame*> rowsNamed(int index, const QString& rowName) const;

    // A book of parties: its section, its row, its add button, its table.
    struct PartyBook
    {
        int section;
        QString rowName;
        QString addButton;
        QString table;
        bool hasIndustry;
        QString deleteQuestion;
    };
    // Adds, edits and deletes a party in `book`, checking the platform and
    // the reloaded list after each step.
    void keepPartyBook(const PartyBook& book, const QString& name);
    // Scrolls the list on top of section `index` down and back to the top,
    // which reloads it from page 1, and waits for the new page.
    void reloadList(int index);

    // Clicks `button`, which opens a print preview, exports the document
    // through the preview's "导出PDF" to `path` and returns the PDF's text.
    QString exportThroughPreview(QAbstractButton* button, const QString& path);

    static void type(QWidget* target, const QString& text) { ScreenTestKit::typeText(target, text); }
    // Chooses the entry reading `text` with the keyboard.
    static void choose(QComboBox* box, const QString& text);
    static QLabel* label(const QWidget* root, const char* name)
    {
        return root->findChild<QLabel*>(QLatin1String(name));
    }

    // Starts a second platform on the same records and HAProxy in front of
    // both, and points the client at HAProxy.
    void startBehindHaproxy();

    std::unique_ptr<PlatformProcess> platform;
    std::unique_ptr<PlatformProcess> second;
    std::unique_ptr<HaproxyFront> front;
    bool secondKilled = false;
    std::unique_ptr<ClientDriver> client;
    MessageBoxAnswerer* boxes = nullptr;
    QList<int> exits;
    // What the packing journey made, for the journeys after it.
    int packedTrade = 0;
    QString newShipper;
};

void TestJourneys::initTestCase()
{
    initClientTestEnvironment();
    setProcessExitHandlerForTesting([this](int status) { exits << status; });
    platform = std::make_unique<PlatformProcess>();
    if (qEnvironmentVariable("FREYMO_TEST_FRONT") == QLatin1String("haproxy"))
        return startBehindHaproxy();
    QVERIFY2(platform->start(), qPrintable(platform->errorString()));
    client = std::make_unique<ClientDriver>(*platform);
}

void TestJourneys::startBehindHaproxy()
{
    if (!HaproxyFront::missing().isEmpty()) {
        std::fprintf(stderr, "SKIP: the day behind HAProxy is skipped: %s; ./test.sh installs it\n",
            qPrintable(HaproxyFront::missing()));
        std::exit(77);
    }
    // Only HAProxy, on 127.0.0.1, may name the desks.
    const QStringList behind { QStringLiteral("--proxy-protocol-from"), QStringLiteral("127.0.0.1") };
    platform->addArguments(behind);
    QVERIFY2(platform->start(), qPrintable(platform->errorString()));
    second = std::make_unique<PlatformProcess>();
    second->addArguments(behind);
    second->shareDatabaseWith(*platform);
    QVERIFY2(second->start(), qPrintable(second->errorString()));
    front = std::make_unique<HaproxyFront>();
    QString error;
    QVERIFY2(front->start({ platform.get(), second.get() }, &error), qPrintable(error));
    client = std::make_unique<ClientDriver>(front->apiBase(), front->voicePort());
}

void TestJourneys::init()
{
    // The middle of the day behind HAProxy: after the first journey, one
    // process ends as if its machine had failed. Its requests of the day are
    // answered and stored; what follows goes to the other.
    if (second && QByteArray(QTest::currentTestFunction()) != "packing" && !secondKilled) {
        // It had its share of the desk's requests, not only the checks.
        const QString served = QString::fromUtf8(second->output());
        QVERIFY2(served.contains(QRegularExpression(QStringLiteral("(GET|POST) /api/(?!health/)"))),
            "the second process served none of the day");
        second->kill();
        secondKilled = true;
    }
    exits.clear();
    boxes = new MessageBoxAnswerer(this);
}

void TestJourneys::cleanup()
{
    MessageBoxAnswerer::closeAllModals();
    const QStringList unexpected = boxes->unexpected();
    const int unanswered = boxes->pending();
    delete boxes;
    boxes = nullptr;
    client->closeWindow();
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char('\n'))));
    QCOMPARE(unanswered, 0);
}

void TestJourneys::cleanupTestCase()
{
    client.reset();
    setProcessExitHandlerForTesting({});
    front.reset();
    QVERIFY(platform->stop());
}

int TestJourneys::organOf(const QString& username) const
{
    return db(QStringLiteral("SELECT organ FROM users WHERE username = ?"), { username }).toInt();
}

QList<TruckItem*> TestJourneys::tiles() const
{
    auto* home = client->window()->findChild<HomeActivity*>();
    return home ? home->findChild<QWidget*>(QStringLiteral("boardContainer"))
                      ->findChildren<TruckItem*>(QString(), Qt::FindDirectChildrenOnly)
                : QList<TruckItem*>();
}

TruckItem* TestJourneys::tileOf(int truckId) const
{
    for (TruckItem* tile : tiles()) {
        if (tile->id() == truckId)
            return tile;
    }
    return nullptr;
}

bool TestJourneys::pressOnTile(TruckItem* tile, const char* name)
{
    client->window()->findChild<QScrollArea*>(QStringLiteral("boardScrollArea"))->ensureWidgetVisible(tile);
    ClientDriver::pointAt(tile);
    auto* button = tile->findChild<QPushButton*>(QLatin1String(name));
    if (!button || !button->isVisible())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

template <class T> QList<T*> TestJourneys::rows(int index) const
{
    QWidget* list = client->top(index);
    QWidget* container = list ? list->findChild<QWidget*>(QStringLiteral("ListContainer")) : nullptr;
    return container ? container->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly) : QList<T*>();
}

QList<QFrame*> TestJourneys::rowsNamed(int index, const QString& rowName) const
{
    QList<QFrame*> named;
    for (QFrame* row : rows<QFrame>(index)) {
        if (row->objectName() == rowName)
            named << row;
    }
    return named;
}

void TestJourneys::reloadList(int index)
{
    auto* area = client->top(index)->findChild<QScrollArea*>(QStringLiteral("ListScrollArea"));
    QVERIFY(area);
    QScrollBar* bar = area->verticalScrollBar();
    QVERIFY2(bar->maximum() > 1, "the list is too short to scroll");
    bar->setValue(1);
    bar->setValue(0);
    QVERIFY(ClientDriver::settle());
}

void TestJourneys::choose(QComboBox* box, const QString& text)
{
    box->setFocus(Qt::OtherFocusReason);
    const int wanted = box->findText(text);
    QVERIFY2(wanted >= 0, qPrintable(text));
    while (box->currentIndex() != wanted)
        QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
}

void TestJourneys::packing()
{
    QVERIFY(client->signIn(QStringLiteral("demo"), QStringLiteral("load")));
    const int organ = organOf(QStringLiteral("demo"));

    // The board shows the demo station's resting trucks: the marked segment.
    QStringList shown;
    for (TruckItem* tile : tiles())
        shown << tile->numberText();
    QStringList stored;
    for (const QVariantList& row : platform->rows(
             QStringLiteral("SELECT number FROM trucks WHERE organ = ? AND deleted = 0 AND status = 0"), { organ }))
        stored << row.first().toString();
    shown.sort();
    stored.sort();
    QVERIFY(!stored.isEmpty());
    QCOMPARE(shown, stored);

    // A resting truck that carries nothing.
    const int truck = db(QStringLiteral("SELECT id FROM trucks t WHERE organ = ? AND status = 0 AND deleted = 0"
                                        " AND NOT EXISTS (SELECT 1 FROM trades WHERE truck = t.id AND status < 2)"
                                        " ORDER BY id LIMIT 1"),
        { organ })
                          .toInt();
    QPointer<TruckItem> tile = tileOf(truck);
    QVERIFY(tile);
    QVERIFY(tile->goods().isEmpty());
    QVERIFY(pressOnTile(tile, "packButton"));
    QVERIFY(ClientDriver::settle());
    auto* pack = client->topAs<PackActivity>(0);
    QVERIFY(pack);

    // A new shipper, created on the spot from the shipper's suggestion list.
    newShipper = QStringLiteral("临沂通衢新材料有限公司");
    auto* shipperEdit = pack->findChild<QLineEdit*>(QStringLiteral("shipperEdit"));
    type(shipperEdit, QStringLiteral("通衢"));
    QVERIFY(ClientDriver::settle());
    SuggestionWidget* shipperList = nullptr;
    for (SuggestionWidget* list : pack->findChildren<SuggestionWidget*>()) {
        if (list->accessibleName() == QStringLiteral("shipperSuggestions"))
            shipperList = list;
    }
    QVERIFY(shipperList && shipperList->isVisible());
    QVERIFY(ScreenTestKit::clickButton(shipperList, QStringLiteral("添加新的")));
    QVERIFY(ClientDriver::settle());
    QWidget* form = client->top(0);
    QCOMPARE(form->objectName(), QStringLiteral("ShipperActivity"));
    // What was typed comes along as the name, to be completed.
    auto* nameEdit = form->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
    QCOMPARE(nameEdit->text(), QStringLiteral("通衢"));
    nameEdit->clear();
    type(nameEdit, newShipper);
    type(form->findChild<QLineEdit*>(QStringLiteral("addressEdit")), QStringLiteral("山东省临沂市兰山区通达路18号"));
    type(form->findChild<QLineEdit*>(QStringLiteral("industryEdit")), QStringLiteral("建材"));
    type(form->findChild<QLineEdit*>(QStringLiteral("linkmanEdit")), QStringLiteral("孙立新"));
    type(form->findChild<QLineEdit*>(QStringLiteral("tel1Edit")), QStringLiteral("13905391234"));
    boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    QVERIFY(boxes->waitForAll(10000));
    QVERIFY(ClientDriver::settle());
    QCOMPARE(client->top(0), pack);
    const int shipper = db(QStringLiteral("SELECT id FROM shippers WHERE organ = ? AND name = ? AND linkman = ?"),
        { organ, newShipper, QStringLiteral("孙立新") })
                            .toInt();
    QVERIFY(shipper > 0);
    QCOMPARE(shipperEdit->text(), newShipper);
    QCOMPARE(shipperEdit->property("id").toInt(), shipper);

    // An existing consignee, chosen by typing its name.
    const QVariantList consignee
        = platform
              ->rows(QStringLiteral("SELECT id, name FROM consignees WHERE organ = ? ORDER BY id LIMIT 1"), { organ })
              .value(0);
    QCOMPARE(consignee.size(), 2);
    auto* consigneeEdit = pack->findChild<QLineEdit*>(QStringLiteral("consigneeEdit"));
    type(consigneeEdit, consignee.at(1).toString());
    QVERIFY(ClientDriver::settle());
    SuggestionItem* entry = nullptr;
    for (SuggestionItem* item : pack->findChildren<SuggestionItem*>()) {
        if (item->isVisible() && item->text() == consignee.at(1).toString())
            entry = item;
    }
    QVERIFY(entry);
    QTest::mouseClick(entry, Qt::LeftButton);
    QCOMPARE(consigneeEdit->property("id").toInt(), consignee.at(0).toInt());

    type(pack->findChild<QLineEdit*>(QStringLiteral("lineEdit")), QStringLiteral("临沂—上海"));
    type(pack->findChild<QLineEdit*>(QStringLiteral("goodsEdit")), QStringLiteral("防水卷材"));
    type(pack->findChild<QLineEdit*>(QStringLiteral("weightEdit")), QStringLiteral("12.5"));
    type(pack->findChild<QLineEdit*>(QStringLiteral("valueEdit")), QStringLiteral("36000"));
    choose(pack->findChild<QComboBox*>(QStringLiteral("isAgencyCombo")), QStringLiteral("是"));
    type(pack->findChild<QLineEdit*>(QStringLiteral("revenueEdit")), QStringLiteral("3200"));
    type(pack->findChild<QLineEdit*>(QStringLiteral("payoutEdit")), QStringLiteral("2300"));
    boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(pack, QStringLiteral("保存")));
    QVERIFY(boxes->waitForAll(10000));
    QVERIFY(ClientDriver::settle());
    QCOMPARE(
        boxes->seenTexts(), (QStringList { QStringLiteral("提醒|保存成功！"), QStringLiteral("提醒|配货成功！") }));

    const QVariantList trade
        = platform
              ->rows(QStringLiteral(
                         "SELECT id, shipper, consignee, line, goods, weight, value, is_agency, revenue, payout, status"
                         " FROM trades WHERE truck = ? AND status = 0"),
                  { truck })
              .value(0);
    QCOMPARE(trade.mid(1),
        (QVariantList { shipper, consignee.at(0), QStringLiteral("临沂—上海"), QStringLiteral("防水卷材"), 12.5,
            36000.0, 1, 3200.0, 2300.0, 0 }));
    packedTrade = trade.at(0).toInt();

    // The tile shows the load, and the truck may depart.
    QVERIFY(tile);
    QCOMPARE(tile->goods(), newShipper + QStringLiteral("托运的防水卷材"));
    boxes->expect(QMessageBox::Yes);
    QVERIFY(pressOnTile(tile, "workButton"));
    QVERIFY(boxes->waitForAll());
    QVERIFY(ClientDriver::settle());
    QCOMPARE(db(QStringLiteral("SELECT status FROM trucks WHERE id = ?"), { truck }).toInt(), 1);
    QCOMPARE(db(QStringLiteral("SELECT status FROM trades WHERE id = ?"), { packedTrade }).toInt(), 1);

    // The "已出车的" segment shows it among the trucks on the road.
    auto* segments = client->window()->findChild<SegmentWidget*>(QStringLiteral("segmentWidget"));
    QTest::mouseClick(segments->items().at(1), Qt::LeftButton);
    QVERIFY(ClientDriver::settle());
    const int onRoad
        = db(QStringLiteral("SELECT COUNT(*) FROM trucks WHERE organ = ? AND status = 1 AND deleted = 0"), { organ })
              .toInt();
    QCOMPARE(tiles().size(), onRoad);
    tile = tileOf(truck);
    QVERIFY(tile);
    QCOMPARE(tile->findChild<QPushButton*>(QStringLiteral("workButton"))->text(), QStringLiteral("运输完成"));

    // Transport complete: it rests again, empty.
    boxes->expect(QMessageBox::Yes);
    QVERIFY(pressOnTile(tile, "workButton"));
    QVERIFY(boxes->waitForAll());
    QVERIFY(ClientDriver::settle());
    QCOMPARE(db(QStringLiteral("SELECT status FROM trucks WHERE id = ?"), { truck }).toInt(), 0);
    QCOMPARE(db(QStringLiteral("SELECT status FROM trades WHERE id = ?"), { packedTrade }).toInt(), 2);
    QTest::mouseClick(segments->items().at(0), Qt::LeftButton);
    QVERIFY(ClientDriver::settle());
    tile = tileOf(truck);
    QVERIFY(tile);
    QVERIFY(tile->goods().isEmpty());
    QCOMPARE(tile->findChild<QPushButton*>(QStringLiteral("workButton"))->text(), QStringLiteral("发车"));
}

void TestJourneys::settlement()
{
    QVERIFY(client->signIn(QStringLiteral("demo"), QStringLiteral("load")));
    QVERIFY(client->openSection(1));
    const int newest = db(QStringLiteral("SELECT id FROM trades WHERE organ = ? ORDER BY create_time DESC, id DESC"),
        { organOf(QStringLiteral("demo")) })
                           .toInt();
    if (packedTrade != 0)
        QCOMPARE(newest, packedTrade);

    // The newest trade on top, with its states.
    QList<TradeItem*> trades = rows<TradeItem>(1);
    QVERIFY(!trades.isEmpty());
    QCOMPARE(trades.first()->tradeId(), newest);
    const QString payment = trades.first()->lineMarkup(QStringLiteral("paymentLine"));
    QVERIFY2(payment.contains(QStringLiteral("元&nbsp;未付")), qPrintable(payment));
    QVERIFY2(payment.contains(QStringLiteral("<b>代收款</b>未付")), qPrintable(payment));

    // Settle the payout and the collection.
    QTest::mouseClick(trades.first(), Qt::LeftButton);
    QWidget* dialog = nullptr;
    for (QWidget* w : client->top(1)->findChildren<QWidget*>()) {
        if (w->accessibleName() == QStringLiteral("dashboardDialog"))
            dialog = w;
    }
    QVERIFY(dialog && dialog->isVisible());
    choose(dialog->findChild<QComboBox*>(QStringLiteral("payoutChoice")), QStringLiteral("已全部支付"));
    choose(dialog->findChild<QComboBox*>(QStringLiteral("collectionChoice")), QStringLiteral("已付"));
    boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(dialog, QStringLiteral("确定")));
    QVERIFY(boxes->waitForAll(10000));
    QCOMPARE(boxes->seenTexts(), QStringList { QStringLiteral("提醒|保存成功！") });
    QVERIFY(ClientDriver::settle());
    QVERIFY(!dialog->isVisible());
    const QVariantList stored
        = platform
              ->rows(
                  QStringLiteral("SELECT payout_status, agency_status, pay_agency_time <> '' FROM trades WHERE id = ?"),
                  { newest })
              .value(0);
    QCOMPARE(stored, (QVariantList { 2, 1, 1 }));

    // The list shows the new states without a scroll.
    QVERIFY(ClientDriver::settle());
    trades = rows<TradeItem>(1);
    QVERIFY(!trades.isEmpty());
    QCOMPARE(trades.first()->tradeId(), newest);
    const QString settled = trades.first()->lineMarkup(QStringLiteral("paymentLine"));
    QVERIFY2(settled.contains(QStringLiteral("元&nbsp;已全部支付")), qPrintable(settled));
    QVERIFY2(settled.contains(QStringLiteral("<b>代收款</b>已付")), qPrintable(settled));
}

QString TestJourneys::exportThroughPreview(QAbstractButton* button, const QString& path)
{
    boxes->expectDialog([](QWidget* modal) {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(modal);
        QVERIFY(preview);
        QCOMPARE(preview->windowTitle(), QStringLiteral("打印预览"));
        preview->findChild<QAction*>(QStringLiteral("exportPdfAction"))->trigger();
        preview->reject();
    });
    boxes->expectDialog([path](QWidget* modal) {
        modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        QMetaObject::invokeMethod(modal, "accept");
    });
    QTest::mouseClick(button, Qt::LeftButton);
    if (!boxes->waitForAll(15000))
        return QString();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), { QStringLiteral("-raw"), path, QStringLiteral("-") });
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput());
}

// The clerk prints the newest trade's waybill and a loaded truck's loading
// list: the pages carry what the platform stored.
void TestJourneys::paper()
{
    QVERIFY(client->signIn(QStringLiteral("demo"), QStringLiteral("load")));
    const int organ = organOf(QStringLiteral("demo"));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());

    QVERIFY(client->openSection(1));
    QList<TradeItem*> trades = rows<TradeItem>(1);
    QVERIFY(!trades.isEmpty());
    const int tradeId = trades.first()->tradeId();
    QTest::mouseClick(trades.first(), Qt::LeftButton);
    auto* print = client->top(1)->findChild<QPushButton*>(QStringLiteral("printWaybillButton"));
    QVERIFY(print && print->isVisible());
    const QString waybill = exportThroughPreview(print, folder.filePath(QStringLiteral("waybill.pdf")));
    QVERIFY(ScreenTestKit::clickButton(client->top(1), QStringLiteral("取消")));
    const QVariantList stored = platform
                                    ->rows(QStringLiteral("SELECT o.name, s.name, s.linkman, s.tel1, c.name, c.linkman,"
                                                          " t.number, t.driver1_name, tr.goods FROM trades tr"
                                                          " JOIN organs o ON o.id = tr.organ"
                                                          " JOIN shippers s ON s.id = tr.shipper"
                                                          " JOIN consignees c ON c.id = tr.consignee"
                                                          " JOIN trucks t ON t.id = tr.truck WHERE tr.id = ?"),
                                        { tradeId })
                                    .value(0);
    QCOMPARE(stored.size(), 9);
    QVERIFY2(waybill.contains(QStringLiteral("单号：%1").arg(tradeId)), qPrintable(waybill));
    for (const QVariant& field : stored)
        QVERIFY2(
            waybill.contains(field.toString()), qPrintable(field.toString() + QStringLiteral(" not in\n") + waybill));

    QVERIFY(client->openSection(0));
    const int truck
        = db(QStringLiteral("SELECT truck FROM trades WHERE organ = ? AND status = 0 ORDER BY id LIMIT 1"), { organ })
              .toInt();
    TruckItem* tile = tileOf(truck);
    QVERIFY(tile);
    client->window()->findChild<QScrollArea*>(QStringLiteral("boardScrollArea"))->ensureWidgetVisible(tile);
    ClientDriver::pointAt(tile);
    auto* button = tile->findChild<QPushButton*>(QStringLiteral("loadingListButton"));
    QTRY_VERIFY(button->isVisible());
    const QString list = exportThroughPreview(button, folder.filePath(QStringLiteral("list.pdf")));
    const QList<QVariantList> goods = platform->rows(
        QStringLiteral("SELECT goods FROM trades WHERE truck = ? AND status < 2 ORDER BY id"), { truck });
    QVERIFY(!goods.isEmpty());
    int from = 0;
    for (const QVariantList& load : goods) {
        from = list.indexOf(load.value(0).toString(), from);
        QVERIFY2(from >= 0, qPrintable(load.value(0).toString() + QStringLiteral(" not in\n") + list));
    }
    QVERIFY(list.contains(QStringLiteral("合计 %1 票").arg(goods.size())));
}

void TestJourneys::theBooks()
{
    QVERIFY(client->signIn(QStringLiteral("demo"), QStringLiteral("load")));
    const int organ = organOf(QStringLiteral("demo"));
    const auto truckNumbers = [this] {
        QStringList numbers;
        for (MyTruckItem* row : rows<MyTruckItem>(3))
            numbers << row->plateText();
        return numbers;
    };

    // Add a truck whose driver has a 17x mobile.
    QVERIFY(client->openSection(3));
    QVERIFY(ScreenTestKit::clickButton(client->top(3), QStringLiteral("添加货车")));
    QVERIFY(ClientDriver::settle());
    auto* form = client->topAs<TruckActivity>(3);
    QVERIFY(form);
    const QString plate = QStringLiteral("鲁Q7J88E");
    type(form->findChild<QLineEdit*>(QStringLiteral("numberEdit")), plate);
    choose(form->findChild<QComboBox*>(QStringLiteral("driveChoice")), QStringLiteral("6×4"));
    choose(form->findChild<QComboBox*>(QStringLiteral("classChoice")), QStringLiteral("重卡"));
    type(form->findChild<QLineEdit*>(QStringLiteral("tonnageEdit")), QStringLiteral("32"));
    choose(form->findChild<QComboBox*>(QStringLiteral("boxChoice")), QStringLiteral("高栏"));
    type(form->findChild<QLineEdit*>(QStringLiteral("lengthEdit")), QStringLiteral("13"));
    type(form->findChild<QLineEdit*>(QStringLiteral("driver1NameEdit")), QStringLiteral("钱永福"));
    type(form->findChild<QLineEdit*>(QStringLiteral("driver1MobileEdit")), QStringLiteral("17712345678"));
    boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    QVERIFY(boxes->waitForAll(10000));
    QVERIFY(ClientDriver::settle());
    const QVariantList record
        = platform
              ->rows(QStringLiteral(
                         "SELECT id, driving_mode, tonnage_level, tonnage, packingcase_mode, packingcase_length,"
                         " driver1_name, driver1_mobile FROM trucks WHERE organ = ? AND number = ? AND deleted = 0"),
                  { organ, plate })
              .value(0);
    QCOMPARE(
        record.mid(1), (QVariantList { 3, 0, 32.0, 2, 13.0, QStringLiteral("钱永福"), QStringLiteral("17712345678") }));
    const int truck = record.at(0).toInt();
    // The list reloaded from page 1, the newest truck first.
    QCOMPARE(truckNumbers().value(0), plate);

    // Edit it: a second driver.
    MyTruckItem* added = rows<MyTruckItem>(3).first();
    QTest::mouseClick(added, Qt::LeftButton, Qt::NoModifier, QPoint(added->width() - 120, 15));
    QVERIFY(ClientDriver::settle());
    form = client->topAs<TruckActivity>(3);
    QVERIFY(form);
    QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("driver1MobileEdit"))->text(), QStringLiteral("17712345678"));
    type(form->findChild<QLineEdit*>(QStringLiteral("driver2NameEdit")), QStringLiteral("李长江"));
    type(form->findChild<QLineEdit*>(QStringLiteral("driver2MobileEdit")), QStringLiteral("17805398888"));
    boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    QVERIFY(boxes->waitForAll(10000));
    QVERIFY(ClientDriver::settle());
    QCOMPARE(platform->rows(QStringLiteral("SELECT driver2_name, driver2_mobile FROM trucks WHERE id = ?"), { truck }),
        (QList<QVariantList> { { QStringLiteral("李长江"), QStringLiteral("17805398888") } }));
    reloadList(3);
    auto* chip = rows<MyTruckItem>(3).first()->findChild<TelNumberWidget*>(QStringLiteral("driver2Chip"));
    QVERIFY(chip);
    QCOMPARE(chip->accessibleName(), QStringLiteral("李长江 17805398888"));

    // Delete it.
    MyTruckItem* row = rows<MyTruckItem>(3).first();
    ClientDriver::pointAt(row, QPoint(10, 10));
    boxes->expect(QMessageBox::Yes);
    QTest::mouseClick(row->findChild<QToolButton*>(QStringLiteral("removeButton")), Qt::LeftButton);
    QVERIFY(boxes->waitForAll());
    QVERIFY(ClientDriver::settle());
    QCOMPARE(db(QStringLiteral("SELECT deleted FROM trucks WHERE id = ?"), { truck }).toInt(), 1);
    reloadList(3);
    QVERIFY(!truckNumbers().contains(plate));
    QCOMPARE(boxes->seenTexts(),
        (QStringList { QStringLiteral("提醒|保存成功！"), QStringLiteral("提醒|保存成功！"),
            QStringLiteral("提醒|确定要删除货车 %1 吗？").arg(plate) }));

    keepPartyBook({ 2, QStringLiteral("ShipperItem"), QStringLiteral("添加托运人"), QStringLiteral("shippers"), true,
                      QStringLiteral("确定要删除托运人 %1 吗？") },
        QStringLiteral("河东宏图塑业有限公司"));
    if (QTest::currentTestFailed())
        return;
    keepPartyBook({ 4, QStringLiteral("ConsigneeItem"), QStringLiteral("添加收货人"), QStringLiteral("consignees"),
                      false, QStringLiteral("确定要删除收货人 %1 吗？") },
        QStringLiteral("无锡新苑建材市场"));
}

void TestJourneys::keepPartyBook(const PartyBook& book, const QString& name)
{
    const int organ = organOf(QStringLiteral("demo"));
    const auto titles = [this, &book] {
        QStringList shown;
        for (QFrame* row : rowsNamed(book.section, book.rowName))
            shown << qobject_cast<PartyItem*>(row)->lineMarkup(QStringLiteral("titleLabel"));
        return shown.join(QLatin1Char('\n'));
    };
    const auto save = [this](QWidget* form) {
        boxes->expect(QMessageBox::Ok);
        QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
        QVERIFY(boxes->waitForAll(10000));
        QVERIFY(ClientDriver::settle());
        QCOMPARE(boxes->seenTexts().last(), QStringLiteral("提醒|保存成功！"));
    };

    // Add: the list reloads with the new party on top.
    QVERIFY(client->openSection(book.section));
    QWidget* list = client->top(book.section);
    QVERIFY(ScreenTestKit::clickButton(list, book.addButton));
    QVERIFY(ClientDriver::settle());
    QWidget* form = client->top(book.section);
    QVERIFY(form != list);
    type(form->findChild<QLineEdit*>(QStringLiteral("nameEdit")), name);
    type(form->findChild<QLineEdit*>(QStringLiteral("addressEdit")), QStringLiteral("江苏省无锡市惠山区钱桥街道88号"));
    if (book.hasIndustry)
        type(form->findChild<QLineEdit*>(QStringLiteral("industryEdit")), QStringLiteral("化工"));
    type(form->findChild<QLineEdit*>(QStringLiteral("linkmanEdit")), QStringLiteral("周宝山"));
    type(form->findChild<QLineEdit*>(QStringLiteral("tel1Edit")), QStringLiteral("13951068866"));
    save(form);
    QCOMPARE(client->top(book.section), list);
    const QString select
        = QStringLiteral("SELECT id, linkman, tel1, deleted FROM %1 WHERE organ = ? AND name = ?").arg(book.table);
    QVariantList stored = platform->rows(select, { organ, name }).value(0);
    QCOMPARE(stored.mid(1), (QVariantList { QStringLiteral("周宝山"), QStringLiteral("13951068866"), 0 }));
    QVERIFY2(titles().section(QLatin1Char('\n'), 0, 0).contains(name), qPrintable(titles()));

    // Edit: a new contact, shown once the list is reloaded.
    QFrame* row = rowsNamed(book.section, book.rowName).first();
    QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, QPoint(row->width() - 120, 15));
    QVERIFY(ClientDriver::settle());
    form = client->top(book.section);
    QVERIFY(form != list);
    auto* linkman = form->findChild<QLineEdit*>(QStringLiteral("linkmanEdit"));
    QCOMPARE(linkman->text(), QStringLiteral("周宝山"));
    linkman->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(linkman, Qt::Key_A, Qt::ControlModifier);
    type(linkman, QStringLiteral("吴海燕"));
    save(form);
    QCOMPARE(platform->rows(select, { organ, name }).value(0).value(1).toString(), QStringLiteral("吴海燕"));
    reloadList(book.section);
    row = rowsNamed(book.section, book.rowName).first();
    const auto* party = qobject_cast<PartyItem*>(row);
    QVERIFY(party->lineMarkup(QStringLiteral("titleLabel")).contains(name));
    QVERIFY(party->lineMarkup(QStringLiteral("contactLabel")).endsWith(QStringLiteral("吴海燕")));

    // Delete: gone from the platform's book and from the reloaded list.
    ClientDriver::pointAt(row, QPoint(10, 10));
    boxes->expect(QMessageBox::Yes);
    QTest::mouseClick(row->findChild<QToolButton*>(QStringLiteral("removeButton")), Qt::LeftButton);
    QVERIFY(boxes->waitForAll());
    QVERIFY(ClientDriver::settle());
    QCOMPARE(boxes->seenTexts().last(), QStringLiteral("提醒|") + book.deleteQuestion.arg(name));
    QCOMPARE(platform->rows(select, { organ, name }).value(0).value(3).toInt(), 1);
    reloadList(book.section);
    QVERIFY(!rowsNamed(book.section, book.rowName).isEmpty());
    QVERIFY(!titles().contains(name));
}

void TestJourneys::calls()
{
    QVERIFY(client->signIn(QStringLiteral("demo"), QStringLiteral("load")));
    QTRY_VERIFY_WITH_TIMEOUT(VoiceSession::isOnline(), 10000);

    // Call the first truck's driver from the truck list, and hang up.
    QVERIFY(client->openSection(3));
    MyTruckItem* row = rows<MyTruckItem>(3).value(0);
    QVERIFY(row);
    auto* chip = row->findChild<TelNumberWidget*>(QStringLiteral("driver1Chip"));
    const QString driver = chip->accessibleName().section(QLatin1Char(' '), 0, 0);
    QSignalSpy status(chip, &TelNumberWidget::signal_calling_status);
    ClientDriver::pointAt(chip, QPoint(12, 12));
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, QPoint(12, 12));
    QWidget* host = client->section(3);
    QVERIFY(PhonePopupParts::statusLabelOf(host));
    QTRY_COMPARE_WITH_TIMEOUT(
        PhonePopupParts::statusLabelOf(host)->text(), QStringLiteral("正在同 %1 通话中...").arg(driver), 10000);
    QTest::mouseClick(PhonePopupParts::buttonOf(host, QStringLiteral("结束通话")), Qt::LeftButton);
    QTRY_VERIFY(!PhonePopupParts::overlayOf(host) || !PhonePopupParts::overlayOf(host)->isVisible());
    QTRY_COMPARE(status.last().at(0).toString(), QStringLiteral("同 %1 通话结束.").arg(driver));

    // Text the first shipper with a mobile; the message waits in the
    // platform's outbox.
    QVERIFY(client->openSection(2));
    chip = nullptr;
    for (QFrame* shipper : rowsNamed(2, QStringLiteral("ShipperItem"))) {
        auto* phone = shipper->findChild<TelNumberWidget*>(QStringLiteral("phone1"));
        if (!chip && phone && phone->accessibleName().startsWith(QLatin1Char('1')))
            chip = phone;
    }
    QVERIFY(chip);
    const QPoint smsZone(chip->width() - 15, 12);
    ClientDriver::pointAt(chip, smsZone);
    QTest::mouseClick(chip, Qt::LeftButton, Qt::NoModifier, smsZone);
    host = client->section(2);
    auto* edit = host->findChild<QPlainTextEdit*>();
    QVERIFY(edit);
    const QString text = QStringLiteral("明早八点到站装车，请备好货。");
    type(edit, text);
    boxes->expect(QMessageBox::Ok);
    QTest::mouseClick(PhonePopupParts::buttonOf(host, QStringLiteral("发送")), Qt::LeftButton);
    QVERIFY(boxes->waitForAll(10000));
    QCOMPARE(boxes->seenTexts(), QStringList { QStringLiteral("恭喜|短信发送成功！") });
    QCOMPARE(platform->rows(QStringLiteral("SELECT number, content FROM sms_outbox WHERE organ = ?"),
                 { organOf(QStringLiteral("demo")) }),
        (QList<QVariantList> { { chip->accessibleName(), text } }));
}

void TestJourneys::twoStations()
{
    QVERIFY(client->signIn(QStringLiteral("demo2"), QStringLiteral("load")));
    const int organ = organOf(QStringLiteral("demo2"));
    QVERIFY(organ != organOf(QStringLiteral("demo")));

    // The board holds demo2's resting trucks and no other.
    QList<int> shown;
    for (TruckItem* tile : tiles())
        shown << tile->id();
    QList<int> own;
    for (const QVariantList& row : platform->rows(
             QStringLiteral("SELECT id FROM trucks WHERE organ = ? AND deleted = 0 AND status = 0 ORDER BY id"),
             { organ }))
        own << row.first().toInt();
    std::sort(shown.begin(), shown.end());
    QVERIFY(!own.isEmpty());
    QCOMPARE(shown, own);

    // The trade list holds none of demo's trades.
    QVERIFY(client->openSection(1));
    const QList<TradeItem*> trades = rows<TradeItem>(1);
    QVERIFY(!trades.isEmpty());
    for (TradeItem* trade : trades) {
        QCOMPARE(db(QStringLiteral("SELECT organ FROM trades WHERE id = ?"), { trade->tradeId() }).toInt(), organ);
        QVERIFY(trade->tradeId() != packedTrade);
    }

    // Packing, the shipper made as demo is not to be found.
    if (newShipper.isEmpty())
        return;
    QVERIFY(client->openSection(0));
    TruckItem* resting = nullptr;
    for (TruckItem* tile : tiles()) {
        if (tile->record().value(QLatin1String("status")).toInt() == 0)
            resting = tile;
    }
    QVERIFY(resting);
    QVERIFY(pressOnTile(resting, "packButton"));
    QVERIFY(ClientDriver::settle());
    auto* pack = client->topAs<PackActivity>(0);
    QVERIFY(pack);
    type(pack->findChild<QLineEdit*>(QStringLiteral("shipperEdit")), newShipper);
    QVERIFY(ClientDriver::settle());
    QVERIFY(pack->findChildren<SuggestionItem*>().isEmpty());
}

void TestJourneys::leaving()
{
    QVERIFY(client->signIn(QStringLiteral("demo"), QStringLiteral("load")));
    const int organ = organOf(QStringLiteral("demo"));

    // Feedback from the side bar.
    QTest::mouseClick(client->window()->findChild<QToolButton*>(QStringLiteral("FeedbackButton")), Qt::LeftButton);
    QWidget* dialog = nullptr;
    for (QWidget* w : client->top(0)->findChildren<QWidget*>()) {
        if (w->accessibleName() == QStringLiteral("意见反馈"))
            dialog = w;
    }
    QVERIFY(dialog && dialog->isVisible());
    choose(dialog->findChild<QComboBox*>(QStringLiteral("feedbackCategory")), QStringLiteral("错误报告"));
    const QString content = QStringLiteral("发车后看板上的货物说明没有清空。");
    type(dialog->findChild<QPlainTextEdit*>(QStringLiteral("feedbackContent")), content);
    boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(dialog, QStringLiteral("确定")));
    QVERIFY(boxes->waitForAll(10000));
    QVERIFY(ClientDriver::settle());
    QCOMPARE(platform->rows(QStringLiteral("SELECT type, content FROM feedback WHERE organ = ?"), { organ }),
        (QList<QVariantList> { { 1, content } }));

    // Out through the close button: the visit ends, then the process, with -1.
    const QString visits = QStringLiteral("SELECT COUNT(*) FROM visits WHERE organ = ? AND end_time <> ''");
    const int endedBefore = db(visits, { organ }).toInt();
    boxes->expect(QMessageBox::Yes);
    auto* titleBar = client->window()->findChild<TitleBar*>();
    QTest::mouseClick(titleBar->findChild<QToolButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    QVERIFY(boxes->waitForAll());
    QVERIFY(!client->window()->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(exits, QList<int> { -1 }, 10000);
    QCOMPARE(db(visits, { organ }).toInt(), endedBefore + 1);
    QCOMPARE(
        boxes->seenTexts(), (QStringList { QStringLiteral("提醒|反馈成功！"), QStringLiteral("提醒|确定要退出吗？") }));
}

QTEST_MAIN(TestJourneys)
#include "tst_journeys.moc"
