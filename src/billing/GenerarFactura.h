#pragma once

class BillingWindow;

// The billing window's edge of EmitirFactura: the checks on the client's pending items, the
// payment dialog and the number, then the call with what the window and the session hold, then
// the invoice printed in the chosen layout and the grid read again. A failure of the call is
// reported under the procedure it names and ends the program with nothing of the invoice
// written; the number drawn stays consumed. Items changed elsewhere during the payment are
// said and the grid read again.
void Generar_Factura(BillingWindow& w);
