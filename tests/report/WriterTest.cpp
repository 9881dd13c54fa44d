// The writers' files read back by other programs: PDF, text, RTF and HTML.

#include "ReportFixture.h"

#include "platform/report/HtmlWriter.h"
#include "platform/report/PdfWriter.h"
#include "platform/report/TextWriter.h"

#include <QRegularExpression>

namespace {

QString ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The text of an RTF file: groups of pictures and tables dropped, \u escapes decoded, control
// words removed, paragraphs as line breaks.
QString RtfText(QString rtf) {
    rtf.remove(QRegularExpression(R"(\{\\(pict|fonttbl|colortbl)(?:[^{}]|\{[^{}]*\})*\})"));
    rtf.replace(QRegularExpression(R"(\\(par|line)\b ?)"), "\n");
    QString text;
    const QRegularExpression unicode(R"(\\u(-?\d+)\?)");
    const QRegularExpression word(R"(\\[a-z]+-?\d* ?)");
    const auto at = [&](const QRegularExpression& pattern, int i) {
        return pattern.match(rtf, i, QRegularExpression::NormalMatch,
                             QRegularExpression::AnchorAtOffsetMatchOption);
    };
    for (int i = 0; i < rtf.size();) {
        const auto match = at(unicode, i);
        if (match.hasMatch()) {
            text += QChar(ushort(match.captured(1).toShort()));
            i += int(match.capturedLength());
        } else if (rtf[i] == '\\' && i + 1 < rtf.size() && QString("\\{}").contains(rtf[i + 1])) {
            text += rtf[i + 1];
            i += 2;
        } else if (rtf[i] == '\\') {
            const auto control = at(word, i);
            i += control.hasMatch() ? int(control.capturedLength()) : 1;
        } else {
            if (rtf[i] != '{' && rtf[i] != '}' && rtf[i] != '\r')
                text += rtf[i];
            ++i;
        }
    }
    return text;
}

} // namespace

class WriterTest : public ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        for (int i = 0; i < 80; ++i)
            AddClient(
                QString("%1 Núñez O'Brien %2").arg(QChar('A' + i % 4)).arg(i, 2, 10, QChar('0')),
                i + 0.5);
        vsr.Load(ExampleFile(), "Listado");
        model = vsr.Layout();
        ASSERT_GE(model.PageCount(), 2);
    }
    PageModel model;
};

TEST_F(WriterTest, PdfHasThePagesTheirTextAndTheExactCustomPaper) {
    const QString path = Path("Listado.pdf");
    vsr.RenderToFile(path, ReportComponent::Pdf);
    const QString info = RunProgram("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression("Title:\\s+Listado de clientes\\n")))
        << info.toStdString();
    EXPECT_TRUE(
        info.contains(QRegularExpression(QString("Pages:\\s+%1\\n").arg(model.PageCount()))))
        << info.toStdString();
    EXPECT_TRUE(info.contains("595.3 x 841.9 pts")) << info.toStdString();
    const QString text = RunProgram("pdftotext", {"-layout", path, "-"});
    EXPECT_TRUE(text.contains("A Núñez O'Brien 00")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString("Página 2 de %1").arg(model.PageCount())));
    EXPECT_TRUE(RunProgram("pdffonts", {path}).contains("LiberationSans"));

    // The till paper, 75 x 100 mm, is 4252 x 5669 twips: 212.6 x 283.45 points.
    PageModel till;
    till.AddPage(QSize(4252, 5669))
        .items.append(MakeItem(PageItem::Text, QRect(200, 200, 3000, 300), "Ticket"));
    PdfWriter().WriteOrThrow(till, Path("till.pdf"));
    const QString tillInfo = RunProgram("pdfinfo", {Path("till.pdf")});
    EXPECT_TRUE(tillInfo.contains("212.6 x 283.45 pts")) << tillInfo.toStdString();
    EXPECT_FALSE(tillInfo.contains("Error") || info.contains("Error"));
}

TEST_F(WriterTest, TextReadsLineByLineWithFormFeedsBetweenPages) {
    const QString path = Path("Listado.txt");
    vsr.RenderToFile(path, ReportComponent::PlainText);
    const QString text = ReadAll(path);
    const QStringList pages = text.split('\f');
    ASSERT_EQ(pages.size(), model.PageCount());
    EXPECT_TRUE(pages.first().startsWith("Listado de clientes\n"));
    // A row keeps its name, address and balance on one line, in that order.
    EXPECT_TRUE(pages.first().contains(QRegularExpression(
        R"(^A Núñez O'Brien 00 +C/ Mayor 5 Lugo +0,50$)", QRegularExpression::MultilineOption)))
        << pages.first().toStdString();
    EXPECT_TRUE(pages.last().contains(QString("Página %1 de %1").arg(model.PageCount())));
}

TEST(TextWriter, ColumnsNeverRunTogether) {
    // Columns of 120 twips: the description has 20, the units end at column 25, the amount at 34.
    // The amounts stay whole and aligned; a text in their way is cut one blank before them.
    const auto item = [](int left, int width, const QString& text, int align = Qt::AlignLeft,
                         int top = 0) {
        PageItem item = MakeItem(PageItem::Text, QRect(left, top, width, 240), text);
        item.alignment = align | Qt::AlignTop;
        return item;
    };
    Page page{QSize(11906, 16838), {}};
    PageItem description =
        item(0, 2400, "Vacuna polivalente canina con refuerzo antirrábico y desparasitación");
    description.wrap = true;
    page.items << description << item(2400, 600, "12", Qt::AlignRight)
               << item(3000, 1080, "1.234,56", Qt::AlignRight);
    // A caption longer than its field, a field right after it, and an amount wider than its own.
    page.items << item(0, 1200, "Forma de pago elegida", Qt::AlignLeft, 480)
               << item(1200, 1200, "Tarjeta", Qt::AlignLeft, 480)
               << item(2400, 600, "12.345,67 €", Qt::AlignRight, 480);
    // The wrapped lines push the next row down.
    EXPECT_EQ(TextWriter::PageLines(page).join('\n'), "Vacuna polivalente     12 1.234,56\n"
                                                      "canina con refuerzo\n"
                                                      "antirrábico y\n"
                                                      "desparasitación\n"
                                                      "Forma de  Tar 12.345,67 €");
}

TEST_F(WriterTest, HtmlAndRtfHoldEveryTextInPageOrder) {
    vsr.RenderToFile(Path("Listado.htm"), ReportComponent::Html);
    const QString html = ReadAll(Path("Listado.htm"));
    EXPECT_TRUE(html.startsWith("<!DOCTYPE html>") &&
                html.contains("<title>Listado de clientes</title>"));
    EXPECT_EQ(html.count("class=\"page\""), model.PageCount());
    EXPECT_TRUE(html.contains("A Núñez O&#x27;Brien 00") || html.contains("A Núñez O'Brien 00"));
    EXPECT_LT(html.indexOf("Página 1 de"), html.indexOf("Página 2 de"));

    vsr.RenderToFile(Path("Listado.rtf"), ReportComponent::Rtf);
    const QString rtf = ReadAll(Path("Listado.rtf"));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1") && rtf.contains("{\\info{\\title Listado de clientes}}"));
    EXPECT_EQ(rtf.count("\\sectd"), model.PageCount());
    const QString text = RtfText(rtf);
    EXPECT_TRUE(text.contains("Listado de clientes"));
    EXPECT_TRUE(text.contains("A Núñez O'Brien 00\n")) << text.left(2000).toStdString();
    EXPECT_LT(text.indexOf("Página 1 de"), text.indexOf("Página 2 de"));
}

TEST_F(WriterTest, HtmlPrintsEachPageOnASheetOfItsOwnSize) {
    PageModel mixed;
    for (const QSize paper : {QSize(11906, 16838), QSize(4252, 5669), QSize(11906, 16838)})
        mixed.AddPage(paper).items.append(
            MakeItem(PageItem::Text, QRect(200, 200, 3000, 300), "Hoja"));
    const QString html = HtmlWriter::ToHtml(mixed);
    // One rule per paper size: the first is the default sheet, the other one is asked for by
    // name by its page only.
    EXPECT_EQ(html.count("@page"), 2);
    EXPECT_EQ(html.count("page:paper1;"), 1);
    for (const char* rule : {"@page{size:595.30pt 841.90pt;margin:0;}",
                             "@page paper1{size:212.60pt 283.45pt;margin:0;}",
                             "id=\"page2\" style=\"width:212.60pt;height:283.45pt;page:paper1;\"",
                             ".page+.page{break-before:page;}"})
        EXPECT_TRUE(html.contains(rule)) << rule;
}

// A form feed in a client's name broke the text export's pages; NUL and ESC went into both files.
TEST_F(WriterTest, ControlCharactersFromTheDataBecomeBlanks) {
    DataAccess::instance().Execute("INSERT INTO Clientes (sCliente, nSaldo) VALUES ('AA Ruiz' || "
                                   "char(12) || 'Gil' || char(0) || char(27) || '[2J' || char(9) "
                                   "|| 'x', 1)");
    vsr.SetRecordSource("SELECT * FROM Clientes WHERE sCliente LIKE 'AA%'");
    vsr.RenderToFile(Path("c.txt"), ReportComponent::PlainText);
    vsr.RenderToFile(Path("c.htm"), ReportComponent::Html);
    const QString text = ReadAll(Path("c.txt"));
    EXPECT_FALSE(text.contains('\f')) << "one page, no page break";
    EXPECT_TRUE(text.contains("AA Ruiz Gil  [2J x")) << text.toStdString();
    const QString html = ReadAll(Path("c.htm"));
    EXPECT_TRUE(html.contains("AA Ruiz Gil  [2J x")) << html.toStdString();
    for (const QString& output : {text, html})
        for (const QChar c : output)
            EXPECT_TRUE(c == '\n' || c.category() != QChar::Other_Control) << int(c.unicode());
}

TEST_F(WriterTest, UnwritablePathIsErrorSeventyFiveAndLeavesNothing) {
    for (int format : {1, 2, 3, 5}) {
        const QString path = Path("missing/folder/out.x");
        EXPECT_EQ(ErrorOf([&] { vsr.RenderToFile(path, format); }), ErrorNumber::PathFileAccess);
        EXPECT_FALSE(QFile::exists(path));
    }
}

// Every program picks its writer by the file's extension from one table; the code it gets is the
// one RenderToFile writes with.
TEST_F(WriterTest, AnExtensionNamesOneWriterAndAnUnknownOneIsRefused) {
    QStringList found;
    for (const char* file : {"a.PDF", "a.txt", "a.rtf", "a.htm", "a.Html"})
        found << QString::number(ReportWriter::TypeOfFile(file)->format) + " " +
                     ReportWriter::ForFile(file)->NameFilter();
    EXPECT_EQ(found.join('|'), "3 Documento PDF (*.pdf)|5 Texto (*.txt)|2 Texto enriquecido RTF "
                               "(*.rtf)|1 Página web HTML (*.htm *.html)|1 Página web HTML (*.htm "
                               "*.html)");
    EXPECT_EQ(ReportWriter::TypeOfFile("a.doc"), nullptr);
    EXPECT_EQ(ErrorOf([] { ReportWriter::ForFile("a.doc"); }), ErrorNumber::InvalidPropertyValue);
    EXPECT_EQ(ErrorOf([&] { vsr.RenderToFile(Path("a.pdf"), 4); }),
              ErrorNumber::InvalidPropertyValue);
}
