// Loose food sold by the kilo: a quantity with decimals typed into the grid counts as typed in
// every figure of the document, from the line on screen to the accountant's book and the
// electronic invoice.
#include "BillingFixture.h"

#include "books/LibroFacturas.h"
#include "facturae/FacturaeEscritura.h"
#include "payment/FacturaInfo.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "reports/Viewer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// The texts of the elements named, in the order they first appear.
QString Elements(const QByteArray& xml, const QStringList& names) {
    QStringList texts;
    for (const QString& name : names)
        texts << QRegularExpression("<" + name + ">([^<]*)</" + name + ">")
                     .match(QString::fromUtf8(xml))
                     .captured(1);
    return texts.join('|');
}

TEST_F(BillingTest, AQuantityWithDecimalsCountsAsTypedInEveryFigure) {
    Open();
    ChoosePet(1); // Ana García López, who buys at level 1: the food at 10,00 € and 21 %
    DataAccess::instance().Execute(
        "DELETE FROM FacturasItems WHERE nIdCliente=1 AND (nIdFactura=0 OR nIdFactura IS NULL)");
    w->gd->Refresh();
    // units typed -> the grid's line and totals | the stored line | header | breakdown |
    // register record | printed | book | Facturae
    const struct {
        const char* typed;
        const char* figures;
    } cases[] = {
        {"2,5", "2,5|30,25|25,00 €|5,25 €|30,25 €\n2.5|25|5.25|30.25\n25|5.25|30.25\n25|5.25\n"
                "5.25|30.25\nprinted 2,5 30,25\n25.00|5.25|30.25\n2.50|25.00|5.25|30.25"},
        {"0,333",
         "0,333|4,03|3,33 €|0,70 €|4,03 €\n0.333|3.33|0.6993|4.03\n3.33|0.7|4.03\n3.33|0.7\n"
         "0.70|4.03\nprinted 0,333 4,03\n3.33|0.70|4.03\n0.333|3.33|0.70|4.03"},
        {"1,005", "1,005|12,16|10,05 €|2,11 €|12,16 €\n1.005|10.05|2.1105|12.16\n10.05|2.11|12.16\n"
                  "10.05|2.11\n2.11|12.16\nprinted 1,005 12,16\n10.05|2.11|12.16\n"
                  "1.005|10.05|2.11|12.16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const int row = NewLine();
        Type(row, "Producto Servicio", "Pienso adulto 3 kg");
        Type(row, "Unid", c.typed);
        QStringList figures{Cells(row, {"Unid", "Total"}) + "|" + w->lblTotalBI_MN->text() + "|" +
                            w->lblTotalIptos_MN->text() + "|" + w->lblTotalAFacturar_MN->text()};

        QString printed = "printed";
        suite.Ui().ModalActions.push_back([](QWidget& window) {
            QTest::mouseClick(window.findChild<QPushButton*>("FormatoNormal_BT"), Qt::LeftButton);
        });
        suite.Ui().ModalActions.push_back([&](QWidget& window) {
            const auto& document = dynamic_cast<Viewer&>(window).vp().Document();
            for (const QString& text : {QString(c.typed), w->gd->CellText(row, "Total")})
                if (!document.FindText(text).isEmpty())
                    printed += " " + text;
        });
        QTest::mouseClick(w->Frame()->findChild<QPushButton*>("GenerarFactura_BT"), Qt::LeftButton);
        const QString id = Table("SELECT MAX(nIdFactura) FROM Facturas");
        figures << Table("SELECT nUnidades,nBaseImp,nImpuestos,nTotal FROM FacturasItems WHERE "
                         "nIdFactura=" +
                         id)
                << Table("SELECT nBi_1,nIm_1,nTotal FROM Facturas WHERE nIdFactura=" + id)
                << Table("SELECT nBaseImponible,nCuota FROM FacturasDesglose WHERE nIdFactura=" +
                         id)
                << Table("SELECT sCuotaTotal,sImporteTotal FROM RegistrosFacturacion WHERE "
                         "nIdFactura=" +
                         id)
                << printed;
        for (const LibroFacturas::Linea& l :
             LibroFacturas::Leer(Gi.nFechaTrabajo, Gi.nFechaTrabajo).lineas)
            if (l.nIdFactura == id.toInt())
                figures << l.nBase.Text() + "|" + l.nCuota.Text() + "|" + l.nTotal.Text();
        figures << Elements(FacturaeEscritura::Xml(FacturaeEscritura::Leer(id.toInt())),
                            {"Quantity", "GrossAmount", "TotalTaxOutputs", "InvoiceTotal"});
        EXPECT_EQ(figures.join('\n').toStdString(), c.figures);
    }
}

} // namespace
