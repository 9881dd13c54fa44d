// Issuing an invoice from the billing window as the front desk does it: the button or its key,
// the payment dialog, the viewer, and a cell still being edited when the user moves on.
#include "BillingFixture.h"

#include "billing/CodigoProducto.h"
#include "payment/FacturaInfo.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "reports/Viewer.h"
#include "session/G.h"
#include "support/OtherWorkstation.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace {

QStringList& Warnings() {
    static QStringList warnings;
    return warnings;
}

void Collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg || type == QtCriticalMsg)
        Warnings() << message;
}

class InvoiceFlowTest : public BillingTest {
protected:
    QtMessageHandler previous = nullptr;
    int edits = 0;

    void SetUp() override {
        Warnings().clear();
        previous = qInstallMessageHandler(Collect);
    }
    void TearDown() override { qInstallMessageHandler(previous); }

    void OpenCounting() {
        Open();
        QObject::connect(w->gd.get(), &GridController::evtLeaveCell, w.get(),
                         [this](qint32, qint32) { ++edits; });
    }
    bool CommitWarned() const {
        return Warnings().filter("commitData").size() + Warnings().filter("closeEditor").size() > 0;
    }
};

TEST_F(InvoiceFlowTest, FromThePendingLinesToTheViewerAndAnEmptyGrid) {
    Open();
    ASSERT_EQ(w->gd->RecordCount(), 2); // CONS03 18.15 and PIEN10 12.10
    const QString number =
        "A0001/" + QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
    bool viewerShowedIt = false;
    suite.Ui().ModalActions.push_back([](QWidget& window) {
        auto& info = dynamic_cast<FacturaInfo&>(window);
        info.txtImp[0]->setText("20");
        QTest::mouseClick(info.findChild<QPushButton*>("FormatoDetallado_BT"), Qt::LeftButton);
    });
    suite.Ui().ModalActions.push_back([&](QWidget& window) {
        auto& viewer = dynamic_cast<Viewer&>(window);
        viewerShowedIt = viewer.vp().PageCount() == 1 &&
                         !viewer.vp().Document().FindText(number).isEmpty() &&
                         !viewer.vp().Document().FindText("Pienso adulto 3 kg").isEmpty();
    });
    QTest::mouseClick(w->Frame()->findChild<QPushButton*>("GenerarFactura_BT"), Qt::LeftButton);

    EXPECT_EQ(suite.Ui().ModalCount, 2);
    EXPECT_TRUE(viewerShowedIt);
    EXPECT_EQ(w->gd->RecordCount(), 0);
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), "0,00 €");
    EXPECT_EQ(w->Frame()->NoticeText(), "ESTE CLIENTE TIENE UNA DEUDA DE 10,25 €");
    // What the invoice writes is the invoicing tests' concern; here, that the window's own
    // choices reach it.
    EXPECT_EQ(
        Table("SELECT nTotal,nIdCaja,nIdEmpleado FROM Facturas WHERE sFactura='" + number + "'"),
        "30.25|1|1");
    EXPECT_FALSE(CommitWarned()) << Warnings().join('\n').toStdString();
}

// Another workstation holds what the number needs: the status bar says so while the window waits
// (and keeps painting), and the invoice goes through once it is let go.
TEST_F(InvoiceFlowTest, AWaitForAnotherWorkstationIsShownInTheStatusBar) {
    Open();
    OtherWorkstation other(suite.DbPath());
    other.Hold(TestEngine::Server()
                   ? QStringList{"BEGIN", "LOCK TABLE Contadores IN EXCLUSIVE MODE"}
                   : QStringList{"BEGIN IMMEDIATE"});
    QString during;
    suite.Ui().ModalActions.push_back([&](QWidget& window) {
        QTimer::singleShot(500, [&] {
            during = w->Frame()->PanelText(1);
            other.Release();
        });
        QTest::mouseClick(window.findChild<QPushButton*>("FormatoDetallado_BT"), Qt::LeftButton);
    });
    suite.Ui().ModalActions.push_back([](QWidget&) {});
    QTest::mouseClick(w->Frame()->findChild<QPushButton*>("GenerarFactura_BT"), Qt::LeftButton);

    EXPECT_EQ(during, " Esperando a otro puesto…");
    EXPECT_EQ(w->Frame()->PanelText(1), "");
    EXPECT_EQ(suite.Ui().ModalCount, 2) << "the payment dialog and the viewer";
    EXPECT_EQ(w->gd->RecordCount(), 0);
}

// A dialog has no status bar of its own: a wait while one is in front is told in the bar of the
// billing window behind it.
TEST_F(InvoiceFlowTest, AWaitWhileADialogIsInFrontIsShownInTheBillingWindowsBar) {
    Open();
    CodigoProducto dialog(*w);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.findChild<QWidget*>("FrmStatusBar"), nullptr);
    OtherWorkstation other(suite.DbPath());
    other.Hold(TestEngine::Server()
                   ? QStringList{"BEGIN", "LOCK TABLE Contadores IN EXCLUSIVE MODE"}
                   : QStringList{"BEGIN IMMEDIATE"});
    QString during;
    QTimer::singleShot(500, [&] {
        during = w->Frame()->PanelText(1);
        other.Release();
    });
    G::IncreaseSeriesCounter("Factura", Gi.nIdSucursal, "A", QDate::currentDate().year(),
                             [] { return 1; });
    EXPECT_EQ(during, " Esperando a otro puesto…");
    EXPECT_EQ(w->Frame()->PanelText(1), "");
}

TEST_F(InvoiceFlowTest, ACellBeingEditedIsCommittedOnceByTheButtonAndByF12) {
    OpenCounting();
    StartEditing(1, "Unid", "3");
    QTest::mouseClick(w->Frame()->findChild<QPushButton*>("GenerarFactura_BT"), Qt::LeftButton);
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(StoredUnits(1), 3);
    EXPECT_EQ(suite.Ui().ModalCount, 1) << "the payment dialog comes next";
    EXPECT_FALSE(CommitWarned()) << Warnings().join('\n').toStdString();

    QWidget* editor = StartEditing(2, "Unid", "4");
    QTest::keyClick(editor, Qt::Key_F12);
    EXPECT_EQ(edits, 2);
    EXPECT_EQ(StoredUnits(2), 4);
    EXPECT_EQ(suite.Ui().ModalCount, 2);
    EXPECT_FALSE(CommitWarned()) << Warnings().join('\n').toStdString();
}

TEST_F(InvoiceFlowTest, ToolKeysWorkFromTheGridAndKeepWhatIsBeingTyped) {
    OpenCounting();
    QWidget* editor = StartEditing(1, "Unid", "5");
    QTest::keyClick(editor, Qt::Key_F3);
    EXPECT_EQ(suite.Ui().ModalCount, 1) << "the product-by-code window opens";
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(StoredUnits(1), 5);

    // From the grid itself F3 opens it too, while Ctrl+A keeps selecting the grid's text.
    w->gdFacturacion->setFocus();
    QTest::keyClick(w->gdFacturacion, Qt::Key_F3);
    EXPECT_EQ(suite.Ui().ModalCount, 2);
    QTest::keyClick(w->gdFacturacion, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(suite.Ui().ModalCount, 2);

    // The history under F8 is taken from the grid as well, and each tip names its key.
    QTest::keyClick(w->gdFacturacion, Qt::Key_F8);
    for (const char* tool :
         {"Clientes_NA", "Estadisticas_NA", "CodigoProducto_NA", "HistoricoFacturas_NA"})
        EXPECT_TRUE(w->Frame()->Tool(tool)->toolTip().contains(QRegularExpression("\\(F\\d+\\)")))
            << tool;
    EXPECT_FALSE(CommitWarned());
}

TEST_F(InvoiceFlowTest, NoCashBoxIsSaidBeforeAnythingIsDrawn) {
    Open();
    const QString counters = Table("SELECT * FROM Contadores ORDER BY 1");
    w->cboCaja_SN->setCurrentIndex(-1);
    w->Frm_evtButtonPressed("GenerarFactura_BT");
    EXPECT_EQ(suite.Ui().ModalCount, 0);
    EXPECT_EQ(suite.Ui().Shown.last(),
              "[Aviso] Elija antes la caja en la que se cobra la factura.");
    EXPECT_EQ(Table("SELECT * FROM Contadores ORDER BY 1"), counters);
}

// A clinic's own invoice definition that could not print is found before anything is issued:
// not after the commit, when the user would take a failed print for a failed invoice.
TEST_F(InvoiceFlowTest, ACustomDefinitionThatCannotPrintStopsTheInvoiceBeforeItIsIssued) {
    Open();
    QFile original(Gi.sPathReports + "/Factura.xml");
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QString definition = QString::fromUtf8(original.readAll());
    const QString counters = Table("SELECT * FROM Contadores ORDER BY 1");
    const QString custom = Gi.sPathReports + "/Custom/Factura.xml";
    QDir().mkpath(Gi.sPathReports + "/Custom");
    const std::pair<QString, QString> cases[] = {
        {"<Reports><Report name=\"Normal\"><Field/>", ": "},
        {QString(definition).replace("name=\"Ticket\"", "name=\"Caja\""), "Ticket"},
        {QString(definition)
             .replace("SELECT MIN(nIdConfiguracionEmpresa)", "SELECT pg_advisory_lock(1)"),
         ": la consulta de \"Normal\" no puede usar pg_advisory_lock.\nNo se ha emitido la "
         "factura."}};
    for (const auto& [text, said] : cases) {
        QFile file(custom);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
        file.close();
        w->Frm_evtButtonPressed("GenerarFactura_BT");
        EXPECT_EQ(suite.Ui().ModalCount, 0);
        const QString shown = suite.Ui().Shown.value(suite.Ui().Shown.size() - 1);
        EXPECT_TRUE(shown.startsWith("[Error] El informe " + custom +
                                     " no se puede usar para imprimir facturas") &&
                    shown.contains(said))
            << shown.toStdString();
    }
    EXPECT_EQ(Table("SELECT * FROM Contadores ORDER BY 1"), counters);
}

} // namespace
