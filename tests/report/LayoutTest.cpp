// Reports laid out into pages: headers, footers, groups, growing fields and page numbers.

#include "ReportFixture.h"

#include <QRegularExpression>

namespace {

const char PageNumber[] =
    R"(<Field name="P" text="&quot;Página &quot; &amp; Page &amp; &quot; de &quot; &amp; Pages" calculated="true" left="0" top="100" width="5000" height="300"/>)";

QString ListReport(const QString& paper) {
    return QString(R"~(<Report name="R">%1
        <DataSource recordSource="SELECT sCliente, nSaldo FROM Clientes ORDER BY sCliente"/>
        <Section kind="PageHeader" height="400"><Field text="Cabecera" left="0" top="0" width="3000" height="300"/></Section>
        <Section kind="Detail" height="300"><Field name="C" text="sCliente" calculated="true" left="0" top="0" width="3000" height="300"/></Section>
        <Section kind="PageFooter" height="500">%2</Section>
        <Section kind="ReportFooter" height="300"><Field text="Count(*, report) &amp; &quot; / &quot; &amp; Sum(nSaldo, report)" calculated="true" left="0" top="0" width="3000" height="300"/></Section>
        </Report>)~")
        .arg(paper, PageNumber);
}

// Where the first item equal to each text stands, as "page:top" (pages from 0) joined by blanks;
// "-" for a text that is nowhere.
QString Places(const PageModel& model, const QStringList& texts) {
    QStringList places;
    for (const QString& text : texts) {
        const auto hits = model.FindText(text, true);
        places << (hits.isEmpty() ? QString("-")
                                  : QString("%1:%2")
                                        .arg(hits.first().page)
                                        .arg(model.ItemAt(hits.first()).rect.y()));
    }
    return places.join(' ');
}

} // namespace

TEST_F(ReportTest, RowsSpillOverPagesUnderRepeatedHeadersAndAboveTheFooter) {
    AddClients(100);
    vsr.Load(
        Definition(ListReport(
            R"(<Paper width="11906" height="16838" left="1000" top="1000" right="1000" bottom="1000"/>)")),
        "R");
    const PageModel model = vsr.Layout();

    // 13938 twips between header and footer hold 46 rows of 300; the footer's field stands 100
    // below its top at 15338.
    ASSERT_EQ(model.PageCount(), 3);
    EXPECT_EQ(model.FindText("Cabecera", true).size(), 3);
    EXPECT_EQ(model.ItemAt(model.FindText("C000").first()).rect.x(), 1000);
    EXPECT_EQ(Places(model, {"C000", "C045", "C046", "C099", "100 / 4950", "Página 1 de 3",
                             "Página 2 de 3", "Página 3 de 3"}),
              "0:1400 0:14900 1:1400 2:3500 2:3800 0:15438 1:15438 2:15438");
    const int footerTop = 16838 - 1000 - 500;
    for (int page = 0; page < 3; ++page) {
        for (const PageItem& item : model.Items(page)) {
            if (!item.text.startsWith("Página")) {
                EXPECT_LE(item.rect.bottom() + 1, footerTop) << item.text.toStdString();
            }
        }
    }
}

TEST_F(ReportTest, EmptyOrMissingRecordSourceStillGivesOnePage) {
    vsr.Load(Definition(ListReport("")), "R");
    vsr.SetRecordSource("SELECT sCliente, nSaldo FROM Clientes WHERE 1 = 0");
    PageModel model = vsr.Layout();
    ASSERT_EQ(model.PageCount(), 1);
    // A4 with margins of 1134 twips when the definition names no paper.
    EXPECT_EQ(Places(model, {"Cabecera", "Página 1 de 1", "0 / 0"}), "0:1134 0:15304 0:1534");

    vsr.SetRecordSource("");
    model = vsr.Layout();
    ASSERT_EQ(model.PageCount(), 1);
    EXPECT_NE(model.FindItem("0 / 0"), nullptr);
}

TEST_F(ReportTest, PageNumberEmptyDuringLayoutStillPrintsOnceThePagesAreKnown) {
    // During layout Pages is still 1, so the field's first text is empty on every page.
    const QString definition = Definition(R"~(<Report name="R">
        <Paper width="6000" height="3000" left="0" top="0" right="0" bottom="0"/>
        <DataSource recordSource="SELECT sCliente FROM Clientes ORDER BY sCliente"/>
        <Section kind="Detail" height="300"><Field text="sCliente" calculated="true" width="3000" height="300"/></Section>
        <Section kind="PageFooter" height="300"><Field text="iif(Pages &gt; 1, &quot;Página &quot; &amp; Page &amp; &quot; de &quot; &amp; Pages, &quot;&quot;)" calculated="true" width="3000" height="300"/></Section>
        </Report>)~");
    AddClients(20);
    vsr.Load(definition, "R");
    PageModel model = vsr.Layout();
    ASSERT_EQ(model.PageCount(), 3);
    EXPECT_EQ(Places(model, {"Página 1 de 3", "Página 2 de 3", "Página 3 de 3"}),
              "0:2700 1:2700 2:2700");

    DataAccess::instance().Execute("DELETE FROM Clientes WHERE sCliente > 'C001'");
    model = vsr.Layout();
    ASSERT_EQ(model.PageCount(), 1);
    EXPECT_TRUE(model.FindText("Página").isEmpty());
    // Left with its empty text, the footer would still be an item for writers and hit tests.
    EXPECT_EQ(model.Items(0).size(), 2);
}

TEST_F(ReportTest, GroupHeaderStaysWithItsFirstRowAndFooterSumsItsGroup) {
    for (const auto& [name, saldo] : {std::pair{"A1", 1.0}, {"A2", 2.0}, {"A3", 3.5}, {"B1", 10.0}})
        AddClient(name, saldo);
    vsr.Load(Definition(R"~(<Report name="R">
        <Paper width="6000" height="3000" left="0" top="0" right="0" bottom="0"/>
        <DataSource recordSource="SELECT sCliente, nSaldo FROM Clientes ORDER BY sCliente"/>
        <Group name="Letra" expression="left(sCliente, 1)"/>
        <Section kind="GroupHeader" group="Letra" height="300"><Field text="&quot;Grupo &quot; &amp; left(sCliente, 1)" calculated="true" width="3000" height="300"/></Section>
        <Section kind="Detail" height="600"><Field text="sCliente" calculated="true" width="3000" height="300"/></Section>
        <Section kind="GroupFooter" group="Letra" height="300"><Field text="&quot;Total &quot; &amp; Sum(nSaldo)" calculated="true" width="3000" height="300"/></Section>
        <Section kind="ReportFooter" height="300"><Field text="&quot;Todo &quot; &amp; Sum(nSaldo)" calculated="true" width="3000" height="300"/></Section>
        </Report>)~"),
             "R");
    const PageModel model = vsr.Layout();
    ASSERT_EQ(model.PageCount(), 2);
    // At 2400 the header of B alone would fit, its first row would not: both go to the next page.
    EXPECT_EQ(Places(model, {"Grupo A", "Total 6.5", "Grupo B", "B1", "Total 10", "Todo 16.5"}),
              "0:0 0:2100 1:0 1:300 1:900 1:1200");
}

TEST_F(ReportTest, CanGrowPushesWhatLiesBelowOnly) {
    AddClient("Largo", 1, QString("Avenida de la Constitución ").repeated(8));
    AddClient("Corto", 2, "C/ Mayor 5");
    vsr.Load(Definition(R"(<Report name="R">
        <Paper width="11906" height="16838" left="500" top="700" right="500" bottom="500"/>
        <DataSource recordSource="SELECT sCliente, sDomicilio FROM Clientes ORDER BY nIdCliente"/>
        <Section kind="Detail" height="600">
          <Field name="Domicilio" text="sDomicilio" calculated="true" canGrow="true" left="0" top="0" width="1500" height="300"/>
          <Field name="Debajo" text="&quot;debajo de &quot; &amp; sCliente" calculated="true" left="0" top="300" width="1500" height="300"/>
          <Field name="Lado" text="sCliente" calculated="true" left="2000" top="0" width="1500" height="300"/>
        </Section></Report>)"),
             "R");
    const PageModel model = vsr.Layout();
    const PageItem* address = model.FindItem(QString("Avenida de la Constitución ").repeated(8));
    ASSERT_NE(address, nullptr);
    const int grown = address->rect.height() - 300;
    EXPECT_GT(grown, 1000);
    EXPECT_EQ(
        Places(model, {"Largo", "debajo de Largo", "Corto", "debajo de Corto"}),
        QString("0:700 0:%1 0:%2 0:%3").arg(1000 + grown).arg(1300 + grown).arg(1600 + grown));
}

TEST_F(ReportTest, SubReportStacksItsRowsAndSpillsOverPages) {
    AddClients(30);
    vsr.Load(Definition(QString(R"(<Report name="Main">
        <Paper width="6000" height="4000" left="0" top="0" right="0" bottom="0"/>
        <Section kind="PageFooter" height="500">%1</Section>
        <Section kind="ReportHeader" height="900">
          <Field text="Arriba" width="3000" height="300"/>
          <Field name="Lista" subReport="Lineas" left="500" top="300" width="3000" height="300"/>
          <Field text="Abajo" top="600" width="3000" height="300"/>
        </Section></Report>
        <Report name="Lineas"><Section kind="Detail" height="300">
          <Field text="sCliente" calculated="true" width="3000" height="300"/>
        </Section></Report>)")
                            .arg(PageNumber)),
             "Main");
    const int lista = vsr.Report().FieldIndex("Lista");
    EXPECT_EQ(vsr.SubReport(lista).Name(), "Lineas");
    vsr.SubReport(lista).SetRecordSource("SELECT sCliente FROM Clientes ORDER BY sCliente");
    const PageModel model = vsr.Layout();

    // 3500 twips of room per page: "Arriba" and 10 rows, then 11 rows, then 9 rows and "Abajo".
    ASSERT_EQ(model.PageCount(), 3);
    EXPECT_EQ(model.ItemAt(model.FindText("C000").first()).rect.x(), 500);
    EXPECT_EQ(Places(model, {"C000", "C010", "C021", "Abajo", "Página 3 de 3"}),
              "0:300 1:0 2:0 2:2700 2:3600");
}

TEST_F(ReportTest, GroupFooterNeverOpensAPageAlone) {
    for (const char* name : {"A1", "A2", "A3", "A4", "B1"})
        AddClient(name, 1);
    vsr.Load(Definition(R"~(<Report name="R">
        <Paper width="6000" height="2000" left="0" top="0" right="0" bottom="0"/>
        <DataSource recordSource="SELECT sCliente FROM Clientes ORDER BY sCliente"/>
        <Group name="Letra" expression="left(sCliente, 1)"/>
        <Section kind="Detail" height="500"><Field text="sCliente" calculated="true" width="3000" height="300"/></Section>
        <Section kind="GroupFooter" group="Letra" height="400"><Field text="&quot;Fin &quot; &amp; left(sCliente, 1)" calculated="true" width="3000" height="300"/></Section>
        </Report>)~"),
             "R");
    const PageModel model = vsr.Layout();
    // A4 would end the first page exactly; its footer would then be alone on the next one.
    EXPECT_EQ(Places(model, {"A3", "A4", "Fin A", "Fin B"}), "0:1000 1:0 1:500 1:1400");
}

TEST_F(ReportTest, ReportFooterNeverOpensAPageAlone) {
    AddClients(4);
    vsr.Load(Definition(R"~(<Report name="R">
        <Paper width="6000" height="2000" left="0" top="0" right="0" bottom="0"/>
        <DataSource recordSource="SELECT sCliente FROM Clientes ORDER BY sCliente"/>
        <Section kind="Detail" height="500"><Field text="sCliente" calculated="true" width="3000" height="300"/></Section>
        <Section kind="ReportFooter" height="400"><Field text="Total" width="3000" height="300"/></Section>
        </Report>)~"),
             "R");
    // The fourth row would end the first page exactly and leave the totals alone on the next.
    EXPECT_EQ(Places(vsr.Layout(), {"C002", "C003", "Total"}), "0:1000 1:0 1:500");
}

// A first page that carries more at its top (a tax QR code) and later pages that keep the room for
// rows: the first-page header stands in the page header's place on the first page only.
TEST_F(ReportTest, FirstPageHeaderTakesThePageHeadersPlaceOnTheFirstPageOnly) {
    AddClients(20);
    const QString report = R"~(<Report name="R">
        <Paper width="6000" height="3000" left="0" top="0" right="0" bottom="0"/>
        <DataSource recordSource="SELECT sCliente FROM Clientes ORDER BY sCliente"/>
        <Section kind="FirstPageHeader" height="%1"><Field text="&quot;Primera &quot; &amp; Page &amp; &quot;/&quot; &amp; Pages" calculated="true" width="3000" height="300"/></Section>
        <Section kind="PageHeader" height="500"><Field text="Siguientes" width="3000" height="300"/></Section>
        <Section kind="Detail" height="500"><Field text="sCliente" calculated="true" width="3000" height="300"/></Section>
        </Report>)~";
    vsr.Load(Definition(report.arg(1500)), "R");
    const PageModel model = vsr.Layout();
    // 3 rows under the first page's 1500 twips of header, 5 under the others' 500.
    ASSERT_EQ(model.PageCount(), 5);
    EXPECT_EQ(Places(model, {"Primera 1/5", "C000", "C002", "Siguientes", "C003", "C008", "C019"}),
              "0:0 0:1500 0:2500 1:0 1:500 2:500 4:1000");
    EXPECT_EQ(model.FindText("Siguientes", true).size(), 4);
    EXPECT_EQ(model.FindText("Primera", false).size(), 1);

    // Either header must leave room on the paper.
    vsr.Load(Definition(report.arg(3000)), "R");
    EXPECT_EQ(ErrorOf([&] { vsr.Layout(); }), ErrorNumber::BadReport);
}

TEST_F(ReportTest, ShippedExampleListsClientsByLetterWithTotals) {
    double total = 0;
    QStringList clients;
    for (int i = 0; i < 90; ++i) {
        clients << QString(QChar('A' + i % 6)) + QString("cliente %1").arg(i, 2, 10, QChar('0'));
        AddClient(clients.last(), i * 1.25, "Rúa Nova " + QString::number(i));
        total += i * 1.25;
    }
    // Spanish order: Óscar with the O, Seán before Sergio, Ñ a letter of its own after N.
    for (const char* name : {"Sergio", "Seán", "Óscar", "Olga", "Ñandú"}) {
        clients << name;
        AddClient(name, 1000);
    }
    vsr.Load(ExampleFile(), "Listado");
    const PageModel model = vsr.Layout();
    ASSERT_GE(model.PageCount(), 2);
    for (int page = 0; page < model.PageCount(); ++page)
        EXPECT_NE(model.FindItem(QString("Página %1 de %2").arg(page + 1).arg(model.PageCount())),
                  nullptr);
    for (const QString& text : {QString("95 clientes en total"), QString("2.000,00"),
                                Expression::FormatNumber(total + 5000, "#,##0.00", QLocale("es"))})
        EXPECT_NE(model.FindItem(text), nullptr) << text.toStdString();
    // Six letters of 15, O and S of 2, Ñ of 1.
    EXPECT_EQ(QString("%1 %2 %3")
                  .arg(model.FindText("15 clientes", true).size())
                  .arg(model.FindText("2 clientes", true).size())
                  .arg(model.FindText("1 cliente", true).size()),
              "6 2 1");
    const QStringList names = {"Olga", "Óscar", "Seán", "Sergio"};
    for (int i = 0; i + 1 < names.size(); ++i) {
        const PageModel::Hit a = model.FindText(names[i], true).first();
        const PageModel::Hit b = model.FindText(names[i + 1], true).first();
        EXPECT_LT(std::make_pair(a.page, model.ItemAt(a).rect.y()),
                  std::make_pair(b.page, model.ItemAt(b).rect.y()))
            << names[i].toStdString();
    }
    // Every letter's header has a row of its own letter below it on the same page, and every
    // group's total a row above it.
    for (const PageModel::Hit& hit : model.FindText("", false)) {
        const PageItem& item = model.ItemAt(hit);
        const bool header = item.text.size() == 1;
        if (!header && !QRegularExpression("^\\d+ clientes?$").match(item.text).hasMatch())
            continue;
        bool followed = false;
        for (const PageItem& row : model.Items(hit.page))
            followed = followed ||
                       (clients.contains(row.text) &&
                        (header ? row.rect.y() > item.rect.y() && row.text.startsWith(item.text)
                                : row.rect.y() < item.rect.y()));
        EXPECT_TRUE(followed) << item.text.toStdString();
    }
}

TEST_F(ReportTest, HeaderSourceReadsWithTheFirstRowsValuesAndNumbersFollowTheLocale) {
    AddClient("O'Brien", 1234.5);
    AddClient("Zoe", 2);
    const QString definition = Definition(R"~(<Report name="R" locale="es">
        <DataSource recordSource="SELECT sCliente, nSaldo FROM Clientes ORDER BY sCliente"/>
        <HeaderSource recordSource="SELECT sPoblacion AS sCiudad, nSaldo * 2 AS nDoble, ':sCliente' AS sTal FROM Clientes WHERE sCliente = :SCLIENTE"/>
        <Section kind="Detail" height="300">
          <Field text="sCliente &amp; &quot; &quot; &amp; sCiudad &amp; &quot; &quot; &amp; sTal" calculated="true" width="4000" height="300"/>
          <Field text="nDoble" calculated="true" format="#,##0.00 €" left="4000" width="2000" height="300"/>
        </Section>
        <Section kind="ReportFooter" height="300">
          <Field text="format(Sum(nSaldo), &quot;#,##0.0#&quot;)" calculated="true" width="2000" height="300"/>
          <Field name="Pagado" text="-17.5" format="0.00" left="2000" width="2000" height="300"/>
          <Field text="Total" format="0.00" left="4000" width="2000" height="300"/>
          <Field text="&quot;[&quot; &amp; sCiudad &amp; &quot;]&quot;" calculated="true" left="6000" width="2000" height="300"/>
        </Section></Report>)~");
    vsr.Load(definition, "R");
    PageModel model = vsr.Layout();
    // The header row is read once, for the first client, and shows on every row. A caption the
    // caller set to an amount is formatted; any other caption stays as it is.
    EXPECT_EQ(model.FindText("2.469,00 €", true).size(), 2);
    for (const QString text :
         {"O'Brien Lugo :sCliente", "Zoe Lugo :sCliente", "1.236,5", "-17,50", "Total", "[Lugo]"})
        EXPECT_NE(model.FindItem(text), nullptr) << text.toStdString();

    // Without rows the parameters are NULL and the header columns read empty.
    vsr.SetRecordSource("SELECT sCliente, nSaldo FROM Clientes WHERE 1 = 0");
    model = vsr.Layout();
    EXPECT_NE(model.FindItem("[]"), nullptr);

    vsr.Report().SetHeaderSource("SELECT 1 AS n FROM Clientes WHERE sCliente = :sNombre");
    QString description;
    EXPECT_EQ(ErrorOf([&] { vsr.Layout(); }, &description), ErrorNumber::BadReport);
    EXPECT_TRUE(description.contains(":sNombre")) << description.toStdString();

    // A parameter the caller set stands for a value of the session: it is read before the
    // columns (":sCliente" is Zoe's, not the first row's) and written as a literal like them.
    vsr.SetRecordSource("SELECT sCliente, nSaldo FROM Clientes ORDER BY sCliente");
    vsr.Report().SetParameter("SNOMBRE", "O'Brien");
    vsr.Report().SetParameter("sCliente", "Zoe");
    vsr.Report().SetHeaderSource("SELECT :sNombre || '/' || sCliente AS sCiudad, 0 AS nDoble, "
                                 "'' AS sTal FROM Clientes WHERE sCliente = :sCliente");
    EXPECT_NE(vsr.Layout().FindItem("[O'Brien/Zoe]"), nullptr);
}
