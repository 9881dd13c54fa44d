#pragma once

#include "platform/report/ReportWriter.h"

#include <QStringList>

struct Page;

// Plain UTF-8 text on a character grid: one line of the page per line of text, pages separated
// by form feeds.
class TextWriter : public ReportWriter {
public:
    // Twips per character column and per text line.
    static constexpr int ColumnWidth = 120;
    static constexpr int LineHeight = 240;
    // The narrowest a QR code's text is cut to, on a page with little else on it.
    static constexpr int MinCodeWidth = 20;

    bool Write(const PageModel& model, const QString& path) override;
    QString NameFilter() const override { return "Texto (*.txt)"; }

    static QStringList PageLines(const Page& page);
    static QString ToText(const PageModel& model);
};
