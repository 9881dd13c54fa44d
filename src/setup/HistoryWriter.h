#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// Writes past sales into the open database the way the front desk writes them: pending items
// priced at the client's level, invoices with their tax breakdown, payments, cash-box entries,
// pet history, vaccinations, stock and client balance, and credit notes. The demo's history is
// then indistinguishable from one made with the billing module.
class HistoryWriter {
public:
    struct Payment {
        QString sTipoCobro;
        double nImporte = 0;
    };

    struct Sale {
        qint32 nIdCliente = 0;
        qint32 nIdSucursal = 1;
        qint32 nIdUsuario = 1;
        qint32 nIdEmpleado = 0;
        qint32 nIdCaja = 1;
        qint32 dFactura = 0;
        double nDescuento = 0;
        std::vector<Payment> payments;
    };

    // A pending item of the product with code sCodigo at the client's price level, as the
    // pending-items grid stores it. Answers the item's key.
    qint32 AddPendingItem(qint32 nIdCliente, qint32 nIdMascota, const QString& sCodigo,
                          double nUnidades, const QString& sConclusion = {});

    // Turns every pending item of the client into one invoice, issued as the billing window
    // issues it (EmitirFactura) with the client's own texts, numbered in the branch's counter
    // without a series (the demo's history predates series). Answers the invoice's key.
    qint32 Invoice(const Sale& sale);

    // Cancels the invoice by a credit note issued as the billing window issues it (EmitirAbono)
    // on dAbono by nIdUsuario, numbered in the same counter as the invoices; its items become
    // pending again. Answers the credit note's key.
    qint32 CreditNote(qint32 nIdFactura, qint32 dAbono, qint32 nIdUsuario);

private:
    static QString NextNumber(qint32 nIdSucursal, qint32 date);
};
