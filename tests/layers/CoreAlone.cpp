// The invoicing core on the platform alone, without the session or the engine above it: the
// condition of a client's pending items and an amount as the register writes it.
#include "invoicing/core/Money.h"
#include "invoicing/core/PendingItems.h"

#include <cstdio>

int main() {
    const QString condition = PendingItems(7).Condition();
    const QString amount = (Money::FromDouble(2.675) - Money::FromCents(1)).Text();
    if (condition != "(nIdFactura=0 OR ISNULL(nIdFactura)) AND nIdCliente=7" || amount != "2.67") {
        std::fprintf(stderr, "core gave \"%s\" and \"%s\"\n", qPrintable(condition),
                     qPrintable(amount));
        return 1;
    }
    return 0;
}
