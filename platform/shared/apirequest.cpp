#include "apirequest.h"

#include "apierror.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTextCodec>

#include <cmath>
#include <limits>

namespace platform {

namespace {

bool decodeUtf8(const QByteArray& bytes, QString* text)
{
    if (bytes.contains('\0'))
        return false;
    static QTextCodec* const utf8 = QTextCodec::codecForName("UTF-8");
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    *text = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

bool isPlainInteger(const QString& text, bool allowSign)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= u'0' && c <= u'9')
            continue;
        if (i == 0 && allowSign && c == u'-' && text.size() > 1)
            continue;
        return false;
    }
    return true;
}

const qint64 maxId = std::numeric_limits<qint32>::max();

} // namespace

ApiRequest::ApiRequest(const QString& method, const QStringList& segments, const RawParams& raw)
    : verb(method)
    , pathSegments(segments)
{
    for (const auto& pair : raw) {
        QString key;
        QString value;
        if (!decodeUtf8(pair.first, &key) || !decodeUtf8(pair.second, &value)) {
            wellFormed = false;
            continue;
        }
        if (!params.contains(key))
            params.insert(key, value);
    }
    for (const QString& segment : segments) {
        if (segment.contains(QChar::ReplacementCharacter) || segment.contains(QChar(0)))
            wellFormed = false;
    }
}

QString ApiRequest::text(const QString& key, const QString& label, int maxLength, bool required) const
{
    // Line breaks are kept (as LF) for notes and summaries; every other
    // control character goes, as it means nothing on a screen and costs six
    // bytes in every answer that shows the text.
    static const QRegularExpression lineBreak(QStringLiteral("\\r\\n?"));
    static const QRegularExpression control(QStringLiteral("[\\x{0}-\\x{9}\\x{b}-\\x{1f}\\x{7f}-\\x{9f}]"));
    QString text = params.value(key);
    text.replace(lineBreak, QStringLiteral("\n"));
    text.remove(control);
    text = text.trimmed();
    if (required && text.isEmpty())
        throw ApiError(QStringLiteral("请输入%1！").arg(label));
    if (text.size() > maxLength)
        throw ApiError(QStringLiteral("%1不能超过%2个字！").arg(label).arg(maxLength));
    return text;
}

QString ApiRequest::name(const QString& key, const QString& label, int maxLength, bool required) const
{
    static const QRegularExpression invisible(QStringLiteral("[\\p{Cc}\\p{Cf}]"));
    QString text = params.value(key);
    text.remove(invisible);
    text = text.normalized(QString::NormalizationForm_C).trimmed();
    if (required && text.isEmpty())
        throw ApiError(QStringLiteral("请输入%1！").arg(label));
    if (text.size() > maxLength)
        throw ApiError(QStringLiteral("%1不能超过%2个字！").arg(label).arg(maxLength));
    return text;
}

QString ApiRequest::matching(
    const QString& key, const QString& label, const QRegularExpression& pattern, bool required) const
{
    const QString text = params.value(key).trimmed();
    if (required && text.isEmpty())
        throw ApiError(QStringLiteral("请输入%1！").arg(label));
    if (!text.isEmpty() && !pattern.match(text).hasMatch())
        throw ApiError(QStringLiteral("%1格式不正确！").arg(label));
    return text;
}

double ApiRequest::decimal(const QString& key, const QString& label, double min, double max, int decimals,
    bool required, double fallback) const
{
    const QString text = params.value(key).trimmed();
    if (text.isEmpty()) {
        if (required)
            throw ApiError(QStringLiteral("请输入%1！").arg(label));
        return fallback;
    }
    // Plain decimals only, as the client takes them: no exponent ("1e3" is
    // not a thousand a clerk typed), no infinity or NaN, no grouping.
    static const QRegularExpression plain(QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    bool ok = plain.match(text).hasMatch();
    const double number = ok ? QLocale::c().toDouble(text, &ok) : 0;
    if (!ok || !std::isfinite(number))
        throw ApiError(QStringLiteral("%1必须是数字！").arg(label));
    if (number < min || number > max)
        throw ApiError(QStringLiteral("%1超出允许的范围！").arg(label));
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(number * scale) / scale;
    return rounded == 0 ? 0 : rounded; // no "-0"
}

qint64 ApiRequest::integer(
    const QString& key, const QString& label, qint64 min, qint64 max, bool required, qint64 fallback) const
{
    const QString text = params.value(key).trimmed();
    if (text.isEmpty()) {
        if (required)
            throw ApiError(QStringLiteral("请输入%1！").arg(label));
        return fallback;
    }
    bool ok = isPlainInteger(text, true);
    const qint64 number = ok ? text.toLongLong(&ok) : 0;
    if (!ok || number < min || number > max)
        throw ApiError(QStringLiteral("%1无效！").arg(label));
    return number;
}

qint64 ApiRequest::id(const QString& key, const QString& label) const
{
    const QString text = params.value(key).trimmed();
    if (text.isEmpty() || text == QLatin1String("0"))
        throw ApiError(QStringLiteral("请选择%1！").arg(label));
    qint64 number = 0;
    if (!parseId(text, &number))
        throw ApiError(QStringLiteral("%1无效！").arg(label));
    return number;
}

qint64 ApiRequest::segmentId(int index, const QString& label) const
{
    qint64 number = 0;
    if (index < 0 || index >= pathSegments.size() || !parseId(pathSegments.at(index), &number))
        throw ApiError(QStringLiteral("%1编号无效！").arg(label));
    return number;
}

qint64 ApiRequest::page() const
{
    if (!params.contains(QStringLiteral("page")))
        return 1;
    qint64 number = 0;
    if (!parseId(params.value(QStringLiteral("page")).trimmed(), &number))
        throw ApiError(QStringLiteral("页码无效！"));
    return number;
}

void ApiRequest::setSession(qint64 user, qint64 organ)
{
    sessionUser = user;
    sessionOrgan = organ;
}

void ApiRequest::requireOwnOrgan() const
{
    const QString organ = params.value(QStringLiteral("organ")).trimmed();
    if (!organ.isEmpty() && organ != QString::number(sessionOrgan))
        throw ApiError(QStringLiteral("无权操作其他货站的数据！"));
}

bool ApiRequest::parseId(const QString& text, qint64* id)
{
    if (!isPlainInteger(text, false))
        return false;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || number < 1 || number > maxId)
        return false;
    *id = number;
    return true;
}

} // namespace platform
