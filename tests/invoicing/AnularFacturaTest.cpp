// Cancelling an invoice issued in error: everything it did undone as a whole rectification
// undoes it, the document kept, and what may not be cancelled refused with nothing written.
#include "InvoicingFixture.h"
#include "invoicing/core/PendingItems.h"

#include "billing/GenerarFactura.h"
#include "invoicing/AnularFactura.h"
#include "invoicing/EmitirAbono.h"
#include "register/RegistroFacturacion.h"

namespace {

class AnularFacturaTest : public InvoicingTest {
protected:
    qint32 client = 0;

    void SetUp() override {
        InvoicingTest::SetUp();
        client = NewClient();
    }

    // A vaccine (stocked, with its vaccination) and 2,5 consultations, paid in part.
    qint32 Issue() {
        w.client = QString::number(client);
        w.clientName = "Cliente de prueba";
        w.Accept({{"Efectivo", 40}, {"Tarjeta", 15}});
        Generar_Factura(w);
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    void AddLines() const {
        AddItem(client, 1, 25, 10, Product("VAC01"));
        AddItem(client, 2.5, 10, 21, Product("CONS01"));
    }
    SolicitudAnulacion Request(qint32 invoice, const QString& motivo = "Emitida dos veces") const {
        return {invoice, motivo, client, "Cliente de prueba", Gi.nFechaTrabajo, 20261207, 1};
    }
    // Every table the cancellation may touch, read whole (ids left out where rows are written
    // anew); what a client paid and a box holds, summed.
    QString Tables() const {
        QStringList tables;
        for (const QString& sql :
             {"SELECT nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nPorcIpto,nBaseImp,"
              "nImpuestos,nTotal FROM FacturasItems WHERE " +
                  PendingItems(client).Condition() + " ORDER BY nIdProductoServicio",
              QString("SELECT nIdProductoServicio,nStockActual FROM ProductosServicios ORDER BY 1"),
              QString("SELECT nIdCliente,nFacturado,nPagado,nSaldo FROM Clientes ORDER BY 1"),
              QString("SELECT * FROM MascotasProdServ ORDER BY 1"),
              QString("SELECT * FROM Vacunaciones ORDER BY 1"),
              QString("SELECT nIdCliente,ROUND(CAST(SUM(nImporte) AS NUMERIC),2) FROM "
                      "FacturasCobros GROUP BY nIdCliente HAVING "
                      "ROUND(CAST(SUM(nImporte) AS NUMERIC),2)<>0 ORDER BY 1"),
              QString("SELECT nIdCaja,ROUND(CAST(SUM(nImporte) AS NUMERIC),2) FROM ApuntesCaja "
                      "GROUP BY nIdCaja ORDER BY 1")})
            tables << Table(sql);
        return tables.join("\n--\n");
    }
};

TEST_F(AnularFacturaTest, EverythingTheInvoiceDidIsUndoneAndTheDocumentKept) {
    AddLines();
    const QString before = Tables();
    const qint32 invoice = Issue();
    const QString id = QString::number(invoice);
    const QString document = Table("SELECT * FROM Facturas WHERE nIdFactura=" + id) +
                             Table("SELECT * FROM FacturasItems WHERE nIdFactura=" + id);
    ASSERT_EQ(Count("Vacunaciones", "nIdFactura=" + id), 1);

    const FacturaAnulada r = *AnularFactura(Request(invoice));
    EXPECT_TRUE(r.avisos.isEmpty()) << r.avisos.join('\n').toStdString();
    EXPECT_EQ(Tables().toStdString(), before.toStdString());
    // The money given back by entries of its own, booked to the invoice.
    EXPECT_EQ(Table("SELECT c.nImporte,c.sObservaciones,a.sReferencia,a.nImporte,a.sObservaciones "
                    "FROM FacturasCobros c JOIN ApuntesCaja a ON a.nIdFactura=c.nIdFactura AND "
                    "a.nImporte=c.nImporte WHERE c.nImporte<0 AND c.nIdFactura=" +
                    id + " ORDER BY c.nIdFacturaCobro"),
              QString("-40|Anulación|Anulación|-40|Fra.Anulada:%1\n"
                      "-15|Anulación|Anulación|-15|Fra.Anulada:%1")
                  .arg(r.sFactura));
    // The document is kept as issued, marked with the reason, and the register says so.
    EXPECT_EQ(Table("SELECT * FROM Facturas WHERE nIdFactura=" + id) +
                  Table("SELECT * FROM FacturasItems WHERE nIdFactura=" + id),
              document);
    EXPECT_EQ(Table("SELECT nIdFactura,sMotivo,dAnulacion,nIdUsuario FROM FacturasAnuladas "
                    "WHERE nIdFactura=" +
                    id),
              id + "|Emitida dos veces|20261207|1");
    EXPECT_EQ(Table("SELECT nIdFactura,sNumSerie,sTipoRegistro,sTipoFactura,sImporteTotal FROM "
                    "RegistrosFacturacion ORDER BY nIdRegistro DESC LIMIT 2"),
              QString("%1|%2|Anulacion||\n%1|%2|Alta|F1|57.75").arg(id, r.sFactura));
    EXPECT_EQ(RegistroFacturacion::Verificar().message, "register: 26 records, chain intact");
    EXPECT_EQ(RegistroFacturacion::DeFactura(invoice)->sTipoRegistro, "Alta")
        << "the printed code reads the record that issued it";
}

TEST_F(AnularFacturaTest, WhatMayNotBeCancelledIsRefusedWithNothingWritten) {
    const auto issued = [&] {
        AddLines();
        const qint32 invoice = Issue();
        return std::pair(invoice, Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" +
                                        QString::number(invoice))
                                      .toString());
    };
    const auto [cancelled, nCancelled] = issued();
    ASSERT_TRUE(AnularFactura(Request(cancelled)).Hecho());
    const auto [rectified, nRectified] = issued();
    SolicitudAbono part;
    part.nIdFactura = rectified;
    part.lineas = {{LineasAbonables(rectified)[0].nIdFacturaItem, 1}};
    part.dAbono = part.nFechaTrabajo = Gi.nFechaTrabajo;
    const AbonoEmitido creditNote = *EmitirAbono(part);
    const auto [open, nOpen] = issued();

    const struct {
        qint32 invoice;
        QString motivo;
        qint32 cliente;
        PasoAnulacion paso;
        QString says;
    } cases[] = {
        // The window's client: 0 takes the invoice's.
        {cancelled, "Otra vez", 0, PasoAnulacion::Factura,
         "La factura " + nCancelled + " ya está anulada."},
        {rectified, "Cliente equivocado", 0, PasoAnulacion::Factura,
         "La factura " + nRectified +
             " tiene facturas rectificativas: ya no se puede anular. Lo que quede por devolver se "
             "rectifica."},
        {creditNote.nIdAbono, "Duplicada", 0, PasoAnulacion::Factura,
         "La factura " + creditNote.sFactura + " es una factura rectificativa: no se anula."},
        {open, "  ", 0, PasoAnulacion::Motivo,
         "Escriba por qué se anula la factura: no se ha anulado."},
        {open, "Cliente equivocado", 1, PasoAnulacion::Cliente,
         "La factura elegida no es del cliente de la ventana: no se ha anulado."},
    };
    const auto state = [&] {
        return Tables() + Table("SELECT COUNT(*) FROM FacturasAnuladas") +
               Table("SELECT COUNT(*) FROM RegistrosFacturacion");
    };
    for (const auto& c : cases) {
        const QString before = state();
        const Resultado<FacturaAnulada, PasoAnulacion> r =
            AnularFactura({c.invoice, c.motivo, c.cliente, "", Gi.nFechaTrabajo, 20261207, 1});
        ASSERT_FALSE(r.Hecho()) << c.says.toStdString() << ": cancelled";
        EXPECT_EQ(r.Rechazado().paso, c.paso) << c.says.toStdString();
        EXPECT_EQ(r.Rechazado().mensaje, c.says);
        EXPECT_EQ(state(), before) << c.says.toStdString();
    }
    EXPECT_EQ(MotivoNoAbonable(cancelled),
              "La factura " + nCancelled + " está anulada: no se puede rectificar.");
}

} // namespace
