// Cancelling a document issued in error: the checks, the mark and everything it did undone.

#include "invoicing/AnularFactura.h"

#include "invoicing/Conta.h"
#include "invoicing/EmitirAbono.h"
#include "invoicing/SustituirSimplificadas.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"

namespace {

using Sql::Id;

using AnulacionRechazada = Rehusado<PasoAnulacion>;

} // namespace

QString MotivoNoAnulable(qint32 nIdFactura) {
    const Rows invoice = Db().GetRows(
        "SELECT sFactura,dFacturaAbonada,(SELECT COUNT(*) FROM FacturasAnuladas a WHERE "
        "a.nIdFactura=f.nIdFactura),(SELECT COUNT(*) FROM Abonos a WHERE "
        "a.nIdFacturaAbonada=f.nIdFactura),COALESCE(sTipoFactura,'') FROM Facturas f WHERE "
        "f.nIdFactura=" +
        Id(nIdFactura));
    if (invoice.IsEmpty())
        return Db().Translate("La factura ya no existe: otro puesto la ha borrado.");
    const QString factura = Db().Translate("La factura") + " " + invoice(0, 0).toString() + " ";
    if (U().SqlNumber(invoice(1, 0)) != 0)
        return factura + Db().Translate("es una factura rectificativa: no se anula.");
    if (U().SqlNumber(invoice(2, 0)) != 0)
        return factura + Db().Translate("ya está anulada.");
    if (U().SqlNumber(invoice(3, 0)) != 0)
        return factura +
               Db().Translate("tiene facturas rectificativas: ya no se puede anular. Lo que "
                              "quede por devolver se rectifica.");
    // Undoing it would put the simplified invoices' lines pending a second time.
    if (invoice(4, 0).toString() == QLatin1String("F3"))
        return factura + Db().Translate("sustituye a facturas simplificadas: no se anula. Lo que "
                                        "haya que corregir se rectifica.");
    return Sustituida(nIdFactura);
}

Resultado<FacturaAnulada, PasoAnulacion> AnularFactura(const SolicitudAnulacion& s) {
    return Responder<PasoAnulacion>([&] {
        const QString motivo = s.sMotivo.trimmed();
        if (motivo.isEmpty())
            throw AnulacionRechazada(PasoAnulacion::Motivo,
                                     Db().Translate("Escriba por qué se anula la factura: no se ha "
                                                    "anulado."));
        FacturaAnulada resultado;
        Db().Batched([&] {
            TransactionGuard guard;
            // A second workstation cancelling or rectifying the same invoice waits here, then is
            // refused.
            Db().LockForTransaction("Facturas", s.nIdFactura);
            if (const QString rechazo = MotivoNoAnulable(s.nIdFactura); !rechazo.isEmpty())
                throw AnulacionRechazada(PasoAnulacion::Factura, rechazo);
            if (const QString firma = FirmaRegistro::Problema(); !firma.isEmpty())
                throw AnulacionRechazada(PasoAnulacion::Registro, firma);
            const Rows invoice = Db().GetRows(
                "SELECT sFactura,nIdCliente FROM Facturas WHERE nIdFactura=" + Id(s.nIdFactura));
            const qint32 nIdCliente = Utility::ToInt32(U().SqlNumber(invoice(1, 0)));
            if (s.nIdCliente != 0 && s.nIdCliente != nIdCliente)
                throw AnulacionRechazada(
                    PasoAnulacion::Cliente,
                    Db().Translate("La factura elegida no es del cliente de la "
                                   "ventana: no se ha anulado."));
            Conta::BloquearClientes({nIdCliente});
            // Marked first, so that the client's balance recomputed below leaves its total out.
            Db().InsertRecord("FacturasAnuladas", "nIdFactura,sMotivo,dAnulacion,nIdUsuario",
                              Id(s.nIdFactura) + "," + U().SqlValue(motivo, 0, true) + "," +
                                  Id(s.dAnulacion) + "," + Id(s.nIdUsuario));
            SolicitudAbono deshacer;
            deshacer.nIdFactura = s.nIdFactura;
            deshacer.sTitular = s.sTitular;
            deshacer.nFechaTrabajo = s.nFechaTrabajo;
            deshacer.nIdUsuario = s.nIdUsuario;
            resultado = {invoice(0, 0).toString(), DeshacerFactura(deshacer)};
            RegistroFacturacion::RegistrarAnulacion(s.nIdFactura);
            guard.Commit();
        });
        return resultado;
    });
}
