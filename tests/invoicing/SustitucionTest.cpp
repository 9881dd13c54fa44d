// A complete invoice replacing simplified ones: nothing the sale did moves again, the simplified
// invoices are marked, and what may not be replaced is refused with nothing written.
#include "InvoicingFixture.h"
#include "support/AeatSchema.h"

#include "books/LibroFacturas.h"
#include "invoicing/AnularFactura.h"
#include "invoicing/EmitirAbono.h"
#include "invoicing/SustituirSimplificadas.h"
#include "register/ExportacionAeat.h"
#include "register/RegistroFacturacion.h"

#include <QFile>

namespace {

constexpr qint32 Fecha = 20270115;

class SustitucionTest : public InvoicingTest {
protected:
    qint32 client = 0;

    void SetUp() override {
        InvoicingTest::SetUp();
        Gi.nFechaTrabajo = Fecha;
        client = NewClient();
    }

    // A walk-in sale of the client, paid in cash: a simplified invoice.
    qint32 Simplificada(qint32 cliente, double units, double price, double rate,
                        qint32 product = 0) {
        AddItem(cliente, units, price, rate, product);
        const double total = Utility::RoundHalfAway(price * (1 + rate / 100) * units, 2);
        SolicitudFactura s = SolicitudCobrada(cliente, "Mostrador", "", 1, 1, Fecha, Fecha,
                                              {{"Efectivo", total}}, 0);
        s.cobro.sDni.clear();
        return *EmitirFactura(s);
    }
    SolicitudSustitucion Request(QList<qint32> facturas, const QString& dni = "12345678Z") const {
        return {client, facturas, {"Cliente de prueba", dni, "", "", "Calle Mayor 1"}, 1, 1, Fecha};
    }
    // What the sale did and what replacing may not touch, every table read whole.
    static QString Movido() {
        QStringList tables;
        for (const char* table : {"FacturasCobros", "ApuntesCaja", "MascotasProdServ",
                                  "Vacunaciones", "Clientes", "ProductosServicios"})
            tables << Table(QString("SELECT * FROM ") + table + " ORDER BY 1");
        return tables.join("\n--\n");
    }
    static QString Documents() {
        return Table("SELECT COUNT(*) FROM Facturas") +
               Table("SELECT COUNT(*) FROM FacturasItems") +
               Table("SELECT * FROM FacturasSustituidas") +
               Table("SELECT COUNT(*) FROM RegistrosFacturacion") +
               Table("SELECT * FROM Contadores ORDER BY 1");
    }
};

TEST_F(SustitucionTest, TheCompleteInvoiceTakesOverTheSimplifiedOnesAndNoMoneyMovesTwice) {
    const qint32 a = Simplificada(client, 1, 25, 10, Product("VAC01"));
    const qint32 b = Simplificada(client, 2.5, 10, 21);
    const QString before = Movido();

    const FacturaSustituta r = *SustituirSimplificadas(Request({b, a}));
    EXPECT_EQ(Movido().toStdString(), before.toStdString());
    const QString id = QString::number(r.nIdFactura);
    EXPECT_EQ(Table("SELECT sFactura,sTipoFactura,sCliente,sDni,nBi_Total,nIm_Total,nTotal,"
                    "nDescuento,sFacturasSustituidas FROM Facturas WHERE nIdFactura=" +
                    id),
              "A0001/27|F3|Cliente de prueba|12345678Z|50|7.75|57.75|0|TA0001/27, TA0002/27");
    EXPECT_EQ(Table("SELECT nUnidades,nPvp,nPorcIpto,nTotal FROM FacturasItems WHERE nIdFactura=" +
                    id + " ORDER BY nIdFacturaItem"),
              "1|25|10|27.5\n2.5|10|21|30.25");
    EXPECT_EQ(Table("SELECT nPorcIpto,nBaseImponible,nCuota FROM FacturasDesglose WHERE "
                    "nIdFactura=" +
                    id + " ORDER BY 1"),
              "10|25|2.5\n21|25|5.25");
    EXPECT_EQ(Table("SELECT nIdFactura,nIdFacturaSimplificada FROM FacturasSustituidas WHERE "
                    "nIdFactura=" +
                    id + " ORDER BY 2"),
              QString("%1|%2\n%1|%3").arg(id).arg(a).arg(b));
    EXPECT_EQ(Table("SELECT sTipoFactura,sImporteTotal FROM RegistrosFacturacion WHERE "
                    "nIdFactura=" +
                    id),
              "F3|57.75");
    EXPECT_TRUE(RegistroFacturacion::Verificar().intact);

    // The agency's record names both simplified invoices and the recipient, and validates.
    const QString file = suite.Root() + "/aeat.xml";
    ExportacionAeat::Exportar(file, "1");
    QFile xml(file);
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(xml.readAll());
    // Its own record, among those of the demo's documents.
    const qsizetype own = text.indexOf("<sf:NumSerieFactura>" + r.sFactura + "<");
    const qsizetype start = text.lastIndexOf("<sf:RegistroAlta", own);
    const QString alta = text.mid(start, text.indexOf("</sf:RegistroAlta>", own) - start);
    EXPECT_EQ(alta.count("<sf:IDFacturaSustituida>"), 2);
    for (const char* named : {"<sf:NumSerieFactura>TA0001/27<", "<sf:NumSerieFactura>TA0002/27<",
                              "<sf:TipoFactura>F3<", "<sf:NIF>12345678Z<"})
        EXPECT_TRUE(alta.contains(named)) << named;
    ExpectValidAeat({file});

    // The books count the sale once, as the complete invoice.
    QStringList libro;
    for (const LibroFacturas::Linea& l : LibroFacturas::Leer(Fecha, Fecha, 1).lineas)
        libro << l.sSerie + l.sNumero + " " + l.sTipo + " " + l.nTotal.Text();
    EXPECT_EQ(libro.join(", "), "A0001/27 F3 57.75, A0001/27 F3 57.75");

    // The complete invoice is rectified as any other; the simplified ones no longer.
    SolicitudAbono abono;
    abono.nIdFactura = r.nIdFactura;
    abono.dAbono = abono.nFechaTrabajo = Fecha;
    const AbonoEmitido rectificada = *EmitirAbono(abono);
    EXPECT_EQ(Table("SELECT sTipoFactura,sFacturaAbonada,sFacturasSustituidas FROM Facturas WHERE "
                    "nIdFactura=" +
                    QString::number(rectificada.nIdAbono)),
              "|A0001/27|");
    EXPECT_TRUE(RegistroFacturacion::Verificar().intact);
}

TEST_F(SustitucionTest, WhatMayNotBeReplacedIsRefusedWithNothingWritten) {
    const qint32 other = NewClient("Otro cliente");
    const qint32 ajena = Simplificada(other, 1, 10, 21);
    const qint32 anulada = Simplificada(client, 1, 10, 21);
    ASSERT_TRUE(AnularFactura({anulada, "Emitida dos veces", client, "", Fecha, Fecha, 1}).Hecho());
    const qint32 rectificada = Simplificada(client, 2, 10, 21);
    SolicitudAbono parte;
    parte.nIdFactura = rectificada;
    parte.lineas = {{LineasAbonables(rectificada)[0].nIdFacturaItem, 1}};
    parte.dAbono = parte.nFechaTrabajo = Fecha;
    ASSERT_TRUE(EmitirAbono(parte).Hecho());
    const qint32 sustituida = Simplificada(client, 1, 5, 21);
    ASSERT_TRUE(SustituirSimplificadas(Request({sustituida})).Hecho());
    const qint32 libre = Simplificada(client, 1, 8, 21);
    const QString completa = "A0001/27";

    const struct {
        SolicitudSustitucion request;
        PasoSustitucion paso;
        QString says;
    } cases[] = {
        {Request({libre, ajena}), PasoSustitucion::Cliente,
         "La factura TA0001/27 no es de este cliente: no se ha sustituido "
         "nada."},
        {Request({libre, anulada}), PasoSustitucion::Facturas,
         "La factura TA0002/27 está anulada: no se puede sustituir."},
        {Request({rectificada}), PasoSustitucion::Facturas,
         "La factura TA0003/27 tiene rectificaciones: ya no se puede "
         "sustituir por una factura completa."},
        {Request({sustituida, libre}), PasoSustitucion::Facturas,
         "La factura TA0004/27 está sustituida por la factura completa " + completa +
             ": ya no se rectifica, anula ni sustituye. Lo que haya que corregir se rectifica en "
             "la " +
             completa + "."},
        {Request({libre}, ""), PasoSustitucion::Destinatario,
         "La factura completa debe identificar al cliente: escriba su NIF, "
         "o el país, el tipo y el número de su documento extranjero."},
        {Request({libre}, "G50123456"), PasoSustitucion::Destinatario,
         "El D.N.I./NIF «G50123456» del cliente no es válido: el carácter de control no es "
         "correcto (debería ser 4). Corríjalo o déjelo vacío para una factura simplificada."},
        {Request({}), PasoSustitucion::Facturas,
         "Elija las facturas simplificadas que sustituye la factura completa."},
    };
    for (const auto& c : cases) {
        const QString before = Movido() + Documents();
        const Resultado<FacturaSustituta, PasoSustitucion> r = SustituirSimplificadas(c.request);
        ASSERT_FALSE(r.Hecho()) << c.says.toStdString() << ": replaced";
        EXPECT_EQ(r.Rechazado().paso, c.paso) << c.says.toStdString();
        EXPECT_EQ(r.Rechazado().mensaje.toStdString(), c.says.toStdString());
        EXPECT_EQ(Movido() + Documents(), before) << c.says.toStdString();
    }
    const QString ya = cases[3].says;
    EXPECT_EQ(MotivoNoAnulable(sustituida), ya);
    EXPECT_EQ(MotivoNoAbonable(sustituida), ya);
}

} // namespace
