// The limits of sizes, counts and pages, and definitions beyond them refused saying why.

#include "ReportFixture.h"

#include "platform/report/TextWriter.h"

// Sizes, counts and pages have limits (docs/report-format.md) so that a definition never makes
// the program overflow, run out of stack or memory, or write for ever.

namespace {

QString Detail(const QString& fields, int height = 300) {
    return QString(R"(<Report name="R"><Section kind="Detail" height="%1">%2</Section></Report>)")
        .arg(height)
        .arg(fields);
}

} // namespace

TEST_F(ReportTest, SizesAndCountsBeyondTheirLimitsAreRefusedSayingWhy) {
    QString groups;
    for (int i = 0; i < 21; ++i)
        groups += QString(R"(<Group name="G%1" expression="1"/>)").arg(i);
    const std::vector<std::pair<QString, QString>> cases = {
        // Margins this large passed the "no room" check by overflow.
        {R"(<Report name="R"><Paper left="2147483647" right="2147483647"/></Report>)",
         "entre 0 y 200000"},
        {R"(<Report name="R"><Paper width="200001"/></Report>)", "entre 0 y 200000"},
        {Detail("", 2147483647), "entre 0 y 200000"},
        {Detail(R"(<Field width="2147483647"/>)"), "entre 0 y 200000"},
        {Detail(R"(<Line width="-200001"/>)"), "entre -200000 y 200000"},
        {Detail(R"(<Field size="nan"/>)"), "\"size\""},
        {Detail(R"(<Field size="inf"/>)"), "\"size\""},
        {Detail(R"(<Field size="1e300"/>)"), "hasta 1000"},
        {Detail(R"(<Field size="0"/>)"), "\"size\""},
        {Detail(QString("<Field/>").repeated(1001)), "como mucho 1000 campos"},
        {Detail(QString("<Line/>").repeated(1001)), "como mucho 1000 líneas"},
        {"<Report name=\"R\">" + groups + "</Report>", "como mucho 20 grupos"},
        // Forty fields naming a report of forty fields that name another: 1,640 copies of fields.
        {Detail(QString(R"(<Field subReport="B"/>)").repeated(40)) +
             R"(<Report name="B"><Section kind="Detail" height="10">)" +
             QString(R"(<Field subReport="C"/>)").repeated(40) +
             R"(</Section></Report><Report name="C"/>)",
         "más de 1000 campos"},
    };
    for (const auto& [body, expected] : cases) {
        const QString path = Definition(body);
        QString description;
        EXPECT_EQ(ErrorOf([&] { vsr.Load(path, "R"); }, &description), ErrorNumber::BadReport)
            << body.left(120).toStdString();
        EXPECT_TRUE(description.contains(expected)) << description.toStdString();
    }
}

// Bytes that are not UTF-8 were reported as "no element" at line 1.
TEST_F(ReportTest, BadlyEncodedBytesAreSaidWhereTheyAre) {
    QFile file(Path("Latin.xml"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Reports>\n<Report name=\"R\">\n"
               "<Section kind=\"Detail\" height=\"300\"><Field text=\"Cami\xf3n\"/></Section>\n"
               "</Report>\n</Reports>\n");
    file.close();
    QString description;
    EXPECT_EQ(ErrorOf([&] { vsr.Load(file.fileName(), "R"); }, &description),
              ErrorNumber::BadReport);
    EXPECT_TRUE(description.contains("línea 4")) << description.toStdString();
    EXPECT_TRUE(description.contains("no son texto")) << description.toStdString();
}

TEST_F(ReportTest, TallSectionsPageWithinTheLimitAndMoreThanTenThousandPagesAreRefused) {
    AddClients(40);
    // The tallest section there may be, on every row: cut over pages, and nothing overflows.
    vsr.Load(Definition(Detail(R"(<Field text="sCliente" calculated="true" top="199000" )"
                               R"(width="2000" height="1000"/>)",
                               200000)),
             "R");
    vsr.SetRecordSource("SELECT sCliente FROM Clientes");
    const PageModel tall = vsr.Layout();
    EXPECT_GT(tall.PageCount(), 40 * 13);
    EXPECT_LT(tall.PageCount(), 40 * 15);
    EXPECT_TRUE(TextWriter::ToText(tall).contains("C039"));

    // On a paper 500 twips tall that is 400 pages a row: refused at page 10,001.
    vsr.Load(Definition(R"(<Report name="R"><Paper width="5000" height="500" left="0" top="0" )"
                        R"(right="0" bottom="0"/><Section kind="Detail" height="200000"/>)"
                        R"(</Report>)"),
             "R");
    vsr.SetRecordSource("SELECT sCliente FROM Clientes");
    QString description;
    EXPECT_EQ(ErrorOf([&] { vsr.RenderToFile(Path("largo.txt"), ReportComponent::PlainText); },
                      &description),
              ErrorNumber::BadReport);
    EXPECT_TRUE(description.contains("más de 10000 páginas")) << description.toStdString();
    EXPECT_FALSE(QFile::exists(Path("largo.txt")));
}
