// A stored invoice written to a file without a window (tvReport --invoice).

#include "reports/InvoiceExport.h"

#include "invoicing/core/IssuedDocument.h"
#include "platform/data/DataAccess.h"
#include "platform/report/ReportComponent.h"
#include "platform/report/ReportWriter.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "reports/Informes.h"
#include "reports/ReportBinding.h"
#include "session/Gi.h"
#include "session/SuiteSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <memory>

// The branch whose own data the till layout prints is the invoice's (Run sets it).
void InvoiceExport::LoadSession(const QString& iniPath) {
    const Utility& u = Utility::instance();
    Gi.sPathIni = iniPath;
    Gi.sPathRoot = u.GetRootPath(QCoreApplication::applicationDirPath(), "Tavelo");
    // A relative data path is taken from the ini's own folder, as the report tool does.
    const QString dataPath =
        u.ReadIni(iniPath, "Database", "DataPath", {}).trimmed().replace('\\', '/');
    const QDir iniFolder = QFileInfo(iniPath).absoluteDir();
    Gi.sPathData =
        dataPath.isEmpty() ? iniFolder.path() : QDir::cleanPath(iniFolder.filePath(dataPath));
    Gi.DeriveFolders();
    DataAccess& db = DataAccess::instance();
    if (!db.IsConnected())
        SuiteSession::Open(iniPath, Gi.sPathData, db, true);
}

int InvoiceExport::LayoutNumber(const QString& name) {
    const QString key = name.trimmed().toLower();
    if (key == "normal")
        return Informes::Normal;
    if (key == "detallada")
        return Informes::Detallada;
    if (key == "ticket")
        return Informes::Ticket;
    return 0;
}

int InvoiceExport::Run(const QString& iniPath, const QString& invoice, const QString& layout,
                       const QString& outPath, QTextStream& out, QTextStream& err) {
    // The invoice as the desk names it (A0013/25) or by its internal id.
    const QString named = invoice.trimmed();
    bool numeric = false;
    qint32 nIdFactura = named.toInt(&numeric);
    const int nFormato = LayoutNumber(layout);
    if (named.isEmpty() || (numeric && nIdFactura <= 0)) {
        err << "La factura se indica por su número (A0001/26) o por su número interno, un entero "
               "positivo, y es \""
            << invoice << "\".\n";
        return 2;
    }
    if (nFormato == 0) {
        err << "Formato de factura desconocido: \"" << layout
            << "\" (debe ser Normal, Detallada o Ticket).\n";
        return 2;
    }
    std::unique_ptr<ReportWriter> writer;
    try {
        writer = ReportWriter::ForFile(outPath);
    } catch (const TvError& e) {
        err << e.Description() << "\n";
        return 2;
    }
    if (!QFileInfo(iniPath).isFile()) {
        err << "No se encuentra el archivo de inicialización \"" << iniPath << "\".\n";
        return 1;
    }
    try {
        ArchivoSeguro::ComprobarDestino(outPath);
        LoadSession(iniPath);
        if (!numeric)
            nIdFactura = Db().GetRows("SELECT nIdFactura FROM Facturas WHERE sFactura=" +
                                      Utility::Quote(named))
                             .Value(0, 0)
                             .toInt();
        const std::optional<IssuedDocument> document = IssuedDocument::LoadHeader(nIdFactura);
        if (!document) {
            err << "No existe la factura " << (numeric ? "con número interno " : "") << named
                << ".\n";
            return 1;
        }
        Gi.nIdSucursal = Utility::ToInt16(document->nIdSucursal);
        std::optional<ReportJob> job = Informes::FacturaJob(nIdFactura, nFormato);
        ReportComponent vsr;
        if (!ReportBinding(vsr).Bind(*job)) {
            err << "No se ha podido preparar el informe " << job->sSubreports << " de "
                << job->sFileName << ".\n";
            return 1;
        }
        const PageModel model = vsr.Layout();
        writer->WriteOrThrow(model, outPath);
        out << "pages: " << model.PageCount() << "\n";
        return 0;
    } catch (const TvError& e) {
        err << e.FullText() << "\n";
        return 1;
    }
}
