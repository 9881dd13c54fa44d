// "Acerca de tvFacturacion": the producer's declaration, item by item, with the build's values.

#include "billing/AcercaDe.h"

#include "platform/data/DataAccess.h"
#include "register/SistemaInformatico.h"
#include "session/Ayuda.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AcercaDe::AcercaDe(QWidget* parent) : QDialog(parent) {
    const DataAccess& db = DataAccess::instance();
    const SistemaInformatico& sistema = SistemaInformatico::DelBuild();
    setObjectName("AcercaDe");
    Ayuda::Enlazar(*this, "registro.html#declaracion");
    setWindowTitle(db.Translate("Acerca de tvFacturacion"));

    auto* titulo = new QLabel(db.Translate("Declaración responsable del sistema informático de "
                                           "facturación"),
                              this);
    QFont font = titulo->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    titulo->setFont(font);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
    for (const SistemaInformatico::Apartado& apartado : sistema.Apartados()) {
        auto* valor = new QLabel(apartado.texto, this);
        valor->setObjectName(apartado.titulo);
        valor->setWordWrap(true);
        valor->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(db.Translate(apartado.titulo) + ":", valor);
    }
    lblDeclaracion = new QLabel(sistema.Declaracion(), this);
    lblDeclaracion->setObjectName("lblDeclaracion");
    lblDeclaracion->setWordWrap(true);
    lblDeclaracion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Cerrar_BT = new QPushButton(db.Translate("&Cerrar"), this);
    Cerrar_BT->setObjectName("Cerrar_BT");
    Cerrar_BT->setDefault(true);
    connect(Cerrar_BT, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(Cerrar_BT, QDialogButtonBox::AcceptRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(titulo);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addWidget(lblDeclaracion);
    layout->addWidget(buttons);
    setMinimumWidth(640);
}

QString AcercaDe::Valor(const QString& titulo) const {
    const auto* valor = findChild<QLabel*>(titulo);
    return valor ? valor->text() : QString();
}

QString AcercaDe::Declaracion() const {
    return lblDeclaracion->text();
}
