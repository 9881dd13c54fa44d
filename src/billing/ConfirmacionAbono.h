#pragma once

#include "invoicing/MotivoRectificacion.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The question asked before a rectifying invoice is issued, with the reason it will carry: the
// tax agency's code (R4 unless the user picks another) and an optional text. Enter and Esc both
// answer No: a Yes issues a document and books money back.
class ConfirmacionAbono : public QDialog {
    Q_OBJECT
public:
    explicit ConfirmacionAbono(const QString& pregunta, QWidget* parent = nullptr);

    // The reason chosen; meaningful when the dialog was accepted.
    MotivoRectificacion Motivo() const;

    QLabel* lblPregunta = nullptr;
    QComboBox* cboMotivo = nullptr;
    QLineEdit* txtMotivo = nullptr;
    QPushButton* Si_BT = nullptr;
    QPushButton* No_BT = nullptr;
};
