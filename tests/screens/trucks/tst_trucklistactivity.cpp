// The truck list and its rows: what a row shows and where, the edit and add
// forms it opens, and deletes that reach only the row that asked.
#include "screens/trucks/trucklistactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "net/api.h"
#include "net/truckdict.h"
#include "screens/lists/pagedlistactivity.h"
#include "screens/trucks/truckactivity.h"
#include "screens/trucks/truckrow.h"
#include "shell/activitycontroller.h"
#include "telephony/telnumberwidget.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QByteArray listPath("/api/truck/");

// Opens the list's reload and rows to the test.
class ProbeList : public TruckListActivity
{
public:
    using TruckListActivity::listRows;
    using TruckListActivity::reload;
    using TruckListActivity::TruckListActivity;
};

QJsonObject truck(int id, const QString& number)
{
    return QJsonObject { { "id", id }, { "number", number }, { "tonnage_level", 0 }, { "tonnage_level_text", "重卡" },
        { "driving_mode_text", "后驱" }, { "tonnage", 20 }, { "packingcase_mode_text", "厢式" },
        { "packingcase_width", 2.3 }, { "packingcase_length", 9.6 }, { "packingcase_height", 2.5 },
        { "driver1_name", "王建国" }, { "driver1_mobile", "13812345678" }, { "driver2_name", "李" },
        { "driver2_mobile", "17712345678" }, { "company_name", "顺达物流" }, { "company_tel", "010123456" } };
}

QByteArray answerWith(const QJsonArray& trucks)
{
    return R"({"success":true,"data":)" + QJsonDocument(trucks).toJson(QJsonDocument::Compact) + "}";
}

} // namespace

class TestTruckListActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void rowShowsItsTruck_data();
    void rowShowsItsTruck();
    void pictureFollowsTheLevel_data();
    void pictureFollowsTheLevel();
    void plateIsShownWhole_data();
    void plateIsShownWhole();
    void drawnTextsMatchLabels_data();
    void drawnTextsMatchLabels();
    void rowsAreStripedAndChipsPlaced();
    void hoverShowsRemoveAndPressEditsOnce();
    void addResultReloadsOnce_data();
    void addResultReloadsOnce();
    void deleteAnswerDecidesTheRow_data();
    void deleteAnswerDecidesTheRow();
    void eachDeleteAnswerReachesItsOwnRow();
    void rowDeletedUnderItsQuestionSendsNothing();
    void theBoardsAnswerNeverBecomesRows();
    void chipOfALaterPageTextsItsOwnNumber();

private:
    // Serves `trucks` as page 1 (and empty pages after it), shows the list
    // and waits for its rows.
    bool showList(const QJsonArray& trucks);
    MyTruckItem* row(int index) const;
    // Hovers `target` and clicks its remove button.
    void pressRemove(MyTruckItem* target);

    ScreenTestKit kit;
    ActivityController* controller = nullptr;
    ProbeList* list = nullptr;
};

void TestTruckListActivity::init()
{
    kit.initTest();
    TruckDict::instance()->setDrivingMode(QJsonObject { { "1", "前驱" } });
    TruckDict::instance()->setTonnage(QJsonObject { { "0", "重卡" } });
    TruckDict::instance()->setPackingcaseMode(QJsonObject { { "1", "厢式" } });
    controller = new ActivityController;
    controller->resize(800, 500);
    list = new ProbeList(controller);
    controller->startActivity(list, false, false);
}

void TestTruckListActivity::cleanup()
{
    delete controller;
    controller = nullptr;
    list = nullptr;
    kit.cleanupTest();
}

bool TestTruckListActivity::showList(const QJsonArray& trucks)
{
    const QByteArray first = answerWith(trucks);
    kit.server.on(listPath, [first](const RecordingHttpServer::Request& request) {
        return RecordingHttpServer::json(request.target.contains("&page=1&") ? first : answerWith({}));
    });
    controller->show();
    return QTest::qWaitForWindowExposed(controller) && QTest::qWaitFor([this, &trucks] {
        // Rows are as wide as the list, and shown once the event loop has run.
        return list->listRows.size() == trucks.size()
            && (trucks.isEmpty() || (row(0)->width() == 796 && row(0)->isVisible()));
    });
}

MyTruckItem* TestTruckListActivity::row(int index) const
{
    return qobject_cast<MyTruckItem*>(list->listRows.value(index));
}

void TestTruckListActivity::pressRemove(MyTruckItem* target)
{
    // From outside: the pointer may still rest where an earlier row was.
    QTest::mouseMove(list->findChild<QWidget*>(QStringLiteral("Header")));
    QTest::mouseMove(target, QPoint(300, 45));
    QTRY_VERIFY(target->findChild<QToolButton*>(QStringLiteral("removeButton")));
    auto* remove = target->findChild<QToolButton*>(QStringLiteral("removeButton"));
    QTRY_VERIFY(remove->isVisible());
    QTest::mouseClick(remove, Qt::LeftButton);
}

void TestTruckListActivity::rowShowsItsTruck_data()
{
    QTest::addColumn<QJsonObject>("changes");
    QTest::addColumn<QString>("info");
    QTest::newRow("numbers")
        << QJsonObject()
        << "重卡&nbsp;&nbsp;后驱&nbsp;&nbsp;&nbsp;&nbsp;<b>额定载重</b>20吨&nbsp;&nbsp;&nbsp;&nbsp;"
           "<b>厢式货箱</b>&nbsp;&nbsp;宽2.3米&nbsp;&nbsp;长9.6米&nbsp;&nbsp;高2.5米";
    // Texts are shown as texts; a text key holding a number shows nothing.
    QTest::newRow("texts")
        << QJsonObject { { "tonnage", "20.5" }, { "driving_mode_text", "<i>4x2</i>" }, { "packingcase_mode_text", 3 },
               { "packingcase_width", "" } }
        << "重卡&nbsp;&nbsp;&lt;i&gt;4x2&lt;/i&gt;&nbsp;&nbsp;&nbsp;&nbsp;<b>额定载重</b>20.5吨"
           "&nbsp;&nbsp;&nbsp;&nbsp;<b>货箱</b>&nbsp;&nbsp;宽米&nbsp;&nbsp;长9.6米&nbsp;&nbsp;高2.5米";
}

void TestTruckListActivity::rowShowsItsTruck()
{
    QFETCH(QJsonObject, changes);
    QFETCH(QString, info);
    QJsonObject record = truck(5, QStringLiteral("<b>京A1</b>"));
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        record.insert(it.key(), it.value());
    QVERIFY(showList({ record }));
    MyTruckItem* first = row(0);
    QCOMPARE(first->height(), 90);
    QCOMPARE(first->lineMarkup(QStringLiteral("infoLabel")), info);
    QCOMPARE(first->plateText(), QStringLiteral("<b>京A1</b>"));
    QCOMPARE(first->companyText(), QStringLiteral("顺达物流  电话:010123456"));
    QVERIFY(kit.requestsTo(listPath).first().target.endsWith("&page=1&number="));
}

void TestTruckListActivity::pictureFollowsTheLevel_data()
{
    QTest::addColumn<QJsonValue>("level");
    QTest::addColumn<QString>("image");
    QTest::newRow("0") << QJsonValue(0) << ":/images/img_truck_default_0.png";
    QTest::newRow("1 as text") << QJsonValue("1") << ":/images/img_truck_default_1.png";
    QTest::newRow("2, the light truck") << QJsonValue(2) << ":/images/img_truck_default_2.png";
    QTest::newRow("3 has none") << QJsonValue(3) << "";
}

void TestTruckListActivity::pictureFollowsTheLevel()
{
    QFETCH(QJsonValue, level);
    QFETCH(QString, image);
    QJsonObject record = truck(1, QStringLiteral("京A1"));
    record.insert(QStringLiteral("tonnage_level"), level);
    QVERIFY(showList({ record }));
    const QPixmap shown = row(0)->picture();
    if (image.isEmpty()) {
        QVERIFY(shown.isNull());
        return;
    }
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.toImage(), QPixmap(image).scaled(70, 55, Qt::IgnoreAspectRatio).toImage());
}

void TestTruckListActivity::plateIsShownWhole_data()
{
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QSize>("window");
    QTest::newRow("seven characters") << QStringLiteral("鲁QWM209") << QSize(800, 500);
    QTest::newRow("new-energy, eight") << QStringLiteral("鲁QD12345") << QSize(800, 500);
    QTest::newRow("eight, wide window") << QStringLiteral("鲁QD12345") << QSize(1400, 700);
    QTest::newRow("eight wide letters") << QStringLiteral("鲁WWWWWWW") << QSize(800, 500);
}

// The whole plate, on one line, clear of the truck's details beside it.
void TestTruckListActivity::plateIsShownWhole()
{
    QFETCH(QString, plate);
    QFETCH(QSize, window);
    controller->resize(window);
    const QJsonObject record = truck(1, plate);
    const QByteArray first = answerWith({ record });
    kit.server.on(listPath, [first](const RecordingHttpServer::Request& request) {
        return RecordingHttpServer::json(request.target.contains("&page=1&") ? first : answerWith({}));
    });
    controller->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller));
    QTRY_COMPARE(list->listRows.size(), 1);
    QCOMPARE(row(0)->plateText(), plate);
    const QFontMetrics metrics(row(0)->plateFont());
    const QRect place = MyTruckItem::plateGeometry();
    QVERIFY2(metrics.horizontalAdvance(plate) <= place.width(),
        qPrintable(QString::number(metrics.horizontalAdvance(plate))));
    QVERIFY(metrics.height() <= place.height());
    QVERIFY(place.right() < row(0)->lineGeometry(QStringLiteral("infoLabel")).x());
}

void TestTruckListActivity::drawnTextsMatchLabels_data()
{
    QTest::addColumn<QString>("plate");
    QTest::newRow("plate at full size") << QStringLiteral("京A12345");
    QTest::newRow("plate shrunk") << QStringLiteral("鲁WWWWWWW");
}

// What the row draws itself is what labels of the same names would show in
// its place, under the list's style rules: a row of labels beside it is
// the reference.
void TestTruckListActivity::drawnTextsMatchLabels()
{
    QFETCH(QString, plate);
    QVERIFY(showList({ truck(1, plate) }));
    MyTruckItem* drawn = row(0);
    const int pixels = drawn->plateFont().pixelSize();

    auto* reference = new QFrame(drawn->parentWidget());
    reference->setObjectName(QStringLiteral("MyTruckItem"));
    reference->setAutoFillBackground(true);
    PagedListActivity::stripeRow(reference, 1);
    const auto label = [reference](const char* name, const QRect& place, const QString& text) {
        auto* each = new QLabel(reference);
        each->setObjectName(QLatin1String(name));
        each->setTextFormat(Qt::PlainText);
        each->setText(text);
        each->setGeometry(place);
        return each;
    };
    QLabel* number = label("numberLabel", MyTruckItem::plateGeometry(), plate);
    if (pixels != 14)
        number->setProperty("platePixels", QString::number(pixels));
    label("companyLabel", MyTruckItem::companyGeometry(), drawn->companyText());
    label("pictureLabel", MyTruckItem::pictureGeometry(), QString())->setPixmap(drawn->picture());
    reference->setGeometry(drawn->geometry().translated(0, drawn->height()));
    reference->show();
    QCOMPARE(number->font().pixelSize(), pixels);

    for (const QRect& place :
        { MyTruckItem::plateGeometry(), MyTruckItem::companyGeometry(), MyTruckItem::pictureGeometry() })
        QCOMPARE(drawn->grab(place).toImage(), reference->grab(place).toImage());
}

void TestTruckListActivity::rowsAreStripedAndChipsPlaced()
{
    QVERIFY(showList({ truck(1, QStringLiteral("京A1")), truck(2, QStringLiteral("京A2")) }));
    QCOMPARE(row(0)->property("stripe").toString(), QStringLiteral("odd"));
    QCOMPARE(row(1)->property("stripe").toString(), QStringLiteral("even"));

    MyTruckItem* first = row(0);
    const QList<TelNumberWidget*> chips = first->findChildren<TelNumberWidget*>();
    QCOMPARE(chips.size(), 2);
    auto* chip1 = first->findChild<TelNumberWidget*>(QStringLiteral("driver1Chip"));
    auto* chip2 = first->findChild<TelNumberWidget*>(QStringLiteral("driver2Chip"));
    QCOMPARE(first->lineGeometry(QStringLiteral("driver1Caption")), QRect(90, 35, 33, 20));
    // Each chip as wide as its driver's name and whole number need.
    QCOMPARE(chip1->geometry(), QRect(128, 32, chip1->sizeHint().width(), 25));
    QVERIFY(chip1->width() >= 137);
    const int caption2 = chip1->geometry().right() + 1 + 20;
    QCOMPARE(first->lineGeometry(QStringLiteral("driver2Caption")), QRect(caption2, 35, 33, 20));
    QCOMPARE(chip2->geometry(), QRect(caption2 + 38, 32, chip2->sizeHint().width(), 25));
    QCOMPARE(chip1->accessibleName(), QStringLiteral("王建国 13812345678"));
    QCOMPARE(chip2->accessibleName(), QStringLiteral("李 17712345678"));

    const int W = first->width();
    QCOMPARE(first->arrowGeometry(), QRect(W - 50, 30, 25, 25));
    QCOMPARE(first->removeGeometry(), QRect(W - 70, 30, 25, 25));
}

void TestTruckListActivity::hoverShowsRemoveAndPressEditsOnce()
{
    QVERIFY(showList({ truck(1, QStringLiteral("京A1")), truck(9, QStringLiteral("沪B9")) }));
    MyTruckItem* second = row(1);
    // No button until the pointer first comes over the row.
    QVERIFY(!second->findChild<QToolButton*>(QStringLiteral("removeButton")));
    QTest::mouseMove(second, QPoint(300, 45));
    QTRY_VERIFY(second->findChild<QToolButton*>(QStringLiteral("removeButton")));
    auto* remove = second->findChild<QToolButton*>(QStringLiteral("removeButton"));
    QTRY_VERIFY(remove->isVisible());
    QCOMPARE(remove->geometry(), second->removeGeometry());
    QTest::mouseMove(list->findChild<QWidget*>(QStringLiteral("Header")));
    QTRY_VERIFY(!remove->isVisible());

    // The chip takes its own press.
    QTest::mouseClick(
        second->findChild<TelNumberWidget*>(QStringLiteral("driver1Chip")), Qt::LeftButton, {}, QPoint(60, 12));
    QCOMPARE(controller->activities().size(), 1);

    QTest::mouseDClick(second, Qt::LeftButton, {}, QPoint(30, 50));
    QCOMPARE(controller->activities().size(), 2);
    auto* form = qobject_cast<TruckActivity*>(controller->topActivity());
    QVERIFY(form);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("修改货车资料"));
    QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("numberEdit"))->text(), QStringLiteral("沪B9"));
}

void TestTruckListActivity::addResultReloadsOnce_data()
{
    QTest::addColumn<bool>("saved");
    QTest::newRow("saved") << true;
    QTest::newRow("back") << false;
}

void TestTruckListActivity::addResultReloadsOnce()
{
    QFETCH(bool, saved);
    QVERIFY(showList({ truck(1, QStringLiteral("京A1")) }));
    QVERIFY(ScreenTestKit::clickButton(list, QStringLiteral("添加货车")));
    QVERIFY(ScreenTestKit::clickButton(list, QStringLiteral("添加货车")));
    QCOMPARE(controller->activities().size(), 2);
    auto* form = qobject_cast<TruckActivity*>(controller->topActivity());
    QVERIFY(form);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("添加货车"));

    if (saved) {
        kit.server.on("/api/truck/add/", RecordingHttpServer::json(R"({"success":true})"));
        form->findChild<QLineEdit*>(QStringLiteral("numberEdit"))->setText(QStringLiteral("京A23456"));
        for (const char* name : { "driveChoice", "classChoice", "boxChoice" })
            form->findChild<QComboBox*>(QLatin1String(name))->setCurrentIndex(1);
        form->findChild<QLineEdit*>(QStringLiteral("tonnageEdit"))->setText(QStringLiteral("20"));
        form->findChild<QLineEdit*>(QStringLiteral("driver1NameEdit"))->setText(QStringLiteral("王建国"));
        form->findChild<QLineEdit*>(QStringLiteral("driver1MobileEdit"))->setText(QStringLiteral("17712345678"));
        kit.boxes->expect(QMessageBox::Ok);
    }
    QVERIFY(ScreenTestKit::clickButton(form, saved ? QStringLiteral("保存") : QStringLiteral("返回")));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_COMPARE(controller->activities().size(), 1);
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo(listPath).size(), saved ? 2 : 1);
    QVERIFY(kit.requestsTo(listPath).last().target.contains("&page=1&"));
    QCOMPARE(list->listRows.size(), 1);
}

void TestTruckListActivity::deleteAnswerDecidesTheRow_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("deleted") << QByteArray(R"({"success":true})") << QStringList() << QStringList { "京A1", "京A3" };
    QTest::newRow("refused") << QByteArray(R"({"success":false,"errors":"该车有未完成的业务"})")
                             << QStringList { "抱歉|删除失败！\n该车有未完成的业务" }
                             << QStringList { "京A1", "京A2", "京A3" };
}

void TestTruckListActivity::deleteAnswerDecidesTheRow()
{
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, left);
    QVERIFY(showList(
        { truck(1, QStringLiteral("京A1")), truck(2, QStringLiteral("京A2")), truck(3, QStringLiteral("京A3")) }));
    kit.server.on("/api/truck/2/delete/", RecordingHttpServer::json(answer));
    kit.boxes->expect(QMessageBox::Yes);
    for (int i = 0; i < boxes.size(); ++i)
        kit.boxes->expect(QMessageBox::Ok);
    pressRemove(row(1));
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(ScreenTestKit::waitForIdle());
    QTRY_COMPARE(list->listRows.size(), left.size());
    QStringList numbers;
    for (int i = 0; i < list->listRows.size(); ++i)
        numbers << row(i)->plateText();
    QCOMPARE(numbers, left);
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|确定要删除货车 京A2 吗？") } + boxes);
    QCOMPARE(
        kit.requestsTo("/api/truck/2/delete/").first().target, QByteArray("/api/truck/2/delete/?token=tk1&user=7"));
}

void TestTruckListActivity::eachDeleteAnswerReachesItsOwnRow()
{
    QVERIFY(showList({ truck(1, QStringLiteral("京A1")), truck(2, QStringLiteral("京A2")) }));
    RecordingHttpServer::Reply deleted = RecordingHttpServer::json(R"({"success":true})");
    deleted.gate = QStringLiteral("first");
    RecordingHttpServer::Reply refused = RecordingHttpServer::json(R"({"success":false,"errors":"不可删除"})");
    refused.gate = QStringLiteral("second");
    kit.server.on("/api/truck/1/delete/", deleted);
    kit.server.on("/api/truck/2/delete/", refused);
    QPointer<MyTruckItem> first = row(0);
    QPointer<MyTruckItem> second = row(1);

    kit.boxes->expect(QMessageBox::Yes);
    pressRemove(first);
    QVERIFY(kit.waitForRequests("/api/truck/1/delete/"));
    kit.boxes->expect(QMessageBox::Yes);
    pressRemove(second);
    QVERIFY(kit.waitForRequests("/api/truck/2/delete/"));

    // The later request is answered first: its refusal belongs to the second row.
    kit.boxes->expect(QMessageBox::Ok);
    kit.server.release(QStringLiteral("second"));
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(first && second);
    kit.server.release(QStringLiteral("first"));
    QVERIFY(ScreenTestKit::waitForIdle());
    QTRY_VERIFY(!first);
    QVERIFY(second);
    QCOMPARE(kit.boxes->seenTexts().count(QStringLiteral("抱歉|删除失败！\n不可删除")), 1);
}

void TestTruckListActivity::rowDeletedUnderItsQuestionSendsNothing()
{
    QVERIFY(showList({ truck(1, QStringLiteral("京A1")) }));
    QPointer<MyTruckItem> doomed = row(0);
    kit.boxes->expectDialog([this](QWidget* box) {
        list->reload();
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
    });
    pressRemove(doomed);
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(!doomed);
    QVERIFY(ScreenTestKit::waitForIdle());
    QVERIFY(kit.requestsTo("/api/truck/1/delete/").isEmpty());
    QTRY_COMPARE(list->listRows.size(), 1);
}

void TestTruckListActivity::theBoardsAnswerNeverBecomesRows()
{
    // The board's request for every truck is still open when the list opens.
    QJsonArray board;
    for (int id = 100; id < 120; ++id)
        board.append(truck(id, QStringLiteral("鲁Q%1").arg(id)));
    QJsonArray firstPage;
    for (int id = 1; id <= 20; ++id)
        firstPage.append(truck(id, QStringLiteral("京A%1").arg(id)));
    kit.server.on(listPath, [board, firstPage](const RecordingHttpServer::Request& request) {
        if (!request.target.contains("&page=")) {
            auto reply = RecordingHttpServer::json(answerWith(board));
            reply.gate = QStringLiteral("board");
            return reply;
        }
        return RecordingHttpServer::json(answerWith(request.target.contains("&page=1&") ? firstPage : QJsonArray()));
    });
    API::instance()->fetchTruckGroup(-1);
    QVERIFY(kit.waitForRequests(listPath, 1));
    controller->show();
    QTRY_COMPARE(list->listRows.size(), 20);
    kit.server.release(QStringLiteral("board"));
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(list->listRows.size(), 20);
    QCOMPARE(row(0)->plateText(), QStringLiteral("京A1"));

    // The bottom asks for the page after the first.
    QScrollBar* bar = list->findChild<QScrollArea*>(QStringLiteral("ListScrollArea"))->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QVERIFY(kit.waitForRequests(listPath, 3));
    QVERIFY(kit.requestsTo(listPath).last().target.contains("&page=2&"));
}

// The chips watch their host only while a panel is open: a chip of a row
// added by a later page still opens its own panel over the host, for its own
// number, and the panel follows the host until it is closed.
void TestTruckListActivity::chipOfALaterPageTextsItsOwnNumber()
{
    QJsonArray firstPage;
    for (int i = 1; i <= 8; ++i)
        firstPage.append(truck(i, QStringLiteral("京A%1").arg(i)));
    QJsonObject later = truck(9, QStringLiteral("京A9"));
    later.insert("driver1_mobile", "13900000009");
    const QByteArray first = answerWith(firstPage);
    const QByteArray second = answerWith({ later });
    kit.server.on(listPath, [first, second](const RecordingHttpServer::Request& request) {
        const bool one = request.target.contains("&page=1&");
        return RecordingHttpServer::json(one ? first : request.target.contains("&page=2&") ? second : answerWith({}));
    });
    controller->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller));
    QTRY_COMPARE(list->listRows.size(), 8);
    list->scrollToEnd();
    QTRY_COMPARE(list->listRows.size(), 9);

    auto* chip = row(8)->findChild<TelNumberWidget*>(QStringLiteral("driver1Chip"));
    QTest::mouseMove(chip, QPoint(5, 12));
    QTest::mouseClick(chip, Qt::LeftButton, {}, QPoint(chip->width() - 10, 12));
    auto* overlay = controller->findChild<QFrame*>(QStringLiteral("Main"));
    QVERIFY(overlay && overlay->isVisible());
    QVERIFY(overlay->findChild<QLabel*>(QStringLiteral("whoLabel"))->text().contains(QLatin1String("13900000009")));
    controller->resize(700, 450);
    QCOMPARE(overlay->geometry(), QRect(0, 0, 700, 450));

    const QPointer<QFrame> closed(overlay);
    chip->closePopup();
    QTRY_VERIFY(!closed);
    controller->resize(800, 500);
    QVERIFY(!controller->findChild<QFrame*>(QStringLiteral("Main")));
}

QTEST_MAIN(TestTruckListActivity)
#include "tst_trucklistactivity.moc"
