// The truck form: its choices, what may be typed, the checks before a save,
// the bytes of a save, and what the answer does to the form.
#include "screens/truckactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "net/truckdict.h"
#include "shell/activitycontroller.h"

#include <QComboBox>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrl>

namespace {

const QByteArray addPath("/api/truck/add/");

void setDictionary()
{
    TruckDict* dict = TruckDict::instance();
    dict->setDrivingMode(QJsonObject { { "1", "前驱" }, { "2", "后驱" } });
    dict->setTonnage(QJsonObject { { "0", "重卡" }, { "1", "中卡" } });
    // "10" comes between "1" and "2" in the object's key order.
    dict->setPackingcaseMode(QJsonObject { { "1", "厢式" }, { "2", "平板" }, { "10", "高栏" } });
}

QByteArray encoded(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

} // namespace

class TestTruckActivity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kit.initSuite(); }
    void init();
    void cleanup();

    void choicesFollowTheDictionary();
    void checksStopAtTheFirstEmptyField_data();
    void checksStopAtTheFirstEmptyField();
    void emptyDictionaryTableStopsAtItsChoice_data();
    void emptyDictionaryTableStopsAtItsChoice();
    void editFillsByTextAndNumber();
    void savedFormSendsItsFieldsAndHandsBackOne_data();
    void savedFormSendsItsFieldsAndHandsBackOne();
    void validatorsLimitTyping_data();
    void validatorsLimitTyping();
    void refusedSaveKeepsTheForm();

private:
    // Starts the form on the controller with a result wanted; true once shown.
    bool open(const QJsonObject& record = QJsonObject());
    template <typename T> T* field(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }
    // Fills every field that a save requires.
    void fillRequired();
    void save();

    ScreenTestKit kit;
    ActivityController* controller = nullptr;
    TruckActivity* form = nullptr;
    QList<QVariant> results;
};

void TestTruckActivity::init()
{
    kit.initTest();
    setDictionary();
    results.clear();
    controller = new ActivityController;
    controller->resize(800, 500);
    controller->startActivity(new QWidget, false, false);
    controller->show();
    QVERIFY(QTest::qWaitForWindowExposed(controller));
}

void TestTruckActivity::cleanup()
{
    delete controller;
    controller = nullptr;
    form = nullptr;
    kit.cleanupTest();
}

bool TestTruckActivity::open(const QJsonObject& record)
{
    form = record.isEmpty() ? new TruckActivity : new TruckActivity(record);
    controller->startActivityForResult(form, this, [this](const QVariant& data) { results << data; });
    // The controller's layout shows the form on the next turn of the event loop.
    return QTest::qWaitFor([this] { return form->isVisible(); });
}

void TestTruckActivity::fillRequired()
{
    field<QLineEdit>("numberEdit")->setText(QStringLiteral("京A12345"));
    field<QComboBox>("driveChoice")->setCurrentIndex(1);
    field<QComboBox>("classChoice")->setCurrentIndex(1);
    field<QLineEdit>("tonnageEdit")->setText(QStringLiteral("20"));
    field<QComboBox>("boxChoice")->setCurrentIndex(1);
    field<QLineEdit>("driver1NameEdit")->setText(QStringLiteral("王建国"));
    field<QLineEdit>("driver1MobileEdit")->setText(QStringLiteral("17712345678"));
}

void TestTruckActivity::save()
{
    QVERIFY(ScreenTestKit::clickButton(form, QStringLiteral("保存")));
}

void TestTruckActivity::choicesFollowTheDictionary()
{
    QVERIFY(open());
    const auto items = [this](const char* name) {
        QStringList texts;
        auto* choice = field<QComboBox>(name);
        for (int i = 0; i < choice->count(); ++i)
            texts << choice->itemText(i) + QLatin1Char('=') + choice->itemData(i).toString();
        return texts;
    };
    QCOMPARE(items("driveChoice"), (QStringList { "=0", "前驱=1", "后驱=2" }));
    QCOMPARE(items("classChoice"), (QStringList { "=0", "重卡=0", "中卡=1" }));
    QCOMPARE(items("boxChoice"), (QStringList { "=0", "厢式=1", "高栏=10", "平板=2" }));
    QCOMPARE(field<QComboBox>("boxChoice")->itemData(2).type(), QVariant::Int);
}

void TestTruckActivity::checksStopAtTheFirstEmptyField_data()
{
    // The field left empty (or blank), its content, the warning.
    QTest::addColumn<QStringList>("check");
    QTest::newRow("number") << QStringList { "numberEdit", "   ", "请输入车牌号码！" };
    QTest::newRow("drive") << QStringList { "driveChoice", "", "请选择驱动形式！" };
    QTest::newRow("class") << QStringList { "classChoice", "", "请选择吨位级别！" };
    QTest::newRow("rated load") << QStringList { "tonnageEdit", "", "请输入额定载重！" };
    QTest::newRow("box type") << QStringList { "boxChoice", "", "请选择货箱形式！" };
    QTest::newRow("driver 1 name") << QStringList { "driver1NameEdit", " ", "请输入司机1姓名！" };
    QTest::newRow("driver 1 mobile") << QStringList { "driver1MobileEdit", "", "请输入司机1手机号码！" };
}

void TestTruckActivity::checksStopAtTheFirstEmptyField()
{
    QFETCH(QStringList, check);
    const QString emptied = check.at(0);
    const QString blank = check.at(1);
    const QString message = check.at(2);
    QVERIFY(open());
    fillRequired();
    // Everything after the emptied field is empty too: the first check wins.
    bool after = false;
    for (const char* name : { "numberEdit", "driveChoice", "classChoice", "tonnageEdit", "boxChoice", "driver1NameEdit",
             "driver1MobileEdit" }) {
        QWidget* w = form->findChild<QWidget*>(QLatin1String(name));
        if (after || emptied == QLatin1String(name)) {
            if (auto* edit = qobject_cast<QLineEdit*>(w))
                edit->setText(after ? QString() : blank);
            else
                qobject_cast<QComboBox*>(w)->setCurrentIndex(0);
            after = true;
        }
    }
    field<QPlainTextEdit>("notesEdit")->setFocus();
    kit.boxes->expect(QMessageBox::Ok);
    save();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|") + message });
    QCOMPARE(form->window()->focusWidget(), form->findChild<QWidget*>(emptied));
    QVERIFY(!form->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(kit.server.requestCount(), 0);
}

void TestTruckActivity::emptyDictionaryTableStopsAtItsChoice_data()
{
    QTest::addColumn<int>("emptyTable");
    QTest::addColumn<QString>("message");
    QTest::newRow("drive") << 0 << "请选择驱动形式！";
    QTest::newRow("class") << 1 << "请选择吨位级别！";
    QTest::newRow("box type") << 2 << "请选择货箱形式！";
}

void TestTruckActivity::emptyDictionaryTableStopsAtItsChoice()
{
    QFETCH(int, emptyTable);
    QFETCH(QString, message);
    TruckDict* dict = TruckDict::instance();
    if (emptyTable == 0)
        dict->setDrivingMode(QJsonObject());
    else if (emptyTable == 1)
        dict->setTonnage(QJsonObject());
    else
        dict->setPackingcaseMode(QJsonObject());
    QVERIFY(open());
    fillRequired();
    kit.boxes->expect(QMessageBox::Ok);
    save();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|") + message });
    QCOMPARE(kit.server.requestCount(), 0);
}

void TestTruckActivity::editFillsByTextAndNumber()
{
    QVERIFY(open(QJsonObject { { "id", 12 }, { "number", "沪B7788" }, { "driving_mode_text", "六驱" },
        { "tonnage_level_text", "中卡" }, { "tonnage", 20.5 }, { "packingcase_mode_text", "高栏" },
        { "packingcase_length", 9.6 }, { "packingcase_width", "2.3" }, { "packingcase_height", 2.5 },
        { "driver1_name", "李" }, { "driver1_mobile", "19812345678" }, { "company_tel", 5551234 },
        { "notes", "夜班\n车" } }));
    QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("修改货车资料"));
    QCOMPARE(field<QLineEdit>("numberEdit")->text(), QStringLiteral("沪B7788"));
    QCOMPARE(field<QComboBox>("driveChoice")->currentIndex(), 0);
    QCOMPARE(field<QComboBox>("classChoice")->currentText(), QStringLiteral("中卡"));
    QCOMPARE(field<QComboBox>("boxChoice")->currentData().toInt(), 10);
    QCOMPARE(field<QLineEdit>("tonnageEdit")->text(), QStringLiteral("20.5"));
    QCOMPARE(field<QLineEdit>("lengthEdit")->text(), QStringLiteral("9.6"));
    QCOMPARE(field<QLineEdit>("widthEdit")->text(), QStringLiteral("2.3"));
    QCOMPARE(field<QLineEdit>("heightEdit")->text(), QStringLiteral("2.5"));
    QCOMPARE(field<QLineEdit>("driver1MobileEdit")->text(), QStringLiteral("19812345678"));
    // A pure text read from a number shows nothing.
    QCOMPARE(field<QLineEdit>("companyTelEdit")->text(), QString());
    QCOMPARE(field<QPlainTextEdit>("notesEdit")->toPlainText(), QStringLiteral("夜班\n车"));

    // The drive that matched no entry has to be chosen before saving.
    kit.boxes->expect(QMessageBox::Ok);
    save();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|请选择驱动形式！") });
}

void TestTruckActivity::savedFormSendsItsFieldsAndHandsBackOne_data()
{
    QTest::addColumn<QJsonObject>("record");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("add") << QJsonObject() << addPath
                         << "company_name=" + encoded("顺达 & 物流")
            + "&company_tel=010123456&driver1_mobile=17712345678"
              "&driver1_name="
            + encoded("王建国")
            + "&driver2_mobile=16612345678&driver2_name=&driving_mode=2&id=0"
              "&notes="
            + encoded("冷链") + "&number=" + encoded("京A123")
            + "&organ=3&packingcase_height=2.5"
              "&packingcase_length=9.6&packingcase_mode=10&packingcase_width=2.3&photo1=&photo2=&tonnage=20"
              "&tonnage_level=1&";
    QTest::newRow("edit") << QJsonObject { { "id", 12 }, { "number", "沪B7788" }, { "driving_mode_text", "前驱" },
        { "tonnage_level_text", "重卡" }, { "tonnage", 20 }, { "packingcase_mode_text", "厢式" },
        { "driver1_name", "李" }, { "driver1_mobile", "19812345678" } }
                          << QByteArray("/api/truck/12/edit/")
                          << "company_name=&company_tel=&driver1_mobile=19812345678&driver1_name=" + encoded("李")
            + "&driver2_mobile=&driver2_name=&driving_mode=1&id=12&notes=&number=" + encoded("沪B7788")
            + "&organ=3&packingcase_height=&packingcase_length=&packingcase_mode=1&packingcase_width=&photo1=&photo2="
              "&tonnage=20&tonnage_level=0&";
}

void TestTruckActivity::savedFormSendsItsFieldsAndHandsBackOne()
{
    QFETCH(QJsonObject, record);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    kit.server.on(path, RecordingHttpServer::json(R"({"success":true})"));
    QVERIFY(open(record));
    if (record.isEmpty()) {
        QCOMPARE(form->findChild<QLabel*>(QStringLiteral("TitleLabel"))->text(), QStringLiteral("添加货车"));
        field<QLineEdit>("numberEdit")->setText(QStringLiteral(" 京A123 "));
        field<QComboBox>("driveChoice")->setCurrentIndex(2);
        field<QComboBox>("classChoice")->setCurrentIndex(2);
        ScreenTestKit::typeText(field<QLineEdit>("tonnageEdit"), QStringLiteral("20"));
        field<QComboBox>("boxChoice")->setCurrentIndex(2);
        ScreenTestKit::typeText(field<QLineEdit>("lengthEdit"), QStringLiteral("9.6"));
        ScreenTestKit::typeText(field<QLineEdit>("widthEdit"), QStringLiteral("2.3"));
        ScreenTestKit::typeText(field<QLineEdit>("heightEdit"), QStringLiteral("2.5"));
        ScreenTestKit::typeText(field<QLineEdit>("driver1NameEdit"), QStringLiteral(" 王建国"));
        ScreenTestKit::typeText(field<QLineEdit>("driver1MobileEdit"), QStringLiteral("17712345678"));
        ScreenTestKit::typeText(field<QLineEdit>("driver2MobileEdit"), QStringLiteral("16612345678"));
        ScreenTestKit::typeText(field<QLineEdit>("companyEdit"), QStringLiteral("顺达 & 物流"));
        ScreenTestKit::typeText(field<QLineEdit>("companyTelEdit"), QStringLiteral("010123456"));
        ScreenTestKit::typeText(field<QPlainTextEdit>("notesEdit"), QStringLiteral("冷链\n"));
    }
    kit.boxes->expect(QMessageBox::Ok);
    save();
    QVERIFY(form->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|保存成功！") });

    QCOMPARE(kit.server.requestCount(), 1);
    const RecordingHttpServer::Request sent = kit.server.lastRequest();
    QCOMPARE(sent.method, QByteArray("POST"));
    QCOMPARE(sent.target, path + "?token=tk1&user=7");
    QCOMPARE(sent.body, body);
    QCOMPARE(results, QList<QVariant> { QVariant(1) });
    QCOMPARE(results.first().type(), QVariant::Int);
    QTRY_COMPARE(controller->activities().size(), 1);
}

void TestTruckActivity::validatorsLimitTyping_data()
{
    // The field, what is typed, what it then shows.
    QTest::addColumn<QStringList>("typing");
    QTest::newRow("177 mobile") << QStringList { "driver1MobileEdit", "17712345678", "17712345678" };
    QTest::newRow("198 mobile, twelfth digit") << QStringList { "driver2MobileEdit", "198123456789", "19812345678" };
    QTest::newRow("mobile with 12") << QStringList { "driver1MobileEdit", "12", "1" };
    QTest::newRow("13-digit telephone") << QStringList { "companyTelEdit", "0101234567890", "010123456789" };
    QTest::newRow("telephone letters") << QStringList { "companyTelEdit", "010-12a", "01012" };
    QTest::newRow("box third decimal") << QStringList { "lengthEdit", "9.655", "9.65" };
    QTest::newRow("width above range") << QStringList { "widthEdit", "6", "6" };
    QTest::newRow("rated load any decimals") << QStringList { "tonnageEdit", "20.125", "20.125" };
    QTest::newRow("plate of seven") << QStringList { "numberEdit", "京A123456", "京A12345" };
}

void TestTruckActivity::validatorsLimitTyping()
{
    QFETCH(QStringList, typing);
    QVERIFY(open());
    auto* edit = form->findChild<QLineEdit*>(typing.at(0));
    ScreenTestKit::typeText(edit, typing.at(1));
    QCOMPARE(edit->text(), typing.at(2));
}

void TestTruckActivity::refusedSaveKeepsTheForm()
{
    kit.server.on(addPath, RecordingHttpServer::json(R"({"success":false,"errors":"车牌号码京A12345已存在！"})"));
    QVERIFY(open());
    fillRequired();
    kit.boxes->expect(QMessageBox::Ok);
    save();
    QVERIFY(kit.boxes->waitForAll());
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("抱歉|保存失败！\n车牌号码京A12345已存在！") });
    QVERIFY(!form->findChild<QWidget*>(QStringLiteral("LoadingOverlay"))->isVisible());
    QCOMPARE(controller->topActivity(), form);
    QCOMPARE(field<QLineEdit>("numberEdit")->text(), QStringLiteral("京A12345"));
    QVERIFY(results.isEmpty());
}

QTEST_MAIN(TestTruckActivity)
#include "tst_truckactivity.moc"
