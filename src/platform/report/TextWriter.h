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

    bool Write(const PageModel& model, const QString& path) override;
    QString NameFilter() const override { return "Text (*.txt)"; }

    static QStringList PageLines(const Page& page);
    static QString ToText(const PageModel& model);
};
