#pragma once

#include "shell/baseactivity.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>

class ApiCall;
class FieldCheck;
class QComboBox;
class QJsonArray;
class QLineEdit;
class QPlainTextEdit;
class SuggestionWidget;

// Packing a consignment on one truck: a new trade linking the truck, a
// shipper and a consignee with the goods, weight, value, cash on delivery,
// revenue and payout. Shipper and consignee are chosen from suggestion lists
// fed by server searches, or created on the spot through their add forms.
//
// The board opens it with a result wanted; on a saved trade it finishes with
// its result text (the shipper's name, "托运的" and the goods).
class PackActivity : public BaseActivity
{
    Q_OBJECT

public:
    PackActivity(int truckId, const QString& truckNumber, QWidget* parent = nullptr);

    // What the truck carries already and its rated load, in tonnes. With a
    // rated load known, a packing that would take the truck past it asks
    // first ("超载提醒").
    void setTruckLoad(double booked, double rated);

signals:
    // A trade was saved with `weight` tonnes, just before the screen finishes.
    void signal_packed(double weight);

public slots:
    void slot_action() override;
    void slot_submit_trade_finished(bool success, const QString errors);
    void slot_shipper_suggestion_request(const QString keyword);
    void slot_fetch_shipper_finished(QJsonArray* shippers, const QString errors);
    void slot_consignee_suggestion_request(const QString keyword);
    void slot_fetch_consignee_finished(QJsonArray* consignee, const QString errors);
    void slot_suggestion_addnew(const int tag);
    void slot_addnew_activity_finish(QVariant data);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Makes `call` the latest search of one list, abandoning the one before,
    // and hands its answer to `slot`.
    void search(QPointer<ApiCall>& latest, ApiCall* call, void (PackActivity::*slot)(QJsonArray*, QString));
    void fill(SuggestionWidget* list, const QJsonArray* records, const QString& errors);
    // Asks whether to pack past the rated load; true to go on.
    bool overloadAccepted();

    int truckId;
    QString truckNumber;
    QString resultText;
    double bookedWeight = 0;
    // 0 while the truck's rated load is not known.
    double ratedLoad = 0;
    QLineEdit* shipperEdit;
    QLineEdit* consigneeEdit;
    QLineEdit* lineEdit;
    QLineEdit* goodsEdit;
    QLineEdit* weightEdit;
    QLineEdit* valueEdit;
    QComboBox* isAgencyCombo;
    QLineEdit* revenueEdit;
    QLineEdit* payoutEdit;
    QPlainTextEdit* notesEdit;
    // The number fields' rules, in the order the save checks them.
    QList<FieldCheck*> numberChecks;
    SuggestionWidget* shipperList;
    SuggestionWidget* consigneeList;
    QPointer<ApiCall> shipperSearch;
    QPointer<ApiCall> consigneeSearch;
    // The save under way, while it awaits its answer.
    QPointer<ApiCall> saveCall;
};
