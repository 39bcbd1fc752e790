#include "apirecorder.h"

#include "net/api.h"
#include "net/usertoken.h"
#include "support/recordinghttpserver.h"
#include "support/testsession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QString quoted(const QString& errors)
{
    return QLatin1Char('"') + errors + QLatin1Char('"');
}

QString json(const QJsonObject* object)
{
    return object ? QString::fromUtf8(QJsonDocument(*object).toJson(QJsonDocument::Compact)) : QStringLiteral("null");
}

QString json(const QJsonArray* array)
{
    return array ? QString::fromUtf8(QJsonDocument(*array).toJson(QJsonDocument::Compact)) : QStringLiteral("null");
}

QString flag(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

ApiRecorder::ApiRecorder(API* api, QObject* parent)
    : QObject(parent)
{
    connect(api, &API::signal_trans_start, this, [this] {
        ++transStarts;
        all << QStringLiteral("trans_start");
    });
    connect(api, &API::signal_trans_finished, this, [this] {
        ++transFinishes;
        all << QStringLiteral("trans_finished");
    });
    connect(api, &API::signal_login_finished, this, [this](UserToken* t, const QString& e) {
        const QString who
            = t ? QStringLiteral("%1/%2/%3").arg(t->user).arg(t->organ).arg(t->token) : QStringLiteral("null");
        record(QStringLiteral("login(%1, %2)").arg(who, quoted(e)));
    });
    connect(api, &API::signal_fetch_truckdict_finished, this, [this](bool ok, const QString& e) {
        record(QStringLiteral("fetch_truckdict(%1, %2)").arg(flag(ok), quoted(e)));
    });

    auto onObject = [this](void (API::*signal)(QJsonObject*, QString), const QString& name) {
        connect(API::instance(), signal, this, [this, name](QJsonObject* o, const QString& e) {
            record(QStringLiteral("%1(%2, %3)").arg(name, json(o), quoted(e)));
        });
    };
    auto onArray = [this](void (API::*signal)(QJsonArray*, QString), const QString& name) {
        connect(API::instance(), signal, this, [this, name](QJsonArray* a, const QString& e) {
            record(QStringLiteral("%1(%2, %3)").arg(name, json(a), quoted(e)));
        });
    };
    auto onBool = [this](void (API::*signal)(bool, QString), const QString& name) {
        connect(API::instance(), signal, this, [this, name](bool ok, const QString& e) {
            record(QStringLiteral("%1(%2, %3)").arg(name, flag(ok), quoted(e)));
        });
    };
    auto onInt = [this](void (API::*signal)(int, QString), const QString& name) {
        connect(API::instance(), signal, this, [this, name](int n, const QString& e) {
            record(QStringLiteral("%1(%2, %3)").arg(name).arg(n).arg(quoted(e)));
        });
    };
    Q_ASSERT(api == API::instance());

    onObject(&API::signal_fetch_profile_finished, QStringLiteral("fetch_profile"));
    onObject(&API::signal_fetch_serviceinfo_finished, QStringLiteral("fetch_serviceinfo"));
    onArray(&API::signal_fetch_truck_finished, QStringLiteral("fetch_truck"));
    onArray(&API::signal_fetch_shipper_finished, QStringLiteral("fetch_shipper"));
    onArray(&API::signal_fetch_consignee_finished, QStringLiteral("fetch_consignee"));
    onArray(&API::signal_fetch_trade_finished, QStringLiteral("fetch_trade"));
    onArray(&API::signal_fetch_my_product_finished, QStringLiteral("fetch_my_product"));
    onObject(&API::signal_fetch_notification_finished, QStringLiteral("fetch_notification"));
    onObject(&API::signal_fetch_version_finished, QStringLiteral("fetch_version"));
    onBool(&API::signal_submit_truck_finished, QStringLiteral("submit_truck"));
    onInt(&API::signal_submit_shipper_finished, QStringLiteral("submit_shipper"));
    onInt(&API::signal_submit_consignee_finished, QStringLiteral("submit_consignee"));
    onBool(&API::signal_submit_trade_finished, QStringLiteral("submit_trade"));
    onBool(&API::signal_submit_profile_finished, QStringLiteral("submit_profile"));
    onBool(&API::signal_submit_password_finished, QStringLiteral("submit_password"));
    onBool(&API::signal_submit_sms_finished, QStringLiteral("submit_sms"));
    onBool(&API::signal_submit_feedback_finished, QStringLiteral("submit_feedback"));
    connect(api, &API::signal_change_truck_status_finished, this, [this](bool ok, int status, const QString& e) {
        record(QStringLiteral("change_truck_status(%1, %2, %3)").arg(flag(ok)).arg(status).arg(quoted(e)));
    });
    onBool(&API::signal_change_trade_status_finished, QStringLiteral("change_trade_status"));
    onBool(&API::signal_delete_truck_finished, QStringLiteral("delete_truck"));
    onBool(&API::signal_delete_shipper_finished, QStringLiteral("delete_shipper"));
    onBool(&API::signal_delete_consignee_finished, QStringLiteral("delete_consignee"));
    connect(api, &API::signal_exit, this, [this] { record(QStringLiteral("exit()")); });
}

void ApiRecorder::record(const QString& line)
{
    results << line;
    all << line;
}

bool ApiRecorder::waitForResults(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return results.size() >= count; }, timeoutMs);
}

bool ApiRecorder::waitForIdle(int timeoutMs)
{
    return QTest::qWaitFor([&] { return transFinishes >= transStarts; }, timeoutMs);
}

void ApiRecorder::clear()
{
    results.clear();
    all.clear();
    transStarts = 0;
    transFinishes = 0;
}

bool ApiRecorder::signIn(RecordingHttpServer& server)
{
    return signInForTesting(server,
        R"({"success":true,"user":42,"organ":7,"token":"tk",)"
        R"("sub_account":"sa","sub_account_pwd":"sp",)"
        R"("voip_account":"va","voip_pwd":"vp"})");
}
