#pragma once

#include "shell/baseactivity.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

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
    // Takes the API's search answers over from whichever screen held them.
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The searches one suggestion list sent whose answers may still come.
    // Requests are numbered in sending order, so an answer older than one
    // already shown belongs to an older text and is dropped.
    struct Searches
    {
        QSet<int> sent;
        // True when `answered` is one of ours and newer than any shown.
        bool accept(int answered);
    };

    void fill(SuggestionWidget* list, Searches& searches, const QJsonArray* records);

    int truckId;
    QString truckNumber;
    QString resultText;
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
    Searches shipperSearches;
    Searches consigneeSearches;
    // The number of the save under way; 0 when none is.
    int pendingSave = 0;
};
