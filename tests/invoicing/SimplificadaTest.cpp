// The document each sale is issued as: its type, series and customer id as stored and
// registered, and what a sale that may not be issued leaves behind.
#include "InvoicingFixture.h"

#include "invoicing/EmitirFactura.h"

namespace {

using SimplificadaTest = InvoicingTest;

constexpr qint32 Fecha = 20270115;

TEST_F(SimplificadaTest, TheCustomersIdAndTheLimitChooseTheDocumentAndItsSeries) {
    const struct {
        const char *dni, *pais, *tipo;
        double precio;
        const char* guardado; // sFactura|sTipoFactura|sDni|sIdOtroPais|sIdOtroTipo|record's type
        const char* motivo;
    } casos[] = {
        {"", "", "", 400.00, "TA0001/27|F2||||F2", ""},
        {"", "", "", 400.01, "",
         "El importe (400,01 €) supera el límite de la factura simplificada (400,00 €): escriba el "
         "NIF del cliente en el campo D.N.I. para emitir una factura completa."},
        {"12.345.678-z", "", "", 400.01, "A0001/27|F1|12345678Z|||F1", ""},
        {"X1234567Z", "", "", 10, "",
         "El D.N.I./NIF «X1234567Z» del cliente no es válido: la letra de control no es correcta "
         "(debería ser L). Corríjalo o déjelo vacío para una factura simplificada."},
        {"12AB34567", "FR", "03", 900, "A0002/27|F1|12AB34567|FR|03|F1", ""},
        {"", "", "", 0.5, "TA0002/27|F2||||F2", ""},
    };
    Gi.nFechaTrabajo = Fecha;
    for (const auto& c : casos) {
        const qint32 client = NewClient();
        AddItem(client, 1, c.precio, 0);
        SolicitudFactura s = SolicitudCobrada(client, "Mostrador", "Cliente", 1, 1, Fecha, Fecha,
                                              {{"Efectivo", c.precio}}, 0);
        s.cobro.sDni = c.dni;
        s.cobro.sPais = c.pais;
        s.cobro.sTipoId = c.tipo;
        const int documentos = Count("Facturas");
        QString guardado;
        const Resultado<qint32, PasoEmision> r = EmitirFactura(s);
        const QString motivo = Refusal(r);
        if (r.Hecho()) {
            const QString id = QString::number(*r);
            guardado = Table("SELECT f.sFactura,f.sTipoFactura,f.sDni,f.sIdOtroPais,"
                             "f.sIdOtroTipo,r.sTipoFactura FROM Facturas f JOIN "
                             "RegistrosFacturacion r ON r.nIdFactura=f.nIdFactura WHERE "
                             "f.nIdFactura=" +
                             id);
        } else {
            // Nothing is written and no number is drawn for a refused sale.
            EXPECT_EQ(Count("Facturas"), documentos);
            EXPECT_EQ(
                Count("FacturasItems", "nIdFactura>0 AND nIdCliente=" + QString::number(client)),
                0);
        }
        EXPECT_EQ(guardado.toStdString(), c.guardado) << c.dni << " " << c.precio;
        EXPECT_EQ(motivo.toStdString(), c.motivo) << c.dni << " " << c.precio;
    }
    EXPECT_EQ(NextInvoiceNumber("TA"), 3);
    EXPECT_EQ(NextInvoiceNumber("A"), 3);
}

TEST_F(SimplificadaTest, TheBranchsOwnLimitAppliesToItsSales) {
    Db().InsertRecord("ConfiguracionSucursales", "nIdSucursal,sDato,sValor",
                      "1,'LimiteSimplificada','3000'");
    Gi.nFechaTrabajo = Fecha;
    const qint32 client = NewClient();
    AddItem(client, 1, 2500, 0);
    SolicitudFactura s = SolicitudCobrada(client, "Mostrador", "Cliente", 1, 1, Fecha, Fecha,
                                          {{"Efectivo", 2500}}, 0);
    s.cobro.sDni.clear();
    EXPECT_EQ(DocumentoDeVenta(s, false).sTipoFactura, "F2");
    // The discount lowers the amount the limit is measured on.
    AddItem(client, 1, 600, 0);
    EXPECT_EQ(DocumentoDeVenta(s, false).campo, DocumentoVenta::Campo::Id);
    s.cobro.nDescuento = Money::FromCents(10000);
    EXPECT_EQ(DocumentoDeVenta(s, false).sTipoFactura, "F2");
}

} // namespace
