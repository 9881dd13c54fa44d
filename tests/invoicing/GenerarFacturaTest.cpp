// Issuing an invoice from the pending items, with the window answered by the test: what each
// table receives, when nothing is written, and what a failure leaves.
#include "InvoicingFixture.h"
#include "support/TestEngine.h"

#include "invoicing/Actualizaciones.h"
#include "invoicing/GenerarFactura.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "session/Gi.h"

#include <QDate>

namespace {

using GenerarFacturaTest = InvoicingTest;

QString ThisYear() {
    return QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
}

TEST_F(GenerarFacturaTest, NumbersArePaddedToFourDigitsAndNeverCut) {
    EXPECT_EQ(NumeroFactura(7, QDate(2031, 5, 1)), "0007/31");
    EXPECT_EQ(NumeroFactura(12345, QDate(2026, 1, 1)), "12345/26");
    EXPECT_EQ(NumeroFactura(37, QDate(2100, 12, 31)), "0037/00");
}

TEST_F(GenerarFacturaTest, AnInvoiceReachesEveryTableInOneGo) {
    // Client 1 has CONS03 (a service, 15.00) and PIEN10 (a product, 10.00) pending, both at 21 %.
    const double stock =
        Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='PIEN10'");
    const double consStock =
        Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='CONS03'");
    Gi.nFechaTrabajo = 20261231; // the working date, not the clock, dates the invoice
    w.Accept({{"Efectivo", 25}, {"", 0}, {"", 0}, {"Bizum", 2.25}}, 3.00, 2);
    w.dialog = [dialog = w.dialog](ScriptedWindow& win) {
        dialog(win);
        Cobro.sCliente = "Ana García (empresa)";
        Cobro.sDomicilio = "Otra calle 3";
        Cobro.sDni = "X1234567L";
    };
    Generar_Factura(w);

    const QString number = "0014/" + ThisYear();
    const Rows f = Query("SELECT nIdSucursal,nIdCliente,sCliente,sDomicilio,sPoblacion,sProvincia,"
                         "sCodigoPostal,sDni,nIdUsuario,nIdEmpleado,nIdCaja,sFactura,dFactura,"
                         "nPo_1,nBi_1,nIm_1,nPo_2,nBi_Total,nIm_Total,nTotal,nDescuento,nExento,"
                         "nIdFactura FROM Facturas WHERE sFactura='" +
                         number + "'");
    ASSERT_EQ(f.RowCount(), 1);
    const Rows client = Query("SELECT sPoblacion,sProvincia,sCodigoPostal FROM Clientes WHERE "
                              "nIdCliente=1");
    EXPECT_EQ(f(0, 0).toInt(), 1);
    EXPECT_EQ(f(1, 0).toInt(), 1);
    EXPECT_EQ(f(2, 0).toString(), "Ana García (empresa)");
    EXPECT_EQ(f(3, 0).toString(), "Otra calle 3");
    EXPECT_EQ(f(4, 0).toString(), client(0, 0).toString()) << "the town is always the client's";
    EXPECT_EQ(f(5, 0).toString(), client(1, 0).toString());
    EXPECT_EQ(f(6, 0).toString(), client(2, 0).toString());
    EXPECT_EQ(f(7, 0).toString(), "X1234567L");
    EXPECT_EQ(f(8, 0).toInt(), 1);
    EXPECT_EQ(f(9, 0).toInt(), 1);
    EXPECT_EQ(f(10, 0).toInt(), 1);
    EXPECT_EQ(f(12, 0).toInt(), 20261231);
    EXPECT_EQ(U().SqlNumber(f(13, 0)), 21);
    EXPECT_EQ(U().SqlNumber(f(14, 0)), 25);
    EXPECT_EQ(U().SqlNumber(f(15, 0)), 5.25);
    EXPECT_EQ(U().SqlNumber(f(16, 0)), 0);
    EXPECT_EQ(U().SqlNumber(f(19, 0)), 30.25) << "the total is stored undiscounted";
    EXPECT_EQ(U().SqlNumber(f(20, 0)), 3);
    EXPECT_EQ(U().SqlNumber(f(21, 0)), 0);
    const QString id = f(22, 0).toString();
    EXPECT_EQ(NextInvoiceNumber(), 15);

    EXPECT_EQ(Count("FacturasItems", CondicionPendientes(1)), 0);
    EXPECT_EQ(Count("FacturasItems", "nIdFactura=" + id), 2);

    // Payments 25, 0, 0, 2.25: two payment rows and two cash-box entries, slots 0 and 3.
    const Rows cobros = Query("SELECT nIdCliente,nImporte,nIdTipoCobro,nIdTipoMovimiento,dFactura "
                              "FROM FacturasCobros WHERE nIdFactura=" +
                              id + " ORDER BY nIdFacturaCobro");
    ASSERT_EQ(cobros.RowCount(), 2);
    EXPECT_EQ(U().SqlNumber(cobros(1, 0)), 25);
    EXPECT_EQ(cobros(2, 0).toInt(), 1);
    EXPECT_EQ(U().SqlNumber(cobros(1, 1)), 2.25);
    EXPECT_EQ(cobros(2, 1).toInt(), 4);
    EXPECT_EQ(cobros(3, 1).toInt(), 1);
    EXPECT_EQ(cobros(4, 1).toInt(), 20261231);
    const Rows apuntes = Query("SELECT nIdCaja,sReferencia,sTitular,nImporte,sObservaciones,"
                               "dApunte FROM ApuntesCaja WHERE sDocumento='Fra." +
                               number + "' ORDER BY nIdApunteCaja");
    ASSERT_EQ(apuntes.RowCount(), 2);
    EXPECT_EQ(apuntes(1, 0).toString(), "Cobro Efectivo");
    EXPECT_EQ(apuntes(2, 0).toString(), "Ana García López");
    EXPECT_EQ(U().SqlNumber(apuntes(3, 1)), 2.25);
    EXPECT_EQ(apuntes(1, 1).toString(), "Cobro Bizum");
    EXPECT_EQ(apuntes(4, 1).toString(), "Pago Fra.");
    EXPECT_EQ(apuntes(5, 1).toInt(), 20261231);

    // The pet's history is dated with the computer's clock.
    const Rows history = Query("SELECT nIdMascota,dFactura,sConclusion FROM MascotasProdServ WHERE "
                               "nIdFactura=" +
                               id + " ORDER BY nIdMascotaProdServ");
    ASSERT_EQ(history.RowCount(), 2);
    EXPECT_EQ(history(0, 0).toInt(), 1);
    EXPECT_EQ(history(1, 0).toString(), U().Today(true));
    EXPECT_EQ(history(2, 0).toString(), "Revisión de la vacuna");

    EXPECT_EQ(Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='PIEN10'"),
              stock - 1);
    EXPECT_EQ(Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='CONS03'"),
              consStock)
        << "a service has no stock";
    const double owed =
        Number("SELECT SUM(nTotal)-SUM(nDescuento) FROM Facturas WHERE nIdCliente=1");
    const double paid = Number("SELECT SUM(nImporte) FROM FacturasCobros WHERE nIdCliente=1");
    EXPECT_NEAR(Number("SELECT nSaldo FROM Clientes WHERE nIdCliente=1"), paid - owed, 1e-9);

    ASSERT_EQ(w.printed.size(), 1u);
    EXPECT_EQ(w.printed[0], std::make_pair(id.toInt(), quint8(2)));
    EXPECT_EQ(w.refreshes, 1);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty()) << suite.Ui().Shown.join('\n').toStdString();
}

TEST_F(GenerarFacturaTest, VaccinesGetTheirNextDoseAndProductsLoseStockByRoundedUnits) {
    const qint32 client = NewClient();
    auto product = [](const QString& code) {
        return Value("SELECT nIdProductoServicio FROM ProductosServicios WHERE sCodigo='" + code +
                     "'")
            .toInt();
    };
    Db().UpdateRecord("ProductosServicios", "nCadencia", "0", "sCodigo='VAC02'");
    Db().UpdateRecord("ProductosServicios", "nStockActual", "1", "sCodigo='PIEN10'");
    AddItem(client, 1, 25, 10, product("VAC01"));    // cadence 365
    AddItem(client, 1, 30, 10, product("VAC02"));    // cadence 0: no row
    AddItem(client, 3, 10, 21, product("PIEN10"));   // stock 1 -> -2
    AddItem(client, 1.5, 12, 21, product("PIEN11")); // 2 units
    AddItem(client, 2.5, 12, 21, product("PIEN12")); // 2 units
    auto stock = [](const QString& code) {
        return Number("SELECT nStockActual FROM ProductosServicios WHERE sCodigo='" + code + "'");
    };
    const double pien11 = stock("PIEN11"), pien12 = stock("PIEN12"), vac01 = stock("VAC01");
    Gi.nFechaTrabajo = 20280229;
    w.client = QString::number(client);
    w.Accept({{"Efectivo", 10}});
    Generar_Factura(w);

    const Rows v = Query("SELECT nIdProductoServicio,dVacunado,dProximaVacuna,nIdMascota,"
                         "nIdFacturaItem FROM Vacunaciones WHERE nIdFactura=(SELECT MAX(nIdFactura)"
                         " FROM Facturas)");
    ASSERT_EQ(v.RowCount(), 1);
    EXPECT_EQ(v(0, 0).toInt(), product("VAC01"));
    EXPECT_EQ(v(1, 0).toInt(), 20280229);
    EXPECT_EQ(v(2, 0).toInt(), 20290228);
    EXPECT_GT(v(4, 0).toInt(), 0);
    EXPECT_EQ(stock("PIEN10"), -2);
    EXPECT_EQ(stock("PIEN11"), pien11 - 2);
    EXPECT_EQ(stock("PIEN12"), pien12 - 2);
    EXPECT_EQ(stock("VAC01"), vac01 - 1);
}

TEST_F(GenerarFacturaTest, NothingIsWrittenWithoutSomethingToInvoiceAClientOrAnAcceptedDialog) {
    const int invoices = Count("Facturas");
    auto untouched = [&] {
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(NextInvoiceNumber(), 14);
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
    EXPECT_EQ(Count("FacturasItems", CondicionPendientes(1)), 2);
    untouched();
}

TEST_F(GenerarFacturaTest, AFailureLeavesNothingOfTheInvoiceButItsNumberConsumed) {
    const int invoices = Count("Facturas");
    const int payments = Count("FacturasCobros");
    auto nothingLeft = [&] {
        suite.SignIn(); // the program ended and closed the database
        EXPECT_EQ(Count("Facturas"), invoices);
        EXPECT_EQ(Count("FacturasCobros"), payments);
        EXPECT_EQ(Count("FacturasItems", CondicionPendientes(1)), 2);
    };
    w.Accept({{"Efectivo", 30.25}});

    // An error of the procedure itself: no cash box could be read.
    w.cajaElegida = false;
    EXPECT_THROW(Generar_Factura(w), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Facturacion::Generar_Factura"));
    EXPECT_TRUE(suite.Ui().Shown.last().contains("No hay ninguna caja elegida"));
    nothingLeft();
    EXPECT_EQ(NextInvoiceNumber(), 15);

    // An error inside a called procedure ends the program through that procedure's own trap.
    w.cajaElegida = true;
    Db().Execute("DROP TABLE MascotasProdServ");
    EXPECT_THROW(Generar_Factura(w), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Facturacion::Actualizar_MascotasProdServ"));
    nothingLeft();
    EXPECT_EQ(NextInvoiceNumber(), 16);
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
             Db().Execute("UPDATE FacturasItems SET nIdFactura=3 WHERE " + CondicionPendientes(1));
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
        EXPECT_EQ(Count("FacturasItems", CondicionPendientes(1)), pendingAfter);
        EXPECT_TRUE(w.printed.empty());
    }
}

// The server goes away while the invoice commits: a deferred trigger ends the session of the
// committing workstation, as a restarted server would.
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
    EXPECT_THROW(Generar_Factura(w), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Se ha perdido la conexión con el servidor de "
                                                 "base de datos " +
                                                 TestEngine::ServerConfig().host))
        << qPrintable(suite.Ui().Shown.last());
    EXPECT_TRUE(w.printed.empty());

    suite.SignIn();
    Db().ExecuteScript("DROP TRIGGER tv_test_corte ON Facturas;\nDROP FUNCTION tv_test_corte();\n");
    EXPECT_EQ(Count("Facturas"), invoices);
    EXPECT_EQ(Count("FacturasItems", CondicionPendientes(1)), 2);
    EXPECT_EQ(Count("RegistrosFacturacion", "nIdFactura NOT IN (SELECT nIdFactura FROM Facturas)"),
              0);
}

TEST_F(GenerarFacturaTest, CustomerTextsOfAnyKindGoInWholeAndUnknownPaymentTypesStillBook) {
    const QString name = "Seán O'Brien \"el de Cork\"\nsegunda línea\t\x1b" + QString(10000, 'x');
    w.Accept({{"Cheque", 10}, {"Efectivo", 20.25}});
    w.dialog = [dialog = w.dialog, name](ScriptedWindow& win) {
        dialog(win);
        Cobro.sCliente = name;
        Cobro.sDomicilio = QString("C/ Mayor 5, 2º 'A'") + QChar(0) + "fin";
    };
    Generar_Factura(w);
    const Rows f = Query("SELECT sCliente,sDomicilio,nIdFactura FROM Facturas WHERE sFactura LIKE "
                         "'0014/%'");
    ASSERT_EQ(f.RowCount(), 1);
    EXPECT_EQ(f(0, 0).toString(), name);
    EXPECT_EQ(f(1, 0).toString(), "C/ Mayor 5, 2º 'A'fin");

    // A type that names no payment type books under type 0 and movement 0, which counts as
    // money out.
    const Rows unknown = Query("SELECT nIdTipoCobro,nIdTipoMovimiento,nImporte FROM FacturasCobros "
                               "WHERE nIdFactura=" +
                               f(2, 0).toString() + " ORDER BY nIdFacturaCobro");
    ASSERT_EQ(unknown.RowCount(), 2);
    EXPECT_EQ(unknown(0, 0).toInt(), 0);
    EXPECT_EQ(unknown(1, 0).toInt(), 0);
    EXPECT_EQ(U().SqlNumber(unknown(2, 0)), -10);
}

TEST_F(GenerarFacturaTest, ACreditNoteReversesWhatItsInvoiceBooked) {
    w.Accept({{"Efectivo", 50}, {"", 0}, {"", 0}, {"Tarjeta", 25}});
    Generar_Factura(w);
    const qint32 invoice = Value("SELECT MAX(nIdFactura) FROM Facturas").toInt();
    const QString number = "0014/" + ThisYear();
    Db().InsertRecord("Vacunaciones", "nIdFactura,nIdMascota", QString::number(invoice) + ",1");
    const qint32 credit = Db().InsertRecord("Facturas", "nIdCliente,sFactura", "1,'0099/26'");

    Actualizaciones::Actualizar_Cobros(credit, invoice);
    const Rows cobros = Query("SELECT nImporte,nIdTipoCobro,nIdTipoMovimiento,sObservaciones "
                              "FROM FacturasCobros WHERE nIdFactura=" +
                              QString::number(credit) + " ORDER BY nIdFacturaCobro");
    ASSERT_EQ(cobros.RowCount(), 2);
    EXPECT_EQ(U().SqlNumber(cobros(0, 0)), -50);
    EXPECT_EQ(U().SqlNumber(cobros(0, 1)), -25);
    EXPECT_EQ(cobros(1, 0).toInt(), 0);
    EXPECT_EQ(cobros(2, 0).toInt(), 1);
    EXPECT_EQ(cobros(3, 0).toString(), "Abono");

    Actualizaciones::Actualizar_ApunteCaja(w, "0099/26", number);
    const Rows apuntes = Query("SELECT nIdCaja,sReferencia,nIdTipoMovimiento,nImporte,"
                               "sObservaciones FROM ApuntesCaja WHERE sDocumento='Fra.0099/26' "
                               "ORDER BY nIdApunteCaja");
    ASSERT_EQ(apuntes.RowCount(), 2);
    EXPECT_EQ(apuntes(1, 0).toString(), "Abono");
    EXPECT_EQ(apuntes(2, 0).toInt(), 2);
    EXPECT_EQ(U().SqlNumber(apuntes(3, 0)), -50);
    EXPECT_EQ(U().SqlNumber(apuntes(3, 1)), -25);
    EXPECT_EQ(apuntes(4, 0).toString(), "Fra.Abonada:" + number);

    Actualizaciones::Actualizar_VacunasRecibidas(credit, invoice);
    EXPECT_EQ(Count("Vacunaciones", "nIdFactura=" + QString::number(invoice)), 0);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());

    // Without an outgoing movement type the entries still go in, under type 0, after the error.
    Db().UpdateRecord("TipoMovimiento", "bEntrada", "1", "nIdTipoMovimiento=2");
    Actualizaciones::Actualizar_ApunteCaja(w, "0100/26", number);
    EXPECT_EQ(suite.Ui().Shown,
              QStringList({"[Error] No hay ningún tipo de movimiento de salida."}));
    EXPECT_EQ(Count("ApuntesCaja", "sDocumento='Fra.0100/26' AND nIdTipoMovimiento=0"), 2);

    // An invoice without payments has nothing to reverse.
    const qint32 unpaid = Db().InsertRecord("Facturas", "nIdCliente,sFactura", "1,'0101/26'");
    Actualizaciones::Actualizar_Cobros(credit, unpaid);
    Actualizaciones::Actualizar_ApunteCaja(w, "0102/26", "0101/26");
    EXPECT_EQ(Count("ApuntesCaja", "sDocumento='Fra.0102/26'"), 0);
    EXPECT_EQ(Count("FacturasCobros", "nIdFactura=" + QString::number(credit)), 2);
}

} // namespace
