// The writers of the money side, on the demo clinic's database.
#include "InvoicingFixture.h"

#include "invoicing/Conta.h"

#include <tuple>

namespace {

using ContaTest = InvoicingTest;

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
