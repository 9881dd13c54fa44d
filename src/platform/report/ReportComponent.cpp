// The report component: loading a definition, its data sources, layout and output.

#include "platform/report/ReportComponent.h"

#include "platform/report/PreviewControl.h"
#include "platform/report/ReportFile.h"
#include "platform/report/ReportLayout.h"
#include "platform/report/ReportLimits.h"
#include "platform/util/TvError.h"

namespace {

// Busy for as long as it lives, also when the work ends in an error.
class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& m_flag;
};

constexpr int MaxDepth = 8;

} // namespace

ReportComponent::ReportComponent() = default;
ReportComponent::~ReportComponent() = default;

void ReportComponent::Load(const QString& fullPath, const QString& reportName) {
    m_report.reset();
    m_library.clear();
    ReportFile::Library library = ReportFile::Read(fullPath);
    const auto found = library.find(ReportFile::Key(reportName));
    if (found == library.end())
        throw TvError(ErrorNumber::BadReport, "El archivo de informes \"" + fullPath +
                                                  "\" no contiene el informe \"" + reportName +
                                                  "\"");
    auto report = found->second->Clone();
    m_library = std::move(library);
    m_path = fullPath;
    Resolve(*report);
    m_report = std::move(report);
}

// Each sub-report field holds a copy of its report, so a few fields that name reports holding
// such fields again multiply; the fields of all copies together are bounded.
void ReportComponent::Resolve(ReportDefinition& report) {
    int fields = 0;
    ResolveSubReports(report, 0, fields);
}

void ReportComponent::ResolveSubReports(ReportDefinition& report, int depth, int& fields) {
    fields += report.FieldCount();
    if (fields > ReportLimits::MaxFields)
        throw TvError(ErrorNumber::BadReport,
                      QString("El informe \"%1\" y sus subinformes tienen más de %2 campos")
                          .arg(report.Name())
                          .arg(ReportLimits::MaxFields));
    for (int i = 0; i < report.FieldCount(); ++i) {
        ReportField& field = report.Field(i);
        if (field.SubReport().isEmpty())
            continue;
        if (!field.SubReportDefinition()) {
            const auto found = m_library.find(ReportFile::Key(field.SubReport()));
            if (found == m_library.end())
                throw TvError(ErrorNumber::BadReport,
                              QString("El campo \"%1\" del informe \"%2\" contiene el subinforme "
                                      "\"%3\", que no está en \"%4\"")
                                  .arg(field.Name(), report.Name(), field.SubReport(), m_path));
            if (depth >= MaxDepth)
                throw TvError(ErrorNumber::BadReport,
                              "El informe \"" + report.Name() + "\" se contiene a sí mismo");
            field.SetSubReportDefinition(found->second->Clone());
        }
        ResolveSubReports(*field.SubReportDefinition(), depth + 1, fields);
    }
}

ReportDefinition& ReportComponent::Loaded() const {
    if (!m_report)
        throw TvError(ErrorNumber::BadReport, "No hay ningún informe cargado");
    return *m_report;
}

ReportDefinition& ReportComponent::Report() {
    return Loaded();
}

QString ReportComponent::RecordSource() const {
    return Loaded().RecordSource();
}
void ReportComponent::SetRecordSource(const QString& sql) {
    Loaded().SetRecordSource(sql);
}
QString ReportComponent::ConnectionText() const {
    return Loaded().ConnectionText();
}
void ReportComponent::SetConnectionText(const QString& text) {
    Loaded().SetConnectionText(text);
}
int ReportComponent::FieldCount() const {
    return m_report ? m_report->FieldCount() : 0;
}
ReportField& ReportComponent::Field(int index) {
    return Loaded().Field(index);
}
ReportField& ReportComponent::Field(const QString& name) {
    return Loaded().Field(name);
}

ReportDefinition& ReportComponent::SubReport(int fieldIndex) {
    ReportField& field = Loaded().Field(fieldIndex);
    if (field.SubReport().isEmpty())
        throw TvError(ErrorNumber::NoSuchField,
                      "El campo \"" + field.Name() + "\" no contiene ningún subinforme");
    Resolve(*m_report);
    return *field.SubReportDefinition();
}

PageModel ReportComponent::Layout() {
    ReportDefinition& report = Loaded();
    BusyFlag busy(m_busy);
    Resolve(report);
    return ReportLayout::Run(report);
}

void ReportComponent::RenderToFile(const QString& path, int format) {
    const std::unique_ptr<ReportWriter> writer = ReportWriter::ForFormat(format);
    const PageModel model = Layout();
    BusyFlag busy(m_busy);
    writer->WriteOrThrow(model, path);
}

void ReportComponent::Render(PreviewControl& vp) {
    const PageModel model = Layout();
    BusyFlag busy(m_busy);
    vp.SetDocument(model);
}
