// The invoice history of the billing window: what it lists, how a choice is made with the mouse
// or the keyboard, and the reprint or credit note the window carries out afterwards.
#include "BillingFixture.h"

#include "billing/ConfirmacionAbono.h"
#include "billing/FacturaHist.h"
#include "invoicing/AnularFactura.h"
#include "invoicing/EmitirAbono.h"
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
#include <functional>
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

TEST_F(HistoryTest, EveryDocumentIsListedWithItsStateAndFilteredByKindAndYear) {
    // Client 1: invoice 1 (A0001/25) of the year before, rectified in part; invoice 13 (A0011/25)
    // a simplified one, cancelled.
    Open();
    Db().UpdateRecord("Facturas", "dFactura", "20251230", "nIdFactura=1");
    Db().UpdateRecord("Facturas", "sTipoFactura", "'F2'", "nIdFactura=13");
    SolicitudAbono part;
    part.nIdFactura = 1;
    part.lineas = {{LineasAbonables(1)[0].nIdFacturaItem, LineasAbonables(1)[0].nAbonables}};
    part.dAbono = 20261201;
    part.nFechaTrabajo = Gi.nFechaTrabajo;
    const QString rectificativa = EmitirAbono(part)->sFactura;
    ASSERT_TRUE(
        AnularFactura({13, "Emitida dos veces", 1, "", Gi.nFechaTrabajo, 20261201, 1}).Hecho());
    OpenHistory();
    const QStringList all = Entries();
    EXPECT_EQ(all,
              QStringList({"30/12/2025 A0001/25   Factura           63,25 €  rectificada 30,25 €",
                           "10/02/2025 A0011/25   Simplificada      34,10 €  anulada",
                           "01/12/2026 " + rectificativa +
                               "  Rectif. R4       -30,25 €  rectifica A0001/25"}));
    EXPECT_TRUE(QFontInfo(h->lsFras_TX->font()).fixedPitch());
    EXPECT_EQ(w->nEmitir, 1) << "printing again is the default";
    EXPECT_EQ(h->lblCabecera_TX->text().indexOf("Estado"), all[0].indexOf("rectificada"));
    EXPECT_EQ(h->lblCabecera_TX->text().indexOf("Tipo"), all[0].indexOf("Factura"));
    const struct {
        int kind;
        QString year;
        QStringList listed;
    } filters[] = {
        {1, "Todos", {all[0]}}, {2, "Todos", {all[1]}},        {3, "Todos", {all[2]}},
        {4, "Todos", {all[1]}}, {0, "2025", {all[0], all[1]}}, {0, "2026", {all[2]}},
        {3, "2025", {}},
    };
    for (const auto& f : filters) {
        h->cboTipo_SN->setCurrentIndex(f.kind);
        h->cboAnio_SN->setCurrentText(f.year);
        EXPECT_EQ(Entries(), f.listed) << f.kind << " " << f.year.toStdString();
    }
    // With nothing listed, the buttons do nothing and the window stays.
    h->Frm_evtButtonPressed("FormatoDetallado_BT");
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(w->nIdFactura_Historico, 0);
    // Every one reprints; only what has something left is rectified, the others say why: client
    // 12's invoice 12, rectified in full by 15, among them.
    const struct {
        int row;
        QString choice, said;
    } tries[] = {
        {0, "1|2|2", ""},
        {1, "0|2|0", "[Aviso] La factura A0011/25 está anulada: no se puede rectificar."},
        {2, "0|2|0",
         "[Aviso] La factura " + rectificativa +
             " es una factura rectificativa: no se puede rectificar."},
        {-12, "0|2|0",
         "[Aviso] La factura " + Table("SELECT sFactura FROM Facturas WHERE nIdFactura=12") +
             " ya está rectificada por completo: no queda nada que rectificar."},
    };
    for (const auto& t : tries) {
        OpenHistory(t.row < 0 ? 15 : 1);
        suite.Ui().Shown.clear();
        h->lsFras_TX->setCurrentRow(std::max(0, t.row));
        h->opEmision_TX[1]->click();
        h->Frm_evtButtonPressed("FormatoDetallado_BT");
        EXPECT_EQ(Choice(), t.choice);
        EXPECT_EQ(suite.Ui().Shown.join('\n'), t.said);
        EXPECT_EQ(h->isVisible(), !t.said.isEmpty());
    }
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
    EXPECT_TRUE(shown.contains("A0001/25")) << shown.toStdString();
    const int documents = Count("Facturas");

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
    EXPECT_EQ(Count("Facturas"), documents);
    EXPECT_EQ(asked, "¿Emitir una factura rectificativa de la factura A0001/25 de " +
                         Table("SELECT sCliente FROM Facturas WHERE sFactura='A0001/25'") +
                         " por 63,25\u00a0€?\nSus líneas no se vuelven a facturar: la mercancía se "
                         "devuelve o el servicio no se presta.|R4 - Resto de causas (devolución "
                         "de la mercancía o anulación del servicio)|1");
    // Yes with another reason and a text: stored with the credit note, printed on it and
    // registered as its type.
    choose(0, 1, "FormatoDetallado_BT");
    suite.Ui().ModalActions.insert(suite.Ui().ModalActions.begin() + 1,
                                   confirm(1, "  Concurso de O'Brien S.L.  ", true));
    w->Frm_evtToolClick("HistoricoFacturas_NA");
    EXPECT_EQ(suite.Ui().ModalCount, 7);
    EXPECT_EQ(Count("Facturas", "sFacturaAbonada='A0001/25'"), 1);
    EXPECT_TRUE(shown.contains("A0001/")) << shown.toStdString();
    EXPECT_EQ(Table("SELECT m.sMotivo, m.sTextoMotivo, r.sTipoFactura FROM Facturas f "
                    "JOIN FacturasRectificativas m ON m.nIdFactura=f.nIdFactura "
                    "JOIN RegistrosFacturacion r ON r.nIdFactura=f.nIdFactura "
                    "WHERE f.sFacturaAbonada='A0001/25'"),
              Table("SELECT 'R2', 'Concurso de O''Brien S.L.', 'R2'"));
    EXPECT_TRUE(shown.contains("Motivo: R2 (art. 80 Tres LIVA,")) << shown.toStdString();
    // Its payments, the invoice's turned, print with the types they are returned by.
    const Rows paid = DataAccess::instance().GetRows(
        "SELECT t.sTipoCobro, c.nImporte FROM Facturas f JOIN FacturasCobros c ON "
        "c.nIdFactura=f.nIdFactura JOIN TipoCobro t ON t.nIdTipoCobro=c.nIdTipoCobro "
        "WHERE f.sFactura='A0001/25' ORDER BY c.nIdFacturaCobro");
    ASSERT_GT(paid.RowCount(), 0);
    for (int r = 0; r < paid.RowCount(); ++r) {
        const QString returned =
            paid(0, r).toString() + R"(\s+-)" + TypedNumber::Spanish(paid(1, r).toDouble()) + "\n";
        EXPECT_TRUE(shown.contains(QRegularExpression(returned))) << returned.toStdString();
    }
    EXPECT_EQ(w->gd->RecordCount(), pending) << "R2: the lines are not invoiced again";

    // Closed without a choice: nothing happens.
    w->Frm_evtToolClick("HistoricoFacturas_NA");
    EXPECT_EQ(suite.Ui().ModalCount, 8);
    EXPECT_EQ(Count("Facturas"), documents + 1);
}

// Through the windows: only the first line of an invoice is rectified, with the amount the
// confirmation proposes for it; the invoice stays listed with what is left of it.
TEST_F(HistoryTest, APartOfAnInvoiceIsRectifiedAndTheRestStaysListed) {
    OpenHistory();
    const QString listed = Entries().join('\n');
    h.reset();
    const QString invoice = Table("SELECT nIdFactura FROM Facturas WHERE sFactura='A0001/25'");
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
        Table("SELECT MAX(nIdFactura) FROM Facturas WHERE sFacturaAbonada='A0001/25'");
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
    const double taken =
        -Number("SELECT nTotal-nDescuento FROM Facturas WHERE nIdFactura=" + credit);
    EXPECT_EQ(Entries().size(), listed.count('\n') + 2);
    EXPECT_EQ(Entries().first(),
              listed.section('\n', 0, 0) + "rectificada " + AmountText::Euros(taken));
}

TEST_F(HistoryTest, CancellingAsksWhyThenConfirmsAndEscapeAtEitherStepWritesNothing) {
    const auto written = [] {
        return Table("SELECT (SELECT COUNT(*) FROM FacturasItems),(SELECT COUNT(*) FROM "
                     "FacturasCobros),(SELECT COUNT(*) FROM ApuntesCaja),(SELECT COUNT(*) FROM "
                     "RegistrosFacturacion)");
    };
    const double demo = Number("SELECT COUNT(*) FROM FacturasAnuladas");
    const struct {
        const char* login;
        QStringList inputs;
        std::deque<bool> confirmations;
        int cancelled; // FacturasAnuladas rows after, beside the demo's
        QString lastShown;
    } cases[] = {
        {"recepcion", {}, {}, 0, "[Aviso] No tiene permiso para anular facturas."},
        {"admin", {}, {}, 0, "[Anular la factura A0001/25]"},
        // The confirmation says what cancelling is for; a hurried Enter answers No.
        {"admin",
         {"Cliente equivocado"},
         {false},
         0,
         "[Confirmación] Anular sirve para una factura emitida por error"},
        {"admin", {"Cliente equivocado"}, {true}, 1, "[Aviso] La factura A0001/25 está anulada;"},
        {"admin", {"Otra vez"}, {}, 1, "[Aviso] La factura A0001/25 ya está anulada."},
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
        EXPECT_EQ(Number("SELECT COUNT(*) FROM FacturasAnuladas") - demo, c.cancelled) << c.login;
        EXPECT_EQ(written() != before, c.lastShown.contains("está anulada;")) << c.login;
    }
    OpenHistory();
    EXPECT_TRUE(Entries()[0].endsWith("  anulada")) << Entries()[0].toStdString();
}

// What becomes of a rectification's lines, as the reason suggests or as the user says; the pending
// grid and its total compared whole afterwards. Each case rectifies the first line of invoice 1
// of the clinic as the demo leaves it.
TEST_F(HistoryTest, TheRectificationAsksWhetherItsLinesGoBackToPending) {
    suite.SignIn();
    suite.Snapshot();
    const auto pending = [&] {
        QStringList rows;
        for (int row = 1; row <= w->gd->RecordCount(); ++row)
            rows << Cells(row, {"Producto Servicio", "Precio", "Unid", "Total", "Origen"});
        return rows << w->lblTotalAFacturar_MN->text();
    };
    const QString asked = "¿Emitir una factura rectificativa de la factura A0001/25 de Ana García "
                          "López por 30,25\u00a0€?\n";
    const QString again = asked + "Sus líneas vuelven a estar pendientes del cliente, para "
                                  "facturarlas de nuevo.";
    const QString returned = asked + "Sus líneas no se vuelven a facturar: la mercancía se "
                                     "devuelve o el servicio no se presta.";
    const QStringList kept = {"Revisión|15,00|1|18,15|", "Pienso adulto 3 kg|10,00|1|12,10|"};
    const struct {
        int picked; // the lines' answer clicked before the reason is chosen; -1 none
        int reason; // 0 R1 ... 3 R4
        QString asked;
        QStringList after;
    } cases[] = {
        {-1, 0, again,
         kept + QStringList{"Consulta general|25,00|1|30,25|de RA0001/26", "60,50 €"}},
        {-1, 3, returned, kept + QStringList{"30,25 €"}},
        {1, 0, returned, kept + QStringList{"30,25 €"}},
        {0, 3, again, kept + QStringList{"Consulta general|25,00|1|30,25|de RA0001/26", "60,50 €"}},
    };
    for (const auto& c : cases) {
        w.reset();
        suite.Restore();
        Open();
        const LineaAbonable line = LineasAbonables(1)[0];
        suite.Ui().ModalActions.push_back([](QWidget& window) {
            auto& history = dynamic_cast<FacturaHist&>(window);
            for (int row = 0; row < history.lsFras_TX->count(); ++row)
                if (history.lsFras_TX->item(row)->data(Qt::UserRole).toInt() == 1)
                    history.lsFras_TX->setCurrentRow(row);
            history.opEmision_TX[1]->click();
            history.Frm_evtButtonPressed("FormatoDetallado_BT");
        });
        QString question;
        suite.Ui().ModalActions.push_back([&](QWidget& window) {
            auto& dialog = dynamic_cast<ConfirmacionAbono&>(window);
            for (int row = 0; row < dialog.grdLineas->rowCount(); ++row)
                if (dialog.grdLineas->item(row, 0)->text() != line.sProductoServicio)
                    dialog.grdLineas->item(row, 0)->setCheckState(Qt::Unchecked);
            if (c.picked >= 0)
                dialog.opLineas_TX[c.picked]->click();
            dialog.cboMotivo->setCurrentIndex(c.reason);
            question = dialog.lblPregunta->text();
            dialog.Si_BT->click();
        });
        suite.Ui().ModalActions.push_back([](QWidget&) {});
        w->Frm_evtToolClick("HistoricoFacturas_NA");
        EXPECT_EQ(question, c.asked) << suite.Ui().Shown.join('\n').toStdString();
        EXPECT_EQ(pending(), c.after) << c.picked << " " << c.reason;
    }
}

// Escape in the history, or in the confirmation after any of the changes it offers, leaves the
// data as it was.
TEST_F(HistoryTest, EscapeAtEveryStepOfARectificationWritesNothing) {
    Open();
    const auto written = [] {
        return Table("SELECT (SELECT COUNT(*) FROM Facturas),(SELECT COUNT(*) FROM FacturasItems),"
                     "(SELECT COUNT(*) FROM FacturasCobros),(SELECT COUNT(*) FROM ApuntesCaja),"
                     "(SELECT COUNT(*) FROM AbonosItems),(SELECT COUNT(*) FROM "
                     "RegistrosFacturacion),(SELECT SUM(nStockActual) FROM ProductosServicios)");
    };
    const QString before = written();
    const std::vector<std::function<void(ConfirmacionAbono&)>> changes = {
        [](ConfirmacionAbono& d) { d.grdLineas->item(0, 0)->setCheckState(Qt::Unchecked); },
        [](ConfirmacionAbono& d) { d.cboMotivo->setCurrentIndex(0); },
        [](ConfirmacionAbono& d) { d.opLineas_TX[1]->click(); },
        [](ConfirmacionAbono& d) { d.txtImporte->setText("1,00"); },
        [](ConfirmacionAbono& d) { d.txtMotivo->setText("Precio equivocado"); },
    };
    for (int steps = -1; steps <= int(changes.size()); ++steps) {
        suite.Ui().ModalActions.push_back([steps](QWidget& window) {
            auto& history = dynamic_cast<FacturaHist&>(window);
            history.opEmision_TX[1]->click();
            if (steps < 0)
                QTest::keyClick(history.lsFras_TX, Qt::Key_Escape);
            else
                history.Frm_evtButtonPressed("FormatoDetallado_BT");
            EXPECT_FALSE(history.isVisible());
        });
        suite.Ui().ModalActions.push_back([&changes, steps](QWidget& window) {
            auto& dialog = dynamic_cast<ConfirmacionAbono&>(window);
            for (int k = 0; k < steps; ++k)
                changes[size_t(k)](dialog);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            EXPECT_FALSE(dialog.isVisible()) << steps;
        });
        const int shown = suite.Ui().ModalCount;
        w->Frm_evtToolClick("HistoricoFacturas_NA");
        EXPECT_EQ(suite.Ui().ModalCount - shown, steps < 0 ? 1 : 2) << steps;
        suite.Ui().ModalActions.clear();
        EXPECT_EQ(written(), before) << steps;
    }
}

} // namespace
