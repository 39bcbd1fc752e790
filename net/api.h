#pragma once

#include "net/apicall.h"
#include "net/basehttp.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QPointer>
#include <QString>

struct UserToken;
struct VoiceAccount;
enum class RequestCode : int;

// The client's one gateway to the management platform: one operation per
// server request, one completion signal per operation. One object per
// process, built on first use by instance() and alive until the process ends.
//
// Completion signals carry the payload first and the error text last. The
// QJsonObject*/QJsonArray* arguments point to copies that live only while the
// signal is delivered: receivers copy what they keep.
class API : public BaseHttp
{
    Q_OBJECT

public:
    static API* instance();
    ~API() override;

    UserToken* userToken() const { return token; }
    VoiceAccount* voiceAccount() const { return voice; }
    // Forgets the session (the UserToken and the VoiceAccount), as after a
    // failed login, so that another account can sign in. Send visitEnd()
    // first: the platform ends the session with it.
    void endSession();

    // Every operation returns the handle of the request it sent (see
    // ApiCall): the answer reaches the handle's finished() first, then the
    // operation's completion signal, which every listener hears; after a
    // successful change of records, signal_records_changed() follows.
    //
    // Session (answers without the session suffix: login and fetchVersion).
    ApiCall* login(const QString& username, const QString& password);
    ApiCall* fetchTruckDict();
    ApiCall* fetchServiceInfo();
    ApiCall* fetchProfile();
    ApiCall* fetchVersion();
    ApiCall* submitProfile(const QMap<QString, QString>& params);
    ApiCall* submitPassword(const QMap<QString, QString>& params);
    ApiCall* visitStart();
    ApiCall* visitEnd();

    // Business.
    ApiCall* fetchTruckGroup(int group);
    ApiCall* fetchTruck(int page, const QString& number);
    ApiCall* fetchShipper(int page, const QString& name);
    ApiCall* fetchConsignee(int page, const QString& name);
    // The text (matched against the plate, the parties and the goods) and
    // the days of the consignment time (both included) narrow the list; a
    // null date leaves its end open. Without them the request is the plain
    // page.
    ApiCall* fetchTrade(
        int page, const QString& text = QString(), const QDate& from = QDate(), const QDate& to = QDate());
    ApiCall* fetchNotification();
    ApiCall* submitTruck(QMap<QString, QString> params);
    ApiCall* submitShipper(QMap<QString, QString> params);
    ApiCall* submitConsignee(QMap<QString, QString> params);
    ApiCall* submitTrade(QMap<QString, QString> params);
    ApiCall* changeTruckStatus(int truckId, int status);
    ApiCall* changeTradeStatus(int tradeId, int payoutStatus, int agencyStatus);
    ApiCall* deleteTruck(int truckId);
    ApiCall* deleteShipper(int shipperId);
    ApiCall* deleteConsignee(int consigneeId);
    ApiCall* submitSms(const QString& number, const QString& content);
    ApiCall* submitFeedback(int type, const QString& content);
    // The history of one record, oldest first: GET "/<kind>/<id>/history/";
    // the answer's "data" is an array of entries with "time", "user",
    // "name", "action" and "changes" ({field: [before, after]}).
    ApiCall* fetchHistory(RecordKind kind, int id);
    // The station's money, with a top-level "total" in the answer. The
    // unpaid cash on delivery: GET "/report/agency/", one row per shipper
    // ("shipper_id", "shipper_name", "trades", "amount", "oldest"); with a
    // shipper id above 0, "&shipper=" and "&page=" give that shipper's unpaid
    // trades as trade records, a page at a time.
    ApiCall* fetchAgencyReport(int shipperId = 0, int page = 1);
    // The drivers' pay owed: GET "/report/payout/", one row per truck
    // ("truck_id", "truck_number", "driver1_name", "trades", "amount"); with
    // a truck id, "&truck=" and "&page=" give that truck's unpaid trades.
    ApiCall* fetchPayoutReport(int truckId = 0, int page = 1);
    // The daily sums from `from` to `to`: GET "/report/daily/" with "&from="
    // and "&to=" as YYYY-MM-DD; one row per day that has trades ("day",
    // "trades", "weight", "value", "revenue", "payout", "agency_collected",
    // "agency_paid"), and the period's sums of the same keys in "total".
    ApiCall* fetchDailyReport(const QDate& from, const QDate& to);

    // Fetches an absolute URL synchronously (a nested event loop keeps the
    // application responsive) and returns the body, empty on failure.
    QByteArray downloadImage(const QString& url);

    // The number of the request whose completion signal is being delivered
    // now; 0 outside a delivery. Read it before opening a message box: a
    // nested event loop may deliver other answers in the meantime.
    int answeredRequest() const { return answering; }

    // "?token=" + token + "&user=" + user, from the current session; the token
    // is percent-encoded like every other value of a query.
    QString sessionSuffix() const;

signals:
    void signal_login_finished(UserToken* userToken, QString errors);
    void signal_fetch_truckdict_finished(bool success, QString errors);
    void signal_fetch_profile_finished(QJsonObject* profile, QString errors);
    void signal_fetch_serviceinfo_finished(QJsonObject* serviceinfo, QString errors);
    void signal_fetch_truck_finished(QJsonArray* trucks, QString errors);
    void signal_fetch_shipper_finished(QJsonArray* shippers, QString errors);
    void signal_fetch_consignee_finished(QJsonArray* consignee, QString errors);
    void signal_fetch_trade_finished(QJsonArray* trades, QString errors);
    void signal_fetch_my_product_finished(QJsonArray* products, QString errors);
    void signal_fetch_notification_finished(QJsonObject* notification, QString errors);
    void signal_fetch_version_finished(QJsonObject* version, QString errors);
    void signal_submit_truck_finished(bool success, QString errors);
    void signal_submit_shipper_finished(int shipperId, QString errors);
    void signal_submit_consignee_finished(int consigneeId, QString errors);
    void signal_submit_trade_finished(bool success, QString errors);
    void signal_submit_profile_finished(bool success, QString errors);
    void signal_submit_password_finished(bool success, QString errors);
    void signal_submit_sms_finished(bool success, QString errors);
    void signal_submit_feedback_finished(bool success, QString errors);
    void signal_change_truck_status_finished(bool success, int status, QString errors);
    void signal_change_trade_status_finished(bool success, QString errors);
    void signal_delete_truck_finished(bool success, QString errors);
    void signal_delete_shipper_finished(bool success, QString errors);
    void signal_delete_consignee_finished(bool success, QString errors);
    void signal_exit();
    // Records of `kind` were saved, deleted or changed in state through this
    // client: every screen that shows such records should fetch them again.
    void signal_records_changed(RecordKind kind);

public slots:
    void slot_finished(QNetworkReply* reply) override;

private:
    API();

    // A handle for the request numbered `request`, kept until its answer.
    ApiCall* track(int request);
    // Delivers the answer object to `call` (when there is one), then emits
    // the completion signal of `code` and the change notices it implies.
    void dispatch(RequestCode code, const QJsonObject& answer, ApiCall* call);
    // Opens the session from a login answer; returns whether it succeeded.
    bool takeLoginAnswer(const QJsonObject& answer);
    // The four record submissions: "/<kind>/add/" or "/<kind>/<id>/edit/".
    ApiCall* submitRecord(const QString& kind, QMap<QString, QString> params, int code);

    UserToken* token = nullptr;
    VoiceAccount* voice = nullptr;
    int answering = 0;
    // The handles of the requests not answered yet, by request number.
    QHash<int, QPointer<ApiCall>> calls;
};
