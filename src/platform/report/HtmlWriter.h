#pragma once

#include "platform/report/ReportWriter.h"

// One UTF-8 HTML file: the pages in order, every item absolutely positioned as on paper,
// pictures embedded.
class HtmlWriter : public ReportWriter {
public:
    bool Write(const PageModel& model, const QString& path) override;
    QString NameFilter() const override { return "Página web HTML (*.htm *.html)"; }

    static QString ToHtml(const PageModel& model);
};
