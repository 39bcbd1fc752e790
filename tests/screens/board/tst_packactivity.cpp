// The packing screen against the recording server: its checks and the focus
// they move, the trade a save sends and the text it hands back, suggestions
// and their answers, adding a party on the spot, and forms open in two
// sections at once.
#include "screens/board/packactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "net/api.h"
#include "screens/parties/shipperactivity.h"
#include "shell/activitycontroller.h"
#include "widgets/suggestionitem.h"
#include "widgets/suggestionwidget.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>

namespace {

const QByteArray shipperPath("/api/shipper/");
const QByteArray consigneePath("/api/consignee/");
const QByteArray tradePath("/api/trade/add/");
const QByteArray shipperAddPath("/api/shipper/add/");

class RootStandIn : public BaseActivity
{
public:
    using BaseActivity::BaseActivity;
    void slot_action() override { }
};

// A screen that claims every shipper answer for itself when it is shown.
class SearchListStandIn : public RootStandIn
{
public:
    using RootStandIn::RootStandIn;
    int answers = 0;

protected:
    void showEvent(QShowEvent* event) override
    {
        RootStandIn::showEvent(event);
        disconnect(API::instance(), &API::signal_fetch_shipper_finished, nullptr, nullptr);
        connect(API::instance(), &API::signal_fetch_shipper_finished, this, [this] { ++answers; });
    }
};

QString nameIn(const RecordingHttpServer::Request& request)
{
    const QByteArray target = request.target;
    return QUrlQuery(QString::fromLatin1(target.mid(target.indexOf('?') + 1)))
        .queryItemValue(QStringLiteral("name"), QUrl::FullyDecoded);
}

QByteArray records(const QList<QPair<int, QString>>& list)
{
    QByteArray data;
    for (const auto& r : list)
        data += (data.isEmpty() ? "" : ",") + QByteArray(R"({"id":)") + QByteArray::number(r.first) + R"(,"name":")"
            + r.second.toUtf8() + "\"}";
    return R"({"success":true,"data":[)" + data + "]}";
}

} // namespace

class TestPackActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void formOffersItsFields();
    void checksRunInOrderAndMoveTheFocus_data();
    void checksRunInOrderAndMoveTheFocus();
    void saveSendsTheTradeAndHandsBackTheText();
    void refusedSaveKeepsEverythingAndSavesAgain();
    void lateSearchAnswerChangesNothing();
    void searchAnswersReachOnlyTheSearch();
    void failedSearchSaysSoAndAsksAgain();
    void addedPartyLandsInTheEdit_data();
    void addedPartyLandsInTheEdit();
    void twoOpenFormsHandleOnlyTheirOwnAnswers();
    void weightAndMoneyTakePlainDecimals_data();
    void weightAndMoneyTakePlainDecimals();
    void packsByKeyboardAlone();
    void overloadAsksFirst_data();
    void overloadAsksFirst();
    void backAsksOnlyForUnsavedChanges_data();
    void backAsksOnlyForUnsavedChanges();

private:
    template <typename T = QLineEdit> T* field(const char* name) const
    {
        return pack->findChild<T*>(QLatin1String(name));
    }
    SuggestionWidget* listOf(const QString& accessibleName) const;
    SuggestionItem* entry(SuggestionWidget* list, const QString& name) const;
    // Types `typed` into the edit and clicks `name` among the suggestions.
    void choose(const char* editName, const QString& typed, const QString& name);
    void chooseBoth();
    void save(const QString& expectedBox);
    // Types `text` where the focus is, following it ("\n" presses Return).
    static void typeAtFocus(const QString& text);
    static void keyAtFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    ScreenTestKit kit;
    QWidget* host = nullptr;
    ActivityController* home = nullptr;
    ActivityController* other = nullptr;
    QPointer<PackActivity> pack;
    QList<QVariant> results;
};

void TestPackActivity::init()
{
    kit.initTest();
    results.clear();
    kit.server.on(shipperPath, RecordingHttpServer::json(records({ { 11, "甲公司" }, { 12, "甲乙物流有限公司" } })));
    kit.server.on(consigneePath, RecordingHttpServer::json(records({ { 21, "丙" } })));
    host = new QWidget;
    host->resize(1200, 500);
    auto* row = new QHBoxLayout(host);
    home = new ActivityController;
    other = new ActivityController;
    row->addWidget(home);
    row->addWidget(other);
    home->startActivity(new RootStandIn, false, false);
    other->startActivity(new RootStandIn, false, false);
    host->show();
    host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host));
    pack = new PackActivity(5, QStringLiteral("京A12345"));
    home->startActivityForResult(pack, this, [this](const QVariant& data) { results << data; });
    QTRY_VERIFY(pack->isVisible());
    // Presses on a screen still sliding in are ignored.
    QTRY_VERIFY(!home->isSliding());
}

void TestPackActivity::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

SuggestionWidget* TestPackActivity::listOf(const QString& accessibleName) const
{
    for (SuggestionWidget* list : pack->findChildren<SuggestionWidget*>()) {
        if (list->accessibleName() == accessibleName)
            return list;
    }
    return nullptr;
}

SuggestionItem* TestPackActivity::entry(SuggestionWidget* list, const QString& name) const
{
    for (SuggestionItem* item : list->findChildren<SuggestionItem*>()) {
        if (item->text() == name)
            return item;
    }
    return nullptr;
}

void TestPackActivity::choose(const char* editName, const QString& typed, const QString& name)
{
    SuggestionWidget* list
        = listOf(QLatin1String(editName) == QLatin1String("shipperEdit") ? QStringLiteral("shipperSuggestions")
                                                                         : QStringLiteral("consigneeSuggestions"));
    ScreenTestKit::typeText(field(editName), typed);
    QTRY_VERIFY(entry(list, name));
    QTRY_VERIFY(list->isVisible());
    QTest::mouseClick(entry(list, name), Qt::LeftButton);
    QCOMPARE(field(editName)->text(), name);
}

void TestPackActivity::chooseBoth()
{
    choose("shipperEdit", QStringLiteral("甲"), QStringLiteral("甲乙物流有限公司"));
    choose("consigneeEdit", QStringLiteral("丙"), QStringLiteral("丙"));
}

void TestPackActivity::save(const QString& expectedBox)
{
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(pack, QStringLiteral("保存")));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts().last(), expectedBox);
}

void TestPackActivity::formOffersItsFields()
{
    QCOMPARE(pack->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("京A12345 配货"));
    auto* combo = field<QComboBox>("isAgencyCombo");
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->currentIndex(), 0);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(combo->itemText(i), (QStringList { QString(), QStringLiteral("否"), QStringLiteral("是") }).at(i));
        QCOMPARE(combo->itemData(i).toInt(), i - 1);
    }
    QCOMPARE(field("weightEdit")->placeholderText(), QStringLiteral("单位：吨"));
    for (const char* name : { "valueEdit", "revenueEdit", "payoutEdit" }) {
        QCOMPARE(field(name)->placeholderText(), QStringLiteral("单位：元"));
        // Taken as typed; the save judges it.
        ScreenTestKit::typeText(field(name), QStringLiteral("-1.5e3x"));
        QCOMPARE(field(name)->text(), QStringLiteral("-1.5e3x"));
    }
    QCOMPARE(listOf(QStringLiteral("shipperSuggestions"))->tag, 1);
    QCOMPARE(listOf(QStringLiteral("consigneeSuggestions"))->tag, 2);
}

void TestPackActivity::checksRunInOrderAndMoveTheFocus_data()
{
    QTest::addColumn<int>("chosen");
    QTest::addColumn<bool>("retypeShipper");
    QTest::addColumn<QStringList>("texts"); // line, goods, weight
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    const QStringList none { QString(), QString(), QString() };
    QTest::newRow("shipper") << 0 << false << QStringList { "l", "g", "1" } << "请选择托运人！"
                             << "shipperEdit";
    QTest::newRow("consignee") << 1 << false << none << "请选择收货人！"
                               << "consigneeEdit";
    QTest::newRow("shipper typed over after a choice") << 2 << true << QStringList { "l", "g", "1" } << "请选择托运人！"
                                                       << "shipperEdit";
    QTest::newRow("line of spaces") << 2 << false << QStringList { "  ", "g", "1" } << "请输入线路！"
                                    << "lineEdit";
    QTest::newRow("goods") << 2 << false << QStringList { "l", " ", "1" } << "请输入货物！"
                           << "goodsEdit";
    QTest::newRow("weight") << 2 << false << QStringList { "l", "g", "" } << "请输入重量！"
                            << "weightEdit";
}

void TestPackActivity::checksRunInOrderAndMoveTheFocus()
{
    QFETCH(int, chosen);
    QFETCH(bool, retypeShipper);
    QFETCH(QStringList, texts);
    QFETCH(QString, message);
    QFETCH(QString, focus);

    if (chosen >= 1)
        choose("shipperEdit", QStringLiteral("甲"), QStringLiteral("甲公司"));
    if (chosen >= 2)
        choose("consigneeEdit", QStringLiteral("丙"), QStringLiteral("丙"));
    if (retypeShipper)
        ScreenTestKit::typeText(field("shipperEdit"), QStringLiteral("乙"));
    const char* names[] = { "lineEdit", "goodsEdit", "weightEdit" };
    for (int i = 0; i < 3; ++i)
        ScreenTestKit::typeText(field(names[i]), texts.at(i));
    field<QPlainTextEdit>("notesEdit")->setFocus();
    save(QStringLiteral("提醒|") + message);
    QTRY_COMPARE(host->focusWidget(), static_cast<QWidget*>(pack->findChild<QWidget*>(focus)));
    QVERIFY(kit.requestsTo(tradePath).isEmpty());
}

void TestPackActivity::saveSendsTheTradeAndHandsBackTheText()
{
    kit.server.on(tradePath, RecordingHttpServer::json(R"({"success":true})"));
    chooseBoth();
    ScreenTestKit::typeText(field("lineEdit"), QStringLiteral(" 京-沪 "));
    ScreenTestKit::typeText(field("goodsEdit"), QStringLiteral(" 钢材 "));
    // Typed spaces stay, and the weight is sent as it stands.
    ScreenTestKit::typeText(field("weightEdit"), QStringLiteral(" 12.5 "));
    QCOMPARE(field("weightEdit")->text(), QStringLiteral(" 12.5 "));
    ScreenTestKit::typeText(field("revenueEdit"), QStringLiteral("300"));
    ScreenTestKit::typeText(field<QPlainTextEdit>("notesEdit"), QStringLiteral(" 轻放\n"));
    save(QStringLiteral("提醒|配货成功！"));
    QCOMPARE(kit.boxes->seen().last().icon, QMessageBox::Information);

    const QList<RecordingHttpServer::Request> sent = kit.requestsTo(tradePath);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().target, tradePath + "?token=tk1&user=7");
    QCOMPARE(sent.first().body,
        QByteArray("consignee=21&goods=%E9%92%A2%E6%9D%90&id=0&is_agency=-1&line=%20%E4%BA%AC-%E6%B2%AA%20&"
                   "notes=%E8%BD%BB%E6%94%BE&organ=3&payout=&revenue=300&shipper=12&truck=5&value=&"
                   "weight=%2012.5%20&"));
    // The whole chosen name, however long, makes the text.
    QCOMPARE(results, (QList<QVariant> { QStringLiteral("甲乙物流有限公司托运的钢材") }));
    QTRY_VERIFY(pack.isNull());
}

void TestPackActivity::refusedSaveKeepsEverythingAndSavesAgain()
{
    kit.server.on(tradePath, RecordingHttpServer::json(R"({"success":false,"errors":"车辆不存在！"})"));
    chooseBoth();
    ScreenTestKit::typeText(field("lineEdit"), QStringLiteral("l"));
    ScreenTestKit::typeText(field("goodsEdit"), QStringLiteral("g"));
    ScreenTestKit::typeText(field("weightEdit"), QStringLiteral("2"));
    field<QComboBox>("isAgencyCombo")->setCurrentIndex(2);
    save(QStringLiteral("抱歉|保存失败！\n车辆不存在！"));
    QVERIFY(!pack->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(field("shipperEdit")->text(), QStringLiteral("甲乙物流有限公司"));
    QCOMPARE(field("weightEdit")->text(), QStringLiteral("2"));
    save(QStringLiteral("抱歉|保存失败！\n车辆不存在！"));
    const QList<RecordingHttpServer::Request> sent = kit.requestsTo(tradePath);
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(0).body, sent.at(1).body);
    QVERIFY(sent.at(1).body.contains("&id=0&is_agency=1&"));
    QVERIFY(results.isEmpty());
}

void TestPackActivity::lateSearchAnswerChangesNothing()
{
    kit.server.on(shipperPath, [](const RecordingHttpServer::Request& request) {
        RecordingHttpServer::Reply reply = RecordingHttpServer::json(records({ { 1, nameIn(request) + "公司" } }));
        if (nameIn(request) == QStringLiteral("甲"))
            reply.gate = QStringLiteral("late search");
        return reply;
    });
    SuggestionWidget* list = listOf(QStringLiteral("shipperSuggestions"));
    ScreenTestKit::typeText(field("shipperEdit"), QStringLiteral("甲乙"));
    QVERIFY(kit.waitForRequests(shipperPath, 2));
    // The two searches may reach the server in either order.
    QStringList targets;
    for (const RecordingHttpServer::Request& r : kit.requestsTo(shipperPath))
        targets << QString::fromLatin1(r.target);
    QVERIFY(targets.contains(QString::fromLatin1(shipperPath + "?token=tk1&user=7&page=1&name=%E7%94%B2")));
    QTRY_VERIFY(entry(list, QStringLiteral("甲乙公司")));
    kit.server.release(QStringLiteral("late search"));
    QVERIFY(ScreenTestKit::waitForIdle());
    QVERIFY(entry(list, QStringLiteral("甲乙公司")));
    QCOMPARE(list->findChildren<SuggestionItem*>().size(), 1);
}

void TestPackActivity::searchAnswersReachOnlyTheSearch()
{
    kit.server.on(shipperPath, [](const RecordingHttpServer::Request&) {
        RecordingHttpServer::Reply reply = RecordingHttpServer::json(records({ { 1, "甲公司" } }));
        reply.gate = QStringLiteral("held");
        return reply;
    });
    ScreenTestKit::typeText(field("shipperEdit"), QStringLiteral("甲"));
    QVERIFY(kit.waitForRequests(shipperPath, 1));
    // A screen shown meanwhile claims every shipper answer for itself.
    auto* listScreen = new SearchListStandIn;
    other->startActivity(listScreen, false, false);
    QTRY_VERIFY(listScreen->isVisible());
    kit.server.release(QStringLiteral("held"));
    QTRY_COMPARE(listScreen->answers, 1);
    QTRY_VERIFY(entry(listOf(QStringLiteral("shipperSuggestions")), QStringLiteral("甲公司")));
}

void TestPackActivity::failedSearchSaysSoAndAsksAgain()
{
    kit.server.on(shipperPath, RecordingHttpServer::json(R"({"success":false,"errors":"连接管理平台失败！"})"));
    SuggestionWidget* list = listOf(QStringLiteral("shipperSuggestions"));
    ScreenTestKit::typeText(field("shipperEdit"), QStringLiteral("费县"));
    auto* failure = list->findChild<QWidget*>(QStringLiteral("SuggestionFailure"));
    QTRY_VERIFY(failure->isVisible());
    QCOMPARE(failure->findChild<QLabel*>(QStringLiteral("suggestionFailureText"))->text(),
        QStringLiteral("查询失败！\n连接管理平台失败！"));
    QVERIFY(list->findChildren<SuggestionItem*>().isEmpty());

    // The platform is back: one press asks for the same text again.
    kit.server.on(shipperPath, RecordingHttpServer::json(records({ { 3, "费县物流" } })));
    const int sent = kit.requestsTo(shipperPath).size();
    QTest::mouseClick(failure->findChild<QToolButton*>(QStringLiteral("suggestionRetryButton")), Qt::LeftButton);
    QTRY_VERIFY(entry(list, QStringLiteral("费县物流")));
    QVERIFY(!failure->isVisible());
    QCOMPARE(nameIn(kit.requestsTo(shipperPath).value(sent)), QStringLiteral("费县"));
}

void TestPackActivity::addedPartyLandsInTheEdit_data()
{
    QTest::addColumn<QByteArray>("editName");
    QTest::addColumn<QByteArray>("addPath");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("shipper") << QByteArray("shipperEdit") << shipperAddPath
                             << QByteArray(R"({"success":true,"shipper_id":77})");
    QTest::newRow("consignee") << QByteArray("consigneeEdit") << QByteArray("/api/consignee/add/")
                               << QByteArray(R"({"success":true,"consignee_id":77})");
}

void TestPackActivity::addedPartyLandsInTheEdit()
{
    QFETCH(QByteArray, editName);
    QFETCH(QByteArray, addPath);
    QFETCH(QByteArray, answer);
    kit.server.on(addPath, RecordingHttpServer::json(answer));
    const bool shipper = editName == "shipperEdit";
    QLineEdit* edit = field(editName.constData());
    SuggestionWidget* list
        = listOf(shipper ? QStringLiteral("shipperSuggestions") : QStringLiteral("consigneeSuggestions"));
    const auto addNew = [&]() -> BaseActivity* {
        ScreenTestKit::typeText(edit, QStringLiteral("新"));
        // A double press opens one form.
        QToolButton* button = list->findChild<QToolButton*>(QStringLiteral("Button"));
        QTest::mouseClick(button, Qt::LeftButton);
        if (button->isVisible())
            QTest::mouseDClick(button, Qt::LeftButton);
        return home->activities().size() == 3 ? qobject_cast<BaseActivity*>(home->topActivity()) : nullptr;
    };

    // Left with "返回", the form changes nothing.
    QPointer<BaseActivity> form = addNew();
    QVERIFY(form);
    // What was typed comes along as the new party's name.
    QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("nameEdit"))->text(), QStringLiteral("新"));
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("返回")));
    QTRY_VERIFY(form.isNull());
    QCOMPARE(edit->text(), QStringLiteral("新"));
    QCOMPARE(edit->property("id").toInt(), 0);

    form = addNew();
    QVERIFY(form);
    const QStringList keys = shipper ? QStringList { "name", "address", "industry", "linkman", "tel1" }
                                     : QStringList { "name", "address", "linkman", "tel1" };
    for (const QString& key : keys)
        ScreenTestKit::typeText(form->findChild<QLineEdit*>(key + "Edit"),
            key == QLatin1String("tel1") ? QStringLiteral("13812345678") : QStringLiteral("货运站1234567"));
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(form.isNull());
    QCOMPARE(edit->text(), QStringLiteral("新新货运站1234567"));
    QCOMPARE(edit->property("id").toInt(), 77);
    QVERIFY(results.isEmpty());
    QCOMPARE(home->topActivity(), static_cast<QWidget*>(pack.data()));
}

void TestPackActivity::twoOpenFormsHandleOnlyTheirOwnAnswers()
{
    // Each save is answered with an id made from its name, the first one
    // held back until the second has been answered.
    kit.server.on(shipperAddPath, [](const RecordingHttpServer::Request& request) {
        const bool first = request.body.contains("name=A&");
        RecordingHttpServer::Reply reply = RecordingHttpServer::json(
            first ? R"({"success":true,"shipper_id":501})" : R"({"success":true,"shipper_id":502})");
        if (first)
            reply.gate = QStringLiteral("two forms");
        return reply;
    });
    ScreenTestKit::typeText(field("shipperEdit"), QStringLiteral("x"));
    QTest::mouseClick(listOf(QStringLiteral("shipperSuggestions"))->findChild<QToolButton*>(QStringLiteral("Button")),
        Qt::LeftButton);
    QPointer<BaseActivity> overPack = qobject_cast<BaseActivity*>(home->topActivity());
    QPointer<BaseActivity> fromList = new ShipperActivity(nullptr);
    QVariant listResult;
    other->startActivityForResult(fromList, this, [&](const QVariant& data) { listResult = data; });

    const auto fillAndSave = [this](BaseActivity* form, const QString& name) {
        form->findChild<QLineEdit*>(QStringLiteral("nameEdit"))->clear();
        for (const QString key : { "name", "address", "industry", "linkman", "tel1" })
            ScreenTestKit::typeText(form->findChild<QLineEdit*>(key + "Edit"),
                key == "name"       ? name
                    : key == "tel1" ? QStringLiteral("13812345678")
                                    : QStringLiteral("1234567"));
        QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    };
    fillAndSave(overPack, QStringLiteral("A"));
    QVERIFY(kit.waitForRequests(shipperAddPath, 1));
    kit.boxes->expect(QMessageBox::Ok);
    fillAndSave(fromList, QStringLiteral("B"));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(fromList.isNull());
    QCOMPARE(listResult.toMap().value("shipper_id").toInt(), 502);
    QVERIFY(overPack);
    QVERIFY(overPack->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(field("shipperEdit")->property("id").toInt(), 0);

    kit.boxes->expect(QMessageBox::Ok);
    kit.server.release(QStringLiteral("two forms"));
    QVERIFY(kit.boxes->waitForAll());
    QTRY_VERIFY(overPack.isNull());
    QCOMPARE(field("shipperEdit")->text(), QStringLiteral("A"));
    QCOMPARE(field("shipperEdit")->property("id").toInt(), 501);
    QCOMPARE(listResult.toMap().value("shipper_id").toInt(), 502);
    QVERIFY(results.isEmpty());
}

void TestPackActivity::weightAndMoneyTakePlainDecimals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refusal");
    const QString weight = QStringLiteral("重量：应为大于0的数字（吨），最多3位小数，如 12.5。");
    const auto money = [](const char* caption) {
        return QString::fromUtf8(caption) + QStringLiteral("：应为数字（元），最多2位小数，如 5000 或 5000.50。");
    };
    QTest::newRow("weight 0") << "weightEdit"
                              << "0" << weight;
    QTest::newRow("weight 0.000") << "weightEdit"
                                  << "0.000" << weight;
    QTest::newRow("weight negative") << "weightEdit"
                                     << "-2" << weight;
    QTest::newRow("weight 12.125") << "weightEdit"
                                   << "12.125" << QString();
    QTest::newRow("value in 万") << "valueEdit"
                                 << "5万" << money("价值");
    QTest::newRow("value with a comma") << "valueEdit"
                                        << "5,000" << money("价值");
    QTest::newRow("value 0") << "valueEdit"
                             << "0" << QString();
    QTest::newRow("revenue with exponent") << "revenueEdit"
                                           << "1e3" << money("收入");
    QTest::newRow("revenue of three decimals") << "revenueEdit"
                                               << "300.125" << money("收入");
    QTest::newRow("payout 4800.50") << "payoutEdit"
                                    << "4800.50" << QString();
    QTest::newRow("payout with ¥") << "payoutEdit"
                                   << "¥300" << money("支出");
}

// What is typed stays in the field; a save refuses anything but a plain
// decimal, naming the field and the rule, with the focus on it.
void TestPackActivity::weightAndMoneyTakePlainDecimals()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, refusal);
    kit.server.on(tradePath, RecordingHttpServer::json(R"({"success":true})"));
    chooseBoth();
    ScreenTestKit::typeText(field("lineEdit"), QStringLiteral("l"));
    ScreenTestKit::typeText(field("goodsEdit"), QStringLiteral("g"));
    if (name != QLatin1String("weightEdit"))
        ScreenTestKit::typeText(field("weightEdit"), QStringLiteral("2"));
    ScreenTestKit::typeText(field(name.toLatin1().constData()), typed);
    QCOMPARE(field(name.toLatin1().constData())->text(), typed);
    field<QPlainTextEdit>("notesEdit")->setFocus();

    save(refusal.isEmpty() ? QStringLiteral("提醒|配货成功！") : QStringLiteral("提醒|") + refusal);
    if (refusal.isEmpty()) {
        QCOMPARE(kit.requestsTo(tradePath).size(), 1);
        return;
    }
    QTRY_COMPARE(host->focusWidget(), static_cast<QWidget*>(pack->findChild<QWidget*>(name)));
    QVERIFY(kit.requestsTo(tradePath).isEmpty());
}

void TestPackActivity::typeAtFocus(const QString& text)
{
    for (const QChar ch : text)
        ScreenTestKit::typeText(QApplication::focusWidget(), QString(ch));
}

void TestPackActivity::keyAtFocus(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

void TestPackActivity::packsByKeyboardAlone()
{
    kit.server.on(tradePath, RecordingHttpServer::json(R"({"success":true})"));
    SuggestionWidget* shippers = listOf(QStringLiteral("shipperSuggestions"));
    SuggestionWidget* consignees = listOf(QStringLiteral("consigneeSuggestions"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field("shipperEdit")));

    // The first Down marks the top name; Enter takes the marked one and
    // moves on.
    typeAtFocus(QStringLiteral("甲"));
    QTRY_VERIFY(entry(shippers, QStringLiteral("甲公司")));
    for (Qt::Key key : { Qt::Key_Down, Qt::Key_Down, Qt::Key_Up })
        keyAtFocus(key);
    QVERIFY(entry(shippers, QStringLiteral("甲公司"))->isHighlighted());
    keyAtFocus(Qt::Key_Return);
    QVERIFY(!shippers->isVisible());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field("consigneeEdit")));

    // Esc closes the list and leaves the screen; Down opens it again.
    typeAtFocus(QStringLiteral("丙"));
    QTRY_VERIFY(entry(consignees, QStringLiteral("丙")));
    keyAtFocus(Qt::Key_Escape);
    QVERIFY(!consignees->isVisible());
    QVERIFY(pack);
    keyAtFocus(Qt::Key_Down);
    QVERIFY(consignees->isVisible());
    keyAtFocus(Qt::Key_Return);

    typeAtFocus(QStringLiteral("京沪\n钢材\n12.5\n3000\n"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field<QComboBox>("isAgencyCombo")));
    keyAtFocus(Qt::Key_Down);
    keyAtFocus(Qt::Key_Tab);
    typeAtFocus(QStringLiteral("300\n200\n轻放"));
    kit.boxes->expect(QMessageBox::Ok);
    keyAtFocus(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(kit.boxes->waitForAll());

    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|配货成功！") });
    QCOMPARE(kit.requestsTo(tradePath).size(), 1);
    QCOMPARE(kit.requestsTo(tradePath).first().body,
        QByteArray("consignee=21&goods=%E9%92%A2%E6%9D%90&id=0&is_agency=0&line=%E4%BA%AC%E6%B2%AA&"
                   "notes=%E8%BD%BB%E6%94%BE&organ=3&payout=200&revenue=300&shipper=11&truck=5&value=3000&"
                   "weight=12.5&"));
    QCOMPARE(results, (QList<QVariant> { QStringLiteral("甲公司托运的钢材") }));
}

void TestPackActivity::overloadAsksFirst_data()
{
    QTest::addColumn<QString>("weight");
    QTest::addColumn<int>("answer"); // NoButton: no question; Cancel: Esc pressed
    QTest::addColumn<bool>("sent");
    QTest::newRow("up to the rated load") << "2" << int(QMessageBox::NoButton) << true;
    QTest::newRow("past it, Yes") << "2.5" << int(QMessageBox::Yes) << true;
    QTest::newRow("past it, No") << "2.5" << int(QMessageBox::No) << false;
    QTest::newRow("past it, Esc") << "2.5" << int(QMessageBox::Cancel) << false;
}

void TestPackActivity::overloadAsksFirst()
{
    QFETCH(QString, weight);
    QFETCH(int, answer);
    QFETCH(bool, sent);
    kit.server.on(tradePath, RecordingHttpServer::json(R"({"success":true})"));
    pack->setTruckLoad(18, 20);
    chooseBoth();
    ScreenTestKit::typeText(field("lineEdit"), QStringLiteral("l"));
    ScreenTestKit::typeText(field("goodsEdit"), QStringLiteral("g"));
    ScreenTestKit::typeText(field("weightEdit"), weight);
    field<QPlainTextEdit>("notesEdit")->setFocus();

    QStringList boxes;
    if (answer == QMessageBox::Cancel)
        kit.boxes->expectDialog([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    else if (answer != QMessageBox::NoButton)
        kit.boxes->expect(QMessageBox::StandardButton(answer));
    if (answer != QMessageBox::NoButton)
        boxes << QStringLiteral("超载提醒|配货后本车共载 20.5 吨，超过额定载重 20 吨。\n确定要配货吗？");
    if (sent) {
        kit.boxes->expect(QMessageBox::Ok);
        boxes << QStringLiteral("提醒|配货成功！");
    }
    QVERIFY(ScreenTestKit::clickButton(pack, QStringLiteral("保存")));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), boxes);
    QCOMPARE(kit.requestsTo(tradePath).size(), sent ? 1 : 0);
    if (!sent)
        QTRY_COMPARE(host->focusWidget(), static_cast<QWidget*>(field("weightEdit")));
}

void TestPackActivity::backAsksOnlyForUnsavedChanges_data()
{
    QTest::addColumn<bool>("byKey"); // Esc, else the "返回" button
    QTest::addColumn<QString>("typed"); // into the goods field
    QTest::addColumn<int>("answer"); // NoButton: no question
    QTest::addColumn<bool>("left");
    QTest::newRow("Esc, nothing changed") << true << QString() << int(QMessageBox::NoButton) << true;
    QTest::newRow("Esc, a change undone") << true << QStringLiteral("x\b") << int(QMessageBox::NoButton) << true;
    QTest::newRow("Esc, changed, No") << true << QStringLiteral("x") << int(QMessageBox::No) << false;
    QTest::newRow("button, changed, No") << false << QStringLiteral("x") << int(QMessageBox::No) << false;
    QTest::newRow("button, changed, Yes") << false << QStringLiteral("x") << int(QMessageBox::Yes) << true;
}

void TestPackActivity::backAsksOnlyForUnsavedChanges()
{
    QFETCH(bool, byKey);
    QFETCH(QString, typed);
    QFETCH(int, answer);
    QFETCH(bool, left);
    for (const QChar ch : typed) {
        if (ch == QLatin1Char('\b'))
            QTest::keyClick(field("goodsEdit"), Qt::Key_Backspace);
        else
            ScreenTestKit::typeText(field("goodsEdit"), QString(ch));
    }
    if (answer != QMessageBox::NoButton)
        kit.boxes->expect(QMessageBox::StandardButton(answer));
    if (byKey)
        QTest::keyClick(field("goodsEdit"), Qt::Key_Escape);
    else
        QVERIFY(ScreenTestKit::clickButton(pack, QStringLiteral("返回")));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(),
        answer == QMessageBox::NoButton ? QStringList() : QStringList { QStringLiteral("提醒|放弃未保存的修改吗？") });
    if (left) {
        QTRY_VERIFY(pack.isNull());
        QCOMPARE(results, QList<QVariant> { QVariant() });
    } else {
        QVERIFY(ScreenTestKit::waitForIdle());
        QVERIFY(pack);
        QCOMPARE(field("goodsEdit")->text(), typed);
    }
}

QTEST_MAIN(TestPackActivity)
#include "tst_packactivity.moc"
