#pragma once

#include "net/apicall.h"
#include "shell/baseactivity.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>

class API;
class ApiCall;
class FieldCheck;
class QJsonObject;
class QLineEdit;
class QPlainTextEdit;

// The add and edit form of a station's party: a shipper or a consignee. The
// two kinds share one design and differ only in what their Kind says; the
// subclasses name the kind and receive its submit answer.
//
// Add mode saves a new record ("id" "0"), edit mode the record it was built
// from. A saved form finishes on its own controller with a map of the id
// the server answered (under Kind::resultKey) and the name as shown.
class PartyActivity : public BaseActivity
{
    Q_OBJECT

public:
    struct Kind
    {
        QString addTitle;
        QString editTitle;
        bool hasIndustry;
        // "shipper_id" or "consignee_id": the key of the id in the result.
        QString resultKey;
        ApiCall* (API::*submit)(QMap<QString, QString> params);
        // Whose history the edit form shows.
        RecordKind records;
    };

    // Starts an add form with `name` already in its name field, as the
    // packing screen's "添加新的" does with what was typed there.
    void presetName(const QString& name);

public slots:
    void slot_action() override;

protected:
    // `record` is read here only; null in add mode.
    PartyActivity(const Kind& kind, const QJsonObject* record, QWidget* parent);

    // Hands the answer to this form's save to the subclass's slot.
    virtual void takeSubmitAnswer(int recordId, const QString& errors) = 0;
    // The answer to this form's save.
    void handleSubmitAnswer(int recordId, const QString& errors);

private:
    struct Field
    {
        QString key;
        QLineEdit* edit;
        // The warning when the field is left blank; empty for the phones,
        // which are checked as a pair.
        QString missing;
    };

    const Kind kind;
    int recordId = 0;
    QList<Field> fields;
    // The fields' rules, in the order the save checks them.
    QList<FieldCheck*> checks;
    QLineEdit* nameEdit = nullptr;
    QLineEdit* tel1Edit = nullptr;
    QLineEdit* tel2Edit = nullptr;
    QPlainTextEdit* notesEdit = nullptr;
    // The save under way, while it awaits its answer.
    QPointer<ApiCall> saveCall;
};
