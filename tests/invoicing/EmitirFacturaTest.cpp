// Issuing an invoice as a call, with no window and no session globals: what the stored rows hold
// for each kind of payment, and what a refusal or a failure leaves.
#include "InvoicingFixture.h"
#include "invoicing/core/PendingItems.h"

#include "billing/GenerarFactura.h"
#include "invoicing/EmitirFactura.h"
#include "platform/ui/seam/ScriptedUi.h"

#include <vector>

namespace {

using EmitirFacturaTest = InvoicingTest;

constexpr qint32 Fecha = 20270115;

struct Linea {
    double units, price, rate;
};

struct Caso {
    std::vector<Linea> lineas;
    std::vector<std::pair<QString, double>> cobros;
    double descuento;
    qint32 caja, usuario;
};

SolicitudFactura Solicitud(qint32 client, const Caso& c) {
    return InvoicingTest::SolicitudCobrada(client, "Titular, de caja", "Cliente O'Brien", c.caja,
                                           c.usuario, Fecha, 20270116, c.cobros, c.descuento);
}

// The invoice's header, payments, cash-box entries and pet history, a part per line.
QString Stored(qint32 id) {
    const QString of = " WHERE nIdFactura=" + QString::number(id);
    return QStringList{
        RowText(Db().GetRows("SELECT nIdSucursal,sCliente,sDomicilio,sPoblacion,sDni,nIdUsuario,"
                             "nIdEmpleado,nIdCaja,sFactura,dFactura,nPo_1,nBi_1,nIm_1,nPo_2,"
                             "nBi_2,nIm_2,nBi_Total,nIm_Total,nTotal,nDescuento FROM Facturas" +
                             of)),
        RowText(Db().GetRows("SELECT nImporte,nIdTipoCobro,nIdTipoMovimiento,dFactura FROM "
                             "FacturasCobros" +
                             of + " ORDER BY nIdFacturaCobro")),
        RowText(Db().GetRows("SELECT nIdCaja,sReferencia,sTitular,dApunte,nIdUsuario,nImporte,"
                             "sDocumento,sObservaciones FROM ApuntesCaja" +
                             of + " ORDER BY nIdApunteCaja")),
        RowText(Db().GetRows("SELECT dFactura,COUNT(*) FROM MascotasProdServ" + of +
                             " GROUP BY dFactura"))}
        .join("\n");
}

TEST_F(EmitirFacturaTest, CashCardMixedAndDiscountedRequestsAreStoredWhole) {
    Gi.nFechaTrabajo = Fecha;
    const std::vector<std::pair<Caso, QString>> casos = {
        {{{{2, 10, 21}}, {{"Efectivo", 24.20}}, 0, 1, 2},
         "1|Cliente O'Brien|Calle Mayor 1|Huesca|12345678Z|2|2|1|A0001/27|20270115|21|20|4.2|0|0|0|"
         "20|4.2|24.2|0\n"
         "24.2|1|1|20270115\n"
         "1|Cobro Efectivo|Titular de caja|20270115|2|24.2|Fra.A0001/27|Pago Fra.\n"
         "20270116|1"},
        {{{{1, 12.5, 10}, {1, 3, 21}}, {{"Tarjeta", 17.38}}, 0, 2, 1},
         "1|Cliente O'Brien|Calle Mayor "
         "1|Huesca|12345678Z|1|2|2|A0002/27|20270115|10|12.5|1.25|21|3|"
         "0.63|15.5|1.88|17.38|0\n"
         "17.38|2|1|20270115\n"
         "2|Cobro Tarjeta|Titular de caja|20270115|1|17.38|Fra.A0002/27|Pago Fra.\n"
         "20270116|2"},
        {{{{1, 100, 21}}, {{"Efectivo", 21}, {"", 0}, {"Tarjeta", 100}}, 0, 1, 1},
         "1|Cliente O'Brien|Calle Mayor 1|Huesca|12345678Z|1|2|1|A0003/27|20270115|21|100|21|0|0|0|"
         "100|21|121|0\n"
         "21|1|1|20270115\n100|2|1|20270115\n"
         "1|Cobro Efectivo|Titular de caja|20270115|1|21|Fra.A0003/27|Pago Fra.\n"
         "1|Cobro Tarjeta|Titular de caja|20270115|1|100|Fra.A0003/27|Pago Fra.\n"
         "20270116|1"},
        {{{{1, 50, 4}, {3, 1.5, 4}}, {{"Efectivo", 50.68}}, 2.5, 1, 1},
         "1|Cliente O'Brien|Calle Mayor "
         "1|Huesca|12345678Z|1|2|1|A0004/27|20270115|4|54.5|2.18|0|0|0|"
         "54.5|2.18|56.68|2.5\n"
         "50.68|1|1|20270115\n"
         "1|Cobro Efectivo|Titular de caja|20270115|1|50.68|Fra.A0004/27|Pago Fra.\n"
         "20270116|2"},
    };
    for (const auto& [caso, esperado] : casos) {
        const qint32 client = NewClient();
        for (const Linea& l : caso.lineas)
            AddItem(client, l.units, l.price, l.rate);
        const qint32 id = *EmitirFactura(Solicitud(client, caso));
        EXPECT_EQ(Stored(id), esperado);
        EXPECT_EQ(Count("FacturasItems", PendingItems(client).Condition()), 0);
        EXPECT_EQ(Count("RegistrosFacturacion", "nIdFactura=" + QString::number(id)), 1);
    }
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

TEST_F(EmitirFacturaTest, ARefusalDrawsNoNumberAndAFailureKeepsOnlyTheNumberDrawn) {
    Gi.nFechaTrabajo = Fecha;
    const int invoices = Count("Facturas"), payments = Count("FacturasCobros"),
              entries = Count("ApuntesCaja");
    const Caso pagado{{}, {{"Efectivo", 12.10}}, 0, 1, 1};

    const qint32 nada = NewClient("Sin nada pendiente");
    const qint32 cuatro = NewClient("Cuatro tipos");
    for (const double rate : {0, 4, 10, 21})
        AddItem(cuatro, 1, 10, rate);
    QStringList refusals;
    AddItem(0, 1, 10, 21); // an item that belongs to nobody
    for (const qint32 client : {nada, qint32(0), cuatro})
        refusals << Refusal(EmitirFactura(Solicitud(client, pagado)));
    EXPECT_EQ(refusals.join('\n').toStdString(),
              "No hay ítems para facturar.\n"
              "Debe definir cliente previamente\n"
              "Las líneas pendientes tienen 4 tipos de IVA (0 %, 4 %, 10 % y 21 %) y una factura "
              "admite como mucho tres. Facture aparte las líneas de uno de ellos.");
    EXPECT_EQ(NextInvoiceNumber(), 1);

    const qint32 client = NewClient();
    AddItem(client, 1, 10, 21);
    Db().Execute("DROP TABLE MascotasProdServ");
    QString procedure;
    try {
        ADD_FAILURE() << Refusal(EmitirFactura(Solicitud(client, pagado))).toStdString();
    } catch (const FalloEmision& e) {
        procedure = e.Procedimiento();
    }
    EXPECT_EQ(procedure, "Facturacion::Actualizar_MascotasProdServ");
    EXPECT_FALSE(Db().InTransaction());
    EXPECT_EQ(Count("Facturas"), invoices);
    EXPECT_EQ(Count("FacturasCobros"), payments);
    EXPECT_EQ(Count("ApuntesCaja"), entries);
    EXPECT_EQ(Count("FacturasItems", PendingItems(client).Condition()), 1);
    EXPECT_EQ(NextInvoiceNumber(), 2);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

// A caller without a window tells a sale to correct from a list to read again by the step.
TEST_F(EmitirFacturaTest, ARefusalNamesItsStep) {
    Gi.nFechaTrabajo = Fecha;
    const struct {
        double precio; // 0: nothing pending
        const char* dni;
        bool otroPuesto; // another desk adds a line once the request holds the desk's lines
        PasoEmision paso;
        const char* inicio;
    } casos[] = {
        {0, "12345678Z", false, PasoEmision::Pendientes, "No hay ítems para facturar."},
        {10, "12345678Z", true, PasoEmision::Pendientes,
         "Los ítems pendientes del cliente han cambiado en otro puesto"},
        {500, "", false, PasoEmision::Documento, "El importe (605,00 €) supera el límite"},
    };
    for (const auto& c : casos) {
        const qint32 client = NewClient();
        if (c.precio != 0)
            AddItem(client, 1, c.precio, 21);
        SolicitudFactura s = Solicitud(client, {{}, {{"Efectivo", c.precio * 1.21}}, 0, 1, 1});
        s.cobro.sDni = c.dni;
        if (c.otroPuesto)
            AddItem(client, 1, 1, 21);
        const int pendientes = Count("FacturasItems", PendingItems(client).Condition());
        const Resultado<qint32, PasoEmision> r = EmitirFactura(s);
        ASSERT_FALSE(r.Hecho()) << c.inicio;
        EXPECT_EQ(r.Rechazado().paso, c.paso) << c.inicio;
        EXPECT_TRUE(r.Rechazado().mensaje.startsWith(c.inicio))
            << r.Rechazado().mensaje.toStdString();
        EXPECT_EQ(Count("FacturasItems", PendingItems(client).Condition()), pendientes);
    }
}

// A generator issues many invoices in one transaction of its own: each call joins it.
TEST_F(EmitirFacturaTest, CallsJoinAnOpenTransaction) {
    Gi.nFechaTrabajo = Fecha;
    const int invoices = Count("Facturas");
    const Caso pagado{{}, {{"Efectivo", 12.10}}, 0, 1, 1};
    {
        TransactionGuard outer;
        for (int k = 0; k < 2; ++k) {
            const qint32 client = NewClient();
            AddItem(client, 1, 10, 21);
            EXPECT_TRUE(EmitirFactura(Solicitud(client, pagado)).Hecho());
        }
        EXPECT_TRUE(Db().InTransaction());
    }
    EXPECT_EQ(Count("Facturas"), invoices) << "the outer transaction was never committed";
}

} // namespace
