#pragma once

#include "reports/ReportJob.h"

#include <QString>
#include <functional>

class ReportComponent;
class ReportDefinition;
class ReportField;

// Binds a named report of a definition file to its data and adapts its fields, without any
// window: file lookup ("Custom" first), load, record sources, the field rule, sub-reports, the
// clinic logo and the caller's labels, then the plain-text capture. The viewer and the
// unattended export both run these steps, so a printed and an exported invoice are the same.
//
// Errors keep their numbers: a missing file (53), a file access error (75), a field the report
// does not have (381) or a picture that cannot be loaded (1006) only skip the statement that
// failed; every other error reaches the caller.
class ReportBinding {
public:
    explicit ReportBinding(ReportComponent& vsr) : m_vsr(vsr) {}

    // Everything up to and including the labels. False when there is nothing to render: both
    // names empty, no such file (the message is shown) or the component busy. job.sFileName
    // receives the full path used.
    bool Bind(ReportJob& job);

    // The bound report as plain text, rendered through <folder>/Tempfile_<nIdUsuario>.txt, which
    // is removed again. Empty when the text could not be written or read.
    QString CaptureText(const QString& folder, qint32 nIdUsuario);

    // The full path of fileName in the reports folder's "Custom" sub-folder, else in the reports
    // folder itself; empty when neither holds it.
    static QString FindReportFile(const QString& reportsFolder, const QString& fileName);

    // The field rule: Boolean and date columns of calculated fields become readable texts,
    // captions are translated and lose their "&".
    static QString FieldRuleText(const QString& text, bool calculated);
    static void ApplyFieldRule(ReportField& field);

    // A label value names a picture when it holds "\" (the suite's separator), or holds "/" and
    // names an existing file; an address such as "C/ Mayor 5" stays text.
    static bool IsPictureValue(const QString& value);
    // The job's labels get its values in order: job.dataValues as texts when given, else the
    // values cut from sLabelsValues, each a text or a picture (IsPictureValue).
    static void ApplyLabels(ReportDefinition& report, const ReportJob& job);

    // Runs one statement, swallowing the errors that only skip it (53, 75, 381, 1006).
    static void Skip(const std::function<void()>& statement);

private:
    void BindSubReports(const QStringList& names, const QStringList& sqls, const ReportJob& job);
    void PlaceLogo();

    ReportComponent& m_vsr;
};
