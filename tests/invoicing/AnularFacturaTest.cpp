// Cancelling an invoice issued in error: everything it did undone as a whole rectification
// undoes it, the document kept, and what may not be cancelled refused with nothing written.
#include "InvoicingFixture.h"

#include "invoicing/AnularFactura.h"
#include "invoicing/EmitirAbono.h"
#include "invoicing/GenerarAbono.h"
#include "invoicing/GenerarFactura.h"
#include "register/RegistroFacturacion.h"

namespace {

class AnularFacturaTest : public InvoicingTest {
protected:
    qint32 client = 0;

    // A vaccine (stocked, with its vaccination) and a consultation, paid in cash and by card.
    qint32 IssueInvoice() {
        client = NewClient();
        AddItem(client, 1, 25, 10, Product("VAC01"));
        AddItem(client, 2.5, 10, 21, Product("CONS01"));
        w.client = QString::number(client);
        w.clientName = "Cliente de prueba";
        w.Accept({{"Efectivo", 40}, {"Tarjeta", 15}});
        Generar_Factura(w);
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    SolicitudAnulacion Request(qint32 invoice, const QString& motivo = "Emitida dos veces") const {
        SolicitudAnulacion s;
        s.nIdFactura = invoice;
        s.sMotivo = motivo;
        s.nIdCliente = client;
        s.sTitular = "Cliente de prueba";
        s.nFechaTrabajo = Gi.nFechaTrabajo;
        s.dAnulacion = 20261207;
        s.nIdUsuario = 1;
        return s;
    }
    // What the cancellation may touch, each table read whole (ids left out where a row is
    // written anew): the client's pending lines, stock, balances, pet history, vaccinations,
    // and what each client paid and each box holds.
    QStringList Tables() const {
        const QStringList queries = {
            "SELECT nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nPorcIpto,nBaseImp,"
            "nImpuestos,nTotal FROM FacturasItems WHERE " +
                CondicionPendientes(client) + " ORDER BY nIdProductoServicio",
            "SELECT nIdProductoServicio,nStockActual FROM ProductosServicios ORDER BY 1",
            "SELECT nIdCliente,nFacturado,nPagado,nSaldo FROM Clientes ORDER BY 1",
            "SELECT * FROM MascotasProdServ ORDER BY 1",
            "SELECT * FROM Vacunaciones ORDER BY 1",
            "SELECT nIdCliente,ROUND(CAST(SUM(nImporte) AS NUMERIC),2) FROM FacturasCobros GROUP "
            "BY nIdCliente HAVING ROUND(CAST(SUM(nImporte) AS NUMERIC),2)<>0 ORDER BY 1",
            "SELECT nIdCaja,ROUND(CAST(SUM(nImporte) AS NUMERIC),2) FROM ApuntesCaja GROUP BY "
            "nIdCaja ORDER BY 1",
        };
        QStringList tables;
        for (const QString& sql : queries)
            tables << Table(sql);
        return tables;
    }
    // Every row count the cancellation could change.
    static QString Counts() {
        QStringList counts;
        for (const char* table :
             {"Facturas", "FacturasItems", "FacturasCobros", "ApuntesCaja", "FacturasAnuladas",
              "RegistrosFacturacion", "Vacunaciones", "MascotasProdServ", "Abonos"})
            counts << QString::number(Count(table));
        return counts.join(',');
    }
};

TEST_F(AnularFacturaTest, EverythingTheInvoiceDidIsUndoneAndTheDocumentKept) {
    client = NewClient();
    AddItem(client, 1, 25, 10, Product("VAC01"));
    AddItem(client, 2.5, 10, 21, Product("CONS01"));
    const QStringList before = Tables();
    w.client = QString::number(client);
    w.clientName = "Cliente de prueba";
    w.Accept({{"Efectivo", 40}, {"Tarjeta", 15}});
    Generar_Factura(w);
    const qint32 invoice = Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    const QString id = QString::number(invoice);
    const QString header = Table("SELECT * FROM Facturas WHERE nIdFactura=" + id);
    const QString lines = Table("SELECT * FROM FacturasItems WHERE nIdFactura=" + id);
    ASSERT_EQ(Count("Vacunaciones", "nIdFactura=" + id), 1);
    ASSERT_NE(Tables(), before);

    const ResultadoAnulacion r = AnularFactura(Request(invoice));
    EXPECT_EQ(r.sFactura, Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + id));
    EXPECT_TRUE(r.avisos.isEmpty()) << r.avisos.join('\n').toStdString();

    // Every table as before the invoice; the money it took given back to the cent, in each
    // box, by entries of its own.
    const QStringList after = Tables();
    for (int t = 0; t < before.size(); ++t)
        EXPECT_EQ(after[t], before[t]) << "table " << t;
    EXPECT_EQ(Table("SELECT nImporte,nIdTipoMovimiento,sObservaciones FROM FacturasCobros WHERE "
                    "nIdFactura=" +
                    id + " AND nImporte<0 ORDER BY nIdFacturaCobro"),
              "-40|1|Anulación\n-15|1|Anulación");
    EXPECT_EQ(Table("SELECT sReferencia,nImporte,sDocumento,sObservaciones FROM ApuntesCaja WHERE "
                    "nIdFactura=" +
                    id + " AND nIdTipoMovimiento=2 ORDER BY nIdApunteCaja"),
              QString("Anulación|-40|Fra.%1|Fra.Anulada:%1\nAnulación|-15|Fra.%1|Fra.Anulada:%1")
                  .arg(r.sFactura));

    // The document itself is kept as issued, marked with the reason, and the register says so.
    EXPECT_EQ(Table("SELECT * FROM Facturas WHERE nIdFactura=" + id), header);
    EXPECT_EQ(Table("SELECT * FROM FacturasItems WHERE nIdFactura=" + id), lines);
    EXPECT_EQ(Table("SELECT nIdFactura,sMotivo,dAnulacion,nIdUsuario FROM FacturasAnuladas"),
              id + "|Emitida dos veces|20261207|1");
    EXPECT_EQ(Table("SELECT nIdFactura,sNumSerie,sTipoRegistro,sTipoFactura,sImporteTotal FROM "
                    "RegistrosFacturacion ORDER BY nIdRegistro DESC LIMIT 2"),
              QString("%1|%2|Anulacion||\n%1|%2|Alta|F1|57.75").arg(id, r.sFactura));
    EXPECT_TRUE(RegistroFacturacion::Verificar().intact)
        << RegistroFacturacion::Verificar().message.toStdString();
    EXPECT_EQ(RegistroFacturacion::DeFactura(invoice)->sTipoRegistro, "Alta")
        << "the printed code reads the record that issued it";
}

TEST_F(AnularFacturaTest, WhatMayNotBeCancelledIsRefusedWithNothingWritten) {
    const qint32 cancelled = IssueInvoice();
    AnularFactura(Request(cancelled));
    const qint32 rectified = IssueInvoice();
    const std::vector<LineaAbonable> lines = LineasAbonables(rectified);
    SolicitudAbono part;
    part.nIdFactura = rectified;
    part.lineas = {{lines[0].nIdFacturaItem, 1}};
    part.nFechaTrabajo = Gi.nFechaTrabajo;
    part.dAbono = Gi.nFechaTrabajo;
    EmitirAbono(part);
    const qint32 creditNote = Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    const qint32 open = IssueInvoice();
    const auto number = [](qint32 invoice) {
        return Value("SELECT sFactura FROM Facturas WHERE nIdFactura=" + QString::number(invoice))
            .toString();
    };

    const struct {
        qint32 invoice;
        QString motivo;
        qint32 cliente; // -1: the invoice's own
        QString says;
    } cases[] = {
        {cancelled, "Otra vez", -1, "La factura " + number(cancelled) + " ya está anulada."},
        {rectified, "Cliente equivocado", -1,
         "La factura " + number(rectified) +
             " tiene notas de crédito: ya no se puede anular. Lo que quede por devolver se "
             "rectifica."},
        {creditNote, "Duplicada", -1,
         "La factura " + number(creditNote) + " es una nota de crédito: no se anula."},
        {open, "  ", -1, "Escriba por qué se anula la factura: no se ha anulado."},
        {open, "Cliente equivocado", 1,
         "La factura elegida no es del cliente de la ventana: no se ha anulado."},
        {0, "Duplicada", -1, "La factura ya no existe: otro puesto la ha borrado."},
    };
    for (const auto& c : cases) {
        const QString counts = Counts();
        SolicitudAnulacion s = Request(c.invoice, c.motivo);
        if (c.cliente >= 0)
            s.nIdCliente = c.cliente;
        try {
            AnularFactura(s);
            ADD_FAILURE() << c.says.toStdString() << ": cancelled";
        } catch (const AnulacionRechazada& e) {
            EXPECT_EQ(e.Description(), c.says);
        }
        EXPECT_EQ(Counts(), counts) << c.says.toStdString();
    }

    // Nor is a cancelled invoice rectified.
    EXPECT_EQ(MotivoNoAbonable(cancelled),
              "La factura " + number(cancelled) + " está anulada: no se puede rectificar.");
}

} // namespace
