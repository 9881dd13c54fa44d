#include "billing/ConfirmacionAbono.h"

#include "platform/data/DataAccess.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ConfirmacionAbono::ConfirmacionAbono(const QString& pregunta, QWidget* parent) : QDialog(parent) {
    const DataAccess& db = DataAccess::instance();
    setObjectName("ConfirmacionAbono");
    setWindowTitle(db.Translate("Confirmación"));
    lblPregunta = new QLabel(pregunta, this);
    lblPregunta->setObjectName("lblPregunta");
    lblPregunta->setWordWrap(true);
    cboMotivo = new QComboBox(this);
    cboMotivo->setObjectName("cboMotivo");
    for (const auto& [codigo, texto] : MotivoRectificacion::Motivos())
        cboMotivo->addItem(codigo + " - " + db.Translate(texto), codigo);
    cboMotivo->setCurrentIndex(cboMotivo->findData(MotivoRectificacion{}.sMotivo));
    txtMotivo = new QLineEdit(this);
    txtMotivo->setObjectName("txtMotivo");
    txtMotivo->setMaxLength(MotivoRectificacion::MaxTexto);
    txtMotivo->setPlaceholderText(db.Translate("Opcional"));
    Si_BT = new QPushButton(db.Translate("&Sí"), this);
    Si_BT->setObjectName("Si_BT");
    Si_BT->setAutoDefault(false);
    No_BT = new QPushButton(db.Translate("&No"), this);
    No_BT->setObjectName("No_BT");
    No_BT->setDefault(true);
    connect(Si_BT, &QPushButton::clicked, this, &QDialog::accept);
    connect(No_BT, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(db.Translate("Motivo"), cboMotivo);
    form->addRow(db.Translate("Texto del motivo"), txtMotivo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Si_BT);
    buttons->addWidget(No_BT);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPregunta);
    layout->addLayout(form);
    layout->addLayout(buttons);
    No_BT->setFocus();
}

MotivoRectificacion ConfirmacionAbono::Motivo() const {
    return {cboMotivo->currentData().toString(), txtMotivo->text().trimmed()};
}
