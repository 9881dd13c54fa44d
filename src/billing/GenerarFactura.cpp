// The billing window's edge of an invoice: the checks, payment dialog, number, call and printing.

#include "billing/GenerarFactura.h"

#include "billing/BillingWindow.h"
#include "billing/ConexionPerdida.h"
#include "invoicing/EmitirFactura.h"
#include "invoicing/LineasPendientes.h"
#include "invoicing/Mostrador.h"
#include "invoicing/Numeracion.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

namespace {

// The request completed with what the window holds, the invoice issued under its drawn number,
// then printed; a refusal is shown and a failure of the call ends as its procedure's would.
void Emitir(BillingWindow& w, SolicitudFactura& s, const QString& sFactura, bool simplificada) {
    s.sTitular = w.Dato(DatoPareja::Cliente);
    s.nIdEmpleado = w.EmpleadoElegido();
    s.nIdCaja = w.CajaElegida();
    s.nIdUsuario = Gi.nIdUsuario;
    s.dFactura = Gi.nFechaTrabajo;
    // The pet's history records the day the invoice was really issued, not the working date.
    s.dEmision = Utility::ToInt32(U().SqlNumber(U().Today(true)));
    qint32 nIdFactura = 0;
    try {
        const Resultado<qint32, PasoEmision> emitida = EmitirFactura(s, sFactura);
        if (!emitida.Hecho()) {
            ShowMessage(MessageKind::Error, emitida.Rechazado().mensaje);
            w.RefrescarGrid();
            return;
        }
        nIdFactura = *emitida;
    } catch (const FalloEmision& e) {
        if (!Db().ConnectionLost()) {
            if (e.Procedimiento().isEmpty())
                EndProgram(1);
            Trap(e.Procedimiento(), [&] { e.Relanzar(); });
        }
        nIdFactura = EmitidoTrasPerderConexion(
            simplificada ? "la factura simplificada" : "la factura", sFactura, "Facturar");
        if (nIdFactura == 0) {
            if (!Db().ConnectionLost())
                w.RefrescarGrid();
            return;
        }
    }

    const ReportNote emitida(QString(simplificada ? "La factura simplificada " : "La factura ") +
                             sFactura +
                             " se ha emitido y guardado. Para imprimirla, reimprímala desde "
                             "el histórico de facturas del cliente.");
    // Issued: a failure from here on, a lost connection too, is reported with the note above and
    // never reaches the caller, which would take it for an invoice not issued.
    const TellsLostConnection printing(false);
    Trap("Facturacion::Generar_Factura", [&] {
        w.Imprimir(nIdFactura, w.FormatoFactura());
        w.RefrescarGrid();
    });
}

// The invoice of the window's client: the checks, the payment dialog, the number and the call.
// The pending items and the invoices' series are read once, before the dialog: the checks after
// it that the engine repeats use them, and the engine refuses an invoice whose items changed.
void Facturar(BillingWindow& w) {
    const qint32 nIdCliente = Utility::ToInt32(Utility::Val(w.Dato(DatoPareja::IdCliente)));
    // What the grid lists now is what the payment is taken for and what the invoice must hold.
    Pendientes pendientes = Pendientes::Leer(nIdCliente);
    if (pendientes.Total() == Money()) {
        ShowMessage(MessageKind::Notice, "No hay ítems para facturar.");
        return;
    }
    if (nIdCliente == 0) {
        ShowMessage(MessageKind::Notice, "Debe definir cliente previamente");
        return;
    }
    if (const QString motivo = pendientes.MotivoNoFacturable(); !motivo.isEmpty()) {
        ShowMessage(MessageKind::Notice, motivo);
        return;
    }
    if (const QString impedimento = w.ImpresionImpedida(); !impedimento.isEmpty()) {
        ShowMessage(MessageKind::Error, impedimento + "\nNo se ha emitido la factura.");
        return;
    }
    const QString serieFacturas = Numeracion::SerieFacturas(Gi.nIdSucursal);
    if (const QString fecha =
            Numeracion::FechaNoPermitidaEnSerie(Gi.nIdSucursal, serieFacturas, Gi.nFechaTrabajo);
        !fecha.isEmpty()) {
        ShowMessage(MessageKind::Notice, fecha);
        return;
    }
    SolicitudFactura s;
    s.cobro = w.MostrarCobro();
    if (w.FormatoFactura() == 0)
        return;
    s.nIdCliente = Utility::ToInt32(Utility::Val(w.Dato(DatoPareja::IdCliente)));
    s.nIdSucursal = Gi.nIdSucursal;
    // The payment dialog refuses what cannot be issued; the customer's id is decided again
    // here so that no number is drawn for a sale the engine would refuse. The selection
    // stays while the dialog is open, and with it the items and the flag read before.
    const DocumentoVenta documento =
        s.nIdCliente == nIdCliente ? DocumentoDeVenta(s, pendientes.mostrador, pendientes.importes)
                                   : DocumentoDeVenta(s, Mostrador::EsMostrador(s.nIdCliente));
    if (!documento.Emitible()) {
        ShowMessage(MessageKind::Notice, documento.motivo);
        return;
    }
    const QString sSerie =
        Numeracion::SerieDeVenta(Gi.nIdSucursal, documento.sTipoFactura, serieFacturas);
    // Checked again whatever the series: another workstation may have issued a later document
    // while the dialog was open, and the engine does not look at dates.
    if (const QString fecha =
            Numeracion::FechaNoPermitidaEnSerie(Gi.nIdSucursal, sSerie, Gi.nFechaTrabajo);
        !fecha.isEmpty()) {
        ShowMessage(MessageKind::Notice, fecha);
        return;
    }
    // Drawn before the invoice's transaction (and kept when the invoice fails): the
    // counter's lock is not held while the invoice is written.
    QString sFactura;
    try {
        sFactura =
            Numeracion::SiguientesEnSerie(Gi.nIdSucursal, sSerie, Gi.nFechaTrabajo, 1).front();
    } catch (const NumerosSinRespuesta& e) {
        ReservadoTrasPerderConexion(e, "Facturar");
        return;
    }
    s.lineas = std::move(pendientes.lineas);
    Emitir(w, s, sFactura, documento.Simplificada());
}

} // namespace

void Generar_Factura(BillingWindow& w) {
    Trap("Facturacion::Generar_Factura", [&] {
        try {
            const TellsLostConnection told;
            Facturar(w);
        } catch (const TvError& e) {
            if (!AvisoDeConexionPerdida(e, "No se ha emitido nada: vuelva a pulsar Facturar."))
                throw;
        }
    });
}
