// Decimal text of doubles, worked out on the decimal value each stands for.

#include "platform/util/Decimal.h"

#include "platform/util/TvError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// |value| = 0.digits x 10^exponent; digits has no leading or trailing zeros (empty for zero).
struct DecimalDigits {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// Splits "d.ddde+XX" as std::to_chars writes it in scientific form.
DecimalDigits FromScientific(const char* begin, const char* end) {
    DecimalDigits result;
    const char* p = begin;
    for (; p != end && *p != 'e'; ++p)
        if (*p != '.')
            result.digits += *p;
    int exponent = 0;
    if (p != end)
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    result.exponent = exponent + 1;
    while (!result.digits.empty() && result.digits.back() == '0')
        result.digits.pop_back();
    if (result.digits.empty())
        result.exponent = 0;
    return result;
}

DecimalDigits DigitsOf(double value) {
    if (!std::isfinite(value))
        throw TvError(ErrorNumber::Overflow, QStringLiteral("Desbordamiento"));
    const double magnitude = std::fabs(value);
    char buffer[64];
    auto shortest =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    DecimalDigits result = FromScientific(buffer, shortest.ptr);
    if (result.digits.size() > 15) {
        // More than 15 significant digits is usually the noise of arithmetic on amounts; take
        // the 15-digit decimal when it lies within two units in the last place of the value.
        auto rounded = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                     std::chars_format::scientific, 14);
        double back = 0;
        std::from_chars(buffer, rounded.ptr, back, std::chars_format::scientific);
        const double ulp = std::nextafter(magnitude, INFINITY) - magnitude;
        if (std::fabs(back - magnitude) <= 2 * ulp)
            result = FromScientific(buffer, rounded.ptr);
    }
    result.negative = std::signbit(value) && !result.digits.empty();
    return result;
}

// Adds one to a string of decimal digits.
void Increment(std::string& number) {
    for (auto it = number.rbegin(); it != number.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    number.insert(number.begin(), '1');
}

} // namespace

namespace Decimal {

QString Fixed(double value, int decimals) {
    decimals = std::max(decimals, 0);
    const DecimalDigits d = DigitsOf(value);
    // The digits worth at least 10^-decimals, as a whole number of 10^-decimals units.
    const long keep = long(d.exponent) + decimals;
    std::string units;
    if (keep >= 0 && !d.digits.empty()) {
        units = d.digits.substr(0, size_t(std::min<long>(keep, long(d.digits.size()))));
        units.append(size_t(std::max<long>(keep - long(units.size()), 0)), '0');
        if (keep < long(d.digits.size()) && d.digits[size_t(keep)] >= '5')
            Increment(units);
    }
    const size_t firstNonZero = units.find_first_not_of('0');
    units = firstNonZero == std::string::npos ? std::string() : units.substr(firstNonZero);
    const bool negative = d.negative && !units.empty();
    if (units.size() < size_t(decimals) + 1)
        units.insert(0, size_t(decimals) + 1 - units.size(), '0');
    std::string text = negative ? "-" : "";
    text += units.substr(0, units.size() - size_t(decimals));
    if (decimals > 0)
        text += "." + units.substr(units.size() - size_t(decimals));
    return QString::fromLatin1(text);
}

QString Shortest(double value) {
    const DecimalDigits d = DigitsOf(value);
    if (d.digits.empty())
        return QStringLiteral("0");
    const long count = long(d.digits.size());
    std::string text = d.negative ? "-" : "";
    if (d.exponent <= 0)
        text += "0." + std::string(size_t(-d.exponent), '0') + d.digits;
    else if (d.exponent >= count)
        text += d.digits + std::string(size_t(d.exponent - count), '0');
    else
        text += d.digits.substr(0, size_t(d.exponent)) + "." + d.digits.substr(size_t(d.exponent));
    return QString::fromLatin1(text);
}

bool Parse(const QString& text, double* out) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        negative = t.front() == QLatin1Char('-');
        t = t.mid(1);
    }
    const qsizetype comma = t.lastIndexOf(QLatin1Char(','));
    const qsizetype point = t.lastIndexOf(QLatin1Char('.'));
    if (comma >= 0 && point >= 0)
        t.remove(comma > point ? QLatin1Char('.') : QLatin1Char(','));
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.isEmpty() || !(t.front().isDigit() || t.front() == QLatin1Char('.')))
        return false;
    const QByteArray ascii = t.toLatin1();
    double value = 0;
    const auto result = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value,
                                        std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != ascii.constData() + ascii.size())
        return false;
    *out = negative ? -value : value;
    return true;
}

} // namespace Decimal
