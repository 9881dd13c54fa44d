// The invoice layouts as printed and exported: parties, lines, totals and every kind of document.

#include "ReportsFixture.h"

#include "invoicing/core/DocumentoVenta.h"
#include "platform/report/HtmlWriter.h"
#include "platform/report/PdfWriter.h"
#include "platform/report/RtfWriter.h"
#include "register/RegistroFacturacion.h"
#include "support/NoWriteAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>

namespace {

// An amount as a Spanish reader writes it: "1.234,56".
QString Spanish(double value) {
    QString text = QString::number(std::abs(value), 'f', 2).replace('.', ',');
    for (qsizetype i = text.indexOf(',') - 3; i > 0; i -= 3)
        text.insert(i, '.');
    return value < 0 ? "-" + text : text;
}

double ReadSpanish(QString text) {
    return text.remove('.').replace(',', '.').toDouble();
}

const QRegularExpression TrailingAmount(R"((-?[\d.]+,\d\d)( €)?$)");

// The amount that ends the first text line where it follows label; NaN when there is none.
double AmountAfter(const QString& text, const QString& label) {
    const QRegularExpression after("\\b" + label + R"(\s+(-?[\d.]+,\d\d)( €)?$)",
                                   QRegularExpression::MultilineOption);
    const auto amount = after.match(text);
    return amount.hasMatch() ? ReadSpanish(amount.captured(1)) : std::nan("");
}

// The lines' rows of the plain text, page by page: every row under the column titles that ends
// in an amount, up to the totals. A wrapped description's further rows have none.
QStringList LineRows(const QString& text) {
    static const QRegularExpression end(R"(^\s*(% IVA|Desglose|Descuento|TOTAL|Página))");
    QStringList rows;
    for (const QString& page : text.split('\f')) {
        bool inLines = false;
        for (const QString& line : page.split('\n')) {
            if (line.contains("Descripción")) {
                inLines = true;
            } else if (inLines && end.match(line).hasMatch()) {
                break;
            } else if (inLines && TrailingAmount.match(line).hasMatch()) {
                rows << line;
            }
        }
    }
    return rows;
}

// The breakdown by rate as the plain text prints it, and the totals of base and IVA (NaN where
// the layout prints none). The receipt lays it across: a row of rates, one of bases and one of
// taxes, with their totals in a last column when there is more than one rate; the other layouts
// print a row per rate.
struct Breakdown {
    QVector<double> rates, bases, taxes;
    double base = std::nan(""), tax = std::nan("");
};

Breakdown ReadBreakdown(const QString& text, int layout) {
    Breakdown read;
    if (layout != Informes::Normal) {
        const QRegularExpression rateRow(R"(^\s+(\d+)\s+(-?[\d.]+,\d\d)\s+(-?[\d.]+,\d\d)\b)",
                                         QRegularExpression::MultilineOption);
        for (auto row = rateRow.globalMatch(text); row.hasNext();) {
            const auto match = row.next();
            read.rates << match.captured(1).toDouble();
            read.bases << ReadSpanish(match.captured(2));
            read.taxes << ReadSpanish(match.captured(3));
        }
        if (layout == Informes::Detallada) {
            read.base = AmountAfter(text, "Base imponible");
            read.tax = AmountAfter(text, "IVA");
        }
        return read;
    }
    // The figures of the row that starts with label, up to the totals beside it.
    const auto across = [&](const QString& label) {
        const QRegularExpression row("^" + label + "(.*)$", QRegularExpression::MultilineOption);
        static const QRegularExpression totals(R"(\s(Total|Descuento|TOTAL)\b)");
        static const QRegularExpression figure(R"((?:^|\s)(-?[\d.]+(?:,\d+)?)(?=\s|$))");
        QVector<double> figures;
        const QString rest = row.match(text).captured(1).section(totals, 0, 0);
        for (auto found = figure.globalMatch(rest); found.hasNext();)
            figures << ReadSpanish(found.next().captured(1));
        return figures;
    };
    read.rates = across("% IVA");
    read.bases = across("Base imponible");
    read.taxes = across("Cuota");
    read.base = read.bases.value(read.bases.size() - 1, std::nan(""));
    read.tax = read.taxes.value(read.taxes.size() - 1, std::nan(""));
    if (read.rates.size() > 1) {
        read.bases.removeLast();
        read.taxes.removeLast();
    }
    return read;
}

} // namespace

class InvoiceLayoutTest : public ReportsFixture,
                          public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(InvoiceLayoutTest, IssuerClientEveryLineAndTotalsThatAddUp) {
    const auto [layout, lines] = GetParam();
    const bool large = lines > 1;
    const Invoice invoice =
        AddInvoice(lines, {.discount = large ? 5.0 : 0.0, .longDescription = large});
    const Printed shown = PrintInvoice(ui(), invoice.id, layout);
    ASSERT_EQ(ui().ModalCount, 1);
    const QString& text = shown.text;
    const bool ticket = layout == Informes::Ticket;
    QString expected =
        "Clínica Veterinaria Tavelo S.L.|B12345674|FACTURA|0042/26|05/03/2026|María O'Neill|";
    expected += ticket ? "Tavelo Centro|Total pagado"
                       : "NIF 12345678Z|C/ Mayor 5|44600 Alcañiz (Teruel)|Calle Alfonso I, 12|"
                         "50003 Zaragoza|976 123 456|% IVA";
    // Read as words: a narrow column may wrap a long name in plain text as on paper.
    for (const QString& part : expected.split('|'))
        EXPECT_TRUE(text.simplified().contains(part)) << part.toStdString() << "\n"
                                                      << text.toStdString();
    EXPECT_FALSE(text.contains("RECTIFICATIVA") || text.contains("Rectifica") ||
                 text.contains("Motivo"));

    // Every line once with its rate (the till roll lists the rates below) and total.
    const QStringList rows = LineRows(text);
    ASSERT_EQ(rows.size(), lines) << text.toStdString();
    double sum = 0;
    for (const QString& row : rows)
        sum += ReadSpanish(TrailingAmount.match(row).captured(1));
    for (int i = 0; i < lines; ++i) {
        const QString start = invoice.descriptions[i].left(16);
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const QString& row) { return row.contains(start); });
        ASSERT_NE(row, rows.end()) << start.toStdString();
        const QString rate = QString::number(invoice.rates[i]);
        const QString total = Spanish(invoice.totals[i]);
        const QString pattern = layout == Informes::Normal      ? rate + R"(\s+)" + total
                                : layout == Informes::Detallada ? rate + R"(\s+\S+\s+)" + total
                                                                : total;
        EXPECT_TRUE(QRegularExpression(" " + pattern + "$").match(*row).hasMatch())
            << row->toStdString();
    }
    // The lines, the discount and the amount due add up on the paper.
    EXPECT_NEAR(sum, invoice.total, 0.005);
    const double due = AmountAfter(text, "TOTAL");
    EXPECT_NEAR(due, invoice.Due(), 0.005);
    EXPECT_TRUE(text.contains(Spanish(invoice.Due()) + " €"));
    if (large) {
        EXPECT_GT(invoice.Due(), 1000); // printed with a thousands point
        EXPECT_NEAR(AmountAfter(text, "Descuento"), -5, 0.005);
    } else {
        EXPECT_FALSE(text.contains("Descuento"));
        // A one-rate invoice prints no empty rate slots.
        EXPECT_TRUE(shown.document.FindText("0,00", true).isEmpty());
    }
    // The discount is in the taxable bases: every rate's base and tax, and the totals' base and
    // IVA, add up to the amount due.
    const Breakdown breakdown = ReadBreakdown(text, layout);
    QVector<double> rates = breakdown.rates;
    std::sort(rates.begin(), rates.end());
    const QVector<double> printed = lines >= 3 ? QVector<double>{4, 10, 21} : QVector<double>{21};
    EXPECT_EQ(rates, printed) << text.toStdString();
    ASSERT_EQ(breakdown.bases.size(), breakdown.rates.size()) << text.toStdString();
    ASSERT_EQ(breakdown.taxes.size(), breakdown.rates.size()) << text.toStdString();
    double perRate = 0;
    for (qsizetype i = 0; i < breakdown.rates.size(); ++i)
        perRate += breakdown.bases[i] + breakdown.taxes[i];
    EXPECT_NEAR(perRate, due, 0.005);
    if (!ticket) {
        EXPECT_NEAR(breakdown.base + breakdown.tax, due, 0.005);
    }

    // Plain text fits the printer: 80 columns, 40 on the till roll.
    for (const QString& line : text.split(QRegularExpression("[\n\f]")))
        EXPECT_LE(line.size(), ticket ? 40 : 80) << line.toStdString();

    // A long description wraps inside its column, and the amounts keep their place.
    if (large) {
        const PageItem* description = shown.document.FindItem(LongDescription);
        const PageItem* units = shown.document.FindItem("1");
        ASSERT_NE(description, nullptr);
        ASSERT_NE(units, nullptr);
        EXPECT_GT(description->rect.height(), 300);
        EXPECT_LE(description->rect.right(), units->rect.left());
        EXPECT_TRUE(description->wrap);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, InvoiceLayoutTest,
                         ::testing::Combine(::testing::Values(Informes::Normal, Informes::Detallada,
                                                              Informes::Ticket),
                                            ::testing::Values(1, 60)));

// The receipt paper is 101.6 mm high and only its first page carries the tax QR beside the
// header: how many lines each page of Normal holds, with the totals ("+") closing the last and
// never alone on it, in both modes of the register (the legend's room is kept without sending).
// Six lines on the first page, three beside the totals; seventeen on the next, fourteen.
TEST_F(ReportsFixture, NormalFirstPageHoldsSixLinesAndTheNextSeventeen) {
    struct Case {
        int lines;
        const char* pages;
    };
    for (const bool verifactu : {false, true}) {
        if (verifactu) {
            QFile ini(suite.IniPath());
            ASSERT_TRUE(ini.open(QIODevice::Append));
            ini.write("\n[VeriFactu]\nModo=VERIFACTU\n");
        }
        for (const Case& c : {Case{2, "2+"}, Case{3, "3+"}, Case{4, "3 1+"}, Case{12, "6 6+"},
                              Case{20, "6 14+"}, Case{25, "6 17 2+"}}) {
            const Invoice invoice = AddInvoice(c.lines);
            DataAccess::instance().Transaction(TransactionStep::Begin);
            RegistroFacturacion::Registrar(invoice.id);
            DataAccess::instance().Transaction(TransactionStep::Commit);
            const PageModel document = PrintInvoice(ui(), invoice.id, Informes::Normal).document;
            QStringList pages;
            for (int p = 0; p < document.PageCount(); ++p) {
                const QVector<PageItem>& items = document.Items(p);
                const auto count = std::count_if(items.begin(), items.end(), [](const PageItem& i) {
                    return i.text.startsWith("Artículo");
                });
                const bool totals = std::any_of(items.begin(), items.end(), [](const PageItem& i) {
                    return i.text == "TOTAL";
                });
                pages << QString::number(count) + (totals ? "+" : "");
            }
            EXPECT_EQ(pages.join(' ').toStdString(), c.pages)
                << c.lines << " lines, VERI*FACTU " << verifactu;
        }
    }
}

class CreditNoteLayoutTest : public ReportsFixture, public ::testing::WithParamInterface<int> {};

TEST_P(CreditNoteLayoutTest, NamesTheInvoiceItRectifiesAndItsOwnDate) {
    const int layout = GetParam();
    const Invoice credit = AddInvoice(3, {.sign = -1});
    DataAccess::instance().InsertRecord("FacturasRectificativas", "nIdFactura,sMotivo,sTextoMotivo",
                                        QString::number(credit.id) +
                                            ",'R3','Impago de O''Brien desde 2025'");
    const Printed shown = PrintInvoice(ui(), credit.id, layout);
    const QString& text = shown.text;
    // The reason, with what its code covers, whole in one field however narrow the paper.
    EXPECT_NE(shown.document.FindItem("Motivo: R3 (art. 80 Cuatro LIVA, créditos incobrables): "
                                      "Impago de O'Brien desde 2025"),
              nullptr)
        << text.toStdString();
    EXPECT_TRUE(text.contains("FACTURA RECTIFICATIVA")) << text.toStdString();
    // Its own number and date of issue; the credited invoice's number and date.
    EXPECT_TRUE(text.contains("0042/26"));
    EXPECT_TRUE(QRegularExpression(R"(Fecha\s+12/03/2026)").match(text).hasMatch())
        << text.toStdString();
    EXPECT_TRUE(QRegularExpression(R"(Rectifica\s+0041/26\s+de( fecha)?\s+05/03/2026)")
                    .match(text)
                    .hasMatch())
        << text.toStdString();
    EXPECT_NEAR(AmountAfter(text, "TOTAL"), credit.total, 0.005);
    if (layout != Informes::Normal) {
        EXPECT_TRUE(text.contains("Total devuelto"));
        EXPECT_FALSE(text.contains("Total pagado"));
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CreditNoteLayoutTest,
                         ::testing::Values(Informes::Normal, Informes::Detallada,
                                           Informes::Ticket));

// A series of ten characters: the document's number and the one it rectifies print whole in
// every output of every layout, and only a reprint says "COPIA", on each of its pages.
class LongNumberLayoutTest : public ReportsFixture, public ::testing::WithParamInterface<int> {};

TEST_P(LongNumberLayoutTest, NumbersPrintWholeAndOnlyReprintsSayCopia) {
    const int layout = GetParam();
    const QString series = "CENTROVET1";
    const Invoice credit = AddInvoice(40, {.sign = -1, .series = series});
    const QString rectified = series + "0041/26";
    ASSERT_EQ(credit.number, series + "0042/26");
    const Printed original = PrintInvoice(ui(), credit.id, layout);
    const Printed copy = PrintInvoice(ui(), credit.id, layout, Informes::Impresion::Copia);
    ASSERT_GT(copy.document.PageCount(), layout == Informes::Ticket ? 0 : 1);

    const QString pdf = suite.Root() + "/copia.pdf";
    ASSERT_TRUE(PdfWriter().Write(copy.document, pdf));
    const QString outputs[] = {copy.text, RunProgram("pdftotext", {"-layout", pdf, "-"}),
                               QString::fromLatin1(RtfWriter::ToRtf(copy.document)),
                               HtmlWriter::ToHtml(copy.document)};
    for (const QString& output : outputs) {
        EXPECT_TRUE(output.contains(credit.number)) << output.toStdString();
        EXPECT_TRUE(output.contains(rectified)) << output.toStdString();
    }
    EXPECT_TRUE(QRegularExpression("Rectifica\\s+" + rectified + "\\s+de( fecha)?\\s+05/03/2026")
                    .match(copy.text)
                    .hasMatch())
        << copy.text.toStdString();

    const auto pagesSaying = [](const PageModel& document) {
        QVector<int> pages;
        for (const PageModel::Hit& hit : document.FindText("COPIA", true))
            pages << hit.page;
        return pages;
    };
    QVector<int> every(copy.document.PageCount());
    std::iota(every.begin(), every.end(), 0);
    EXPECT_EQ(pagesSaying(copy.document), every);
    EXPECT_EQ(pagesSaying(original.document), QVector<int>{});
    EXPECT_FALSE(original.text.contains("COPIA"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, LongNumberLayoutTest,
                         ::testing::Values(Informes::Normal, Informes::Detallada,
                                           Informes::Ticket));

class SimplifiedLayoutTest : public ReportsFixture, public ::testing::WithParamInterface<int> {};

TEST_P(SimplifiedLayoutTest, SaysWhatItIsAndThatThePricesIncludeVat) {
    const Invoice sale = AddInvoice(2);
    DataAccess::instance().Execute("UPDATE Facturas SET sTipoFactura='F2' WHERE nIdFactura=" +
                                   QString::number(sale.id));
    const Printed shown = PrintInvoice(ui(), sale.id, GetParam());
    EXPECT_NE(shown.document.FindItem("FACTURA SIMPLIFICADA"), nullptr) << shown.text.toStdString();
    EXPECT_NE(shown.document.FindItem("IVA incluido en los precios y el total."), nullptr);
    EXPECT_NEAR(AmountAfter(shown.text, "TOTAL"), sale.total, 0.005);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SimplifiedLayoutTest,
                         ::testing::Values(Informes::Normal, Informes::Detallada,
                                           Informes::Ticket));

TEST_F(ReportsFixture, UnattendedExportWritesEachLayoutOnItsPaperWithItsTitle) {
    const Invoice invoice = AddInvoice(60, {.discount = 5, .longDescription = true});
    const auto run = [&](const QString& layout, const QString& path) {
        return Export(QString::number(invoice.id), layout, path).said;
    };
    struct Case {
        const char* layout;
        double widthMm, heightMm;
    };
    for (const Case& c :
         {Case{"Normal", 210, 101.6}, Case{"Detallada", 210, 297}, Case{"ticket", 75, 100}}) {
        const QString pdf = suite.Root() + "/" + c.layout + ".pdf";
        const QString out = run(c.layout, pdf);
        // Sheets of their paper, but the till's roll: one page as long as the sale.
        const bool roll = QString(c.layout) == "ticket";
        EXPECT_TRUE(QRegularExpression(roll ? "^pages: 1\\n$" : "^pages: ([2-9]|[1-9]\\d+)\\n$")
                        .match(out)
                        .hasMatch())
            << out.toStdString();
        const QStringList size = PdfPageSize(pdf).split(' ');
        ASSERT_GE(size.size(), 3) << c.layout;
        EXPECT_NEAR(size[0].toDouble(), c.widthMm * 72 / 25.4, 0.5) << c.layout;
        if (roll)
            EXPECT_GT(size[2].toDouble(), 3 * c.heightMm * 72 / 25.4) << "60 lines";
        else
            EXPECT_NEAR(size[2].toDouble(), c.heightMm * 72 / 25.4, 0.5) << c.layout;
        EXPECT_TRUE(RunProgram("pdfinfo", {pdf})
                        .contains(QRegularExpression("Title:\\s+Factura 0042/26\\n")));
        // The wrapped description is all there, cut at blanks only.
        const QString words = RunProgram("pdftotext", {pdf, "-"}).simplified();
        EXPECT_TRUE(words.contains(LongDescription)) << c.layout;
        EXPECT_TRUE(words.contains(Spanish(invoice.Due()) + " €")) << c.layout;

        const QString htm = suite.Root() + "/" + c.layout + ".htm";
        run(c.layout, htm);
        const QString html = ReadAll(htm);
        EXPECT_EQ(html.count("@page"), 1) << c.layout;
        EXPECT_TRUE(html.contains("<title>Factura 0042/26</title>"));
    }

    // By its number as the desk reads it, too; bad requests say why and write nothing.
    EXPECT_EQ(Export("0042/26", "Normal", suite.Root() + "/0042-26.pdf").status, 0);
    const QString none = suite.Root() + "/none.pdf";
    for (const char* absent : {"999999", "Z9999/26"}) {
        const Exported missing = Export(absent, "Normal", none);
        EXPECT_EQ(missing.status, 1);
        EXPECT_TRUE(missing.said.contains("No existe la factura")) << absent;
        EXPECT_FALSE(QFile::exists(none));
    }
}

// The RTF export as a word processor reads it, through LibreOffice where this machine has it
// (scripts/deps --office installs it). The bands behind the white column titles and the TOTAL
// must be there, also under the titles' own frames, or the titles are white on white.
TEST_F(ReportsFixture, RtfReadsInAWordProcessorWithTheBandsBehindItsWhiteTitles) {
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed; scripts/deps --office installs it";
    const Invoice invoice = AddInvoice(3, {.discount = 5});
    QTemporaryDir profile;
    const QString due = Spanish(invoice.Due()) + " €";
    struct Case {
        int layout;
        QStringList titles, white;
    };
    for (const Case& c : {Case{Informes::Normal,
                               {"Descripción", "Unid.", "Precio sin IVA", "% IVA", "Total con IVA"},
                               {"Descripción", "Total con IVA"}},
                          Case{Informes::Detallada,
                               {"Código", "Descripción", "Precio", "Base", "% IVA", "IVA", "Total"},
                               {"Descripción", "TOTAL"}}}) {
        const int layout = c.layout;
        const QString name = layout == Informes::Normal ? "Normal" : "Detallada";
        const QString rtf = suite.Root() + "/" + name + ".rtf";
        const Exported exported = Export(QString::number(invoice.id), name, rtf);
        ASSERT_EQ(exported.status, 0) << exported.said.toStdString();
        RunProgram(soffice,
                   {"-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(),
                    "--headless", "--convert-to", "pdf", "--outdir", suite.Root(), rtf},
                   180000);
        const QString pdf = suite.Root() + "/" + name + ".pdf";
        const QString text = RunProgram("pdftotext", {"-layout", pdf, "-"});
        ASSERT_TRUE(text.contains(QRegularExpression("TOTAL\\s+" + due))) << text.toStdString();
        for (const QString& title : c.titles)
            EXPECT_TRUE(text.contains(title)) << title.toStdString();

        // At 72 dots per inch a dot is 20 twips. Look inside each white title's frame, past its
        // text: the band's colour must show there.
        RunProgram("pdftoppm", {"-r", "72", "-png", "-singlefile", pdf, suite.Root() + "/" + name});
        const QImage page(suite.Root() + "/" + name + ".png");
        ASSERT_FALSE(page.isNull());
        const PageModel document = PrintInvoice(ui(), invoice.id, layout).document;
        for (const QString& white : c.white) {
            const PageItem* title = document.FindItem(white);
            ASSERT_NE(title, nullptr);
            ASSERT_EQ(title->color, QColor(Qt::white));
            const int quarter = title->rect.width() / 4;
            const int x = title->alignment & Qt::AlignRight ? title->rect.left() + quarter
                                                            : title->rect.right() - quarter;
            const QPoint inside(x / 20, title->rect.center().y() / 20);
            EXPECT_LT(page.pixelColor(inside).lightness(), 100)
                << name.toStdString() << " " << white.toStdString();
        }
    }
}

// The export only reads: it refuses a data folder without a database rather than making an
// empty one, and it reads a data folder it may not write to.
TEST_F(ReportsFixture, UnattendedExportOnlyReadsTheDataFolder) {
    const Invoice invoice = AddInvoice(3);
    DataAccess::instance().Close();
    QTemporaryDir empty;
    QFile ini(empty.filePath("Tavelo.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Database]\nDataPath=.\n");
    ini.close();
    const Exported refused = Export("1", "Normal", empty.filePath("f.pdf"), ini.fileName());
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.said.contains("No se encuentra la base de datos"))
        << refused.said.toStdString();
    EXPECT_EQ(QDir(empty.path()).entryList(QDir::Files), QStringList{"Tavelo.ini"});

    const QString scratch = QFileInfo(suite.Root()).path();
    const QString output = scratch + "/salida";
    const NoWriteAccessRun run =
        RunWithoutWriteAccess(QCoreApplication::applicationDirPath() + "/tvReport",
                              {"--ini", suite.IniPath(), "--invoice", QString::number(invoice.id),
                               "--layout", "Ticket", "--out", output + "/ticket.txt"},
                              scratch, suite.DataDir(), output);
    if (!run.skipped.isEmpty())
        GTEST_SKIP() << run.skipped.toStdString();
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("pages: ")) << run.out.toStdString();
    EXPECT_TRUE(ReadAll(output + "/ticket.txt").contains(Spanish(invoice.Due())));
}

// The longest customer texts the payment dialog accepts print in every layout with every line;
// a text that would make the page header taller than the page is a refusal in the window, not the
// end of the module.
class CustomerTextLayoutTest : public ReportsFixture, public ::testing::WithParamInterface<int> {};

TEST_P(CustomerTextLayoutTest, TheLongestAcceptedTextsPrintAndLongerOnesAreRefused) {
    const int layout = GetParam();
    const Invoice invoice = AddInvoice(12);
    const auto words = [](const QString& word, int length) {
        QString text;
        while (text.size() + word.size() + 1 <= length)
            text += (text.isEmpty() ? "" : " ") + word;
        return text.leftJustified(length, 'x');
    };
    const QString where = " WHERE nIdFactura=" + QString::number(invoice.id);
    const int shortPages = PrintInvoice(ui(), invoice.id, layout).document.PageCount();
    const QString name = words("Protectora", MaxNombreCliente);
    const QString address = words("Carretera", MaxDomicilioCliente);
    DataAccess::instance().Execute("UPDATE Facturas SET sCliente='" + name + "', sDomicilio='" +
                                   address + "'" + where);
    const Printed shown = PrintInvoice(ui(), invoice.id, layout);
    EXPECT_LE(shown.document.PageCount(), shortPages + 1);
    const QString text = shown.text.simplified();
    // Later pages of the Normal layout repeat the name, not the address.
    EXPECT_EQ(text.count("Protectora") % name.count("Protectora"), 0) << text.toStdString();
    EXPECT_EQ(text.count("Carretera"), address.count("Carretera")) << text.toStdString();
    for (const QString& description : invoice.descriptions)
        EXPECT_TRUE(text.contains(description)) << description.toStdString();
    EXPECT_NEAR(AmountAfter(shown.text, "TOTAL"), invoice.total, 0.005);

    DataAccess::instance().Execute("UPDATE Facturas SET sCliente='" + words("Nombre", 20000) + "'" +
                                   where);
    ui().Shown.clear();
    const int shownBefore = ui().ModalCount;
    EXPECT_NO_THROW(Informes::Factura(invoice.id, layout));
    // A receipt's roll is as long as its document: only sheets refuse.
    const bool roll = layout == Informes::Ticket;
    EXPECT_EQ(ui().Shown.join('\n').contains("No se puede mostrar el informe"), !roll)
        << ui().Shown.join('\n').toStdString();
    EXPECT_EQ(ui().ModalCount, shownBefore + (roll ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Layouts, CustomerTextLayoutTest,
                         ::testing::Values(Informes::Normal, Informes::Detallada,
                                           Informes::Ticket));

class ReplacingLayoutTest : public ReportsFixture, public ::testing::WithParamInterface<int> {};

TEST_P(ReplacingLayoutTest, NamesTheSimplifiedInvoicesItReplacesInEveryOutput) {
    const Invoice sale = AddInvoice(2);
    DataAccess::instance().Execute("UPDATE Facturas SET sTipoFactura='F3',sFacturasSustituidas="
                                   "'TA0001/26, TA0002/26' WHERE nIdFactura=" +
                                   QString::number(sale.id));
    const Printed shown = PrintInvoice(ui(), sale.id, GetParam());
    EXPECT_NE(shown.document.FindItem("FACTURA"), nullptr) << shown.text.toStdString();
    const QString pdf = suite.Root() + "/f3.pdf";
    ASSERT_TRUE(PdfWriter().Write(shown.document, pdf));
    // A narrow layout wraps the line beside the client's address, which the text output then
    // prints on the same rows.
    for (const QString& output : {shown.text, RunProgram("pdftotext", {"-raw", pdf, "-"}),
                                  QString::fromLatin1(RtfWriter::ToRtf(shown.document)),
                                  HtmlWriter::ToHtml(shown.document)})
        for (const char* piece : {"Sustituye a las facturas", "simplificadas TA0001/26, TA0002/26"})
            EXPECT_TRUE(QString(output).simplified().contains(piece)) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Layouts, ReplacingLayoutTest,
                         ::testing::Values(Informes::Normal, Informes::Detallada,
                                           Informes::Ticket));
