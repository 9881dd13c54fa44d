#include "ReportsFixture.h"

#include "reports/Informes.h"

namespace {

void AddPayment(qint32 invoice, int type, const QString& amount) {
    DataAccess::instance().InsertRecord(
        "FacturasCobros", "nIdFactura,nIdCliente,nImporte,nIdTipoCobro",
        QString::number(invoice) + ",1," + amount + "," + QString::number(type));
}

} // namespace

TEST_F(ReportsFixture, PaymentSlotsForNoneFourAndMoreThanFourPayments) {
    const qint32 id = AddInvoice(3, {.payments = 0}).id;
    const auto values = [&] {
        return Informes::FacturaJob(id, Informes::Detallada)->sLabelsValues;
    };
    EXPECT_EQ(values(), "||||||||0.00");

    AddPayment(id, 1, "10");
    AddPayment(id, 2, "0");
    AddPayment(id, 3, "5.505");
    AddPayment(id, 4, "2");
    EXPECT_EQ(values(), "Efectivo|Tarjeta|Transferencia|Bizum|10.00||5.51|2.00|17.51");

    // A fifth payment leaves every slot empty, as the rest of the suite expects.
    AddPayment(id, 1, "1");
    EXPECT_EQ(values(), "||||||||0.00");
}

TEST_F(ReportsFixture, TillValuesAreTheBranchDataAndThePaidTotal) {
    const qint32 id = AddInvoice(1).id;
    const ReportJob ticket = *Informes::FacturaJob(id, Informes::Ticket);
    const QStringList values = ticket.sLabelsValues.split('|');
    ASSERT_EQ(values.size(), 7);
    EXPECT_EQ(values[0], GetBranchSetting("sNombreSucursal"));
    EXPECT_EQ(values[5], "B12345678");
    EXPECT_EQ(values[6], "12.10");
}

TEST_F(ReportsFixture, OnlyTheThreeLayoutsOfAnExistingInvoiceShowTheViewer) {
    const qint32 id = AddInvoice(1).id;
    for (int layout : {0, 4})
        Informes::Factura(id, layout);
    EXPECT_EQ(ui().ModalCount, 0);
    Informes::Factura(999999, Informes::Normal);
    EXPECT_EQ(ui().ModalCount, 0);
    EXPECT_TRUE(Shown(suite, "No existe la factura"));
    Informes::Factura(id, Informes::Ticket);
    EXPECT_EQ(ui().ModalCount, 1);
}
