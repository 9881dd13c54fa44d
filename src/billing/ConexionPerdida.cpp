// What becomes of a desk's document when the server's connection falls as it is issued.

#include "billing/ConexionPerdida.h"

#include "invoicing/Numeracion.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "session/G.h"

namespace {

// "Se ha perdido la conexión con el servidor ... mientras se " followed by what was being done.
QString PerdidaMientras(const QString& sHaciendo) {
    return "Se ha perdido la conexión con el servidor de base de datos " +
           Db().Config().ServerName() + " mientras se " + sHaciendo;
}

} // namespace

qint32 EmitidoTrasPerderConexion(const QString& sDocumento, const QString& sNumero,
                                 const QString& sBoton) {
    const QString perdida = PerdidaMientras("emitía " + sDocumento + " " + sNumero);
    try {
        // A read outside any transaction opens a new connection, and runs on it.
        const qint32 nIdFactura = Db().GetRows("SELECT nIdFactura FROM Facturas WHERE sFactura=" +
                                               Utility::Quote(sNumero))
                                      .Value(0, 0)
                                      .toInt();
        if (nIdFactura == 0)
            ShowMessage(MessageKind::Error, perdida +
                                                ", y no llegó a guardarse. Ya se ha vuelto a "
                                                "conectar: vuelva a pulsar " +
                                                sBoton + ".");
        return nIdFactura;
    } catch (const TvError&) {
        ShowMessage(MessageKind::Error,
                    perdida +
                        ", y todavía no responde. Cuando vuelva la conexión, mire en el "
                        "histórico del cliente si se guardó antes de volver a pulsar " +
                        sBoton + ".");
        return 0;
    }
}

void ReservadoTrasPerderConexion(const NumerosSinRespuesta& e, const QString& sBoton) {
    const bool uno = e.sNumeros.size() == 1;
    const QString perdida = PerdidaMientras(
        (uno ? "reservaba el número de la factura " : "reservaban los números de las facturas ") +
        e.sNumeros.join(", "));
    const QString nada = ". No se ha emitido nada";
    const std::optional<bool> guardados = Numeracion::Guardados(e);
    if (!guardados)
        ShowMessage(MessageKind::Error,
                    perdida + ", y todavía no responde" + nada +
                        (uno ? "; si llegó a reservarse, el número queda sin usar"
                             : "; si llegaron a reservarse, los números quedan sin usar") +
                        ". Cuando vuelva la conexión, vuelva a pulsar " + sBoton + ".");
    else
        ShowMessage(MessageKind::Error,
                    perdida +
                        (*guardados ? (uno ? ", que queda sin usar" : ", que quedan sin usar")
                                    : (uno ? ", y no llegó a reservarse"
                                           : ", y no llegaron a reservarse")) +
                        nada + ". Ya se ha vuelto a conectar: vuelva a pulsar " + sBoton + ".");
}

bool AvisoDeConexionPerdida(const TvError& e, const QString& sConsejo) {
    if (!Db().ConnectionLost())
        return false;
    ShowMessage(MessageKind::Error, e.Description() + ". " + sConsejo);
    return true;
}
