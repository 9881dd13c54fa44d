// Money as whole cents: the ways in from doubles and stored values, and the ways out.

#include "invoicing/core/Money.h"

#include "platform/util/Decimal.h"
#include "platform/util/Utility.h"

#include <cmath>

Money Money::FromDouble(double value) {
    // Below a billion the decimal the rounding reads lies within a hundred-thousandth of a cent
    // of the value; a thousandth of a cent or more from a half cent, the nearest whole number of
    // cents is what the decimal rounding gives. Checking a folder's documents reads millions of
    // amounts, and a line's tax or a share of a payment rarely falls on a half cent.
    const double cents = value * 100;
    if (std::fabs(cents) < 1e11) {
        const double nearest = std::round(cents);
        if (std::fabs(std::fabs(cents - nearest) - 0.5) > 1e-3)
            return Money(qint64(nearest));
    }
    // Decimal::Fixed is the one rounding rule; its text has exactly two decimals.
    QString text = Decimal::Fixed(value, 2);
    text.remove(QLatin1Char('.'));
    return Money(text.toLongLong());
}

Money Money::Times(double quantity, Rounding) const {
    return FromDouble(ToDouble() * quantity);
}

Money Money::Percent(double rate, Rounding) const {
    return FromDouble(ToDouble() * rate / 100);
}

// Two amounts of cents multiplied can pass 64 bits; the compiler's 128-bit integer holds any.
__extension__ using Wide = __int128;

Money Money::Share(Money part, Money whole, Rounding) const {
    if (whole.m_cents == 0)
        return {};
    const Wide product = Wide(m_cents) * part.m_cents;
    const Wide divisor = whole.m_cents < 0 ? -Wide(whole.m_cents) : Wide(whole.m_cents);
    const Wide dividend = whole.m_cents < 0 ? -product : product;
    const Wide magnitude = dividend < 0 ? -dividend : dividend;
    const Wide rounded = (2 * magnitude + divisor) / (2 * divisor);
    return Money(qint64(dividend < 0 ? -rounded : rounded));
}

Money Money::FromStored(const QVariant& value) {
    return FromDouble(U().SqlNumber(value));
}

double Money::ToDouble() const {
    return double(m_cents) / 100;
}

namespace {

// The cents written backwards into a buffer, the two decimals after `point` and, when `group` is
// not zero, the whole part in threes: verify writes three of these for every record.
QString Written(qint64 cents, char point, char group) {
    qint64 rest = cents < 0 ? -cents : cents;
    char buffer[32];
    char* const end = buffer + sizeof buffer;
    char* at = end;
    for (int digits = 0; digits < 3 || rest > 0; ++digits) {
        if (digits == 2)
            *--at = point;
        else if (group != 0 && digits > 2 && (digits - 2) % 3 == 0)
            *--at = group;
        *--at = char('0' + rest % 10);
        rest /= 10;
    }
    if (cents < 0)
        *--at = '-';
    return QString::fromLatin1(at, end - at);
}

} // namespace

QString Money::Text() const {
    return Written(m_cents, '.', 0);
}

QString Money::Shown() const {
    return Written(m_cents, ',', '.');
}

QString Money::Plain() const {
    return Written(m_cents, ',', 0);
}
