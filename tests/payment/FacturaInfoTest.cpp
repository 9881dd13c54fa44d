// The payment dialog as the front desk uses it, keyboard first, on the demo clinic.
#include "support/TestSuite.h"

#include "payment/Cobro.h"
#include "payment/FacturaInfo.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/Utility.h"
#include "session/Gi.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class FacturaInfoTest : public ::testing::Test {
protected:
    TestSuite suite;
    quint8 formato = 9;
    std::unique_ptr<FacturaInfo> d;

    // Opens the dialog for a client as the billing window does, and lets it activate.
    FacturaInfo& Open(const QString& client = "1", const QString& name = "Ana García López") {
        suite.SignIn();
        Cobro = CobroRecord();
        d = std::make_unique<FacturaInfo>(client, name, formato);
        d->show();
        QApplication::setActiveWindow(d.get());
        QApplication::processEvents();
        QApplication::processEvents();
        return *d;
    }
    // Types text into a field the way a person does: focus, select all, type, Tab away.
    void TypeInto(QLineEdit* field, const QString& text) {
        field->setFocus(Qt::TabFocusReason);
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Tab);
    }
    QString Focused() const {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
    }
};

TEST_F(FacturaInfoTest, OpensOnTheTotalWithTheClientsDataAndThePaymentTypes) {
    Open();
    // Client 1's pending items: CONS03 18.15 and PIEN10 12.10.
    EXPECT_EQ(d->lblTotal_MN->text(), "30,25");
    EXPECT_EQ(d->txtImp[0]->text(), "30,25");
    EXPECT_EQ(d->txtImp[0]->selectedText(), "30,25") << "typing replaces the proposal";
    EXPECT_EQ(d->txtCliente_TX->text(), "Ana García López");
    EXPECT_EQ(d->txtDomicilio_TX->text(),
              Db().GetValue("Clientes", "nIdCliente=1", "sDomicilio").toString());
    EXPECT_EQ(d->txtDni_TX->text(), Db().GetValue("Clientes", "nIdCliente=1", "sDni").toString());
    for (QComboBox* list : d->cboTipo) {
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->itemText(3), "Bizum");
        EXPECT_EQ(list->itemData(3).toInt(), 4);
    }
    EXPECT_EQ(d->cboTipo[0]->currentText(), "Efectivo");
    EXPECT_EQ(d->cboTipo[1]->currentIndex(), -1);
    EXPECT_EQ(d->windowTitle(), "Información en la Factura");
    EXPECT_TRUE(d->fr1->isEnabled());
    EXPECT_FALSE(d->fr2->isEnabled());
    EXPECT_EQ(Focused(), "txtImp1_MN");

    // The customer tab takes the focus to the name and shuts the payments.
    d->TabGral->setCurrentIndex(1);
    EXPECT_FALSE(d->fr1->isEnabled());
    EXPECT_TRUE(d->fr2->isEnabled());
    EXPECT_EQ(Focused(), "txtCliente_TX");
    d->TabGral->setCurrentIndex(0);
    EXPECT_EQ(Focused(), "txtImp1_MN");
}

TEST_F(FacturaInfoTest, DiscountPercentageAndPaymentsFollowEachOther) {
    Db().UpdateRecord("FacturasItems", "nTotal", "60", "nIdCliente=1");
    Open();
    ASSERT_EQ(d->lblTotal_MN->text(), "120,00");
    TypeInto(d->txtDescuento_MN, "12");
    EXPECT_EQ(d->txtImp[0]->text(), "108,00");
    EXPECT_EQ(d->txtPorcDto_PN->text(), "10,00");

    TypeInto(d->txtPorcDto_PN, "25");
    EXPECT_EQ(d->txtDescuento_MN->text(), "30,00");
    EXPECT_EQ(d->txtImp[0]->text(), "90,00");

    TypeInto(d->txtDescuento_MN, "12,5"); // a decimal comma means what it says
    EXPECT_EQ(d->txtImp[0]->text(), "107,50");

    // Entering a payment fills what the other three leave of the total (discount aside).
    d->cboTipo[0]->setFocus(Qt::TabFocusReason);
    d->txtImp[0]->setText("100");
    d->txtImp[1]->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(d->txtImp[1]->text(), "20,00");
    d->txtImp[2]->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(d->txtImp[2]->text(), "0,00");
}

TEST_F(FacturaInfoTest, ANothingToPayTotalGivesAZeroPercentage) {
    Open("3", "Lucía Fernández Gil");
    ASSERT_EQ(d->lblTotal_MN->text(), "0,00");
    TypeInto(d->txtDescuento_MN, "5");
    EXPECT_EQ(d->txtPorcDto_PN->text(), "0,00");
    EXPECT_EQ(d->txtImp[0]->text(), "-5,00");
}

TEST_F(FacturaInfoTest, ALayoutButtonOrItsAltKeyHandsEverythingBack) {
    Open();
    d->txtImp[0]->setText("20");
    d->cboTipo[3]->setCurrentIndex(1);
    d->txtImp[3]->setText("10,25");
    d->txtCliente_TX->setText("Ana García (empresa)");
    // Alt+D while the cursor is still in the discount: its recomputation applies first.
    d->txtDescuento_MN->setFocus();
    QTest::keyClicks(d->txtDescuento_MN, "3");
    QTest::keyClick(d->txtDescuento_MN, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(formato, 2);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(Cobro.sCliente, "Ana García (empresa)");
    EXPECT_EQ(Cobro.sDni, d->txtDni_TX->text());
    QStringList payments;
    for (int k = 0; k < CobroRecord::Slots; ++k)
        payments << Cobro.sTipoCobro[k] + " " + Utility::NumberText(Cobro.nImporte[k]);
    EXPECT_EQ(payments.join('|').toStdString(), "Efectivo 27.25| 0| 0|Tarjeta 10.25");
    EXPECT_EQ(Cobro.nDescuento, 3);

    Open();
    QTest::keyClick(d->txtImp[0], Qt::Key_T, Qt::AltModifier);
    EXPECT_EQ(formato, 3);
    Open();
    d->TabGral->setCurrentIndex(1); // the name's own Alt+N does not steal the button's
    QTest::keyClick(d->txtCliente_TX, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(formato, 1);
}

TEST_F(FacturaInfoTest, ClosingWithoutALayoutGivesZeroAndLeavesCobroAlone) {
    Open();
    Cobro.sCliente = "anterior";
    QTest::mouseClick(d->findChild<QWidget*>("TitleBarClose_NA"), Qt::LeftButton);
    EXPECT_EQ(formato, 0);
    EXPECT_EQ(Cobro.sCliente, "anterior");

    formato = 9;
    Open();
    QTest::keyClick(d->txtImp[0], Qt::Key_Escape);
    EXPECT_EQ(formato, 0);
    EXPECT_FALSE(d->isVisible());
}

TEST_F(FacturaInfoTest, AnAmountThatIsNoAmountIsRefusedWithTheFieldNamed) {
    Open();
    for (const char* bad : {"mucho", "1e308", "123456789012345678901234567890"}) {
        d->txtImp[1]->setText(bad);
        d->Frm_evtButtonPressed("FormatoNormal_BT");
        EXPECT_EQ(formato, 9) << bad;
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(suite.Ui().Shown.last(), "[Aviso] El dato \"Importe 2\" no es válido.");
    }
    // An amount needs its payment type, or it would be booked as money out.
    d->txtImp[1]->setText("5");
    d->Frm_evtButtonPressed("FormatoNormal_BT");
    EXPECT_EQ(formato, 9);
    EXPECT_EQ(suite.Ui().Shown.last(), "[Aviso] Elija el tipo de cobro del importe 2.");
    // Typed, such text never gets in.
    d->txtImp[1]->clear();
    d->txtImp[1]->setFocus();
    QTest::keyClicks(d->txtImp[1], "12a,345");
    EXPECT_EQ(d->txtImp[1]->text(), "12,34");
    d->cboTipo[1]->setCurrentIndex(1);
    d->Frm_evtButtonPressed("FormatoNormal_BT");
    EXPECT_EQ(formato, 1);
}

} // namespace
