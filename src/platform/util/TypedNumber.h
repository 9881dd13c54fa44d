#pragma once

#include <QString>

// Numbers a person types into a field: amounts, percentages and quantities. Spanish first
// ("12,5", "1.234,56"), "12.5" as a calculator writes it, and nothing else: a letter, an
// exponent ("1e308"), a negative value or more than the field can hold is refused with a message
// that names the field, so that a slip of the finger never becomes money booked.
namespace TypedNumber {

enum class Kind {
    Amount,     // money: at most 9 digits before the decimal point and 2 after, not negative
    Percentage, // 0 to 100 with at most 2 decimals
    Quantity,   // units of a line: more than 0, at most 99.999, at most 4 decimals
};

struct Reading {
    double value = 0;
    QString error; // empty when the text reads; otherwise the message for the user
    bool Ok() const { return error.isEmpty(); }
};

// Reads text typed into the field called `field`. An empty text is 0 (refused for a quantity).
// Grouping: "," or "." appearing more than once, or the first of the two when both appear,
// separates thousands in groups of three; a single "," or "." is the decimal point.
Reading Read(const QString& text, Kind kind, const QString& field);

// A value as the Spanish write it for a person: "1.234,56" (decimals digits, rounded half away
// from zero).
QString Spanish(double value, int decimals = 2);

} // namespace TypedNumber
