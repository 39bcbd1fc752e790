#pragma once

#include "net/basehttp.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
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

    // Every operation returns the number of the request it sent; while the
    // request's completion signal is delivered, answeredRequest() returns that
    // number. Rows and forms that share a completion signal act only on
    // answers to the requests they sent.
    //
    // Session (answers without the session suffix: login and fetchVersion).
    int login(const QString& username, const QString& password);
    int fetchTruckDict();
    int fetchServiceInfo();
    int fetchProfile();
    int fetchVersion();
    int submitProfile(const QMap<QString, QString>& params);
    int submitPassword(const QMap<QString, QString>& params);
    int visitStart();
    int visitEnd();

    // Business.
    int fetchTruckGroup(int group);
    int fetchTruck(int page, const QString& number);
    int fetchShipper(int page, const QString& name);
    int fetchConsignee(int page, const QString& name);
    int fetchTrade(int page);
    int fetchNotification();
    int submitTruck(QMap<QString, QString> params);
    int submitShipper(QMap<QString, QString> params);
    int submitConsignee(QMap<QString, QString> params);
    int submitTrade(QMap<QString, QString> params);
    int changeTruckStatus(int truckId, int status);
    int changeTradeStatus(int tradeId, int payoutStatus, int agencyStatus);
    int deleteTruck(int truckId);
    int deleteShipper(int shipperId);
    int deleteConsignee(int consigneeId);
    int submitSms(const QString& number, const QString& content);
    int submitFeedback(int type, const QString& content);

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

public slots:
    void slot_finished(QNetworkReply* reply) override;

private:
    API();

    // Emits the completion signal of `code` for the answer object.
    void dispatch(RequestCode code, const QJsonObject& answer);
    void handleLoginAnswer(const QJsonObject& answer);
    // The four record submissions: "/<kind>/add/" or "/<kind>/<id>/edit/".
    int submitRecord(const QString& kind, QMap<QString, QString> params, int code);

    UserToken* token = nullptr;
    VoiceAccount* voice = nullptr;
    int answering = 0;
};
