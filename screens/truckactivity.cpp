#include "screens/truckactivity.h"

#include "net/api.h"
#include "net/truckdict.h"
#include "screens/historydialog.h"
#include "widgets/guardedmessagebox.h"

#include <QComboBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QJsonObject>
#include <QJsonValue>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QRegExp>
#include <QRegExpValidator>
#include <QVBoxLayout>

namespace {

// Eleven digits beginning 13 to 19: every mobile number in use, and the rule
// the platform checks a driver's mobile against.
const char* const mobilePattern = "^1[3-9][0-9]{9}$";
// A fixed line with its area code, or a mobile: 7, 8, 11 or 12 digits.
const char* const telephonePattern = "^\\d{7}|\\d{8}|\\d{11}|\\d{12}$";

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
    numberEdit = lineEdit("numberEdit");
    numberEdit->setMaxLength(7);
    driveChoice = choice("driveChoice", dict->drivingMode());
    classChoice = choice("classChoice", dict->tonnage());
    tonnageEdit = lineEdit("tonnageEdit");
    tonnageEdit->setValidator(new QDoubleValidator(tonnageEdit));
    tonnageEdit->setPlaceholderText(QStringLiteral("单位：吨"));
    boxChoice = choice("boxChoice", dict->packingcaseMode());
    lengthEdit = lineEdit("lengthEdit");
    lengthEdit->setValidator(new QDoubleValidator(1.0, 100.0, 2, lengthEdit));
    widthEdit = lineEdit("widthEdit");
    widthEdit->setValidator(new QDoubleValidator(1.0, 5.0, 2, widthEdit));
    heightEdit = lineEdit("heightEdit");
    heightEdit->setValidator(new QDoubleValidator(1.0, 5.0, 2, heightEdit));
    for (QLineEdit* size : { lengthEdit, widthEdit, heightEdit })
        size->setPlaceholderText(QStringLiteral("单位：米"));

    driver1NameEdit = lineEdit("driver1NameEdit");
    driver1MobileEdit = lineEdit("driver1MobileEdit");
    driver2NameEdit = lineEdit("driver2NameEdit");
    driver2MobileEdit = lineEdit("driver2MobileEdit");
    const QRegExp mobile(QLatin1String(mobilePattern), Qt::CaseSensitive);
    driver1MobileEdit->setValidator(new QRegExpValidator(mobile, driver1MobileEdit));
    driver2MobileEdit->setValidator(new QRegExpValidator(mobile, driver2MobileEdit));
    companyEdit = lineEdit("companyEdit");
    companyTelEdit = lineEdit("companyTelEdit");
    companyTelEdit->setValidator(
        new QRegExpValidator(QRegExp(QLatin1String(telephonePattern), Qt::CaseSensitive), companyTelEdit));
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
        if (GuardedMessageBox::warning(this, QStringLiteral("提醒"), QStringLiteral("保存成功！")))
            finish(QVariant(1));
    } else {
        GuardedMessageBox::warning(this, QStringLiteral("抱歉"), QStringLiteral("保存失败！\n") + errors);
    }
}
