#include "screens/lists/paperpreview.h"

#include "documents/paperdocument.h"
#include "widgets/guardedmessagebox.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolBar>

void PaperPreview::preview(const PaperDocument& document, QWidget* parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(document.pageLayout());
    printer.setFullPage(true);
    printer.setDocName(document.title());

    // The parent may go while the dialog runs; the dialog then goes with it.
    QPointer<QPrintPreviewDialog> dialog = new QPrintPreviewDialog(&printer, parent);
    dialog->setWindowTitle(QStringLiteral("打印预览"));
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog,
        [&document](QPrinter* target) { document.render(*target); });
    if (auto* toolBar = dialog->findChild<QToolBar*>()) {
        toolBar->addSeparator();
        QAction* exportAction = toolBar->addAction(QStringLiteral("导出PDF"));
        exportAction->setObjectName(QStringLiteral("exportPdfAction"));
        QPrintPreviewDialog* owner = dialog;
        QObject::connect(exportAction, &QAction::triggered, owner, [&document, owner] { exportPdf(document, owner); });
    }
    dialog->exec();
    delete dialog;
}

bool PaperPreview::exportPdf(const PaperDocument& document, QWidget* parent)
{
    QString name = document.title();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString start = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                              .filePath(name + QStringLiteral(".pdf"));
    QPointer<QFileDialog> dialog
        = new QFileDialog(parent, QStringLiteral("导出PDF"), start, QStringLiteral("PDF 文件 (*.pdf)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    const bool chosen = dialog->exec() == QDialog::Accepted && dialog;
    const QString path = chosen ? dialog->selectedFiles().value(0) : QString();
    delete dialog;
    if (path.isEmpty())
        return false;

    QString error;
    if (!document.writePdf(path, &error)) {
        GuardedMessageBox::warning(nullptr, QStringLiteral("错误"), QStringLiteral("导出失败！\n") + error);
        return false;
    }
    return true;
}
