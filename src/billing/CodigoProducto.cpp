// The window that adds a product to the client's pending items by its code.

#include "billing/CodigoProducto.h"

#include "billing/Facturacion.h"
#include "invoicing/Mostrador.h"
#include "invoicing/core/DocumentAmounts.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/data/Rows.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/ui/widgets/GridController.h"
#include "platform/util/Utility.h"
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

// A code as the desk may type it: no case, no accents, no blanks around it.
QString Plegado(const QString& code) {
    QString folded;
    for (const QChar c : code.trimmed().normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            folded += c;
    return folded.toCaseFolded();
}

} // namespace

CodigoProducto::CodigoProducto(Facturacion& billing) : QDialog(&billing), m_billing(billing) {
    setObjectName("CodigoProducto");
    Ayuda::Enlazar(*this, "facturacion.html#por-codigo");
    DataAccess& db = DataAccess::instance();
    setWindowTitle(db.Translate("Añadir por código"));
    frm = new Frm(this, db.Translate("Añadir por código"));
    frm->SetReturnIsTab(Gi.ReturnIsTab);
    // Enter in the quantity accepts once: the button must not take the same Enter as the
    // dialog's default and add the line a second time.
    frm->AddButton("Aceptar_BT", db.Translate("Aceptar"))->setAutoDefault(false);

    txtCodigo_TX = new QLineEdit;
    txtCodigo_TX->setObjectName("txtCodigo_TX");
    txtCantidad_NU = new QLineEdit;
    txtCantidad_NU->setObjectName("txtCantidad_NU");
    txtCantidad_NU->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtCantidad_NU->setMaximumWidth(90);
    txtCantidad_NU->setAccessibleName(db.Translate("Cantidad"));
    frm->AddNumberField(txtCantidad_NU, TypedNumber::Kind::Quantity);
    lblProducto = new QLabel;
    lblProducto->setObjectName("lblProducto");
    lblProducto->setMinimumWidth(280);

    auto* layout = new QFormLayout(frm->Content());
    layout->addRow(db.Translate("Código"), txtCodigo_TX);
    layout->addRow(QString(), lblProducto);
    layout->addRow(db.Translate("Cantidad"), txtCantidad_NU);

    connect(txtCodigo_TX, &QLineEdit::textChanged, this, [this] { txtCodigo_TX_Change(); });
    // Enter on the code goes to the quantity, Enter on the quantity adds the line, also where
    // Enter otherwise moves to the next field.
    connect(txtCodigo_TX, &QLineEdit::returnPressed, this, [this] {
        if (ProductoDelCodigo() != 0)
            frm->SetFocusTo(txtCantidad_NU);
    });
    connect(txtCodigo_TX, &QLineEdit::editingFinished, this, [this] { txtCodigo_TX_Dejado(); });
    frm->KeepEnter(txtCantidad_NU);
    connect(txtCantidad_NU, &QLineEdit::returnPressed, this,
            [this] { Frm_evtButtonPressed("Aceptar_BT"); });
    connect(frm, &Frm::evtButtonPressed, this, &CodigoProducto::Frm_evtButtonPressed);
    connect(frm, &Frm::evtClose, frm, &Frm::Close);
    Limpiar();
}

void CodigoProducto::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_codigosLeidos = false;
        Limpiar();
    }
}

void CodigoProducto::Limpiar() {
    Trap("CodigoProducto::Limpiar", [&] {
        lblProducto->clear();
        m_sIdCliente = m_sIdMascota = m_sIdProducto = m_sUnidades = "0";
        txtCodigo_TX->clear();
        txtCantidad_NU->setText("1");
        QCoreApplication::processEvents();
        frm->SetFocusTo(txtCodigo_TX);
    });
}

qint32 CodigoProducto::ProductoDelCodigo() const {
    DataAccess& db = DataAccess::instance();
    const QString typed = txtCodigo_TX->text().trimmed();
    if (typed.isEmpty())
        return 0;
    if (const qint32 id = db.GetValue("ProductosServicios",
                                      "sCodigo=" + Utility::instance().SqlValue(typed, 0, true) +
                                          " ORDER BY nIdProductoServicio",
                                      "nIdProductoServicio")
                              .toInt())
        return id;
    if (!m_codigosLeidos) {
        m_codigosPlegados.clear();
        const Rows codes = db.GetRows("SELECT nIdProductoServicio,sCodigo FROM ProductosServicios "
                                      "WHERE sCodigo<>'' ORDER BY nIdProductoServicio DESC");
        // Read newest first, so that where two codes fold alike the oldest product wins.
        for (int row = 0; row < codes.RowCount(); ++row)
            m_codigosPlegados.insert(Plegado(codes(1, row).toString()), codes(0, row).toInt());
        m_codigosLeidos = true;
    }
    return m_codigosPlegados.value(Plegado(typed), 0);
}

void CodigoProducto::txtCodigo_TX_Change() {
    const qint32 id = ProductoDelCodigo();
    lblProducto->setText(id == 0 ? QString()
                                 : DataAccess::instance()
                                       .GetValue("ProductosServicios",
                                                 "nIdProductoServicio=" + QString::number(id),
                                                 "sProductoServicio")
                                       .toString());
}

void CodigoProducto::txtCodigo_TX_Dejado() {
    // Leaving the dialog (Escape, closing it) is not leaving the code for another field.
    const QWidget* next = QApplication::focusWidget();
    if (txtCodigo_TX->text().trimmed().isEmpty() || ProductoDelCodigo() != 0 ||
        (next != nullptr && next != txtCodigo_TX && !isAncestorOf(next)) || !isVisible())
        return;
    ShowMessage(MessageKind::Notice, DataAccess::instance().Translate(
                                         "No existe ningún producto o servicio con el código") +
                                         " " + txtCodigo_TX->text().trimmed() + ".");
    frm->SetFocusTo(txtCodigo_TX);
    txtCodigo_TX->selectAll();
}

void CodigoProducto::Frm_evtButtonPressed(const QString& sName) {
    if (sName == "Aceptar_BT")
        Trap("CodigoProducto::Frm_evtButtonPressed", [&] { Aceptar(); });
}

void CodigoProducto::Aceptar() {
    DataAccess& db = DataAccess::instance();
    Utility& u = Utility::instance();
    Recordset rs;
    db.OpenRecordset("SELECT * FROM ProductosServicios WHERE nIdProductoServicio=" +
                         QString::number(ProductoDelCodigo()),
                     rs);
    if (rs.Eof()) {
        rs.Close();
        ShowMessage(MessageKind::Notice,
                    db.Translate("No existe ningún producto o servicio con el código") + " " +
                        txtCodigo_TX->text().trimmed() + ".");
        frm->SetFocusTo(txtCodigo_TX);
        txtCodigo_TX->selectAll();
        return;
    }
    double cantidad = 0;
    if (!frm->InputCheck(true) || !Frm::NumberValue(txtCantidad_NU, cantidad)) {
        rs.Close();
        return;
    }
    m_sIdCliente = m_billing.Dato(DatoPareja::IdCliente);
    m_sIdMascota = m_billing.Dato(DatoPareja::IdMascota);
    m_sIdProducto =
        Utility::NumberText(Utility::Val(rs.Fields("nIdProductoServicio").Value.toString()));
    if (const QString servicio = Mostrador::MotivoProducto("nIdProductoServicio=" + m_sIdProducto);
        m_billing.ClienteMostrador() != 0 && !servicio.isEmpty()) {
        rs.Close();
        ShowMessage(MessageKind::Notice, servicio);
        frm->SetFocusTo(txtCodigo_TX);
        txtCodigo_TX->selectAll();
        return;
    }
    m_sUnidades = Utility::NumberText(cantidad);
    const DocumentLine linea{cantidad, u.SqlNumber(rs.Fields(m_billing.CampoPvp()).Value),
                             u.SqlNumber(rs.Fields("nPorcIpto").Value)};
    rs.Close();
    const LinePricing precio = linea.Pricing();

    const qint32 id = db.InsertRecord(
        "FacturasItems",
        "nIdCliente,nIdMascota,nIdProductoServicio,nUnidades,nPvp,nBaseImp,nPorcIpto,nImpuestos,"
        "nTotal",
        m_sIdCliente + "," + m_sIdMascota + "," + m_sIdProducto + "," + m_sUnidades + "," +
            u.SqlValue(linea.nPvp, 2, true) + "," + precio.Base().Text() + "," +
            u.SqlValue(linea.nPorcIpto, 2, true) + "," + precio.Tax().Text() + "," +
            precio.Total().Text());
    if (id != 0) {
        Limpiar();
        m_billing.gd->Requery();
    }
}
