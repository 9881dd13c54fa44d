#pragma once

#include "platform/report/ReportWriter.h"

// Writes the document as PDF with every page on its own paper size, custom sizes kept to the
// twip, fonts embedded.
class PdfWriter : public ReportWriter {
public:
    bool Write(const PageModel& model, const QString& path) override;
    QString NameFilter() const override { return "Documento PDF (*.pdf)"; }

    // The suite's call: Write, raising TvError 75 when the file cannot be written.
    void ConvertDocument(const PageModel& model, const QString& path);

private:
    bool Draw(const PageModel& model, QIODevice& device);
};
