#pragma once

#include "net/apicall.h"
#include "screens/lists/exporttable.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>

class QProgressDialog;
class QWidget;

// One export of a table to a file: fetches every page of the table through
// its own requests, then writes the file (see TableFile). A window-modal
// progress dialog over the screen counts the pages fetched; its "取消" gives
// the export up. Nothing is written before the last page has come, so a
// cancelled or failed export leaves no file; a failure says why in a
// warning, a success where the file went.
//
// The export belongs to the screen that started it and deletes itself when
// it ends; a screen that dies first takes it, and its open request, along.
class TableExport : public QObject
{
    Q_OBJECT

public:
    TableExport(const ExportTable& table, const QString& path, QWidget* screen);
    ~TableExport() override;

    // Asks for the first page; writes rows at hand at once.
    void start();

    // Asks where to save `table`: a save dialog that suggests its name and
    // today's date in the documents folder, as a spreadsheet or CSV. Empty
    // when the user cancels.
    static QString chooseFile(QWidget* parent, const ExportTable& table);
    // Asks where to save `table`, then exports it: what a screen's "导出"
    // does. Null when the user cancelled or `screen` died meanwhile.
    static TableExport* chooseAndStart(QWidget* screen, const ExportTable& table);

signals:
    // Emitted once, at the end: whether the file was written.
    void finished(bool written);

private:
    void fetchNext();
    void takeAnswer(const ApiAnswer& answer);
    void writeFile();
    void cancel();
    // Closes the progress, shows `text` in a warning or information box,
    // then reports the end and deletes this export.
    void end(bool written, const QString& text);

    ExportTable table;
    QString path;
    QPointer<QWidget> screen;
    QPointer<QProgressDialog> progress;
    QPointer<ApiCall> call;
    int page = 0;
    QList<QVariantList> rows;
    QSet<QString> seen;
    bool ended = false;
};
