// The "Caja" dialog: a box's expected amounts, the count typed at the desk, X and Z reports.

#include "billing/CajaDialogo.h"

#include "billing/DesgloseEfectivo.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/TypedNumber.h"
#include "platform/util/Utility.h"
#include "reports/InformeCaja.h"
#include "reports/Viewer.h"
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CajaDialogo::CajaDialogo(qint32 nIdCaja, QWidget* parent) : QDialog(parent) {
    setObjectName("Caja");
    Ayuda::Enlazar(*this, "caja.html");
    setWindowTitle(Db().Translate("Caja"));
    cboCaja_SN = new QComboBox(this);
    cboCaja_SN->setObjectName("cboCaja_SN");
    const Rows cajas = Db().GetRows("SELECT nIdTipoCaja,sTipoCaja FROM TipoCaja ORDER BY 1");
    for (int r = 0; r < cajas.RowCount(); ++r) {
        cboCaja_SN->addItem(cajas(1, r).toString(), cajas(0, r));
        if (cajas(0, r).toInt() == nIdCaja)
            cboCaja_SN->setCurrentIndex(r);
    }
    lblPeriodo = new QLabel(this);
    lblPeriodo->setObjectName("lblPeriodo");
    m_filas = new QGridLayout;
    txtFondo_MN = new QLineEdit(this);
    txtFondo_MN->setObjectName("txtFondo_MN");
    txtNota = new QLineEdit(this);
    txtNota->setObjectName("txtNota");
    InformeX_BT = new QPushButton(Db().Translate("Informe &X"), this);
    InformeX_BT->setObjectName("InformeX_BT");
    CerrarCaja_BT = new QPushButton(Db().Translate("&Cerrar caja (Z)"), this);
    CerrarCaja_BT->setObjectName("CerrarCaja_BT");
    auto* salir = new QPushButton(Db().Translate("&Salir"), this);
    salir->setObjectName("Salir_BT");

    auto* pie = new QFormLayout;
    pie->addRow(Db().Translate("Fondo que se deja:"), txtFondo_MN);
    pie->addRow(Db().Translate("Nota:"), txtNota);
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    for (QPushButton* b : {InformeX_BT, CerrarCaja_BT, salir})
        botones->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cboCaja_SN);
    layout->addWidget(lblPeriodo);
    layout->addLayout(m_filas);
    layout->addLayout(pie);
    layout->addLayout(botones);

    connect(cboCaja_SN, &QComboBox::currentIndexChanged, this, &CajaDialogo::Cargar);
    connect(InformeX_BT, &QPushButton::clicked, this, &CajaDialogo::InformeX);
    connect(CerrarCaja_BT, &QPushButton::clicked, this, [this] {
        if (CerrarCaja())
            accept();
    });
    connect(salir, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(520);
    Cargar();
}

qint32 CajaDialogo::Caja() const {
    return cboCaja_SN->currentData().toInt();
}

void CajaDialogo::Cargar() {
    while (QLayoutItem* item = m_filas->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_contado.clear();
    m_diferencia.clear();
    m_estado = CierreCaja::EstadoCaja(Caja());
    lblPeriodo->setText(QStringLiteral("Desde %1 %2 · fondo %3 · %4 apuntes")
                            .arg(Utility::instance().FormatDate(2, m_estado.dDesde).toString(),
                                 m_estado.sHoraDesde, m_estado.fondo.Euros())
                            .arg(m_estado.apuntes));
    const QStringList titulos = {"Forma de pago", "Esperado", "Contado", "Diferencia"};
    for (int c = 0; c < titulos.size(); ++c)
        m_filas->addWidget(new QLabel("<b>" + Db().Translate(titulos[c]) + "</b>", this), 0, c);
    const qint32 efectivo = CierreCaja::TipoEfectivo();
    for (int k = 0; k < m_estado.metodos.size(); ++k) {
        const CierreCaja::Metodo& m = m_estado.metodos[k];
        auto* contado = new QLineEdit(this);
        contado->setObjectName("txtContado_" + QString::number(m.nIdTipoCobro));
        auto* diferencia = new QLabel(this);
        diferencia->setObjectName("lblDiferencia_" + QString::number(m.nIdTipoCobro));
        m_filas->addWidget(new QLabel(m.sTipoCobro, this), k + 1, 0);
        m_filas->addWidget(new QLabel(m.esperado.Euros(), this), k + 1, 1);
        m_filas->addWidget(contado, k + 1, 2);
        m_filas->addWidget(diferencia, k + 1, 3);
        m_contado << contado;
        m_diferencia << diferencia;
        connect(contado, &QLineEdit::textChanged, this, &CajaDialogo::Diferencias);
        if (m.nIdTipoCobro == efectivo) {
            auto* desglose = new QPushButton(Db().Translate("&Desglose..."), this);
            desglose->setObjectName("Desglose_BT");
            desglose->setToolTip(Db().Translate("Contar el efectivo por billetes y monedas"));
            m_filas->addWidget(desglose, k + 1, 4);
            connect(desglose, &QPushButton::clicked, this, [this, contado] {
                DesgloseEfectivo dialogo(this);
                Ui::current().ShowModal(dialogo);
                if (dialogo.result() == QDialog::Accepted)
                    contado->setText(dialogo.Total().Shown());
            });
        }
    }
    txtFondo_MN->setText(m_estado.fondo.Shown());
    Diferencias();
}

// Shown as typed; a text that does not read yet shows nothing rather than a wrong figure.
void CajaDialogo::Diferencias() {
    for (int k = 0; k < m_contado.size(); ++k) {
        const TypedNumber::Reading leido =
            TypedNumber::Read(m_contado[k]->text(), TypedNumber::Kind::Amount, {});
        QLabel* label = m_diferencia[k];
        if (!leido.Ok() || m_contado[k]->text().trimmed().isEmpty()) {
            label->clear();
            continue;
        }
        const Money diferencia = Money::FromDouble(leido.value) - m_estado.metodos[k].esperado;
        label->setText(diferencia.Euros());
        label->setStyleSheet(diferencia < Money()   ? "color: #B00020;"
                             : diferencia > Money() ? "color: #1F5FBF;"
                                                    : QString());
    }
}

std::optional<CierreCaja::Recuento> CajaDialogo::Recuento() const {
    CierreCaja::Recuento r;
    r.ultimoVisto = m_estado.nIdUltimoCierre;
    r.sNota = txtNota->text();
    try {
        for (int k = 0; k < m_contado.size(); ++k)
            if (!m_contado[k]->text().trimmed().isEmpty())
                r.contado.append({m_estado.metodos[k].sTipoCobro,
                                  CierreCaja::LeerImporte(m_contado[k]->text(),
                                                          m_estado.metodos[k].sTipoCobro)});
        r.fondoDejado = CierreCaja::LeerImporte(txtFondo_MN->text(), "El fondo");
    } catch (const CierreCaja::Rechazo& e) {
        ShowMessage(MessageKind::Notice, e.Description());
        return std::nullopt;
    }
    return r;
}

void CajaDialogo::InformeX() {
    ReportJob job = InformeCaja::InformeX(CierreCaja::EstadoCaja(Caja()), Gi.nIdSucursal,
                                          QDateTime::currentDateTime(), false);
    InformeCaja::DefinicionEnCarpeta();
    Viewer viewer(this);
    viewer.ShowXml(job);
}

bool CajaDialogo::CerrarCaja() {
    if (const QString no = CierreCaja::ComprobarPermiso(Gi.nIdUsuario, Caja()); !no.isEmpty()) {
        ShowMessage(MessageKind::Notice, no);
        return false;
    }
    const std::optional<CierreCaja::Recuento> r = Recuento();
    if (!r || !ConfirmDefaultNo(QStringLiteral("¿Cerrar la caja %1? El cierre no se puede "
                                               "modificar después.")
                                    .arg(cboCaja_SN->currentText())))
        return false;
    try {
        const CierreCaja::Cierre z =
            CierreCaja::Cerrar(Caja(), Gi.nIdUsuario, *r, QDateTime::currentDateTime());
        ReportJob job = InformeCaja::InformeZ(z, false);
        InformeCaja::DefinicionEnCarpeta();
        Viewer viewer(this);
        viewer.ShowXml(job);
        return true;
    } catch (const CierreCaja::Rechazo& e) {
        ShowMessage(MessageKind::Notice, e.Description());
        // Closed meanwhile at another desk: the new period is what the user must see now.
        Cargar();
        return false;
    }
}
