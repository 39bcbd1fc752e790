// The shipper and consignee forms: the checks with the focus they move, the
// bytes a save sends, the result map handed to the opener, edit mode and the
// phone fields.
#include "screens/parties/consigneeactivity.h"
#include "screens/parties/shipperactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "shell/activitycontroller.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>

namespace {

class RootStandIn : public BaseActivity
{
public:
    using BaseActivity::BaseActivity;
    void slot_action() override { }
};

using Texts = QMap<QString, QString>;

} // namespace

class TestPartyActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void checksRunInOrderAndMoveTheFocus_data();
    void checksRunInOrderAndMoveTheFocus();
    void savedFormHandsBackIdAndName_data();
    void savedFormHandsBackIdAndName();
    void editModeStartsFromTheRecord();
    void refusedSaveKeepsTheInputAndSavesAgain();
    void typedTextStaysAndTheSaveNamesTheRule_data();
    void typedTextStaysAndTheSaveNamesTheRule();

private:
    PartyActivity* open(bool consignee, QJsonObject* record = nullptr);
    QLineEdit* edit(const QString& key) const { return form->findChild<QLineEdit*>(key + QStringLiteral("Edit")); }
    void fill(const Texts& texts);
    void save(const QString& expectedBox);

    ScreenTestKit kit;
    QWidget* host = nullptr;
    ActivityController* controller = nullptr;
    QPointer<PartyActivity> form;
    QList<QVariant> results;
};

void TestPartyActivity::init()
{
    kit.initTest();
    results.clear();
    host = new QWidget;
    host->resize(800, 450);
    controller = new ActivityController(host);
    (new QVBoxLayout(host))->addWidget(controller);
    controller->startActivity(new RootStandIn, false, false);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));
}

void TestPartyActivity::cleanup()
{
    delete host;
    host = nullptr;
    kit.cleanupTest();
}

PartyActivity* TestPartyActivity::open(bool consignee, QJsonObject* record)
{
    if (consignee)
        form = record ? new ConsigneeActivity(record, nullptr) : new ConsigneeActivity(nullptr);
    else
        form = record ? new ShipperActivity(record, nullptr) : new ShipperActivity(nullptr);
    controller->startActivityForResult(form, this, [this](const QVariant& data) { results << data; });
    return form;
}

void TestPartyActivity::fill(const Texts& texts)
{
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        if (it.key() == QLatin1String("notes"))
            ScreenTestKit::typeText(form->findChild<QPlainTextEdit*>(QStringLiteral("notesEdit")), it.value());
        else
            ScreenTestKit::typeText(edit(it.key()), it.value());
    }
}

void TestPartyActivity::save(const QString& expectedBox)
{
    kit.boxes->expect(QMessageBox::Ok);
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts().last(), expectedBox);
}

void TestPartyActivity::checksRunInOrderAndMoveTheFocus_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    const QString sp = QStringLiteral("  ");
    QTest::newRow("shipper: nothing") << false << Texts {} << QStringLiteral("请输入名称！") << "name";
    QTest::newRow("shipper: name of spaces")
        << false << Texts { { "name", sp }, { "address", "a" } } << QStringLiteral("请输入名称！") << "name";
    QTest::newRow("shipper: address") << false << Texts { { "name", "n" }, { "industry", "i" } }
                                      << QStringLiteral("请输入地址！") << "address";
    QTest::newRow("shipper: industry") << false << Texts { { "name", "n" }, { "address", "a" }, { "linkman", "l" } }
                                       << QStringLiteral("请输入行业！") << "industry";
    QTest::newRow("shipper: linkman") << false
                                      << Texts { { "name", "n" }, { "address", "a" }, { "industry", "i" },
                                             { "tel1", "1234567" } }
                                      << QStringLiteral("请输入联系人姓名！") << "linkman";
    QTest::newRow("shipper: phones") << false
                                     << Texts { { "name", "n" }, { "address", "a" }, { "industry", "i" },
                                            { "linkman", "l" } }
                                     << QStringLiteral("请至少输入一个联系电话！") << "tel1";
    QTest::newRow("consignee: linkman right after address")
        << true << Texts { { "name", "n" }, { "address", "a" } } << QStringLiteral("请输入联系人姓名！") << "linkman";
    QTest::newRow("consignee: phones") << true << Texts { { "name", "n" }, { "address", "a" }, { "linkman", "l" } }
                                       << QStringLiteral("请至少输入一个联系电话！") << "tel1";
}

void TestPartyActivity::checksRunInOrderAndMoveTheFocus()
{
    QFETCH(bool, consignee);
    QFETCH(Texts, texts);
    QFETCH(QString, message);
    QFETCH(QString, focus);

    open(consignee);
    QCOMPARE(edit(QStringLiteral("industry")) != nullptr, !consignee);
    fill(texts);
    form->findChild<QPlainTextEdit*>(QStringLiteral("notesEdit"))->setFocus();
    save(QStringLiteral("提醒|") + message);
    QCOMPARE(kit.boxes->seen().last().icon, QMessageBox::Warning);
    QTRY_COMPARE(host->focusWidget(), static_cast<QWidget*>(edit(focus)));
    QCOMPARE(kit.server.requestCount(), 0);
}

void TestPartyActivity::savedFormHandsBackIdAndName_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QMessageBox::Icon>("icon");

    QTest::newRow("shipper added")
        << false << false << QByteArray("/api/shipper/add/")
        << QByteArray("address=%E8%B7%AF1%E5%8F%B7&id=0&industry=%E5%8C%96%E5%B7%A5&linkman=%E7%8E%8B&"
                      "name=%E7%94%B2%20%E5%85%AC%E5%8F%B8&notes=%E5%A4%9C&organ=3&tel1=&tel2=053912345678&")
        << QMessageBox::Information;
    QTest::newRow("consignee edited")
        << true << true << QByteArray("/api/consignee/42/edit/")
        << QByteArray("address=%E8%B7%AF1%E5%8F%B7&id=42&linkman=%E7%8E%8B&"
                      "name=%E7%94%B2%20%E5%85%AC%E5%8F%B8&notes=%E5%A4%9C&organ=3&tel1=&tel2=053912345678&")
        << QMessageBox::Information;
}

void TestPartyActivity::savedFormHandsBackIdAndName()
{
    QFETCH(bool, consignee);
    QFETCH(bool, editing);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(QMessageBox::Icon, icon);

    const QString key = consignee ? QStringLiteral("consignee_id") : QStringLiteral("shipper_id");
    kit.server.on(path, RecordingHttpServer::json(R"({"success":true,")" + key.toUtf8() + R"(":"42"})"));
    QJsonObject record { { "id", 42 } };
    open(consignee, editing ? &record : nullptr);
    // Spaces around every text go; the name is handed back as shown.
    fill({ { "name", QStringLiteral(" 甲 公司 ") }, { "address", QStringLiteral("路1号 ") }, { "linkman", "王" },
        { "tel2", QStringLiteral("053912345678") }, { "notes", QStringLiteral("\n夜 ") } });
    if (!consignee)
        fill({ { "industry", QStringLiteral("化工") } });
    save(QStringLiteral("提醒|保存成功！"));
    QCOMPARE(kit.boxes->seen().last().icon, icon);

    const QList<RecordingHttpServer::Request> sent = kit.requestsTo(path);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().target, path + "?token=tk1&user=7");
    QCOMPARE(sent.first().body, body);
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.first().toMap(), (QVariantMap { { key, 42 }, { "name", QStringLiteral(" 甲 公司 ") } }));
    QTRY_VERIFY(form.isNull());
    QCOMPARE(controller->activities().size(), 1);
}

void TestPartyActivity::editModeStartsFromTheRecord()
{
    QJsonObject record { { "id", "9" }, { "name", QStringLiteral("乙") }, { "address", 12 }, { "tel1", "0101234567" },
        { "notes", QStringLiteral("备") } };
    for (bool consignee : { false, true }) {
        open(consignee, &record);
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(),
            consignee ? QStringLiteral("修改收货人资料") : QStringLiteral("修改托运人"));
        QCOMPARE(edit(QStringLiteral("name"))->text(), QStringLiteral("乙"));
        QCOMPARE(edit(QStringLiteral("tel1"))->text(), QStringLiteral("0101234567"));
        QCOMPARE(form->findChild<QPlainTextEdit*>(QStringLiteral("notesEdit"))->toPlainText(), QStringLiteral("备"));
        // A number and a missing key both start empty.
        QVERIFY(edit(QStringLiteral("address"))->text().isEmpty());
        QVERIFY(edit(QStringLiteral("linkman"))->text().isEmpty());
        QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("返回")));
        QTRY_VERIFY(form.isNull());
    }
    QCOMPARE(results, (QList<QVariant> { QVariant(), QVariant() }));
}

void TestPartyActivity::refusedSaveKeepsTheInputAndSavesAgain()
{
    const QByteArray path("/api/consignee/add/");
    kit.server.on(path, RecordingHttpServer::json(R"({"success":false,"errors":"名称已存在！"})"));
    open(true);
    fill({ { "name", "n" }, { "address", "a" }, { "linkman", "l" }, { "tel1", "13812345678" } });
    save(QStringLiteral("抱歉|保存失败！\n名称已存在！"));
    QVERIFY(!form->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(edit(QStringLiteral("name"))->text(), QStringLiteral("n"));
    save(QStringLiteral("抱歉|保存失败！\n名称已存在！"));
    const QList<RecordingHttpServer::Request> sent = kit.requestsTo(path);
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(0).body, sent.at(1).body);
    QVERIFY(sent.at(1).body.contains("&id=0&"));
    QVERIFY(results.isEmpty());
    QCOMPARE(controller->topActivity(), static_cast<QWidget*>(form.data()));
}

void TestPartyActivity::typedTextStaysAndTheSaveNamesTheRule_data()
{
    QTest::addColumn<bool>("consignee");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refusal");
    const QString phone = QStringLiteral("应为11位手机号码，或以0开头的区号加7至8位号码。");
    QTest::newRow("name of 210") << false << "name" << QString(210, QChar(u'名'))
                                 << QStringLiteral("名称：最多200个字，现在有210个字。");
    QTest::newRow("name of 200") << true << "name" << QString(200, QChar(u'名')) << QString();
    QTest::newRow("linkman of 21") << true << "linkman" << QString(21, QChar(u'李'))
                                   << QStringLiteral("联系人：最多20个字，现在有21个字。");
    QTest::newRow("nine-digit landline") << false << "tel1"
                                         << "053912345" << QStringLiteral("联系电话1：") + phone;
    QTest::newRow("landline without area code") << true << "tel2"
                                                << "81234567" << QStringLiteral("联系电话2：") + phone;
    QTest::newRow("letters and signs") << false << "tel2"
                                       << "0539-812a3456" << QStringLiteral("联系电话2：") + phone;
    QTest::newRow("mobile") << true << "tel1"
                            << "13800138000" << QString();
    QTest::newRow("landline, 3-digit area code") << false << "tel1"
                                                 << "053981234567" << QString();
    QTest::newRow("landline, 2-digit area code") << true << "tel2"
                                                 << "01012345678" << QString();
}

// A field takes what is typed or pasted whole; the save refuses a broken
// rule naming the field and the rule, with the focus on the field.
void TestPartyActivity::typedTextStaysAndTheSaveNamesTheRule()
{
    QFETCH(bool, consignee);
    QFETCH(QString, key);
    QFETCH(QString, typed);
    QFETCH(QString, refusal);
    const QByteArray path = consignee ? QByteArray("/api/consignee/add/") : QByteArray("/api/shipper/add/");
    kit.server.on(path, RecordingHttpServer::json(R"({"success":true,"shipper_id":5,"consignee_id":5})"));
    open(consignee);
    fill({ { "name", "n" }, { "address", "a" }, { "linkman", "l" }, { "tel1", "13812345678" } });
    if (!consignee)
        fill({ { "industry", QStringLiteral("化工") } });
    edit(key)->clear();
    // Pasted in one go, as a long name would be.
    QApplication::clipboard()->setText(typed);
    edit(key)->setFocus();
    edit(key)->paste();
    QCOMPARE(edit(key)->text(), typed);
    QCOMPARE(edit(key)->property("invalid").toBool(), !refusal.isEmpty());
    form->findChild<QPlainTextEdit*>(QStringLiteral("notesEdit"))->setFocus();

    save(refusal.isEmpty() ? QStringLiteral("提醒|保存成功！") : QStringLiteral("提醒|") + refusal);
    if (refusal.isEmpty()) {
        QCOMPARE(kit.requestsTo(path).size(), 1);
        QVERIFY(kit.requestsTo(path).first().body.contains(key.toUtf8() + "=" + QUrl::toPercentEncoding(typed) + "&"));
        return;
    }
    QTRY_COMPARE(host->focusWidget(), static_cast<QWidget*>(edit(key)));
    QCOMPARE(edit(key)->text(), typed);
    QCOMPARE(kit.server.requestCount(), 0);
}

QTEST_MAIN(TestPartyActivity)
#include "tst_partyactivity.moc"
