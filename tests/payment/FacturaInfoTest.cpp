// The payment dialog as the front desk uses it, keyboard first, on the demo clinic.
#include "support/TestSuite.h"

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
    // Which frame takes input, and where the cursor is.
    auto state = [this] {
        return QString("%1 %2 %3").arg(d->fr1->isEnabled()).arg(d->fr2->isEnabled()).arg(Focused());
    };
    // Client 1's pending items: CONS03 18.15 and PIEN10 12.10; typing replaces the proposal.
    EXPECT_EQ(
        QStringList({d->windowTitle(), d->lblTotal_MN->text(), d->txtImp[0]->text(),
                     d->txtImp[0]->selectedText(), d->txtCliente_TX->text(),
                     d->txtDomicilio_TX->text(), d->txtDni_TX->text(), d->cboTipo[0]->currentText(),
                     QString::number(d->cboTipo[1]->currentIndex()), state()})
            .join('|'),
        "Información en la Factura|30,25|30,25|30,25|Ana García López|" +
            Db().GetValue("Clientes", "nIdCliente=1", "sDomicilio").toString() + "|" +
            Db().GetValue("Clientes", "nIdCliente=1", "sDni").toString() +
            "|Efectivo|-1|1 0 txtImp1_MN");
    for (QComboBox* list : d->cboTipo) {
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->itemText(3), "Bizum");
        EXPECT_EQ(list->itemData(3).toInt(), 4);
    }

    // The customer tab takes the focus to the name and shuts the payments.
    d->TabGral->setCurrentIndex(1);
    EXPECT_EQ(state(), "0 1 txtCliente_TX");
    d->TabGral->setCurrentIndex(0);
    EXPECT_EQ(state(), "1 0 txtImp1_MN");
}

TEST_F(FacturaInfoTest, DiscountPercentageAndPaymentsFollowEachOther) {
    Db().UpdateRecord("FacturasItems", "nUnidades,nPvp,nPorcIpto,nTotal", "1,60,0,60",
                      "nIdCliente=1");
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

    EXPECT_EQ(d->lblAPagar_MN->text(), "107,50");
}

// A discount of 8,32 on 148,32: everything proposed follows the 140,00 due, and what the user
// typed stays when the field is entered again.
TEST_F(FacturaInfoTest, TheAmountDueDrivesEveryProposalAndTypedPaymentsStay) {
    Db().UpdateRecord("FacturasItems", "nUnidades,nPvp,nPorcIpto,nTotal", "1,74.16,0,74.16",
                      "nIdCliente=1");
    Open();
    auto enter = [](QLineEdit* field) { field->setFocus(Qt::TabFocusReason); };
    auto payments = [this] {
        QStringList texts;
        for (QLineEdit* field : d->txtImp)
            texts << field->text();
        return (d->lblAPagar_MN->text() + " = " + texts.join(" + ")).toStdString();
    };
    TypeInto(d->txtDescuento_MN, "8,32");
    EXPECT_EQ(payments(), "140,00 = 140,00 +  +  + ");
    enter(d->txtImp[1]);
    enter(d->txtImp[0]);
    EXPECT_EQ(payments(), "140,00 = 140,00 + 0,00 +  + ");
    TypeInto(d->txtImp[0], "100");
    enter(d->txtImp[1]);
    enter(d->txtImp[0]);
    enter(d->txtImp[2]);
    EXPECT_EQ(payments(), "140,00 = 100,00 + 40,00 + 0,00 + "); // "100" read back as money
    // Typed payments above the amount due: a question whose default is No.
    d->cboTipo[1]->setCurrentIndex(1);
    TypeInto(d->txtImp[1], "60");
    const QString question = "Los cobros (160,00) superan el importe a pagar (140,00): lo que "
                             "pasa se anota como saldo a favor del cliente. El cambio que se "
                             "devuelve va en «Entregado», no en el cobro. ¿Continuar?";
    d->Frm_evtButtonPressed("FormatoNormal_BT");
    EXPECT_EQ(suite.Ui().NoByDefault, QStringList{question});
    EXPECT_EQ(formato, 9);
    EXPECT_EQ(Focused(), "txtImp1_MN");
    suite.Ui().Confirmations.push_back(true);
    d->Frm_evtButtonPressed("FormatoNormal_BT");
    EXPECT_EQ(formato, 1);
    EXPECT_EQ(QString("%1 %2 %3")
                  .arg(d->Cobro().nImporte[0].Text(), d->Cobro().nImporte[1].Text(),
                       d->Cobro().nDescuento.Text()),
              "100.00 60.00 8.32");
}

// 20,00 handed over for 12,25 due in cash: 7,75 goes back and only 12,25 is booked; what is
// handed over must cover the cash part, whatever else is paid by card.
TEST_F(FacturaInfoTest, WhatIsHandedOverGivesTheChangeAndOnlyTheCashPaymentIsBooked) {
    Db().UpdateRecord("FacturasItems", "nUnidades,nPvp,nPorcIpto,nTotal", "1,10.125,0,10.125",
                      "nIdCliente=1");
    const struct {
        const char *cash, *card, *handed, *change;
        int formato;
    } cases[] = {
        {"20,25", "", "", "", 1},
        {"12,25", "8", "20", "7,75", 1},
        {"20,25", "", "20,25", "0,00", 1},
        {"20,25", "", "20", "Faltan 0,25", 9},
    };
    for (const auto& c : cases) {
        formato = 9;
        Open();
        d->txtImp[0]->setText(c.cash);
        d->cboTipo[1]->setCurrentIndex(c.card[0] ? 1 : -1);
        d->txtImp[1]->setText(c.card);
        d->txtEntregado_MN->setText(c.handed);
        EXPECT_EQ(d->lblCambio_MN->text(), c.change) << c.handed;
        d->Frm_evtButtonPressed("FormatoNormal_BT");
        EXPECT_EQ(formato, c.formato) << c.handed;
        if (c.formato == 9)
            EXPECT_EQ(Focused(), "txtEntregado_MN");
        else
            EXPECT_EQ(d->Cobro().nImporte[0].ToDouble(),
                      QString(c.cash).replace(',', '.').toDouble());
    }
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
    EXPECT_EQ(d->Cobro().sCliente, "Ana García (empresa)");
    EXPECT_EQ(d->Cobro().sDni, d->txtDni_TX->text());
    QStringList payments;
    for (int k = 0; k < CobroRecord::Slots; ++k)
        payments << d->Cobro().sTipoCobro[k] + " " +
                        Utility::NumberText(d->Cobro().nImporte[k].ToDouble());
    EXPECT_EQ(payments.join('|').toStdString(), "Efectivo 17| 0| 0|Tarjeta 10.25");
    EXPECT_EQ(d->Cobro().nDescuento, Money::FromCents(300));

    Open();
    QTest::keyClick(d->txtImp[0], Qt::Key_T, Qt::AltModifier);
    EXPECT_EQ(formato, 3);
    Open();
    d->TabGral->setCurrentIndex(1); // the name's own Alt+N does not steal the button's
    QTest::keyClick(d->txtCliente_TX, Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(formato, 1);
}

TEST_F(FacturaInfoTest, ClosingWithoutALayoutGivesZeroAndAnEmptyRecord) {
    Open();
    QTest::mouseClick(d->findChild<QWidget*>("TitleBarClose_NA"), Qt::LeftButton);
    EXPECT_EQ(formato, 0);
    EXPECT_EQ(d->Cobro().sCliente, "");

    formato = 9;
    Open();
    QTest::keyClick(d->txtImp[0], Qt::Key_Escape);
    EXPECT_EQ(formato, 0);
    EXPECT_FALSE(d->isVisible());
}

// A slip of the finger in any number field: the message names the field, the cursor goes back
// to it with the text as typed, nothing is recomputed and nothing handed back.
TEST_F(FacturaInfoTest, ATypingMistakeIsRefusedWhereItWasMade) {
    Open();
    const struct {
        QLineEdit* FacturaInfo::*field;
        const char* text;
    } cases[] = {
        {&FacturaInfo::txtDescuento_MN, "1e308"},
        {&FacturaInfo::txtDescuento_MN, "-3"},
        {&FacturaInfo::txtPorcDto_PN, "150"},
        {&FacturaInfo::txtDescuento_MN, "40"},
    };
    QStringList got;
    for (const auto& c : cases) {
        suite.Ui().Shown.clear();
        QLineEdit* field = d.get()->*c.field;
        TypeInto(field, c.text);
        QApplication::processEvents();
        const QString typed = Focused() + " " + suite.Ui().Shown.join("|");
        d->Frm_evtButtonPressed("FormatoNormal_BT");
        const QString pressed = Focused() + " " + suite.Ui().Shown.last();
        got << typed + " " + field->text() + " " + d->txtImp[0]->text() +
                   (pressed == typed ? ", again on pressing" : ", pressing: " + pressed);
        field->clear();
    }
    d->txtImp[2]->setText("1.308");
    d->txtImp[1]->setText("-3");
    d->Frm_evtButtonPressed("FormatoDetallado_BT");
    got << Focused() + " " + suite.Ui().Shown.last();
    d->txtImp[1]->setText("5");
    d->Frm_evtButtonPressed("FormatoDetallado_BT");
    got << Focused() + " " + suite.Ui().Shown.last();
    // An amount needs its payment type, or it would be booked as money out.
    d->txtImp[2]->clear();
    d->Frm_evtButtonPressed("FormatoDetallado_BT");
    got << Focused() + " " + suite.Ui().Shown.last();
    EXPECT_EQ(got.join('\n').toStdString(),
              "txtDescuento_MN [Aviso] El dato \"Descuento\" no es un número: \"1e308\". Escriba "
              "solo cifras y la coma decimal (por ejemplo 1.234,56). 1e308 30,25, again on "
              "pressing\n"
              "txtDescuento_MN [Aviso] El dato \"Descuento\" no puede ser negativo. -3 30,25, "
              "again on pressing\n"
              "txtPorcDto_PN [Aviso] El dato \"Porcentaje de descuento\" no puede pasar de 100. "
              "150 30,25, again on pressing\n"
              "txtDescuento_MN [Aviso] El descuento no puede ser mayor que el total de la "
              "factura. 40,00 30,25, again on pressing\n"
              "txtImp2_MN [Aviso] El dato \"Importe 2\" no puede ser negativo.\n"
              "txtImp3_MN [Aviso] El dato \"Importe 3\" admite como mucho 2 decimales.\n"
              "cboTipo2_SN [Aviso] Elija el tipo de cobro del importe 2.");
    EXPECT_EQ(formato, 9);
    EXPECT_EQ(d->Cobro().nImporte[0], Money());
}

TEST_F(FacturaInfoTest, TheCustomerLettersLeaveTheLayoutKeysAloneAndANameIsNeeded) {
    Open();
    QStringList captions;
    for (QLineEdit* field : {d->txtCliente_TX, d->txtDomicilio_TX, d->txtDni_TX})
        for (QLabel* label : d->findChildren<QLabel*>())
            if (label->buddy() == field)
                captions << label->text();
    EXPECT_EQ(captions.join('|'), " N&ombre| Do&micilio| D.N.&I.");
    d->TabGral->setCurrentIndex(1);
    QTest::keyClick(d->txtDomicilio_TX, Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(Focused(), "txtCliente_TX");
    EXPECT_EQ(formato, 9);

    d->txtCliente_TX->setText("  ");
    d->TabGral->setCurrentIndex(0);
    QTest::keyClick(d->txtImp[0], Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(formato, 9);
    EXPECT_EQ(Focused(), "txtCliente_TX");
    EXPECT_EQ(suite.Ui().Shown.last(),
              "[Aviso] Escriba el nombre del cliente: la factura completa debe decir a quién se "
              "emite.");
}

TEST_F(FacturaInfoTest, TheCustomerTabSaysWhichDocumentIsIssuedAndRefusesAWrongId) {
    const QString wrong = "El D.N.I./NIF «12345678A» del cliente no es válido: la letra de control "
                          "no es correcta (debería ser Z). Corríjalo o déjelo vacío para una "
                          "factura simplificada.";
    const struct {
        const char *dni, *tipo, *pais;
        QString shown;  // what the tab says
        QString handed; // formato|sDni|sTipoId|sPais when accepted, else the focused field
    } cases[] = {
        {nullptr, "", "", "Se emitirá: Factura completa (F1)", "1|<dni>||"},
        {"", "", "", "Se emitirá: Factura simplificada (F2)", "1|||"},
        {"12345678A", "", "", wrong, "txtDni_TX"},
        {"12AB34567", "03", "", "", "txtPais_TX"},
        {"12AB34567", "03", "fr", "Se emitirá: Factura completa (F1)", "1|12AB34567|03|fr"},
    };
    for (const auto& c : cases) {
        Open();
        const QString own = d->txtDni_TX->text();
        if (c.dni)
            d->txtDni_TX->setText(QString::fromUtf8(c.dni));
        d->cboTipoId_SN->setCurrentIndex(d->cboTipoId_SN->findData(QString(c.tipo)));
        d->txtPais_TX->setText(c.pais);
        if (!c.shown.isEmpty()) {
            EXPECT_EQ(d->lblDocumento->text(), c.shown) << c.dni;
        }
        d->Frm_evtButtonPressed("FormatoNormal_BT");
        const QString handed =
            formato == 1
                ? QStringList{"1", d->Cobro().sDni, d->Cobro().sTipoId, d->Cobro().sPais}.join('|')
                : Focused();
        EXPECT_EQ(handed, QString(c.handed).replace("<dni>", own)) << c.dni;
        if (formato != 1) {
            EXPECT_EQ(suite.Ui().Shown.last(), "[Aviso] " + d->lblDocumento->text());
        }
        formato = 9;
    }
}

} // namespace
