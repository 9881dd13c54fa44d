// A walk-in customer served at the counter: a simplified invoice of the branch's series booked to
// the branch's counter customer, whose balance, like everybody else's, never moves.
#include "InvoicingFixture.h"

#include "invoicing/EmitirAbono.h"
#include "invoicing/Mostrador.h"
#include "invoicing/SustituirSimplificadas.h"

namespace {

using CounterSaleTest = InvoicingTest;

constexpr qint32 Fecha = 20270115;

// Every row of the tables a sale writes, so that a refused one is seen to leave all of them.
QString EveryTable() {
    QStringList all;
    for (const char* table : {"Facturas", "FacturasItems", "FacturasCobros", "FacturasDesglose",
                              "ApuntesCaja", "Clientes", "Contadores", "MascotasProdServ",
                              "Vacunaciones", "ProductosServicios", "RegistrosFacturacion"})
        all << QString(table) + ":\n" +
                   RowText(Db().GetRows(QString("SELECT * FROM ") + table + " ORDER BY 1"));
    return all.join('\n');
}

// The balances of every client, the counter customers included.
QString Balances() {
    return RowText(
        Db().GetRows("SELECT nIdCliente,nFacturado,nPagado,nSaldo FROM Clientes ORDER BY 1"));
}

TEST_F(CounterSaleTest, ACounterSaleIsASimplifiedInvoiceThatMovesNobodysBalance) {
    const qint32 counter = Mostrador::Cliente(1);
    const QString id = QString::number(counter);
    // Created once per branch, and never offered where a client is picked by name.
    EXPECT_EQ(Mostrador::Cliente(1), counter);
    EXPECT_NE(Mostrador::Cliente(2), counter);
    EXPECT_EQ(Table("SELECT sCliente,sDni,sDomicilio,nIdSucursal,bMostrador FROM Clientes WHERE "
                    "nIdCliente=" +
                    id),
              "Venta de mostrador|||1|1");

    const QString limite = "El importe (411,40 €) supera el límite de la factura simplificada "
                           "(400,00 €): escriba el NIF del cliente en el campo D.N.I. para emitir "
                           "una factura completa. ";
    const QString sinNif = "Una venta de mostrador no lleva NIF: para una factura a nombre del "
                           "cliente, elija su ficha en Cliente (o créela) y facture allí.";
    const struct {
        const char* code;
        double units;
        qint32 pet;
        const char* dni;
        QString issued; // the invoice, its payment, its cash-box entry and its record
        QString refused;
    } cases[] = {
        {"PIEN10", 2, 0, "",
         "TA0001/27|F2||" + id + "|Venta de mostrador|24.2\n" + id +
             "|24.2\nVenta de mostrador|24.2|Fra.TA0001/27\nF2",
         ""},
        {"PIEN10", 34, 0, "", "", limite + sinNif},
        {"PIEN10", 1, 0, "12345678Z", "", sinNif},
        {"PEL01", 1, 0, "", "",
         "«Baño y corte de pelo» es para una mascota: en una venta de mostrador solo se venden "
         "productos, sin mascota. Para venderlo, elija la mascota y su cliente."},
        {"VAC01", 1, 0, "", "",
         "«Vacuna antirrábica» es para una mascota: en una venta de mostrador solo se venden "
         "productos, sin mascota. Para venderlo, elija la mascota y su cliente."},
        {"PIEN10", 1, 1, "", "",
         "Una venta de mostrador no es para ninguna mascota: la línea de «Pienso adulto 3 kg» "
         "lleva una. Bórrela y apúntela a su cliente."},
    };
    Gi.nFechaTrabajo = Fecha;
    const QString balances = Balances();
    for (const auto& c : cases) {
        const qint32 item = AddItem(counter, c.units, 10, 21, Product(c.code));
        Db().Execute("UPDATE FacturasItems SET nIdMascota=" + QString::number(c.pet) +
                     " WHERE nIdFacturaItem=" + QString::number(item));
        const double total = Number("SELECT nTotal FROM FacturasItems WHERE nIdFacturaItem=" +
                                    QString::number(item));
        SolicitudFactura s = SolicitudCobrada(counter, "Venta de mostrador", "Venta de mostrador",
                                              1, 1, Fecha, Fecha, {{"Efectivo", total}}, 0);
        s.cobro.sDni = c.dni;
        s.cobro.sDomicilio.clear();
        const QString before = EveryTable();
        QString issued;
        const Resultado<qint32, PasoEmision> r = EmitirFactura(s);
        const QString refused = Refusal(r);
        if (r.Hecho()) {
            const QString f = QString::number(*r);
            issued = Table("SELECT sFactura,sTipoFactura,sDni,nIdCliente,sCliente,nTotal FROM "
                           "Facturas WHERE nIdFactura=" +
                           f) +
                     "\n" +
                     Table("SELECT nIdCliente,nImporte FROM FacturasCobros WHERE nIdFactura=" + f) +
                     "\n" +
                     Table("SELECT sTitular,nImporte,sDocumento FROM ApuntesCaja WHERE "
                           "nIdFactura=" +
                           f) +
                     "\n" +
                     Table("SELECT sTipoFactura FROM RegistrosFacturacion WHERE nIdFactura=" + f);
            EXPECT_EQ(Count("MascotasProdServ", "nIdFactura=" + f), 0);
        } else {
            EXPECT_EQ(EveryTable().toStdString(), before.toStdString()) << c.code;
            Db().Execute("DELETE FROM FacturasItems WHERE nIdFacturaItem=" + QString::number(item));
        }
        EXPECT_EQ(issued.toStdString(), c.issued.toStdString()) << c.code << " " << c.units;
        EXPECT_EQ(refused.toStdString(), c.refused.toStdString()) << c.code << " " << c.units;
        EXPECT_EQ(Balances().toStdString(), balances.toStdString()) << c.code << " " << c.units;
    }

    // Rectified whole, the simplified invoice gives an R5; replaced by a complete invoice for a
    // customer who now gives a NIF, an F3. Neither moves a balance either.
    const qint32 f2 = Value("SELECT nIdFactura FROM Facturas WHERE sFactura='TA0001/27'").toInt();
    SolicitudAbono abono;
    abono.nIdFactura = f2;
    abono.nFechaTrabajo = Fecha;
    abono.dAbono = Fecha;
    abono.nIdUsuario = 1;
    abono.bLineasPendientes = false;
    const qint32 r5 = EmitirAbono(abono)->nIdAbono;
    Db().Execute("UPDATE FacturasItems SET nIdMascota=0 WHERE nIdFacturaItem=" +
                 QString::number(AddItem(counter, 1, 10, 21, Product("PIEN10"))));
    SolicitudFactura otraVenta = SolicitudCobrada(counter, "Venta de mostrador", "", 1, 1, Fecha,
                                                  Fecha, {{"Efectivo", 12.1}}, 0);
    otraVenta.cobro.sDni.clear();
    const qint32 otra = *EmitirFactura(otraVenta);
    const qint32 f3 =
        SustituirSimplificadas(
            {counter, {otra}, {"Ana García", "12345678Z", "", "", "Calle Mayor 1"}, 1, 1, Fecha})
            ->nIdFactura;
    EXPECT_EQ(
        Table("SELECT sFactura,sTipoFactura,sDni,nIdCliente,nTotal-nDescuento FROM Facturas "
              "WHERE nIdFactura IN (" +
              QString::number(r5) + "," + QString::number(f3) + ") ORDER BY nIdFactura")
            .toStdString(),
        ("RA0001/27|R5||" + id + "|-24.2\nA0001/27|F3|12345678Z|" + id + "|12.1").toStdString());
    EXPECT_EQ(Balances().toStdString(), balances.toStdString());
}

} // namespace
