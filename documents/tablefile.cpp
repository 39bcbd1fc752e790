#include "documents/tablefile.h"

#include "documents/xlsxwriterlibrary.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTime>
#include <QVector>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

using Kind = TableColumn::Kind;

// Excel keeps at most this many characters in a cell.
const int maxCellText = 32767;

QString displayText(Kind kind, const QVariant& cell)
{
    switch (cell.userType()) {
    case QMetaType::QDate:
        return cell.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime:
        return cell.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::LongLong:
        return QString::number(cell.toLongLong());
    case QMetaType::Double:
        return kind == Kind::Money ? QString::number(cell.toDouble(), 'f', 2)
                                   : QString::number(cell.toDouble(), 'g', 15);
    default:
        return cell.toString();
    }
}

// The width a text takes in a sheet's column, in characters of the default
// font: a Chinese character takes two.
int textWidth(const QString& text)
{
    int width = 0;
    for (const QChar ch : text)
        width += ch.unicode() >= 0x1100 ? 2 : 1;
    return width;
}

// A sheet's name holds at most 31 characters and none of []:*?/\.
QString sheetNameOf(const QString& name)
{
    QString sheet;
    for (const QChar ch : name) {
        if (!QStringLiteral("[]:*?/\\").contains(ch) && ch.isPrint())
            sheet += ch;
    }
    sheet = sheet.trimmed().left(31);
    return sheet.isEmpty() ? QStringLiteral("Sheet1") : sheet;
}

QString xlsxError(const XlsxWriterLibrary& x, lxw_error error)
{
    return QString::fromUtf8(x.lxw_strerror(error));
}

} // namespace

QString TableFile::write(
    const QString& path, const QString& sheetName, const QList<TableColumn>& columns, const QList<QVariantList>& rows)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return writeCsv(path, columns, rows);
    return writeXlsx(path, sheetName, columns, rows);
}

QString TableFile::csvField(TableColumn::Kind kind, const QVariant& cell)
{
    QString field = displayText(kind, cell);
    if (cell.userType() == QMetaType::QString && !field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field.at(0)))
        field.prepend(QLatin1Char('\''));
    const bool quoted = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"'))
        || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))
        || (!field.isEmpty() && (field.front().isSpace() || field.back().isSpace()));
    if (!quoted)
        return field;
    field.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString TableFile::writeCsv(const QString& path, const QList<TableColumn>& columns, const QList<QVariantList>& rows)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QByteArray bytes("\xEF\xBB\xBF");
    QStringList fields;
    for (const TableColumn& column : columns)
        fields << csvField(Kind::Text, column.title);
    bytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    for (const QVariantList& row : rows) {
        fields.clear();
        for (int i = 0; i < columns.size(); ++i)
            fields << csvField(columns.at(i).kind, row.value(i));
        bytes += fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return QString();
}

QString TableFile::writeXlsx(
    const QString& path, const QString& sheetName, const QList<TableColumn>& columns, const QList<QVariantList>& rows)
{
    QString loadError;
    const XlsxWriterLibrary* library = XlsxWriterLibrary::load(&loadError);
    if (!library)
        return QStringLiteral("无法载入表格程序库：%1").arg(loadError);
    const XlsxWriterLibrary& x = *library;

    const QFileInfo target(path);
    // A name of our own in the target's folder, so that the finished file
    // replaces the target in one rename.
    QTemporaryFile temporary(
        target.absoluteDir().filePath(QStringLiteral(".%1-XXXXXX.xlsx").arg(target.completeBaseName())));
    if (!temporary.open())
        return temporary.errorString();
    temporary.close();
    const QByteArray temporaryName = QFile::encodeName(temporary.fileName());

    lxw_workbook* book = x.workbook_new(temporaryName.constData());
    if (!book)
        return QStringLiteral("无法创建文件");
    lxw_worksheet* sheet = x.workbook_add_worksheet(book, sheetNameOf(sheetName).toUtf8().constData());
    lxw_format* header = x.workbook_add_format(book);
    x.format_set_bold(header);
    lxw_format* integer = x.workbook_add_format(book);
    x.format_set_num_format(integer, "0");
    lxw_format* money = x.workbook_add_format(book);
    x.format_set_num_format(money, "#,##0.00");
    lxw_format* date = x.workbook_add_format(book);
    x.format_set_num_format(date, "yyyy-mm-dd");
    lxw_format* dateTime = x.workbook_add_format(book);
    x.format_set_num_format(dateTime, "yyyy-mm-dd hh:mm:ss");

    lxw_error error = LXW_NO_ERROR;
    const auto keep = [&error](lxw_error result) {
        if (error == LXW_NO_ERROR)
            error = result;
    };
    QVector<int> widths(columns.size());
    for (int c = 0; c < columns.size(); ++c) {
        keep(x.worksheet_write_string(
            sheet, 0, static_cast<lxw_col_t>(c), columns.at(c).title.toUtf8().constData(), header));
        widths[c] = textWidth(columns.at(c).title);
    }
    lxw_row_t r = 1;
    for (const QVariantList& row : rows) {
        for (int c = 0; c < columns.size(); ++c) {
            const TableColumn::Kind kind = columns.at(c).kind;
            const QVariant cell = row.value(c);
            const auto col = static_cast<lxw_col_t>(c);
            switch (cell.userType()) {
            case QMetaType::LongLong:
                keep(x.worksheet_write_number(sheet, r, col, static_cast<double>(cell.toLongLong()), integer));
                break;
            case QMetaType::Double:
                keep(x.worksheet_write_number(sheet, r, col, cell.toDouble(), kind == Kind::Money ? money : nullptr));
                break;
            case QMetaType::QDate: {
                const QDate d = cell.toDate();
                lxw_datetime value { d.year(), d.month(), d.day(), 0, 0, 0.0 };
                keep(x.worksheet_write_datetime(sheet, r, col, &value, date));
                break;
            }
            case QMetaType::QDateTime: {
                const QDate d = cell.toDateTime().date();
                const QTime t = cell.toDateTime().time();
                lxw_datetime value { d.year(), d.month(), d.day(), t.hour(), t.minute(),
                    static_cast<double>(t.second()) };
                keep(x.worksheet_write_datetime(sheet, r, col, &value, dateTime));
                break;
            }
            case QMetaType::UnknownType:
                break;
            default:
                keep(x.worksheet_write_string(
                    sheet, r, col, cell.toString().left(maxCellText).toUtf8().constData(), nullptr));
                break;
            }
            widths[c] = qMax(widths.at(c), textWidth(displayText(kind, cell)));
        }
        ++r;
    }
    for (int c = 0; c < columns.size(); ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        keep(x.worksheet_set_column(sheet, col, col, qMin(widths.at(c), 60) + 2, nullptr));
    }
    x.worksheet_freeze_panes(sheet, 1, 0);

    const lxw_error closed = x.workbook_close(book);
    if (error == LXW_NO_ERROR)
        error = closed;
    if (error != LXW_NO_ERROR)
        return xlsxError(x, error);
    // A temporary file is the owner's alone; the export gets the rights of
    // the file it replaces, or those of a new document.
    temporary.setPermissions(target.exists()
            ? QFile::permissions(target.absoluteFilePath())
            : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(temporaryName.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}
