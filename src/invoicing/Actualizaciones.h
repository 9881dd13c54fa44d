#pragma once

#include "invoicing/MotivoRectificacion.h"

#include <QString>

class BillingWindow;

// What issuing a credit note carries into the rest of the clinic's records, inside its
// transaction: the payments and cash-box entries, the vaccination register and the breakdown (an
// invoice's are written by EmitirFactura). Each procedure but Actualizar_Desglose has its own
// error trap and ends the program on a failure, so the transaction is never committed.
namespace Actualizaciones {

// Credit note nIdFactura of invoice nIdFacturaAbonada: every payment of the credited invoice
// again, negated.
void Actualizar_Cobros(qint32 nIdFactura, qint32 nIdFacturaAbonada);

// The breakdown that is printed, registered and exported, with the discount taken off the base.
// An invoice (nIdFacturaAbonada 0): spread from the figures just stored. A credit note: its
// invoice's breakdown turned when it rectifies the whole invoice, else spread from its own
// figures; and its reason (FacturasRectificativas).
void Actualizar_Desglose(qint32 nIdFactura, qint32 nIdFacturaAbonada,
                         const MotivoRectificacion& motivo = {});

// Credit note nIdFactura (numbered sFactura) of invoice nIdFacturaAbonada (sFacturaAbonada):
// every cash-box entry of the credited invoice again, as money out. Entries carry their
// document's id, and the credited invoice's are found by its id: another branch's invoice may
// print the same text.
void Actualizar_ApunteCaja(const BillingWindow& w, const QString& sFactura,
                           const QString& sFacturaAbonada, qint32 nIdFactura,
                           qint32 nIdFacturaAbonada);

// A credit note of invoice nIdFacturaAbonada: the invoice's vaccinations are deleted.
void Actualizar_VacunasRecibidas(qint32 nIdFactura, qint32 nIdFacturaAbonada);

} // namespace Actualizaciones
