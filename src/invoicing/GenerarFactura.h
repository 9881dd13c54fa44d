#pragma once

#include <QString>

class BillingWindow;

// Turns every pending item of the window's client into one invoice: the payment dialog, the tax
// breakdown, the number, then in one transaction the invoice row, the items linked to it, the
// payments, the pet's history, the vaccinations, the client's balance, the stock and the
// cash-box entries; after the commit the invoice is printed in the chosen layout and the grid is
// read again. A failure is reported and ends the program with nothing of the invoice written;
// the number drawn stays consumed.
void Generar_Factura(BillingWindow& w);

// The condition that selects a client's pending items.
QString CondicionPendientes(qint32 nIdCliente);
