#pragma once

#include "invoicing/core/Money.h"

#include <QList>
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
        Money nImporte;
    };

    struct Sale {
        qint32 nIdCliente = 0;
        qint32 nIdSucursal = 1;
        qint32 nIdUsuario = 1;
        qint32 nIdEmpleado = 0;
        qint32 nIdCaja = 1;
        qint32 dFactura = 0;
        Money nDescuento;
        std::vector<Payment> payments;
        // A foreign customer's document, typed at the payment dialog: its number, country and
        // type (02 to 06). Empty: the client's own NIF, or none for a simplified invoice.
        QString sDocumento;
        QString sPais;
        QString sTipoId;
    };

    // A pending item of the product with code sCodigo at the client's price level, as the
    // pending-items grid stores it. Answers the item's key.
    qint32 AddPendingItem(qint32 nIdCliente, qint32 nIdMascota, const QString& sCodigo,
                          double nUnidades, const QString& sConclusion = {});

    // Turns every pending item of the client into one invoice, issued as the billing window
    // issues it (EmitirFactura) with the client's own texts: a complete invoice in the branch's
    // series for a client with an id, a simplified one in its simplified series for a client
    // without. Answers the invoice's key.
    qint32 Invoice(const Sale& sale);

    // Rectifies the whole invoice as the billing window does (EmitirAbono) on dAbono by
    // nIdUsuario, in the branch's rectifying series; its items become pending again. Answers
    // the rectifying invoice's key.
    qint32 CreditNote(qint32 nIdFactura, qint32 dAbono, qint32 nIdUsuario);

    // Cancels an invoice issued in error (AnularFactura) on dAnulacion, for sMotivo.
    void Cancel(qint32 nIdFactura, qint32 dAnulacion, qint32 nIdUsuario, const QString& sMotivo);

    // Replaces simplified invoices of one client by a complete invoice (SustituirSimplificadas)
    // dated dFactura, for the client who now gives sDni. Answers the complete invoice's key.
    qint32 Replace(const QList<qint32>& facturas, const QString& sDni, qint32 dFactura,
                   qint32 nIdUsuario);
};
