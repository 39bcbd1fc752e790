#include "messageservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "platformmetrics.h"
#include "sessionservice.h"
#include "sql.h"

#include <QDate>
#include <QRegularExpression>

namespace platform {

ApiReply MessageService::sendSms(ApiContext& context)
{
    // Text messages reach mobile numbers only: eleven digits starting 13 to 19.
    static const QRegularExpression mobile(QStringLiteral("^1[3-9]\\d{9}$"));
    const ApiRequest& request = context.request;
    const QString number = request.value(QStringLiteral("number")).trimmed();
    if (number.isEmpty())
        throw ApiError(QStringLiteral("请输入手机号码！"));
    if (!mobile.match(number).hasMatch())
        throw ApiError(QStringLiteral("手机号码%1无效，短信只能发送到手机！").arg(number.left(20)));
    const QString content = request.value(QStringLiteral("content")).trimmed();
    if (content.isEmpty())
        throw ApiError(QStringLiteral("短信内容不能为空！"));
    if (content.size() > 500)
        throw ApiError(QStringLiteral("短信内容不能超过500个字！"));
    // A station queues a bounded number of messages a day, whoever signs in.
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const qint64 sentToday = Sql::scalar(context.db,
        QStringLiteral("SELECT COUNT(*) FROM sms_outbox WHERE organ = ? AND create_time >= ?"),
        { request.organ(), today })
                                 .toLongLong();
    if (sentToday >= context.limits.smsPerDay) {
        PlatformMetrics::instance().refused("sms_per_day");
        throw ApiError(QStringLiteral("今天的短信已达%1条的上限，请明天再发！").arg(context.limits.smsPerDay));
    }
    Sql q(context.db,
        QStringLiteral("INSERT INTO sms_outbox (organ, user, number, content, create_time)"
                       " VALUES (?, ?, ?, ?, ?)"));
    q.bind(request.organ()).bind(request.user()).bind(number).bind(content).bind(SessionService::now()).exec();
    return ApiReply::ok().with(QStringLiteral("sms_id"), q.lastInsertId());
}

ApiReply MessageService::addFeedback(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const qint64 type = request.integer(QStringLiteral("type"), QStringLiteral("反馈类别"), 0, 2, true);
    const QString content = request.value(QStringLiteral("content")).trimmed();
    if (content.isEmpty())
        throw ApiError(QStringLiteral("请输入反馈内容！"));
    if (content.size() > 800)
        throw ApiError(QStringLiteral("反馈内容不能超过800个字！"));
    Sql q(context.db,
        QStringLiteral("INSERT INTO feedback (organ, user, type, content, create_time)"
                       " VALUES (?, ?, ?, ?, ?)"));
    q.bind(request.organ()).bind(request.user()).bind(type).bind(content).bind(SessionService::now()).exec();
    return ApiReply::ok();
}

} // namespace platform
