#pragma once

#include "invoicing/MotivoRectificacion.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/TaxableBreakdown.h"

#include <QString>
#include <optional>

// What issuing a document carries into the breakdown that is printed, registered and exported,
// inside its transaction (the payments, cash-box entries and vaccinations are written by
// EmitirFactura and EmitirAbono).
namespace Actualizaciones {

// The breakdown, with the discount taken off the base.
// An invoice (nIdFacturaAbonada 0): spread from the figures just stored. A credit note: its
// invoice's breakdown turned when it rectifies the whole invoice, `resto` when it takes the
// invoice's last units after others (what the earlier ones left of it, turned), else spread from
// its own figures; and its reason (FacturasRectificativas). rectificada: the credited invoice's
// stored figures when the caller has read them already.
void Actualizar_Desglose(qint32 nIdFactura, qint32 nIdFacturaAbonada,
                         const MotivoRectificacion& motivo = {},
                         const std::optional<TaxableBreakdown>& resto = {},
                         const std::optional<DocumentAmounts>& rectificada = {});

} // namespace Actualizaciones
