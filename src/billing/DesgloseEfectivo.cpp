// The cash drawer counted by denomination for the till's closing.
#include "billing/DesgloseEfectivo.h"

#include "platform/data/DataAccess.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>

namespace {

// The euro's notes and coins, in cents, as a drawer holds them.
constexpr std::array<qint64, 15> kValores = {50000, 20000, 10000, 5000, 2000, 1000, 500, 200,
                                             100,   50,    20,    10,   5,    2,    1};

} // namespace

DesgloseEfectivo::DesgloseEfectivo(QWidget* parent) : QDialog(parent) {
    setObjectName("DesgloseEfectivo");
    setWindowTitle(Db().Translate("Desglose del efectivo"));
    auto* filas = new QGridLayout;
    const QStringList titulos = {"Billete o moneda", "Cantidad", "Importe"};
    for (int c = 0; c < titulos.size(); ++c)
        filas->addWidget(new QLabel("<b>" + Db().Translate(titulos[c]) + "</b>", this), 0, c);
    for (int k = 0; k < int(kValores.size()); ++k) {
        auto* cantidad = new QSpinBox(this);
        cantidad->setObjectName("spnCantidad_" + QString::number(kValores[k]));
        cantidad->setRange(0, 99999);
        auto* importe = new QLabel(this);
        importe->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        filas->addWidget(new QLabel(Money::FromCents(kValores[k]).Euros(), this), k + 1, 0);
        filas->addWidget(cantidad, k + 1, 1);
        filas->addWidget(importe, k + 1, 2);
        m_cantidades << cantidad;
        m_importes << importe;
        connect(cantidad, &QSpinBox::valueChanged, this, &DesgloseEfectivo::Sumar);
    }
    lblTotal = new QLabel(this);
    lblTotal->setObjectName("lblTotal");
    lblTotal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    filas->addWidget(new QLabel("<b>" + Db().Translate("Total") + "</b>", this),
                     int(kValores.size()) + 1, 0);
    filas->addWidget(lblTotal, int(kValores.size()) + 1, 2);
    auto* botones = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    botones->button(QDialogButtonBox::Ok)->setText(Db().Translate("&Aceptar"));
    botones->button(QDialogButtonBox::Cancel)->setText(Db().Translate("&Cancelar"));
    connect(botones, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(botones, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filas);
    layout->addWidget(botones);
    Sumar();
}

Money DesgloseEfectivo::Importe(int k) const {
    return Money::FromCents(kValores[k] * m_cantidades[k]->value());
}

Money DesgloseEfectivo::Total() const {
    Money total;
    for (int k = 0; k < m_cantidades.size(); ++k)
        total += Importe(k);
    return total;
}

void DesgloseEfectivo::Sumar() {
    for (int k = 0; k < m_cantidades.size(); ++k)
        m_importes[k]->setText(m_cantidades[k]->value() == 0 ? QString() : Importe(k).Euros());
    lblTotal->setText(Total().Euros());
}
