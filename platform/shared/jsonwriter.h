#pragma once

#include <QByteArray>
#include <QString>

class QJsonValue;

namespace platform {

// Compact JSON written straight into bytes: the same bytes that
// QJsonDocument::toJson(QJsonDocument::Compact) makes of the same values, at
// a fraction of the cost (no document is built). Numbers are written as Qt
// writes its doubles; texts are escaped as Qt escapes them.
//
// The writer does not sort: the keys of an object must be written in the
// order in which QJsonObject keeps them (ascending by UTF-16 code units, so
// "a_b" before "aa" before "b"), or the bytes differ from Qt's.
class JsonWriter
{
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The next key of the current object (ASCII, without characters to escape).
    JsonWriter& key(const char* name);
    JsonWriter& key(const QString& name);

    JsonWriter& value(const QString& text);
    JsonWriter& value(double number);
    JsonWriter& value(qint64 number) { return value(static_cast<double>(number)); }
    JsonWriter& value(int number) { return value(static_cast<double>(number)); }
    JsonWriter& value(bool flag);
    // The text `data` (`size` bytes of UTF-8) as value(QString::fromUtf8())
    // would write it, without the conversion, when it is well-formed UTF-8
    // without U+FEFF, U+FFFE and U+FFFF (which converters to UTF-16 may drop
    // or replace). Otherwise writes nothing and returns false: the caller
    // converts such a text itself.
    bool valueFromUtf8(const char* data, int size);
    // Any Qt JSON value, objects and arrays included.
    JsonWriter& value(const QJsonValue& any);
    // Bytes that already are one JSON value.
    JsonWriter& raw(const QByteArray& json);

    const QByteArray& bytes() const { return out; }

private:
    void separate();
    void string(const QString& text);
    // Writes `number` (not whole, below a million in magnitude) when it has
    // at most two decimals; false, writing nothing, when it has more.
    bool writeHundredths(double number);
    void writeInteger(qint64 number);

    QByteArray out;
    bool comma = false;
};

} // namespace platform
