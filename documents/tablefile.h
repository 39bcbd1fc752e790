#pragma once

#include "documents/tablecolumn.h"

#include <QList>
#include <QString>
#include <QVariant>

// Writes a table's rows to a spreadsheet file: ".csv" (UTF-8 with a byte
// order mark, so that spreadsheet programs read the Chinese, fields quoted
// where they must be) or, for any other suffix, ".xlsx". Both have a header
// row of the column titles.
//
// The file is written under a temporary name in the target's folder and put
// in place only when complete: a failure leaves the target as it was and no
// half-written file beside it.
class TableFile
{
public:
    // Writes `rows` (cells as TableColumn::cell() makes them) to `path`.
    // Returns an empty text on success, else why it failed.
    static QString write(const QString& path, const QString& sheetName, const QList<TableColumn>& columns,
        const QList<QVariantList>& rows);

    // One CSV field: a text that a spreadsheet would take for a formula
    // gets a leading apostrophe; a field with a comma, a quote, a line
    // break or outer spaces is quoted, its quotes doubled.
    static QString csvField(TableColumn::Kind kind, const QVariant& cell);

private:
    static QString writeCsv(const QString& path, const QList<TableColumn>& columns, const QList<QVariantList>& rows);
    static QString writeXlsx(const QString& path, const QString& sheetName, const QList<TableColumn>& columns,
        const QList<QVariantList>& rows);
};
