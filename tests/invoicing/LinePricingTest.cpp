// A line's base, tax and total, and the products of an amount, against figures worked out by
// hand: the half cents are where a different rounding or order of operations would show.
#include "invoicing/core/LinePricing.h"

#include <gtest/gtest.h>

namespace {

TEST(LinePricing, FiguresOfALine) {
    const struct {
        const char* what;
        LinePricing line; // {units, unit price, discount %, rate}
        const char* figures;
    } cases[] = {
        {"no tax", {3, 10, 0, 0}, "30.00 0.00 30.00"},
        {"4 %", {-3, 2.5, 0, 4}, "-7.50 -0.30 -7.80"},
        {"10 %, half a cent of tax", {1, 0.05, 0, 10}, "0.05 0.01 0.06"},
        {"a credit line's half cent", {-1, 0.05, 0, 10}, "-0.05 -0.01 -0.06"},
        {"2,5 units at 21 %", {2.5, 10, 0, 21}, "25.00 5.25 30.25"},
        {"a discount", {2, 10, 10, 21}, "18.00 3.78 21.78"},
        {"half off leaves half cents", {1, 9.99, 50, 21}, "5.00 1.05 6.04"},
        {"four decimals in the price", {40, 0.0125, 0, 21}, "0.50 0.11 0.61"},
        {"the total is not base + tax", {1, 0.0149, 0, 21}, "0.01 0.00 0.02"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.line.Base().Text() + " " + c.line.Tax().Text() + " " + c.line.Total().Text(),
                  c.figures)
            << c.what;
}

TEST(Money, TimesAQuantityAndARate) {
    constexpr auto HalfAway = Money::Rounding::HalfAwayFromZero;
    const struct {
        qint64 cents;
        double factor;
        const char *times, *percent;
    } cases[] = {{199, 3, "5.97", "0.06"}, {35, 2.5, "0.88", "0.01"},  {1000, 21, "210.00", "2.10"},
                 {5, 10, "0.50", "0.01"},  {-5, 10, "-0.50", "-0.01"}, {250, 4, "10.00", "0.10"}};
    for (const auto& c : cases) {
        const Money m = Money::FromCents(c.cents);
        EXPECT_EQ(m.Times(c.factor, HalfAway).Text(), c.times) << c.cents << " x " << c.factor;
        EXPECT_EQ(m.Percent(c.factor, HalfAway).Text(), c.percent) << c.cents << " % " << c.factor;
    }
}

// A discount or a refund shared in proportion: whole cents, the half cent away from zero, and
// products of cents far beyond 64 bits still exact.
TEST(Money, ShareInProportion) {
    const struct {
        qint64 cents, part, whole;
        const char* share;
    } cases[] = {{1000, 1, 3, "3.33"},
                 {1000, 2, 3, "6.67"},
                 {5, 1, 2, "0.03"},
                 {-5, 1, 2, "-0.03"},
                 {5, -1, 2, "-0.03"},
                 {5, 1, -2, "-0.03"},
                 {1234, 0, 0, "0.00"},
                 {700, 700, 700, "7.00"},
                 {100000000000, 100000000000, 200000000000, "500000000.00"}};
    for (const auto& c : cases)
        EXPECT_EQ(Money::FromCents(c.cents)
                      .Share(Money::FromCents(c.part), Money::FromCents(c.whole),
                             Money::Rounding::HalfAwayFromZero)
                      .Text(),
                  c.share)
            << c.cents << " x " << c.part << " / " << c.whole;
}

} // namespace
