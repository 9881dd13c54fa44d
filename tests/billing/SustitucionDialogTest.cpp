// The history's "Sustituir por factura completa…": nothing is written until the last Yes, and a
// refusal leaves the dialog open to correct it.
#include "billing/SustitucionSimplificadas.h"
#include "invoicing/EmitirFactura.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/util/Utility.h"
#include "session/Gi.h"
#include "support/TestSuite.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

TEST(SustitucionDialogTest, OnlyTheLastYesIssuesTheCompleteInvoice) {
    TestSuite suite;
    suite.SignIn();
    Gi.nFechaTrabajo = 20270115;
    const qint32 client = Db().InsertRecord("Clientes", "sCliente,sDomicilio,sDni",
                                            "'Ana Pérez','Calle Mayor 1','12345678Z'");
    Db().InsertRecord("FacturasItems",
                      "nIdCliente,nUnidades,nPvp,nPorcIpto,nBaseImp,nImpuestos,nTotal",
                      QString::number(client) + ",1,10,21,10,2.1,12.1");
    SolicitudFactura venta;
    venta.nIdCliente = client;
    venta.nIdSucursal = venta.nIdUsuario = venta.nIdCaja = 1;
    venta.dFactura = venta.dEmision = Gi.nFechaTrabajo;
    venta.lineas = PendingItems(client).Items();
    const qint32 f2 = *EmitirFactura(venta);
    const auto written = [] {
        return Db()
            .GetRows("SELECT (SELECT COUNT(*) FROM Facturas),(SELECT COUNT(*) FROM "
                     "FacturasSustituidas)")
            .Value(0, 0)
            .toString();
    };
    const QString before = written();
    const struct {
        const char* dni;
        std::deque<bool> confirmations;
        bool accepted;
        const char* lastShown;
    } cases[] = {
        {"", {}, false, "[Aviso] La factura completa debe identificar al cliente"},
        {"12345678Z",
         {false},
         false,
         "[Confirmación] Se emitirá una factura completa a nombre de Ana "
         "Pérez que sustituye a las facturas simplificadas TA0001/27."},
        {"12345678Z", {true}, true, "[Aviso] Emitida la factura completa A0001/27."},
    };
    for (const auto& c : cases) {
        SustitucionSimplificadas dialog(client, f2, nullptr);
        ASSERT_EQ(dialog.lsSimplificadas_TX->count(), 1);
        dialog.txtDni_TX->setText(c.dni);
        suite.Ui().Shown.clear();
        suite.Ui().Confirmations = c.confirmations;
        dialog.Aceptar_BT->click();
        EXPECT_TRUE(suite.Ui().Shown.value(suite.Ui().Shown.size() - 1).startsWith(c.lastShown))
            << suite.Ui().Shown.join('\n').toStdString();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.dni;
        EXPECT_EQ(written() != before, c.accepted) << c.dni;
    }
    // Replaced, it is no longer offered; Escape from the history's question wrote nothing.
    EXPECT_FALSE(SustitucionSimplificadas::Pedir(f2, nullptr));
}

} // namespace
