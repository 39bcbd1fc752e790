// The shipper and consignee books: the rows' texts, chips and striping, the
// lists inside the main window with their add and edit forms, deleting with
// answers matched to their rows, saved records reaching the list, and answers
// that reach only the screen that asked.
#include "net/api.h"
#include "screens/board/packactivity.h"
#include "screens/parties/consigneelistactivity.h"
#include "screens/parties/partyactivity.h"
#include "screens/parties/partyrow.h"
#include "screens/parties/shipperlistactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "shell/activitycontroller.h"
#include "shell/mainwindow.h"
#include "telephony/telnumberwidget.h"
#include "telephony/voicesession.h"
#include "widgets/suggestionitem.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QJsonObject party(int id, const QString& name)
{
    return { { "id", id }, { "name", name }, { "address", QStringLiteral("路1号") },
        { "industry", QStringLiteral("化工") }, { "linkman", QStringLiteral("王") }, { "tel1", "13800138000" } };
}

QByteArray pageOf(int firstId, int count)
{
    QJsonArray records;
    for (int id = firstId; id < firstId + count; ++id)
        records.append(party(id, QStringLiteral("客户%1").arg(id)));
    return R"({"success":true,"data":)" + QJsonDocument(records).toJson(QJsonDocument::Compact) + "}";
}

const QString sessionQuery = QStringLiteral("?token=tk1&user=7");

} // namespace

class TestPartyListActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { kit.initTest(); }
    void cleanup();

    void rowTexts_data();
    void rowTexts();
    void addResultReloadsOnce_data();
    void addResultReloadsOnce();
    void savedEditReachesTheRowAndItsForm();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void twoDeletesEachAnswerTheirOwnRow();
    void rowDeletedWhileItsQuestionIsOpen();
    void answersReachOnlyTheirAsker_data();
    void answersReachOnlyTheirAsker();

private:
    static const PartyBook& bookOf(bool consignee) { return consignee ? PartyBook::consignees : PartyBook::shippers; }
    static QByteArray pathOf(bool consignee) { return consignee ? "/api/consignee/" : "/api/shipper/"; }
    // A row built on its own in a plain host widget.
    PartyItem* addRow(bool consignee, const QJsonObject& record, int number = 1);
    // The main window showing the book's section, its first page (of `rows`
    // records) listed.
    PartyListActivity* openBook(bool consignee, int rows = 3);
    QList<PartyItem*> rowsOf(const QWidget* list) const;
    PartyActivity* topForm(bool consignee) const;
    void clickRemove(PartyItem* row);

    ScreenTestKit kit;
    QPointer<QWidget> host;
    QPointer<MainWindow> window;
};

void TestPartyListActivity::initTestCase()
{
    kit.initSuite();
    // No voice platform here: the chips stay offline.
    VoiceSession::setLibraryForTesting(QStringLiteral("/nonexistent/libVoiceSdk"));
}

void TestPartyListActivity::cleanup()
{
    delete window;
    delete host;
    kit.cleanupTest();
}

PartyItem* TestPartyListActivity::addRow(bool consignee, const QJsonObject& record, int number)
{
    if (!host) {
        host = new QWidget;
        host->resize(700, 300);
        new QVBoxLayout(host);
        host->show();
        [this] { QVERIFY(QTest::qWaitForWindowExposed(host)); }();
    }
    auto* row = qobject_cast<PartyItem*>(bookOf(consignee).createRow(record, number, host, host));
    host->layout()->addWidget(row);
    host->layout()->activate();
    return row;
}

PartyListActivity* TestPartyListActivity::openBook(bool consignee, int rows)
{
    kit.server.on(pathOf(consignee), RecordingHttpServer::json(pageOf(1, rows)));
    window = new MainWindow([](int index, QWidget* parent) -> QWidget* {
        if (index == 2)
            return new ShipperListActivity(parent);
        if (index == 4)
            return new ConsigneeListActivity(parent);
        return nullptr;
    });
    window->resize(1000, 650);
    window->show();
    const int section = bookOf(consignee).section;
    window->slot_toolbar_button_click(section);
    auto* list = qobject_cast<PartyListActivity*>(window->controllerAt(section)->activities().value(0));
    const bool listed = QTest::qWaitFor(
        [&] { return rowsOf(list).size() == rows && list->size() == window->controllerAt(section)->size(); });
    // The root screens slide in once, when the window is built; presses wait for that.
    const bool still = QTest::qWaitFor([&] { return !window->controllerAt(section)->isSliding(); });
    return listed && still ? list : nullptr;
}

QList<PartyItem*> TestPartyListActivity::rowsOf(const QWidget* list) const
{
    return list ? list->findChildren<PartyItem*>() : QList<PartyItem*>();
}

PartyActivity* TestPartyListActivity::topForm(bool consignee) const
{
    return qobject_cast<PartyActivity*>(window->controllerAt(bookOf(consignee).section)->topActivity());
}

void TestPartyListActivity::clickRemove(PartyItem* row)
{
    // Once the row is laid out on screen, the pointer comes from a corner,
    // as an earlier test may have left it where the row is now.
    QTRY_COMPARE(row->visibleRegion().boundingRect(), row->rect());
    QTest::mouseMove(row->window(), QPoint(1, 1));
    const auto remove = [row] { return row->findChild<QToolButton*>(QStringLiteral("removeButton")); };
    QTRY_VERIFY(!remove() || !remove()->isVisible());
    QTest::mouseMove(row);
    QTRY_VERIFY(remove() && remove()->isVisible());
    QCOMPARE(remove()->geometry(), row->removeGeometry());
    QTest::mouseClick(remove(), Qt::LeftButton);
}

void TestPartyListActivity::rowTexts_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<QJsonObject>("record");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("phones");

    const QString bold = QStringLiteral("<b style='font-size:16px;color:#0099CC;'>");
    QJsonObject full = party(1, QStringLiteral("甲公司"));
    full.insert("tel2", "01012345678");
    QTest::newRow("shipper, two phones") << false << full << 1 << bold + QStringLiteral("甲公司</b>    化工行业")
                                         << QStringLiteral("路1号") << QStringList { "13800138000", "01012345678" };
    QTest::newRow("consignee, no industry in the title")
        << true << party(2, QStringLiteral("乙")) << 2 << bold + QStringLiteral("乙</b>") << QStringLiteral("路1号")
        << QStringList { "13800138000" };
    QJsonObject bare { { "id", 3 }, { "name", QStringLiteral("丙") }, { "address", 12 }, { "tel2", "" } };
    QTest::newRow("shipper, no tel1, empty tel2, numeric address")
        << false << bare << 30 << bold + QStringLiteral("丙</b>    行业") << QString() << QStringList { "" };
    QTest::newRow("consignee, markup in the name shows as typed")
        << true << party(4, QStringLiteral("A&B<i>")) << 7 << bold + QStringLiteral("A&amp;B&lt;i&gt;</b>")
        << QStringLiteral("路1号") << QStringList { "13800138000" };
}

void TestPartyListActivity::rowTexts()
{
    QFETCH(bool, consignee);
    QFETCH(QJsonObject, record);
    QFETCH(int, number);
    QFETCH(QString, title);
    QFETCH(QString, address);
    QFETCH(QStringList, phones);

    PartyItem* row = addRow(consignee, record, number);
    const QString name = consignee ? QStringLiteral("ConsigneeItem") : QStringLiteral("ShipperItem");
    QCOMPARE(row->objectName(), name);
    QCOMPARE(row->height(), 80);
    QCOMPARE(row->property("stripe").toString(), number % 2 ? QStringLiteral("odd") : QStringLiteral("even"));
    QCOMPARE(row->lineMarkup(QStringLiteral("titleLabel")), title);
    QCOMPARE(row->lineMarkup(QStringLiteral("addressLabel")),
        QStringLiteral("<font color='#666666'>地址:</font>") + address);
    QCOMPARE(row->lineGeometry(QStringLiteral("contactLabel")), QRect(5, 53, 120, 20));
    // Once the list has given the row its width.
    QTRY_COMPARE(row->removeGeometry(), QRect(row->width() - 70, 30, 25, 25));
    QCOMPARE(row->arrowGeometry(), QRect(row->width() - 50, 33, 22, 22));

    QStringList shown;
    for (const char* name : { "phone1", "phone2" }) {
        if (auto* chip = row->findChild<QWidget*>(QLatin1String(name)))
            shown << chip->accessibleName();
    }
    QCOMPARE(shown, phones);
    // An empty number offers no call.
    for (const TelNumberWidget* chip : row->findChildren<TelNumberWidget*>())
        QCOMPARE(chip->isCallable(), !chip->accessibleName().isEmpty());
    // The chips' height is cut to 25, their width is what the contact's name
    // and whole number need; the second sits 5 pixels right of the first.
    const QWidget* phone1 = row->findChild<QWidget*>(QStringLiteral("phone1"));
    QCOMPARE(phone1->geometry(), QRect(130, 48, phone1->sizeHint().width(), 25));
    if (phones.size() == 2) {
        const QWidget* phone2 = row->findChild<QWidget*>(QStringLiteral("phone2"));
        QCOMPARE(phone2->geometry(), QRect(phone1->geometry().right() + 6, 48, phone2->sizeHint().width(), 25));
    }
}

void TestPartyListActivity::addResultReloadsOnce_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<bool>("saved");
    QTest::newRow("shipper saved") << false << true;
    QTest::newRow("consignee saved") << true << true;
    QTest::newRow("shipper left with 返回") << false << false;
}

void TestPartyListActivity::addResultReloadsOnce()
{
    QFETCH(bool, consignee);
    QFETCH(bool, saved);

    PartyListActivity* list = openBook(consignee);
    QVERIFY(list);
    QVERIFY(ScreenTestKit::clickButton(list, bookOf(consignee).actionText));
    QPointer<PartyActivity> form = topForm(consignee);
    QVERIFY(form);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), bookOf(consignee).actionText);

    if (saved) {
        const QByteArray key = consignee ? "consignee_id" : "shipper_id";
        kit.server.on(
            pathOf(consignee) + "add/", RecordingHttpServer::json(R"({"success":true,")" + key + R"(":"9"})"));
        for (const char* field : { "name", "address", "industry", "linkman", "tel1" }) {
            if (auto* edit = form->findChild<QLineEdit*>(QLatin1String(field) + QStringLiteral("Edit")))
                ScreenTestKit::typeText(edit, QStringLiteral("13812345678"));
        }
        kit.boxes->expect(QMessageBox::Ok);
        QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
        QVERIFY(kit.boxes->waitForAll());
    } else {
        QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("返回")));
    }
    QTRY_VERIFY(form.isNull());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo(pathOf(consignee)).size(), saved ? 2 : 1);
    QVERIFY(kit.requestsTo(pathOf(consignee)).last().target.endsWith("&page=1&name="));
    QTRY_COMPARE(rowsOf(list).size(), 3);
    QVERIFY(!list->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
}

void TestPartyListActivity::savedEditReachesTheRowAndItsForm()
{
    PartyListActivity* list = openBook(false);
    QVERIFY(list);
    PartyItem* row = rowsOf(list).at(1);
    // A double click (press, release, double-click, release) opens one form.
    const QPoint blank(400, 70);
    QTest::mouseClick(row, Qt::LeftButton, {}, blank);
    QTest::mouseDClick(row, Qt::LeftButton, {}, blank);
    QTest::mouseRelease(row, Qt::LeftButton, {}, blank);
    QPointer<PartyActivity> form = topForm(false);
    QVERIFY(form);
    QCOMPARE(window->controllerAt(2)->activities().size(), 2);
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("修改托运人"));
    QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("nameEdit"))->text(), QStringLiteral("客户2"));

    // From the save on, the platform holds the new name.
    const QJsonArray saved { party(1, QStringLiteral("客户1")), party(2, QStringLiteral("客户2新")),
        party(3, QStringLiteral("客户3")) };
    kit.server.on("/api/shipper/",
        RecordingHttpServer::json(
            R"({"success":true,"data":)" + QJsonDocument(saved).toJson(QJsonDocument::Compact) + "}"));
    kit.server.on("/api/shipper/2/edit/", RecordingHttpServer::json(R"({"success":true,"shipper_id":"2"})"));
    ScreenTestKit::typeText(form->findChild<QLineEdit*>(QStringLiteral("nameEdit")), QStringLiteral("新"));
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(form.isNull());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo("/api/shipper/").size(), 2);
    QTRY_COMPARE(rowsOf(list).size(), 3);
    QCOMPARE(rowsOf(list).at(1)->lineMarkup(QStringLiteral("titleLabel")),
        QStringLiteral("<b style='font-size:16px;color:#0099CC;'>客户2新</b>    化工行业"));

    // The form the row opens next holds the record as saved: a second edit
    // cannot undo the first.
    QTest::mouseClick(rowsOf(list).at(1), Qt::LeftButton, {}, blank);
    form = topForm(false);
    QVERIFY(form);
    QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("nameEdit"))->text(), QStringLiteral("客户2新"));
}

void TestPartyListActivity::deleteAsksFirst_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("boxes");

    // The question names the record ("b", the row's name).
    const QString shipperQuestion = QStringLiteral("提醒|确定要删除托运人 b 吗？");
    const QString consigneeQuestion = QStringLiteral("提醒|确定要删除收货人 b 吗？");
    QTest::newRow("No sends nothing") << false << false << QByteArray() << QStringList { shipperQuestion };
    QTest::newRow("Yes deletes") << true << true << QByteArray(R"({"success":true})")
                                 << QStringList { consigneeQuestion };
    QTest::newRow("refused") << false << true << QByteArray(R"({"success":false,"errors":"有未结业务"})")
                             << QStringList { shipperQuestion, QStringLiteral("抱歉|删除失败！\n有未结业务") };
}

void TestPartyListActivity::deleteAsksFirst()
{
    QFETCH(bool, consignee);
    QFETCH(bool, yes);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, boxes);

    const QByteArray path = pathOf(consignee) + "5/delete/";
    kit.server.on(path, RecordingHttpServer::json(reply));
    QPointer<PartyItem> other = addRow(consignee, party(4, "a"));
    QPointer<PartyItem> row = addRow(consignee, party(5, "b"), 2);
    for (int i = 0; i < boxes.size(); ++i)
        kit.boxes->expect(i > 0 ? QMessageBox::Ok : yes ? QMessageBox::Yes : QMessageBox::No);
    clickRemove(row);
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.boxes->seenTexts(), boxes);
    if (!yes) {
        QTest::mouseMove(host, QPoint(1, 1));
        QTRY_VERIFY(!row->findChild<QWidget*>(QStringLiteral("removeButton"))->isVisible());
    }

    const bool deleted = reply.contains("true");
    QCOMPARE(kit.requestsTo(path).size(), yes ? 1 : 0);
    if (yes)
        QCOMPARE(kit.requestsTo(path).first().target, path + sessionQuery.toUtf8());
    QTRY_COMPARE(row.isNull(), deleted);
    QVERIFY(other);
}

void TestPartyListActivity::twoDeletesEachAnswerTheirOwnRow()
{
    // The first delete is answered last.
    kit.server.on("/api/consignee/5/delete/", [](const RecordingHttpServer::Request&) {
        auto reply = RecordingHttpServer::json(R"({"success":true})");
        reply.gate = QStringLiteral("first");
        return reply;
    });
    kit.server.on("/api/consignee/6/delete/", RecordingHttpServer::json(R"({"success":false,"errors":"忙"})"));
    QPointer<PartyItem> first = addRow(true, party(5, "a"));
    QPointer<PartyItem> second = addRow(true, party(6, "b"), 2);

    kit.boxes->expect(QMessageBox::Yes);
    clickRemove(first);
    QVERIFY(kit.waitForRequests("/api/consignee/5/delete/"));
    kit.boxes->expect(QMessageBox::Yes);
    kit.boxes->expect(QMessageBox::Ok);
    clickRemove(second);
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts().last(), QStringLiteral("抱歉|删除失败！\n忙"));
    QVERIFY(first && second);

    kit.server.release(QStringLiteral("first"));
    QTRY_VERIFY(first.isNull());
    QVERIFY(ScreenTestKit::waitForIdle());
    QVERIFY(second);
    QCOMPARE(kit.boxes->seen().size(), 3);
}

void TestPartyListActivity::rowDeletedWhileItsQuestionIsOpen()
{
    PartyListActivity* list = openBook(false);
    QVERIFY(list);
    QPointer<PartyItem> row = rowsOf(list).first();
    // While the question is open the list reloads from the top, taking the
    // row with it; then Yes is pressed.
    kit.boxes->expectDialog([list](QWidget* box) {
        list->slot_scroller_top_bottom_reached(0);
        qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
    });
    clickRemove(row);
    QVERIFY(kit.boxes->waitForAll());
    QVERIFY(row.isNull());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(kit.requestsTo("/api/shipper/1/delete/").size(), 0);
    QCOMPARE(kit.requestsTo("/api/shipper/").size(), 2);
    QTRY_COMPARE(rowsOf(list).size(), 3);
}

void TestPartyListActivity::answersReachOnlyTheirAsker_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<QString>("title");
    QTest::newRow("shippers") << false << QStringLiteral("托运人管理");
    QTest::newRow("consignees") << true << QStringLiteral("收货人管理");
}

void TestPartyListActivity::answersReachOnlyTheirAsker()
{
    QFETCH(bool, consignee);
    QFETCH(QString, title);
    const auto fetch = consignee ? &API::fetchConsignee : &API::fetchShipper;

    PartyListActivity* list = openBook(consignee);
    QVERIFY(list);
    QCOMPARE(list->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), title);
    QCOMPARE(
        kit.requestsTo(pathOf(consignee)).first().target, pathOf(consignee) + sessionQuery.toUtf8() + "&page=1&name=");
    QCOMPARE(list->findChild<QWidget*>(QStringLiteral("ListContainer"))->height(), 240);

    // The packing screen's search fills its suggestions and leaves the list
    // alone.
    auto* packing = new PackActivity(1, QStringLiteral("粤B12345"), window->controllerAt(0));
    window->controllerAt(0)->startActivity(packing, true, false);
    window->slot_toolbar_button_click(0);
    ScreenTestKit::typeText(
        packing->findChild<QLineEdit*>(consignee ? QStringLiteral("consigneeEdit") : QStringLiteral("shipperEdit")),
        QStringLiteral("客"));
    QWidget* suggestions = nullptr;
    for (QWidget* w : packing->findChildren<QWidget*>()) {
        if (w->accessibleName()
            == (consignee ? QStringLiteral("consigneeSuggestions") : QStringLiteral("shipperSuggestions")))
            suggestions = w;
    }
    QVERIFY(suggestions);
    QTRY_COMPARE(suggestions->findChildren<SuggestionItem*>().size(), 3);
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(rowsOf(list).size(), 3);

    // Back on the book, an answer to a request that neither screen sent
    // reaches neither.
    window->slot_toolbar_button_click(bookOf(consignee).section);
    QSignalSpy answered(
        API::instance(), consignee ? &API::signal_fetch_consignee_finished : &API::signal_fetch_shipper_finished);
    (API::instance()->*fetch)(2, QString());
    QVERIFY(answered.wait());
    QVERIFY(ScreenTestKit::waitForIdle());
    QCOMPARE(rowsOf(list).size(), 3);
    QCOMPARE(suggestions->findChildren<SuggestionItem*>().size(), 3);
}

QTEST_MAIN(TestPartyListActivity)
#include "tst_partylistactivity.moc"
