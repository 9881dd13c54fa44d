// A document's amounts computed from its lines: the one rounding rule, the rate slots and the
// figures the Facturas row stores, on literal cents.
#include "invoicing/core/DocumentAmounts.h"
#include "platform/util/Decimal.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

TEST(Money, RoundsHalfAwayFromZeroOnTheDecimalValue) {
    // (value, cents, text)
    const struct {
        double value;
        qint64 cents;
        const char* text;
    } cases[] = {{2.675, 268, "2.68"},    {-2.675, -268, "-2.68"},
                 {0.005, 1, "0.01"},      {-0.005, -1, "-0.01"},
                 {0.0049, 0, "0.00"},     {-0.004, 0, "0.00"},
                 {0.1 + 0.2, 30, "0.30"}, {1234567.891, 123456789, "1234567.89"}};
    for (const auto& c : cases) {
        const Money m = Money::FromDouble(c.value);
        EXPECT_EQ(m.Cents(), c.cents) << c.value;
        EXPECT_EQ(m.Text(), c.text) << c.value;
        EXPECT_EQ(m.ToDouble(), QString(c.text).toDouble()) << c.value;
    }
    EXPECT_EQ((Money::FromCents(1050) - Money::FromCents(2000)).Text(), "-9.50");
}

TEST(Money, TheShortCutAgreesWithTheDecimalRounding) {
    // Products and quotients of amounts as lines and shares make them, up to a billion, and
    // values a hair either side of a half cent, against the text rounding itself.
    std::mt19937_64 random(7);
    std::uniform_int_distribution<qint64> cents(-100'000'000'000, 100'000'000'000);
    std::uniform_int_distribution<int> units(1, 999);
    for (int i = 0; i < 200'000; ++i) {
        const double amount = double(cents(random)) / 100;
        for (const double value :
             {amount, amount * units(random) / 1000, amount / 3, amount * 0.21, amount + 0.005,
              std::nextafter(amount + 0.005, 0.0), std::nextafter(amount - 0.005, 1e12)}) {
            if (std::fabs(value) >= 1e9)
                continue;
            const QString text = Decimal::Fixed(value, 2);
            ASSERT_EQ(Money::FromDouble(value).Cents(), QString(text).remove('.').toLongLong())
                << qPrintable(Decimal::Shortest(value));
        }
    }
}

TEST(Money, ShownWithTheDecimalCommaFromItsCents) {
    // (cents, shown, plain): the point goes in every three whole digits, never before the first.
    const struct {
        qint64 cents;
        const char* shown;
        const char* plain;
    } cases[] = {{0, "0,00", "0,00"},
                 {-5, "-0,05", "-0,05"},
                 {99999, "999,99", "999,99"},
                 {100000, "1.000,00", "1000,00"},
                 {-123456789, "-1.234.567,89", "-1234567,89"},
                 {9007199254740993, "90.071.992.547.409,93", "90071992547409,93"}};
    for (const auto& c : cases) {
        const Money m = Money::FromCents(c.cents);
        EXPECT_EQ(m.Shown() + " " + m.Plain() + " " + m.Euros(),
                  QString::fromUtf8(c.shown) + " " + c.plain + " " + c.shown + " €");
    }
}

// The stored columns nPo_1 ... nDescuento, then the number of rates and the amount due.
QString Figures(const std::vector<DocumentLine>& lines, qint64 discountCents = 0) {
    const DocumentAmounts a = DocumentAmounts::Of(lines, Money::FromCents(discountCents));
    return a.Texts().join('|') + " rates " + QString::number(a.rates) + " due " +
           a.AmountDue().Text();
}

TEST(DocumentAmounts, StoredFiguresFromTheLines) {
    // {units, price, rate} lines -> the row's figures
    const struct {
        const char* what;
        std::vector<DocumentLine> lines;
        qint64 discount;
        const char* figures;
    } cases[] = {
        {"2.675 rounds up",
         {{1, 2.675, 0}},
         0,
         "0.00|2.68|0.00|0.00|0.00|0.00|0.00|0.00|0.00|2.68|0.00|2.68|0.00 rates 1 due 2.68"},
        {"half a cent of tax",
         {{1, 0.05, 10}},
         0,
         "10.00|0.05|0.01|0.00|0.00|0.00|0.00|0.00|0.00|0.05|0.01|0.06|0.00 rates 1 due 0.06"},
        {"half a cent owed back",
         {{-1, 0.05, 10}},
         0,
         "10.00|-0.05|-0.01|0.00|0.00|0.00|0.00|0.00|0.00|-0.05|-0.01|-0.06|0.00 rates 1 due "
         "-0.06"},
        {"units count as typed: 2,5 kg and 3,5 units",
         {{2.5, 10, 21}, {3.5, 1, 21}},
         0,
         "21.00|28.50|5.99|0.00|0.00|0.00|0.00|0.00|0.00|28.50|5.99|34.49|0.00 rates 1 due 34.49"},
        {"a third of a unit and a half cent of base",
         {{0.333, 10, 21}, {1.005, 1, 0}},
         0,
         "0.00|1.01|0.00|21.00|3.33|0.70|0.00|0.00|0.00|4.34|0.70|5.03|0.00 rates 2 due 5.03"},
        {"three rates in ascending slots, rate 0 included",
         {{3, 10, 21}, {1, 50, 0}, {2, 20, 10}, {1, 5, 21}},
         0,
         "0.00|50.00|0.00|10.00|40.00|4.00|21.00|35.00|7.35|125.00|11.35|136.35|0.00 rates 3 "
         "due 136.35"},
        {"each sum rounded on its own",
         {{1, 0.05, 10}, {1, 0.125, 4}},
         0,
         "4.00|0.13|0.01|10.00|0.05|0.01|0.00|0.00|0.00|0.18|0.01|0.19|0.00 rates 2 due 0.19"},
        {"the discount stands beside the total",
         {{3, 10, 21}},
         250,
         "21.00|30.00|6.30|0.00|0.00|0.00|0.00|0.00|0.00|30.00|6.30|36.30|2.50 rates 1 due 33.80"},
        {"a fourth rate is reported and counts nowhere",
         {{1, 100, 21}, {1, 10, 4}, {1, 10, 10}, {1, 10, 0}},
         0,
         "0.00|10.00|0.00|4.00|10.00|0.40|10.00|10.00|1.00|30.00|1.40|31.40|0.00 rates 4 due "
         "31.40"},
        {"no lines",
         {},
         0,
         "0.00|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0.00|0.00 rates 0 due 0.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Figures(c.lines, c.discount), c.figures) << c.what;

    // A credit note stores the figures of the invoice it cancels, every one of them turned.
    const DocumentAmounts invoice =
        DocumentAmounts::Of({{3, 10, 21}, {1, 50, 0}}, Money::FromCents(100));
    EXPECT_EQ(invoice.Negated().Texts().join('|'),
              "0.00|-50.00|0.00|-21.00|-30.00|-6.30|0.00|0.00|0.00|-80.00|-6.30|-86.30|-1.00");
    EXPECT_TRUE(
        DocumentAmounts::Of({{1, 1, 21}, {1, 1, 10}, {1, 1, 4}, {1, 1, 0}}, {}).TooManyRates());
}

} // namespace
