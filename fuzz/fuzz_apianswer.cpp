// Feeds arbitrary answers through API::slot_finished, the path every reply of
// the platform takes in the client: the envelope, the parse pattern of the
// request code and the delivery of the completion signal to receivers that
// read everything the payload holds.
//
// Input: byte 0 picks the request code (every code, and one on either side of
// the valid range), byte 1 how the transfer ended; the rest is the body.

#include "net/api.h"
#include "net/requestcode.h"
#include "net/truckdict.h"
#include "net/usertoken.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QPointer>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// A finished reply that carries a fixed body, as QNetworkAccessManager hands
// it to BaseHttp when a transfer ends.
class CannedReply : public QNetworkReply
{
public:
    CannedReply(int code, NetworkError failure, bool readable, const QByteArray& content)
        : body(content)
    {
        setProperty("mothed", code);
        if (failure != NoError)
            setError(failure, QStringLiteral("canned failure"));
        if (readable)
            setOpenMode(ReadOnly);
        setFinished(true);
    }

    void abort() override { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return body.size() - offset + QNetworkReply::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 count = qMin(maxSize, static_cast<qint64>(body.size()) - offset);
        std::memcpy(data, body.constData() + offset, static_cast<size_t>(count));
        offset += count;
        return count;
    }

private:
    QByteArray body;
    qint64 offset = 0;
};

struct Ending
{
    QNetworkReply::NetworkError error;
    bool readable;
};

// The ways a transfer ends that the client must tell apart: a body (also
// with an HTTP error status), a refused connection or a 404 (the fixed
// connection failure), and a closed reply after a time-out or an abort.
const Ending endings[] = {
    { QNetworkReply::NoError, true },
    { QNetworkReply::InternalServerError, true },
    { QNetworkReply::ContentNotFoundError, true },
    { QNetworkReply::ConnectionRefusedError, false },
    { QNetworkReply::OperationCanceledError, false },
    { QNetworkReply::TimeoutError, false },
};

int delivered = 0;
volatile size_t sink = 0;

// Reads every value below `value`, as a screen that shows it would.
void readAllOf(const QJsonValue& value)
{
    QByteArray text;
    if (value.isObject())
        text = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    else if (value.isArray())
        text = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    else
        text = value.toVariant().toString().toUtf8();
    sink = sink + static_cast<size_t>(text.size());
}

void readObject(const QJsonObject* payload, const QString& errors)
{
    ++delivered;
    sink = sink + static_cast<size_t>(errors.size());
    if (payload) {
        for (auto it = payload->constBegin(); it != payload->constEnd(); ++it) {
            sink = sink + static_cast<size_t>(it.key().size() + it.value().toString().size());
            readAllOf(it.value());
        }
    }
}

void readArray(const QJsonArray* payload, const QString& errors)
{
    ++delivered;
    sink = sink + static_cast<size_t>(errors.size());
    if (payload) {
        for (const QJsonValue& row : *payload) {
            const QJsonObject record = row.toObject();
            sink = sink + static_cast<size_t>(record.value(QLatin1String("id")).toInt() + record.size());
            readAllOf(row);
        }
    }
}

void readFlag(bool success, const QString& errors)
{
    ++delivered;
    sink = sink + static_cast<size_t>(success) + static_cast<size_t>(errors.size());
}

void readNumber(int number, const QString& errors)
{
    ++delivered;
    sink = sink + static_cast<size_t>(number) + static_cast<size_t>(errors.size());
}

void discardMessages(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtFatalMsg)
        std::abort();
}

void connectReaders(API* api)
{
    QObject::connect(api, &API::signal_login_finished, api, [](UserToken* token, const QString& errors) {
        ++delivered;
        sink = sink + static_cast<size_t>(errors.size());
        if (token)
            sink = sink + token->user + token->organ
                + static_cast<size_t>(token->token.size() + token->sessionid.size());
    });
    QObject::connect(api, &API::signal_fetch_truckdict_finished, api, [](bool success, const QString& errors) {
        readFlag(success, errors);
        const TruckDict* dict = TruckDict::instance();
        readAllOf(dict->drivingMode());
        readAllOf(dict->tonnage());
        readAllOf(dict->packingcaseMode());
    });
    QObject::connect(api, &API::signal_fetch_profile_finished, api, &readObject);
    QObject::connect(api, &API::signal_fetch_serviceinfo_finished, api, &readObject);
    QObject::connect(api, &API::signal_fetch_notification_finished, api, &readObject);
    QObject::connect(api, &API::signal_fetch_version_finished, api, &readObject);
    QObject::connect(api, &API::signal_fetch_truck_finished, api, &readArray);
    QObject::connect(api, &API::signal_fetch_shipper_finished, api, &readArray);
    QObject::connect(api, &API::signal_fetch_consignee_finished, api, &readArray);
    QObject::connect(api, &API::signal_fetch_trade_finished, api, &readArray);
    QObject::connect(api, &API::signal_fetch_my_product_finished, api, &readArray);
    QObject::connect(api, &API::signal_submit_truck_finished, api, &readFlag);
    QObject::connect(api, &API::signal_submit_shipper_finished, api, &readNumber);
    QObject::connect(api, &API::signal_submit_consignee_finished, api, &readNumber);
    QObject::connect(api, &API::signal_submit_trade_finished, api, &readFlag);
    QObject::connect(api, &API::signal_submit_profile_finished, api, &readFlag);
    QObject::connect(api, &API::signal_submit_password_finished, api, &readFlag);
    QObject::connect(api, &API::signal_submit_sms_finished, api, &readFlag);
    QObject::connect(api, &API::signal_submit_feedback_finished, api, &readFlag);
    QObject::connect(
        api, &API::signal_change_truck_status_finished, api, [](bool success, int status, const QString& errors) {
            readFlag(success, errors);
            sink = sink + static_cast<size_t>(status);
        });
    QObject::connect(api, &API::signal_change_trade_status_finished, api, &readFlag);
    QObject::connect(api, &API::signal_delete_truck_finished, api, &readFlag);
    QObject::connect(api, &API::signal_delete_shipper_finished, api, &readFlag);
    QObject::connect(api, &API::signal_delete_consignee_finished, api, &readFlag);
    QObject::connect(api, &API::signal_exit, api, [] { ++delivered; });
    QObject::connect(api, &API::signal_trans_finished, api, [] { delivered += 100; });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz_apianswer";
    static char* argv[] = { name, nullptr };
    qInstallMessageHandler(discardMessages);
    new QCoreApplication(argc, argv);
    connectReaders(API::instance());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int code = data[0] % (LastRequestCode + 3) - 1;
    const Ending ending = endings[data[1] % (sizeof endings / sizeof endings[0])];
    const QByteArray body(reinterpret_cast<const char*>(data + 2), static_cast<int>(size - 2));

    QPointer<QNetworkReply> reply = new CannedReply(code, ending.error, ending.readable, body);
    delivered = 0;
    API::instance()->slot_finished(reply);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Exactly one completion signal for every code that has one, none for
    // the rest (the visit start, and the history and the reports, which only
    // their asker's call hears), and always the end of the transfer; the
    // reply is released.
    const bool signalled = code >= 0 && code <= LastRequestCode && code != toInt(RequestCode::VisitStart)
        && code != toInt(RequestCode::FetchHistory) && code != toInt(RequestCode::FetchReport);
    if (delivered != 100 + (signalled ? 1 : 0) || reply)
        std::abort();
    return 0;
}
