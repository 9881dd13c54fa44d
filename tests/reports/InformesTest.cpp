// The invoice print job's payment slots and label values.

#include "ReportsFixture.h"

#include "platform/report/ReportComponent.h"
#include "reports/Informes.h"
#include "reports/ReportBinding.h"

namespace {

void AddPayment(qint32 invoice, int type, const QString& amount) {
    DataAccess::instance().InsertRecord(
        "FacturasCobros", "nIdFactura,nIdCliente,nImporte,nIdTipoCobro",
        QString::number(invoice) + ",1," + amount + "," + QString::number(type));
}

} // namespace

// The slots of the detailed layout, and the till roll's branch data with the paid total.
TEST_F(ReportsFixture, PaymentSlotsForNoneFourAndMoreThanFourPayments) {
    const qint32 id = AddInvoice(3, {.payments = 0}).id;
    const auto values = [&](int layout = Informes::Detallada) {
        return Informes::FacturaJob(id, layout)->sLabelsValues;
    };
    EXPECT_EQ(values(), "||||||||0.00");

    AddPayment(id, 1, "10");
    AddPayment(id, 2, "0");
    AddPayment(id, 3, "5.505");
    AddPayment(id, 4, "2");
    EXPECT_EQ(values(), "Efectivo|Tarjeta|Transferencia|Bizum|10.00||5.51|2.00|17.51");
    EXPECT_EQ(values(Informes::Ticket),
              "Tavelo Centro|Calle Alfonso I, 12|Zaragoza|50003|976 123 456|B12345674|17.51");

    // A fifth payment leaves every slot empty, as the rest of the suite expects.
    AddPayment(id, 1, "1");
    EXPECT_EQ(values(), "||||||||0.00");
}

// Values from the database are texts, whatever they hold: a "|" never shifts the values after it
// and a "\" never turns one into a picture.
TEST_F(ReportsFixture, LabelValuesFromTheDatabaseBindAsTheyAre) {
    DataAccess& db = DataAccess::instance();
    db.UpdateRecord("ConfiguracionSucursales", "sValor", "'Tavelo | Centro'",
                    "nIdSucursal=1 AND sDato='sNombreSucursal'");
    db.UpdateRecord("TipoCobro", "sTipoCobro", "'Efec|tivo'", "nIdTipoCobro=1");
    db.UpdateRecord("TipoCobro", "sTipoCobro", "'C:\\tarjeta'", "nIdTipoCobro=2");
    const qint32 id = AddInvoice(1).id; // paid in cash and by card

    const auto bind = [&](int layout, ReportComponent& vsr) {
        ReportJob job = *Informes::FacturaJob(id, layout);
        ASSERT_TRUE(ReportBinding(vsr).Bind(job));
    };
    // Each field's text, framed so that a value holding "|" cannot pass for two.
    const auto texts = [](ReportComponent& vsr, const QStringList& names) {
        QString joined;
        for (const QString& name : names)
            joined += "[" + vsr.Field(name).Text() + "]";
        return joined;
    };
    ReportComponent ticket;
    bind(Informes::Ticket, ticket);
    EXPECT_EQ(texts(ticket, {"ClinicaNombre", "ClinicaDomicilio", "ClinicaPoblacion",
                             "ClinicaCodigoPostal", "ClinicaTelefono", "ClinicaNif", "Pagado"}),
              "[Tavelo | Centro][Calle Alfonso I, 12][Zaragoza][50003][976 123 456][B12345674]"
              "[12.10]");

    ReportComponent detallada;
    bind(Informes::Detallada, detallada);
    EXPECT_EQ(texts(detallada, {"sTipoCobro_1", "sTipoCobro_2", "nTipoCobro_1", "Pagado"}),
              "[Efec|tivo][C:\\tarjeta][6.05][12.10]");
    EXPECT_TRUE(detallada.Field("sTipoCobro_2").PictureImage().isNull());
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
