#include "invoicing/Actualizaciones.h"

#include "invoicing/BillingWindow.h"
#include "invoicing/Conta.h"
#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

namespace {

QString Id(qint64 id) {
    return QString::number(id);
}

} // namespace

void Actualizaciones::Actualizar_Cobros(qint32 nIdFactura, qint32 nIdFacturaAbonada) {
    Trap("Facturacion::Actualizar_Cobros", [&] {
        // Read by position: the client, the amount and the movement type are the 5th, 6th and
        // 8th columns of FacturasCobros, the 3rd its observations.
        const Rows rows =
            Db().GetRows("SELECT * FROM FacturasCobros WHERE nIdFactura=" + Id(nIdFacturaAbonada));
        for (int r = 0; r < rows.RowCount(); ++r)
            Conta::Generar_CobroCliente(
                Utility::ToInt32(U().SqlNumber(rows(4, r))), U().SqlNumber(rows(5, r)) * -1,
                Utility::ToInt32(U().SqlNumber(rows(7, r))), 0, nIdFactura, Gi.nFechaTrabajo,
                Db().Translate("Abono") + rows(2, r).toString());
    });
}

void Actualizaciones::Actualizar_Desglose(qint32 nIdFactura, qint32 nIdFacturaAbonada,
                                          const MotivoRectificacion& motivo) {
    if (nIdFacturaAbonada == 0) {
        TaxableBreakdown::Of(IssuedDocument::LoadHeader(nIdFactura)->importes).Write(nIdFactura);
        return;
    }
    // The whole invoice at once is its breakdown turned; a part is spread from its own figures.
    const DocumentAmounts rectificada = IssuedDocument::LoadHeader(nIdFacturaAbonada)->importes;
    const DocumentAmounts propia = IssuedDocument::LoadHeader(nIdFactura)->importes;
    (propia.FirstDifference(rectificada.Negated()) < 0
         ? TaxableBreakdown::ReadOr(nIdFacturaAbonada, rectificada).Negated()
         : TaxableBreakdown::Of(propia))
        .Write(nIdFactura);
    Db().InsertRecord(
        "FacturasRectificativas", "nIdFactura,sMotivo,sTextoMotivo",
        QString::number(nIdFactura) + "," + U().SqlValue(motivo.sMotivo, 0, true) + "," +
            U().SqlValue(motivo.sTextoMotivo.trimmed().left(MotivoRectificacion::MaxTexto), 0,
                         true));
}

void Actualizaciones::Actualizar_ApunteCaja(const BillingWindow& w, const QString& sFactura,
                                            const QString& sFacturaAbonada, qint32 nIdFactura,
                                            qint32 nIdFacturaAbonada) {
    Trap("Facturacion::Actualizar_ApunteCaja", [&] {
        const QString fra = Db().Translate("Fra.");
        const Rows entries =
            Db().GetRows(QString("SELECT ") + " ApuntesCaja.nIdCaja," + " ApuntesCaja.nImporte, " +
                         " ApuntesCaja.nIdTipoMovimiento " + " FROM ApuntesCaja " +
                         " WHERE nIdFactura=" + Id(nIdFacturaAbonada));
        const qint32 salida =
            Utility::ToInt32(U().SqlNumber(Db().GetValue("TipoMovimiento", "bEntrada=false")));
        if (salida == 0)
            ShowMessage(1, Db().Translate("No hay ningún tipo de movimiento de salida."));
        for (int r = 0; r < entries.RowCount(); ++r)
            Conta::Generar_ApunteCaja(
                Utility::ToInt32(U().SqlNumber(entries(0, r))), Db().Translate("Abono").left(16),
                w.Dato(4), Gi.nFechaTrabajo, salida, U().SqlNumber(entries(1, r)), {},
                fra + sFactura, Db().Translate("Fra.Abonada") + ":" + sFacturaAbonada, nIdFactura);
    });
}

void Actualizaciones::Actualizar_VacunasRecibidas(qint32, qint32 nIdFacturaAbonada) {
    Trap("Facturacion::Actualizar_VacunasRecibidas",
         [&] { Db().DeleteRecords("Vacunaciones", "nIdFactura=" + Id(nIdFacturaAbonada), 0); });
}
