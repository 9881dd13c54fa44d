#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

// The question behind "Sustituir por factura completa…" in the client's history: which of the
// client's simplified invoices the complete one replaces (the one chosen in the history ticked)
// and who it is for, the client's file proposing name, NIF and address. Aceptar asks once more
// and issues it; a refusal is shown and the dialog stays open to correct it. Esc or Cancelar
// write nothing.
class SustitucionSimplificadas : public QDialog {
    Q_OBJECT
public:
    SustitucionSimplificadas(qint32 nIdCliente, qint32 nIdFacturaElegida, QWidget* parent);

    // Asks about the client of invoice nIdFactura; answers whether a complete invoice was issued.
    static bool Pedir(qint32 nIdFactura, QWidget* parent);

    QListWidget* lsSimplificadas_TX = nullptr; // ticked: replaced
    QLineEdit* txtCliente_TX = nullptr;
    QLineEdit* txtDni_TX = nullptr;
    QLineEdit* txtPais_TX = nullptr;   // a foreign document's country (FR, DE...)
    QLineEdit* txtTipoId_TX = nullptr; // and its type, 02 to 06
    QLineEdit* txtDomicilio_TX = nullptr;
    QPushButton* Aceptar_BT = nullptr;

    void Aceptar_BT_Click();

private:
    qint32 m_nIdCliente = 0;
};
