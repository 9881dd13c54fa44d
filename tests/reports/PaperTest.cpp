// A client with a long name and address on every layout: nothing is cut or printed over, the
// ticket is one roll, and the plain text keeps to the printer's width.
#include "ReportsFixture.h"

#include "platform/report/PainterWriter.h"

#include <QRegularExpression>

namespace {

constexpr const char* LongName = "Sociedad Protectora de Animales y Plantas de Zaragoza";
constexpr const char* LongAddress =
    "Calle de Nuestra Señora del Pilar y San Valero, 125, escalera B, 3.º izquierda";

// Text items of a page that overlap or whose text needs more room than they have.
QStringList Collisions(const Page& page) {
    QVector<const PageItem*> texts;
    for (const PageItem& item : page.items)
        if (item.kind == PageItem::Text && !item.text.trimmed().isEmpty())
            texts << &item;
    QStringList found;
    for (const PageItem* item : texts) {
        const int needed =
            item->wrap ? PainterWriter::WrappedHeight(item->text, item->font, item->rect.width())
                       : 0;
        if (needed > item->rect.height() + 1)
            found << "cut: " + item->text;
        for (const PageItem* other : texts)
            if (other < item && other->rect.intersects(item->rect))
                found << item->text + " / " + other->text;
    }
    return found;
}

TEST_F(ReportsFixture, LongNamesWrapInEveryLayoutAndTheTicketIsOneRoll) {
    const Invoice invoice = AddInvoice(5);
    DataAccess::instance().UpdateRecord("Facturas", "sCliente,sDomicilio",
                                        Utility::Quote(LongName) + "," +
                                            Utility::Quote(LongAddress),
                                        "nIdFactura=" + QString::number(invoice.id));
    for (const auto& [layout, name, columns] :
         {std::tuple{Informes::Normal, "Normal", 80}, {2, "Detallada", 80}, {3, "Ticket", 40}}) {
        const Printed shown = PrintInvoice(ui(), invoice.id, layout);
        const PageModel& document = shown.document;
        ASSERT_GE(document.PageCount(), 1) << name;
        for (int p = 0; p < document.PageCount(); ++p)
            EXPECT_EQ(Collisions(document.PageAt(p)), QStringList()) << name << " page " << p + 1;
        EXPECT_FALSE(document.FindText(LongName, true).isEmpty()) << name;
        EXPECT_FALSE(document.FindText(LongAddress, true).isEmpty()) << name;
        EXPECT_FALSE(document.FindText("NIF 12345678Z", true).isEmpty()) << name;
        for (const QString& line : shown.text.split(QRegularExpression("[\n\f]")))
            EXPECT_LE(line.size(), columns) << name << ": " << line.toStdString();

        // On paper every word is there, in order.
        const QString pdf = suite.Root() + "/" + name + ".pdf";
        ASSERT_EQ(Export(QString::number(invoice.id), name, pdf).status, 0);
        const QString words = RunProgram("pdftotext", {pdf, "-"}).simplified();
        EXPECT_TRUE(words.contains(LongName)) << name << ": " << words.toStdString();
        EXPECT_TRUE(words.contains(LongAddress)) << name;
    }
    // Five lines and the totals on one ticket: the roll grows, never a second sheet.
    EXPECT_EQ(PrintInvoice(ui(), invoice.id, 3).document.PageCount(), 1);
}

} // namespace
