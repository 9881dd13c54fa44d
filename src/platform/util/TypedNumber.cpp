// Amounts, percentages and quantities as a person types them, read or refused with a reason.

#include "platform/util/TypedNumber.h"

#include "platform/util/Decimal.h"

#include <QStringList>
#include <charconv>

namespace {

constexpr int AmountDigits = 9;
constexpr double MaxQuantity = 99999;

int MaxDecimals(TypedNumber::Kind kind) {
    return kind == TypedNumber::Kind::Quantity ? 4 : 2;
}

bool AllDigits(const QString& text) {
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// "1.234.567" with "." grouping: the first group of one to three digits, every other of three.
bool Grouped(const QString& whole, QChar separator) {
    const QStringList groups = whole.split(separator);
    if (groups.front().isEmpty() || groups.front().size() > 3)
        return false;
    for (qsizetype i = 1; i < groups.size(); ++i)
        if (groups[i].size() != 3)
            return false;
    return true;
}

// Splits an unsigned number into its whole digits and its decimals; false when it is no number.
bool Split(const QString& text, QString* whole, QString* decimals) {
    const qsizetype commas = text.count(QLatin1Char(','));
    const qsizetype points = text.count(QLatin1Char('.'));
    QChar decimalPoint;
    QChar grouping;
    if (commas > 0 && points > 0) {
        decimalPoint = text.lastIndexOf(QLatin1Char(',')) > text.lastIndexOf(QLatin1Char('.'))
                           ? QLatin1Char(',')
                           : QLatin1Char('.');
        grouping = decimalPoint == QLatin1Char(',') ? QLatin1Char('.') : QLatin1Char(',');
        if (text.count(decimalPoint) != 1)
            return false;
    } else if (commas == 1 || points == 1) {
        decimalPoint = commas == 1 ? QLatin1Char(',') : QLatin1Char('.');
    } else if (commas > 1 || points > 1) {
        grouping = commas > 1 ? QLatin1Char(',') : QLatin1Char('.');
    }
    const qsizetype at = decimalPoint.isNull() ? -1 : text.indexOf(decimalPoint);
    *whole = at < 0 ? text : text.left(at);
    *decimals = at < 0 ? QString() : text.mid(at + 1);
    if (!grouping.isNull() && whole->contains(grouping)) {
        if (!Grouped(*whole, grouping))
            return false;
        whole->remove(grouping);
    }
    return AllDigits(*whole) && AllDigits(*decimals) && !(whole->isEmpty() && decimals->isEmpty());
}

QString Named(const QString& field, const QString& rest) {
    return QStringLiteral("El dato \"%1\" %2").arg(field, rest);
}

} // namespace

namespace TypedNumber {

Reading Read(const QString& text, Kind kind, const QString& field) {
    Reading reading;
    QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    const bool sign = negative || t.startsWith(QLatin1Char('+'));
    if (sign)
        t = t.mid(1).trimmed();
    QString whole;
    QString decimals;
    if ((sign || !t.isEmpty()) && !Split(t, &whole, &decimals)) {
        reading.error = Named(field, QStringLiteral("no es un número: \"%1\". Escriba solo cifras "
                                                    "y la coma decimal (por ejemplo 1.234,56).")
                                         .arg(text.trimmed()));
        return reading;
    }
    while (whole.size() > 1 && whole.front() == QLatin1Char('0'))
        whole.remove(0, 1);
    while (decimals.endsWith(QLatin1Char('0')))
        decimals.chop(1);
    const QByteArray ascii =
        (whole.isEmpty() ? QStringLiteral("0") : whole).toLatin1() + '.' + decimals.toLatin1();
    // A number of hundreds of digits does not fit a double; it stays 0 and is refused for its
    // length below.
    double value = 0;
    std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (negative && value != 0)
        reading.error = Named(field, QStringLiteral("no puede ser negativo."));
    else if (kind == Kind::Amount && whole.size() > AmountDigits)
        reading.error =
            Named(field, QStringLiteral("tiene demasiadas cifras: como mucho %1 antes de la coma.")
                             .arg(AmountDigits));
    else if (kind == Kind::Percentage && (whole.size() > 3 || value > 100))
        reading.error = Named(field, QStringLiteral("no puede pasar de 100."));
    else if (kind == Kind::Quantity && (whole.size() > 5 || value > MaxQuantity))
        reading.error =
            Named(field, QStringLiteral("no puede pasar de %1.").arg(Spanish(MaxQuantity, 0)));
    else if (decimals.size() > MaxDecimals(kind))
        reading.error =
            Named(field, QStringLiteral("admite como mucho %1 decimales.").arg(MaxDecimals(kind)));
    else if (kind == Kind::Quantity && value <= 0)
        reading.error = Named(field, QStringLiteral("debe ser mayor que cero."));
    if (reading.Ok())
        reading.value = value;
    return reading;
}

QString Spanish(double value, int decimals) {
    QString text = Decimal::Fixed(value, decimals);
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative)
        text.remove(0, 1);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    QString whole = point < 0 ? text : text.left(point);
    const QString rest = point < 0 ? QString() : QLatin1Char(',') + text.mid(point + 1);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, QLatin1Char('.'));
    return (negative ? QStringLiteral("-") : QString()) + whole + rest;
}

} // namespace TypedNumber
