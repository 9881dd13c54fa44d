// The discount in the taxable base: spread over the rates in proportion to each rate's total,
// taken off before tax, every part to the cent.
#include "invoicing/core/TaxableBreakdown.h"

#include <gtest/gtest.h>

namespace {

// "rate base tax" per rate, joined by "|".
QString Text(const TaxableBreakdown& b) {
    QStringList rates;
    for (const TaxableBreakdown::Rate& r : b.tipos)
        rates << QString::number(r.nPorcIpto) + " " + r.nBaseImponible.Text() + " " +
                     r.nCuota.Text();
    return rates.join('|');
}

TEST(TaxableBreakdown, SpreadsTheDiscountOverTheRatesBeforeTax) {
    const struct {
        const char* what;
        std::vector<DocumentLine> lines; // {units, price, rate}
        qint64 discount;                 // cents
        const char* breakdown;
    } cases[] = {
        {"no discount: the stored base and tax",
         {{3, 10, 21}, {1, 0.33, 10}},
         0,
         "10 0.33 0.03|21 30.00 6.30"},
        {"one rate: 148.32 less 8.32 is base and tax of 140.00",
         {{1, 122.58, 21}},
         832,
         "21 115.70 24.30"},
        {"three rates, a discount that does not divide evenly",
         {{1, 100, 21}, {1, 50, 10}, {1, 25, 4}},
         1000,
         "4 23.76 0.95|10 47.53 4.75|21 95.05 19.96"},
        {"one cent over three rates",
         {{1, 10, 21}, {1, 10, 10}, {1, 10, 4}},
         1,
         "4 10.00 0.40|10 10.00 1.00|21 9.99 2.10"},
        {"all of it discounted", {{2, 12.5, 21}, {1, 7.3, 4}}, 3784, "4 0.00 0.00|21 0.00 0.00"},
    };
    for (const auto& c : cases) {
        const DocumentAmounts invoice = DocumentAmounts::Of(c.lines, Money::FromCents(c.discount));
        const TaxableBreakdown b = TaxableBreakdown::Of(invoice);
        EXPECT_EQ(Text(b).toStdString(), c.breakdown) << c.what;
        EXPECT_EQ(b.Total(), invoice.AmountDue()) << c.what;
        // A credit note's stored figures are its invoice's turned; so is its breakdown.
        const TaxableBreakdown credit = TaxableBreakdown::Of(invoice.Negated());
        EXPECT_EQ(Text(credit).toStdString(), Text(b.Negated()).toStdString()) << c.what;
        EXPECT_EQ(credit.Total(), -invoice.AmountDue()) << c.what;
    }
}

} // namespace
