// Which document a sale gets for each way a customer can be identified, and the branch's limit.
#include "invoicing/core/DocumentoVenta.h"

#include <gtest/gtest.h>

namespace {

TEST(DocumentoVenta, EachCustomerIdGetsItsDocumentOrTheFieldToCorrect) {
    const struct {
        const char *nombre, *dni, *pais, *tipo;
        qint64 centimos;
        const char* fila; // tipo|dni|pais|tipoId|campo (0 none, 1 name, 2 id, 3 country, 4 type)
    } casos[] = {
        {"Ana", " 12.345.678-z ", "", "", 50000, "F1|12345678Z|||0"},
        {"Protectora", "G50123454", "", "", 1000, "F1|G50123454|||0"},
        // A mistyped id is never issued as simplified behind the user's back.
        {"Ana", "12345678A", "", "", 1000, "||||2"},
        {"Protectora", "G50123456", "", "", 1000, "||||2"},
        {"", "12345678Z", "", "", 1000, "||||1"},
        {"", "", "", "", 40000, "F2||||0"},
        {"Ana", "", "", "", 40001, "||||2"},
        {"Jean Dupont", "12ab34567", "fr", "03", 90000, "F1|12AB34567|FR|03|0"},
        {"Jean Dupont", "12AB34567", "FR", "07", 1000, "||||4"},
        {"Jean Dupont", "12AB34567", "FR", "", 1000, "||||4"},
        {"Jean Dupont", "12AB34567", "F", "03", 1000, "||||3"},
        {"Juan", "12345678Z", "ES", "03", 1000, "||||3"},
        {"Jean Dupont", "", "FR", "03", 1000, "||||2"},
        {"", "12AB34567", "FR", "03", 1000, "||||1"},
    };
    for (const auto& c : casos) {
        const DocumentoVenta d =
            ElegirDocumento({QString::fromUtf8(c.nombre),
                             QString::fromUtf8(c.dni),
                             QString::fromUtf8(c.pais),
                             QString::fromUtf8(c.tipo),
                             {}},
                            Money::FromCents(c.centimos), LimiteSimplificadaGeneral);
        EXPECT_EQ(
            QStringList({d.sTipoFactura, d.sDni, d.sPais, d.sTipoId, QString::number(int(d.campo))})
                .join('|')
                .toStdString(),
            c.fila)
            << c.dni << " " << c.pais << " " << c.tipo;
        EXPECT_EQ(d.motivo.isEmpty(), d.Emitible()) << c.dni;
    }
}

TEST(DocumentoVenta, TextsLongerThanTheDocumentsTakeAreRefusedNamingTheField) {
    const QString nif = "12345678Z";
    const struct {
        qsizetype nombre, domicilio;
        QString dni;
        DocumentoVenta::Campo campo;
    } casos[] = {
        {MaxNombreCliente, MaxDomicilioCliente, nif, DocumentoVenta::Campo::Ninguno},
        {MaxNombreCliente + 1, 10, nif, DocumentoVenta::Campo::Nombre},
        {10, MaxDomicilioCliente + 1, nif, DocumentoVenta::Campo::Domicilio},
        {10, 10, nif + QString(MaxIdCliente, '1'), DocumentoVenta::Campo::Id},
        // A walk-in customer's name prints too.
        {MaxNombreCliente + 1, 0, "", DocumentoVenta::Campo::Nombre},
    };
    for (const auto& c : casos) {
        const DocumentoVenta d =
            ElegirDocumento({QString(c.nombre, 'a'), c.dni, {}, {}, QString(c.domicilio, 'b')},
                            Money(), LimiteSimplificadaGeneral);
        EXPECT_EQ(d.campo, c.campo) << c.nombre << " " << c.domicilio;
        EXPECT_LT(d.motivo.size(), 100) << d.motivo.toStdString();
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
}

} // namespace
