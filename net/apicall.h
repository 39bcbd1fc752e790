#pragma once

#include <QJsonValue>
#include <QObject>
#include <QString>

#include <utility>

// The kinds of records the platform keeps for a station. API announces a
// successful change of one through signal_records_changed(), so that every
// screen that shows records of that kind can bring them up to date.
enum class RecordKind { Truck, Shipper, Consignee, Trade };

// One answer of the platform as its asker receives it.
struct ApiAnswer
{
    // The envelope's "success"; false for a transport failure too.
    bool success = false;
    // The identifier or status that the operation decodes ("shipper_id",
    // "consignee_id", the truck's new "status"); -1 on failure and for
    // operations that decode none.
    int value = -1;
    // The answer's "data" (an object or an array); null on failure.
    QJsonValue data;
    // The answer's top-level "total" (the reports' sums); undefined when it
    // has none or on failure.
    QJsonValue total = QJsonValue(QJsonValue::Undefined);
    // The error text: the server's "errors", the connection failure text, or
    // empty.
    QString errors;
};

// The handle of one request sent through API. Its finished() carries the
// answer to this request and to no other, so that a receiver never has to
// tell its own answers from those of screens that use the same operation.
//
// API owns the handle: it keeps it until the answer has been delivered, then
// deletes it later. A caller that needs to know whether its request is still
// open holds it in a QPointer and clears that pointer when the answer comes;
// abandon() gives the request up: its answer is never delivered.
class ApiCall : public QObject
{
    Q_OBJECT

public:
    // The request's number (see BaseHttp::requestNumberOf()).
    int request() const { return number; }
    // Whether the answer is still to be delivered to this handle.
    bool isPending() const { return !answered && !abandoned; }
    // Drops every receiver and the delivery; the handle is deleted later.
    void abandon();

    // Delivers the answer to `f` while `context` lives; returns the handle.
    template <typename F> ApiCall* then(QObject* context, F&& f)
    {
        connect(this, &ApiCall::finished, context, std::forward<F>(f));
        return this;
    }

signals:
    void finished(const ApiAnswer& answer);

private:
    friend class API;
    ApiCall(int request, QObject* parent);
    // Emits finished() once, unless the call was abandoned.
    void deliver(const ApiAnswer& answer);

    int number;
    bool answered = false;
    bool abandoned = false;
};
