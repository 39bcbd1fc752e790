#include "requestanswers.h"

#include "apierror.h"
#include "apirequest.h"
#include "sql.h"

#include <QRegularExpression>

namespace platform {

QString RequestAnswers::idOf(const ApiRequest& request)
{
    const QString id = request.value(QStringLiteral("request_id"));
    if (id.isEmpty())
        return id;
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{32}$"));
    if (!form.match(id).hasMatch())
        throw ApiError(QStringLiteral("请求编号无效！"));
    return id;
}

bool RequestAnswers::find(
    const QSqlDatabase& db, qint64 organ, const QString& id, const QString& route, qint64 nowMs, Answer* answer)
{
    Sql q(db,
        QStringLiteral("SELECT path, status, body FROM request_answers"
                       " WHERE organ = ? AND request_id = ? AND created >= ?"));
    q.bind(organ).bind(id).bind(nowMs - keptMs).exec();
    if (!q.next())
        return false;
    // One id is one action of the user: the same id on another request is
    // the client's mistake, and the answer kept would not be this one's.
    if (q.text(0) != route)
        throw ApiError(QStringLiteral("请求编号已用于其他操作！"));
    answer->status = static_cast<int>(q.integer(1));
    answer->body = q.text(2).toUtf8();
    return true;
}

void RequestAnswers::keep(
    const QSqlDatabase& db, qint64 organ, const QString& id, const QString& route, qint64 nowMs, const Answer& answer)
{
    // An expired answer for this very id goes too, so the key stays free.
    Sql expired(db, QStringLiteral("DELETE FROM request_answers WHERE organ = ? AND created < ?"));
    expired.bind(organ).bind(nowMs - keptMs).exec();
    Sql q(db,
        QStringLiteral("INSERT INTO request_answers (organ, request_id, path, status, body, created)"
                       " VALUES (?, ?, ?, ?, ?, ?)"));
    q.bind(organ).bind(id).bind(route).bind(answer.status).bind(QString::fromUtf8(answer.body)).bind(nowMs).exec();
}

} // namespace platform
