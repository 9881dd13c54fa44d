#pragma once

#include "invoicing/Resultado.h"

#include <QString>
#include <QStringList>

// Cancelling a document issued in error (the wrong client, issued twice). It is not a change of
// amounts, which is what a rectifying invoice is for: the document is kept, marked cancelled,
// and everything it did is undone at once.
struct SolicitudAnulacion {
    qint32 nIdFactura = 0;
    // Why it was issued in error; required.
    QString sMotivo;
    // The client the invoice must be of; 0 takes it as it is.
    qint32 nIdCliente = 0;
    // The client's name as the cash-box entries carry it.
    QString sTitular;
    qint32 nFechaTrabajo = 0;
    qint32 dAnulacion = 0;
    qint32 nIdUsuario = 0;
};

struct FacturaAnulada {
    QString sFactura;
    QStringList avisos; // warnings for the user that did not stop it
};

// The step of cancelling that refused it.
enum class PasoAnulacion {
    // No reason written.
    Motivo,
    // The invoice cannot be cancelled now: gone, a credit note, rectified, cancelled already.
    Factura,
    // The invoice is not the window's client's.
    Cliente,
    // The register cannot sign the cancellation's record.
    Registro,
};

// Why invoice nIdFactura cannot be cancelled (it is gone, a credit note, rectified or cancelled
// already); empty when it can.
QString MotivoNoAnulable(qint32 nIdFactura);

// In one transaction under the invoice's lock: the invoice's effects undone as its whole
// rectification undoes them (DeshacerFactura), the invoice marked cancelled with the reason, and
// the register's cancellation record. Answers it, or the step that refused it with nothing
// written; raises the error met, with nothing written either.
Resultado<FacturaAnulada, PasoAnulacion> AnularFactura(const SolicitudAnulacion& solicitud);
