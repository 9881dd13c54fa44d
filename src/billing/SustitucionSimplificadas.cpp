// The question that replaces a client's simplified invoices by one complete invoice.

#include "billing/SustitucionSimplificadas.h"

#include "invoicing/SustituirSimplificadas.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/ui/seam/Ui.h"
#include "platform/util/Utility.h"
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* Campo(QFormLayout& form, const char* name, const QString& label, const QString& text,
                 int maximo) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    edit->setMaxLength(maximo);
    form.addRow(label, edit);
    return edit;
}

} // namespace

SustitucionSimplificadas::SustitucionSimplificadas(qint32 nIdCliente, qint32 nIdFacturaElegida,
                                                   QWidget* parent)
    : QDialog(parent), m_nIdCliente(nIdCliente) {
    setObjectName("SustitucionSimplificadas");
    Ayuda::Enlazar(*this, "historial.html#sustituir");
    setWindowTitle("Sustituir por factura completa");
    lsSimplificadas_TX = new QListWidget;
    lsSimplificadas_TX->setObjectName("lsSimplificadas_TX");
    const Rows f2 = Db().GetRows(
        "SELECT nIdFactura,sFactura,dFactura,nTotal-nDescuento FROM Facturas WHERE nIdCliente=" +
        QString::number(nIdCliente) + " AND sTipoFactura='F2' ORDER BY nIdFactura");
    for (int r = 0; r < f2.RowCount(); ++r) {
        const qint32 id = f2(0, r).toInt();
        if (!MotivoNoSustituible(id).isEmpty())
            continue;
        auto* item = new QListWidgetItem(f2(1, r).toString() + "  " +
                                         U().FormatDate(2, f2(2, r)).toString() + "  " +
                                         AmountText::Euros(U().SqlNumber(f2(3, r))));
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(id == nIdFacturaElegida ? Qt::Checked : Qt::Unchecked);
        lsSimplificadas_TX->addItem(item);
    }
    // A counter sale's customer is named only now: the counter customer's file names nobody.
    const Rows cliente = Db().GetRows("SELECT sCliente,sDni,sDomicilio FROM Clientes WHERE "
                                      "bMostrador=0 AND nIdCliente=" +
                                      QString::number(nIdCliente));
    auto* form = new QFormLayout;
    txtCliente_TX =
        Campo(*form, "txtCliente_TX", "Nombre", cliente(0, 0).toString(), MaxNombreCliente);
    txtDni_TX = Campo(*form, "txtDni_TX", "D.N.I./NIF", cliente(1, 0).toString(), MaxIdCliente);
    txtPais_TX = Campo(*form, "txtPais_TX", "País (documento extranjero)", {}, 2);
    txtTipoId_TX = Campo(*form, "txtTipoId_TX", "Tipo de documento (02 a 06)", {}, 2);
    txtDomicilio_TX =
        Campo(*form, "txtDomicilio_TX", "Domicilio", cliente(2, 0).toString(), MaxDomicilioCliente);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    Aceptar_BT = buttons->addButton("Aceptar", QDialogButtonBox::ActionRole);
    Aceptar_BT->setObjectName("Aceptar_BT");
    connect(Aceptar_BT, &QPushButton::clicked, this, &SustitucionSimplificadas::Aceptar_BT_Click);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lsSimplificadas_TX, 1);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void SustitucionSimplificadas::Aceptar_BT_Click() {
    SolicitudSustitucion s;
    s.nIdCliente = m_nIdCliente;
    QStringList numeros;
    for (int i = 0; i < lsSimplificadas_TX->count(); ++i)
        if (QListWidgetItem* item = lsSimplificadas_TX->item(i);
            item->checkState() == Qt::Checked) {
            s.facturas << item->data(Qt::UserRole).toInt();
            numeros << item->text().section(' ', 0, 0);
        }
    s.cliente = {txtCliente_TX->text(), txtDni_TX->text(), txtPais_TX->text(), txtTipoId_TX->text(),
                 txtDomicilio_TX->text()};
    s.nIdSucursal = Gi.nIdSucursal;
    s.nIdUsuario = Gi.nIdUsuario;
    s.dFactura = Gi.nFechaTrabajo;
    // What the customer typed is checked before the question, so that a Yes is not followed by
    // a refusal.
    if (const QString motivo = MotivoSinDestinatario(s.cliente); !motivo.isEmpty()) {
        ShowMessage(MessageKind::Notice, motivo);
        return;
    }
    if (!s.facturas.isEmpty() &&
        !ConfirmDefaultNo("Se emitirá una factura completa a nombre de " +
                          txtCliente_TX->text().trimmed() + " que sustituye a las facturas " +
                          "simplificadas " + numeros.join(", ") +
                          ". No se cobra ni se mueve nada más: el cobro ya se hizo.\n\n¿Emitirla?"))
        return;
    const Resultado<FacturaSustituta, PasoSustitucion> r = SustituirSimplificadas(s);
    if (!r.Hecho()) {
        ShowMessage(MessageKind::Notice, r.Rechazado().mensaje);
        return;
    }
    ShowMessage(MessageKind::Notice, "Emitida la factura completa " + r->sFactura + ".");
    accept();
}

bool SustitucionSimplificadas::Pedir(qint32 nIdFactura, QWidget* parent) {
    const qint32 nIdCliente = Utility::ToInt32(U().SqlNumber(
        Db().GetValue("Facturas", "nIdFactura=" + QString::number(nIdFactura), "nIdCliente")));
    SustitucionSimplificadas dialog(nIdCliente, nIdFactura, parent);
    if (dialog.lsSimplificadas_TX->count() == 0) {
        ShowMessage(MessageKind::Notice,
                    "El cliente no tiene facturas simplificadas que se puedan sustituir.");
        return false;
    }
    Ui::current().ShowModal(dialog);
    return dialog.result() == QDialog::Accepted;
}
