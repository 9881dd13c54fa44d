#pragma once

#include <QDialog>
#include <array>

class Facturacion;
class Frm;
class QListWidget;
class QRadioButton;

// The client's invoices that can still be reprinted or credited: each line the date, the number
// and the amount due, in a fixed-pitch font so the columns line up. The user picks an invoice,
// the action (print again, the default, or a credit note) and, with a layout button, the layout;
// the choice goes into the billing window's nIdFactura_Historico, nEmitir and nFormatoFactura,
// and the billing window carries it out once this window has closed. Closing it any other way
// makes no choice.
class FacturaHist : public QDialog {
    Q_OBJECT
public:
    explicit FacturaHist(Facturacion& billing);

    Frm* Frame() const { return frm; }

    QListWidget* lsFras_TX = nullptr;
    std::array<QRadioButton*, 2> opEmision_TX{}; // 0 print again, 1 credit note

    void opEmision_TX_Click(int index);
    void Frm_evtButtonPressed(const QString& sName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();

    Facturacion& m_billing;
    Frm* frm = nullptr;
};
