// The check characters of Spanish tax ids, on ids worked out by hand.
#include "invoicing/core/NifCheck.h"

#include <gtest/gtest.h>

namespace {

TEST(NifCheck, KindNormalFormAndReason) {
    const struct {
        const char* typed;
        NifKind kind;
        const char* normalized;
        const char* reason;
    } cases[] = {
        {"12345678Z", NifKind::Dni, "12345678Z", ""},
        {" 12.345.678-z ", NifKind::Dni, "12345678Z", ""},
        {"12345678A", NifKind::Invalid, "12345678A",
         "la letra de control no es correcta (debería ser Z)"},
        {"89890001K", NifKind::Dni, "89890001K", ""},
        {"X1234567L", NifKind::Nie, "X1234567L", ""},
        {"Y1234567X", NifKind::Nie, "Y1234567X", ""},
        {"z1234567r", NifKind::Nie, "Z1234567R", ""},
        {"X1234567Z", NifKind::Invalid, "X1234567Z",
         "la letra de control no es correcta (debería ser L)"},
        {"K1234567L", NifKind::SpecialNif, "K1234567L", ""},
        {"B12345674", NifKind::Entity, "B12345674", ""},
        {"B1234567D", NifKind::Invalid, "B1234567D",
         "el carácter de control no es correcto (debería ser 4)"},
        {"P1234567D", NifKind::Entity, "P1234567D", ""},
        {"P12345674", NifKind::Invalid, "P12345674",
         "el carácter de control no es correcto (debería ser D)"},
        {"G5012345D", NifKind::Entity, "G5012345D", ""},
        {"G50123454", NifKind::Entity, "G50123454", ""},
        {"G50123456", NifKind::Invalid, "G50123456",
         "el carácter de control no es correcto (debería ser 4)"},
        {"1234567Z", NifKind::Invalid, "1234567Z", "debe tener 9 caracteres (tiene 8)"},
        {"", NifKind::Invalid, "", "está vacío"},
        {"ABCDEFGHI", NifKind::Invalid, "ABCDEFGHI", "no es un NIF, NIE ni CIF español"},
        {"I1234567A", NifKind::Invalid, "I1234567A", "no es un NIF, NIE ni CIF español"},
    };
    for (const auto& c : cases) {
        const NifResult r = CheckNif(QString::fromUtf8(c.typed));
        EXPECT_EQ(r.kind, c.kind) << c.typed;
        EXPECT_EQ(r.normalized, QString::fromUtf8(c.normalized)) << c.typed;
        EXPECT_EQ(r.reason, QString::fromUtf8(c.reason)) << c.typed;
        EXPECT_EQ(r.Valid(), c.kind != NifKind::Invalid) << c.typed;
    }
}

} // namespace
