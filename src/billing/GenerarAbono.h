#pragma once

#include "invoicing/EmitirAbono.h"
#include "invoicing/MotivoRectificacion.h"

#include <QString>

class BillingWindow;

// Issues the rectifying invoice the user confirmed in the billing window (EmitirAbono), with the
// window's client and the session's working date, dated today; then prints it in the window's
// layout and reads the grid again. The invoice, the lines and units, the reason and the money
// given back come in `solicitud`; what the window and the session know is filled in here.
//
// An invoice that is gone, rectified to its last unit, or not of the window's client, and units
// above what is left to rectify, are refused with a message and nothing written. A failure is
// reported with the step reached and ends the program with nothing of the credit note written;
// its number, drawn inside the transaction, is given back.
void Generar_Abono(BillingWindow& w, SolicitudAbono solicitud);
// The whole of what is left of invoice nIdFactura, the money given back as it was paid.
void Generar_Abono(BillingWindow& w, qint32 nIdFactura, const MotivoRectificacion& motivo = {});
