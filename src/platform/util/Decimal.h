#pragma once

#include <QString>

// Decimal text of doubles, worked out on the decimal value a double stands for rather than on
// its binary approximation: 2.675 is stored as 2.67499999..., yet the user typed 2.675 and
// expects 2.68. Amounts that went through a little arithmetic (0.1 + 0.2) are read back as the
// decimal they meant (0.3) when that decimal lies within a couple of units in the last place.
namespace Decimal {

// The value rounded half away from zero to `decimals` decimals, "." as decimal point, no
// exponent, no thousands separator; never "-0.00". A value that is not finite is error 6.
QString Fixed(double value, int decimals);

// The value with its own decimals and no exponent ("6.3", "30", "-0.5", "0").
QString Shortest(double value);

// A number typed by a person: blanks around, optional sign, "," or "." as decimal point (when
// both appear, the last one is the decimal point and the other groups thousands), optional
// exponent. False, leaving *out alone, for anything else.
bool Parse(const QString& text, double* out);

} // namespace Decimal
