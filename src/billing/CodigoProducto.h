#pragma once

#include <QDialog>
#include <QHash>

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
    // Said as soon as the code is left (Enter or another field): an unknown code keeps the cursor.
    void txtCodigo_TX_Dejado();
    // The product with the typed code, matched exactly or, failing that, without regard to case
    // and accents ("vac01" is VAC01); 0 when there is none.
    qint32 ProductoDelCodigo() const;
    void Aceptar();

    Facturacion& m_billing;
    Frm* frm = nullptr;

    // The line being added.
    QString m_sIdCliente = "0";
    QString m_sIdMascota = "0";
    QString m_sIdProducto = "0";
    QString m_sUnidades = "0";
    // Every code folded, with its product: read once each time the dialog opens, at the first
    // code that does not match exactly.
    mutable QHash<QString, qint32> m_codigosPlegados;
    mutable bool m_codigosLeidos = false;
};
