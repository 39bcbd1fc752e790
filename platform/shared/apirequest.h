#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace platform {

// One decoded request as the services see it: the method, the path segments
// below "/api", the query and form parameters (the first of a repeated key
// wins) and, once the session is checked, the signed-in user and station.
// The readers trim texts, check them and throw ApiError with a message fit
// for the user.
class ApiRequest
{
public:
    using RawParams = QList<QPair<QByteArray, QByteArray>>;

    ApiRequest(const QString& method, const QStringList& segments, const RawParams& params);

    const QString& method() const { return verb; }
    const QStringList& segments() const { return pathSegments; }
    // False when a parameter's key or value is not valid UTF-8 or holds a NUL.
    bool isWellFormed() const { return wellFormed; }

    bool has(const QString& key) const { return params.contains(key); }
    // The value as sent, untrimmed; empty when absent.
    QString value(const QString& key) const { return params.value(key); }

    // A trimmed text of at most `maxLength` characters, without control
    // characters but the line feed (a CR LF or a lone CR becomes one); a
    // required one must not be empty.
    QString text(const QString& key, const QString& label, int maxLength, bool required) const;
    // A name that has to be unique: text() without control and invisible
    // format characters, in Unicode normalisation form C, so that names that
    // look the same are the same.
    QString name(const QString& key, const QString& label, int maxLength, bool required) const;
    // A trimmed text that, when required or not empty, matches `pattern`.
    QString matching(const QString& key, const QString& label, const QRegularExpression& pattern, bool required) const;
    // A decimal number in [min, max], rounded to `decimals` places. An absent
    // or empty optional value gives `fallback`.
    double decimal(const QString& key, const QString& label, double min, double max, int decimals, bool required,
        double fallback = 0) const;
    // A signed integer in [min, max]; absent or empty gives `fallback` unless required.
    qint64 integer(
        const QString& key, const QString& label, qint64 min, qint64 max, bool required, qint64 fallback = 0) const;
    // A record id: a positive decimal number.
    qint64 id(const QString& key, const QString& label) const;
    // The record id in path segment `index`.
    qint64 segmentId(int index, const QString& label) const;
    // The "page" parameter: 1 when absent.
    qint64 page() const;

    // The session, once checked by the router.
    qint64 user() const { return sessionUser; }
    qint64 organ() const { return sessionOrgan; }
    void setSession(qint64 user, qint64 organ);
    // Refuses a record submission whose "organ" names another station than
    // the session's (an absent "organ" is the session's).
    void requireOwnOrgan() const;

    static bool parseId(const QString& text, qint64* id);

private:
    QString verb;
    QStringList pathSegments;
    QHash<QString, QString> params;
    bool wellFormed = true;
    qint64 sessionUser = 0;
    qint64 sessionOrgan = 0;
};

} // namespace platform
