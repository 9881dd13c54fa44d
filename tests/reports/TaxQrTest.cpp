// The register record's QR code on an invoice's first page, and no code without a record.

#include "ReportsFixture.h"

#include "register/RegistroFacturacion.h"
#include "support/ScannedPage.h"

#include <QFile>
#include <QMultiMap>
#include <QRectF>
#include <QRegularExpression>
#include <cmath>
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
    QString Register(const Invoice& invoice, bool verifactu = false) {
        DataAccess::instance().Transaction(TransactionStep::Begin);
        const RegistroFacturacion::Registro r = RegistroFacturacion::Registrar(invoice.id);
        DataAccess::instance().Transaction(TransactionStep::Commit);
        return RegistroFacturacion::UrlQr(r.sIdEmisor, r.sNumSerie, r.sFechaExpedicion,
                                          r.sImporteTotal, verifactu);
    }

    // The invoice exported to PDF as tvReport does.
    QString ExportPdf(const Invoice& invoice, const QString& layout) {
        const QString pdf = suite.Root() + "/" + layout + ".pdf";
        const Exported exported = Export(QString::number(invoice.id), layout, pdf);
        EXPECT_EQ(exported.status, 0) << exported.said.toStdString();
        return pdf;
    }
};

namespace {

// The words of a PDF's first page where pdftotext finds them, in points from the paper's corner.
QMultiMap<QString, QRectF> Words(const QString& pdf) {
    const QString html =
        RunProgram("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"}).replace("&amp;", "&");
    static const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    QMultiMap<QString, QRectF> words;
    for (const QRegularExpressionMatch& m : word.globalMatch(html))
        words.insert(m.captured(5),
                     QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                            QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())));
    return words;
}

} // namespace

class TaxQrLayoutTest : public TaxQrTest,
                        public ::testing::WithParamInterface<std::tuple<const char*, bool, bool>> {
};

// A long invoice and a credit note in every layout and both modes of the register: the code of
// its record on the first page only, before the document's content (centred, or at the top left
// of the receipt paper), readable, of its size, with white around it and its caption above it;
// the legend of a register that sends its records just below it.
TEST_P(TaxQrLayoutTest, FirstPageCarriesTheRegisterRecordsCodeWithWhiteAroundIt) {
    const auto [name, credit, verifactu] = GetParam();
    const QString layout = name;
    const int number = layout == "Normal"      ? Informes::Normal
                       : layout == "Detallada" ? Informes::Detallada
                                               : Informes::Ticket;
    if (verifactu) {
        suite.DropVeriFactuSection();
        QFile ini(suite.IniPath());
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write("\n[VeriFactu]\nModo=VERIFACTU\n");
    }
    const Invoice invoice = credit ? AddInvoice(3, {.sign = -1}) : AddInvoice(60, {});
    const QString url = Register(invoice, verifactu);
    // The values as the register stores them: the number URL-encoded, the date of issue, the
    // amount due with a point.
    EXPECT_EQ(url, "https://www2.agenciatributaria.gob.es/wlpl/TIKE-CONT/" +
                       QString(verifactu ? "ValidarQR" : "ValidarQRNoVerifactu") +
                       "?nif=B12345674&numserie=0042%2F26&fecha=" +
                       QString(credit ? "12-03-2026" : "05-03-2026") +
                       "&importe=" + Utility::instance().SqlValue(invoice.Due(), 2, false));

    const QString pdf = ExportPdf(invoice, layout);
    const ScannedPage scanned = ScanFirstPage(pdf);
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

    // On paper, the dark modules fill the square and nothing dark lies in the white around it.
    const QRect box = scanned.DarkBox(ScannedPage::Pixels(white));
    const QRect pixels = ScannedPage::Pixels(square);
    EXPECT_LE((box.topLeft() - pixels.topLeft()).manhattanLength(), 2);
    EXPECT_LE((box.bottomRight() - pixels.bottomRight()).manhattanLength(), 2);
    EXPECT_GE(ScannedPage::Millimetres(box.width()), 30);
    EXPECT_LE(ScannedPage::Millimetres(box.width()), 40);

    // Where the text lies on paper: the caption over the code and the legend under it, both
    // centred on it, the legend in type no smaller than the client's town beside it.
    const QMultiMap<QString, QRectF> words = Words(pdf);
    const double points = 72.0 / ScannedPage::Dpi;
    const QRectF code(QPointF(box.left() * points, box.top() * points),
                      QPointF((box.right() + 1) * points, (box.bottom() + 1) * points));
    const auto centred = [&](const QRectF& a, const QRectF& b) {
        return std::abs(a.center().x() - code.center().x()) < 2 &&
               std::abs(b.center().x() - code.center().x()) < 2;
    };
    const double mm = 72 / 25.4;
    ASSERT_TRUE(words.contains("QR") && words.contains("tributario:"));
    const QRectF caption = words.value("QR") | words.value("tributario:");
    if (layout == "Normal") {
        // At the top left of a paper 101.6 mm high: under the logo, within the left margin, in
        // the left half of the page, and the header beside it.
        const double leftMargin = 1080 / 20.0, logoBottom = (283 + 1155) / 20.0;
        EXPECT_GE(code.left(), leftMargin);
        EXPECT_LT(code.right(), scanned.image.width() * points / 2);
        EXPECT_GT(code.top(), logoBottom);
        EXPECT_GT(words.value("FACTURA").left(), code.right() + 2 * mm);
        EXPECT_LT(words.value("FACTURA").top(), code.bottom());
    } else {
        // Centred between the margins, the paper's margins being alike.
        EXPECT_NEAR(code.center().x(), scanned.image.width() * points / 2, 1 * mm);
    }
    EXPECT_TRUE(centred(caption, caption));
    EXPECT_LT(caption.bottom(), code.top() - 2 * mm);
    EXPECT_GT(caption.bottom(), code.top() - 8 * mm);
    // Before the document's content: the lines start under the code and its legend.
    EXPECT_GT(words.value("Descripción").top(), code.bottom() + 2 * mm);
    const QString text = RunProgram("pdftotext", {"-layout", pdf, "-"});
    EXPECT_EQ(text.contains("VERI*FACTU"), verifactu) << text.toStdString();
    EXPECT_EQ(text.simplified().contains("Factura verificable en la sede electrónica de la AEAT"),
              verifactu);
    if (verifactu) {
        const QRectF title = words.value("VERI*FACTU");
        const QRectF sentence = words.value("Factura") | words.value("AEAT");
        EXPECT_TRUE(centred(title, sentence));
        EXPECT_GT(title.top(), code.bottom() + 2 * mm);
        EXPECT_LT(title.top(), code.bottom() + 8 * mm);
        EXPECT_GT(sentence.top(), title.bottom() - 1);
        EXPECT_LT(sentence.bottom(), words.value("Descripción").top());
        EXPECT_GE(sentence.height(), words.value("Alcañiz").height() - 0.1);
    }

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
                                            ::testing::Bool(), ::testing::Bool()));

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
