#pragma once

#include <QString>

#include <xlsxwriter.h>

// The functions of libxlsxwriter that the spreadsheet export calls, loaded
// at the first export instead of at start-up: the library brings libcrypto
// and minizip with it, and their loading and relocation took about a twentieth
// of the start-up's instructions for a file that most sessions never write.
//
// The library is loaded once and stays loaded; the pointers are valid for the
// rest of the process.
struct XlsxWriterLibrary
{
    decltype(&::workbook_new) workbook_new = nullptr;
    decltype(&::workbook_add_worksheet) workbook_add_worksheet = nullptr;
    decltype(&::workbook_add_format) workbook_add_format = nullptr;
    decltype(&::workbook_close) workbook_close = nullptr;
    decltype(&::format_set_bold) format_set_bold = nullptr;
    decltype(&::format_set_num_format) format_set_num_format = nullptr;
    decltype(&::worksheet_write_string) worksheet_write_string = nullptr;
    decltype(&::worksheet_write_number) worksheet_write_number = nullptr;
    decltype(&::worksheet_write_datetime) worksheet_write_datetime = nullptr;
    decltype(&::worksheet_set_column) worksheet_set_column = nullptr;
    decltype(&::worksheet_freeze_panes) worksheet_freeze_panes = nullptr;
    decltype(&::lxw_strerror) lxw_strerror = nullptr;

    // Every function resolved, or null when the library or one of its
    // functions could not be loaded; `error` then says why.
    static const XlsxWriterLibrary* load(QString* error);
};
