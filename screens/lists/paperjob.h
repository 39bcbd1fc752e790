#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>

class ApiCall;
class PaperDocument;
class QWidget;
struct ApiAnswer;

// Puts a trade's waybill or a truck's loading list on paper: fetches from the
// platform what the document needs besides the record the screen holds (the
// station's profile; for a loading list the truck's current loads), then
// shows the print preview or asks where to write the PDF.
//
// A job belongs to the widget that started it while it waits for the
// platform, so that a row that goes takes its job along and gives up its
// request; once the data is there the job stays until the clerk closes the
// dialog, and then goes.
class PaperJob : public QObject
{
    Q_OBJECT

public:
    enum class Output { Preview, Pdf };

    // The waybill of `trade`, a record of the trade list.
    static PaperJob* waybill(const QJsonObject& trade, Output output, QWidget* owner);
    // The loading list of the truck `truckId`.
    static PaperJob* loadingList(int truckId, Output output, QWidget* owner);

    ~PaperJob() override;

private:
    enum class Kind { Waybill, LoadingList };

    PaperJob(Kind kind, Output output, QWidget* owner);
    void start();
    void takeProfile(const ApiAnswer& answer);
    void takeTrucks(const ApiAnswer& answer);
    void put(const PaperDocument& document);
    void fail(const QString& text);

    Kind kind;
    Output output;
    QPointer<QWidget> owner;
    QJsonObject trade;
    int truckId = 0;
    QJsonObject profile;
    // The request awaiting its answer; null when none is.
    QPointer<ApiCall> pending;
};
