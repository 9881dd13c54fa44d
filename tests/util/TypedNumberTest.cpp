// Numbers as a front desk types them: read, or refused naming the field.

#include "platform/util/TypedNumber.h"
#include "platform/util/Utility.h"

#include <QStringList>
#include <gtest/gtest.h>

using TypedNumber::Kind;

// What a front desk types, read as a whole: the value or the message, one line per case.
TEST(TypedNumber, ReadsSpanishAndCalculatorFormsAndRefusesTheRestNamingTheField) {
    const struct {
        const char* text;
        Kind kind;
        const char* read; // nullptr: the message that the text is not a number
    } cases[] = {
        {"12,5", Kind::Amount, "12.5"},
        {"1.234,56", Kind::Amount, "1234.56"},
        {"12.5", Kind::Amount, "12.5"},
        {"1,234.56", Kind::Amount, "1234.56"},
        {"1.234.567", Kind::Amount, "1234567"},
        {" +7 ", Kind::Amount, "7"},
        {"", Kind::Amount, "0"},
        {",5", Kind::Amount, "0.5"},
        {"-0", Kind::Amount, "0"},
        {"999.999.999,99", Kind::Amount, "999999999.99"},
        {"1e308", Kind::Amount, nullptr},
        {"abc", Kind::Amount, nullptr},
        {"12 5", Kind::Amount, nullptr},
        {"1.23.4", Kind::Amount, nullptr},
        {"1.2,3,4", Kind::Amount, nullptr},
        {"-", Kind::Amount, nullptr},
        {"-3", Kind::Amount, "El dato \"Campo\" no puede ser negativo."},
        {"1234567890", Kind::Amount,
         "El dato \"Campo\" tiene demasiadas cifras: como mucho 9 antes de la coma."},
        {"123456789012345678901234567890", Kind::Amount,
         "El dato \"Campo\" tiene demasiadas cifras: como mucho 9 antes de la coma."},
        {"12,345", Kind::Amount, "El dato \"Campo\" admite como mucho 2 decimales."},
        {"100", Kind::Percentage, "100"},
        {"100,01", Kind::Percentage, "El dato \"Campo\" no puede pasar de 100."},
        {"21,5", Kind::Percentage, "21.5"},
        {"1,5", Kind::Quantity, "1.5"},
        {"99.999", Kind::Quantity, "99.999"},
        {"100000", Kind::Quantity, "El dato \"Campo\" no puede pasar de 99.999."},
        {"0", Kind::Quantity, "El dato \"Campo\" debe ser mayor que cero."},
        {"", Kind::Quantity, "El dato \"Campo\" debe ser mayor que cero."},
        {"0,00001", Kind::Quantity, "El dato \"Campo\" admite como mucho 4 decimales."},
    };
    QStringList got, expected;
    for (const auto& c : cases) {
        const TypedNumber::Reading r = TypedNumber::Read(c.text, c.kind, "Campo");
        got << QString(c.text) + " -> " + (r.Ok() ? Utility::NumberText(r.value) : r.error);
        expected << QString(c.text) + " -> " +
                        (!c.read
                             ? QString("El dato \"Campo\" no es un número: \"%1\". Escriba solo "
                                       "cifras y la coma decimal (por ejemplo 1.234,56).")
                                   .arg(c.text)
                             : QString(c.read));
    }
    EXPECT_EQ(got.join('\n').toStdString(), expected.join('\n').toStdString());
}

TEST(TypedNumber, SpanishGroupsThousandsWithAPointAndUsesADecimalComma) {
    QStringList got;
    for (double value : {0.0, 12.5, -92.4, 1234.565, 999999999.99, -0.001})
        got << TypedNumber::Spanish(value);
    got << TypedNumber::Spanish(99999, 0);
    EXPECT_EQ(got.join(' ').toStdString(), "0,00 12,50 -92,40 1.234,57 999.999.999,99 0,00 99.999");
}
