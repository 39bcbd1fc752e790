#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariant>

#include <functional>

// One column of a table file: its title, the kind of its cells, and where a
// record keeps its cell. TableFile writes the cells by their column's kind;
// cell() makes them from the record's JSON values.
class TableColumn
{
public:
    // How a column's cells are read and written: numbers stay numbers (money
    // with two decimals), dates and times become dates.
    enum class Kind { Text, Integer, Number, Money, Date, DateTime };

    QString title;
    Kind kind = Kind::Text;
    // The record's key of the cell.
    QString key;
    // Reads the cell instead of `key` when set (a flag shown as words,
    // a value made of several keys).
    std::function<QJsonValue(const QJsonObject&)> value = nullptr;

    // A JSON value as a cell of `kind`: a QString, a qlonglong, a double, a
    // QDate or a QDateTime; null when the value is missing or empty. A value
    // that is not of its column's kind stays text, so that nothing is lost.
    static QVariant cell(Kind kind, const QJsonValue& value);
};
