// The billing window on the demo clinic, with its selector, grid handlers and product-by-code
// entry, as the front desk uses them.
#include "BillingFixture.h"

#include "billing/CSearch.h"
#include "billing/CodigoProducto.h"
#include "billing/Facturacion.h"
#include "platform/data/DataAccess.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/ui/widgets/GridController.h"
#include "reports/Viewer.h"
#include "session/Gi.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST_F(BillingTest, OpensOnPetOneWithItsClientBoxAndPendingLines) {
    Open();
    EXPECT_EQ(w->cboMascota_SN->currentText(), "Toby");
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Ana García López");
    EXPECT_EQ(w->cboEmpleado_SN->currentText(), "Dra. Marta Sánchez");
    EXPECT_EQ(w->cboCaja_SN->currentText(), "1) Caja general");
    EXPECT_EQ(w->cboCaja_SN->count(), 2);
    EXPECT_TRUE(w->gd->Editable());
    EXPECT_EQ(w->gd->RecordCount(), 2);
    EXPECT_EQ(w->lGd->text(), "  L: 0001/0002  P: 0001/0001");
    const double total = w->gd->ColumnTotal("Total", 2);
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), QString::number(total, 'f', 2));
    EXPECT_EQ(Gi.nParam3, 0);
    EXPECT_TRUE(w->Frame()->Tool("Clientes_NA")->isVisibleTo(w.get()));
}

TEST_F(BillingTest, StartedForAPetItShowsThatPetAndHidesTheClientFile) {
    Open("admin", "admin", 5);
    EXPECT_EQ(w->cboMascota_SN->currentText(), "Max");
    EXPECT_EQ(w->cboCliente_SN->currentText(), "Seán O'Brien"); // a quote in the name
    EXPECT_EQ(w->dm->Dato(3), "5");
    EXPECT_FALSE(w->Frame()->Tool("Clientes_NA")->isVisibleTo(w.get()));
}

TEST_F(BillingTest, APetSharedByTwoClientsNarrowsTheClientsAndDatoAnswersForThePair) {
    Open();
    w->Frame()->CBoxProperty_Set(w->cboMascota_SN, "Luna");
    ASSERT_EQ(w->cboCliente_SN->count(), 2);
    EXPECT_EQ(w->cboCliente_SN->itemText(0), "Javier Martínez Ruiz");
    EXPECT_EQ(w->cboCliente_SN->itemText(1), "Lucía Fernández Gil");

    w->Frame()->CBoxProperty_Set(w->cboCliente_SN, "Lucía Fernández Gil");
    CSearch& dm = *w->dm;
    EXPECT_EQ(dm.Dato(0), "3");
    EXPECT_EQ(dm.Dato(1), "Luna");
    EXPECT_EQ(dm.Dato(2), "Perro");
    EXPECT_EQ(dm.Dato(3), "3");
    EXPECT_EQ(dm.Dato(4), "Lucía Fernández Gil");
    EXPECT_EQ(dm.Dato(5), "1");
    EXPECT_EQ(dm.Dato(9), "");

    // A client who does not own the pet is no pair.
    w->cboCliente_SN->setEditText("Ana García López");
    EXPECT_EQ(dm.Dato(3), "0");
    EXPECT_EQ(dm.Dato(4), "0");

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

TEST_F(BillingTest, ATypedClientThatIsNoOwnerLeavesTheGridClosed) {
    Open();
    w->cboCliente_SN->setFocus();
    w->cboCliente_SN->lineEdit()->selectAll();
    QTest::keyClicks(w->cboCliente_SN, "Nadie");
    EXPECT_EQ(w->gd->RecordCount(), 0); // the grid follows the typing
    w->ckHistorial_TX->setFocus();
    EXPECT_EQ(nIdClienteActual, 0);
    EXPECT_FALSE(w->gd->Editable());
}

TEST_F(BillingTest, AProductIsPricedAtTheClientsLevelAndItsLineSavedWithBaseAndTax) {
    Open();
    ChoosePet(6); // Canela, of the shelter that buys at level 3
    ASSERT_EQ(w->dm->Dato(3), "6");
    EXPECT_EQ(w->nPvpUtilizado, 3);
    const int row = NewLine();
    Type(row, "Producto Servicio", "pienso adulto 3 KG");
    EXPECT_EQ(w->gd->CellText(row, "Producto Servicio"), "Pienso adulto 3 kg");
    EXPECT_EQ(w->gd->CellText(row, "Unid"), "1");
    EXPECT_EQ(w->gd->CellText(row, "Precio"), "8.00");
    EXPECT_EQ(w->gd->CellText(row, "Ipto"), "21.00");
    EXPECT_EQ(w->gd->CellText(row, "Total"), "9.68");
    const qint32 key = w->gd->CellText(row, "Id").toInt();
    ASSERT_GT(key, 0);
    EXPECT_TRUE(w->gd->IsNewLine(row + 1));
    EXPECT_EQ(Item("nIdCliente", key).toInt(), 6);
    EXPECT_EQ(Item("nIdMascota", key).toInt(), 6);
    EXPECT_EQ(Item("nIdProductoServicio", key),
              DataAccess::instance().GetValue("ProductosServicios", "sCodigo='PIEN10'",
                                              "nIdProductoServicio"));
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), "9.68");

    // At level 1, 3 units at 10 and 21 %: base and tax stored unrounded from the same figures.
    ChoosePet(1);
    const int pienso = RowOf("Pienso adulto 3 kg");
    ASSERT_GT(pienso, 0);
    Type(pienso, "Unid", "3");
    EXPECT_EQ(w->gd->CellText(pienso, "Total"), "36.30");
    const qint32 line = w->gd->CellText(pienso, "Id").toInt();
    EXPECT_DOUBLE_EQ(Item("nTotal", line).toDouble(), 36.3);
    EXPECT_DOUBLE_EQ(Item("nUnidades", line).toDouble(), 3);
    EXPECT_DOUBLE_EQ(Item("nBaseImp", line).toDouble(), 30);
    EXPECT_DOUBLE_EQ(Item("nImpuestos", line).toDouble(), 6.3);
    const double others = w->gd->ColumnTotal("Total", 2) - 36.3;
    EXPECT_EQ(w->lblTotalAFacturar_MN->text(), QString::number(36.3 + others, 'f', 2));
    EXPECT_EQ(w->lblTotalIptos_MN->text(),
              QString::number(w->lblTotalAFacturar_MN->text().toDouble() -
                                  w->lblTotalBI_MN->text().toDouble(),
                              'f', 2));
}

TEST_F(BillingTest, AnUnknownProductIsCreatedOnlyWhenTheUserSaysSo) {
    Open();
    const int items = Count("FacturasItems");
    ScriptedUi& ui = suite.Ui();
    ui.Confirmations = {false};
    const int row = NewLine();
    Type(row, "Producto Servicio", "Champú d'avena");
    ASSERT_EQ(ui.Shown.size(), 1);
    EXPECT_TRUE(ui.Shown[0].contains("El ítem no existe. ¿Desea crearlo?"));
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
    const qint32 key = w->gd->CellText(row, "Id").toInt();
    EXPECT_EQ(Item("nIdProductoServicio", key),
              DataAccess::instance().GetValue("ProductosServicios",
                                              "sProductoServicio='Champú de avena'",
                                              "nIdProductoServicio"));
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
    EXPECT_EQ(Count("FacturasItems", "nIdFacturaItem=" + pienso), 0);
    EXPECT_EQ(w->gd->RecordCount(), pending - 1);
}

TEST_F(BillingTest, ProductByCodeAddsRoundedLinesAndStaysOpenForTheNext) {
    Open();
    const int lines = w->gd->RecordCount();
    QStringList labels;
    suite.Ui().ModalActions.push_back([&](QWidget& window) {
        auto& dialog = static_cast<CodigoProducto&>(window);
        for (const char* code : {"PIEN", "PIEN10", "PIEN1'0"}) {
            dialog.txtCodigo_TX->setText(code);
            labels << dialog.lblProducto->text();
        }
        dialog.txtCodigo_TX->setText("PIEN10");
        dialog.txtCantidad_NU->setText("2");
        dialog.Frm_evtButtonPressed("Aceptar_BT");
        EXPECT_EQ(dialog.txtCodigo_TX->text(), "");
        EXPECT_EQ(dialog.txtCantidad_NU->text(), "1");
        EXPECT_EQ(w->gd->RecordCount(), lines + 1); // shown in the grid at once

        dialog.txtCodigo_TX->setText("PIEN10");
        dialog.txtCantidad_NU->setText("dos");
        dialog.Frm_evtButtonPressed("Aceptar_BT");
        dialog.txtCodigo_TX->setText("NOEXISTE'");
        dialog.Frm_evtButtonPressed("Aceptar_BT");
    });
    w->Frm_evtToolClick("A");
    EXPECT_EQ(suite.Ui().ModalCount, 1);
    EXPECT_EQ(labels, (QStringList{"", "Pienso adulto 3 kg", ""}));

    const Rows added = DataAccess::instance().GetRows(
        "SELECT nUnidades,nPvp,nBaseImp,nPorcIpto,nImpuestos,nTotal,nIdCliente,nIdMascota "
        "FROM FacturasItems ORDER BY nIdFacturaItem DESC LIMIT 2");
    ASSERT_EQ(added.RowCount(), 2);
    const QList<double> two{2, 10, 20, 21, 4.2, 24.2, 1, 1};
    for (int c = 0; c < two.size(); ++c)
        EXPECT_DOUBLE_EQ(added.Value(c, 1).toDouble(), two[c]) << c;
    EXPECT_DOUBLE_EQ(added.Value(0, 0).toDouble(), 0); // "dos" counts as no units
    EXPECT_DOUBLE_EQ(added.Value(5, 0).toDouble(), 0);
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
    EXPECT_EQ(w->Frame()->NoticeText(), "ESTE CLIENTE TIENE UNA DEUDA DE 12.50 EURO/S");
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
