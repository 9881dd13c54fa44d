#pragma once

#include "platform/report/PageModel.h"
#include "platform/report/ReportDefinition.h"
#include "platform/report/ReportWriter.h"

#include <QString>
#include <map>
#include <memory>

class PreviewControl;

// The report component: loads one named report of a definition file, binds it to its data, lays
// it out into a PageModel and hands the pages to the preview or to a file.
class ReportComponent {
public:
    // RenderToFile formats: the writers' own codes.
    using Format = ReportWriter::Format;
    using enum ReportWriter::Format;

    ReportComponent();
    ~ReportComponent();

    // True while a layout or rendering is under way.
    bool Busy() const { return m_busy; }

    // Replaces any loaded report. A missing file raises TvError 53; a file that is not a valid
    // definition (bad XML, unknown element or property) TvError 1010 saying where; a report name
    // the file does not hold TvError 1010 naming it.
    void Load(const QString& fullPath, const QString& reportName);
    bool IsLoaded() const { return m_report != nullptr; }

    // The main report's data source. Without a loaded report these raise TvError 1010.
    QString RecordSource() const;
    void SetRecordSource(const QString& sql);
    QString ConnectionText() const;
    void SetConnectionText(const QString& text);

    int FieldCount() const;
    // Missing field: TvError 381.
    ReportField& Field(int index);
    ReportField& Field(const QString& name);

    // The report instance of the sub-report held by the main report's field fieldIndex (its data
    // source and fields). TvError 381 when that field does not exist or holds no sub-report.
    ReportDefinition& SubReport(int fieldIndex);
    // The loaded main report itself.
    ReportDefinition& Report();

    // Lays the report out: runs the record sources, evaluates the fields, pages.
    PageModel Layout();
    // Lays out and writes the file in format (Format); an unknown format raises TvError 380,
    // a file that cannot be written TvError 75 (nothing is left at path).
    void RenderToFile(const QString& path, int format);
    // Lays out and hands the pages to the preview.
    void Render(PreviewControl& vp);

private:
    void Resolve(ReportDefinition& report);
    void ResolveSubReports(ReportDefinition& report, int depth, int& fields);
    ReportDefinition& Loaded() const;

    std::map<QString, std::unique_ptr<ReportDefinition>> m_library; // the file's reports by name
    std::unique_ptr<ReportDefinition> m_report;
    QString m_path;
    bool m_busy = false;
};
