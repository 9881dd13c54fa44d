// The invoicing engine with only what it may use (the session, the register, the till, the core
// and the platform), without the billing window, the payment dialog or the reports: an invoice's
// number and the pending items of several clients, as issuing writes them.
#include "invoicing/Numeracion.h"
#include "invoicing/core/PendingItems.h"

#include <cstdio>

int main() {
    const QString number = Numeracion::Numero("RB", 37, 2100);
    const QString condition = PendingItems(QList<qint32>{3, 5}).Condition();
    if (number != "RB0037/00" ||
        condition != "(nIdFactura=0 OR ISNULL(nIdFactura)) AND nIdCliente IN (3,5)") {
        std::fprintf(stderr, "the engine gave \"%s\" and \"%s\"\n", qPrintable(number),
                     qPrintable(condition));
        return 1;
    }
    return 0;
}
