// tvReport --ini INI --file DEFINITION --report NAME [--sql SQL1|SQL2...] [--labels A|B
// --values X|Y] --out FILE [--force]: lays a report of a definition file out on the database named
// by the initialisation file and writes it as PDF, text, HTML or RTF (by FILE's extension), then
// prints "pages: N"; an existing FILE is replaced only with --force. Exit status: 0 written, 1
// failed (nothing written), 2 wrong arguments.
//
// tvReport --ini INI --invoice NUMBER --layout Normal|Detallada|Ticket --out FILE [--force]: the
// same for a stored invoice (its number, A0001/26, or its internal id), bound exactly as the viewer
// prints it.

#include "app/Tool.h"
#include "platform/data/DataAccess.h"
#include "platform/report/ReportComponent.h"
#include "platform/report/ReportWriter.h"
#include "platform/ui/seam/UnattendedUi.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "reports/InvoiceExport.h"
#include "session/SuiteSession.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace {

enum Status { Written = 0, Failed = 1, Usage = 2 };

int UsageError(const QString& problem) {
    if (!problem.isEmpty())
        Print(stderr, "tvReport: " + problem);
    Print(stderr, "Uso: tvReport --ini Tavelo.ini --file INFORMES.xml --report NOMBRE\n"
                  "                [--sql SQL1|SQL2...] [--labels A|B --values X|Y] --out ARCHIVO "
                  "[--force]\n"
                  "       tvReport --ini Tavelo.ini --invoice NUMERO --layout "
                  "Normal|Detallada|Ticket --out ARCHIVO [--force]\n"
                  "  NUMERO es el de la factura (A0001/26) o su número interno\n"
                  "  ARCHIVO termina en .pdf, .txt, .htm/.html o .rtf");
    return Usage;
}

struct ReportJob {
    QString ini;
    QString file;
    QString report;
    QString sqls;
    QString labels;
    QString values;
    QString out;
};

void OpenDatabase(const QString& ini) {
    if (!QFileInfo(ini).isFile())
        throw TvError(ErrorNumber::FileNotFound, "No se encuentra el archivo " + ini);
    const QString folder = DbConfig::DataFolder(ini);
    SuiteSession::CheckDataFolder(ini, folder);
    DbConfig config = DbConfig::FromIni(ini, folder);
    config.readOnly = true;
    if (config.engine == "sqlite" && !QFileInfo(config.sqliteFile).isFile())
        throw TvError(ErrorNumber::FileNotFound,
                      "No se encuentra la base de datos " + config.sqliteFile);
    DataAccess::instance().Open(config);
}

// As the viewer does: a value naming a picture ("\" in it, or "/" and an existing file) becomes
// the field's picture, any other its text; labels without a value, or naming no field, are left.
void ApplyLabels(ReportDefinition& report, const QStringList& labels, const QStringList& values) {
    for (int k = 0; k < labels.size() && k < values.size(); ++k) {
        const int index = report.FieldIndex(labels[k]);
        if (index < 0) {
            Print(stderr, "tvReport: aviso: el informe no tiene el campo " + labels[k]);
            continue;
        }
        const QString& value = values[k];
        const bool picture =
            value.contains('\\') || (value.contains('/') && QFileInfo(value).isFile());
        if (picture)
            report.Field(index).SetPicture(QString(value).replace('\\', '/'));
        else
            report.Field(index).SetText(value);
    }
}

// Lays the report out and writes it; answers the page count.
int RunReport(const ReportJob& job) {
    const std::unique_ptr<ReportWriter> writer = ReportWriter::ForFile(job.out);
    ArchivoSeguro::ComprobarDestino(job.out);
    OpenDatabase(job.ini);
    ReportComponent vsr;
    vsr.Load(job.file, job.report);
    ReportDefinition& report = vsr.Report();
    const QStringList sqls = job.sqls.isEmpty() ? QStringList() : job.sqls.split('|');
    if (!sqls.isEmpty())
        vsr.SetRecordSource(sqls.last());
    // Earlier texts feed the sub-reports, in the order of the fields that hold them.
    int next = 0;
    for (int i = 0; i < report.FieldCount() && next < sqls.size() - 1; ++i)
        if (!report.Field(i).SubReport().isEmpty())
            vsr.SubReport(i).SetRecordSource(sqls[next++]);
    if (!job.labels.isEmpty())
        ApplyLabels(report, job.labels.split('|'), job.values.split('|'));
    const PageModel model = vsr.Layout();
    writer->WriteOrThrow(model, job.out);
    return model.PageCount();
}

// --invoice: messages of the binding (a missing logo, say) go to standard error.
int RunInvoice(const QStringList& args) {
    QHash<QString, QString> values;
    for (int i = 0; i + 1 < args.size(); i += 2)
        values.insert(args[i], args[i + 1]);
    for (const char* option : {"--ini", "--invoice", "--layout", "--out"})
        if (values.value(option).isEmpty() || args.size() != 8)
            return UsageError(
                "uso de facturas: tvReport --ini Tavelo.ini --invoice NUMERO --layout "
                "Normal|Detallada|Ticket --out ARCHIVO [--force]");
    Ui::Install(std::make_unique<UnattendedUi>());
    QTextStream out(stdout), err(stderr);
    return InvoiceExport::Run(values.value("--ini"), values.value("--invoice"),
                              values.value("--layout"), values.value("--out"), out, err);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ReportJob job;
    const QHash<QString, QString*> options = {{"--ini", &job.ini},       {"--file", &job.file},
                                              {"--report", &job.report}, {"--sql", &job.sqls},
                                              {"--labels", &job.labels}, {"--values", &job.values},
                                              {"--out", &job.out}};
    QStringList args = app.arguments().mid(1);
    TakeForce(args);
    if (args.contains("--invoice"))
        return RunInvoice(args);
    for (int i = 0; i < args.size(); i += 2) {
        if (args[i] == "--help" || args[i] == "-h")
            return UsageError({});
        if (!options.contains(args[i]) || i + 1 >= args.size())
            return UsageError("argumento no reconocido o sin valor: " + args[i]);
        *options.value(args[i]) = args[i + 1];
    }
    if (job.ini.isEmpty() || job.file.isEmpty() || job.report.isEmpty() || job.out.isEmpty())
        return UsageError("faltan --ini, --file, --report o --out.");
    try {
        Print(stdout, QString("pages: %1").arg(RunReport(job)));
        return Written;
    } catch (const TvError& error) {
        Print(stderr, "tvReport: error " + error.FullText());
        return Failed;
    }
}
