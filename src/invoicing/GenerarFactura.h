#pragma once

#include <QList>
#include <QString>

class BillingWindow;

// The billing window's edge of EmitirFactura: the checks on the client's pending items, the
// payment dialog and the number, then the call with what the window and the session hold, then
// the invoice printed in the chosen layout and the grid read again. A failure of the call is
// reported under the procedure it names and ends the program with nothing of the invoice
// written; the number drawn stays consumed. Items changed elsewhere during the payment are
// said and the grid read again.
void Generar_Factura(BillingWindow& w);

// The condition that selects a client's pending items.
QString CondicionPendientes(qint32 nIdCliente);
// The same for several clients at once.
QString CondicionPendientes(const QList<qint32>& clientes);
