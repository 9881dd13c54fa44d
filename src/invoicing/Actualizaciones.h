#pragma once

#include "invoicing/MotivoRectificacion.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/TaxableBreakdown.h"

#include <QList>
#include <QString>
#include <optional>

// What issuing a document carries into the breakdown that is printed, registered and exported,
// inside its transaction (the payments, cash-box entries and vaccinations are written by
// EmitirFactura and EmitirAbono), and the reads that check it before its record.
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

// Documents `ids`, just written, read once for the checks before their records are written: the
// amounts (AmountsCheck::BeforeCommit), the records they get (RegistroFacturacion::Provisionales)
// and the agency's rules over them (ValidacionesAeat::AntesDeEmitir), on a server in one request.
void LeerAntesDeRegistrar(const QList<qint32>& ids);

} // namespace Actualizaciones
