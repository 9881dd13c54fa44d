#pragma once

#include "caja/CierreCaja.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// "Caja": the chosen box's open period per payment type (expected), what the desk counts, the
// difference shown as it is typed (red short, blue over), the float kept and the remark; an X
// report at any moment and the closing with its Z report (docs/till.md).
class CajaDialogo : public QDialog {
    Q_OBJECT
public:
    // nIdCaja: the box shown first (the billing window's).
    CajaDialogo(qint32 nIdCaja, QWidget* parent = nullptr);

    // Reads the chosen box again: a closing made meanwhile at another desk starts a new period.
    void Cargar();
    // What the desk typed, read as every amount is; a refusal is said and answers nothing.
    std::optional<CierreCaja::Recuento> Recuento() const;
    void InformeX();
    // Closes the box after a confirmation and shows its Z report; answers whether it closed.
    bool CerrarCaja();

private:
    void Diferencias();
    qint32 Caja() const;

    CierreCaja::Estado m_estado;
    QComboBox* cboCaja_SN = nullptr;
    QGridLayout* m_filas = nullptr;
    QList<QLineEdit*> m_contado;
    QList<QLabel*> m_diferencia;
    QLabel* lblPeriodo = nullptr;
    QLineEdit* txtFondo_MN = nullptr;
    QLineEdit* txtNota = nullptr;
    QPushButton* InformeX_BT = nullptr;
    QPushButton* CerrarCaja_BT = nullptr;
};
