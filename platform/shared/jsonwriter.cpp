#include "jsonwriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

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
    // One resize for the separator, the quoted name and the colon: the lists
    // write hundreds of keys an answer.
    const int length = static_cast<int>(std::strlen(name));
    const int start = out.size();
    out.resize(start + (comma ? 1 : 0) + length + 3);
    char* d = out.data() + start;
    if (comma)
        *d++ = ',';
    *d++ = '"';
    d = std::copy(name, name + length, d);
    *d++ = '"';
    *d = ':';
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

namespace {

const char hex[] = "0123456789abcdef";

// Writes `c` (below 0x80) at `d`, escaped as Qt escapes it; returns the end.
inline char* ascii(char16_t c, char* d)
{
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
    return d;
}

} // namespace

bool JsonWriter::valueFromUtf8(const char* data, int size)
{
    const int mark = out.size();
    const bool hadComma = comma;
    separate();
    const int start = out.size();
    out.resize(start + 2 + 6 * size);
    char* d = out.data() + start;
    *d++ = '"';
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const unsigned char* const end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            d = ascii(c, d);
            ++p;
            continue;
        }
        // The lead byte sets the length and the range of the second byte,
        // which excludes overlong forms, surrogates and code points beyond
        // U+10FFFF.
        int length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xbf;
        if (c >= 0xc2 && c <= 0xdf) {
            length = 2;
        } else if (c >= 0xe0 && c <= 0xef) {
            length = 3;
            low = c == 0xe0 ? 0xa0 : low;
            high = c == 0xed ? 0x9f : high;
        } else if (c >= 0xf0 && c <= 0xf4) {
            length = 4;
            low = c == 0xf0 ? 0x90 : low;
            high = c == 0xf4 ? 0x8f : high;
        }
        bool wellFormed = length > 0 && end - p >= length && p[1] >= low && p[1] <= high;
        for (int i = 2; wellFormed && i < length; ++i)
            wellFormed = (p[i] & 0xc0) == 0x80;
        if (wellFormed && c == 0xef)
            wellFormed = !(p[1] == 0xbb && p[2] == 0xbf) && !(p[1] == 0xbf && p[2] >= 0xbe);
        if (!wellFormed) {
            out.resize(mark);
            comma = hadComma;
            return false;
        }
        d = std::copy(p, p + length, d);
        p += length;
    }
    *d++ = '"';
    out.resize(static_cast<int>(d - out.constData()));
    return true;
}

void JsonWriter::string(const QString& text)
{
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
            d = ascii(c, d);
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

void JsonWriter::writeInteger(qint64 number)
{
    // Every id and code of a list passes here: std::to_chars costs a
    // fraction of a general conversion.
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, number);
    out.append(text, static_cast<int>(written.ptr - text));
}

bool JsonWriter::writeHundredths(double number)
{
    // Weights, prices and sizes have at most two decimals. When `number` is
    // the double nearest to such a decimal of at most eight digits, that
    // decimal is its shortest form that reads back the same (no other
    // decimal of fifteen digits or fewer has the same nearest double), and
    // the general conversion writes it without an exponent.
    const double hundredths = std::round(number * 100);
    if (hundredths / 100 != number)
        return false;
    const auto rest = static_cast<qint64>(std::abs(hundredths));
    if (number < 0)
        out += '-';
    writeInteger(rest / 100);
    out += '.';
    out += static_cast<char>('0' + rest / 10 % 10);
    if (rest % 10 != 0)
        out += static_cast<char>('0' + rest % 10);
    return true;
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
    else if (number != std::floor(number) && magnitude < 1e6 && writeHundredths(number))
        return *this;
    else if (number != std::floor(number) || magnitude >= unsignedLimit)
        out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
    else if (magnitude <= exact)
        writeInteger(static_cast<qint64>(number));
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
