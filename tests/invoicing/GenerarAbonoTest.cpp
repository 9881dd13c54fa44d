// Credit notes with the window answered by the test: what a credit note copies, negates,
// reverses and deletes; what it refuses; and what a failure leaves.
#include "InvoicingFixture.h"
#include "support/TestEngine.h"

#include "invoicing/GenerarAbono.h"
#include "invoicing/GenerarFactura.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "session/Gi.h"

#include <QDate>

namespace {

class GenerarAbonoTest : public InvoicingTest {
protected:
    // An invoice issued today for a client of our own: a vaccine (a stocked product) and a
    // consultation, paid by cash and card.
    qint32 IssueInvoice(qint32 client, double paid = 40) {
        auto product = [](const QString& code) {
            return Value("SELECT nIdProductoServicio FROM ProductosServicios WHERE sCodigo='" +
                         code + "'")
                .toInt();
        };
        AddItem(client, 1, 25, 10, product("VAC01"));
        AddItem(client, 1, 25, 21, product("CONS01"));
        w.client = QString::number(client);
        w.clientName =
            Value("SELECT sCliente FROM Clientes WHERE nIdCliente=" + w.client).toString();
        w.Accept({{"Efectivo", paid}, {"Tarjeta", paid == 0 ? 0 : 17.75}});
        Generar_Factura(w);
        w.printed.clear();
        return Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    }
    static QString Year() {
        return QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
    }
    double Stock(const QString& code) {
        return Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='" + code + "'");
    }
};

TEST_F(GenerarAbonoTest, ACreditNoteCancelsTheInvoiceAndReopensItsItems) {
    const qint32 client = NewClient("Seán O'Brien Jr.");
    Gi.nFechaTrabajo = 20261120;
    const qint32 invoice = IssueInvoice(client);
    const double vaccines = Stock("VAC01");
    ASSERT_EQ(Count("Vacunaciones", "nIdFactura=" + QString::number(invoice)), 1);
    ASSERT_EQ(Count("MascotasProdServ", "nIdFactura=" + QString::number(invoice)), 2);
    Gi.nFechaTrabajo = 20261201;
    w.formato = 3;
    Generar_Abono(w, invoice);

    const Rows abono = Query("SELECT nIdFactura,nIdSucursal,nIdCliente,nIdUsuario,nIdEmpleado,"
                             "nIdCaja,sFactura,sCliente,dFactura,nPo_1,nBi_Total,nTotal,"
                             "sFacturaAbonada,dFacturaAbonada,nExento FROM Facturas WHERE "
                             "sFacturaAbonada<>'' ORDER BY nIdFactura DESC LIMIT 1");
    ASSERT_EQ(abono.RowCount(), 1);
    const QString id = abono(0, 0).toString();
    EXPECT_EQ(abono(1, 0).toInt(), 1);
    EXPECT_EQ(abono(2, 0).toInt(), client);
    EXPECT_EQ(abono(3, 0).toInt(), 1);
    EXPECT_EQ(abono(5, 0).toInt(), 1);
    EXPECT_EQ(abono(6, 0).toString(), "0015/" + Year()) << "the next number of the series";
    EXPECT_EQ(abono(7, 0).toString(), "Seán O'Brien Jr.");
    EXPECT_EQ(abono(8, 0).toInt(), 20261120) << "the invoice's date is copied";
    EXPECT_EQ(U().SqlNumber(abono(9, 0)), -10);
    EXPECT_EQ(U().SqlNumber(abono(10, 0)), -50);
    EXPECT_EQ(U().SqlNumber(abono(11, 0)), -57.75);
    EXPECT_EQ(abono(12, 0).toString(), "0014/" + Year());
    EXPECT_EQ(abono(13, 0).toString(), U().Today(true)) << "issued today";
    EXPECT_EQ(U().SqlNumber(abono(14, 0)), 0);
    EXPECT_EQ(NextInvoiceNumber(), 16);

    // The items: negated on the credit note, positive and pending again for the client.
    const Rows negated = Query("SELECT nPvp,nUnidades,nTotal,nPorcIpto FROM FacturasItems WHERE "
                               "nIdFactura=" +
                               id + " ORDER BY nIdFacturaItem");
    ASSERT_EQ(negated.RowCount(), 2);
    EXPECT_EQ(U().SqlNumber(negated(0, 0)), -25);
    EXPECT_EQ(U().SqlNumber(negated(1, 0)), -1);
    EXPECT_EQ(U().SqlNumber(negated(2, 0)), -27.5);
    EXPECT_EQ(U().SqlNumber(negated(3, 0)), 10) << "a line's rate is no amount";
    const Rows pending = Query("SELECT nPvp,nTotal FROM FacturasItems WHERE " +
                               CondicionPendientes(client) + " ORDER BY nIdFacturaItem");
    ASSERT_EQ(pending.RowCount(), 2);
    EXPECT_EQ(U().SqlNumber(pending(1, 0)), 27.5);
    EXPECT_EQ(U().SqlNumber(pending(1, 1)), 30.25);

    const Rows cobros = Query("SELECT nImporte,sObservaciones,dFactura FROM FacturasCobros WHERE "
                              "nIdFactura=" +
                              id + " ORDER BY nIdFacturaCobro");
    ASSERT_EQ(cobros.RowCount(), 2);
    EXPECT_EQ(U().SqlNumber(cobros(0, 0)), -40);
    EXPECT_EQ(U().SqlNumber(cobros(0, 1)), -17.75);
    EXPECT_EQ(cobros(1, 0).toString(), "Abono");
    EXPECT_EQ(cobros(2, 0).toInt(), 20261201);
    const Rows apuntes = Query("SELECT nImporte,sObservaciones,sTitular FROM ApuntesCaja WHERE "
                               "sDocumento='Fra.0015/" +
                               Year() + "' ORDER BY nIdApunteCaja");
    ASSERT_EQ(apuntes.RowCount(), 2);
    EXPECT_EQ(U().SqlNumber(apuntes(0, 1)), -17.75);
    EXPECT_EQ(apuntes(1, 0).toString(), "Fra.Abonada:0014/" + Year());

    EXPECT_EQ(Count("Vacunaciones", "nIdFactura=" + QString::number(invoice)), 0);
    EXPECT_EQ(Count("MascotasProdServ", "nIdFactura=" + QString::number(invoice)), 0);
    EXPECT_EQ(Stock("VAC01"), vaccines) << "a credit note leaves the stock alone";
    EXPECT_EQ(Number("SELECT nSaldo FROM Clientes WHERE nIdCliente=" + QString::number(client)), 0);
    EXPECT_EQ(Number("SELECT nFacturado FROM Clientes WHERE nIdCliente=" + QString::number(client)),
              0);
    ASSERT_EQ(w.printed.size(), 1u);
    EXPECT_EQ(w.printed[0], std::make_pair(id.toInt(), quint8(3)));
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

TEST_F(GenerarAbonoTest, AnUnpaidInvoiceWithEmptyFieldsIsCopiedAsStored) {
    const qint32 client = NewClient();
    const qint32 invoice = IssueInvoice(client, 0);
    // Stored NULLs stay NULL in the copies: an item without a pet, a header without a date.
    Db().Execute("UPDATE FacturasItems SET nIdMascota=NULL, sConclusion=NULL WHERE nIdFactura=" +
                 QString::number(invoice));
    Db().Execute("UPDATE Facturas SET dFacturaAbonada=NULL, sDni=NULL WHERE nIdFactura=" +
                 QString::number(invoice));
    Generar_Abono(w, invoice);
    const QString id = Value("SELECT MAX(nIdFactura) FROM Facturas").toString();
    EXPECT_EQ(Count("FacturasCobros", "nIdFactura=" + id), 0);
    EXPECT_EQ(Count("ApuntesCaja", "sDocumento='Fra.0015/" + Year() + "'"), 0);
    EXPECT_EQ(Count("FacturasItems", "nIdMascota IS NULL AND nIdFactura=" + id), 2);
    EXPECT_EQ(Count("FacturasItems", "nIdMascota IS NULL AND nIdFactura=0"), 2);
    EXPECT_TRUE(Value("SELECT sDni FROM Facturas WHERE nIdFactura=" + id).isNull());
}

TEST_F(GenerarAbonoTest, WhatCannotBeCreditedIsSaidAndNothingIsWritten) {
    const int invoices = Count("Facturas");
    auto refused = [&](qint32 invoice, const QString& client, const QString& says) {
        w.client = client;
        Generar_Abono(w, invoice);
        EXPECT_TRUE(suite.Ui().Shown.last().contains(says))
            << suite.Ui().Shown.last().toStdString();
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(NextInvoiceNumber(), 14);
        EXPECT_FALSE(Db().InTransaction());
    };
    refused(999, "1", "ya no existe");
    refused(12, "12", "ya tiene una nota de crédito"); // the demo's credited invoice
    refused(15, "12", "es una nota de crédito");       // and its credit note
    refused(1, "2", "no es del cliente de la ventana");
    EXPECT_TRUE(w.printed.empty());
}

TEST_F(GenerarAbonoTest, AFailureNamesTheStepAndGivesTheNumberBack) {
    const int invoices = Count("Facturas");
    const int items = Count("FacturasItems");
    if (TestEngine::Server()) {
        Db().Execute("CREATE FUNCTION sin_items() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
                     "'prueba'; END $$ LANGUAGE plpgsql");
        Db().Execute("CREATE TRIGGER sin_items BEFORE INSERT ON FacturasItems FOR EACH ROW "
                     "EXECUTE FUNCTION sin_items()");
    } else {
        Db().Execute("CREATE TRIGGER sin_items BEFORE INSERT ON FacturasItems BEGIN SELECT "
                     "RAISE(ABORT, 'prueba'); END");
    }
    EXPECT_THROW(Generar_Abono(w, 1), ProgramEnded);
    const QString report = suite.Ui().Shown.last();
    EXPECT_TRUE(report.contains("Facturacion::Generar_Abono")) << report.toStdString();
    EXPECT_TRUE(report.contains("nPaso=3 i=0 n=")) << report.toStdString();
    suite.SignIn();
    EXPECT_EQ(Count("Facturas"), invoices);
    EXPECT_EQ(Count("FacturasItems"), items);
    EXPECT_EQ(NextInvoiceNumber(), 14) << "the credit note's number is given back";
}

} // namespace
