#pragma once

#include <QString>

// Amounts as the front desk reads them, on screen as on paper: decimal comma, thousands point,
// two decimals, rounded half away from zero ("1.234,56", "-0,50"). The same formatting as the
// reports' "#,##0.00" in Spanish, so a figure looks the same in the window and on the invoice.
// Stored values and SQL keep their own format (Utility::SqlValue).
namespace AmountText {

QString Number(double value); // "1.234,56"
QString Euros(double value);  // "1.234,56 €"
// An amount put into a field to be typed over: the decimal comma without the thousands point
// ("1234,56"), so that editing it never meets a separator the user did not type.
QString Editable(double value);
// A quantity or any other plain number with its own decimals and the decimal comma ("2,5").
QString Plain(double value);

} // namespace AmountText
