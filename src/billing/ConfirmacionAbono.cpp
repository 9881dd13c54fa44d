// The confirmation of a rectifying invoice: its lines, units, reason and the money given back.

#include "billing/ConfirmacionAbono.h"

#include "invoicing/core/DocumentAmounts.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/util/TypedNumber.h"
#include "session/Ayuda.h"
#include "session/G.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The decimals a number of units is written with, at most the four a quantity is typed with.
int Decimales(double unidades) {
    int decimales = 0;
    while (decimales < 4 && DocumentLine::Units(unidades * std::pow(10.0, decimales)) !=
                                std::round(unidades * std::pow(10.0, decimales)))
        ++decimales;
    return decimales;
}

} // namespace

ConfirmacionAbono::ConfirmacionAbono(
    const QString& sFactura, const QString& sCliente, const std::vector<LineaAbonable>& lineas,
    const QStringList& tiposCobro, const QString& sTipoCobro,
    std::function<ImportesRectificacion(const std::vector<LineaAbono>&)> importes, QWidget* parent)
    : QDialog(parent), m_sFactura(sFactura), m_sCliente(sCliente), m_importes(std::move(importes)),
      m_tipoCobro(sTipoCobro) {
    const DataAccess& db = DataAccess::instance();
    setObjectName("ConfirmacionAbono");
    Ayuda::Enlazar(*this, "historial.html#rectificar");
    setWindowTitle(db.Translate("Confirmación"));
    lblPregunta = new QLabel(this);
    lblPregunta->setObjectName("lblPregunta");
    lblPregunta->setWordWrap(true);

    CrearLineas(lineas);
    txtImporte = new QLineEdit(this);
    txtImporte->setObjectName("txtImporte");
    cboTipoCobro = new QComboBox(this);
    cboTipoCobro->setObjectName("cboTipoCobro");
    cboTipoCobro->addItems(tiposCobro);
    cboTipoCobro->setCurrentIndex(std::max(0, cboTipoCobro->findText(sTipoCobro)));
    QVBoxLayout* lineasDestino = CrearMotivo();
    Si_BT = new QPushButton(db.Translate("&Sí"), this);
    Si_BT->setObjectName("Si_BT");
    Si_BT->setAutoDefault(false);
    No_BT = new QPushButton(db.Translate("&No"), this);
    No_BT->setObjectName("No_BT");
    No_BT->setDefault(true);
    connect(Si_BT, &QPushButton::clicked, this, &ConfirmacionAbono::Si_BT_Click);
    connect(No_BT, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(db.Translate("Importe a devolver"), txtImporte);
    form->addRow(db.Translate("Forma de pago"), cboTipoCobro);
    form->addRow(db.Translate("Motivo"), cboMotivo);
    form->addRow(db.Translate("Texto del motivo"), txtMotivo);
    form->addRow(db.Translate("Las líneas"), lineasDestino);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Si_BT);
    buttons->addWidget(No_BT);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPregunta);
    layout->addWidget(grdLineas);
    layout->addLayout(form);
    layout->addLayout(buttons);
    Proponer();
    No_BT->setFocus();
}

void ConfirmacionAbono::CrearLineas(const std::vector<LineaAbonable>& lineas) {
    const DataAccess& db = DataAccess::instance();
    grdLineas = new QTableWidget(0, 3, this);
    grdLineas->setObjectName("grdLineas");
    grdLineas->setHorizontalHeaderLabels(
        {db.Translate("Línea"), db.Translate("Facturadas"), db.Translate("A rectificar")});
    grdLineas->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdLineas->verticalHeader()->hide();
    grdLineas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (const LineaAbonable& linea : lineas) {
        // A line rectified to its last unit has nothing left to offer.
        if (linea.nAbonables <= 0)
            continue;
        const int row = grdLineas->rowCount();
        grdLineas->insertRow(row);
        auto* nombre = new QTableWidgetItem(linea.sProductoServicio);
        nombre->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        nombre->setCheckState(Qt::Checked);
        grdLineas->setItem(row, 0, nombre);
        auto* facturadas = new QTableWidgetItem(AmountText::Plain(linea.nUnidades));
        facturadas->setFlags(Qt::ItemIsEnabled);
        facturadas->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grdLineas->setItem(row, 1, facturadas);
        // As many decimals as the line was sold with: 2,5 kg can be given back as 0,5; a whole
        // number of units stays whole.
        const int decimales = Decimales(linea.nAbonables);
        auto* unidades = new QDoubleSpinBox(grdLineas);
        unidades->setDecimals(decimales);
        unidades->setRange(std::min(1.0, std::pow(10.0, -decimales)), linea.nAbonables);
        unidades->setValue(linea.nAbonables);
        grdLineas->setCellWidget(row, 2, unidades);
        connect(unidades, &QDoubleSpinBox::valueChanged, this, &ConfirmacionAbono::Proponer);
        m_lineas.push_back(linea);
    }
    connect(grdLineas, &QTableWidget::itemChanged, this, &ConfirmacionAbono::Proponer);
}

QVBoxLayout* ConfirmacionAbono::CrearMotivo() {
    const DataAccess& db = DataAccess::instance();
    cboMotivo = new QComboBox(this);
    cboMotivo->setObjectName("cboMotivo");
    for (const auto& [codigo, texto] : MotivoRectificacion::Motivos())
        cboMotivo->addItem(codigo + " - " + db.Translate(texto), codigo);
    cboMotivo->setCurrentIndex(cboMotivo->findData(MotivoRectificacion{}.sMotivo));
    txtMotivo = new QLineEdit(this);
    txtMotivo->setObjectName("txtMotivo");
    txtMotivo->setMaxLength(MotivoRectificacion::MaxTexto);
    txtMotivo->setPlaceholderText(db.Translate("Opcional"));
    const char* const destinos[] = {
        "Vuelven a estar pendientes (se facturarán de nuevo con el precio o el cliente correctos)",
        "No se vuelven a facturar (mercancía devuelta o servicio no prestado)"};
    auto* lineasDestino = new QVBoxLayout;
    for (int index = 0; index < 2; ++index) {
        opLineas_TX[index] = new QRadioButton(db.Translate(destinos[index]), this);
        opLineas_TX[index]->setObjectName("opLineas_TX");
        opLineas_TX[index]->setProperty("index", index);
        lineasDestino->addWidget(opLineas_TX[index]);
        // Once the user has said it, a later change of reason leaves it as said.
        connect(opLineas_TX[index], &QRadioButton::clicked, this, [this] {
            m_destinoElegido = true;
            Preguntar();
        });
    }
    const auto seguirMotivo = [this] {
        if (!m_destinoElegido)
            opLineas_TX[MotivoRectificacion::LineasPendientes(Motivo().sMotivo) ? 0 : 1]
                ->setChecked(true);
        Preguntar();
    };
    seguirMotivo();
    connect(cboMotivo, &QComboBox::currentIndexChanged, this, seguirMotivo);
    return lineasDestino;
}

std::vector<LineaAbono> ConfirmacionAbono::Elegidas() const {
    std::vector<LineaAbono> elegidas;
    for (int row = 0; row < grdLineas->rowCount(); ++row)
        if (grdLineas->item(row, 0)->checkState() == Qt::Checked)
            elegidas.push_back(
                {m_lineas[size_t(row)].nIdFacturaItem,
                 DocumentLine::Units(
                     static_cast<QDoubleSpinBox*>(grdLineas->cellWidget(row, 2))->value())});
    return elegidas;
}

// What the lines chosen come to, proposed again whenever the choice changes.
void ConfirmacionAbono::Proponer() {
    const std::vector<LineaAbono> elegidas = Elegidas();
    const ImportesRectificacion importes =
        elegidas.empty() || !m_importes ? ImportesRectificacion{} : m_importes(elegidas);
    m_rectificado = importes.rectificado;
    m_importe = importes.devolucion;
    m_propuesto = m_importe.Shown();
    txtImporte->setText(m_propuesto);
    Preguntar();
}

void ConfirmacionAbono::Preguntar() {
    const DataAccess& db = DataAccess::instance();
    lblPregunta->setText(
        db.Translate("¿Emitir una factura rectificativa de la factura") + " " + m_sFactura + " " +
        db.Translate("de") + " " + m_sCliente + " " + db.Translate("por") + " " +
        // The amount and its "?" stay on one line however the question wraps.
        m_rectificado.Euros().replace(' ', QChar::Nbsp) + "?\n" +
        db.Translate(LineasPendientes()
                         ? "Sus líneas vuelven a estar pendientes del cliente, para facturarlas de "
                           "nuevo."
                         : "Sus líneas no se vuelven a facturar: la mercancía se devuelve o el "
                           "servicio no se presta."));
}

void ConfirmacionAbono::Si_BT_Click() {
    const DataAccess& db = DataAccess::instance();
    if (Elegidas().empty()) {
        ShowMessage(MessageKind::Notice,
                    db.Translate("No se ha elegido ninguna línea que rectificar."));
        grdLineas->setFocus();
        return;
    }
    const TypedNumber::Reading importe = TypedNumber::Read(
        txtImporte->text(), TypedNumber::Kind::Amount, db.Translate("Importe a devolver"));
    if (!importe.Ok()) {
        ShowMessage(MessageKind::Notice, importe.error);
        txtImporte->setFocus();
        return;
    }
    // Refused here rather than by the rectification itself, so the choice of lines is not lost.
    const Money maximo = m_importes ? m_importes(Elegidas()).devolucion : Money();
    if (m_importes && Money::FromDouble(importe.value) > maximo) {
        ShowMessage(MessageKind::Notice, db.Translate("El importe a devolver no puede superar") +
                                             " " + maximo.Euros() + ".");
        txtImporte->setFocus();
        return;
    }
    m_importe = Money::FromDouble(importe.value);
    accept();
}

MotivoRectificacion ConfirmacionAbono::Motivo() const {
    return {cboMotivo->currentData().toString(), txtMotivo->text().trimmed()};
}

std::vector<LineaAbono> ConfirmacionAbono::Lineas() const {
    std::vector<LineaAbono> elegidas = Elegidas();
    bool todas = elegidas.size() == m_lineas.size();
    for (size_t k = 0; todas && k < elegidas.size(); ++k)
        todas = elegidas[k].nUnidades == m_lineas[k].nAbonables;
    return todas ? std::vector<LineaAbono>{} : elegidas;
}

std::optional<Money> ConfirmacionAbono::Importe() const {
    if (txtImporte->text() == m_propuesto)
        return std::nullopt;
    return m_importe;
}

bool ConfirmacionAbono::LineasPendientes() const {
    return opLineas_TX[0] && opLineas_TX[0]->isChecked();
}

QString ConfirmacionAbono::TipoCobro() const {
    return cboTipoCobro->currentText() == m_tipoCobro ? QString() : cboTipoCobro->currentText();
}
