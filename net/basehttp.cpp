#include "net/basehttp.h"

#include "net/platformaddress.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

#include <limits>

namespace {

QString& baseAddressStorage()
{
    static QString base = PlatformAddress::apiBase();
    return base;
}

int& transferTimeoutStorage()
{
    static int timeoutMs = BaseHttp::DefaultTransferTimeoutMs;
    return timeoutMs;
}

// Keys whose values are secrets: the login password, the new and old
// passwords of a password change, the voice platform passwords and the
// session token.
bool isSecretKey(const QString& key)
{
    const QString lower = key.toLower();
    return lower.contains(QLatin1String("password")) || lower.endsWith(QLatin1String("pwd"))
        || lower == QLatin1String("token");
}

// The parameter map as the debug log shows it, secrets masked.
QMap<QString, QString> maskedForLog(const QMap<QString, QString>& params)
{
    QMap<QString, QString> shown = params;
    for (auto it = shown.begin(); it != shown.end(); ++it) {
        if (isSecretKey(it.key()))
            it.value() = QStringLiteral("***");
    }
    return shown;
}

// The address as the debug log shows it: the session token, which would let
// anyone who reads the log act as the signed-in user, is masked.
QString loggable(const QUrl& url)
{
    static const QRegularExpression token(QStringLiteral("([?&]token=)[^&#]*"));
    return url.toString().replace(token, QStringLiteral("\\1***"));
}

// The percent escapes that the caller put into the path (user values are
// encoded by the API) must reach the wire as they are: tolerant parsing keeps
// valid "%XX" sequences and encodes only what a URL cannot carry raw.
QUrl urlFor(const QString& path)
{
    return QUrl(baseAddressStorage() + path, QUrl::TolerantMode);
}

QNetworkRequest requestFor(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutStorage());
    return request;
}

} // namespace

BaseHttp::BaseHttp(QObject* parent)
    : QObject(parent)
{
}

BaseHttp::~BaseHttp()
{
    delete manager;
}

int BaseHttp::performGet(const QString& path, int code)
{
    emit signal_trans_start();
    const QUrl url = urlFor(path);
    qDebug() << loggable(url);
    return send(networkManager()->get(requestFor(url)), code);
}

int BaseHttp::performPost(const QString& path, const QMap<QString, QString>& params, int code)
{
    const QUrl url = urlFor(path);
    qDebug() << "Post with params #" << loggable(QUrl(path, QUrl::TolerantMode)) << maskedForLog(params);
    emit signal_trans_start();
    qDebug() << loggable(url);
    QNetworkRequest request = requestFor(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    return send(networkManager()->post(request, encodeForm(params)), code);
}

QNetworkAccessManager* BaseHttp::networkManager()
{
    if (!manager) {
        manager = new QNetworkAccessManager;
        // Counted before the answer is handled, so that a receiver of the
        // answer already sees this request as done.
        connect(manager, &QNetworkAccessManager::finished, this, [this](QNetworkReply* reply) {
            --inFlight;
            noteOutcome(reply);
        });
        connect(manager, &QNetworkAccessManager::finished, this, &BaseHttp::slot_finished);
    }
    return manager;
}

int BaseHttp::send(QNetworkReply* reply, int code)
{
    ++inFlight;
    // Wraps after two thousand million requests; 0 stays reserved.
    lastRequestNumber = lastRequestNumber == std::numeric_limits<int>::max() ? 1 : lastRequestNumber + 1;
    reply->setProperty("mothed", code);
    reply->setProperty("request", lastRequestNumber);
    return lastRequestNumber;
}

void BaseHttp::noteOutcome(const QNetworkReply* reply)
{
    // Errors below 200 are those of the connection, direct or through a proxy
    // (refused, host not found, time-out, closed before an answer); from 200
    // on the server answered, if only with an error.
    const QNetworkReply::NetworkError error = reply->error();
    const bool reached = error == QNetworkReply::NoError || error >= QNetworkReply::ContentAccessDenied;
    if (reached == connected)
        return;
    connected = reached;
    emit signal_connection_changed(connected);
}

int BaseHttp::requestNumberOf(const QNetworkReply* reply)
{
    return reply ? reply->property("request").toInt() : 0;
}

QString BaseHttp::baseAddress()
{
    return baseAddressStorage();
}

QByteArray BaseHttp::encodeForm(const QMap<QString, QString>& params)
{
    QByteArray body;
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        body += QUrl::toPercentEncoding(it.key());
        body += '=';
        body += QUrl::toPercentEncoding(it.value());
        body += '&';
    }
    return body;
}

void BaseHttp::setBaseAddressForTesting(const QString& base)
{
    baseAddressStorage() = base;
}

void BaseHttp::setTransferTimeoutForTesting(int ms)
{
    transferTimeoutStorage() = ms;
}

void BaseHttp::dropConnectionsForTesting()
{
    if (manager)
        manager->clearConnectionCache();
}

int BaseHttp::transferTimeout()
{
    return transferTimeoutStorage();
}
