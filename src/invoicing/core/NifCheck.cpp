// The check characters of Spanish tax ids: DNI and NIE letters, CIF digits and letters.
#include "invoicing/core/NifCheck.h"

namespace {

const QString DniLetters = QStringLiteral("TRWAGMYFPDXBNJZSQVHLCKE");
const QString EntityLetters = QStringLiteral("ABCDEFGHJNPQRSUVW");
const QString SpecialLetters = QStringLiteral("KLM");
const QString NieLetters = QStringLiteral("XYZ");

bool AllDigits(QStringView s) {
    for (const QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return !s.isEmpty();
}

QChar DniLetter(qint64 number) {
    return DniLetters.at(static_cast<int>(number % 23));
}

NifResult Refused(const QString& normalized, const QString& reason) {
    return {NifKind::Invalid, normalized, reason};
}

NifResult LetterChecked(NifKind kind, const QString& id, qint64 number) {
    const QChar expected = DniLetter(number);
    if (id.back() != expected)
        return Refused(
            id,
            QStringLiteral("la letra de control no es correcta (debería ser %1)").arg(expected));
    return {kind, id, {}};
}

// The entity's control: digits in odd places doubled with their digits added, digits in even
// places added, and the units of the sum taken from ten.
NifResult EntityChecked(const QString& id) {
    int sum = 0;
    for (int i = 0; i < 7; ++i) {
        const int d = id.at(1 + i).digitValue();
        if (i % 2 == 0) {
            const int twice = 2 * d;
            sum += twice / 10 + twice % 10;
        } else {
            sum += d;
        }
    }
    const int digit = (10 - sum % 10) % 10;
    const QChar asDigit = QChar(u'0' + digit);
    const QChar asLetter = QStringLiteral("JABCDEFGHI").at(digit);
    const QChar kind = id.front();
    const QChar control = id.back();
    // Bodies without their own trade (and non-resident entities) carry a letter; companies a
    // digit; the rest may carry either.
    const bool letterOnly = QStringLiteral("NPQRSW").contains(kind);
    const bool digitOnly = QStringLiteral("ABEH").contains(kind);
    const bool ok = (control == asLetter && !digitOnly) || (control == asDigit && !letterOnly);
    if (!ok)
        return Refused(id, QStringLiteral("el carácter de control no es correcto (debería ser %1)")
                               .arg(letterOnly ? asLetter : asDigit));
    return {NifKind::Entity, id, {}};
}

} // namespace

NifResult CheckNif(const QString& typed) {
    QString id;
    for (const QChar c : typed)
        if (!c.isSpace() && c != u'.' && c != u'-')
            id += c.toUpper();
    if (id.isEmpty())
        return Refused(id, QStringLiteral("está vacío"));
    if (id.size() != 9)
        return Refused(id, QStringLiteral("debe tener 9 caracteres (tiene %1)").arg(id.size()));
    const QChar first = id.front();
    const QStringView middle = QStringView(id).mid(1, 7);
    if (AllDigits(QStringView(id).first(8)) && id.back().isLetter())
        return LetterChecked(NifKind::Dni, id, id.first(8).toLongLong());
    if (NieLetters.contains(first) && AllDigits(middle) && id.back().isLetter())
        return LetterChecked(
            NifKind::Nie, id,
            (QString::number(NieLetters.indexOf(first)) + middle.toString()).toLongLong());
    if (SpecialLetters.contains(first) && AllDigits(middle) && id.back().isLetter())
        return LetterChecked(NifKind::SpecialNif, id, middle.toLongLong());
    if (EntityLetters.contains(first) && AllDigits(middle) &&
        (id.back().isDigit() || QStringLiteral("JABCDEFGHI").contains(id.back())))
        return EntityChecked(id);
    return Refused(id, QStringLiteral("no es un NIF, NIE ni CIF español"));
}
