#pragma once

#include "invoicing/MotivoRectificacion.h"

#include <QString>

class BillingWindow;

// Cancels issued invoice nIdFactura with a credit note: in one transaction a new numbered
// Facturas row copying the invoice with its amounts negated and naming it (sFacturaAbonada,
// dFacturaAbonada), its items twice (negated for the credit note, unchanged as pending items of
// the client again), the payments and cash-box entries reversed, the invoice's pet history and
// vaccinations deleted and the client's balance recomputed; then the credit note is printed in
// the window's layout and the grid read again. The stock is not changed. The credit note keeps
// motivo, the reason the user chose when confirming it.
//
// An invoice that is gone, already credited, or not of the window's client is refused with a
// message and nothing written. A failure is reported with the step reached and ends the program
// with nothing of the credit note written; its number, drawn inside the transaction, is given
// back.
void Generar_Abono(BillingWindow& w, qint32 nIdFactura, const MotivoRectificacion& motivo = {});

// Why the invoice cannot be credited now (it is gone, already credited or named by a credit
// note); empty when it can.
QString MotivoNoAbonable(qint32 nIdFactura);
