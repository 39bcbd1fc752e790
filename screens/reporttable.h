#pragma once

#include <QString>
#include <QVariantList>
#include <QVector>

// A screen's table in plain values, as it would go into a spreadsheet: the
// columns' titles and kinds, and one list of values per row, in the order of
// the columns. Text is a QString, Integer a qint64, Money a double in yuan
// (exact to the cent), Weight a double in tons, Date a QDate, DateTime a
// QDateTime.
struct ReportTable
{
    enum class Kind { Text, Integer, Money, Weight, Date, DateTime };

    struct Column
    {
        QString title;
        Kind kind = Kind::Text;
    };

    QVector<Column> columns;
    QVector<QVariantList> rows;
};
