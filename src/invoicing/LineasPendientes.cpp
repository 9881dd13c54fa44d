// The checks on a client's pending items before they become an invoice.

#include "invoicing/LineasPendientes.h"

#include "invoicing/Mostrador.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <QStringList>

namespace {

constexpr int MaxTiposIva = 3;

// "0 %, 4 %, 10 % y 21 %".
QString ListaDeTipos(const QStringList& tipos) {
    QStringList primeros = tipos;
    const QString ultimo = primeros.takeLast();
    return primeros.join(QStringLiteral(", ")) + QStringLiteral(" y ") + ultimo;
}

} // namespace

QString MotivoNoFacturable(qint32 nIdCliente, Money nTotalPendiente, bool mostrador) {
    DataAccess& db = Db();
    const QString pendientes = PendingItems(nIdCliente).Condition();
    const qint64 sinUnidades =
        U().SqlNumber(db.GetRows("SELECT COUNT(*) FROM FacturasItems WHERE " + pendientes +
                                 " AND (nUnidades<=0 OR ISNULL(nUnidades))")(0, 0));
    if (sinUnidades > 0)
        return db.Translate("Hay líneas pendientes sin unidades o con unidades negativas") + " (" +
               QString::number(sinUnidades) + "). " +
               db.Translate("Corríjalas o bórrelas antes de facturar.");
    if (nTotalPendiente < Money())
        return db.Translate("El total a facturar es negativo") + " (" + nTotalPendiente.Euros() +
               "). " +
               db.Translate("Una factura no devuelve dinero: para devolverlo, emita la factura "
                            "rectificativa de la factura original desde el historial de facturas "
                            "(F8).");
    const Rows tipos = db.GetRows("SELECT DISTINCT nPorcIpto FROM FacturasItems WHERE " +
                                  pendientes + " ORDER BY nPorcIpto");
    if (tipos.RowCount() > MaxTiposIva) {
        QStringList nombres;
        for (int row = 0; row < tipos.RowCount(); ++row)
            nombres << Utility::NumberText(U().SqlNumber(tipos(0, row))).replace('.', ',') + " %";
        return db.Translate("Las líneas pendientes tienen") + " " +
               QString::number(tipos.RowCount()) + " " + db.Translate("tipos de IVA") + " (" +
               ListaDeTipos(nombres) + ") " +
               db.Translate("y una factura admite como mucho tres. Facture aparte las líneas de "
                            "uno de ellos.");
    }
    return mostrador ? Mostrador::MotivoNoVendible(nIdCliente) : QString();
}
