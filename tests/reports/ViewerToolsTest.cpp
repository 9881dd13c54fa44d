// The viewer's tools: zoom, its messages, paging, export, e-mail and fax, paper forms.

#include "ReportsFixture.h"

#include "platform/ui/seam/InteractiveUi.h"
#include "platform/ui/widgets/Frm.h"
#include "reports/SetPrinterPaper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QTest>
#include <QThread>
#include <QTimer>

class ViewerToolsTest : public ReportsFixture {
protected:
    // A 40-line invoice in "Normal" (several pages) shown in the viewer, which returns at once.
    ViewerToolsTest() {
        ReportJob job = *Informes::FacturaJob(AddInvoice(40).id, Informes::Normal);
        viewer.ShowXml(job);
        ui().Shown.clear();
    }
    QStringList Exported() const {
        return QDir(Gi.sPathExport).entryList(QDir::Files | QDir::NoDotAndDotDot);
    }

    Viewer viewer;
};

TEST_F(ViewerToolsTest, ZoomChangesOnlyForAPositiveAnswer) {
    for (const char* answer : {"", "0", "-5", "abc"}) {
        ui().Inputs.push_back(answer);
        viewer.Frm_evtToolClick("Z");
        EXPECT_EQ(viewer.vp().Zoom(), 75) << answer;
    }
    EXPECT_EQ(viewer.Frame().PanelText(1), "Zoom 75%");
    ui().Inputs.push_back("150");
    viewer.Frm_evtToolClick("Zoom_NA");
    EXPECT_EQ(viewer.vp().Zoom(), 150);
    EXPECT_EQ(viewer.Frame().PanelText(1), "Zoom 150%");
}

// A message of the viewer is centred over it: over the active window, and over the window on
// screen while the window system has activated none (focus just back from the print dialog).
TEST_F(ViewerToolsTest, MessagesAreOwnedByTheViewer) {
    viewer.show();
    viewer.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer));
    InteractiveUi seam;
    for (const bool active : {true, false}) {
        if (!active)
            QApplication::setActiveWindow(nullptr);
        QWidget* owner = nullptr;
        QTimer::singleShot(0, [&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                    owner = box->parentWidget();
                    box->accept();
                }
        });
        seam.Message("Error", "No hay conexión con la impresora", Ui::Icon::Critical);
        EXPECT_EQ(owner, &viewer) << (active ? "active" : "none active");
    }
}

TEST_F(ViewerToolsTest, PagingAndGoToPageStayInsideTheDocument) {
    const int pages = viewer.vp().PageCount();
    ASSERT_GE(pages, 2);
    auto* label = viewer.findChild<QLabel*>("lblPage_NA");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "1/" + QString::number(pages));
    viewer.Frm_evtToolClick("DirIzq_NA");
    EXPECT_EQ(viewer.vp().Page(), 1);
    viewer.Frm_evtToolClick("DirDer_NA");
    EXPECT_EQ(label->text(), "2/" + QString::number(pages));
    ui().Inputs.push_back("99");
    viewer.lblPage_NA_Click();
    EXPECT_EQ(viewer.vp().Page(), pages);
    EXPECT_TRUE(Shown(suite, "[Ir a página...] Escriba el número de página al cual desea ir."));
    viewer.lblPage_NA_Click(); // cancelled: stays
    EXPECT_EQ(viewer.vp().Page(), pages);
}

TEST_F(ViewerToolsTest, ExportWritesTheFileTypeChosenWhereTheUserSaidAndSaysWhere) {
    // One save dialog offers the four types and suggests the document's own name.
    QString title = viewer.vp().Document().Title();
    const QString name = title.replace('/', '-') + ".pdf";
    ASSERT_TRUE(name.startsWith("Factura 00"));
    viewer.Frm_evtToolClick("Export_NA"); // cancelled
    ASSERT_EQ(ui().Shown.size(), 1);
    EXPECT_TRUE(ui().Shown[0].startsWith("[Exportar] /")) << ui().Shown[0].toStdString();
    EXPECT_TRUE(ui().Shown[0].endsWith("/" + name));

    const QString folder = suite.Root() + "/Mis documentos";
    QDir().mkpath(folder);
    struct Case {
        const char* name;
        const char* written;
        const char* head;
    };
    for (const Case& c : {Case{"f.pdf", "f.pdf", "%PDF"}, Case{"f.txt", "f.txt", "María O'Neill"},
                          Case{"f.rtf", "f.rtf", "{\\rtf"}, Case{"f.html", "f.html", "<"},
                          Case{"sin tipo", "sin tipo.pdf", "%PDF"}}) {
        ui().Files.push_back(folder + "/" + c.name);
        viewer.Frm_evtToolClick("E");
        const QString written = folder + "/" + c.written;
        EXPECT_TRUE(ReadAll(written).contains(c.head)) << c.name;
        EXPECT_EQ(viewer.Frame().NoticeText(), "Documento guardado en " + written);
    }
    EXPECT_TRUE(viewer.vp().ExportFile().isEmpty());
    // The next export starts in the folder used last; nothing was written beside the program.
    ui().Shown.clear();
    viewer.Frm_evtToolClick("E");
    EXPECT_EQ(ui().Shown, QStringList{"[Exportar] " + folder + "/" + name});
    EXPECT_TRUE(Exported().isEmpty());
    EXPECT_TRUE(QDir(QCoreApplication::applicationDirPath())
                    .entryList({"Tempfile_*"}, QDir::Files)
                    .isEmpty());
}

TEST_F(ViewerToolsTest, OnlyPdfAsksJustForPdfAndAnUnwritablePathIsSaid) {
    viewer.bExportOnlyPdf = true;
    ui().Confirmations.push_back(true);
    ui().Files.push_back(suite.Root() + "/solo.pdf");
    viewer.Frm_evtToolClick("E");
    EXPECT_TRUE(ReadAll(suite.Root() + "/solo.pdf").startsWith("%PDF"));
    EXPECT_TRUE(Shown(suite, "¿Desea exportar a pdf?"));
    EXPECT_FALSE(Shown(suite, "Seleccione"));

    ui().Confirmations.push_back(true);
    ui().Files.push_back(suite.Root() + "/no/such/folder/x.pdf");
    EXPECT_EQ(EndStatus([&] { viewer.Frm_evtToolClick("E"); }), -1);
    EXPECT_TRUE(Shown(suite, "No se ha podido escribir el archivo"));
    EXPECT_FALSE(QFile::exists(suite.Root() + "/no/such/folder/x.pdf"));

    viewer.reject();
    EXPECT_FALSE(viewer.bExportOnlyPdf);
}

TEST_F(ViewerToolsTest, EMailTwiceOverwritesTheAttachmentAndFaxHandsOverTheDocument) {
    QDir().mkpath(Gi.sPathExe);
    const QString log = suite.Root() + "/tvEmail.log";
    QFile script(Gi.sPathExe + "/tvEmail");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    viewer.Frm_evtToolClick("M");
    viewer.Frm_evtToolClick("EMail_NA");
    QElapsedTimer waited;
    waited.start();
    while (ReadAll(log).count('\n') < 2 && waited.elapsed() < 10000)
        QThread::msleep(50);
    const QString attachment = Gi.sPathExport + "/Documento1.pdf";
    EXPECT_EQ(ReadAll(log).count(attachment), 2);
    EXPECT_TRUE(ReadAll(attachment).startsWith("%PDF"));
    EXPECT_EQ(Exported(), QStringList{"Documento1.pdf"});

    // No fax module installed: the document is saved and the missing module is said.
    viewer.Frm_evtToolClick("F");
    PreviewControl reopened;
    reopened.LoadDoc(Gi.sPathExport + "/FaxView1");
    EXPECT_EQ(reopened.PageCount(), viewer.vp().PageCount());
    EXPECT_TRUE(Shown(suite, "No se ha podido encontrar el módulo solicitado."));
}

TEST_F(ViewerToolsTest, ShowDocumentShowsAnyLaidOutDocument) {
    PageModel model;
    model.AddPage(QSize(16838, 11906));
    model.AddPage(QSize(16838, 11906));
    QString label, caption;
    ui().ModalActions.push_back([&](QWidget& window) {
        label = window.findChild<QLabel*>("lblPage_NA")->text();
        caption = static_cast<Viewer&>(window).Frame().Caption();
    });
    Viewer::ShowDocument(model, "Facturación");
    EXPECT_EQ(label, "1/2");
    EXPECT_EQ(caption, "Facturación");
}

TEST_F(ViewerToolsTest, PaperFormNamesAndTheMissingPrinter) {
    EXPECT_EQ(PrinterPaper::FormName(210, 101.6), "TvPaper_210000x101600");
    EXPECT_EQ(PrinterPaper::FormName(75, 100), "TvPaper_75000x100000");
    EXPECT_EQ(PrinterPaper::MmToTwips(101.6), 5760);
    EXPECT_EQ(PrinterPaper::MmToTwips(297), 16838);
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed here";
    EXPECT_FALSE(SetPrinterPaper(2, viewer.vp(), &viewer.Frame()));
    EXPECT_TRUE(ui().Shown.isEmpty()) << "a notice in the viewer, not a message to dismiss";
    EXPECT_TRUE(viewer.Frame().NoticeText().startsWith(
        "No hay ninguna impresora instalada: el documento no se ha impreso."));
    EXPECT_FALSE(SetPrinterPaper(2, viewer.vp(), nullptr));
    EXPECT_TRUE(ui().Shown.value(0).startsWith("[Aviso] No hay ninguna impresora instalada"));
    // Printing without a printer is said, not fatal.
    EXPECT_EQ(EndStatus([&] { viewer.Frm_evtToolClick("P"); }), -1);
    EXPECT_TRUE(Shown(suite, "No hay conexión con la impresora"));
}
