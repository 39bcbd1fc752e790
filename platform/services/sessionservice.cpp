#include "sessionservice.h"

#include "apicontext.h"
#include "apierror.h"
#include "changelog.h"
#include "credentials.h"
#include "loginthrottle.h"
#include "phonerules.h"
#include "platformmetrics.h"
#include "sql.h"
#include "storage.h"
#include "transaction.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <mutex>

namespace platform {

namespace {

// New passwords are at least this long; the demo accounts keep their
// shorter ones, as nothing checks the length of a stored password.
const int minPasswordLength = 8;
const int maxPasswordLength = 64;

// How often a session's last use is written: a request within this time
// after the last written one writes nothing.
const int lastSeenResolutionSeconds = 60;

QString timeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// The local time `secondsAgo` seconds before now, as text. Every request's
// session check asks for the same few within one second, and local time
// conversions are dear: the last texts of the current second are kept.
QString timeTextAgo(qint64 secondsAgo)
{
    struct Kept
    {
        qint64 second = -1;
        qint64 ago = 0;
        QString text;
    };
    thread_local Kept kept[4];
    thread_local int nextSlot = 0;
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    for (const Kept& k : kept) {
        if (k.second == second && k.ago == secondsAgo)
            return k.text;
    }
    Kept& slot = kept[nextSlot];
    nextSlot = (nextSlot + 1) % 4;
    slot = { second, secondsAgo, timeText(QDateTime::fromSecsSinceEpoch(second - secondsAgo)) };
    return slot.text;
}

// The oldest sign-in and the oldest last use that a live session may have.
QString oldestCreation(const ServiceLimits& limits)
{
    return timeTextAgo(limits.sessionMaxAgeSeconds);
}

QString oldestUse(const ServiceLimits& limits)
{
    return timeTextAgo(limits.sessionIdleSeconds);
}

// Refuses an attempt that has to wait after earlier failures, before any
// password is looked at; otherwise the guess is counted as failed until
// LoginThrottle::succeeded() takes it back.
void countGuess(const ApiContext& context, const QString& name)
{
    const qint64 now = LoginThrottle::now();
    const LoginThrottle::Verdict verdict = context.throttle.attempt(context.db, name, context.peer, now);
    const qint64 wait = verdict.waitMs;
    if (wait <= 0)
        return;
    PlatformMetrics::instance().refused("sign_in_failures");
    if (verdict.locked)
        throw ApiError(QStringLiteral("密码错误次数过多，请%1分钟后再试！").arg((wait + 59999) / 60000));
    throw ApiError(QStringLiteral("密码错误次数过多，请%1秒后再试！").arg((wait + 999) / 1000));
}

std::mutex& hookMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<void()>& afterPasswordCheckHook()
{
    static std::function<void()> hook;
    return hook;
}

void afterPasswordCheck()
{
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        hook = afterPasswordCheckHook();
    }
    if (hook)
        hook();
}

QString wrongCredentials()
{
    return QStringLiteral("用户名或密码错误！");
}

QJsonObject dictionaryKind(const QSqlDatabase& db, const QString& kind)
{
    QJsonObject entries;
    Sql q(db, QStringLiteral("SELECT code, text FROM truck_dict WHERE kind = ? ORDER BY code"));
    q.bind(kind).exec();
    while (q.next())
        entries.insert(QString::number(q.integer(0)), q.text(1));
    return entries;
}

QString setting(const QSqlDatabase& db, const QString& key)
{
    return Sql::scalar(db, QStringLiteral("SELECT value FROM settings WHERE key = ?"), { key }, QString()).toString();
}

} // namespace

void SessionService::setAfterPasswordCheck(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(hookMutex());
    afterPasswordCheckHook() = std::move(hook);
}

QString SessionService::now()
{
    return timeTextAgo(0);
}

bool SessionService::checkSession(
    const QSqlDatabase& db, const QString& token, qint64 user, const ServiceLimits& limits, qint64* organ)
{
    if (token.isEmpty() || token.size() > 256)
        return false;
    const QString digest = Credentials::tokenDigest(token);
    qint64 station = 0;
    QString created;
    QString lastSeen;
    {
        Sql q(db,
            QStringLiteral("SELECT s.user, u.organ, s.create_time, s.last_seen FROM sessions s"
                           " JOIN users u ON u.id = s.user WHERE s.token_digest = ? AND u.disabled = 0"));
        q.bind(digest).exec();
        if (!q.next() || q.integer(0) != user)
            return false;
        station = q.integer(1);
        created = q.text(2);
        lastSeen = q.text(3).isEmpty() ? created : q.text(3);
    }
    if (created < oldestCreation(limits) || lastSeen < oldestUse(limits)) {
        Sql end(db, QStringLiteral("DELETE FROM sessions WHERE token_digest = ?"));
        end.bind(digest).exec();
        return false;
    }
    if (lastSeen < timeTextAgo(lastSeenResolutionSeconds)) {
        Sql touch(db, QStringLiteral("UPDATE sessions SET last_seen = ? WHERE token_digest = ?"));
        touch.bind(timeTextAgo(0)).bind(digest).exec();
    }
    *organ = station;
    return true;
}

bool SessionService::sessionLasts(
    const QSqlDatabase& db, const QString& tokenDigest, qint64 user, const ServiceLimits& limits)
{
    Sql q(db,
        QStringLiteral("SELECT s.create_time, s.last_seen FROM sessions s"
                       " JOIN users u ON u.id = s.user WHERE s.token_digest = ? AND s.user = ? AND u.disabled = 0"));
    q.bind(tokenDigest).bind(user).exec();
    if (!q.next())
        return false;
    const QString created = q.text(0);
    const QString lastSeen = q.text(1).isEmpty() ? created : q.text(1);
    return created >= oldestCreation(limits) && lastSeen >= oldestUse(limits);
}

void SessionService::purgeSessions(const QSqlDatabase& db, const ServiceLimits& limits)
{
    Sql purge(db,
        QStringLiteral("DELETE FROM sessions WHERE create_time < ?"
                       " OR (CASE WHEN last_seen = '' THEN create_time ELSE last_seen END) < ?"));
    purge.bind(oldestCreation(limits)).bind(oldestUse(limits)).exec();
}

qint64 SessionService::createUser(
    const QSqlDatabase& db, qint64 organ, const QString& username, const QString& password)
{
    return insertUser(db, organ, username, Credentials::hashPassword(password), QString(), QStringLiteral("station"));
}

qint64 SessionService::insertUser(const QSqlDatabase& db, qint64 organ, const QString& username,
    const QString& passwordHash, const QString& name, const QString& role)
{
    // A station's own account is named after the station's contact person
    // unless it is given a name.
    const QString shownName = name.isEmpty()
        ? Sql::scalar(db, QStringLiteral("SELECT linkman FROM organs WHERE id = ?"), { organ }, QString()).toString()
        : name;
    // The voice account is random; a clash with an existing one (as good as
    // impossible) is simply drawn again.
    for (int attempt = 0;; ++attempt) {
        try {
            Sql q(db,
                QStringLiteral("INSERT INTO users (organ, username, password_hash, sub_account,"
                               " sub_account_pwd, voip_account, voip_pwd, create_time, name, role)"
                               " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
            q.bind(organ)
                .bind(username)
                .bind(passwordHash)
                .bind(Credentials::randomHex(16))
                .bind(Credentials::randomHex(16))
                .bind(Credentials::randomDigits(14))
                .bind(Credentials::randomHex(4))
                .bind(now())
                .bind(shownName)
                .bind(role)
                .exec();
            return q.lastInsertId();
        } catch (const Sql::Error&) {
            if (attempt >= 3)
                throw;
        }
    }
}

ApiReply SessionService::login(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QString username = request.value(QStringLiteral("username"));
    const QString password = request.value(QStringLiteral("password"));
    if (username.trimmed().isEmpty())
        throw ApiError(QStringLiteral("请输入用户名！"));
    if (password.isEmpty())
        throw ApiError(QStringLiteral("请输入密码！"));
    if (username.size() > 64 || password.size() > 128)
        throw ApiError(wrongCredentials());
    countGuess(context, username);

    // The hash is checked outside any transaction: Argon2 takes a while and
    // must not hold the write lock.
    qint64 user = 0;
    qint64 organ = 0;
    QString hash;
    QJsonObject voice;
    bool disabled = false;
    {
        Sql q(context.db,
            QStringLiteral("SELECT id, organ, password_hash, sub_account, sub_account_pwd,"
                           " voip_account, voip_pwd, disabled FROM users WHERE username = ?"));
        q.bind(username).exec();
        if (q.next()) {
            user = q.integer(0);
            organ = q.integer(1);
            hash = q.text(2);
            voice.insert(QStringLiteral("sub_account"), q.text(3));
            voice.insert(QStringLiteral("sub_account_pwd"), q.text(4));
            voice.insert(QStringLiteral("voip_account"), q.text(5));
            voice.insert(QStringLiteral("voip_pwd"), q.text(6));
            disabled = q.integer(7) != 0;
        }
    }
    // An unknown name counts like a wrong password, so that guessing names
    // is as slow as guessing passwords; both were counted already.
    if (user == 0 || !Credentials::verifyPassword(hash, password)) {
        if (user == 0)
            Credentials::verifyAgainstDummy(password);
        throw ApiError(wrongCredentials());
    }
    context.throttle.succeeded(context.db, username, context.peer, LoginThrottle::now());
    // Only who knows the password learns that the account is stopped.
    if (disabled)
        throw ApiError(QStringLiteral("该账号已停用，请联系货站管理员！"));
    afterPasswordCheck();

    // The password may have changed while it was being checked: the session
    // is stored only while the hash that matched is still the user's, so a
    // change that commits first leaves this sign-in without a session.
    const QString token = Credentials::randomHex(32);
    Transaction transaction(context.db, Transaction::Write);
    {
        purgeSessions(context.db, context.limits);
        Sql insert(context.db,
            QStringLiteral("INSERT INTO sessions (token_digest, user, create_time)"
                           " SELECT ?, id, ? FROM users WHERE id = ? AND password_hash = ?"));
        insert.bind(Credentials::tokenDigest(token)).bind(now()).bind(user).bind(hash).exec();
        if (insert.rowsAffected() != 1)
            throw ApiError(wrongCredentials());
    }
    transaction.commit();

    ApiReply reply = ApiReply::ok();
    reply.with(QStringLiteral("user"), user).with(QStringLiteral("organ"), organ).with(QStringLiteral("token"), token);
    reply.with(QStringLiteral("username"), username);
    for (auto it = voice.constBegin(); it != voice.constEnd(); ++it)
        reply.with(it.key(), it.value());
    return reply;
}

ApiReply SessionService::version(ApiContext& context)
{
    QJsonObject data;
    data.insert(QStringLiteral("version"), context.announcedVersion);
    data.insert(QStringLiteral("platform"), QStringLiteral("windesktop"));
    if (!context.host.isEmpty())
        data.insert(QStringLiteral("url"), QStringLiteral("http://%1/download/setup.exe").arg(context.host));
    return ApiReply::ok(data);
}

ApiReply SessionService::truckDict(ApiContext& context)
{
    QJsonObject data;
    data.insert(QStringLiteral("driving_mode"), dictionaryKind(context.db, QStringLiteral("driving_mode")));
    data.insert(QStringLiteral("tonnage"), dictionaryKind(context.db, QStringLiteral("tonnage")));
    data.insert(QStringLiteral("packingcase_mode"), dictionaryKind(context.db, QStringLiteral("packingcase_mode")));
    return ApiReply::ok(data);
}

ApiReply SessionService::serviceInfo(ApiContext& context)
{
    QJsonObject data;
    data.insert(QStringLiteral("mobile"), setting(context.db, QStringLiteral("service_mobile")));
    data.insert(QStringLiteral("qq"), setting(context.db, QStringLiteral("service_qq")));
    return ApiReply::ok(data);
}

ApiReply SessionService::notification(ApiContext&)
{
    QJsonObject data;
    data.insert(QStringLiteral("unread"), 0);
    data.insert(QStringLiteral("notifications"), QJsonArray());
    return ApiReply::ok(data);
}

ApiReply SessionService::profile(ApiContext& context)
{
    return ApiReply::ok(profileOf(context));
}

QJsonObject SessionService::profileOf(const ApiContext& context)
{
    Sql q(context.db,
        QStringLiteral("SELECT o.id, o.name, o.linkman, o.mobile_number, o.address, o.summary,"
                       " u.username, o.version FROM users u JOIN organs o ON o.id = u.organ WHERE u.id = ?"));
    q.bind(context.request.user()).exec();
    if (!q.next())
        throw ApiError(QStringLiteral("用户不存在！"));
    QJsonObject data;
    data.insert(QStringLiteral("organ_id"), q.integer(0));
    data.insert(QStringLiteral("organ"), q.text(1));
    data.insert(QStringLiteral("name"), q.text(2));
    data.insert(QStringLiteral("mobile_number"), q.text(3));
    data.insert(QStringLiteral("address"), q.text(4));
    data.insert(QStringLiteral("summary"), q.text(5));
    data.insert(QStringLiteral("username"), q.text(6));
    data.insert(QStringLiteral("user"), context.request.user());
    data.insert(QStringLiteral("version"), q.integer(7));
    return data;
}

ApiReply SessionService::editProfile(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QRegularExpression& phone = phoneNumber();
    struct Field
    {
        QString key;
        QString value;
    };
    QList<Field> fields;
    if (request.has(QStringLiteral("name")))
        fields.append(
            { QStringLiteral("linkman"), request.text(QStringLiteral("name"), QStringLiteral("联系人"), 20, true) });
    if (request.has(QStringLiteral("mobile_number")))
        fields.append({ QStringLiteral("mobile_number"),
            request.matching(QStringLiteral("mobile_number"), QStringLiteral("联系电话"), phone, false) });
    if (request.has(QStringLiteral("address")))
        fields.append(
            { QStringLiteral("address"), request.text(QStringLiteral("address"), QStringLiteral("地址"), 200, false) });
    if (request.has(QStringLiteral("summary")))
        fields.append(
            { QStringLiteral("summary"), request.text(QStringLiteral("summary"), QStringLiteral("简介"), 500, false) });
    if (fields.isEmpty())
        throw ApiError(QStringLiteral("没有需要修改的资料！"));
    // One statement, so that one save is one new version of the profile. The
    // column names come from the list above, never from the request.
    QStringList assignments;
    for (const Field& field : qAsConst(fields))
        assignments << field.key + QStringLiteral(" = ?");
    Sql q(context.db,
        QStringLiteral("UPDATE organs SET %1, version = version + 1 WHERE id = ?")
            .arg(assignments.join(QStringLiteral(", "))));
    for (const Field& field : qAsConst(fields))
        q.bind(field.value);
    q.bind(request.organ()).exec();
    const qint64 version
        = Sql::scalar(context.db, QStringLiteral("SELECT version FROM organs WHERE id = ?"), { request.organ() }, 0)
              .toLongLong();
    ChangeLog::append(context, QStringLiteral("profile"), request.organ(), version);
    return ApiReply::ok();
}

ApiReply SessionService::editPassword(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QString oldPassword = request.value(QStringLiteral("old_password"));
    const QString newPassword = request.value(QStringLiteral("new_password"));
    if (oldPassword.isEmpty())
        throw ApiError(QStringLiteral("请输入原密码！"));
    checkNewPassword(newPassword);
    if (oldPassword.size() > 128)
        throw ApiError(QStringLiteral("原密码错误！"));
    // The old password is guessed no faster here than at sign-in: failures
    // count against the same name and address.
    QString hash;
    QString username;
    {
        Sql q(context.db, QStringLiteral("SELECT password_hash, username FROM users WHERE id = ?"));
        q.bind(request.user()).exec();
        if (q.next()) {
            hash = q.text(0);
            username = q.text(1);
        }
    }
    countGuess(context, username);
    if (!Credentials::verifyPassword(hash, oldPassword))
        throw ApiError(QStringLiteral("原密码错误！"));
    context.throttle.succeeded(context.db, username, context.peer, LoginThrottle::now());
    const QString subAccount = changePassword(context.db, request.user(), hash, newPassword,
        Credentials::tokenDigest(request.value(QStringLiteral("token"))));
    context.storage.endVoiceSessions(subAccount);
    return ApiReply::ok();
}

bool SessionService::acceptablePassword(const QString& password)
{
    // Counted as the user sees it: an emoji or an accented letter is one
    // character, an invisible format character none. The login's limit of
    // 128 UTF-16 units bounds what is stored.
    const int length = Credentials::passwordLength(password);
    return length >= minPasswordLength && length <= maxPasswordLength && password.size() <= 128;
}

void SessionService::checkNewPassword(const QString& newPassword)
{
    if (!acceptablePassword(newPassword))
        throw ApiError(QStringLiteral("新密码须为%1到%2个字符！").arg(minPasswordLength).arg(maxPasswordLength));
}

QString SessionService::changePassword(const QSqlDatabase& db, qint64 user, const QString& oldHash,
    const QString& newPassword, const QString& keptTokenDigest)
{
    checkNewPassword(newPassword);
    const QString newHash = Credentials::hashPassword(newPassword);

    QString subAccount;
    Transaction transaction(db, Transaction::Write);
    {
        Sql update(db, QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ? AND password_hash = ?"));
        update.bind(newHash).bind(user).bind(oldHash).exec();
        if (update.rowsAffected() != 1)
            throw ApiError(QStringLiteral("密码已被修改，请重新登录！"));
        // Other sessions of the user end with the old password.
        Sql drop(db, QStringLiteral("DELETE FROM sessions WHERE user = ? AND token_digest <> ?"));
        drop.bind(user).bind(keptTokenDigest).exec();
        // The voice account's secrets change with the password.
        subAccount = Storage::rotateVoiceSecrets(db, user);
    }
    transaction.commit();
    return subAccount;
}

ApiReply SessionService::visitStart(ApiContext& context)
{
    const ApiRequest& request = context.request;
    const QString sessionId = request.text(QStringLiteral("sessionid"), QStringLiteral("会话编号"), 64, true);
    Sql q(context.db,
        QStringLiteral("INSERT INTO visits (organ, user, sessionid, platform, machine, os_version,"
                       " app_version, network_type, resolution, start_time)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.bind(request.organ())
        .bind(request.user())
        .bind(sessionId)
        .bind(request.text(QStringLiteral("platform"), QStringLiteral("平台"), 32, false))
        .bind(request.text(QStringLiteral("machine"), QStringLiteral("处理器类型"), 32, false))
        .bind(request.text(QStringLiteral("os_version"), QStringLiteral("系统版本"), 64, false))
        .bind(request.text(QStringLiteral("app_version"), QStringLiteral("程序版本"), 32, false))
        .bind(request.text(QStringLiteral("network_type"), QStringLiteral("网络类型"), 32, false))
        .bind(request.text(QStringLiteral("resolution"), QStringLiteral("分辨率"), 32, false))
        .bind(now())
        .exec();
    return ApiReply::ok();
}

ApiReply SessionService::visitEnd(ApiContext& context)
{
    // The client sends this as it exits: the session it came with ends here,
    // also when the visit is unknown.
    const ApiRequest& request = context.request;
    const QString sessionId = request.segments().at(2);
    Transaction transaction(context.db, Transaction::Write);
    Sql end(context.db, QStringLiteral("DELETE FROM sessions WHERE token_digest = ?"));
    end.bind(Credentials::tokenDigest(request.value(QStringLiteral("token")))).exec();
    bool known = false;
    if (!sessionId.isEmpty() && sessionId.size() <= 64) {
        Sql q(context.db,
            QStringLiteral("UPDATE visits SET end_time = ? WHERE user = ? AND sessionid = ? AND end_time = ''"));
        q.bind(now()).bind(request.user()).bind(sessionId).exec();
        // Ended before, ending again changes nothing.
        known = q.rowsAffected() > 0
            || Sql::scalar(context.db, QStringLiteral("SELECT COUNT(*) FROM visits WHERE user = ? AND sessionid = ?"),
                   { request.user(), sessionId })
                    .toLongLong()
                > 0;
    }
    transaction.commit();
    if (!known)
        throw ApiError(QStringLiteral("访问记录不存在！"));
    return ApiReply::ok();
}

} // namespace platform
