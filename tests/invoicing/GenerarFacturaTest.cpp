// Issuing an invoice from the pending items, with the window answered by the test: what each
// table receives, when nothing is written, and what a failure leaves.
#include "InvoicingFixture.h"
#include "invoicing/core/PendingItems.h"
#include "support/TestEngine.h"

#include "billing/GenerarFactura.h"
#include "invoicing/Numeracion.h"
#include "invoicing/core/DocumentoVenta.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "session/Gi.h"

#include <QDate>
#include <array>
#include <vector>

namespace {

using GenerarFacturaTest = InvoicingTest;

QString ThisYear() {
    return QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
}

TEST_F(GenerarFacturaTest, NumbersArePaddedToFourDigitsAndNeverCut) {
    EXPECT_EQ(Numeracion::Numero("", 7, 2031), "0007/31");
    EXPECT_EQ(Numeracion::Numero("A", 12345, 2026), "A12345/26");
    EXPECT_EQ(Numeracion::Numero("RB", 37, 2100), "RB0037/00");
}

TEST_F(GenerarFacturaTest, AnInvoiceReachesEveryTableInOneGo) {
    // Client 1 has CONS03 (a service, 15.00) and PIEN10 (a product, 10.00) pending, both at 21 %.
    const double stock = Stock("PIEN10"), consStock = Stock("CONS03");
    Gi.nFechaTrabajo = 20261231; // the working date, not the clock, dates the invoice
    w.Accept({{"Efectivo", 25}, {"", 0}, {"", 0}, {"Bizum", 2.25}}, 3.00, 2);
    w.dialog = [dialog = w.dialog](ScriptedWindow& win) {
        dialog(win);
        win.cobro.sCliente = "Ana García (empresa)";
        win.cobro.sDomicilio = "Otra calle 3";
        win.cobro.sDni = "X1234567L";
    };
    Generar_Factura(w);

    const QString number = "A0001/" + ThisYear();
    const QString id =
        Value("SELECT nIdFactura FROM Facturas WHERE sFactura='" + number + "'").toString();
    // The town is always the client's, whatever the dialog says; the total is stored
    // undiscounted.
    EXPECT_EQ(Table("SELECT nIdSucursal,nIdCliente,sCliente,sDomicilio,sPoblacion,sProvincia,"
                    "sCodigoPostal,sDni,nIdUsuario,nIdEmpleado,nIdCaja,dFactura,nPo_1,nBi_1,nIm_1,"
                    "nPo_2,nBi_Total,nIm_Total,nTotal,nDescuento,nExento FROM Facturas WHERE "
                    "sFactura='" +
                    number + "'"),
              "1|1|Ana García (empresa)|Otra calle 3|" +
                  Table("SELECT sPoblacion,sProvincia,sCodigoPostal FROM Clientes WHERE "
                        "nIdCliente=1") +
                  "|X1234567L|1|1|1|20261231|21|25|5.25|0|25|5.25|30.25|3|0");
    EXPECT_EQ(NextInvoiceNumber(), 2);
    EXPECT_EQ(Count("FacturasItems", PendingItems(1).Condition()), 0);
    EXPECT_EQ(Count("FacturasItems", "nIdFactura=" + id), 2);

    // Payments 25, 0, 0, 2.25: two payment rows and two cash-box entries, slots 0 and 3.
    EXPECT_EQ(Table("SELECT nIdCliente,nImporte,nIdTipoCobro,nIdTipoMovimiento,dFactura FROM "
                    "FacturasCobros WHERE nIdFactura=" +
                    id + " ORDER BY nIdFacturaCobro"),
              "1|25|1|1|20261231\n1|2.25|4|1|20261231");
    EXPECT_EQ(Table("SELECT nIdCaja,sReferencia,sTitular,nImporte,sObservaciones,dApunte FROM "
                    "ApuntesCaja WHERE sDocumento='Fra." +
                    number + "' ORDER BY nIdApunteCaja"),
              "1|Cobro Efectivo|Ana García López|25|Pago Fra.|20261231\n"
              "1|Cobro Bizum|Ana García López|2.25|Pago Fra.|20261231");

    // The pet's history is dated with the computer's clock.
    EXPECT_EQ(Table("SELECT nIdMascota,dFactura,sConclusion FROM MascotasProdServ WHERE "
                    "nIdFactura=" +
                    id + " ORDER BY nIdMascotaProdServ"),
              "1|" + U().Today(true) + "|Revisión de la vacuna\n1|" + U().Today(true) + "|");

    EXPECT_EQ(Stock("PIEN10"), stock - 1);
    EXPECT_EQ(Stock("CONS03"), consStock) << "a service has no stock";
    const double owed =
        Number("SELECT SUM(nTotal)-SUM(nDescuento) FROM Facturas WHERE nIdCliente=1");
    const double paid = Number("SELECT SUM(nImporte) FROM FacturasCobros WHERE nIdCliente=1");
    EXPECT_NEAR(Number("SELECT nSaldo FROM Clientes WHERE nIdCliente=1"), paid - owed, 1e-9);

    EXPECT_EQ(w.printed, (std::vector<std::pair<qint32, quint8>>{{id.toInt(), 2}}));
    EXPECT_EQ(w.refreshes, 1);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

TEST_F(GenerarFacturaTest, VaccinesGetTheirNextDoseAndProductsLoseStockByTheUnitsSold) {
    const qint32 client = NewClient();
    Db().UpdateRecord("ProductosServicios", "nCadencia", "0", "sCodigo='VAC02'");
    Db().UpdateRecord("ProductosServicios", "nStockActual", "1", "sCodigo='PIEN10'");
    AddItem(client, 1, 25, 10, Product("VAC01"));  // cadence 365
    AddItem(client, 1, 30, 10, Product("VAC02"));  // cadence 0: no row
    AddItem(client, 3, 10, 21, Product("PIEN10")); // stock 1 -> -2
    AddItem(client, 1.5, 12, 21, Product("PIEN11"));
    AddItem(client, 2.5, 12, 21, Product("PIEN12"));
    const double pien11 = Stock("PIEN11"), pien12 = Stock("PIEN12"), vac01 = Stock("VAC01");
    Gi.nFechaTrabajo = 20280229;
    w.client = QString::number(client);
    w.Accept({{"Efectivo", 10}});
    Generar_Factura(w);

    // The vaccine's row points at its own line of the invoice.
    EXPECT_EQ(Table("SELECT v.nIdProductoServicio,v.dVacunado,v.dProximaVacuna,v.nIdMascota FROM "
                    "Vacunaciones v JOIN FacturasItems i ON i.nIdFacturaItem=v.nIdFacturaItem AND "
                    "i.nIdFactura=v.nIdFactura AND i.nIdProductoServicio=v.nIdProductoServicio "
                    "WHERE v.nIdFactura=(SELECT MAX(nIdFactura) FROM Facturas)"),
              QString::number(Product("VAC01")) + "|20280229|20290228|1");
    EXPECT_EQ(Count("Vacunaciones", "nIdFactura=(SELECT MAX(nIdFactura) FROM Facturas)"), 1);
    EXPECT_EQ(Stock("PIEN10"), -2);
    EXPECT_EQ(Stock("PIEN11"), pien11 - 1.5);
    EXPECT_EQ(Stock("PIEN12"), pien12 - 2.5);
    EXPECT_EQ(Stock("VAC01"), vac01 - 1);
}

TEST_F(GenerarFacturaTest, NothingIsWrittenWithoutSomethingToInvoiceAClientOrAnAcceptedDialog) {
    const int invoices = Count("Facturas");
    auto untouched = [&] {
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(NextInvoiceNumber(), 1);
        EXPECT_TRUE(w.printed.empty());
    };
    w.Accept({{"Efectivo", 1}});

    w.client = "3"; // nothing pending
    Generar_Factura(w);
    const qint32 zero = NewClient("Suma cero");
    AddItem(zero, 1, 10, 0);
    AddItem(zero, -1, 10, 0);
    w.client = QString::number(zero);
    Generar_Factura(w);
    w.client = "0";
    Generar_Factura(w);
    EXPECT_EQ(suite.Ui().Shown, QStringList({"[Aviso] No hay ítems para facturar.",
                                             "[Aviso] No hay ítems para facturar.",
                                             "[Aviso] No hay ítems para facturar."}));
    AddItem(0, 1, 10, 21); // an item that belongs to nobody
    Generar_Factura(w);
    EXPECT_EQ(suite.Ui().Shown.last(), "[Aviso] Debe definir cliente previamente");
    untouched();

    suite.Ui().Shown.clear();
    w.client = "1";
    w.dialog = nullptr; // closed by its title bar
    Generar_Factura(w);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());
    EXPECT_EQ(Count("FacturasItems", PendingItems(1).Condition()), 2);
    untouched();
}

// Lines that cannot make a correct invoice are said before the dialog opens: no number is drawn
// and nothing written.
TEST_F(GenerarFacturaTest, ZeroUnitsANegativeTotalAndAFourthRateAreRefusedBeforeTheDialog) {
    const int invoices = Count("Facturas");
    int dialogs = 0;
    w.dialog = [&](ScriptedWindow&) { ++dialogs; };
    const std::vector<std::vector<std::array<double, 3>>> cases = {
        {{1, 10, 21}, {0, 5, 21}, {-3, 30.80, 0}},            // units, price, rate
        {{1, 10, 21}, {1, -92.40, 0}},                        // a negative price stored elsewhere
        {{1, 10, 21}, {1, 10, 10}, {1, 10, 4}, {2, 10.5, 0}}, // four rates
    };
    for (const auto& lines : cases) {
        const qint32 client = NewClient();
        for (const auto& line : lines)
            AddItem(client, line[0], line[1], line[2]);
        w.client = QString::number(client);
        Generar_Factura(w);
    }
    EXPECT_EQ(suite.Ui().Shown.join('\n').toStdString(),
              "[Aviso] Hay líneas pendientes sin unidades o con unidades negativas (2). "
              "Corríjalas o bórrelas antes de facturar.\n"
              "[Aviso] El total a facturar es negativo (-80,30 €). Una factura no devuelve "
              "dinero: para devolverlo, emita la factura rectificativa de la factura original "
              "desde el historial de facturas (F8).\n"
              "[Aviso] Las líneas pendientes tienen 4 tipos de IVA (0 %, 4 %, 10 % y 21 %) y una "
              "factura admite como mucho tres. Facture aparte las líneas de uno de ellos.");
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Count("Facturas"), invoices);
    EXPECT_EQ(NextInvoiceNumber(), 1);
}

TEST_F(GenerarFacturaTest, AFailureLeavesNothingOfTheInvoiceButItsNumberConsumed) {
    const int invoices = Count("Facturas");
    const int payments = Count("FacturasCobros");
    auto nothingLeft = [&] {
        suite.SignIn(); // the program ended and closed the database
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(Count("FacturasCobros"), payments);
        EXPECT_EQ(Count("FacturasItems", PendingItems(1).Condition()), 2);
    };
    w.Accept({{"Efectivo", 30.25}});

    // An error of the procedure itself: no cash box could be read.
    w.cajaElegida = false;
    EXPECT_THROW(Generar_Factura(w), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Facturacion::Generar_Factura"));
    EXPECT_TRUE(suite.Ui().Shown.last().contains("No hay ninguna caja elegida"));
    nothingLeft();
    EXPECT_EQ(NextInvoiceNumber(), 2);

    // An error inside a called procedure ends the program through that procedure's own trap.
    w.cajaElegida = true;
    Db().Execute("DROP TABLE MascotasProdServ");
    EXPECT_THROW(Generar_Factura(w), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Facturacion::Actualizar_MascotasProdServ"));
    nothingLeft();
    EXPECT_EQ(NextInvoiceNumber(), 3);
    EXPECT_TRUE(w.printed.empty());
}

// Another front desk works on the same client while this one takes the payment: it adds a line,
// or invoices the lines itself.
TEST_F(GenerarFacturaTest, ItemsChangedElsewhereDuringThePaymentStopTheInvoice) {
    const int invoices = Count("Facturas");
    const int payments = Count("FacturasCobros");
    const std::vector<std::pair<std::function<void()>, int>> elsewhere = {
        {[] { AddItem(1, 1, 5, 21); }, 3},
        {[] {
             Db().Execute("UPDATE FacturasItems SET nIdFactura=3 WHERE " +
                          PendingItems(1).Condition());
         },
         0},
    };
    for (const auto& [change, pendingAfter] : elsewhere) {
        w.Accept({{"Efectivo", 30.25}});
        w.dialog = [dialog = w.dialog, change = change](ScriptedWindow& win) {
            dialog(win);
            change();
        };
        Generar_Factura(w);
        EXPECT_TRUE(suite.Ui().Shown.last().contains("han cambiado en otro puesto"))
            << qPrintable(suite.Ui().Shown.last());
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(Count("FacturasCobros"), payments);
        EXPECT_EQ(Count("FacturasItems", PendingItems(1).Condition()), pendingAfter);
        EXPECT_TRUE(w.printed.empty());
    }
}

// The server goes away while the invoice commits: a deferred trigger ends the session of the
// committing workstation, as a restarted server would. The desk is told, and goes on.
TEST_F(GenerarFacturaTest, AnInvoiceWhoseCommitNeverReachedTheServerIsNotShownAsIssued) {
    if (!TestEngine::Server())
        GTEST_SKIP() << "only a server connection can break";
    Db().ExecuteScript(
        "CREATE FUNCTION tv_test_corte() RETURNS trigger AS $$ BEGIN PERFORM "
        "pg_terminate_backend(pg_backend_pid()); RETURN NULL; END $$ LANGUAGE plpgsql;\n"
        "CREATE CONSTRAINT TRIGGER tv_test_corte AFTER INSERT ON Facturas DEFERRABLE INITIALLY "
        "DEFERRED FOR EACH ROW EXECUTE FUNCTION tv_test_corte();\n");
    const int invoices = Count("Facturas");
    w.Accept({{"Efectivo", 30.25}});
    EXPECT_NO_THROW(Generar_Factura(w));
    const QString told = suite.Ui().Shown.last();
    EXPECT_TRUE(told.contains("Se ha perdido la conexión con el servidor de base de datos " +
                              TestEngine::ServerConfig().host) &&
                told.endsWith(", y no llegó a guardarse. Ya se ha vuelto a conectar: vuelva a "
                              "pulsar Facturar."))
        << qPrintable(told);
    EXPECT_TRUE(w.printed.empty());

    Db().ExecuteScript("DROP TRIGGER tv_test_corte ON Facturas;\nDROP FUNCTION tv_test_corte();\n");
    EXPECT_EQ(Count("Facturas"), invoices);
    EXPECT_EQ(Count("FacturasItems", PendingItems(1).Condition()), 2);
    EXPECT_EQ(Count("RegistrosFacturacion", "nIdFactura NOT IN (SELECT nIdFactura FROM Facturas)"),
              0);
}

TEST_F(GenerarFacturaTest, CustomerTextsOfAnyKindGoInWholeAndUnknownPaymentTypesStillBook) {
    const QString name =
        "Seán O'Brien \"el de Cork\"\nsegunda línea\t\x1b" + QString(MaxNombreCliente - 43, 'x');
    w.Accept({{"Cheque", 10}, {"Efectivo", 20.25}});
    w.dialog = [dialog = w.dialog, name](ScriptedWindow& win) {
        dialog(win);
        win.cobro.sCliente = name;
        win.cobro.sDomicilio = QString("C/ Mayor 5, 2º 'A'") + QChar(0) + "fin";
    };
    Generar_Factura(w);
    const QString id =
        Value("SELECT MAX(nIdFactura) FROM Facturas WHERE sFactura LIKE 'A0001/%'").toString();
    EXPECT_EQ(Value("SELECT sCliente FROM Facturas WHERE nIdFactura=" + id).toString(), name);
    EXPECT_EQ(Value("SELECT sDomicilio FROM Facturas WHERE nIdFactura=" + id).toString(),
              "C/ Mayor 5, 2º 'A'fin");

    // A type that names no payment type books under type 0 and movement 0, which counts as
    // money out.
    EXPECT_EQ(Table("SELECT nIdTipoCobro,nIdTipoMovimiento,nImporte FROM FacturasCobros WHERE "
                    "nIdFactura=" +
                    id + " ORDER BY nIdFacturaCobro"),
              "0|0|-10\n1|1|20.25");
}

} // namespace

// Numbers follow dates: an invoice dated before the last of its series is refused before the
// dialog, with nothing written and no number drawn; the same day is allowed.
TEST_F(GenerarFacturaTest, NoInvoiceIsDatedBeforeTheLastOfItsSeries) {
    const auto invoice = [&](qint32 date) {
        const qint32 client = NewClient();
        AddItem(client, 1, 10, 21);
        w.client = QString::number(client);
        w.Accept({{"Efectivo", 12.10}});
        Gi.nFechaTrabajo = date;
        Generar_Factura(w);
    };
    const auto issued = [] {
        return Table("SELECT sFactura, dFactura FROM Facturas WHERE sFactura LIKE 'A%/27' "
                     "ORDER BY nIdFactura");
    };
    invoice(20270310);
    invoice(20270309);
    EXPECT_EQ(suite.Ui().Shown.last(), "[Aviso] No se puede emitir con fecha 09/03/2027: el "
                                       "último documento de su serie, A0001/27, es del "
                                       "10/03/2027.");
    invoice(20270310);
    EXPECT_EQ(issued(), Table("SELECT 'A0001/27', 20270310 UNION ALL SELECT 'A0002/27', 20270310"));
}
