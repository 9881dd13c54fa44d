#pragma once

#include "invoicing/MotivoRectificacion.h"

#include <QString>

class BillingWindow;

// What issuing an invoice or a credit note carries into the rest of the clinic's records, inside
// its transaction: the payments and cash-box entries, the pet's history, the vaccination register
// and the stock. Each procedure has its own error trap and ends the program on a failure, so the
// transaction is never committed.
namespace Actualizaciones {

// An invoice (nIdFacturaAbonada 0): one payment row per non-zero amount of Cobro. A credit note
// (nIdFactura the credit note, nIdFacturaAbonada the credited invoice): every payment of the
// credited invoice again, negated.
void Actualizar_Cobros(qint32 nIdFactura, qint32 nIdFacturaAbonada);

// The breakdown that is printed, registered and exported, with the discount taken off the base.
// An invoice (nIdFacturaAbonada 0): spread from the figures just stored. A credit note: its
// invoice's breakdown turned when it rectifies the whole invoice, else spread from its own
// figures; and its reason (FacturasRectificativas).
void Actualizar_Desglose(qint32 nIdFactura, qint32 nIdFacturaAbonada,
                         const MotivoRectificacion& motivo = {});

// An invoice (sFacturaAbonada empty): one cash-box entry per non-zero amount of Cobro, in the
// window's cash box, referenced "Fra." + sFactura. A credit note: every entry of the credited
// invoice again, as money out, referenced to the credit note. Entries carry their document's
// id, nIdFactura, and the credited invoice's are found by its id, nIdFacturaAbonada: another
// branch's invoice may print the same text.
void Actualizar_ApunteCaja(const BillingWindow& w, const QString& sFactura,
                           const QString& sFacturaAbonada, qint32 nIdFactura,
                           qint32 nIdFacturaAbonada);

// Every item of the invoice for the window's client goes into its pet's history, dated today.
void Actualizar_MascotasProdServ(const BillingWindow& w, qint32 nIdFactura);

// An invoice: each vaccine with a cadence gets a vaccination row with the date of the next dose.
// A credit note (nIdFacturaAbonada >= 1): the credited invoice's vaccinations are deleted.
void Actualizar_VacunasRecibidas(qint32 nIdFactura, qint32 nIdFacturaAbonada);

// Lowers the stock of every product of the invoice by its units (services are left alone); on
// a failure the program ends without a report.
void Actualizar_Stock(qint32 nIdFactura);

} // namespace Actualizaciones
