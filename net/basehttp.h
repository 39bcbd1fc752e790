#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// The one channel between the client and the management platform's HTTP API.
// Turns a path and a request code into a GET or a form-encoded POST, tags the
// reply with the code (dynamic property "mothed") and hands every finished
// reply to slot_finished(), which the derived API implements.
class BaseHttp : public QObject
{
    Q_OBJECT

public:
    explicit BaseHttp(QObject* parent = nullptr);
    ~BaseHttp() override;

    // Base address + path; `path` begins with "/" and carries its own query.
    // Returns the request's number (see requestNumberOf()).
    int performGet(const QString& path, int code);
    // Base address + path, the parameters form-encoded in ascending key order.
    // Returns the request's number.
    int performPost(const QString& path, const QMap<QString, QString>& params, int code);

    // Every request gets a number of its own, counting up from 1 in the order
    // the requests were sent; 0 is never a request. The number travels on
    // the reply, so that an answer can be told apart from the answers to
    // other requests of the same kind, which may arrive in any order.
    static int requestNumberOf(const QNetworkReply* reply);
    // Requests sent whose replies have not finished yet.
    int requestsInFlight() const { return inFlight; }

    // Whether the platform was reached by the latest request that finished:
    // false once a request could not reach it (refused, unreachable, timed
    // out), true again once one was answered, whatever the answer said.
    // True before any request has finished.
    bool isConnected() const { return connected; }

    // "http://" + platform host + "/api"; the host is PlatformAddress's.
    static QString baseAddress();

    // The form body: every pair as percent-encoded key "=" value "&", keys in
    // ascending order; the trailing "&" stays; an empty map gives "".
    static QByteArray encodeForm(const QMap<QString, QString>& params);

    // Every request is given up after this long and then ends like any other
    // transport error.
    static constexpr int DefaultTransferTimeoutMs = 30000;
    // The time-out that every request (downloadImage's too) is given now.
    static int transferTimeout();

    // Test seams: the application never calls these.
    static void setBaseAddressForTesting(const QString& base);
    static void setTransferTimeoutForTesting(int ms);
    // Closes the kept-alive connections, so a test server can stop at once.
    void dropConnectionsForTesting();

signals:
    void signal_trans_start();
    void signal_trans_finished();
    // isConnected() changed; emitted before the answer that changed it is
    // handed on.
    void signal_connection_changed(bool connected);

public slots:
    virtual void slot_finished(QNetworkReply* reply) = 0;

private:
    // The network manager, made by the first request: setting one up loads
    // the platform's network plugins, which nothing needs before a request
    // is sent (the login dialog's first paint least of all).
    QNetworkAccessManager* networkManager();
    int send(QNetworkReply* reply, int code);
    void noteOutcome(const QNetworkReply* reply);

    QNetworkAccessManager* manager = nullptr;

    int lastRequestNumber = 0;
    int inFlight = 0;
    bool connected = true;
};
