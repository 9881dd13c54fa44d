#include "ReportsFixture.h"

#include "platform/report/PageModel.h"
#include "platform/report/PreviewControl.h"
#include "reports/Informes.h"
#include "reports/InvoiceExport.h"
#include "reports/Viewer.h"

#include <QRegularExpression>
#include <QTextStream>
#include <tuple>

namespace {

struct Printed {
    QString text;
    PageModel document;
};

// Prints the invoice as the billing window does and keeps what the viewer showed.
Printed PrintInvoice(ScriptedUi& ui, qint32 id, int layout) {
    Printed shown;
    ui.ModalActions.push_back([&](QWidget& window) {
        auto& viewer = static_cast<Viewer&>(window);
        shown.text = viewer.sUltimoXmlEmitido;
        shown.document = viewer.vp().Document();
    });
    Informes::Factura(id, layout);
    return shown;
}

} // namespace

class InvoiceLayoutTest : public ReportsFixture,
                          public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(InvoiceLayoutTest, PrintsClientNumberDateEveryLineAndTotals) {
    const auto [layout, lines] = GetParam();
    const Invoice invoice = AddInvoice(lines);
    const Printed shown = PrintInvoice(ui(), invoice.id, layout);
    ASSERT_EQ(ui().ModalCount, 1);
    const QString& text = shown.text;
    EXPECT_TRUE(text.contains("María O'Neill")) << text.toStdString();
    EXPECT_TRUE(text.contains("0042/26"));
    EXPECT_TRUE(text.contains("05/03/2026"));
    for (const QString& line : invoice.descriptions)
        EXPECT_TRUE(text.contains(line)) << line.toStdString();
    EXPECT_TRUE(text.contains(Money(invoice.total)));
    if (layout != Informes::Ticket) {
        EXPECT_TRUE(text.contains(Money(invoice.base)));
        EXPECT_TRUE(text.contains(Money(invoice.tax)));
    }
    if (layout == Informes::Detallada) {
        EXPECT_TRUE(text.contains("Efectivo"));
        EXPECT_TRUE(text.contains("Tarjeta"));
    }
    if (layout == Informes::Ticket) {
        EXPECT_TRUE(text.contains("Tavelo Centro"));
        EXPECT_TRUE(text.contains("B12345678"));
    }
    if (lines == 40 && layout == Informes::Normal) {
        ASSERT_GE(shown.document.PageCount(), 2);
        bool headerOnSecondPage = false, clientOnSecondPage = false;
        for (const PageModel::Hit& hit : shown.document.FindText("Descripción", true))
            headerOnSecondPage = headerOnSecondPage || hit.page == 1;
        for (const PageModel::Hit& hit : shown.document.FindText("María O'Neill", true))
            clientOnSecondPage = clientOnSecondPage || hit.page == 1;
        EXPECT_TRUE(headerOnSecondPage);
        EXPECT_TRUE(clientOnSecondPage);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, InvoiceLayoutTest,
                         ::testing::Combine(::testing::Values(Informes::Normal, Informes::Detallada,
                                                              Informes::Ticket),
                                            ::testing::Values(1, 3, 40)));

TEST_F(ReportsFixture, EmptyRateSlotsPrintNothingAndCreditNotesPrintNegative) {
    const Invoice single = AddInvoice(1);
    const Printed one = PrintInvoice(ui(), single.id, Informes::Normal);
    EXPECT_TRUE(one.document.FindText("0.00", true).isEmpty());
    EXPECT_TRUE(one.document.FindText("0", true).isEmpty());

    const Invoice credit = AddInvoice(3, -1);
    const Printed note = PrintInvoice(ui(), credit.id, Informes::Normal);
    EXPECT_LT(credit.total, 0);
    EXPECT_TRUE(note.text.contains("ABONO"));
    EXPECT_TRUE(note.text.contains(Money(credit.total)));
}

TEST_F(ReportsFixture, UnattendedExportWritesEachLayoutOnItsPaper) {
    const Invoice invoice = AddInvoice(40);
    struct Case {
        const char* layout;
        double widthMm, heightMm;
    };
    for (const Case& c :
         {Case{"Normal", 210, 101.6}, Case{"Detallada", 210, 297}, Case{"ticket", 75, 100}}) {
        const QString pdf = suite.Root() + "/" + c.layout + ".pdf";
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        ASSERT_EQ(InvoiceExport::Run(suite.IniPath(), QString::number(invoice.id), c.layout, pdf,
                                     outStream, errStream),
                  0)
            << err.toStdString();
        EXPECT_TRUE(QRegularExpression("^pages: [2-9]\\n$").match(out).hasMatch())
            << out.toStdString();
        const QStringList size = PdfPageSize(pdf).split(' ');
        ASSERT_GE(size.size(), 3) << c.layout;
        EXPECT_NEAR(size[0].toDouble(), c.widthMm * 72 / 25.4, 0.5) << c.layout;
        EXPECT_NEAR(size[2].toDouble(), c.heightMm * 72 / 25.4, 0.5) << c.layout;
    }
    const QString text = suite.Root() + "/factura.txt";
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    ASSERT_EQ(InvoiceExport::Run(suite.IniPath(), QString::number(invoice.id), "Normal", text,
                                 outStream, errStream),
              0);
    EXPECT_TRUE(ReadAll(text).contains("María O'Neill"));

    // Bad requests say why and write nothing.
    const QString none = suite.Root() + "/none.pdf";
    EXPECT_EQ(InvoiceExport::Run(suite.IniPath(), "999999", "Normal", none, outStream, errStream),
              1);
    EXPECT_TRUE(err.contains("No existe la factura"));
    EXPECT_FALSE(QFile::exists(none));
}
