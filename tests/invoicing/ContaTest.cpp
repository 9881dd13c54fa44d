// The breakdown by tax rate and the writers of the money side, on the demo clinic's database.
#include "InvoicingFixture.h"

#include "invoicing/Conta.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "session/Gi.h"

#include <map>
#include <tuple>

namespace {

using Conta::TotalesImpuesto;

TotalesImpuesto Breakdown(qint32 nTipo, qint32 nId) {
    TotalesImpuesto t;
    Conta::TotalesPorPorcImpuesto(nTipo, nId, t);
    return t;
}

using ContaTest = InvoicingTest;

TEST_F(ContaTest, ThreeRatesFillTheSlotsAndAFourthCountsNowhere) {
    const qint32 client = NewClient();
    AddItem(client, 3, 10, 21); // 30 + 6.30
    AddItem(client, 1, 5, 21);  // same rate, same slot
    AddItem(client, 2, 20, 10); // 40 + 4
    AddItem(client, 1, 50, 0);  // a rate of 0 is a slot of its own
    AddItem(client, 1, 100, 4); // a fourth rate: left out
    const TotalesImpuesto t = Breakdown(0, client);

    // The slots follow the order of the distinct rates, whatever it is; gather them by rate.
    std::map<double, std::pair<double, double>> byRate;
    for (auto [po, bi, im] :
         {std::tuple{t.nPo_1, t.nBi_1, t.nIm_1}, std::tuple{t.nPo_2, t.nBi_2, t.nIm_2},
          std::tuple{t.nPo_3, t.nBi_3, t.nIm_3}})
        byRate[po] = {bi, im};
    ASSERT_EQ(byRate.size(), 3u);
    EXPECT_FALSE(byRate.count(4)) << "the fourth distinct rate took a slot";
    EXPECT_NEAR(byRate[21].first, 35, 1e-9);
    EXPECT_NEAR(byRate[21].second, 7.35, 1e-9);
    EXPECT_NEAR(byRate[10].first, 40, 1e-9);
    EXPECT_NEAR(byRate[10].second, 4, 1e-9);
    EXPECT_NEAR(byRate[0].first, 50, 1e-9);
    EXPECT_EQ(byRate[0].second, 0);
    EXPECT_NEAR(t.nBi_Total, 125, 1e-9);
    EXPECT_NEAR(t.nIm_Total, 11.35, 1e-9);
    EXPECT_DOUBLE_EQ(t.nTotal, t.nBi_Total + t.nIm_Total);
}

TEST_F(ContaTest, UnitsRoundToEvenAndTaxIsPerUnitTimesUnits) {
    const qint32 client = NewClient();
    AddItem(client, 2.5, 10, 21); // 2 units
    AddItem(client, 3.5, 1, 21);  // 4 units
    const TotalesImpuesto t = Breakdown(0, client);
    EXPECT_NEAR(t.nBi_1, 24, 1e-9);
    EXPECT_NEAR(t.nIm_1, 5.04, 1e-9);

    // With no lines the totals stay as passed in.
    TotalesImpuesto passed;
    passed.nTotal = 7;
    Conta::TotalesPorPorcImpuesto(0, NewClient("Sin nada"), passed);
    EXPECT_EQ(passed.nTotal, 7);
    EXPECT_EQ(passed.nBi_Total, 0);
}

TEST_F(ContaTest, SupplierDocumentsGetTheirBreakdownInTheHeaderRow) {
    Db().InsertRecord("ProvFacturas", "nIdFactura,nIdProveedor,sFactura", "7,1,'P-7'");
    Db().InsertRecord("ProvFacturasItems", "nIdFactura,nUnidades,nPvd,nPorcIpto", "7,3,10,21");
    Db().InsertRecord("ProvFacturasItems", "nIdFactura,nUnidades,nPvd,nPorcIpto", "7,1,50,4");
    Db().InsertRecord("ProvFacturasItems", "nIdFactura,nUnidades,nPvd,nPorcIpto", "8,1,99,21");
    Db().InsertRecord("ProvAlbaranes", "nIdAlbaran,nIdProveedor", "3,1");
    Db().InsertRecord("ProvAlbaranesItems", "nIdAlbaran,nUnidades,nPvd,nPorcIpto", "3,2,4,10");
    Db().InsertRecord("ProvCompras", "nIdProveedor,nPedido,dPedido,nUnidades,nPvd,nPorcIpto",
                      "2,0,0,5,2,21");
    Db().InsertRecord("ProvCompras", "nIdProveedor,nPedido,dPedido,nUnidades,nPvd,nPorcIpto",
                      "2,9,20260101,1,100,21");

    EXPECT_NEAR(Breakdown(3, 7).nTotal, 30 + 6.3 + 50 + 2, 1e-9);
    const Rows header = Query("SELECT nBI_1+nBi_2+nBi_3, nIm_1+nIm_2+nIm_3, nBi_Total, nIm_Total "
                              "FROM ProvFacturas WHERE nIdFactura=7");
    EXPECT_NEAR(U().SqlNumber(header(0, 0)), 80, 1e-9);
    EXPECT_NEAR(U().SqlNumber(header(1, 0)), 8.3, 1e-9);
    EXPECT_NEAR(U().SqlNumber(header(2, 0)), 80, 1e-9);
    EXPECT_NEAR(U().SqlNumber(header(3, 0)), 8.3, 1e-9);

    EXPECT_NEAR(Breakdown(4, 3).nTotal, 8.8, 1e-9);
    EXPECT_NEAR(Number("SELECT nBi_Total FROM ProvAlbaranes WHERE nIdAlbaran=3"), 8, 1e-9);
    EXPECT_NEAR(Breakdown(1, 2).nBi_Total, 10, 1e-9) << "only the purchases not yet ordered";
    EXPECT_NEAR(Breakdown(2, 9).nBi_Total, 100, 1e-9);

    TotalesImpuesto t;
    EXPECT_THROW(Conta::TotalesPorPorcImpuesto(5, 1, t), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Conta::TotalesPorPorcImpuesto"));
}

TEST_F(ContaTest, CashEntriesAreSignedByTheMovementTypeAndCleanedUp) {
    auto entry = [](qint32 id) {
        return Query("SELECT nIdCaja,sReferencia,sTitular,nImporte,sDocumento,sObservaciones,"
                     "dApunte,nIdUsuario FROM ApuntesCaja WHERE nIdApunteCaja=" +
                     QString::number(id));
    };
    const qint32 in = Conta::Generar_ApunteCaja(1, "Cobro Transferencia bancaria", "Pérez, Juan",
                                                20260305, 1, 30, {}, "Fra.0001/26", "O'Neill");
    Rows row = entry(in);
    EXPECT_EQ(row(1, 0).toString(), "Cobro Transferen");
    EXPECT_EQ(row(2, 0).toString(), "Pérez Juan");
    EXPECT_EQ(U().SqlNumber(row(3, 0)), 30);
    EXPECT_EQ(row(5, 0).toString(), "O'Neill");
    EXPECT_EQ(row(6, 0).toInt(), 20260305);
    EXPECT_EQ(row(7, 0).toInt(), Gi.nIdUsuario);
    EXPECT_EQ(
        U().SqlNumber(entry(Conta::Generar_ApunteCaja(1, "", "", 1, 1, -30, {}, {}, {}))(3, 0)),
        30);
    EXPECT_EQ(
        U().SqlNumber(entry(Conta::Generar_ApunteCaja(1, "", "", 1, 2, 30, {}, {}, {}))(3, 0)),
        -30);
    EXPECT_EQ(
        U().SqlNumber(entry(Conta::Generar_ApunteCaja(1, "", "", 1, 2, -30, {}, {}, {}))(3, 0)),
        -30);
    EXPECT_EQ(
        U().SqlNumber(entry(Conta::Generar_ApunteCaja(1, "", "", 1, 99, 30, {}, {}, {}))(3, 0)),
        -30)
        << "an unknown movement type is no money in";
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());

    // Negative boxes are the user's boxes by role (admin: 1, 1, 1, 2); box 0 is said each time.
    Db().UpdateRecord("Usuarios", "nCajaPara_PagosClientes", "3", "nIdUsuario=1");
    EXPECT_EQ(entry(Conta::Generar_ApunteCaja(-2, "", "", 1, 1, 5, {}, {}, {}))(0, 0).toInt(), 3);
    EXPECT_EQ(entry(Conta::Generar_ApunteCaja(-4, "", "", 1, 1, 5, {}, {}, {}))(0, 0).toInt(), 2);
    const QString notice = "[Aviso] Está a punto de añadir un Apunte de Caja para la Caja 0.";
    EXPECT_EQ(entry(Conta::Generar_ApunteCaja(0, "", "", 1, 1, 5, {}, {}, {}))(0, 0).toInt(), 0);
    Db().UpdateRecord("Usuarios", "nCajaPara_Facturas", "0", "nIdUsuario=1");
    Conta::Generar_ApunteCaja(-1, "", "", 1, 1, 5, {}, {}, {});
    Conta::Generar_ApunteCaja(-9, "", "", 1, 1, 5, {}, {}, {});
    EXPECT_EQ(suite.Ui().Shown, QStringList({notice, notice, notice}));
}

TEST_F(ContaTest, PaymentsKeepTheirSignUnderMoneyInAndTurnItOtherwise) {
    auto amount = [](qint32 id) {
        return Number("SELECT nImporte FROM FacturasCobros WHERE nIdFacturaCobro=" +
                      QString::number(id));
    };
    EXPECT_EQ(amount(Conta::Generar_CobroCliente(1, 30, 1, 1, 1, 20260101, {})), 30);
    EXPECT_EQ(amount(Conta::Generar_CobroCliente(1, -30, 1, 1, 1, 20260101, {})), -30);
    EXPECT_EQ(amount(Conta::Generar_CobroCliente(1, 30, 2, 1, 1, 20260101, "Seán O'Brien")), -30);
}

TEST_F(ContaTest, TheBalanceIsWhatWasPaidLessWhatWasInvoicedAfterDiscounts) {
    const qint32 client = NewClient();
    const QString id = QString::number(client);
    Db().InsertRecord("Facturas", "nIdCliente,sFactura,nTotal,nDescuento", id + ",'A',100,10");
    Db().InsertRecord("Facturas", "nIdCliente,sFactura,nTotal,nDescuento", id + ",'B',50,0");
    Conta::Generar_CobroCliente(client, 120, 1, 1, 0, 20260101, {});
    // Sums of cents stay cents: 0.1 + 0.2 is no 0.30000000000000004 in the books.
    Conta::Generar_CobroCliente(client, 0.1, 1, 1, 0, 20260101, {});
    Conta::Generar_CobroCliente(client, 0.2, 1, 1, 0, 20260101, {});
    Conta::Regenerar_SaldoCliente(client);
    const Rows totals =
        Query("SELECT nFacturado,nPagado,nSaldo FROM Clientes WHERE nIdCliente=" + id);
    EXPECT_EQ(U().SqlNumber(totals(0, 0)), 140);
    EXPECT_EQ(U().SqlNumber(totals(1, 0)), 120.3);
    EXPECT_EQ(U().SqlNumber(totals(2, 0)), -19.7);
}

} // namespace
