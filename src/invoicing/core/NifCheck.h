#pragma once

#include <QString>

// A Spanish tax id (NIF) checked by its published check-character rules: the one place that says
// whether a customer, the issuer or the system's producer is identified. A document names its
// recipient by an id that passes; one that fails is refused where it is typed.
enum class NifKind {
    Invalid,
    Dni,        // 8 digits and a letter
    Nie,        // X, Y or Z, 7 digits and a letter
    SpecialNif, // K, L or M (minors, Spaniards abroad, foreigners without NIE), 7 digits, letter
    Entity      // a company or body: a letter, 7 digits and a check digit or letter (CIF)
};

struct NifResult {
    NifKind kind = NifKind::Invalid;
    // The id as the agency writes it: upper case, without blanks, dots or hyphens.
    QString normalized;
    // Why it was refused, in Spanish, for a message that names the field; empty when valid.
    QString reason;

    bool Valid() const { return kind != NifKind::Invalid; }
};

// Checks a typed id. Blanks, dots and hyphens are ignored and letters may be in either case
// ("12.345.678-z" is 12345678Z); anything else is answered with its reason.
NifResult CheckNif(const QString& typed);
