// The checks on a client's pending items before they become an invoice.

#include "invoicing/LineasPendientes.h"

#include "invoicing/Mostrador.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <QStringList>
#include <algorithm>

namespace {

constexpr int MaxTiposIva = 3;

// "0 %, 4 %, 10 % y 21 %".
QString ListaDeTipos(const QStringList& tipos) {
    QStringList primeros = tipos;
    const QString ultimo = primeros.takeLast();
    return primeros.join(QStringLiteral(", ")) + QStringLiteral(" y ") + ultimo;
}

// The refusal for items with sinUnidades lines without units, adding up to nTotalPendiente, at the
// rates tipos (each once, in order).
QString Motivo(qint32 nIdCliente, qint64 sinUnidades, Money nTotalPendiente,
               const QVariantList& tipos, bool mostrador) {
    DataAccess& db = Db();
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
    if (tipos.size() > MaxTiposIva) {
        QStringList nombres;
        for (const QVariant& tipo : tipos)
            nombres << Utility::NumberText(U().SqlNumber(tipo)).replace('.', ',') + " %";
        return db.Translate("Las líneas pendientes tienen") + " " + QString::number(tipos.size()) +
               " " + db.Translate("tipos de IVA") + " (" + ListaDeTipos(nombres) + ") " +
               db.Translate("y una factura admite como mucho tres. Facture aparte las líneas de "
                            "uno de ellos.");
    }
    return mostrador ? Mostrador::MotivoNoVendible(nIdCliente) : QString();
}

bool SinUnidades(const QVariant& nUnidades) {
    return nUnidades.isNull() || U().SqlNumber(nUnidades) <= 0;
}

// Two stored rates are one rate as DISTINCT takes them: both NULL, or the same number.
bool MismoTipo(const QVariant& a, const QVariant& b) {
    return a.isNull() == b.isNull() && (a.isNull() || U().SqlNumber(a) == U().SqlNumber(b));
}

} // namespace

QString MotivoNoFacturable(qint32 nIdCliente, Money nTotalPendiente, bool mostrador) {
    DataAccess& db = Db();
    const QString pendientes = PendingItems(nIdCliente).Condition();
    const qint64 sinUnidades =
        U().SqlNumber(db.GetRows("SELECT COUNT(*) FROM FacturasItems WHERE " + pendientes +
                                 " AND (nUnidades<=0 OR ISNULL(nUnidades))")(0, 0));
    const Rows filas = db.GetRows("SELECT DISTINCT nPorcIpto FROM FacturasItems WHERE " +
                                  pendientes + " ORDER BY nPorcIpto");
    QVariantList tipos;
    for (int row = 0; row < filas.RowCount(); ++row)
        tipos << filas(0, row);
    return Motivo(nIdCliente, sinUnidades, nTotalPendiente, tipos, mostrador);
}

Pendientes Pendientes::Leer(qint32 nIdCliente) {
    // In the amounts' order, so that the rates come each once and in the order the database
    // sorts them, NULL included.
    const Rows filas = Db().GetRows(
        "SELECT i.nIdFacturaItem,i.nIdMascota,i.nTotal,i.nUnidades,i.nPvp,i.nPorcIpto,"
        "c.bMostrador FROM FacturasItems i LEFT JOIN Clientes c ON c.nIdCliente=i.nIdCliente "
        "WHERE " +
        PendingItems::Unbilled("i") + " AND i.nIdCliente=" + QString::number(nIdCliente) +
        " ORDER BY i.nPorcIpto,i.nIdFacturaItem");
    Pendientes p;
    p.nIdCliente = nIdCliente;
    for (int r = 0; r < filas.RowCount(); ++r) {
        p.lineas.push_back({Utility::ToInt32(U().SqlNumber(filas(0, r))),
                            Utility::ToInt32(U().SqlNumber(filas(1, r))),
                            Money::FromStored(filas(2, r))});
        p.importes.push_back(
            {U().SqlNumber(filas(3, r)), U().SqlNumber(filas(4, r)), U().SqlNumber(filas(5, r))});
        if (SinUnidades(filas(3, r)))
            ++p.sinUnidades;
        if (p.tipos.isEmpty() || !MismoTipo(p.tipos.back(), filas(5, r)))
            p.tipos << filas(5, r);
    }
    p.mostrador = !filas.IsEmpty() && U().SqlNumber(filas(6, 0)) != 0;
    std::sort(p.lineas.begin(), p.lineas.end(), [](const PendingLine& a, const PendingLine& b) {
        return a.nIdFacturaItem < b.nIdFacturaItem;
    });
    return p;
}

QString Pendientes::MotivoNoFacturable() const {
    return Motivo(nIdCliente, sinUnidades, Total(), tipos, mostrador);
}
