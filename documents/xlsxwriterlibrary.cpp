#include "documents/xlsxwriterlibrary.h"

#include "documents/runtimelibrary.h"

namespace {

struct Loaded
{
    XlsxWriterLibrary functions;
    QString error;
};

Loaded loadLibrary()
{
    Loaded loaded;
    // The library's own file name (its soname), found when the client was
    // built: the functions' signatures come from the same version's header.
    QLibrary library(QStringLiteral(FREYMO_XLSXWRITER_SONAME));
    if (!library.load()) {
        loaded.error = library.errorString();
        return loaded;
    }
    XlsxWriterLibrary& f = loaded.functions;
    QString& e = loaded.error;
    const bool complete = resolveFunction(library, "workbook_new", f.workbook_new, e)
        & resolveFunction(library, "workbook_add_worksheet", f.workbook_add_worksheet, e)
        & resolveFunction(library, "workbook_add_format", f.workbook_add_format, e)
        & resolveFunction(library, "workbook_close", f.workbook_close, e)
        & resolveFunction(library, "format_set_bold", f.format_set_bold, e)
        & resolveFunction(library, "format_set_num_format", f.format_set_num_format, e)
        & resolveFunction(library, "worksheet_write_string", f.worksheet_write_string, e)
        & resolveFunction(library, "worksheet_write_number", f.worksheet_write_number, e)
        & resolveFunction(library, "worksheet_write_datetime", f.worksheet_write_datetime, e)
        & resolveFunction(library, "worksheet_set_column", f.worksheet_set_column, e)
        & resolveFunction(library, "worksheet_freeze_panes", f.worksheet_freeze_panes, e)
        & resolveFunction(library, "lxw_strerror", f.lxw_strerror, e);
    if (complete)
        e.clear();
    return loaded;
}

} // namespace

const XlsxWriterLibrary* XlsxWriterLibrary::load(QString* error)
{
    // Thread-safe once; a library that failed to load is not tried again.
    static const Loaded loaded = loadLibrary();
    if (!loaded.error.isEmpty()) {
        if (error)
            *error = loaded.error;
        return nullptr;
    }
    return &loaded.functions;
}
