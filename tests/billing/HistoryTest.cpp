// The invoice history of the billing window: what it lists, how a choice is made with the mouse
// or the keyboard, and the reprint or credit note the window carries out afterwards.
#include "BillingFixture.h"

#include "billing/ConfirmacionAbono.h"
#include "billing/FacturaHist.h"
#include "platform/data/Recordset.h"
#include "platform/report/AmountText.h"
#include "platform/report/PreviewControl.h"
#include "platform/ui/seam/ScriptedUi.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/TypedNumber.h"
#include "platform/util/Utility.h"
#include "reports/Viewer.h"

#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <deque>
#include <tuple>

namespace {

class HistoryTest : public BillingTest {
protected:
    std::unique_ptr<FacturaHist> h;

    static double Number(const QString& sql) {
        return U().SqlNumber(DataAccess::instance().GetRows(sql).Value(0, 0));
    }

    FacturaHist& OpenHistory(qint32 pet = 1) {
        if (!w)
            Open();
        ChoosePet(pet);
        w->nEmitir = w->nFormatoFactura = 0;
        w->nIdFactura_Historico = 0;
        h = std::make_unique<FacturaHist>(*w);
        h->show();
        QApplication::setActiveWindow(h.get());
        QApplication::processEvents();
        return *h;
    }
    // What the window was left to do: the invoice, print again or credit, and the layout.
    QString Choice() const {
        return QString("%1|%2|%3")
            .arg(w->nIdFactura_Historico)
            .arg(w->nEmitir)
            .arg(w->nFormatoFactura);
    }
    QStringList Entries() const {
        QStringList entries;
        for (int i = 0; i < h->lsFras_TX->count(); ++i)
            entries << h->lsFras_TX->item(i)->text();
        return entries;
    }
};

TEST_F(HistoryTest, ListsDateNumberAndAmountDueInColumns) {
    // Client 1: invoices 1 (0001/26, 63.25) and 13 (0011/26); a discount is taken off.
    Db().UpdateRecord("Facturas", "nDescuento", "2.25", "nIdFactura=1");
    OpenHistory();
    ASSERT_EQ(Entries().size(), 2);
    EXPECT_EQ(Entries()[0], "08/01/2026 0001/26         61,00 €");
    EXPECT_EQ(Entries()[1].left(20), "10/02/2026 0011/26  ");
    EXPECT_EQ(Entries()[0].size(), Entries()[1].size()) << "the amounts line up";
    // The headings stand over their columns, the amount's ending where the amounts end.
    const QString headings = h->lblCabecera_TX->text();
    EXPECT_EQ(headings.indexOf("Número"), Entries()[0].indexOf("0001/26"));
    EXPECT_TRUE(headings.startsWith("Fecha "));
    EXPECT_EQ(headings.size(), Entries()[0].size());
    EXPECT_TRUE(headings.endsWith(" Importe"));
    EXPECT_EQ(h->lblCabecera_TX->font().family(), h->lsFras_TX->font().family());
    EXPECT_EQ(h->lsFras_TX->item(0)->data(Qt::UserRole).toInt(), 1);
    EXPECT_TRUE(QFontInfo(h->lsFras_TX->font()).fixedPitch());
    EXPECT_TRUE(h->opEmision_TX[0]->isChecked());
    EXPECT_EQ(w->nEmitir, 1) << "printing again is the default";
}

TEST_F(HistoryTest, CreditedInvoicesAndCreditNotesAreNotListed) {
    OpenHistory(15); // client 12: invoice 12 and its credit note 15
    EXPECT_TRUE(Entries().isEmpty());
    // With nothing to choose, the buttons do nothing and the window stays.
    h->Frm_evtButtonPressed("FormatoDetallado_BT");
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(w->nIdFactura_Historico, 0);
}

TEST_F(HistoryTest, AChoiceIsMadeByAButtonADoubleClickOrTheKeyboard) {
    // The newest invoice is highlighted: a layout button acts on it at once.
    OpenHistory();
    h->Frm_evtButtonPressed("FormatoTicket_BT");
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(Choice(), "13|1|3");

    OpenHistory();
    h->lsFras_TX->setCurrentRow(1);
    h->opEmision_TX[1]->click();
    QTest::mouseClick(h->Frame()->findChild<QPushButton*>("FormatoTicket_BT"), Qt::LeftButton);
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(Choice(), "13|2|3");

    OpenHistory();
    QListWidget* list = h->lsFras_TX;
    const QRect first = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(Choice(), "1|1|2");

    // An arrow moves the highlight; Enter means Detallada.
    OpenHistory();
    list = h->lsFras_TX;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(list->selectedItems().value(0), list->item(0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(Choice(), "1|1|2");

    // Alt+N means Normal; Escape closes without a choice.
    for (const auto& [key, modifier, choice] : {std::tuple{Qt::Key_N, Qt::AltModifier, "1|1|1"},
                                                {Qt::Key_Escape, Qt::NoModifier, "0|1|0"}}) {
        OpenHistory();
        h->lsFras_TX->setCurrentRow(0);
        QTest::keyClick(h->lsFras_TX, key, modifier);
        EXPECT_FALSE(h->isVisible()) << choice;
        EXPECT_EQ(Choice(), choice);
    }
}

TEST_F(HistoryTest, TheWindowReprintsOrCreditsWhatWasChosen) {
    Open();
    QString shown;
    auto choose = [&](int row, int option, const char* button) {
        suite.Ui().ModalActions.push_back([=](QWidget& window) {
            auto& history = dynamic_cast<FacturaHist&>(window);
            history.lsFras_TX->setCurrentRow(row);
            history.opEmision_TX[option]->click();
            history.Frm_evtButtonPressed(button);
        });
        suite.Ui().ModalActions.push_back(
            [&](QWidget& window) { shown = dynamic_cast<Viewer&>(window).sUltimoXmlEmitido; });
    };
    choose(0, 0, "FormatoNormal_BT");
    QApplication::setActiveWindow(w.get());
    w->gdFacturacion->setFocus();
    QTest::keyClick(w->gdFacturacion, Qt::Key_F8);
    EXPECT_EQ(suite.Ui().ModalCount, 2);
    EXPECT_TRUE(shown.contains("0001/26")) << shown.toStdString();
    EXPECT_EQ(Count("Facturas"), 16);

    // Credit note of invoice 1: the viewer shows it and the grid has its items pending again.
    const int pending = w->gd->RecordCount();
    // Asked first with the reason, R4 and No by default: answered No, nothing is issued.
    QString asked;
    const auto confirm = [&](int reason, const QString& text, bool yes) {
        return [&asked, reason, text, yes](QWidget& window) {
            auto& dialog = dynamic_cast<ConfirmacionAbono&>(window);
            asked = dialog.lblPregunta->text() + "|" + dialog.cboMotivo->currentText() + "|" +
                    QString::number(dialog.No_BT->isDefault() && !dialog.Si_BT->autoDefault());
            dialog.cboMotivo->setCurrentIndex(reason);
            dialog.txtMotivo->setText(text);
            (yes ? dialog.Si_BT : dialog.No_BT)->click();
        };
    };
    choose(0, 1, "FormatoDetallado_BT");
    suite.Ui().ModalActions.back() = confirm(1, "", false);
    w->Frm_evtToolClick("HistoricoFacturas_NA");
    EXPECT_EQ(Count("Facturas"), 16);
    const QString importe =
        Table("SELECT nTotal-nDescuento FROM Facturas WHERE sFactura='0001/26'").replace('.', ',');
    EXPECT_EQ(asked, "¿Emitir la factura rectificativa que anula la factura 0001/26 de " +
                         Table("SELECT sCliente FROM Facturas WHERE sFactura='0001/26'") + " por " +
                         importe +
                         " €?|R4 - Resto de causas (devolución de la mercancía o anulación del "
                         "servicio)|1");
    // Yes with another reason and a text: stored with the credit note, printed on it and
    // registered as its type.
    choose(0, 1, "FormatoDetallado_BT");
    suite.Ui().ModalActions.insert(suite.Ui().ModalActions.begin() + 1,
                                   confirm(1, "  Concurso de O'Brien S.L.  ", true));
    w->Frm_evtToolClick("HistoricoFacturas_NA");
    EXPECT_EQ(suite.Ui().ModalCount, 7);
    EXPECT_EQ(Count("Facturas", "sFacturaAbonada='0001/26'"), 1);
    EXPECT_TRUE(shown.contains("A0001/")) << shown.toStdString();
    EXPECT_EQ(Table("SELECT m.sMotivo, m.sTextoMotivo, r.sTipoFactura FROM Facturas f "
                    "JOIN FacturasRectificativas m ON m.nIdFactura=f.nIdFactura "
                    "JOIN RegistrosFacturacion r ON r.nIdFactura=f.nIdFactura "
                    "WHERE f.sFacturaAbonada='0001/26'"),
              Table("SELECT 'R2', 'Concurso de O''Brien S.L.', 'R2'"));
    EXPECT_TRUE(shown.contains("Motivo: R2 (art. 80 Tres LIVA,")) << shown.toStdString();
    // Its payments, the invoice's turned, print with the types they are returned by.
    const Rows paid = DataAccess::instance().GetRows(
        "SELECT t.sTipoCobro, c.nImporte FROM Facturas f JOIN FacturasCobros c ON "
        "c.nIdFactura=f.nIdFactura JOIN TipoCobro t ON t.nIdTipoCobro=c.nIdTipoCobro "
        "WHERE f.sFactura='0001/26' ORDER BY c.nIdFacturaCobro");
    ASSERT_GT(paid.RowCount(), 0);
    for (int r = 0; r < paid.RowCount(); ++r) {
        const QString returned =
            paid(0, r).toString() + R"(\s+-)" + TypedNumber::Spanish(paid(1, r).toDouble()) + "\n";
        EXPECT_TRUE(shown.contains(QRegularExpression(returned))) << returned.toStdString();
    }
    EXPECT_EQ(w->gd->RecordCount(), pending + 2);
    EXPECT_GT(RowOf("Vacuna polivalente perro"), 0);

    // Closed without a choice: nothing happens.
    w->Frm_evtToolClick("HistoricoFacturas_NA");
    EXPECT_EQ(suite.Ui().ModalCount, 8);
    EXPECT_EQ(Count("Facturas"), 17);
}

// Through the windows: only the first line of an invoice is rectified, with the amount the
// confirmation proposes for it; the invoice stays listed with what is left of it.
TEST_F(HistoryTest, APartOfAnInvoiceIsRectifiedAndTheRestStaysListed) {
    OpenHistory();
    const QString listed = Entries().join('\n');
    h.reset();
    const QString invoice = Table("SELECT nIdFactura FROM Facturas WHERE sFactura='0001/26'");
    ASSERT_GE(Count("FacturasItems", "nIdFactura=" + invoice), 2);
    suite.Ui().ModalActions.push_back([](QWidget& window) {
        auto& history = dynamic_cast<FacturaHist&>(window);
        history.lsFras_TX->setCurrentRow(0);
        history.opEmision_TX[1]->click();
        history.Frm_evtButtonPressed("FormatoDetallado_BT");
    });
    QString proposed;
    suite.Ui().ModalActions.push_back([&proposed](QWidget& window) {
        auto& dialog = dynamic_cast<ConfirmacionAbono&>(window);
        for (int row = 1; row < dialog.grdLineas->rowCount(); ++row)
            dialog.grdLineas->item(row, 0)->setCheckState(Qt::Unchecked);
        proposed = dialog.txtImporte->text() + "|" + dialog.cboTipoCobro->currentText();
        // More than the line comes to is refused with the choice of lines kept.
        dialog.txtImporte->setText("100");
        dialog.Si_BT->click();
        EXPECT_TRUE(dialog.isVisible());
        dialog.txtImporte->setText(proposed.section('|', 0, 0));
        dialog.Si_BT->click();
    });
    suite.Ui().ModalActions.push_back([](QWidget&) {});
    w->Frm_evtToolClick("HistoricoFacturas_NA");

    const QString credit =
        Table("SELECT MAX(nIdFactura) FROM Facturas WHERE sFacturaAbonada='0001/26'");
    const QString first =
        "(SELECT MIN(nIdFacturaItem) FROM FacturasItems WHERE nIdFactura=" + invoice + ")";
    EXPECT_EQ(Table("SELECT nUnidades,nTotal FROM FacturasItems WHERE nIdFactura=" + credit),
              Table("SELECT -nUnidades,-nTotal FROM FacturasItems WHERE nIdFacturaItem=" + first));
    // The amount proposed is what the line comes to after its share of the discount, given back
    // by the invoice's payment type; that is what the customer got back.
    EXPECT_EQ(proposed, TypedNumber::Spanish(-Number("SELECT nTotal-nDescuento FROM Facturas WHERE "
                                                     "nIdFactura=" +
                                                     credit)) +
                            "|" +
                            Table("SELECT t.sTipoCobro FROM FacturasCobros c JOIN TipoCobro t ON "
                                  "t.nIdTipoCobro=c.nIdTipoCobro WHERE c.nIdFactura=" +
                                  invoice + " ORDER BY c.nIdFacturaCobro LIMIT 1"));
    EXPECT_EQ(TypedNumber::Spanish(
                  -Number("SELECT SUM(nImporte) FROM FacturasCobros WHERE nIdFactura=" + credit)),
              proposed.section('|', 0, 0));
    OpenHistory();
    const double left =
        Number("SELECT nTotal-nDescuento FROM Facturas WHERE nIdFactura=" + invoice) +
        Number("SELECT nTotal-nDescuento FROM Facturas WHERE nIdFactura=" + credit);
    EXPECT_EQ(Entries().size(), listed.count('\n') + 1);
    EXPECT_TRUE(Entries().first().contains("0001/26") &&
                Entries().first().contains(AmountText::Euros(left)))
        << Entries().first().toStdString();
}

TEST_F(HistoryTest, CancellingAsksWhyThenConfirmsAndEscapeAtEitherStepWritesNothing) {
    const auto written = [] {
        return Table("SELECT (SELECT COUNT(*) FROM FacturasItems),(SELECT COUNT(*) FROM "
                     "FacturasCobros),(SELECT COUNT(*) FROM ApuntesCaja),(SELECT COUNT(*) FROM "
                     "RegistrosFacturacion)");
    };
    const struct {
        const char* login;
        QStringList inputs;
        std::deque<bool> confirmations;
        int cancelled; // FacturasAnuladas rows after
        QString lastShown;
    } cases[] = {
        {"recepcion", {}, {}, 0, "[Aviso] No tiene permiso para anular facturas."},
        {"admin", {}, {}, 0, "[Anular la factura 0001/26]"},
        // The confirmation says what cancelling is for; a hurried Enter answers No.
        {"admin",
         {"Cliente equivocado"},
         {false},
         0,
         "[Confirmación] Anular sirve para una factura emitida por error"},
        {"admin", {"Cliente equivocado"}, {true}, 1, "[Aviso] La factura 0001/26 está anulada;"},
        {"admin", {"Otra vez"}, {}, 1, "[Aviso] La factura 0001/26 ya está anulada."},
    };
    for (const auto& c : cases) {
        h.reset();
        Open(c.login, c.login == QString("admin") ? "admin" : "");
        OpenHistory();
        h->lsFras_TX->setCurrentRow(0);
        h->Frm_evtButtonPressed("Anular_BT");
        ASSERT_EQ(Choice(), "1|3|0");
        const QString before = written();
        suite.Ui().Shown.clear();
        suite.Ui().NoByDefault.clear();
        suite.Ui().Inputs.assign(c.inputs.begin(), c.inputs.end());
        suite.Ui().Confirmations = c.confirmations;
        w->Anular(w->nIdFactura_Historico);
        EXPECT_TRUE(suite.Ui().Shown.value(suite.Ui().Shown.size() - 1).startsWith(c.lastShown))
            << suite.Ui().Shown.join('\n').toStdString();
        EXPECT_EQ(suite.Ui().NoByDefault.size(), qsizetype(c.confirmations.size())) << c.login;
        EXPECT_EQ(Number("SELECT COUNT(*) FROM FacturasAnuladas"), c.cancelled) << c.login;
        EXPECT_EQ(written() != before, c.lastShown.contains("está anulada;")) << c.login;
    }
    OpenHistory();
    EXPECT_TRUE(Entries()[0].endsWith("ANULADA")) << Entries()[0].toStdString();
}

} // namespace
