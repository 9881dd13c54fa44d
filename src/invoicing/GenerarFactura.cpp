#include "invoicing/GenerarFactura.h"

#include "invoicing/Actualizaciones.h"
#include "invoicing/BillingWindow.h"
#include "invoicing/Conta.h"
#include "invoicing/LineasPendientes.h"
#include "invoicing/Numeracion.h"
#include "payment/Cobro.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "register/RegistroFacturacion.h"
#include "session/G.h"
#include "session/Gi.h"

namespace {

QString Money(double value) {
    return U().SqlValue(value, 2, true);
}

QString Text(const QString& text) {
    return U().SqlValue(text, 0, true);
}

} // namespace

QString CondicionPendientes(qint32 nIdCliente) {
    return "(nIdFactura=0 OR ISNULL(nIdFactura)) AND nIdCliente=" + QString::number(nIdCliente);
}

void Generar_Factura(BillingWindow& w) {
    Trap("Facturacion::Generar_Factura", [&] {
        nIdClienteActual = Utility::ToInt32(Utility::Val(w.Dato(3)));
        const double pendiente =
            Db().SumField("FacturasItems", "nTotal", CondicionPendientes(nIdClienteActual));
        if (pendiente == 0) {
            ShowMessage(0, "No hay ítems para facturar.");
            return;
        }
        if (nIdClienteActual == 0) {
            ShowMessage(0, "Debe definir cliente previamente");
            return;
        }
        if (const QString motivo = MotivoNoFacturable(nIdClienteActual, pendiente);
            !motivo.isEmpty()) {
            ShowMessage(0, motivo);
            return;
        }
        if (const QString impedimento = w.ImpresionImpedida(); !impedimento.isEmpty()) {
            ShowMessage(1, impedimento + "\nNo se ha emitido la factura.");
            return;
        }
        if (const QString fecha = Numeracion::FechaNoPermitida(Gi.nIdSucursal, Gi.nFechaTrabajo);
            !fecha.isEmpty()) {
            ShowMessage(0, fecha);
            return;
        }
        w.MostrarCobro();
        if (w.FormatoFactura() == 0)
            return;

        const qint32 nIdCliente = Utility::ToInt32(Utility::Val(w.Dato(3)));
        const QString sIdCliente = QString::number(nIdCliente);
        Conta::TotalesImpuesto t;
        Conta::TotalesPorPorcImpuesto(0, nIdCliente, t);

        // Drawn before the invoice's transaction (and kept when the invoice fails): the
        // counter's lock is not held while the invoice is written.
        const QString sFactura = Numeracion::Siguiente(Gi.nIdSucursal, Gi.nFechaTrabajo);

        const Rows cliente = Db().GetRows(
            "SELECT sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni FROM Clientes "
            "WHERE nIdCliente=" +
            sIdCliente);
        const QString sPoblacion = cliente(2, 0).toString();
        const QString sProvincia = cliente(3, 0).toString();
        const QString sCodigoPostal = cliente(4, 0).toString();

        Db().Transaction(0);
        const double nIdEmpleado = w.EmpleadoElegido();
        const qint32 nIdCaja = w.CajaElegida();
        const QStringList values{
            QString::number(Gi.nIdSucursal),
            sIdCliente,
            Text(Cobro.sCliente),
            Text(Cobro.sDomicilio),
            Text(sPoblacion),
            Text(sProvincia),
            Text(sCodigoPostal),
            Text(Cobro.sDni),
            QString::number(Gi.nIdUsuario),
            U().SqlValue(nIdEmpleado, 0, true),
            QString::number(nIdCaja),
            Text(sFactura),
            QString::number(Gi.nFechaTrabajo),
            Money(t.nPo_1),
            Money(t.nBi_1),
            Money(t.nIm_1),
            Money(t.nPo_2),
            Money(t.nBi_2),
            Money(t.nIm_2),
            Money(t.nPo_3),
            Money(t.nBi_3),
            Money(t.nIm_3),
            Money(t.nBi_Total),
            Money(t.nIm_Total),
            Money(t.nTotal),
            Money(Cobro.nDescuento),
            Money(0),
        };
        const qint32 nIdFactura = Db().InsertRecord(
            "Facturas",
            "nIdSucursal, nIdCliente, sCliente, sDomicilio, sPoblacion, sProvincia, "
            "sCodigoPostal, sDni, nIdUsuario, nIdEmpleado, nIdCaja, sFactura, dFactura, nPo_1, "
            "nBi_1, nIm_1, nPo_2, nBi_2, nIm_2, nPo_3, nBi_3, nIm_3, nBi_Total, nIm_Total, "
            "nTotal, nDescuento, nExento",
            values.join(','));

        const qint32 nIdClienteItems = Utility::ToInt32(Utility::Val(w.Dato(3)));
        Db().UpdateRecord("FacturasItems", "nIdFactura", QString::number(nIdFactura),
                          CondicionPendientes(nIdClienteItems));
        // Another workstation may have invoiced or changed these items while the payment was
        // being taken: the invoice holds exactly what was charged, or it is not issued.
        const double facturado =
            Db().SumField("FacturasItems", "nTotal", "nIdFactura=" + QString::number(nIdFactura));
        if (Utility::RoundHalfAway(facturado, 2) != Utility::RoundHalfAway(pendiente, 2)) {
            Db().Transaction(2);
            ShowMessage(1, "Los ítems pendientes del cliente han cambiado en otro puesto mientras "
                           "se cobraba: la factura " +
                               sFactura +
                               " no se ha emitido. Revise la lista y vuelva a generarla.");
            w.RefrescarGrid();
            return;
        }
        Actualizaciones::Actualizar_Cobros(nIdFactura, 0);
        Actualizaciones::Actualizar_MascotasProdServ(w, nIdFactura);
        Actualizaciones::Actualizar_VacunasRecibidas(nIdFactura, 0);
        Conta::Regenerar_SaldoCliente(Utility::ToInt32(Utility::Val(w.Dato(3))));
        Actualizaciones::Actualizar_Stock(nIdFactura);
        Actualizaciones::Actualizar_ApunteCaja(w, sFactura, QString(), nIdFactura, 0);
        Actualizaciones::Actualizar_Desglose(nIdFactura, 0);
        RegistroFacturacion::Registrar(nIdFactura);
        Db().Transaction(1);

        const ReportNote emitida("La factura " + sFactura +
                                 " se ha emitido y guardado. Para imprimirla, reimprímala desde "
                                 "el histórico de facturas del cliente.");
        w.Imprimir(nIdFactura, w.FormatoFactura());
        w.RefrescarGrid();
    });
}
