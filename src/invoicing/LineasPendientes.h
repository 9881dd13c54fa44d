#pragma once

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/Money.h"
#include "invoicing/core/PendingItems.h"

#include <QString>
#include <QVariantList>
#include <vector>

// Why a client's pending items cannot become an invoice, or an empty text when they can: a line
// without a positive number of units, a negative total (money goes back through a rectifying
// invoice, not an invoice), more than the three VAT rates an invoice has room for, or, for a
// counter sale (mostrador: the client is the branch's counter customer), a service or a pet
// (Mostrador::MotivoNoVendible). Checked before the payment dialog opens, so that nothing is
// drawn or written for such an invoice.
QString MotivoNoFacturable(qint32 nIdCliente, Money nTotalPendiente, bool mostrador);

// A client's pending items read in one query for the billing window: what its checks before the
// payment dialog, its request and its choice of document need, so that none of them reads the
// items again. The engine still checks under its lock that the invoice holds exactly `lineas`.
struct Pendientes {
    qint32 nIdCliente = 0;
    // In the order they were added: what the request names.
    std::vector<PendingLine> lineas;
    // By rate, then in the order they were added, as DocumentLine::Read reads them.
    std::vector<DocumentLine> importes;
    // Whether the client is the branch's counter customer (Mostrador::EsMostrador); false for
    // a client without pending items.
    bool mostrador = false;
    qint64 sinUnidades = 0;
    // Each rate once, lowest first, a NULL rate where the database sorts it.
    QVariantList tipos;

    static Pendientes Leer(qint32 nIdCliente);
    Money Total() const { return PendingItems::Total(lineas); }
    // MotivoNoFacturable of these items.
    QString MotivoNoFacturable() const;
};
