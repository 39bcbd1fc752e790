#pragma once

class PaperDocument;
class QWidget;

// Puts a document on paper: in the print preview ("打印预览"), from which the
// clerk prints it or saves it as a PDF, or straight into a PDF file
// ("导出PDF"). Both block in a modal dialog until the clerk is done; the
// document must outlive the call.
class PaperPreview
{
public:
    // Shows `document` in the print preview, whose tool bar also offers
    // "导出PDF".
    static void preview(const PaperDocument& document, QWidget* parent);
    // Asks where to save the PDF, then writes it. A failed write is reported
    // in a warning box; false when nothing was written.
    static bool exportPdf(const PaperDocument& document, QWidget* parent);
};
