// The viewer showing a named report: field rules, labels, pictures and sub-reports.

#include "ReportsFixture.h"

#include "platform/report/ReportComponent.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

namespace {

// A definition of our own: the field rule's columns, a caption with "&", three label fields
// and a sub-report that has a query of its own.
const char* const Prueba = R"(<Reports>
  <Report name="Principal">
    <Paper width="11906" height="4000" left="500" top="300" right="500" bottom="300"/>
    <Section kind="Detail" height="1800">
      <Field name="Fecha" text="dFecha" calculated="true" left="0" top="0" width="3000" height="240"/>
      <Field name="Vacia" text="dVacia" calculated="true" left="3600" top="0" width="3000" height="240"/>
      <Field name="Pagado" text="bPagado" calculated="true" left="7200" top="0" width="2000" height="240"/>
      <Field name="Titulo" text="%1" left="0" top="480" width="5000" height="240"/>
      <Field name="L1" text="orig1" left="0" top="960" width="3000" height="240"/>
      <Field name="L2" text="orig2" left="3600" top="960" width="3000" height="240"/>
      <Field name="L3" text="orig3" left="7200" top="960" width="3000" height="240"/>
      <Field name="Hijo" subReport="Detalle" left="0" top="1440" width="5000" height="240"/>
    </Section>
  </Report>
  <Report name="Detalle">
    <DataSource recordSource="SELECT 'propio' AS sOrigen"/>
    <Section kind="Detail" height="240">
      <Field name="Origen" text="sOrigen" calculated="true" left="0" top="0" width="3000" height="240"/>
    </Section>
  </Report>
</Reports>)";

const char* const MainSql = "SELECT 20260305 AS dFecha, 0 AS dVacia, 1 AS bPagado";

} // namespace

class ShowXmlTest : public ReportsFixture {
protected:
    void WriteDefinition(const QString& path, const QString& caption) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString(Prueba).arg(caption).toUtf8());
    }
    ReportJob Job(const QString& names = "Principal", const QString& sqls = MainSql) {
        return ReportJob{1, "Prueba.xml", names, sqls, {}, {}, {}};
    }

    Viewer viewer;
};

TEST_F(ShowXmlTest, FileLookupCustomFirstAndMissingFileSaid) {
    ReportJob empty{1, {}, {}, MainSql, {}, {}, {}};
    EXPECT_TRUE(viewer.ShowXml(empty).isEmpty());
    ReportJob missing = Job();
    viewer.ShowXml(missing);
    EXPECT_EQ(ui().ModalCount, 0);
    EXPECT_TRUE(Shown(suite, "No se ha podido encontrar el informe en la carpeta Data/Reports."));

    WriteDefinition(Gi.sPathReports + "/Prueba.xml", "Informe general");
    WriteDefinition(Gi.sPathReports + "/Custom/Prueba.xml", "Informe propio");
    ReportJob job = Job();
    viewer.ShowXml(job);
    EXPECT_EQ(ui().ModalCount, 1);
    EXPECT_EQ(job.sFileName, Gi.sPathReports + "/Custom/Prueba.xml");
    EXPECT_TRUE(viewer.sUltimoXmlEmitido.contains("Informe propio"));
    // The temporary text file is gone once read.
    EXPECT_FALSE(QFile::exists(QCoreApplication::applicationDirPath() + "/Tempfile_1.txt"));
}

TEST_F(ShowXmlTest, BrokenCustomDefinitionIsRefusedInTheWindow) {
    QDir().mkpath(Gi.sPathReports + "/Custom");
    QFile broken(Gi.sPathReports + "/Custom/Factura.xml");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<Reports><Report name=\"Normal\"><Field/>");
    broken.close();
    ReportJob job = *Informes::FacturaJob(1, Informes::Normal);
    EXPECT_EQ(EndStatus([&] { viewer.ShowXml(job); }), -1);
    EXPECT_TRUE(Shown(suite, "No se puede mostrar el informe: "));
    EXPECT_EQ(ui().ModalCount, 0);
}

TEST_F(ShowXmlTest, FieldRuleFollowsTheLanguageAndLabelsSetTextsOrPictures) {
    WriteDefinition(Gi.sPathReports + "/Prueba.xml", "Cli&amp;ente");
    const QString picture = suite.Root() + "/sello.png";
    QImage stamp(40, 20, QImage::Format_RGB32);
    stamp.fill(Qt::red);
    ASSERT_TRUE(stamp.save(picture));

    ReportJob job = Job();
    job.sLabels = "L1|L2|L3";
    job.sLabelsValues = "C/ Mayor 5|" + QString(picture).replace('/', '\\');
    viewer.ShowXml(job);
    const QString& text = viewer.sUltimoXmlEmitido;
    for (const char* shown : {"05/03/2026", "Sí", "Cliente", "C/ Mayor 5"})
        EXPECT_TRUE(text.contains(shown)) << shown << "\n" << text.toStdString();
    EXPECT_FALSE(text.contains("//"));
    EXPECT_FALSE(viewer.Vsr().Field("L2").PictureImage().isNull());
    EXPECT_EQ(viewer.Vsr().Field("L3").Text(), "orig3");
}

TEST_F(ShowXmlTest, SubReportsAreReboundOnlyWhenNamed) {
    WriteDefinition(Gi.sPathReports + "/Prueba.xml", "Con subinforme");
    ReportJob own = Job();
    viewer.ShowXml(own);
    EXPECT_TRUE(viewer.sUltimoXmlEmitido.contains("propio"));

    ReportJob bound = Job("Detalle|Principal", "SELECT 'enlazado' AS sOrigen|" + QString(MainSql));
    viewer.ShowXml(bound);
    EXPECT_TRUE(viewer.sUltimoXmlEmitido.contains("enlazado"));
    EXPECT_FALSE(viewer.sUltimoXmlEmitido.contains("propio"));
}

TEST_F(ShowXmlTest, LogoTakesItsPlaceOrItsAbsenceIsSaid) {
    const Invoice invoice = AddInvoice(1);
    ReportJob job = *Informes::FacturaJob(invoice.id, Informes::Normal);
    viewer.ShowXml(job);
    EXPECT_EQ(viewer.Vsr().Field("Logo").Rect(), QRect(0, 0, 9800, 1155));
    EXPECT_FALSE(viewer.Vsr().Field("Logo").PictureImage().isNull());

    ASSERT_TRUE(QFile::remove(Gi.sPathData + "/Logo.bmp"));
    ReportJob again = *Informes::FacturaJob(invoice.id, Informes::Normal);
    viewer.ShowXml(again);
    EXPECT_TRUE(Shown(suite, "Archivo gráfico inexistente.//Debe crear el archivo Logo.bmp."));
    EXPECT_EQ(ui().ModalCount, 2);
    EXPECT_TRUE(viewer.sUltimoXmlEmitido.contains("María O'Neill"));
}
