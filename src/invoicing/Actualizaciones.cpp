#include "invoicing/Actualizaciones.h"

#include "invoicing/BillingWindow.h"
#include "invoicing/Conta.h"
#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "payment/Cobro.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

namespace {

QString Id(qint64 id) {
    return QString::number(id);
}

// A stored id or count read as its text: empty text (a NULL field) is no number.
qint32 Whole(const Recordset& rs, const QString& field) {
    const QString text = rs.Fields(field).Value.toString();
    if (text.trimmed().isEmpty())
        throw TvError(ErrorNumber::TypeMismatch,
                      "El campo " + field + " está vacío donde se espera un número");
    return Utility::ToInt32(U().SqlNumber(text));
}

qint32 IdTipoCobro(const QString& sTipoCobro) {
    return Utility::ToInt32(U().SqlNumber(
        Db().GetValue("TipoCobro", "sTipoCobro=" + U().SqlValue(sTipoCobro, 0, true))));
}

qint32 MovimientoDeTipoCobro(const QString& sTipoCobro) {
    return Utility::ToInt32(U().SqlNumber(Db().GetValue(
        "TipoCobro", "sTipoCobro=" + U().SqlValue(sTipoCobro, 0, true), "nIdTipoMovimiento")));
}

} // namespace

void Actualizaciones::Actualizar_Cobros(qint32 nIdFactura, qint32 nIdFacturaAbonada) {
    Trap("Facturacion::Actualizar_Cobros", [&] {
        const qint32 nIdCliente = Utility::ToInt32(
            U().SqlNumber(Db().GetValue("Facturas", "nIdFactura=" + Id(nIdFactura), "nIdCliente")));
        if (nIdFacturaAbonada < 1) {
            for (int k = 0; k < CobroRecord::Slots; ++k) {
                if (Cobro.nImporte[k] == 0)
                    continue;
                const qint32 nIdTipoCobro = IdTipoCobro(Cobro.sTipoCobro[k]);
                const qint32 nIdTipoMovimiento = Utility::ToInt32(U().SqlNumber(Db().GetValue(
                    "TipoCobro", "nIdTipoCobro=" + Id(nIdTipoCobro), "nIdTipoMovimiento")));
                Conta::Generar_CobroCliente(nIdCliente, Cobro.nImporte[k], nIdTipoMovimiento,
                                            nIdTipoCobro, nIdFactura, Gi.nFechaTrabajo, {});
            }
            return;
        }
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
        if (sFacturaAbonada.isEmpty()) {
            for (int k = 0; k < CobroRecord::Slots; ++k) {
                if (Cobro.nImporte[k] == 0)
                    continue;
                Conta::Generar_ApunteCaja(
                    w.CajaElegida(), (Db().Translate("Cobro") + " " + Cobro.sTipoCobro[k]).left(16),
                    w.Dato(4), Gi.nFechaTrabajo, MovimientoDeTipoCobro(Cobro.sTipoCobro[k]),
                    Cobro.nImporte[k], {}, fra + sFactura, Db().Translate("Pago Fra."), nIdFactura);
            }
            return;
        }
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

void Actualizaciones::Actualizar_MascotasProdServ(const BillingWindow& w, qint32 nIdFactura) {
    Trap("Facturacion::Actualizar_MascotasProdServ", [&] {
        Recordset rs;
        Db().OpenRecordset(QString("SELECT nIdMascota,nIdProductoServicio,sConclusion ") +
                               " FROM FacturasItems " + " WHERE nIdFactura= " + Id(nIdFactura) +
                               " AND nIdCliente=" + Id(Utility::ToInt32(Utility::Val(w.Dato(3)))),
                           rs);
        // The pet's history records the day the invoice was really issued, not the working date.
        const qint32 dFactura = Utility::ToInt32(U().SqlNumber(U().Today(true)));
        for (; !rs.Eof(); rs.MoveNext()) {
            const qint32 nIdMascota = Whole(rs, "nIdMascota");
            const qint32 nIdProductoServicio = Whole(rs, "nIdProductoServicio");
            const QString sConclusion = rs.Fields("sConclusion").Value.toString();
            Db().InsertRecord("MascotasProdServ",
                              "nIdMascota,dFactura,nIdProductoServicio,sConclusion,nIdFactura",
                              Id(nIdMascota) + "," + Id(dFactura) + "," + Id(nIdProductoServicio) +
                                  "," + U().SqlValue(sConclusion, 0, true) + "," + Id(nIdFactura));
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
    });
}

void Actualizaciones::Actualizar_VacunasRecibidas(qint32 nIdFactura, qint32 nIdFacturaAbonada) {
    Trap("Facturacion::Actualizar_VacunasRecibidas", [&] {
        if (nIdFacturaAbonada >= 1) {
            Db().DeleteRecords("Vacunaciones", "nIdFactura=" + Id(nIdFacturaAbonada), 0);
            return;
        }
        Recordset rs;
        Db().OpenRecordset(
            QString("SELECT FacturasItems.*, ProductosServicios.nCadencia, Facturas.dFactura ") +
                " FROM ((FacturasItems" +
                " INNER JOIN Facturas ON Facturas.nIdFactura=FacturasItems.nIdFactura)" +
                " INNER JOIN ProductosServicios ON "
                "FacturasItems.nIdProductoServicio=ProductosServicios.nIdProductoServicio)" +
                " WHERE ProductosServicios.bVacuna=True" +
                " AND FacturasItems.nIdFactura=" + Id(nIdFactura),
            rs);
        for (; !rs.Eof(); rs.MoveNext()) {
            const qint16 nCadencia = Utility::ToInt16(U().SqlNumber(rs.Fields("nCadencia").Value));
            if (nCadencia <= 0)
                continue;
            const qint32 dVacunado = Whole(rs, "dFactura");
            const qint32 dProximaVacuna = Utility::ToInt32(U().SqlNumber(
                U().FormatDate(3, U().AddToDate("d", nCadencia, U().FormatDate(2, dVacunado)))));
            Db().InsertRecord(
                "Vacunaciones",
                "nIdFactura,nIdFacturaItem,nIdProductoServicio,nIdMascota,dVacunado,dProximaVacuna",
                QStringList{Id(Whole(rs, "nIdFactura")), Id(Whole(rs, "nIdFacturaItem")),
                            Id(Whole(rs, "nIdProductoServicio")), Id(Whole(rs, "nIdMascota")),
                            Id(dVacunado), Id(dProximaVacuna)}
                    .join(','));
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
    });
}

void Actualizaciones::Actualizar_Stock(qint32 nIdFactura) {
    try {
        Recordset rs;
        Db().OpenRecordset("SELECT * FROM FacturasItems WHERE nIdFactura=" + Id(nIdFactura), rs);
        for (; !rs.Eof(); rs.MoveNext()) {
            const qint32 nIdProducto = Whole(rs, "nIdProductoServicio");
            const qint32 nUnidades = Whole(rs, "nUnidades");
            const QString where = "nIdProductoServicio=" + Id(nIdProducto);
            const qint32 stock = Utility::ToInt32(
                U().SqlNumber(Db().GetValue("ProductosServicios", where, "nStockActual")));
            if (U().SqlNumber(Db().GetValue("ProductosServicios", where, "bProducto")) != 0)
                Db().UpdateRecord("ProductosServicios", "nStockActual",
                                  Id(Utility::ToInt32(double(stock) - nUnidades)), where);
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
    } catch (const std::exception&) {
        EndProgram(1);
    }
}
