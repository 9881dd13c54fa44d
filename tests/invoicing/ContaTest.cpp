// The writers of the money side, on the demo clinic's database.
#include "InvoicingFixture.h"

#include "invoicing/Conta.h"

#include <tuple>

namespace {

using ContaTest = InvoicingTest;

// A row's values as the bulk insert binds them, "|" between them.
QString Joined(const QVariantList& values) {
    QStringList texts;
    for (const QVariant& value : values)
        texts << value.toString();
    return texts.join('|');
}

TEST_F(ContaTest, CashEntriesAreSignedByTheMovementTypeAndCleanedUp) {
    const auto entry = [](qint32 type, qint64 cents) {
        return Conta::FilaApunteCaja(1, 7, "", "", 1, type, Conta::EsEntrada(type),
                                     Money::FromCents(cents), {}, {}, {}, 0)[6]
            .toString();
    };
    EXPECT_EQ(Joined(Conta::FilaApunteCaja(1, 7, "Cobro Transferencia bancaria", "Pérez, Juan",
                                           20260305, 1, true, Money::FromCents(3000), {},
                                           "Fra.0001/26", "O'Neill", 12, 3)),
              "1|Cobro Transferen|Pérez Juan|20260305|7|1|30.00|Fra.0001/26||O'Neill|12|3");
    // (movement type, cents, stored amount): an unknown movement type is no money in.
    for (const auto& [type, cents, stored] : {std::tuple{1, -3000, "30.00"},
                                              {2, 3000, "-30.00"},
                                              {2, -3000, "-30.00"},
                                              {99, 3000, "-30.00"}})
        EXPECT_EQ(entry(type, cents), QString(stored)) << type << " " << cents;

    // Negative boxes are the user's boxes by role (admin: 1, 1, 1, 2), below -4 box 0.
    Db().UpdateRecord("Usuarios", "nCajaPara_PagosClientes", "3", "nIdUsuario=1");
    for (const auto& [box, actual] : {std::pair{-2, 3}, {-4, 2}, {-1, 1}, {0, 0}, {-9, 0}, {5, 5}})
        EXPECT_EQ(Conta::Caja(box, 1), actual) << box;
}

TEST_F(ContaTest, PaymentsKeepTheirSignUnderMoneyInAndTurnItOtherwise) {
    // (cents, movement type, stored amount)
    for (const auto& [cents, type, stored] :
         {std::tuple{3000, 1, "30.00"}, {-3000, 1, "-30.00"}, {3000, 2, "-30.00"}})
        EXPECT_EQ(
            Joined(Conta::FilaCobroCliente(1, Money::FromCents(cents), type, Conta::EsEntrada(type),
                                           1, 1, 20260101, "Seán O'Brien")),
            "1|20260101|1|" + QString(stored) + "|1|" + QString::number(type) + "|Seán O'Brien")
            << cents << " " << type;
}

TEST_F(ContaTest, TheBalanceIsWhatWasPaidLessWhatWasInvoicedAfterDiscounts) {
    const qint32 client = NewClient();
    const QString id = QString::number(client);
    Db().InsertRecord("Facturas", "nIdCliente,sFactura,nTotal,nDescuento", id + ",'A',100,10");
    Db().InsertRecord("Facturas", "nIdCliente,sFactura,nTotal,nDescuento", id + ",'B',50,0");
    // Sums of cents stay cents: 0.1 + 0.2 is no 0.30000000000000004 in the books.
    QList<QVariantList> paid;
    for (const qint64 cents : {12000, 10, 20})
        paid << Conta::FilaCobroCliente(client, Money::FromCents(cents), 1, true, 1, 0, 20260101,
                                        {});
    Db().InsertRows("FacturasCobros", Conta::ColumnasCobroCliente, paid);
    Conta::SaldoCliente(client);
    EXPECT_EQ(Table("SELECT nFacturado,nPagado,nSaldo FROM Clientes WHERE nIdCliente=" + id),
              "140|120.3|-19.7");
}

} // namespace
