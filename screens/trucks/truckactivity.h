#pragma once

#include "shell/baseactivity.h"

#include <QList>
#include <QPointer>

class ApiCall;
class FieldCheck;
class QComboBox;
class QGridLayout;
class QJsonObject;
class QLineEdit;
class QPlainTextEdit;

// The truck form: adds a truck to the station's fleet ("添加货车") or corrects
// one ("修改货车资料"). The three choices come from the truck dictionary; the
// line edits' validators limit what can be typed, and saving checks only that
// the required fields are filled. A saved truck finishes the form with the
// result QVariant(1); a refused one keeps the form and its input.
class TruckActivity : public BaseActivity
{
    Q_OBJECT

public:
    // Add mode: a new truck ("id" 0).
    explicit TruckActivity(QWidget* parent = nullptr);
    // Edit mode: the form shows `truck` and saves under its "id". The record
    // is read only here.
    explicit TruckActivity(const QJsonObject& truck, QWidget* parent = nullptr);

public slots:
    void slot_action() override;
    void slot_submit_truck_finished(bool success, const QString errors);

private:
    void buildForm();
    void fill(const QJsonObject& truck);
    // Shows the warning `message` and moves the focus to `field`. Returns
    // false when the form was closed while the box was open.
    bool refuse(const QString& message, QWidget* field);

    int truckId = 0;
    // The save request while it awaits its answer.
    QPointer<ApiCall> saveCall;

    QGridLayout* formLayout = nullptr;
    QLineEdit* numberEdit = nullptr;
    QComboBox* driveChoice = nullptr;
    QComboBox* classChoice = nullptr;
    QLineEdit* tonnageEdit = nullptr;
    QComboBox* boxChoice = nullptr;
    QLineEdit* lengthEdit = nullptr;
    QLineEdit* widthEdit = nullptr;
    QLineEdit* heightEdit = nullptr;
    QLineEdit* driver1NameEdit = nullptr;
    QLineEdit* driver1MobileEdit = nullptr;
    QLineEdit* driver2NameEdit = nullptr;
    QLineEdit* driver2MobileEdit = nullptr;
    QLineEdit* companyEdit = nullptr;
    QLineEdit* companyTelEdit = nullptr;
    // The fields' rules, in the order the save checks them.
    QList<FieldCheck*> checks;
    QPlainTextEdit* notesEdit = nullptr;
};
