#pragma once

#include "invoicing/core/Money.h"

#include <QString>

// Why a client's pending items cannot become an invoice, or an empty text when they can: a line
// without a positive number of units, a negative total (money goes back through a rectifying
// invoice, not an invoice), more than the three VAT rates an invoice has room for, or, for a
// counter sale (mostrador: the client is the branch's counter customer), a service or a pet
// (Mostrador::MotivoNoVendible). Checked before the payment dialog opens, so that nothing is
// drawn or written for such an invoice.
QString MotivoNoFacturable(qint32 nIdCliente, Money nTotalPendiente, bool mostrador);
