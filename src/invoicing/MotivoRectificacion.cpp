// The reasons for a rectifying invoice (R1 to R4) and which of them send lines back to pending.

#include "invoicing/MotivoRectificacion.h"

const QList<std::pair<QString, QString>>& MotivoRectificacion::Motivos() {
    static const QList<std::pair<QString, QString>> motivos = {
        {"R1", "Error fundado en derecho o art. 80 Uno, Dos y Seis LIVA"},
        {"R2", "Art. 80 Tres LIVA (concurso de acreedores)"},
        {"R3", "Art. 80 Cuatro LIVA (créditos incobrables)"},
        {"R4", "Resto de causas (devolución de la mercancía o anulación del servicio)"},
    };
    return motivos;
}

bool MotivoRectificacion::LineasPendientes(const QString& sMotivo) {
    return sMotivo == QStringLiteral("R1");
}
