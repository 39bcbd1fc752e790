#include "screens/lists/exporttable.h"

#include <QDate>
#include <QRegularExpression>

QVariantList ExportTable::cellsOf(const QJsonObject& record) const
{
    QVariantList cells;
    cells.reserve(columns.size());
    for (const Column& column : columns)
        cells << TableColumn::cell(column.kind, column.value ? column.value(record) : record.value(column.key));
    return cells;
}

QString ExportTable::suggestedFileName(const QDate& day, const QString& suffix) const
{
    QString stem = name.trimmed();
    stem.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]")), QStringLiteral("_"));
    if (stem.isEmpty())
        stem = QStringLiteral("导出");
    return stem + QLatin1Char('-') + day.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('.') + suffix;
}
