#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

class QJsonValue;

// How the printed documents write the values of the platform's records.
namespace PaperFormat {

// A pure text; a value of another type gives an empty text.
QString text(const QJsonObject& record, const char* key);
// A value that may be a number or a text.
QString scalar(const QJsonObject& record, const char* key);
// A party's phones: the first, and the second after a " / " when there is one.
QString phones(const QJsonObject& record, const char* first, const char* second);
// The non-empty parts, separated by a space.
QString joined(const QStringList& parts);

// A number read from a JSON number or a numeric text; false in `ok` when the
// value is neither.
double number(const QJsonValue& value, bool* ok = nullptr);
// A weight in tonnes ("12.5 吨") and an amount of money ("1200.00 元"). A
// value that is not a number is written as it stands.
QString weight(const QJsonValue& value);
QString money(const QJsonValue& value);
QString weight(double tonnes);
QString money(double yuan);

} // namespace PaperFormat
