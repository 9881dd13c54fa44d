// Amounts as the front desk reads them: decimal comma, thousands point, two decimals.

#include "platform/report/AmountText.h"

#include "platform/report/Expression.h"
#include "platform/util/Utility.h"

#include <QLocale>

QString AmountText::Number(double value) {
    return Expression::FormatNumber(value, "#,##0.00", QLocale(QLocale::Spanish, QLocale::Spain));
}

QString AmountText::Euros(double value) {
    return Number(value) + " €";
}

QString AmountText::Editable(double value) {
    return Expression::FormatNumber(value, "0.00", QLocale(QLocale::Spanish, QLocale::Spain));
}

QString AmountText::Plain(double value) {
    return Utility::NumberText(value).replace('.', ',');
}
