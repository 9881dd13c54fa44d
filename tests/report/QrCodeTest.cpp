// QR code fields: drawn square on the chosen pages, scanned back from the PDF, in every output.

#include "ReportFixture.h"

#include "platform/report/HtmlWriter.h"
#include "platform/report/RtfWriter.h"
#include "platform/report/TextWriter.h"
#include "support/ScannedPage.h"

#include <QBuffer>
#include <QPainter>
#include <QRegularExpression>

namespace {

// A client's name with what a URL must encode: a quote, blanks, "&", accents and "/".
const QString Client = "O'Brien & Núñez 0037/26";
const QString Url = "https://example.test/check?c=O%27Brien%20%26%20N%C3%BA%C3%B1ez%200037%2F26";
// The code, 35 mm, stands at the right of a wider field with a white background.
const QRect Field(1134, 1134, 3000, 1984);
const QRect Square(1134 + 3000 - 1984, 1134, 1984, 1984);

} // namespace

// One client per page, the first page with the code of its client's address.
class QrCodeTest : public ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        AddClient(Client, 1);
        AddClient("Segundo", 2);
        AddClient("Tercero", 3);
        vsr.Load(Definition(R"xml(
  <Report name="Qr">
    <Paper width="11906" height="5000" left="1134" top="1134" right="1134" bottom="1134"/>
    <DataSource recordSource="SELECT sCliente FROM Clientes ORDER BY nIdCliente"/>
    <Section kind="PageHeader" height="2200">
      <Field name="Codigo" calculated="true" qr="true" align="right" background="#FFFFFF"
             text="iif(Page=1,&quot;https://example.test/check?c=&quot; &amp; urlencode(sCliente),&quot;&quot;)"
             left="0" top="0" width="3000" height="1984"/>
    </Section>
    <Section kind="Detail" height="300">
      <Field text="sCliente" calculated="true" left="0" top="0" width="4000" height="280"/>
    </Section>
  </Report>)xml"),
                 "Qr");
        model = vsr.Layout();
        ASSERT_EQ(model.PageCount(), 3);
    }

    static QVector<PageItem> Codes(const Page& page) {
        QVector<PageItem> codes;
        for (const PageItem& item : page.items)
            if (item.kind == PageItem::QrCode)
                codes.append(item);
        return codes;
    }

    PageModel model;
};

TEST_F(QrCodeTest, FieldDrawsItsValueAsASquareCodeOnThePagesItsExpressionChooses) {
    const QVector<PageItem> codes = Codes(model.PageAt(0));
    ASSERT_EQ(codes.size(), 1);
    EXPECT_EQ(codes[0].text, Url);
    EXPECT_EQ(codes[0].rect, Square);
    // Level M holds these 78 bytes in a version 5 symbol: 37 modules a side.
    EXPECT_EQ(codes[0].picture.width(), 37);
    // The field's box is drawn under the code as for any field.
    const auto box = std::find_if(model.Items(0).begin(), model.Items(0).end(),
                                  [](const PageItem& item) { return item.rect == Field; });
    ASSERT_NE(box, model.Items(0).end());
    EXPECT_EQ(box->kind, PageItem::Rectangle);
    EXPECT_EQ(box->background, QColor(Qt::white));
    // Page is known only once the pages are: the other pages have no code, not an empty one.
    EXPECT_TRUE(Codes(model.PageAt(1)).isEmpty() && Codes(model.PageAt(2)).isEmpty());

    // A saved document opens with its code.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    model.Save(buffer);
    buffer.seek(0);
    EXPECT_EQ(PageModel::Load(buffer), model);

    // A value no QR code can hold stops the report and names the field.
    vsr.Field("Codigo").SetCalculated(false);
    vsr.Field("Codigo").SetText(QString(3000, 'x'));
    QString description;
    EXPECT_EQ(ErrorOf([&] { vsr.Layout(); }, &description), ErrorNumber::BadReport);
    EXPECT_TRUE(description.contains("\"Codigo\"")) << description.toStdString();
}

TEST_F(QrCodeTest, PdfScansToTheValueAtItsSizeWithWhiteAroundIt) {
    vsr.RenderToFile(Path("qr.pdf"), ReportComponent::Pdf);
    const ScannedPage page = ScanFirstPage(Path("qr.pdf"));
    ASSERT_FALSE(page.image.isNull());
    EXPECT_EQ(page.codes, QStringList{Url});
    // The dark modules fill the square, and nothing dark lies within 2 mm around it.
    const QRect square = ScannedPage::Pixels(Square);
    const int ring = ScannedPage::Dpi * 2 / 25.4 + 1;
    const QRect box = page.DarkBox(square.adjusted(-ring, -ring, ring, ring));
    EXPECT_LE((box.topLeft() - square.topLeft()).manhattanLength(), 2);
    EXPECT_LE((box.bottomRight() - square.bottomRight()).manhattanLength(), 2);
    EXPECT_NEAR(ScannedPage::Millimetres(box.width()), 35, 0.2);
    EXPECT_TRUE(RunProgram("qpdf", {"--check", Path("qr.pdf")}).contains("No syntax or stream"));
}

TEST_F(QrCodeTest, OtherOutputsCarryTheCodeOrItsText) {
    // Plain text has no pictures: the value after the page's text, cut no wider than that text.
    const QStringList lines = TextWriter::PageLines(model.PageAt(0));
    ASSERT_GE(lines.size(), 3);
    const qsizetype width = std::max<qsizetype>(lines.first().size(), TextWriter::MinCodeWidth);
    EXPECT_EQ(lines.mid(2).join(""), Url);
    for (const QString& line : lines.mid(2))
        EXPECT_LE(line.size(), width) << line.toStdString();

    // HTML: vectors in module units, named by their value.
    const QString html = HtmlWriter::ToHtml(model);
    EXPECT_EQ(html.count("viewBox=\"0 0 37 37\""), 1);
    EXPECT_TRUE(html.contains("<title>" + Url + "</title>"));
    EXPECT_TRUE(html.contains("left:" + QString::number(Square.x() / 20.0, 'f', 2) + "pt;"));

    // RTF: a picture of the code at the square's size, which scans to the value.
    const QString rtf = QString::fromLatin1(RtfWriter::ToRtf(model));
    const auto picture =
        QRegularExpression(R"(\\pngblip\\picw\d+\\pich\d+\\picwgoal(\d+)\\pichgoal)"
                           R"((\d+)\n([0-9a-f]+)\})")
            .match(rtf);
    ASSERT_TRUE(picture.hasMatch());
    EXPECT_EQ(picture.captured(1).toInt(), Square.width());
    EXPECT_EQ(picture.captured(2).toInt(), Square.height());
    QImage symbol = QImage::fromData(QByteArray::fromHex(picture.captured(3).toLatin1()), "PNG");
    ASSERT_FALSE(symbol.isNull());
    // A scanner needs the quiet zone around a code: white on every side of it.
    QImage framed(symbol.size() + QSize(80, 80), QImage::Format_RGB32);
    framed.fill(Qt::white);
    QPainter(&framed).drawImage(40, 40, symbol);
    framed.save(Path("rtf-code.png"));
    EXPECT_EQ(ReadCodes(Path("rtf-code.png")), QStringList{Url});
}
