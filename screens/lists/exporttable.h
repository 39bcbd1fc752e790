#pragma once

#include "documents/tablecolumn.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

class ApiCall;
class QDate;

// A table that can be written to a spreadsheet: its columns, and how its
// rows are fetched through API, page by page, with the filter of the screen
// that shows it. A screen describes itself in a few lines and hands the
// table to TableExport:
//
//     ExportTable table;
//     table.name = QStringLiteral("业务管理");
//     table.columns = { { QStringLiteral("托运人"), ExportTable::Kind::Text, QStringLiteral("shipper_name") },
//         { QStringLiteral("价值(元)"), ExportTable::Kind::Money, QStringLiteral("value") } };
//     table.fetch = [](int page) { return API::instance()->fetchTrade(page); };
//     TableExport::chooseAndStart(this, table);
//
// Each answer's "data" is an array of records, one row each. A report that
// comes whole in one answer sets `paged` to false; a screen that holds its
// rows already hands them over in `rows` and sets no `fetch`.
class ExportTable
{
public:
    // The columns are those of the table file: their titles, kinds and keys.
    using Kind = TableColumn::Kind;
    using Column = TableColumn;

    // The table's name: the sheet's name and the stem of the file name.
    QString name;
    QList<Column> columns;
    // Sends the request for `page` (from 1) and returns its handle; null
    // when it cannot be sent, which fails the export.
    std::function<ApiCall*(int page)> fetch;
    // A paged table ends at the first page without rows; an unpaged one
    // after its first answer.
    bool paged = true;
    // Rows already at hand (a report that the screen holds), cells as
    // TableColumn::cell() makes them: written as they are when `fetch` is not set.
    QList<QVariantList> rows;
    // The key that names a record. A record seen on an earlier page (the
    // list moved on under the export) is not written twice. Empty: every
    // record is written.
    QString idKey;

    // The cells of `record`, one per column (see TableColumn::cell()).
    QVariantList cellsOf(const QJsonObject& record) const;
    // "<name>-<yyyy-MM-dd>.<suffix>", with any character that a file name
    // cannot hold replaced.
    QString suggestedFileName(const QDate& day, const QString& suffix) const;
};
