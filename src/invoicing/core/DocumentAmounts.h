#pragma once

#include "invoicing/core/LinePricing.h"
#include "invoicing/core/Money.h"
#include "platform/data/RowCursor.h"
#include "platform/data/Rows.h"

#include <QStringList>
#include <array>
#include <map>
#include <vector>

// The amounts of an invoice or credit note, worked out once from its lines. Everything that shows,
// stores or checks a document's breakdown by tax rate goes through here: the billing window's
// totals, the payment dialog, issuing, the generated histories and the check of stored documents.

// A line as stored: units, unit price and tax percentage. Units count exactly as typed (2,5 kg
// of loose food are 2,5), in every figure of the line and of its document.
struct DocumentLine {
    double nUnidades = 0;
    double nPvp = 0;
    double nPorcIpto = 0;

    // What the line comes to; a stored line has no discount of its own.
    LinePricing Pricing() const { return {nUnidades, nPvp, 0, nPorcIpto}; }
    // Units are typed with at most four decimals: a sum or difference of them is taken back to
    // that, so that 2,5 less 1,2 less 1,3 leaves nothing rather than a binary remainder.
    static double Units(double units);

    // The FacturasItems lines that meet condition, by rate and then in the order they were added.
    static std::vector<DocumentLine> Read(const QString& condition);
    // The same for the lines of several clients at once, each client's apart: the query, to be
    // read with others, and its rows taken apart.
    static QString ByClientQuery(const QString& condition);
    static std::map<qint32, std::vector<DocumentLine>> ByClient(const Rows& rows);
};

// The breakdown before any rounding: what the lines' exact base and tax add up to in each of at
// most three rate slots. The slots take the lowest three rates in ascending order, whatever order
// the lines come in, so every engine stores the same document; the lines of any further rate count
// nowhere.
struct TaxBreakdown {
    struct Slot {
        double nPo = 0;
        double nBi = 0;
        double nIm = 0;
    };
    std::array<Slot, 3> slots;
    double nBi_Total = 0;
    double nIm_Total = 0;
    // How many distinct rates the lines have; above 3 some lines are in no total.
    int rates = 0;

    double nTotal() const { return nBi_Total + nIm_Total; }
    bool TooManyRates() const { return rates > 3; }

    static TaxBreakdown Of(const std::vector<DocumentLine>& lines);
};

// The figures of a document as the Facturas row stores them: each of the breakdown's sums
// rounded to the cent on its own (so nIm_Total need not be nIm_1 + nIm_2 + nIm_3 to the cent,
// and nTotal is the rounded sum of the unrounded base and tax), the discount beside them.
struct DocumentAmounts {
    struct Slot {
        double nPo = 0;
        Money nBi;
        Money nIm;
    };
    std::array<Slot, 3> slots;
    Money nBi_Total;
    Money nIm_Total;
    Money nTotal;
    Money nDescuento;
    // How many distinct rates the lines had (0 for figures read from a row).
    int rates = 0;

    // What the customer owes: the total less the discount.
    Money AmountDue() const { return nTotal - nDescuento; }
    bool TooManyRates() const { return rates > 3; }
    // A credit note's figures: every amount and rate of the document it cancels, turned.
    DocumentAmounts Negated() const;

    static DocumentAmounts Of(const TaxBreakdown& breakdown, Money discount);
    static DocumentAmounts Of(const std::vector<DocumentLine>& lines, Money discount);
    // The figures a row holds in the columns of Columns, read from position `at` of row r.
    static DocumentAmounts FromStored(const Rows& rows, int r, int at);
    static DocumentAmounts FromStored(const RowCursor& row, int at);

    // The stored columns, in the order of Columns: the rates, amounts and discount as SQL
    // literals with two decimals. Columns is "nPo_1,nBi_1,...,nTotal,nDescuento" as a list.
    static const QStringList Columns;
    QStringList Texts() const;
    // The first of Columns in which the two differ as stored (to the cent); -1 when none.
    int FirstDifference(const DocumentAmounts& other) const;
};
