#pragma once

#include "invoicing/EmitirAbono.h"
#include "invoicing/MotivoRectificacion.h"

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QRadioButton;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

// The question asked before a rectifying invoice is issued, with what it rectifies and the
// reason it will carry: the invoice's lines with the units still to rectify, all of them ticked
// (the user may untick a line or lower its units, never above what is left); the amount given
// back and its payment type, by default what those units come to and the invoice's own type; the
// tax agency's code (R4 unless the user picks another) and an optional text; and whether the
// lines go back to the pending items, as the reason suggests until the user says otherwise. The
// question names the invoice, its client, the amount rectified and what becomes of the lines, and
// follows every change of them. Enter and Esc both answer No: a Yes issues a document and books
// money back.
class ConfirmacionAbono : public QDialog {
    Q_OBJECT
public:
    // importes answers what the lines chosen take off the invoice and the most that can be given
    // back for them.
    ConfirmacionAbono(const QString& sFactura, const QString& sCliente,
                      const std::vector<LineaAbonable>& lineas, const QStringList& tiposCobro,
                      const QString& sTipoCobro,
                      std::function<ImportesRectificacion(const std::vector<LineaAbono>&)> importes,
                      QWidget* parent = nullptr);

    // The reason chosen; meaningful when the dialog was accepted.
    MotivoRectificacion Motivo() const;
    // The lines ticked with their units; empty when every line keeps all that is left of it.
    std::vector<LineaAbono> Lineas() const;
    // The amount and type given back; none when the user kept what was proposed.
    std::optional<Money> Importe() const;
    QString TipoCobro() const;
    // Whether the lines rectified go back to the client's pending items.
    bool LineasPendientes() const;

    QLabel* lblPregunta = nullptr;
    QTableWidget* grdLineas = nullptr; // the line (ticked), units invoiced, units to rectify
    QLineEdit* txtImporte = nullptr;
    QComboBox* cboTipoCobro = nullptr;
    QComboBox* cboMotivo = nullptr;
    QLineEdit* txtMotivo = nullptr;
    std::array<QRadioButton*, 2> opLineas_TX{}; // 0 back to pending, 1 not invoiced again
    QPushButton* Si_BT = nullptr;
    QPushButton* No_BT = nullptr;

private:
    // The invoice's lines still to rectify, ticked, with their units.
    void CrearLineas(const std::vector<LineaAbonable>& lineas);
    // The reason's code and text, and what becomes of the lines, which follows the reason until
    // the user says it; answers the choices' layout.
    QVBoxLayout* CrearMotivo();
    std::vector<LineaAbono> Elegidas() const;
    void Proponer();
    void Preguntar();
    void Si_BT_Click();

    QString m_sFactura;
    QString m_sCliente;
    std::vector<LineaAbonable> m_lineas;
    std::function<ImportesRectificacion(const std::vector<LineaAbono>&)> m_importes;
    Money m_rectificado;
    bool m_destinoElegido = false; // the user chose what becomes of the lines
    QString m_propuesto;
    QString m_tipoCobro;
    Money m_importe;
};
