// The viewer's e-mail of an invoice without the suite's mail module: the dialog and its sending.

#include "reports/CorreoFactura.h"

#include "facturae/FacturaeArchivo.h"
#include "mail/ColaCorreo.h"
#include "platform/data/DataAccess.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/TvError.h"
#include "session/Gi.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

template <class Widget> Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

CorreoFactura::CorreoFactura(qint32 nIdFactura, QByteArray pdf, QWidget* parent)
    : QDialog(parent), m_nIdFactura(nIdFactura), m_pdf(std::move(pdf)) {
    setObjectName("CorreoFactura");
    setWindowTitle("Enviar la factura por correo electrónico");
    const ColaCorreo::Envio envio = ColaCorreo::DeFactura(nIdFactura);
    m_nIdSucursal = envio.nIdSucursal;
    m_nombre = ColaCorreo::NombreArchivo(
        Db().GetValue("Facturas", "nIdFactura=" + QString::number(nIdFactura), "sFactura", {})
            .toString(),
        "pdf");
    txtPara = Named(new QLineEdit(envio.para), "txtPara");
    txtPara->setPlaceholderText("direcciones separadas por \";\"");
    txtCc = Named(new QLineEdit, "txtCc");
    txtAsunto = Named(new QLineEdit(envio.asunto), "txtAsunto");
    txtCuerpo = Named(new QPlainTextEdit(envio.cuerpo), "txtCuerpo");
    lblAdjunto = Named(new QLabel(m_nombre), "lblAdjunto");
    auto* form = new QFormLayout;
    form->addRow("Para:", txtPara);
    form->addRow("CC:", txtCc);
    form->addRow("Asunto:", txtAsunto);
    form->addRow("Adjunto:", lblAdjunto);
    chkFacturae = Named(new QCheckBox("Adjuntar también la factura electrónica firmada "
                                      "(Facturae, .xsig)"),
                        "chkFacturae");
    form->addRow(QString(), chkFacturae);
    auto* buttons = new QDialogButtonBox;
    cmdEnviar = Named(buttons->addButton("&Enviar", QDialogButtonBox::AcceptRole), "cmdEnviar");
    cmdCancelar =
        Named(buttons->addButton("&Cancelar", QDialogButtonBox::RejectRole), "cmdCancelar");
    connect(cmdEnviar, &QPushButton::clicked, this, &CorreoFactura::cmdEnviar_Click);
    connect(cmdCancelar, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(txtCuerpo);
    layout->addWidget(buttons);
    resize(560, 420);
}

void CorreoFactura::cmdEnviar_Click() {
    ColaCorreo::Envio envio;
    envio.nIdFactura = m_nIdFactura;
    envio.nIdSucursal = m_nIdSucursal;
    envio.para = txtPara->text();
    envio.cc = txtCc->text();
    envio.asunto = txtAsunto->text();
    envio.cuerpo = txtCuerpo->toPlainText();
    envio.adjuntos.push_back({m_nombre, "application/pdf", m_pdf});
    qint32 id = 0;
    try {
        if (chkFacturae->isChecked())
            envio.adjuntos.push_back(AdjuntoFacturae(m_nIdFactura, Gi.sPathIni));
        id = ColaCorreo::Encolar(envio);
    } catch (const TvError& e) {
        Ui::current().Message("Correo electrónico", e.Description(), Ui::Icon::Exclamation);
        txtPara->setFocus();
        return;
    }
    const ColaCorreo::Estado estado = ColaCorreo::Enviar(id);
    if (estado.estado == QLatin1String("aceptado"))
        Ui::current().Message("Correo electrónico", "Factura enviada a " + estado.para + ".",
                              Ui::Icon::Information);
    else
        Ui::current().Message("Correo electrónico",
                              "No se ha podido enviar ahora: " + estado.error +
                                  "\n\nEl correo queda en cola y se reintentará solo.",
                              Ui::Icon::Exclamation);
    accept();
}

Mensaje::Adjunto CorreoFactura::AdjuntoFacturae(qint32 nIdFactura, const QString& ini) {
    const FacturaeArchivo::Certificado firma = FacturaeArchivo::DelIni(ini);
    if (firma.p12.isEmpty())
        throw TvError(ErrorNumber::InvalidCall,
                      "Para enviar la factura electrónica firmada, indique el certificado de la "
                      "clínica (Certificado y ClaveCertificado en la sección [VeriFactu] del "
                      "archivo de configuración).");
    QTemporaryDir folder;
    const QString path = folder.filePath("factura.xsig");
    FacturaeArchivo::Escribir(nIdFactura, path, firma);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::FileNotFound, "No se puede leer " + path);
    const QString numero =
        Db().GetValue("Facturas", "nIdFactura=" + QString::number(nIdFactura), "sFactura", {})
            .toString();
    return {ColaCorreo::NombreArchivo(numero, "xsig"), "application/xml", file.readAll()};
}
