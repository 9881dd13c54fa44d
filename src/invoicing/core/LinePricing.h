#pragma once

#include "invoicing/core/Money.h"

// What one sale line comes to. Every window, engine, generator and writer that needs a line's
// base, tax or total asks this, so that a line is priced the same wherever it is shown or stored.
// The unit price is a number, not Money: the grid takes prices with four decimals (0,0125 € a
// millilitre), and a line of 40 ml of it is worth 0,50 €, not 40 x 0,01.
struct LinePricing {
    // Units count exactly as typed (2,5 kg of loose food are 2,5); a credit line's are negative.
    double quantity = 0;
    double unitPrice = 0;
    // Percentages: the line's discount off its base, and its tax rate.
    double discount = 0;
    double rate = 0;

    // The unrounded figures, which a document adds up before it rounds its sums (so a document
    // of many small lines does not gather their roundings).
    double ExactBase() const;
    double ExactTax() const;
    // The line's own figures to the cent, each rounded half away from zero on its own. Total is
    // the rounded sum of the unrounded base and tax, so it need not be Base() + Tax().
    Money Base() const;
    Money Tax() const;
    Money Total() const;
};
