// The breakdown by tax rate and the writers of the money side, on the demo clinic's database.
#include "InvoicingFixture.h"

#include "invoicing/Conta.h"
#include "platform/ui/seam/ScriptedUi.h"

#include <tuple>

namespace {

using Conta::TotalesImpuesto;

TotalesImpuesto Breakdown(qint32 nTipo, qint32 nId) {
    TotalesImpuesto t;
    Conta::TotalesPorPorcImpuesto(nTipo, nId, t);
    return t;
}

using ContaTest = InvoicingTest;

TEST_F(ContaTest, ThreeRatesFillTheSlotsInAscendingOrderAndAFourthCountsNowhere) {
    const qint32 client = NewClient();
    const struct {
        double units, price, rate;
    } lines[] = {{3, 10, 21}, {1, 5, 21}, {2, 20, 10}, {1, 50, 0}, {1, 100, 4}};
    for (const auto& line : lines)
        AddItem(client, line.units, line.price, line.rate);
    const TotalesImpuesto t = Breakdown(0, client);
    // Whatever order the engine lists the rates in, the lowest three take the slots; the lines
    // at 21 % count nowhere (the window refuses such an invoice before it gets here).
    EXPECT_EQ(QStringList({U().SqlValue(t.nPo_1, 2, true), U().SqlValue(t.nBi_1, 2, true),
                           U().SqlValue(t.nIm_1, 2, true), U().SqlValue(t.nPo_2, 2, true),
                           U().SqlValue(t.nBi_2, 2, true), U().SqlValue(t.nIm_2, 2, true),
                           U().SqlValue(t.nPo_3, 2, true), U().SqlValue(t.nBi_3, 2, true),
                           U().SqlValue(t.nIm_3, 2, true), U().SqlValue(t.nBi_Total, 2, true),
                           U().SqlValue(t.nIm_Total, 2, true), U().SqlValue(t.nTotal, 2, true)})
                  .join('|'),
              "0.00|50.00|0.00|4.00|100.00|4.00|10.00|40.00|4.00|190.00|8.00|198.00");
}

TEST_F(ContaTest, UnitsCountAsTypedAndTaxIsPerUnitTimesUnits) {
    const qint32 client = NewClient();
    AddItem(client, 2.5, 10, 21);
    AddItem(client, 3.5, 1, 21);
    const TotalesImpuesto t = Breakdown(0, client);
    EXPECT_NEAR(t.nBi_1, 28.5, 1e-9);
    EXPECT_NEAR(t.nIm_1, 5.985, 1e-9);

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
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(U().SqlNumber(header(c, 0)), c % 2 ? 8.3 : 80, 1e-9) << "column " << c;

    EXPECT_NEAR(Breakdown(4, 3).nTotal, 8.8, 1e-9);
    EXPECT_NEAR(Number("SELECT nBi_Total FROM ProvAlbaranes WHERE nIdAlbaran=3"), 8, 1e-9);
    EXPECT_NEAR(Breakdown(1, 2).nBi_Total, 10, 1e-9) << "only the purchases not yet ordered";
    EXPECT_NEAR(Breakdown(2, 9).nBi_Total, 100, 1e-9);

    TotalesImpuesto t;
    EXPECT_THROW(Conta::TotalesPorPorcImpuesto(5, 1, t), ProgramEnded);
    EXPECT_TRUE(suite.Ui().Shown.last().contains("Conta::TotalesPorPorcImpuesto"));
}

TEST_F(ContaTest, CashEntriesAreSignedByTheMovementTypeAndCleanedUp) {
    auto entry = [](qint32 id, const QString& columns) {
        return Table("SELECT " + columns +
                     " FROM ApuntesCaja WHERE nIdApunteCaja=" + QString::number(id));
    };
    auto write = [](qint32 type, int euros) {
        return Conta::ApunteCaja(1, 7, "", "", 1, type, Money::FromCents(euros * 100), {}, {}, {},
                                 0);
    };
    const qint32 in =
        Conta::ApunteCaja(1, 7, "Cobro Transferencia bancaria", "Pérez, Juan", 20260305, 1,
                          Money::FromCents(3000), {}, "Fra.0001/26", "O'Neill", 12, 3);
    EXPECT_EQ(entry(in, "nIdCaja,sReferencia,sTitular,nImporte,sDocumento,sObservaciones,dApunte,"
                        "nIdUsuario,nIdFactura,nIdTipoCobro"),
              "1|Cobro Transferen|Pérez Juan|30|Fra.0001/26|O'Neill|20260305|7|12|3");
    // (movement type, amount, stored amount): an unknown movement type is no money in.
    for (const auto& [type, amount, stored] :
         {std::tuple{1, -30, "30"}, {2, 30, "-30"}, {2, -30, "-30"}, {99, 30, "-30"}})
        EXPECT_EQ(entry(write(type, amount), "nImporte"), QString(stored)) << type << " " << amount;

    // Negative boxes are the user's boxes by role (admin: 1, 1, 1, 2), below -4 box 0.
    Db().UpdateRecord("Usuarios", "nCajaPara_PagosClientes", "3", "nIdUsuario=1");
    for (const auto& [box, actual] : {std::pair{-2, 3}, {-4, 2}, {-1, 1}, {0, 0}, {-9, 0}, {5, 5}})
        EXPECT_EQ(Conta::Caja(box, 1), actual) << box;
}

TEST_F(ContaTest, PaymentsKeepTheirSignUnderMoneyInAndTurnItOtherwise) {
    // (amount, movement type, stored amount)
    for (const auto& [amount, type, stored] : {std::tuple{30, 1, 30}, {-30, 1, -30}, {30, 2, -30}})
        EXPECT_EQ(
            Number("SELECT nImporte FROM FacturasCobros WHERE nIdFacturaCobro=" +
                   QString::number(Conta::CobroCliente(1, Money::FromCents(amount * 100), type, 1,
                                                       1, 20260101, "Seán O'Brien"))),
            stored)
            << amount << " " << type;
}

TEST_F(ContaTest, TheBalanceIsWhatWasPaidLessWhatWasInvoicedAfterDiscounts) {
    const qint32 client = NewClient();
    const QString id = QString::number(client);
    Db().InsertRecord("Facturas", "nIdCliente,sFactura,nTotal,nDescuento", id + ",'A',100,10");
    Db().InsertRecord("Facturas", "nIdCliente,sFactura,nTotal,nDescuento", id + ",'B',50,0");
    Conta::CobroCliente(client, Money::FromCents(12000), 1, 1, 0, 20260101, {});
    // Sums of cents stay cents: 0.1 + 0.2 is no 0.30000000000000004 in the books.
    Conta::CobroCliente(client, Money::FromCents(10), 1, 1, 0, 20260101, {});
    Conta::CobroCliente(client, Money::FromCents(20), 1, 1, 0, 20260101, {});
    Conta::SaldoCliente(client);
    EXPECT_EQ(Table("SELECT nFacturado,nPagado,nSaldo FROM Clientes WHERE nIdCliente=" + id),
              "140|120.3|-19.7");
}

} // namespace
