// The truck form: its choices, what may be typed, the checks before a save,
// the bytes of a save, and what the answer does to the form.
#include "screens/trucks/truckactivity.h"

#include "support/messageboxanswerer.h"
#include "support/screentestkit.h"

#include "net/truckdict.h"
#include "shell/activitycontroller.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHash>
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
    void typedTextStaysAndTheSaveNamesTheRule_data();
    void typedTextStaysAndTheSaveNamesTheRule();
    void refusedSaveKeepsTheForm();
    void highlightedChoiceStaysLegible_data();
    void highlightedChoiceStaysLegible();

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
            + "&company_tel=01012345678&driver1_mobile=17712345678"
              "&driver1_name="
            + encoded("王建国")
            + "&driver2_mobile=16612345678&driver2_name=&driving_mode=2&id=0"
              "&notes="
            + encoded("冷链") + "&number=" + encoded("京AD12345")
            + "&organ=3&packingcase_height=2.5"
              "&packingcase_length=9.6&packingcase_mode=10&packingcase_width=2.3&photo1=&photo2=&tonnage=20"
              "&tonnage_level=1&";
    QTest::newRow("edit") << QJsonObject { { "id", 12 }, { "number", "沪B77889" }, { "driving_mode_text", "前驱" },
        { "tonnage_level_text", "重卡" }, { "tonnage", 20 }, { "packingcase_mode_text", "厢式" },
        { "driver1_name", "李" }, { "driver1_mobile", "19812345678" } }
                          << QByteArray("/api/truck/12/edit/")
                          << "company_name=&company_tel=&driver1_mobile=19812345678&driver1_name=" + encoded("李")
            + "&driver2_mobile=&driver2_name=&driving_mode=1&id=12&notes=&number=" + encoded("沪B77889")
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
        field<QLineEdit>("numberEdit")->setText(QStringLiteral(" 京AD12345 "));
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
        ScreenTestKit::typeText(field<QLineEdit>("companyTelEdit"), QStringLiteral("01012345678"));
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

void TestTruckActivity::typedTextStaysAndTheSaveNamesTheRule_data()
{
    // The field, what is typed, and the save's refusal (none: it is sent).
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refusal");
    const QString mobile = QStringLiteral("手机号码应为11位数字，以13至19开头。");
    const QString phone = QStringLiteral("应为11位手机号码，或以0开头的区号加7至8位号码。");
    QTest::newRow("second mobile starting 12") << "driver2MobileEdit"
                                               << "12345678901"
                                               << "司机2手机：" + mobile;
    QTest::newRow("second mobile, twelve digits") << "driver2MobileEdit"
                                                  << "198123456789"
                                                  << "司机2手机：" + mobile;
    QTest::newRow("mobile cut short") << "driver1MobileEdit"
                                      << "1771234"
                                      << "司机1手机：" + mobile;
    QTest::newRow("nine-digit telephone") << "companyTelEdit"
                                          << "010123456"
                                          << "公司电话：" + phone;
    QTest::newRow("telephone with a dash") << "companyTelEdit"
                                           << "010-12345678"
                                           << "公司电话：" + phone;
    QTest::newRow("telephone with area code") << "companyTelEdit"
                                              << "053912345678"
                                              << "";
    QTest::newRow("new-energy plate") << "numberEdit"
                                      << "鲁QD12345"
                                      << "";
    QTest::newRow("plate of nine") << "numberEdit"
                                   << "京A1234567"
                                   << "车牌号码：应为7位，新能源车牌为8位。";
    QTest::newRow("rated load 0") << "tonnageEdit"
                                  << "0"
                                  << "额定载重：应为大于0、不超过1000的数字（吨），最多2位小数。";
    QTest::newRow("rated load with exponent") << "tonnageEdit"
                                              << "1e3"
                                              << "额定载重：应为大于0、不超过1000的数字（吨），最多2位小数。";
    QTest::newRow("box third decimal") << "lengthEdit"
                                       << "9.655"
                                       << "货箱长度：应为大于0、不超过100的数字（米），最多2位小数。";
    QTest::newRow("width above range") << "widthEdit"
                                       << "6"
                                       << "货箱宽度：应为大于0、不超过5的数字（米），最多2位小数。";
    QTest::newRow("driver name of 21") << "driver2NameEdit" << QString(21, QChar(u'王'))
                                       << "司机2姓名：最多20个字，现在有21个字。";
}

// A field takes what is typed, marks what breaks its rule, and the save
// refuses it naming the field and the rule, with the focus on it.
void TestTruckActivity::typedTextStaysAndTheSaveNamesTheRule()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, refusal);
    kit.server.on(addPath, RecordingHttpServer::json(R"({"success":true})"));
    QVERIFY(open());
    fillRequired();
    auto* edit = form->findChild<QLineEdit*>(name);
    edit->clear();
    ScreenTestKit::typeText(edit, typed);
    QCOMPARE(edit->text(), typed);
    QCOMPARE(edit->property("invalid").toBool(), !refusal.isEmpty());
    QCOMPARE(edit->toolTip(), refusal);
    field<QPlainTextEdit>("notesEdit")->setFocus();

    kit.boxes->expect(QMessageBox::Ok);
    save();
    QVERIFY(kit.boxes->waitForAll());
    if (refusal.isEmpty()) {
        QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|保存成功！") });
        QCOMPARE(kit.boxes->seen().first().icon, QMessageBox::Information);
        QCOMPARE(kit.requestsTo(addPath).size(), 1);
        QVERIFY(kit.server.lastRequest().body.contains("=" + QUrl::toPercentEncoding(typed) + "&"));
        return;
    }
    QCOMPARE(kit.boxes->seenTexts(), QStringList { QStringLiteral("提醒|") + refusal });
    QTRY_COMPARE(form->focusWidget(), static_cast<QWidget*>(edit));
    QCOMPARE(edit->text(), typed);
    QCOMPARE(kit.server.requestCount(), 0);
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

void TestTruckActivity::highlightedChoiceStaysLegible_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("row");
    QTest::newRow("drive, first entry") << "driveChoice" << 1;
    QTest::newRow("class, second entry") << "classChoice" << 2;
    QTest::newRow("box, the empty entry's neighbour") << "boxChoice" << 1;
}

// The entry under the pointer in an open drop-down list still shows its text.
void TestTruckActivity::highlightedChoiceStaysLegible()
{
    QFETCH(QString, choice);
    QFETCH(int, row);
    QVERIFY(open());
    auto* box = field<QComboBox>(choice.toLatin1().constData());
    box->showPopup();
    QAbstractItemView* view = box->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(view->model()->index(row, 0));
    QTest::mouseMove(view->viewport(), item.center());
    QTRY_COMPARE(view->currentIndex().row(), row);
    const QImage shown = view->viewport()->grab().toImage();

    // The highlight's own colour is the one most of the entry shows; the
    // text is whatever stands out from it, clearly.
    QHash<QRgb, int> counts;
    for (int y = item.top(); y <= item.bottom(); ++y)
        for (int x = item.left(); x <= item.right(); ++x)
            ++counts[shown.pixel(x, y)];
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(background))
            background = it.key();
    int text = 0;
    for (int y = item.top(); y <= item.bottom(); ++y)
        for (int x = item.left(); x <= item.right(); ++x)
            text += qAbs(qGray(shown.pixel(x, y)) - qGray(background)) > 80 ? 1 : 0;
    QVERIFY2(text > 15, qPrintable(QStringLiteral("%1 text pixels on %2").arg(text).arg(QColor(background).name())));
    box->hidePopup();
}

QTEST_MAIN(TestTruckActivity)
#include "tst_truckactivity.moc"
