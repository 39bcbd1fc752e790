#include "screens/lists/tableexport.h"

#include "documents/tablefile.h"
#include "widgets/guardedmessagebox.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QProgressDialog>
#include <QStandardPaths>

namespace {

const QString xlsxFilter = QStringLiteral("Excel 工作簿 (*.xlsx)");
const QString csvFilter = QStringLiteral("CSV 文件 (*.csv)");

} // namespace

TableExport::TableExport(const ExportTable& table, const QString& path, QWidget* screen)
    : QObject(screen)
    , table(table)
    , path(path)
    , screen(screen)
{
}

TableExport::~TableExport()
{
    ended = true;
    if (call)
        call->abandon();
    if (progress) {
        disconnect(progress, nullptr, this, nullptr);
        delete progress;
    }
}

QString TableExport::chooseFile(QWidget* parent, const ExportTable& table)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QFileDialog dialog(parent, QStringLiteral("导出"), folder, xlsxFilter + QStringLiteral(";;") + csvFilter);
    dialog.setObjectName(QStringLiteral("exportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("xlsx"));
    dialog.selectFile(table.suggestedFileName(QDate::currentDate(), QStringLiteral("xlsx")));
    // The name follows the kind chosen.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &table](const QString& filter) {
        const QString suffix = filter == csvFilter ? QStringLiteral("csv") : QStringLiteral("xlsx");
        dialog.setDefaultSuffix(suffix);
        dialog.selectFile(table.suggestedFileName(QDate::currentDate(), suffix));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

TableExport* TableExport::chooseAndStart(QWidget* screen, const ExportTable& table)
{
    const QPointer<QWidget> alive(screen);
    const QString path = chooseFile(screen, table);
    if (!alive || path.isEmpty())
        return nullptr;
    auto* exporting = new TableExport(table, path, screen);
    exporting->start();
    return exporting;
}

void TableExport::start()
{
    if (!table.fetch) {
        rows = table.rows;
        writeFile();
        return;
    }
    progress = new QProgressDialog(screen);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowTitle(QStringLiteral("导出"));
    progress->setLabelText(QStringLiteral("正在读取数据，请稍候..."));
    progress->setCancelButtonText(QStringLiteral("取消"));
    progress->setRange(0, 0);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setWindowModality(Qt::WindowModal);
    // The button, a closed window and Escape all give the export up.
    connect(progress, &QProgressDialog::canceled, this, &TableExport::cancel);
    connect(progress, &QDialog::rejected, this, &TableExport::cancel);
    progress->show();
    fetchNext();
}

void TableExport::fetchNext()
{
    ++page;
    if (!table.paged && page > 1) {
        writeFile();
        return;
    }
    call = table.fetch(page);
    if (!call) {
        end(false, QStringLiteral("导出失败！读取第%1页数据失败。").arg(page));
        return;
    }
    call->then(this, [this](const ApiAnswer& answer) {
        call.clear();
        takeAnswer(answer);
    });
}

void TableExport::takeAnswer(const ApiAnswer& answer)
{
    if (!answer.success) {
        end(false,
            QStringLiteral("导出失败！读取第%1页数据失败。").arg(page)
                + (answer.errors.isEmpty() ? QString() : QStringLiteral("\n") + answer.errors));
        return;
    }
    const QJsonArray records = answer.data.toArray();
    for (const QJsonValue& element : records) {
        const QJsonObject record = element.toObject();
        if (!table.idKey.isEmpty()) {
            const QString id = record.value(table.idKey).toVariant().toString();
            if (!id.isEmpty() && seen.contains(id))
                continue;
            seen.insert(id);
        }
        rows << table.cellsOf(record);
    }
    if (progress)
        progress->setLabelText(QStringLiteral("已读取 %1 页，共 %2 条记录").arg(page).arg(rows.size()));
    if (table.paged && !records.isEmpty())
        fetchNext();
    else
        writeFile();
}

void TableExport::writeFile()
{
    const QString error = TableFile::write(path, table.name, table.columns, rows);
    if (!error.isEmpty()) {
        end(false, QStringLiteral("导出失败！无法写入文件 %1\n%2").arg(QDir::toNativeSeparators(path), error));
        return;
    }
    end(true,
        QStringLiteral("导出成功！共 %1 条记录，已保存到\n%2").arg(rows.size()).arg(QDir::toNativeSeparators(path)));
}

void TableExport::cancel()
{
    end(false, QString());
}

void TableExport::end(bool written, const QString& text)
{
    if (ended)
        return;
    ended = true;
    if (call)
        call->abandon();
    call.clear();
    if (progress) {
        disconnect(progress, nullptr, this, nullptr);
        progress->hide();
        progress->deleteLater();
    }
    const QPointer<TableExport> self(this);
    if (!text.isEmpty()) {
        if (written)
            GuardedMessageBox::information(this, QStringLiteral("提醒"), text);
        else
            GuardedMessageBox::warning(this, QStringLiteral("抱歉"), text);
    }
    if (!self)
        return;
    emit finished(written);
    deleteLater();
}
