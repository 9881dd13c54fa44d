// The billing window's edge of a rectifying invoice: the request, the call, the messages, printing.

#include "billing/GenerarAbono.h"

#include "billing/BillingWindow.h"
#include "billing/ConexionPerdida.h"
#include "invoicing/Conta.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/G.h"
#include "session/Gi.h"

namespace {
// A rectification's commit may have reached the server with its answer lost.
const QString MirarHistorico = QStringLiteral(
    "Mire en el histórico del cliente si la factura rectificativa llegó a guardarse antes de "
    "volver a pulsar Rectificar.");
} // namespace

void Generar_Abono(BillingWindow& w, SolicitudAbono solicitud) {
    try {
        const TellsLostConnection told;
        if (const QString impedimento = w.ImpresionImpedida(); !impedimento.isEmpty()) {
            ShowMessage(MessageKind::Error,
                        impedimento + "\nNo se ha emitido la factura rectificativa.");
            return;
        }
        solicitud.nIdCliente = Utility::ToInt32(Utility::Val(w.Dato(DatoPareja::IdCliente)));
        solicitud.sTitular = w.Dato(DatoPareja::Cliente);
        solicitud.nFechaTrabajo = Gi.nFechaTrabajo;
        solicitud.nIdUsuario = Gi.nIdUsuario;
        solicitud.dAbono = Utility::ToInt32(U().SqlNumber(U().Today(true)));
        const Resultado<AbonoEmitido, PasoAbono> resultado = EmitirAbono(solicitud);
        if (!resultado.Hecho()) {
            ShowMessage(MessageKind::Notice, resultado.Rechazado().mensaje);
            return;
        }
        const AbonoEmitido& emitido = *resultado;
        // The notice about cash box 0 is information, as the cash-box writer shows it.
        for (const QString& aviso : emitido.avisos)
            ShowMessage(aviso == Conta::AvisoCajaCero ? MessageKind::Notice : MessageKind::Error,
                        aviso);

        const ReportNote emitida("La factura rectificativa " + emitido.sFactura +
                                 " se ha emitido y guardado. Para imprimirla, reimprímala desde "
                                 "el histórico de facturas del cliente.");
        const TellsLostConnection printing(false);
        w.Imprimir(emitido.nIdAbono, w.FormatoFactura());
        w.RefrescarGrid();
    } catch (const AbonoFallido& e) {
        if (AvisoDeConexionPerdida(e, MirarHistorico))
            return;
        if (!e.Procedimiento().isEmpty())
            Trap(e.Procedimiento(), [&] { e.Relanzar(); });
        ReportError("Facturacion::Generar_Abono", e.Where(), e);
        EndProgram(1);
    } catch (const TvError& e) {
        if (AvisoDeConexionPerdida(e, MirarHistorico))
            return;
        ReportError("Facturacion::Generar_Abono", {}, e);
        EndProgram(1);
    } catch (const std::exception& e) {
        ReportError("Facturacion::Generar_Abono", {}, e);
        EndProgram(1);
    }
}

void Generar_Abono(BillingWindow& w, qint32 nIdFactura, const MotivoRectificacion& motivo) {
    SolicitudAbono solicitud;
    solicitud.nIdFactura = nIdFactura;
    solicitud.motivo = motivo;
    Generar_Abono(w, std::move(solicitud));
}
