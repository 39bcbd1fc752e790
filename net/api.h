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

    // Session (answers without the session suffix: login and fetchVersion).
    void login(const QString& username, const QString& password);
    void fetchTruckDict();
    void fetchServiceInfo();
    void fetchProfile();
    void fetchVersion();
    void submitProfile(const QMap<QString, QString>& params);
    void submitPassword(const QMap<QString, QString>& params);
    void visitStart();
    void visitEnd();

    // Business.
    void fetchTruckGroup(int group);
    void fetchTruck(int page, const QString& number);
    void fetchShipper(int page, const QString& name);
    void fetchConsignee(int page, const QString& name);
    void fetchTrade(int page);
    void fetchNotification();
    void submitTruck(QMap<QString, QString> params);
    void submitShipper(QMap<QString, QString> params);
    void submitConsignee(QMap<QString, QString> params);
    void submitTrade(QMap<QString, QString> params);
    void changeTruckStatus(int truckId, int status);
    void changeTradeStatus(int tradeId, int payoutStatus, int agencyStatus);
    void deleteTruck(int truckId);
    void deleteShipper(int shipperId);
    void deleteConsignee(int consigneeId);
    void submitSms(const QString& number, const QString& content);
    void submitFeedback(int type, const QString& content);

    // Fetches an absolute URL synchronously (a nested event loop keeps the
    // application responsive) and returns the body, empty on failure.
    QByteArray downloadImage(const QString& url);

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
    void submitRecord(const QString& kind, QMap<QString, QString> params, int code);

    UserToken* token = nullptr;
    VoiceAccount* voice = nullptr;
};
