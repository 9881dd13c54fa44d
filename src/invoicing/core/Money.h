#pragma once

#include <QString>
#include <QVariant>
#include <compare>

// An amount of money as a whole number of cents. Every stored amount of a document is one of
// these; the one way into it from a computed figure is FromDouble, which rounds half away from
// zero to the cent on the decimal value the double stands for (2.675 -> 2.68, -0.005 -> -0.01),
// as SqlValue(x, 2) writes it.
class Money {
public:
    // How a product is taken back to the cent. There is one rule; a multiplication names it so
    // that every place where a figure loses its fraction of a cent can be found.
    enum class Rounding { HalfAwayFromZero };

    constexpr Money() = default;
    static constexpr Money FromCents(qint64 cents) { return Money(cents); }
    // A value that is not finite is error 6 (overflow), as SqlValue raises it.
    static Money FromDouble(double value);
    // A stored column: numbers as SqlNumber reads them (NULL, empty and text that is no number
    // give 0).
    static Money FromStored(const QVariant& value);

    constexpr qint64 Cents() const { return m_cents; }
    double ToDouble() const;
    // "12.34", "-0.01", "0.00": the SQL literal and the register's text.
    QString Text() const;
    // As the front desk reads it, on screen, on paper and in messages: "1.234,56", "-0,50".
    QString Shown() const;
    QString Euros() const { return Shown() + QStringLiteral(" €"); }
    // The decimal comma without the thousands point ("1234,56"): a field to be typed over, a
    // spreadsheet's cell.
    QString Plain() const;

    // The amount times a quantity (2,5 units), and its rate percent (21 % of it), each taken to
    // the cent on its own as FromDouble does.
    Money Times(double quantity, Rounding rounding) const;
    Money Percent(double rate, Rounding rounding) const;
    // The part of the amount that `part` is of `whole` (a discount shared in proportion to the
    // lines taken back), in whole cents without a double between them; a whole of zero gives 0.
    Money Share(Money part, Money whole, Rounding rounding) const;

    constexpr Money operator-() const { return Money(-m_cents); }
    constexpr Money operator+(Money other) const { return Money(m_cents + other.m_cents); }
    constexpr Money operator-(Money other) const { return Money(m_cents - other.m_cents); }
    constexpr Money& operator+=(Money other) {
        m_cents += other.m_cents;
        return *this;
    }
    constexpr auto operator<=>(const Money&) const = default;

private:
    constexpr explicit Money(qint64 cents) : m_cents(cents) {}
    qint64 m_cents = 0;
};
