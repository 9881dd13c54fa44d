#include "ReportsFixture.h"

#include "register/RegistroFacturacion.h"
#include "support/ScannedPage.h"

#include <QRegularExpression>
#include <tuple>

namespace {

// 2 mm of white around the code, and its side between 30 and 40 mm, in twips.
constexpr double TwipsPerMm = 1440 / 25.4;
constexpr int Ring = int(2 * TwipsPerMm + 1);

QVector<const PageItem*> Codes(const Page& page) {
    QVector<const PageItem*> codes;
    for (const PageItem& item : page.items)
        if (item.kind == PageItem::QrCode)
            codes.append(&item);
    return codes;
}

} // namespace

class TaxQrTest : public ReportsFixture {
protected:
    // Records the invoice in the register as issuing it does, and answers the address its code
    // must hold.
    QString Register(const Invoice& invoice) {
        DataAccess::instance().Transaction(0);
        const RegistroFacturacion::Registro r = RegistroFacturacion::Registrar(invoice.id);
        DataAccess::instance().Transaction(1);
        return RegistroFacturacion::UrlQr(r.sIdEmisor, r.sNumSerie, r.sFechaExpedicion,
                                          r.sImporteTotal);
    }

    // The invoice exported to PDF as tvReport does.
    QString ExportPdf(const Invoice& invoice, const QString& layout) {
        const QString pdf = suite.Root() + "/" + layout + ".pdf";
        const Exported exported = Export(QString::number(invoice.id), layout, pdf);
        EXPECT_EQ(exported.status, 0) << exported.said.toStdString();
        return pdf;
    }
};

class TaxQrLayoutTest : public TaxQrTest,
                        public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

// A long invoice and a credit note in every layout: the code of its register record on the
// first page only, readable, of its size, with white around it and its caption before it.
TEST_P(TaxQrLayoutTest, FirstPageCarriesTheRegisterRecordsCodeWithWhiteAroundIt) {
    const auto [name, credit] = GetParam();
    const QString layout = name;
    const int number = layout == "Normal"      ? Informes::Normal
                       : layout == "Detallada" ? Informes::Detallada
                                               : Informes::Ticket;
    const Invoice invoice = credit ? AddInvoice(3, {.sign = -1}) : AddInvoice(60, {});
    const QString url = Register(invoice);
    // The values as the register stores them: the number URL-encoded, the date of issue, the
    // amount due with a point.
    EXPECT_EQ(url, "https://www2.agenciatributaria.gob.es/wlpl/TIKE-CONT/"
                   "ValidarQRNoVerifactu?nif=B12345678&numserie=0042%2F26&fecha=" +
                       QString(credit ? "12-03-2026" : "05-03-2026") +
                       "&importe=" + Utility::instance().SqlValue(invoice.Due(), 2, false));

    const ScannedPage scanned = ScanFirstPage(ExportPdf(invoice, layout));
    ASSERT_FALSE(scanned.image.isNull());
    EXPECT_EQ(scanned.codes, QStringList{url});

    const Printed shown = PrintInvoice(ui(), invoice.id, number);
    const PageModel& document = shown.document;
    ASSERT_EQ(document.PageCount() > 1, !credit && layout != "Ticket") << "a ticket is one roll";
    for (int p = 1; p < document.PageCount(); ++p)
        EXPECT_TRUE(Codes(document.PageAt(p)).isEmpty()) << "page " << p + 1;
    const QVector<const PageItem*> codes = Codes(document.PageAt(0));
    ASSERT_EQ(codes.size(), 1);
    const QRect square = codes[0]->rect;
    EXPECT_EQ(codes[0]->text, url);
    EXPECT_EQ(square.width(), square.height());
    EXPECT_GE(square.width(), 30 * TwipsPerMm);
    EXPECT_LE(square.width(), 40 * TwipsPerMm);
    const QRect white = square.adjusted(-Ring, -Ring, Ring, Ring);
    EXPECT_TRUE(QRect(QPoint(0, 0), document.PageAt(0).paper).contains(white));
    for (const PageItem& item : document.Items(0)) {
        // A line's rectangle has no height or no width: it takes a twip.
        const QRect area =
            item.kind == PageItem::Line ? item.rect.normalized().adjusted(0, 0, 1, 1) : item.rect;
        if (&item != codes[0]) {
            EXPECT_FALSE(area.intersects(white)) << item.text.toStdString();
        }
    }
    // The caption stands just before the code: above it or to its left.
    const PageItem* caption = document.FindItem("QR tributario:");
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(caption->rect.bottom() < square.top() || caption->rect.right() < square.left());
    EXPECT_LT((caption->rect.topRight() - square.topLeft()).manhattanLength(), 2 * Ring);

    // On paper, the dark modules fill the square and nothing dark lies in the white around it.
    const QRect box = scanned.DarkBox(ScannedPage::Pixels(white));
    const QRect pixels = ScannedPage::Pixels(square);
    EXPECT_LE((box.topLeft() - pixels.topLeft()).manhattanLength(), 2);
    EXPECT_LE((box.bottomRight() - pixels.bottomRight()).manhattanLength(), 2);
    EXPECT_GE(ScannedPage::Millimetres(box.width()), 30);
    EXPECT_LE(ScannedPage::Millimetres(box.width()), 40);

    // The plain text prints the address after the first page's text, cut to lines that fit the
    // printer like every other line.
    const QString firstPage = shown.text.section('\f', 0, 0);
    EXPECT_TRUE(firstPage.contains("QR tributario:"));
    const qsizetype from = firstPage.indexOf("\n\nhttps://");
    ASSERT_GE(from, 0) << firstPage.toStdString();
    EXPECT_EQ(firstPage.mid(from).remove('\n'), url);
    for (const QString& line : shown.text.split(QRegularExpression("[\n\f]")))
        EXPECT_LE(line.size(), layout == "Ticket" ? 40 : 80) << line.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Layouts, TaxQrLayoutTest,
                         ::testing::Combine(::testing::Values("Normal", "Detallada", "Ticket"),
                                            ::testing::Bool()));

// A folder made before the register has invoices without a record: they print without a code.
TEST_F(TaxQrTest, InvoiceWithoutARecordPrintsNoCode) {
    const Invoice invoice = AddInvoice(2);
    for (const int layout : {Informes::Normal, Informes::Detallada, Informes::Ticket}) {
        const Printed shown = PrintInvoice(ui(), invoice.id, layout);
        for (int p = 0; p < shown.document.PageCount(); ++p)
            EXPECT_TRUE(Codes(shown.document.PageAt(p)).isEmpty());
        EXPECT_FALSE(shown.text.contains("QR tributario"));
        EXPECT_FALSE(shown.text.contains("agenciatributaria"));
    }
    EXPECT_TRUE(ScanFirstPage(ExportPdf(invoice, "Normal")).codes.isEmpty());
}
