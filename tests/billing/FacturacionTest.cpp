// The billing window on the demo clinic, with its selector, grid handlers and product-by-code
// entry, as the front desk uses them.
#include "BillingFixture.h"

#include "billing/AcercaDe.h"
#include "billing/CSearch.h"
#include "billing/CodigoProducto.h"
#include "billing/FacturaHist.h"
#include "billing/Facturacion.h"
#include "billing/Mainform.h"
#include "invoicing/Mostrador.h"
#include "payment/FacturaInfo.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/ui/widgets/GridController.h"
#include "platform/util/Utility.h"
#include "register/SistemaInformaticoBuild.h"
#include "reports/Viewer.h"
#include "session/Gi.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST_F(BillingTest, OpensOnPetOneWithItsClientBoxAndPendingLines) {
    Open();
    EXPECT_EQ(QStringList({w->cboMascota_SN->currentText(), w->cboCliente_SN->currentText(),
                           w->cboEmpleado_SN->currentText(), w->cboCaja_SN->currentText()})
                  .join('|'),
              "Toby|Ana García López|Dra. Marta Sánchez|1) Caja general");
    EXPECT_EQ(w->cboCaja_SN->count(), 2);
    EXPECT_TRUE(w->gd->Editable());
    EXPECT_EQ(w->gd->RecordCount(), 2);
    EXPECT_EQ(w->lGd->text(), "  L: 0001/0002  P: 0001/0001");
    const double total = w->gd->ColumnTotal("Total", 2);
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), AmountText::Euros(total));
    EXPECT_EQ(Gi.nParam3, 0);
    EXPECT_TRUE(w->Frame()->Tool("Clientes_NA")->isVisibleTo(w.get()));
}

TEST_F(BillingTest, StartedForAPetItShowsThatPetAndHidesTheClientFile) {
    Open("admin", "admin", 5);
    EXPECT_EQ(w->cboMascota_SN->currentText(), "Max");
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Seán O'Brien"); // a quote in the name
    EXPECT_EQ(w->dm->Dato(DatoPareja::IdCliente), "5");
    EXPECT_FALSE(w->Frame()->Tool("Clientes_NA")->isVisibleTo(w.get()));
}

TEST_F(BillingTest, APetSharedByTwoClientsNarrowsTheClientsAndDatoAnswersForThePair) {
    Open();
    w->Frame()->CBoxProperty_Set(w->cboMascota_SN, "Luna");
    QStringList clients;
    for (int i = 0; i < w->cboCliente_SN->count(); ++i)
        clients << w->cboCliente_SN->itemText(i);
    EXPECT_EQ(clients.join('|'), "Javier Martínez Ruiz|Lucía Fernández Gil");

    CSearch& dm = *w->dm;
    using enum DatoPareja;
    auto data = [&](std::initializer_list<DatoPareja> answers) {
        QStringList data;
        for (DatoPareja dato : answers)
            data << dm.Dato(dato);
        return data.join('|');
    };
    w->Frame()->CBoxProperty_Set(w->cboCliente_SN, "Lucía Fernández Gil");
    EXPECT_EQ(data({IdMascota, Mascota, Especie, IdCliente, Cliente, IdEmpleado}),
              "3|Luna|Perro|3|Lucía Fernández Gil|1");
    // A client who does not own the pet is no pair.
    w->cboCliente_SN->setEditText("Ana García López");
    EXPECT_EQ(data({IdCliente, Cliente}), "0|0");

    // Clearing the pet's name by keyboard lists every client again.
    w->cboMascota_SN->setFocus();
    w->cboMascota_SN->lineEdit()->selectAll();
    QTest::keyClick(w->cboMascota_SN, Qt::Key_Backspace);
    EXPECT_GT(w->cboCliente_SN->count(), 20);

    EXPECT_FALSE(dm.DefineFrom_nIdMascota(0));
    EXPECT_EQ(w->cboMascota_SN->currentText(), "");
    EXPECT_EQ(w->cboCliente_SN->currentText(), "");
    w->cboCliente_SN->setEditText("Ana García López");
    EXPECT_TRUE(dm.DefineFrom_nIdMascota(99999));
    EXPECT_EQ(w->cboMascota_SN->currentText(), "");
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Ana García López");
}

TEST_F(BillingTest, AProductIsPricedAtTheClientsLevelAndItsLineSavedWithBaseAndTax) {
    Open();
    ChoosePet(6); // Canela, of the shelter that buys at level 3
    ASSERT_EQ(w->dm->Dato(DatoPareja::IdCliente), "6");
    EXPECT_EQ(w->nPvpUtilizado, 3);
    const int row = NewLine();
    Type(row, "Producto Servicio", "pienso adulto 3 KG");
    EXPECT_EQ(Cells(row, {"Producto Servicio", "Unid", "Precio", "Ipto", "Total"}),
              "Pienso adulto 3 kg|1|8,00|21,00|9,68");
    EXPECT_TRUE(w->gd->IsNewLine(row + 1));
    EXPECT_EQ(Table("SELECT i.nIdCliente,i.nIdMascota,p.sCodigo FROM FacturasItems i JOIN "
                    "ProductosServicios p ON p.nIdProductoServicio=i.nIdProductoServicio WHERE "
                    "i.nIdFacturaItem=" +
                    w->gd->CellText(row, "Id")),
              "6|6|PIEN10");
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), "9,68 €");

    // At level 1, 3 units at 10 and 21 %: base and tax stored unrounded from the same figures.
    ChoosePet(1);
    const int pienso = RowOf("Pienso adulto 3 kg");
    ASSERT_GT(pienso, 0);
    Type(pienso, "Unid", "3");
    EXPECT_EQ(w->gd->CellText(pienso, "Total"), "36,30");
    EXPECT_EQ(Table("SELECT nTotal,nUnidades,nBaseImp,nImpuestos FROM FacturasItems WHERE "
                    "nIdFacturaItem=" +
                    w->gd->CellText(pienso, "Id")),
              "36.3|3|30|6.3");
    const double others = w->gd->ColumnTotal("Total", 2) - 36.3;
    // The three totals, as the desk reads them, add up.
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), AmountText::Euros(36.3 + others));
    const auto shown = [](const QLabel* label) { return U().SqlNumber(label->text().chopped(2)); };
    EXPECT_NEAR(shown(w->lblTotalBI_MN) + shown(w->lblTotalIptos_MN),
                shown(w->lblTotalAFacturar_MN), 0.001);
}

TEST_F(BillingTest, AnUnknownProductIsCreatedOnlyWhenTheUserSaysSo) {
    Open();
    const int items = Count("FacturasItems");
    ScriptedUi& ui = suite.Ui();
    ui.Confirmations = {false};
    const int row = NewLine();
    Type(row, "Producto Servicio", "Champú d'avena");
    ASSERT_EQ(ui.Shown.size(), 1);
    EXPECT_EQ(ui.NoByDefault, QStringList{"El ítem no existe. ¿Desea crearlo?"});
    EXPECT_EQ(Count("FacturasItems"), items);
    EXPECT_EQ(Count("ProductosServicios", "sProductoServicio='Champú d''avena'"), 0);
    EXPECT_TRUE(w->gd->IsNewLine(row));
    EXPECT_EQ(w->gd->CellText(row, "Producto Servicio"), "Champú d'avena");

    // Units typed on the refused line still save nothing.
    Type(row, "Unid", "2");
    EXPECT_EQ(Count("FacturasItems"), items);

    ui.Confirmations = {true};
    Type(row, "Producto Servicio", "Champú de avena");
    EXPECT_EQ(Count("ProductosServicios", "sProductoServicio='Champú de avena'"), 1);
    EXPECT_EQ(Count("FacturasItems"), items + 1);
    EXPECT_EQ(Table("SELECT p.sProductoServicio FROM FacturasItems i JOIN ProductosServicios p ON "
                    "p.nIdProductoServicio=i.nIdProductoServicio WHERE i.nIdFacturaItem=" +
                    w->gd->CellText(row, "Id")),
              "Champú de avena");
}

TEST_F(BillingTest, TheHistoryShowsInvoicedLinesWhichCannotBeDeleted) {
    Open();
    const int pending = w->gd->RecordCount();
    w->ckHistorial_TX->click();
    ASSERT_GT(w->gd->RecordCount(), pending);
    int invoiced = 0;
    for (int row = 1; row <= w->gd->RecordCount() && !invoiced; ++row)
        if (!w->gd->CellText(row, "Factura").isEmpty())
            invoiced = row;
    ASSERT_GT(invoiced, 0);
    EXPECT_EQ(w->gd->CellText(invoiced, "Fecha").size(), 10); // dd/mm/yyyy
    const int items = Count("FacturasItems");

    ScriptedUi& ui = suite.Ui();
    ui.Confirmations = {true};
    w->gd->SetCurrentCell(invoiced, 5);
    QTest::keyClick(w->gdFacturacion, Qt::Key_Delete);
    EXPECT_TRUE(
        ui.Shown.last().contains("No es posible eliminar un ítem de una factura ya emitida!"));
    EXPECT_EQ(Count("FacturasItems"), items);
    EXPECT_FALSE(w->gdFacturacion->model()->flags(w->gdFacturacion->currentIndex()) &
                 Qt::ItemIsEditable);

    w->ckHistorial_TX->click();
    const QString pienso = w->gd->CellText(RowOf("Pienso adulto 3 kg"), "Id");
    w->gd->SetCurrentCell(RowOf("Pienso adulto 3 kg"), 5);
    ui.Confirmations = {true};
    QTest::keyClick(w->gdFacturacion, Qt::Key_Delete);
    EXPECT_EQ(ui.Shown.last(), QString::fromUtf8("[Confirmación] ¿Eliminar la línea «Pienso adulto "
                                                 "3 kg», 1 x 10,00 = 12,10\u00a0€?"));
    EXPECT_EQ(Count("FacturasItems", "nIdFacturaItem=" + pienso), 0);
    EXPECT_EQ(w->gd->RecordCount(), pending - 1);
}

TEST_F(BillingTest, ProductByCodeAddsRoundedLinesAndStaysOpenForTheNext) {
    Open();
    const int lines = w->gd->RecordCount();
    QStringList labels;
    suite.Ui().ModalActions.push_back([&](QWidget& window) {
        auto& dialog = static_cast<CodigoProducto&>(window);
        // Codes match whatever their case and accents; a partial or quoted one matches nothing.
        for (const char* code : {"PIEN", "PIEN10", "PIEN1'0", "pien10", " Pién10 "}) {
            dialog.txtCodigo_TX->setText(code);
            labels << dialog.lblProducto->text();
        }
        dialog.txtCodigo_TX->setText("PIEN10");
        dialog.txtCantidad_NU->setText("2");
        dialog.Frm_evtButtonPressed("Aceptar_BT");
        EXPECT_EQ(dialog.txtCodigo_TX->text(), "");
        EXPECT_EQ(dialog.txtCantidad_NU->text(), "1");
        EXPECT_EQ(w->gd->RecordCount(), lines + 1); // shown in the grid at once

        // Typed as a hurried desk does, Enter after each field (Enter moving on as Tab does):
        // every mistake is said, the cursor stays where it was made and nothing is added.
        dialog.Frame()->SetReturnIsTab(true);
        suite.Ui().Shown.clear();
        for (const char* quantity : {"dos", "1e308", "-3", "0", "123456789012345678901234567890"}) {
            QApplication::setActiveWindow(&dialog);
            dialog.txtCodigo_TX->setFocus();
            QTest::keyClicks(dialog.txtCodigo_TX, "PIEN10");
            QTest::keyClick(dialog.txtCodigo_TX, Qt::Key_Return);
            dialog.txtCantidad_NU->selectAll();
            QTest::keyClicks(dialog.txtCantidad_NU, quantity);
            QTest::keyClick(dialog.txtCantidad_NU, Qt::Key_Return);
            labels << QApplication::focusWidget()->objectName() + " " +
                          dialog.txtCantidad_NU->text();
            dialog.Limpiar();
        }
        // An unknown code is said as soon as it is left, before any quantity is typed.
        dialog.txtCodigo_TX->setFocus();
        QTest::keyClicks(dialog.txtCodigo_TX, "vac99");
        QTest::keyClick(dialog.txtCodigo_TX, Qt::Key_Return);
        labels << QApplication::focusWidget()->objectName();
        dialog.Limpiar();
        dialog.txtCodigo_TX->setText("NOEXISTE'");
        QTest::keyClick(dialog.txtCantidad_NU, Qt::Key_Return);
        labels << QApplication::focusWidget()->objectName();
        EXPECT_TRUE(dialog.isVisible());
        dialog.txtCodigo_TX->setText(" PIEN10 ");
        dialog.txtCantidad_NU->setText("1,5");
        QTest::keyClick(dialog.txtCantidad_NU, Qt::Key_Return);
    });
    w->Frm_evtToolClick("A");
    EXPECT_EQ(suite.Ui().ModalCount, 1);
    EXPECT_EQ(labels.join('\n').toStdString(),
              "\nPienso adulto 3 kg\n\nPienso adulto 3 kg\nPienso adulto 3 kg\ntxtCantidad_NU "
              "dos\ntxtCantidad_NU 1e308\ntxtCantidad_NU "
              "-3\ntxtCantidad_NU 0\ntxtCantidad_NU "
              "123456789012345678901234567890\ntxtCodigo_TX\ntxtCodigo_TX");
    EXPECT_EQ(
        suite.Ui().Shown.join('\n').toStdString(),
        "[Aviso] El dato \"Cantidad\" no es un número: \"dos\". Escriba solo cifras y la coma "
        "decimal (por ejemplo 1.234,56).\n"
        "[Aviso] El dato \"Cantidad\" no es un número: \"1e308\". Escriba solo cifras y la "
        "coma decimal (por ejemplo 1.234,56).\n"
        "[Aviso] El dato \"Cantidad\" no puede ser negativo.\n"
        "[Aviso] El dato \"Cantidad\" debe ser mayor que cero.\n"
        "[Aviso] El dato \"Cantidad\" no puede pasar de 99.999.\n"
        "[Aviso] No existe ningún producto o servicio con el código vac99.\n"
        "[Aviso] No existe ningún producto o servicio con el código NOEXISTE'.");
    EXPECT_EQ(Table("SELECT nUnidades,nPvp,nBaseImp,nPorcIpto,nImpuestos,nTotal,nIdCliente,"
                    "nIdMascota FROM FacturasItems ORDER BY nIdFacturaItem DESC LIMIT 2"),
              "1.5|10|15|21|3.15|18.15|1|1\n2|10|20|21|4.2|24.2|1|1");
    EXPECT_EQ(w->gd->RecordCount(), lines + 2);
}

TEST_F(BillingTest, CtrlEListsTheExtraCashBoxForMasterUsersOnly) {
    Open();
    PressCtrlE();
    EXPECT_EQ(w->cboCaja_SN->count(), 3);
    EXPECT_EQ(w->cboCaja_SN->currentText(), "1) Caja general");
    w.reset();

    Open("recepcion", "");
    PressCtrlE();
    EXPECT_EQ(w->cboCaja_SN->count(), 2);
    EXPECT_TRUE(suite.Ui().Shown.isEmpty());
}

TEST_F(BillingTest, AClientInDebtGetsTheNoticeAndOthersDoNot) {
    Open();
    EXPECT_EQ(w->Frame()->NoticeText(), "");
    ChoosePet(4);
    EXPECT_EQ(w->Frame()->NoticeText(), "ESTE CLIENTE TIENE UNA DEUDA DE 12,50 €");
    ChoosePet(1);
    EXPECT_EQ(w->Frame()->NoticeText(), "");
}

TEST_F(BillingTest, TheListPrintsThroughTheViewerWithTheClientsLines) {
    Open();
    QString product = w->gd->CellText(1, "Producto Servicio");
    int pages = 0;
    bool found = false;
    suite.Ui().ModalActions.push_back([&](QWidget& window) {
        auto& viewer = dynamic_cast<Viewer&>(window);
        pages = viewer.vp().PageCount();
        found = !viewer.vp().Document().FindText(product).isEmpty();
    });
    w->ImgGd_NR_Click(10);
    EXPECT_EQ(suite.Ui().ModalCount, 1);
    EXPECT_EQ(pages, 1);
    EXPECT_TRUE(found) << product.toStdString();
}

} // namespace

namespace {

// The declaración responsable, from the billing window's tool, with this build's values item by
// item; Escape closes it as its button does.
TEST_F(BillingTest, AboutShowsTheProducersDeclarationWithTheBuildsValues) {
    Open();
    QStringList shown;
    suite.Ui().ModalActions.push_back([&](QWidget& window) {
        auto& about = dynamic_cast<AcercaDe&>(window);
        for (const char* item :
             {"Nombre del sistema informático", "Código identificador", "Versión",
              "Uso exclusivo como VERI*FACTU", "Uso por varios obligados tributarios", "Productor",
              "NIF del productor", "Dirección de contacto"})
            shown << about.Valor(QString::fromUtf8(item)).section(':', 0, 0);
        for (const char* item : {"Componentes", "Tipos de firma"})
            shown << QString::number(!about.Valor(QString::fromUtf8(item)).isEmpty());
        shown << about.Declaracion().section('\n', -1);
        about.show();
        QTest::keyClick(&about, Qt::Key_Escape);
        shown << QString::number(about.isVisible());
    });
    w->Frame()->Tool("AcercaDe_NA")->click();
    EXPECT_EQ(shown.join('\n').toStdString(),
              QStringList({TV_SISTEMA_NOMBRE, TV_SISTEMA_ID, TV_SISTEMA_VERSION, "No", "No",
                           TV_PRODUCTOR_NOMBRE, TV_PRODUCTOR_NIF, TV_PRODUCTOR_DIRECCION, "1", "1",
                           "En " TV_DECLARACION_LUGAR ", a " TV_DECLARACION_FECHA ".", "0"})
                  .join('\n')
                  .toStdString());
}

} // namespace

namespace {

QStringList& QtWarnings() {
    static QStringList warnings;
    return warnings;
}

// What Qt says on standard error (a tab order across two windows, no runtime folder) lands on
// the desk's terminal at every start: the module starts and opens its dialogs without a word.
TEST_F(BillingTest, StartsAndOpensItsDialogsWithoutAQtWarning) {
    QtWarnings().clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            // The offscreen platform's own limits are no fault of the module.
            if (type != QtDebugMsg && type != QtInfoMsg &&
                !text.startsWith("This plugin does not support"))
                QtWarnings() << text;
        });
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    suite.SignIn("admin", "admin");
    {
        Utility::RegisterRunningProgram("tvFacturacion");
        Mainform main;
        main.show();
        main.Billing()->Form_Activate();
        QApplication::processEvents();
        quint8 layout = 0;
        FacturaInfo payment("1", "Ana García López", layout, main.Billing());
        FacturaHist history(*main.Billing());
        CodigoProducto byCode(*main.Billing());
        for (QDialog* dialog : std::initializer_list<QDialog*>{&payment, &history, &byCode}) {
            dialog->show();
            QApplication::processEvents();
            dialog->hide();
        }
    }
    if (!runtime.isEmpty())
        qputenv("XDG_RUNTIME_DIR", runtime);
    qInstallMessageHandler(previous);
    EXPECT_EQ(QtWarnings().join('\n').toStdString(), "");
}

TEST_F(BillingTest, TheCounterSaleButtonTakesTheCounterCustomerAndSellsOnlyProducts) {
    Open();
    ChoosePet(1);
    w->VentaMostrador_BT->click();
    const QString counter = QString::number(Mostrador::Cliente(Gi.nIdSucursal));
    const auto state = [&] {
        return QStringList{w->Dato(DatoPareja::IdCliente),
                           w->Dato(DatoPareja::IdMascota),
                           w->cboCliente_SN->currentText(),
                           w->cboMascota_SN->currentText(),
                           QString::number(w->cboMascota_SN->isEnabled()),
                           QString::number(w->VentaMostrador_BT->isChecked())}
            .join('|')
            .toStdString();
    };
    EXPECT_EQ(state(), (counter + "|0|Venta de mostrador||0|1").toStdString());

    // A service is refused on its line, which stays unsaved until a product replaces it; the
    // product is a line of no pet.
    ScriptedUi& ui = suite.Ui();
    ui.Shown.clear();
    const int row = NewLine();
    Type(row, "Producto Servicio", "Baño y corte de pelo");
    Type(row, "Producto Servicio", "Pienso adulto 3 kg");
    EXPECT_EQ(ui.Shown.join('\n').toStdString(),
              "[Aviso] «Baño y corte de pelo» es para una mascota: en una venta de mostrador solo "
              "se venden productos, sin mascota. Para venderlo, elija la mascota y su cliente.");
    EXPECT_EQ(
        Table("SELECT nIdMascota,nUnidades,nTotal FROM FacturasItems WHERE nIdCliente=" + counter)
            .toStdString(),
        "0|1|12.1");

    // The payment dialog takes no id for it and says the document is simplified.
    quint8 layout = 0;
    FacturaInfo payment(counter, w->cboCliente_SN->currentText(), layout, w.get());
    EXPECT_EQ(QString::number(payment.txtDni_TX->isEnabled()) + " " + payment.lblDocumento->text(),
              "0 Se emitirá: Factura simplificada (F2)");

    // Pressed again, the button leaves the counter sale; a pet chosen leaves it too.
    w->VentaMostrador_BT->click();
    EXPECT_EQ(state(), "0|0|||1|0");
    w->VentaMostrador_BT->click();
    ChoosePet(1);
    EXPECT_EQ(state(), "1|1|Ana García López|Toby|1|0");
}

} // namespace
