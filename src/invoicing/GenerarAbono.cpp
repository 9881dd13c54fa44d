#include "invoicing/GenerarAbono.h"

#include "invoicing/Actualizaciones.h"
#include "invoicing/BillingWindow.h"
#include "invoicing/Conta.h"
#include "invoicing/GenerarFactura.h"
#include "invoicing/Numeracion.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/RegistroFacturacion.h"
#include "session/G.h"
#include "session/Gi.h"

namespace {

QString Id(qint64 id) {
    return QString::number(id);
}

bool Is(const QString& column, const char* name) {
    return column.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// A stored value as a literal by its column's prefix: "n" a number, "s" a quoted text, anything
// else (dates, flags) its own text; NULL stays NULL.
QString Literal(const QString& column, const QVariant& value, bool negate) {
    if (value.isNull())
        return QStringLiteral("NULL");
    if (column.startsWith(QLatin1Char('n'), Qt::CaseInsensitive)) {
        const double number = U().SqlNumber(value);
        // A zero turned is still 0, never "-0".
        return U().SqlValue(negate && number != 0 ? -number : number, 0, true);
    }
    if (column.startsWith(QLatin1Char('s'), Qt::CaseInsensitive))
        return U().SqlValue(value.toString(), 0, true);
    return value.toString();
}

// Where a credit note failed: the step reached, the item and the column being copied.
QString Where(quint8 nPaso, int i, int n) {
    return "nPaso=" + QString::number(nPaso) + " i=" + QString::number(i) +
           " n=" + QString::number(n);
}

// Item columns that the copy cancelling the invoice negates.
bool NegatedItemColumn(const QString& column) {
    for (const char* name : {"nPvp", "nUnidades", "nBaseImp", "nImpuestos", "nTotal"})
        if (Is(column, name))
            return true;
    return false;
}

} // namespace

QString MotivoNoAbonable(qint32 nIdFactura) {
    const Rows invoice = Db().GetRows("SELECT sFactura,dFacturaAbonada FROM Facturas WHERE "
                                      "nIdFactura=" +
                                      Id(nIdFactura));
    if (invoice.IsEmpty())
        return Db().Translate("La factura ya no existe: otro puesto la ha borrado.");
    const QString sFactura = invoice(0, 0).toString();
    if (U().SqlNumber(invoice(1, 0)) != 0)
        return Db().Translate("La factura") + " " + sFactura + " " +
               Db().Translate("es una nota de crédito y no se puede abonar.");
    if (U().SqlNumber(Db().GetValue("Abonos", "nIdFacturaAbonada=" + Id(nIdFactura))) != 0)
        return Db().Translate("La factura") + " " + sFactura + " " +
               Db().Translate("ya tiene una nota de crédito.");
    return {};
}

void Generar_Abono(BillingWindow& w, qint32 nIdFactura, const MotivoRectificacion& motivo) {
    quint8 nPaso = 0;
    int i = 0;
    int n = 0;
    try {
        if (const QString impedimento = w.ImpresionImpedida(); !impedimento.isEmpty()) {
            ShowMessage(1, impedimento + "\nNo se ha emitido la nota de crédito.");
            return;
        }
        // Numbered in the rectifying series of the invoice's branch, dated today.
        if (const QString fecha = Numeracion::FechaNoPermitida(
                Utility::ToInt32(U().SqlNumber(
                    Db().GetValue("Facturas", "nIdFactura=" + Id(nIdFactura), "nIdSucursal"))),
                Utility::ToInt32(U().SqlNumber(U().Today(true))), true);
            !fecha.isEmpty()) {
            ShowMessage(0, fecha);
            return;
        }
        Db().Transaction(0);
        // On a server two workstations' transactions run side by side: the second credit note of
        // the same invoice waits here until the first has committed, then finds it credited.
        Db().LockForTransaction("Facturas", nIdFactura);
        nPaso = 1;

        const Rows factura =
            Db().GetRows("SELECT * FROM Facturas WHERE nIdFactura=" + Id(nIdFactura));
        const Rows items =
            Db().GetRows("SELECT * FROM FacturasItems WHERE nIdFactura=" + Id(nIdFactura));
        nPaso = 2;
        // Checked under the lock, not only when the history was filled.
        const QString rechazo = MotivoNoAbonable(nIdFactura);
        const qint32 nIdCliente = Utility::ToInt32(U().SqlNumber(factura.Value("nIdCliente", 0)));
        if (!rechazo.isEmpty() || nIdCliente != Utility::ToInt32(Utility::Val(w.Dato(3)))) {
            Db().Transaction(2);
            ShowMessage(0, rechazo.isEmpty()
                               ? Db().Translate("La factura elegida no es del cliente de la "
                                                "ventana: no se emite la nota de crédito.")
                               : rechazo);
            return;
        }

        // The header, column by column in the table's order: the identifiers at positions 1 to 6
        // as stored, every later amount negated, a new number, the credited one named.
        const QString sFacturaAbonada =
            factura.Value("sFactura", 0).toString().remove(QLatin1Char('\''));
        QString sFactura;
        QStringList columns, values;
        for (n = 1; n < factura.ColumnCount(); ++n) {
            const QString column = factura.ColumnNames()[n];
            columns << column;
            if (Is(column, "sFactura")) {
                // Drawn inside the transaction: the counter stays locked until the commit, and
                // a failure gives the number back.
                sFactura = Numeracion::Siguiente(
                    Utility::ToInt32(U().SqlNumber(factura.Value("nIdSucursal", 0))),
                    Gi.nFechaTrabajo, true);
                values << U().SqlValue(sFactura, 0, true);
            } else if (Is(column, "sFacturaAbonada")) {
                values << U().SqlValue(sFacturaAbonada, 0, true);
            } else if (Is(column, "dFacturaAbonada")) {
                values << U().Today(true);
            } else {
                values << Literal(column, factura(n, 0), n > 6);
            }
        }
        const qint32 nIdAbono = Db().InsertRecord("Facturas", columns.join(','), values.join(','));
        Db().InsertRecord("Abonos", "nIdFactura,nIdFacturaAbonada",
                          Id(nIdAbono) + "," + Id(nIdFactura));
        nPaso = 3;

        // The items twice: negated for the credit note, then unchanged as pending items again.
        for (const bool cancelling : {true, false}) {
            for (i = 0; i < items.RowCount(); ++i) {
                QStringList itemColumns, itemValues;
                for (n = 1; n < items.ColumnCount(); ++n) {
                    const QString column = items.ColumnNames()[n];
                    itemColumns << column;
                    if (Is(column, "nIdFactura"))
                        itemValues << (cancelling ? Id(nIdAbono) : QStringLiteral("0"));
                    else
                        itemValues << Literal(column, items(n, i),
                                              cancelling && NegatedItemColumn(column));
                }
                Db().InsertRecord("FacturasItems", itemColumns.join(','), itemValues.join(','));
            }
        }

        Actualizaciones::Actualizar_Cobros(nIdAbono, nIdFactura);
        Db().DeleteRecords("MascotasProdServ", "nIdFactura=" + Id(nIdFactura), 0);
        Actualizaciones::Actualizar_VacunasRecibidas(nIdAbono, nIdFactura);
        Conta::Regenerar_SaldoCliente(nIdCliente);
        Actualizaciones::Actualizar_ApunteCaja(w, sFactura, sFacturaAbonada, nIdAbono, nIdFactura);
        Actualizaciones::Actualizar_Desglose(nIdAbono, nIdFactura, motivo);
        RegistroFacturacion::Registrar(nIdAbono);
        Db().Transaction(1);

        const ReportNote emitida("La nota de crédito " + sFactura +
                                 " se ha emitido y guardado. Para imprimirla, reimprímala desde "
                                 "el histórico de facturas del cliente.");
        w.Imprimir(nIdAbono, w.FormatoFactura());
        w.RefrescarGrid();
    } catch (const TvError& e) {
        ReportError("Facturacion::Generar_Abono", Where(nPaso, i, n), e);
        EndProgram(1);
    } catch (const std::exception& e) {
        ReportError("Facturacion::Generar_Abono", Where(nPaso, i, n), e);
        EndProgram(1);
    }
}
