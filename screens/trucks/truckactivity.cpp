#include "screens/trucks/truckactivity.h"

#include "net/api.h"
#include "net/truckdict.h"
#include "screens/trades/historydialog.h"
#include "widgets/fieldcheck.h"
#include "widgets/guardedmessagebox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QJsonObject>
#include <QJsonValue>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// An empty item (data 0), then one item per entry of `table` in its key
// order: the entry's text, with its key as an integer for data.
void fillChoice(QComboBox* choice, const QJsonObject& table)
{
    choice->addItem(QString(), 0);
    for (auto entry = table.constBegin(); entry != table.constEnd(); ++entry)
        choice->addItem(entry.value().toVariant().toString(), entry.key().toInt(nullptr, 10));
}

QString choiceCode(const QComboBox* choice)
{
    return QString::number(choice->currentData(Qt::UserRole).toInt());
}

} // namespace

TruckActivity::TruckActivity(QWidget* parent)
    : BaseActivity(parent)
{
    setObjectName(QStringLiteral("TruckActivity"));
    setTitle(QStringLiteral("添加货车"));
    showBackButton();
    setActionButton(QStringLiteral("保存"), this);
    buildForm();
}

TruckActivity::TruckActivity(const QJsonObject& truck, QWidget* parent)
    : TruckActivity(parent)
{
    setTitle(QStringLiteral("修改货车资料"));
    truckId = truck.value(QLatin1String("id")).toVariant().toInt();
    HistoryDialog::addButton(this, headerLayout, actionButton, RecordKind::Truck, truckId);
    fill(truck);
}

void TruckActivity::buildForm()
{
    formLayout = addFormGrid();

    const auto lineEdit = [this](const char* name) {
        auto* edit = new QLineEdit(bodyWidget);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    const auto choice = [this](const char* name, const QJsonObject& table) {
        auto* box = new QComboBox(bodyWidget);
        box->setObjectName(QLatin1String(name));
        fillChoice(box, table);
        return box;
    };

    TruckDict* dict = TruckDict::instance();
    // The fields take what is typed; what breaks a rule is marked on the
    // field and refused by the save (FieldCheck).
    const auto check = [this](QLineEdit* edit, const QString& caption) {
        auto* rule = new FieldCheck(edit, caption);
        checks.append(rule);
        return rule;
    };
    numberEdit = lineEdit("numberEdit");
    // Seven characters, or eight on a new-energy plate.
    check(numberEdit, QStringLiteral("车牌号码"))
        ->pattern(QStringLiteral("^\\S{7,8}$"), QStringLiteral("应为7位，新能源车牌为8位。"));
    driveChoice = choice("driveChoice", dict->drivingMode());
    classChoice = choice("classChoice", dict->tonnage());
    tonnageEdit = lineEdit("tonnageEdit");
    tonnageEdit->setPlaceholderText(QStringLiteral("单位：吨"));
    check(tonnageEdit, QStringLiteral("额定载重"))
        ->decimal(0, false, 1000, 2, QStringLiteral("应为大于0、不超过1000的数字（吨），最多2位小数。"));
    boxChoice = choice("boxChoice", dict->packingcaseMode());
    lengthEdit = lineEdit("lengthEdit");
    widthEdit = lineEdit("widthEdit");
    heightEdit = lineEdit("heightEdit");
    const auto size = [&](QLineEdit* edit, const QString& caption, int longest) {
        edit->setPlaceholderText(QStringLiteral("单位：米"));
        check(edit, caption)
            ->decimal(
                0, false, longest, 2, QStringLiteral("应为大于0、不超过%1的数字（米），最多2位小数。").arg(longest));
    };
    size(lengthEdit, QStringLiteral("货箱长度"), 100);
    size(widthEdit, QStringLiteral("货箱宽度"), 5);
    size(heightEdit, QStringLiteral("货箱高度"), 5);

    const QString mobileRule = QStringLiteral("手机号码应为11位数字，以13至19开头。");
    driver1NameEdit = lineEdit("driver1NameEdit");
    check(driver1NameEdit, QStringLiteral("司机1姓名"))->maxLength(20);
    driver1MobileEdit = lineEdit("driver1MobileEdit");
    check(driver1MobileEdit, QStringLiteral("司机1手机"))
        ->pattern(QLatin1String(FieldCheck::MobilePattern), mobileRule);
    driver2NameEdit = lineEdit("driver2NameEdit");
    check(driver2NameEdit, QStringLiteral("司机2姓名"))->maxLength(20);
    driver2MobileEdit = lineEdit("driver2MobileEdit");
    check(driver2MobileEdit, QStringLiteral("司机2手机"))
        ->pattern(QLatin1String(FieldCheck::MobilePattern), mobileRule);
    companyEdit = lineEdit("companyEdit");
    check(companyEdit, QStringLiteral("公司"))->maxLength(100);
    companyTelEdit = lineEdit("companyTelEdit");
    check(companyTelEdit, QStringLiteral("公司电话"))
        ->pattern(
            QLatin1String(FieldCheck::PhonePattern), QStringLiteral("应为11位手机号码，或以0开头的区号加7至8位号码。"));
    companyTelEdit->setPlaceholderText(QStringLiteral("固定电话请带区号"));
    notesEdit = new QPlainTextEdit(bodyWidget);
    notesEdit->setObjectName(QStringLiteral("notesEdit"));

    const auto place = [this](int row, int column, const QString& caption, QWidget* control) {
        formLayout->addWidget(new QLabel(caption, bodyWidget), row, column, Qt::AlignRight);
        formLayout->addWidget(control, row, column + 1);
    };
    place(0, 0, QStringLiteral("车牌号码:"), numberEdit);
    place(0, 2, QStringLiteral("驱动形式:"), driveChoice);
    place(1, 0, QStringLiteral("吨位级别:"), classChoice);
    place(1, 2, QStringLiteral("额定载重:"), tonnageEdit);
    place(2, 0, QStringLiteral("货箱形式:"), boxChoice);
    place(2, 2, QStringLiteral("货箱长度:"), lengthEdit);
    place(3, 0, QStringLiteral("货箱宽度:"), widthEdit);
    place(3, 2, QStringLiteral("货箱高度:"), heightEdit);
    // Row 4 stays empty between the truck and its people.
    place(5, 0, QStringLiteral("司机1姓名:"), driver1NameEdit);
    place(5, 2, QStringLiteral("司机1手机:"), driver1MobileEdit);
    place(6, 0, QStringLiteral("司机2姓名:"), driver2NameEdit);
    place(6, 2, QStringLiteral("司机2手机:"), driver2MobileEdit);
    place(7, 0, QStringLiteral("公司:"), companyEdit);
    place(7, 2, QStringLiteral("公司电话:"), companyTelEdit);
    formLayout->addWidget(new QLabel(QStringLiteral("备注:"), bodyWidget), 8, 0, Qt::AlignRight);
    formLayout->addWidget(notesEdit, 8, 1, 1, 3);
}

void TruckActivity::fill(const QJsonObject& truck)
{
    const auto text = [&truck](const char* key) { return truck.value(QLatin1String(key)).toString(); };
    // Sizes and the rated load come as numbers or as texts.
    const auto scalar = [&truck](const char* key) { return truck.value(QLatin1String(key)).toVariant().toString(); };

    numberEdit->setText(text("number"));
    // Choices are matched by their text; an unknown text leaves the empty item.
    driveChoice->setCurrentText(text("driving_mode_text"));
    classChoice->setCurrentText(text("tonnage_level_text"));
    tonnageEdit->setText(scalar("tonnage"));
    boxChoice->setCurrentText(text("packingcase_mode_text"));
    lengthEdit->setText(scalar("packingcase_length"));
    widthEdit->setText(scalar("packingcase_width"));
    heightEdit->setText(scalar("packingcase_height"));
    driver1NameEdit->setText(text("driver1_name"));
    driver1MobileEdit->setText(text("driver1_mobile"));
    driver2NameEdit->setText(text("driver2_name"));
    driver2MobileEdit->setText(text("driver2_mobile"));
    companyEdit->setText(text("company_name"));
    companyTelEdit->setText(text("company_tel"));
    notesEdit->setPlainText(text("notes"));
}

bool TruckActivity::refuse(const QString& message, QWidget* field)
{
    if (!GuardedMessageBox::warning(this, QStringLiteral("提醒"), message))
        return false;
    field->setFocus(Qt::OtherFocusReason);
    return true;
}

void TruckActivity::slot_action()
{
    // One save at a time: the loading overlay covers the form until its answer.
    if (saveCall)
        return;

    if (numberEdit->text().trimmed().isEmpty()) {
        refuse(QStringLiteral("请输入车牌号码！"), numberEdit);
        return;
    }
    if (driveChoice->currentText().isEmpty()) {
        refuse(QStringLiteral("请选择驱动形式！"), driveChoice);
        return;
    }
    if (classChoice->currentText().trimmed().isEmpty()) {
        refuse(QStringLiteral("请选择吨位级别！"), classChoice);
        return;
    }
    if (tonnageEdit->text().trimmed().isEmpty()) {
        refuse(QStringLiteral("请输入额定载重！"), tonnageEdit);
        return;
    }
    if (boxChoice->currentText().trimmed().isEmpty()) {
        refuse(QStringLiteral("请选择货箱形式！"), boxChoice);
        return;
    }
    if (driver1NameEdit->text().trimmed().isEmpty()) {
        refuse(QStringLiteral("请输入司机1姓名！"), driver1NameEdit);
        return;
    }
    if (driver1MobileEdit->text().trimmed().isEmpty()) {
        refuse(QStringLiteral("请输入司机1手机号码！"), driver1MobileEdit);
        return;
    }
    if (!FieldCheck::passAll(checks, this))
        return;

    QMap<QString, QString> params;
    params.insert(QStringLiteral("id"), QString::number(truckId));
    params.insert(QStringLiteral("number"), numberEdit->text().trimmed());
    params.insert(QStringLiteral("driving_mode"), choiceCode(driveChoice));
    params.insert(QStringLiteral("tonnage_level"), choiceCode(classChoice));
    params.insert(QStringLiteral("tonnage"), tonnageEdit->text().trimmed());
    params.insert(QStringLiteral("packingcase_mode"), choiceCode(boxChoice));
    params.insert(QStringLiteral("packingcase_length"), lengthEdit->text().trimmed());
    params.insert(QStringLiteral("packingcase_width"), widthEdit->text().trimmed());
    params.insert(QStringLiteral("packingcase_height"), heightEdit->text().trimmed());
    params.insert(QStringLiteral("photo1"), QString());
    params.insert(QStringLiteral("photo2"), QString());
    params.insert(QStringLiteral("driver1_name"), driver1NameEdit->text().trimmed());
    params.insert(QStringLiteral("driver1_mobile"), driver1MobileEdit->text().trimmed());
    params.insert(QStringLiteral("driver2_name"), driver2NameEdit->text().trimmed());
    params.insert(QStringLiteral("driver2_mobile"), driver2MobileEdit->text().trimmed());
    params.insert(QStringLiteral("company_name"), companyEdit->text().trimmed());
    params.insert(QStringLiteral("company_tel"), companyTelEdit->text().trimmed());
    params.insert(QStringLiteral("notes"), notesEdit->toPlainText().trimmed());

    showLoading(QStringLiteral("正在保存数据，请稍候..."));
    saveCall = API::instance()->submitTruck(params)->then(this, [this](const ApiAnswer& answer) {
        saveCall.clear();
        slot_submit_truck_finished(answer.success, answer.errors);
    });
}

void TruckActivity::slot_submit_truck_finished(bool success, const QString errors)
{
    hideLoading();
    if (success) {
        if (GuardedMessageBox::information(this, QStringLiteral("提醒"), QStringLiteral("保存成功！")))
            finish(QVariant(1));
    } else {
        GuardedMessageBox::warning(this, QStringLiteral("抱歉"), QStringLiteral("保存失败！\n") + errors);
    }
}
