#pragma once

#include "invoicing/core/Cobro.h"
#include "invoicing/core/DocumentoVenta.h"

#include <QDialog>
#include <array>

class Frm;
class QComboBox;
class QFont;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QTabWidget;

// The dialog shown before an invoice is written: the total of the client's pending items, the
// customer texts printed on the invoice and which document they give (complete with a valid id,
// simplified without one up to the branch's limit), a discount (as an amount or a percentage),
// up to four payments and the layout to print in. Accepting by one of the three layout buttons
// fills its payment record and sets the layout (1 Normal, 2 Detallada, 3 Ticket); closing it any
// other way sets the layout to 0 and leaves the record empty.
class FacturaInfo : public QDialog {
    Q_OBJECT
public:
    // clientId and clientName are the billing window's selected client (its id as text and the
    // client list's text); nFormatoFactura receives the layout.
    FacturaInfo(const QString& clientId, const QString& clientName, quint8& nFormatoFactura,
                QWidget* parent = nullptr);

    Frm* Frame() const { return frm; }
    // What the user accepted, for the invoice's request.
    const CobroRecord& Cobro() const { return m_cobro; }

    QTabWidget* TabGral = nullptr;
    QFrame* fr1 = nullptr;
    QFrame* fr2 = nullptr;
    QLineEdit* txtCliente_TX = nullptr;
    QLineEdit* txtDomicilio_TX = nullptr;
    QLineEdit* txtDni_TX = nullptr;
    // A foreign customer's document: its type (the first item is a Spanish NIF) and country.
    QComboBox* cboTipoId_SN = nullptr;
    QLineEdit* txtPais_TX = nullptr;
    // Which document accepting will issue (complete or simplified), or why none.
    QLabel* lblDocumento = nullptr;
    std::array<QComboBox*, 4> cboTipo{}; // cboTipo1_SN .. cboTipo4_SN
    std::array<QLineEdit*, 4> txtImp{};  // txtImp1_MN .. txtImp4_MN
    QLineEdit* txtDescuento_MN = nullptr;
    QLineEdit* txtPorcDto_PN = nullptr;
    QLabel* lblTotal_MN = nullptr;
    QLabel* lblAPagar_MN = nullptr; // the amount due: the total less the discount
    // What the customer hands over in cash, and the change that goes back: only the cash
    // payment itself is booked.
    QLineEdit* txtEntregado_MN = nullptr;
    QLabel* lblCambio_MN = nullptr;

    void TabGral_Click(int index);
    void Frm_evtButtonPressed(const QString& sName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    QFont BuildAmounts();
    void BuildPaymentTab(const QList<QWidget*>& layoutButtons);
    QWidget* AddPaymentRows(QGridLayout& payment, const QFont& big);
    void BuildCustomerTab();
    void Form_Load(const QString& clientId, const QString& clientName);
    void Form_Activate();
    void LlenarCombosFormaCobro();
    void Cancelar();
    void txtDescuento_MN_LostFocus();
    void txtPorcDto_PN_LostFocus();
    void txtImp_MN_GotFocus(int slot);
    void AplicarDescuento(Money discount);
    // What the payments other than slot leave of the amount due.
    Money Resto(int slot) const;
    // The checks before the dialog hands anything back; each says what is wrong.
    bool DatosValidos();
    bool DescuentoValido();
    // The document the customer's id and the amount due give, as the invoice will be issued.
    DocumentoVenta Documento() const;
    void MostrarDocumento();
    bool DocumentoValido();
    // The payments typed as cash, the change on what was handed over, and its check.
    Money EnEfectivo() const;
    void MostrarCambio();
    bool EntregadoValido();

    quint8& m_nFormatoFactura;
    CobroRecord m_cobro;
    // A counter sale: a simplified invoice without the customer's id, paid in full at once.
    bool m_bMostrador = false;
    Money m_nTotal;
    Money m_nAPagar;
    qint32 m_nIdEfectivo = 0;      // the payment type that goes into the drawer as notes and coins
    std::array<bool, 4> m_typed{}; // payments the user typed, kept when entered again
    QObject* m_edited = nullptr;   // the discount or percentage field typed in since entered
    Frm* frm = nullptr;
};
