#pragma once

#include <QDialog>

class Facturacion;
class Frm;
class QLabel;
class QLineEdit;

// Adds a product to the selected client's pending items by its code and a quantity, without going
// through the grid. Stays open, cleared after each addition, until the user closes it.
class CodigoProducto : public QDialog {
    Q_OBJECT
public:
    explicit CodigoProducto(Facturacion& billing);

    Frm* Frame() const { return frm; }

    QLineEdit* txtCodigo_TX = nullptr;
    QLineEdit* txtCantidad_NU = nullptr;
    QLabel* lblProducto = nullptr;

    // Empties the form for the next code and puts the cursor on the code.
    void Limpiar();
    void Frm_evtButtonPressed(const QString& sName);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void txtCodigo_TX_Change();
    void Aceptar();

    Facturacion& m_billing;
    Frm* frm = nullptr;

    // The line being added.
    QString m_sIdCliente = "0";
    QString m_sIdMascota = "0";
    QString m_sIdProducto = "0";
    QString m_sUnidades = "0";
};
