#include "jsonwriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace platform {

void JsonWriter::separate()
{
    if (comma)
        out += ',';
    comma = true;
}

JsonWriter& JsonWriter::beginObject()
{
    separate();
    out += '{';
    comma = false;
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    out += '}';
    comma = true;
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    separate();
    out += '[';
    comma = false;
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    out += ']';
    comma = true;
    return *this;
}

JsonWriter& JsonWriter::key(const char* name)
{
    separate();
    out += '"';
    out += name;
    out += "\":";
    comma = false;
    return *this;
}

JsonWriter& JsonWriter::key(const QString& name)
{
    separate();
    string(name);
    out += ':';
    comma = false;
    return *this;
}

JsonWriter& JsonWriter::value(const QString& text)
{
    separate();
    string(text);
    return *this;
}

void JsonWriter::string(const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    // Room for the worst case (six bytes a unit), written through a pointer
    // and cut to what was used.
    const int start = out.size();
    out.resize(start + 2 + 6 * text.size());
    char* d = out.data() + start;
    *d++ = '"';
    const QChar* p = text.constData();
    const QChar* const end = p + text.size();
    while (p < end) {
        const char16_t c = p->unicode();
        ++p;
        if (c < 0x80) {
            char escaped = 0;
            switch (c) {
            case '"':
                escaped = '"';
                break;
            case '\\':
                escaped = '\\';
                break;
            case '\b':
                escaped = 'b';
                break;
            case '\f':
                escaped = 'f';
                break;
            case '\n':
                escaped = 'n';
                break;
            case '\r':
                escaped = 'r';
                break;
            case '\t':
                escaped = 't';
                break;
            default:
                break;
            }
            if (escaped) {
                *d++ = '\\';
                *d++ = escaped;
            } else if (c < 0x20) {
                const char escape[] = { '\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xf] };
                d = std::copy(escape, escape + sizeof escape, d);
            } else {
                *d++ = static_cast<char>(c);
            }
        } else if (c < 0x800) {
            *d++ = static_cast<char>(0xc0 | (c >> 6));
            *d++ = static_cast<char>(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && p < end && p->isLowSurrogate()) {
            const char32_t u = QChar::surrogateToUcs4(c, p->unicode());
            ++p;
            *d++ = static_cast<char>(0xf0 | (u >> 18));
            *d++ = static_cast<char>(0x80 | ((u >> 12) & 0x3f));
            *d++ = static_cast<char>(0x80 | ((u >> 6) & 0x3f));
            *d++ = static_cast<char>(0x80 | (u & 0x3f));
        } else if (QChar::isSurrogate(c)) {
            // A surrogate without its partner is no character: Qt escapes it.
            const char escape[] = { '\\', 'u', hex[c >> 12], hex[(c >> 8) & 0xf], hex[(c >> 4) & 0xf], hex[c & 0xf] };
            d = std::copy(escape, escape + sizeof escape, d);
        } else {
            *d++ = static_cast<char>(0xe0 | (c >> 12));
            *d++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            *d++ = static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    *d++ = '"';
    out.resize(static_cast<int>(d - out.constData()));
}

JsonWriter& JsonWriter::value(double number)
{
    separate();
    // As Qt: a whole number up to 2^53 is kept as an integer; a larger whole
    // one below 2^64 is written without an exponent; anything else in the
    // shortest form that reads back the same.
    const double exact = 9007199254740992.0; // 2^53
    const double unsignedLimit = 18446744073709551616.0; // 2^64
    const double magnitude = std::abs(number);
    if (!std::isfinite(number))
        out += "null";
    else if (number != std::floor(number) || magnitude >= unsignedLimit)
        out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
    else if (magnitude <= exact)
        out += QByteArray::number(static_cast<qint64>(number));
    else
        out += QByteArray::number(number, 'f', QLocale::FloatingPointShortest);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag)
{
    separate();
    out += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::value(const QJsonValue& any)
{
    switch (any.type()) {
    case QJsonValue::Bool:
        return value(any.toBool());
    case QJsonValue::Double:
        return value(any.toDouble());
    case QJsonValue::String:
        return value(any.toString());
    case QJsonValue::Array: {
        beginArray();
        const QJsonArray array = any.toArray();
        for (const QJsonValue& item : array)
            value(item);
        return endArray();
    }
    case QJsonValue::Object: {
        beginObject();
        const QJsonObject object = any.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it)
            key(it.key()).value(it.value());
        return endObject();
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    separate();
    out += "null";
    return *this;
}

JsonWriter& JsonWriter::raw(const QByteArray& json)
{
    separate();
    out += json;
    return *this;
}

} // namespace platform
