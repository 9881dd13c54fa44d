// The report component loading a named report and refusing bad input with numbered errors.

#include "ReportFixture.h"

namespace {

const char Simple[] = R"(<Report name="Simple">
    <DataSource recordSource="SELECT sCliente FROM Clientes" connection="Tavelo"/>
    <Section kind="Detail" height="300">
      <Field name="Cliente" text="sCliente" calculated="true" left="100" top="20" width="3000" height="260"/>
      <Field name="Logo" left="0" top="0" width="500" height="500"/>
    </Section></Report>)";

} // namespace

TEST_F(ReportTest, LoadBindsNamedReportAndItsFields) {
    vsr.Load(Definition(QString(Simple) + R"(<Report name="Other"/>)"), "simple");
    EXPECT_EQ(vsr.RecordSource(), "SELECT sCliente FROM Clientes");
    EXPECT_EQ(vsr.ConnectionText(), "Tavelo");
    ASSERT_EQ(vsr.FieldCount(), 2);
    ReportField& field = vsr.Field("cliente");
    EXPECT_EQ(&field, &vsr.Field(0));
    EXPECT_TRUE(field.Calculated());
    EXPECT_EQ(field.Left(), 100);
    EXPECT_EQ(field.Top(), 20);
    EXPECT_EQ(field.SubReport(), "");

    // A caption set by the caller shows as it is; a picture is drawn where the field is.
    field.SetCalculated(false);
    field.SetText("Texto & fijo");
    QImage logo(20, 10, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    ASSERT_TRUE(logo.save(Path("Logo.bmp")));
    vsr.Field("Logo").SetPicture(Path("Logo.bmp"));
    vsr.Field("Logo").SetWidth(9800);
    AddClient("Ana", 1);
    const PageModel model = vsr.Layout();
    EXPECT_NE(model.FindItem("Texto & fijo"), nullptr);
    const auto picture = std::find_if(model.Items(0).begin(), model.Items(0).end(),
                                      [](const PageItem& item) { return !item.picture.isNull(); });
    ASSERT_NE(picture, model.Items(0).end());
    EXPECT_EQ(picture->rect, QRect(1134, 1134, 9800, 500));
}

TEST_F(ReportTest, BadInputGivesNumberedErrors) {
    EXPECT_EQ(ErrorOf([&] { vsr.Load(Path("none.xml"), "R"); }), ErrorNumber::FileNotFound);
    // Each refusal says what is wrong: the report, the line, the attribute or the element.
    const std::vector<std::pair<QString, QString>> cases = {
        {QString(Simple).replace("\"Simple\"", "\"Otro\""), "\"R\""},
        {"<Report name=\"R\"><Section kind=\"Detail\"></Report>", "línea 3"},
        {R"(<Report name="R"><Section kind="Detail"><Field name="A" colour="red"/></Section></Report>)",
         "\"colour\""},
        {R"(<Report name="R"><Paper width="0" height="100"/></Report>)", ""},
        // A misspelt locale would print numbers the English way without a word.
        {R"(<Report name="R" locale="espanol"/>)", "\"locale\""},
        {R"(<Report name="R"><Chart/></Report>)", "<Chart>"},
    };
    for (const auto& [body, expected] : cases) {
        QString description;
        const QString path = Definition(body);
        EXPECT_EQ(ErrorOf([&] { vsr.Load(path, "R"); }, &description), ErrorNumber::BadReport)
            << body.toStdString();
        EXPECT_TRUE(description.contains(expected)) << description.toStdString();
        EXPECT_FALSE(vsr.IsLoaded());
    }

    vsr.Load(Definition(Simple), "Simple");
    EXPECT_EQ(ErrorOf([&] { vsr.Field("Nada"); }), ErrorNumber::NoSuchField);
    EXPECT_EQ(ErrorOf([&] { vsr.Field(2); }), ErrorNumber::NoSuchField);
    EXPECT_EQ(ErrorOf([&] { vsr.SubReport(0); }), ErrorNumber::NoSuchField);
    EXPECT_EQ(ErrorOf([&] { vsr.Field("Logo").SetPicture(Path("none.bmp")); }),
              ErrorNumber::BadPicture);
    EXPECT_TRUE(vsr.Field("Logo").Picture().isEmpty());

    vsr.SetRecordSource("SELECT sNada FROM Tabla");
    EXPECT_EQ(ErrorOf([&] { vsr.RenderToFile(Path("out.pdf"), ReportComponent::Pdf); }),
              ErrorNumber::Database);
    EXPECT_FALSE(vsr.Busy());
    EXPECT_FALSE(QFile::exists(Path("out.pdf")));
}
