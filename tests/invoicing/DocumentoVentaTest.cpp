// Which document a sale gets for each way a customer can be identified, and the branch's limit.
#include "invoicing/core/DocumentoVenta.h"

#include <gtest/gtest.h>

namespace {

using Campo = DocumentoVenta::Campo;

TEST(DocumentoVenta, EachCustomerIdGetsItsDocumentOrTheFieldToCorrect) {
    const Money limite = LimiteSimplificadaGeneral;
    const struct {
        const char *nombre, *dni, *pais, *tipo;
        qint64 centimos;
        const char* fila; // tipo|dni|pais|tipoId|campo
        const char* motivo;
    } casos[] = {
        {"Ana", " 12.345.678-z ", "", "", 50000, "F1|12345678Z|||0", ""},
        {"Ana", "x1234567l", "", "", 1000, "F1|X1234567L|||0", ""},
        {"Protectora", "G50123454", "", "", 1000, "F1|G50123454|||0", ""},
        // A mistyped id is never issued as simplified behind the user's back.
        {"Ana", "12345678A", "", "", 1000, "||||2",
         "El D.N.I./NIF «12345678A» del cliente no es válido: la letra de control no es correcta "
         "(debería ser Z). Corríjalo o déjelo vacío para una factura simplificada."},
        {"Protectora", "G50123456", "", "", 1000, "||||2", ""},
        {"", "12345678Z", "", "", 1000, "||||1", ""},
        {"", "", "", "", 40000, "F2||||0", ""},
        {"Ana", "", "", "", 1, "F2||||0", ""},
        {"Ana", "", "", "", 40001, "||||2",
         "El importe (400,01 €) supera el límite de la factura simplificada (400,00 €): escriba "
         "el NIF del cliente en el campo D.N.I. para emitir una factura completa."},
        {"Jean Dupont", "12ab34567", "fr", "03", 90000, "F1|12AB34567|FR|03|0", ""},
        {"Jean Dupont", "FR12345678901", "FR", "02", 1000, "F1|FR12345678901|FR|02|0", ""},
        {"Jean Dupont", "12AB34567", "FR", "07", 1000, "||||4", ""},
        {"Jean Dupont", "12AB34567", "FR", "", 1000, "||||4", ""},
        {"Jean Dupont", "12AB34567", "F", "03", 1000, "||||3", ""},
        {"Juan", "12345678Z", "ES", "03", 1000, "||||3", ""},
        {"Jean Dupont", "", "FR", "03", 1000, "||||2", ""},
        {"", "12AB34567", "FR", "03", 1000, "||||1", ""},
    };
    for (const auto& c : casos) {
        const DocumentoVenta d =
            ElegirDocumento({QString::fromUtf8(c.nombre), QString::fromUtf8(c.dni),
                             QString::fromUtf8(c.pais), QString::fromUtf8(c.tipo)},
                            Money::FromCents(c.centimos), limite);
        const QString fila =
            QStringList{d.sTipoFactura, d.sDni, d.sPais, d.sTipoId, QString::number(int(d.campo))}
                .join('|');
        EXPECT_EQ(fila.toStdString(), c.fila) << c.dni << " " << c.pais << " " << c.tipo;
        EXPECT_EQ(d.motivo.isEmpty(), d.Emitible()) << c.dni;
        if (*c.motivo) {
            EXPECT_EQ(d.motivo.toStdString(), c.motivo);
        }
    }
}

TEST(DocumentoVenta, TheBranchLimitReadsAsAnAmountOrIsTheGeneralOne) {
    const struct {
        const char* ajuste;
        qint64 centimos;
    } casos[] = {{"", 40000},    {"3000", 300000}, {"3.000,00", 300000}, {" 250,5 ", 25050},
                 {"abc", 40000}, {"0", 40000},     {"-10", 40000},       {"1e9", 40000}};
    for (const auto& c : casos)
        EXPECT_EQ(LimiteSimplificada(QString::fromUtf8(c.ajuste)).Cents(), c.centimos) << c.ajuste;
    const DocumentoVenta d =
        ElegirDocumento({}, Money::FromCents(250000), Money::FromCents(300000));
    EXPECT_TRUE(d.Simplificada());
}

} // namespace
