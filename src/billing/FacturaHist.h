#pragma once

#include <QDialog>
#include <array>

class Facturacion;
class Frm;
class QLabel;
class QListWidget;
class QRadioButton;

// The client's invoices that can still be reprinted or credited: under the headings Fecha,
// Número and Importe, each line the date, the number and the amount due in euros (less what its
// rectifications took, so an invoice rectified in part shows what is left of it), in a
// fixed-pitch font so the columns line up. The newest invoice starts highlighted. The user picks an
// invoice, the action (print again, the default, or a credit note) and, with a layout button, the
// layout, or cancels it ("Anular…"); the choice goes into the billing window's
// nIdFactura_Historico, nEmitir and nFormatoFactura, and the billing window carries it out once
// this window has closed. Closing it any other way makes no choice.
class FacturaHist : public QDialog {
    Q_OBJECT
public:
    explicit FacturaHist(Facturacion& billing);

    Frm* Frame() const { return frm; }

    QLabel* lblCabecera_TX = nullptr; // the column headings over the list
    QListWidget* lsFras_TX = nullptr;
    std::array<QRadioButton*, 2> opEmision_TX{}; // 0 print again, 1 credit note

    void opEmision_TX_Click(int index);
    void Frm_evtButtonPressed(const QString& sName);

    // One line of the list (or its headings): date, number and amount due in fixed columns.
    static QString Entry(const QString& date, const QString& number, const QString& amount);
    // What a line adds when the document was e-mailed: when and to whom, from the queue's
    // "<time sent> <addresses>" of its last accepted message; nothing when it never was.
    static QString Mailed(const QString& lastSent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();

    Facturacion& m_billing;
    Frm* frm = nullptr;
};
