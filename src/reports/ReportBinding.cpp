// A named report bound to its data, its fields adapted, without any window.

#include "reports/ReportBinding.h"

#include "platform/data/DataAccess.h"
#include "platform/report/ReportComponent.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/VeriFactu.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QFileInfo>
#include <QStringList>

namespace {

// The logo's place on the page header, in twips: the width of a printed letterhead.
constexpr int LogoTop = 0;
constexpr int LogoLeft = 0;
constexpr int LogoHeight = 1155;
constexpr int LogoWidth = 9800;

// The suite writes paths with "\"; on this platform the separator is "/".
QString LocalPath(const QString& path) {
    return QString(path).replace('\\', '/');
}

// day/month/year of a yyyymmdd column, empty for an empty value.
QString DateExpression(const QString& column) {
    const QString date = "mid(" + column + ",7,2) & \"/\" & mid(" + column +
                         ",5,2) & \"/\" & mid(" + column + ",1,4)";
    return "iif(" + date + "=\"//\",\"\"," + date + ")";
}

} // namespace

void ReportBinding::Skip(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const TvError& e) {
        switch (e.Number()) {
        case ErrorNumber::FileNotFound:
        case ErrorNumber::PathFileAccess:
        case ErrorNumber::NoSuchField:
        case ErrorNumber::BadPicture:
            return;
        default:
            throw;
        }
    }
}

QString ReportBinding::FindReportFile(const QString& reportsFolder, const QString& fileName) {
    const Utility& u = Utility::instance();
    const QString folder = LocalPath(reportsFolder);
    const QString custom = folder + "/Custom/" + fileName;
    if (u.FileExists(custom))
        return custom;
    const QString plain = folder + "/" + fileName;
    return u.FileExists(plain) ? plain : QString();
}

QString ReportBinding::FieldRuleText(const QString& text, bool calculated) {
    const DataAccess& db = DataAccess::instance();
    if (!calculated)
        return db.Translate(text).remove('&');
    if (text.startsWith('b'))
        return "iif(" + text + "," + db.Translate("\"Sí\"") + ", " + db.Translate("\"No\"") + ")";
    if (text.startsWith('d')) {
        const QString date = DateExpression(text);
        return "iif(" + date + "=\"//0\",\"\"," + date + ")";
    }
    return text;
}

void ReportBinding::ApplyFieldRule(ReportField& field) {
    field.SetText(FieldRuleText(field.Text(), field.Calculated()));
}

bool ReportBinding::IsPictureValue(const QString& value) {
    if (value.contains('\\'))
        return true;
    return value.contains('/') && QFileInfo(value).isFile();
}

void ReportBinding::ApplyLabels(ReportDefinition& report, const ReportJob& job) {
    const QStringList names = job.sLabels.split('|');
    const bool fromData = !job.dataValues.isEmpty();
    const QStringList texts = fromData ? job.dataValues : job.sLabelsValues.split('|');
    for (int k = 0; k < names.size() && k < texts.size(); ++k) {
        const QString& value = texts[k];
        Skip([&] {
            ReportField& field = report.Field(names[k]);
            if (!fromData && IsPictureValue(value))
                field.SetPicture(LocalPath(value));
            else
                field.SetText(value);
        });
    }
}

bool ReportBinding::Bind(ReportJob& job) {
    if (job.sFileName.isEmpty() && job.sSubreports.isEmpty())
        return false;
    const QStringList names = job.sSubreports.split('|');
    const QStringList sqls = job.sSqls.split('|');

    const QString path = FindReportFile(Gi.sPathReports, job.sFileName);
    if (path.isEmpty()) {
        ShowMessage(MessageKind::Error,
                    "No se ha podido encontrar el informe en la carpeta Data/Reports.");
        return false;
    }
    job.sFileName = path;
    if (m_vsr.Busy())
        return false;

    DataAccess& db = DataAccess::instance();
    Skip([&] { m_vsr.Load(path, names.last()); });
    // The register's mode is the ini's, not the document's: a layout reads it as :ModoVeriFactu
    // to choose the tax QR's address and legend.
    m_vsr.Report().SetParameter("ModoVeriFactu", VeriFactu::LeerConfiguracion(Gi.sPathIni).verifactu
                                                     ? "VERIFACTU"
                                                     : "NOVERIFACTU");
    m_vsr.Report().SetParameter("Copia", job.bCopia ? "COPIA" : "");
    Skip([&] {
        m_vsr.SetRecordSource(job.sSqls.isEmpty() ? QString() : db.PrepareSql(sqls.last()));
    });
    for (int i = 0; i < m_vsr.FieldCount(); ++i)
        Skip([&] { ApplyFieldRule(m_vsr.Field(i)); });
    Skip([&] { m_vsr.SetConnectionText(db.ConnectionText()); });
    BindSubReports(names, sqls, job);
    PlaceLogo();
    if (!job.sLabels.isEmpty())
        ApplyLabels(m_vsr.Report(), job);
    return true;
}

void ReportBinding::BindSubReports(const QStringList& names, const QStringList& sqls,
                                   const ReportJob& job) {
    DataAccess& db = DataAccess::instance();
    for (int i = 0; i < m_vsr.FieldCount(); ++i) {
        const QString held = m_vsr.Field(i).SubReport();
        if (held.isEmpty())
            continue;
        for (int j = 0; j + 1 < names.size(); ++j) {
            if (held.compare(names[j], Qt::CaseInsensitive) != 0)
                continue;
            Skip([&] {
                ReportDefinition& sub = m_vsr.SubReport(i);
                sub.SetRecordSource(db.PrepareSql(sqls.value(j)));
                sub.SetConnectionText(m_vsr.ConnectionText());
                if (!job.sLabels.isEmpty())
                    ApplyLabels(sub, job);
                for (int f = 0; f < sub.FieldCount(); ++f)
                    Skip([&] { ApplyFieldRule(sub.Field(f)); });
            });
        }
    }
}

void ReportBinding::PlaceLogo() {
    const QString logo = LocalPath(Gi.sPathData) + "/Logo.bmp";
    if (!Utility::instance().FileExists(logo)) {
        ShowMessage(MessageKind::Notice,
                    "Archivo gráfico inexistente.//Debe crear el archivo Logo.bmp.//Luego "
                    "guardelo en la carpeta " +
                        logo);
        return;
    }
    Skip([&] { m_vsr.Field("Logo").SetPicture(logo); });
    Skip([&] {
        ReportField& field = m_vsr.Field("Logo");
        field.SetTop(LogoTop);
        field.SetLeft(LogoLeft);
        field.SetHeight(LogoHeight);
        field.SetWidth(LogoWidth);
    });
}

QString ReportBinding::CaptureText(const QString& folder, qint32 nIdUsuario) {
    const Utility& u = Utility::instance();
    const QString path = folder + "/Tempfile_" + QString::number(nIdUsuario) + ".txt";
    QString text;
    Skip([&] { m_vsr.RenderToFile(path, ReportComponent::PlainText); });
    Skip([&] { text = u.ReadTextFile(path); });
    Skip([&] { u.DeleteFile(path); });
    return text;
}
