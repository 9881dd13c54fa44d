#pragma once

#include "platform/report/ReportWriter.h"

// Writes the document as PDF with every page on its own paper size, custom sizes kept to the
// twip, fonts embedded.
class PdfWriter : public ReportWriter {
public:
    bool Write(const PageModel& model, const QString& path) override;
    QString NameFilter() const override { return "Documento PDF (*.pdf)"; }

private:
    bool Draw(const PageModel& model, QIODevice& device);
};
