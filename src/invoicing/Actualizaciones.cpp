// The breakdown an issued document stores for printing, the register and exports, and the reads
// of its checks before its record.

#include "invoicing/Actualizaciones.h"

#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "register/ExportacionAeat.h"
#include "register/RegistroFacturacion.h"

void Actualizaciones::Actualizar_Desglose(qint32 nIdFactura, qint32 nIdFacturaAbonada,
                                          const MotivoRectificacion& motivo,
                                          const std::optional<TaxableBreakdown>& resto,
                                          const std::optional<DocumentAmounts>& leida) {
    if (nIdFacturaAbonada == 0) {
        TaxableBreakdown::Of(IssuedDocument::LoadHeader(nIdFactura)->importes).Write(nIdFactura);
        return;
    }
    // The whole invoice at once is its breakdown turned; a part is spread from its own figures.
    const DocumentAmounts rectificada =
        leida ? *leida : IssuedDocument::LoadHeader(nIdFacturaAbonada)->importes;
    const DocumentAmounts propia = IssuedDocument::LoadHeader(nIdFactura)->importes;
    (resto ? *resto
     : propia.FirstDifference(rectificada.Negated()) < 0
         ? TaxableBreakdown::ReadOr(nIdFacturaAbonada, rectificada).Negated()
         : TaxableBreakdown::Of(propia))
        .Write(nIdFactura);
    Db().InsertRecord(
        "FacturasRectificativas", "nIdFactura,sMotivo,sTextoMotivo",
        QString::number(nIdFactura) + "," + U().SqlValue(motivo.sMotivo, 0, true) + "," +
            U().SqlValue(motivo.sTextoMotivo.trimmed().left(MotivoRectificacion::MaxTexto), 0,
                         true));
}

void Actualizaciones::LeerAntesDeRegistrar(const QList<qint32>& ids) {
    Db().ReadAhead(QStringList{AmountsCheck::BeforeCommitRead(ids),
                               RegistroFacturacion::ProvisionalesRead(ids)} +
                   ExportacionAeat::DatosReads(ids));
}
