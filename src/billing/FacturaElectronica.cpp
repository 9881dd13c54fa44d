// An issued document written as a Facturae e-invoice from the invoice history.

#include "billing/FacturaElectronica.h"

#include "facturae/FacturaeArchivo.h"
#include "facturae/FacturaeEscritura.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/TvError.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QDir>

namespace FacturaElectronica {

void Pedir(qint32 nIdFactura) {
    if (!G::Permiso("tvFacturae")) {
        ShowMessage(MessageKind::Notice, "No tiene permiso para realizar esta operación.");
        return;
    }
    const FacturaeArchivo::Certificado firma = FacturaeArchivo::DelIni(Gi.sPathIni);
    const bool firmada = !firma.p12.isEmpty();
    const Rows factura =
        Db().GetRows("SELECT sFactura,COALESCE(sTipoFactura,'') FROM Facturas WHERE nIdFactura=" +
                     QString::number(nIdFactura));
    const QString tipo = factura.Value(1, 0).toString().trimmed();
    if (tipo == "F2" || tipo == "R5") {
        ShowMessage(MessageKind::Notice,
                    FacturaeEscritura::NoSimplificadas(factura.Value(0, 0).toString().trimmed()));
        return;
    }
    // "0037/26" cannot be a file name as it stands.
    const QString numero = factura.Value(0, 0).toString().trimmed().replace('/', '-');
    const QString extension = firmada ? "xsig" : "xml";
    const QString file = Ui::current().SaveFile(
        Db().Translate("Factura electrónica"),
        QDir(DocumentsFolder()).filePath("Factura " + numero + "." + extension), extension,
        firmada ? "Factura electrónica firmada (*.xsig)"
                : "Factura electrónica sin firmar (*.xml)");
    if (file.isEmpty())
        return;
    try {
        FacturaeArchivo::Escribir(nIdFactura, file, firma);
        ShowMessage(MessageKind::Notice, (firmada ? "Factura electrónica firmada escrita en "
                                                  : "Factura electrónica sin firmar escrita en ") +
                                             file + ".");
    } catch (const TvError& e) {
        ShowMessage(MessageKind::Error, e.Description());
    }
}

} // namespace FacturaElectronica
