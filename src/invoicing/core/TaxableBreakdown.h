#pragma once

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/Money.h"

#include <QList>
#include <QStringList>
#include <QVariantList>
#include <vector>

class Rows;

// What a document says to the tax agency and the customer per rate: the taxable base and the tax
// after the discount. A discount given at the sale reduces the taxable base, so it is spread over
// the rates in proportion to each rate's total and taken off before tax; the parts are rounded so
// that they add up to the discount and every base + tax to the rate's share of the amount due, to
// the cent. The Facturas columns keep the undiscounted figures for the rest of the suite; this is
// what is printed, registered and exported, stored in FacturasDesglose.
struct TaxableBreakdown {
    struct Rate {
        double nPorcIpto = 0;
        Money nBaseImponible;
        Money nCuota;
    };
    std::vector<Rate> tipos; // ascending by rate, as the slots; rates are never negative

    Money Base() const;
    Money Cuota() const;
    Money Total() const { return Base() + Cuota(); }
    // A credit note's: the same rates (a rate has no sign), every amount turned.
    TaxableBreakdown Negated() const;

    // Spread from a document's stored figures: its slots weigh the discount, its nTotal less its
    // nDescuento is what the rates add up to. A credit note's turned figures give its invoice's
    // breakdown turned.
    static TaxableBreakdown Of(const DocumentAmounts& amounts);

    // The rows of document nIdFactura; empty when it has none (issued before the table existed).
    static TaxableBreakdown Read(qint32 nIdFactura);
    // Read, or when there are no rows, spread from the stored figures.
    static TaxableBreakdown ReadOr(qint32 nIdFactura, const DocumentAmounts& amounts);
    // Writes the rows of document nIdFactura, inside the caller's transaction.
    void Write(qint32 nIdFactura) const;
    // The columns of the rows and the values of each row of document nIdFactura (money as its
    // exact text), as Write writes them: for a caller that writes the rows of many documents
    // through one BulkInsert.
    static const QString Columns;
    QList<QVariantList> Values(qint32 nIdFactura) const;
};
