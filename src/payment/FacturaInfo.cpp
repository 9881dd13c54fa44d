// The payment dialog: the customer's texts, the document they give, discount and payments.

#include "payment/FacturaInfo.h"

#include "caja/CierreCaja.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/report/AmountText.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/Utility.h"
#include "reports/Informes.h"
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

namespace {

// The value typed in a number field, or nothing while its text does not read (the frame tells
// the user why).
std::optional<double> Typed(const QLineEdit* field) {
    double value = 0;
    if (!Frm::NumberValue(field, value))
        return std::nullopt;
    return value;
}
// An amount typed: the field's kind admits two decimals at most, so it is whole cents.
std::optional<Money> TypedAmount(const QLineEdit* field) {
    const std::optional<double> value = Typed(field);
    if (!value)
        return std::nullopt;
    return Money::FromDouble(*value);
}
Money AmountOr0(const QLineEdit* field) {
    return TypedAmount(field).value_or(Money());
}

// Typed text is kept as typed (no validator swallowing keys): "1e308" must be refused as a whole
// rather than read as 1308.
QLineEdit* NumberField(Frm& frame, const QString& name, const QString& accessibleName,
                       TypedNumber::Kind kind) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setMaximumWidth(120);
    frame.AddNumberField(field, kind);
    return field;
}

QLabel* Caption(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(Db().Translate(text));
    label->setBuddy(buddy);
    return label;
}

QLineEdit* TextField(const QString& name, const QString& tip) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setToolTip(tip);
    field->setAccessibleName(tip);
    return field;
}

// A focus change that a person made: not the window coming back or a list popping up.
bool ByTheUser(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason &&
           event->reason() != Qt::PopupFocusReason;
}

} // namespace

FacturaInfo::FacturaInfo(const QString& clientId, const QString& clientName,
                         quint8& nFormatoFactura, QWidget* parent)
    : QDialog(parent), m_nFormatoFactura(nFormatoFactura) {
    setObjectName("FacturaInfo");
    Ayuda::Enlazar(*this, "cobro.html");
    BuildControls();
    Form_Load(clientId, clientName);
}

void FacturaInfo::BuildControls() {
    DataAccess& db = Db();
    frm = new Frm(this, db.Translate(" Información en la Factura"));
    const QList<QWidget*> layoutButtons = Informes::AddLayoutButtons(*frm);

    TabGral = new QTabWidget;
    TabGral->setObjectName("TabGral");
    fr1 = new QFrame;
    fr1->setObjectName("fr1");
    fr2 = new QFrame;
    fr2->setObjectName("fr2");
    TabGral->addTab(fr1, db.Translate("Cobro"));
    TabGral->addTab(fr2, db.Translate("Datos del cliente"));
    // In the window before any tab order is set: Qt orders only widgets of one window, and the
    // layout buttons already are in it.
    auto* layout = new QVBoxLayout(frm->Content());
    layout->addWidget(TabGral);

    BuildPaymentTab(layoutButtons);
    BuildCustomerTab();

    connect(TabGral, &QTabWidget::currentChanged, this, &FacturaInfo::TabGral_Click);
    connect(frm, &Frm::evtButtonPressed, this, &FacturaInfo::Frm_evtButtonPressed);
    connect(frm, &Frm::evtActivate, this, &FacturaInfo::Form_Activate);
    connect(frm, &Frm::evtClose, this, &FacturaInfo::Cancelar);
}

// The total, the amount due and the discount's two fields; answers the font of the figures that
// stand out.
QFont FacturaInfo::BuildAmounts() {
    const DataAccess& db = Db();
    lblTotal_MN = new QLabel(AmountText::Number(0));
    lblTotal_MN->setObjectName("lblTotal_MN");
    lblTotal_MN->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont big = lblTotal_MN->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    lblTotal_MN->setFont(big);
    lblAPagar_MN = new QLabel("0.00");
    lblAPagar_MN->setObjectName("lblAPagar_MN");
    lblAPagar_MN->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblAPagar_MN->setFont(big);
    txtDescuento_MN =
        NumberField(*frm, "txtDescuento_MN", db.Translate("Descuento"), TypedNumber::Kind::Amount);
    txtPorcDto_PN = NumberField(*frm, "txtPorcDto_PN", db.Translate("Porcentaje de descuento"),
                                TypedNumber::Kind::Percentage);
    return big;
}

void FacturaInfo::BuildPaymentTab(const QList<QWidget*>& layoutButtons) {
    const DataAccess& db = Db();
    const QFont big = BuildAmounts();
    auto* payment = new QGridLayout(fr1);
    payment->setColumnStretch(4, 1);
    auto* totalCaption = new QLabel(db.Translate(" Total Factura"));
    totalCaption->setFont(big);
    payment->addWidget(totalCaption, 0, 0, 1, 2);
    payment->addWidget(lblTotal_MN, 0, 2, 1, 2);
    payment->addWidget(Caption(" Descuento", txtDescuento_MN), 1, 0);
    payment->addWidget(txtDescuento_MN, 1, 1);
    payment->addWidget(Caption("Porcentaje de descuento", txtPorcDto_PN), 1, 2);
    auto* percent = new QHBoxLayout;
    percent->addWidget(txtPorcDto_PN);
    percent->addWidget(new QLabel("%"));
    payment->addLayout(percent, 1, 3);
    auto* dueCaption = new QLabel(db.Translate(" Importe a pagar"));
    dueCaption->setFont(big);
    payment->addWidget(dueCaption, 2, 0, 1, 2);
    payment->addWidget(lblAPagar_MN, 2, 2, 1, 2);
    QWidget* previous = AddPaymentRows(*payment, big);
    // After the last payment and what was handed over come the layout buttons, then the
    // discount again.
    for (QWidget* next : layoutButtons) {
        setTabOrder(previous, next);
        previous = next;
    }
    setTabOrder(previous, txtDescuento_MN);
    txtDescuento_MN->installEventFilter(this);
    txtPorcDto_PN->installEventFilter(this);
    for (QLineEdit* field : {txtDescuento_MN, txtPorcDto_PN})
        connect(field, &QLineEdit::textEdited, this, [this, field] { m_edited = field; });
}

// The payment slots and what was handed over in cash, under the discount and in tab order after
// it; answers the last field of that order.
QWidget* FacturaInfo::AddPaymentRows(QGridLayout& payment, const QFont& big) {
    const DataAccess& db = Db();
    QWidget* previous = txtPorcDto_PN;
    setTabOrder(txtDescuento_MN, txtPorcDto_PN);
    for (int k = 0; k < CobroRecord::Slots; ++k) {
        cboTipo[k] = new QComboBox;
        cboTipo[k]->setObjectName(QString("cboTipo%1_SN").arg(k + 1));
        cboTipo[k]->setMinimumWidth(170);
        txtImp[k] = NumberField(*frm, QString("txtImp%1_MN").arg(k + 1),
                                db.Translate("Importe") + " " + QString::number(k + 1),
                                TypedNumber::Kind::Amount);
        connect(txtImp[k], &QLineEdit::textEdited, this, [this, k] { m_typed[k] = true; });
        payment.addWidget(Caption(" Tipo", cboTipo[k]), k + 3, 0);
        payment.addWidget(cboTipo[k], k + 3, 1);
        payment.addWidget(Caption(" Importe", txtImp[k]), k + 3, 2);
        payment.addWidget(txtImp[k], k + 3, 3);
        setTabOrder(previous, cboTipo[k]);
        setTabOrder(cboTipo[k], txtImp[k]);
        previous = txtImp[k];
        txtImp[k]->installEventFilter(this);
    }
    txtEntregado_MN = NumberField(*frm, "txtEntregado_MN", db.Translate("Entregado en efectivo"),
                                  TypedNumber::Kind::Amount);
    lblCambio_MN = new QLabel;
    lblCambio_MN->setObjectName("lblCambio_MN");
    lblCambio_MN->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCambio_MN->setFont(big);
    const int change = CobroRecord::Slots + 3;
    payment.addWidget(Caption(" &Entregado", txtEntregado_MN), change, 0);
    payment.addWidget(txtEntregado_MN, change, 1);
    payment.addWidget(new QLabel(db.Translate("Cambio")), change, 2);
    payment.addWidget(lblCambio_MN, change, 3);
    setTabOrder(previous, txtEntregado_MN);
    previous = txtEntregado_MN;
    connect(txtEntregado_MN, &QLineEdit::textChanged, this, &FacturaInfo::MostrarCambio);
    for (int k = 0; k < CobroRecord::Slots; ++k) {
        connect(txtImp[k], &QLineEdit::textChanged, this, &FacturaInfo::MostrarCambio);
        connect(cboTipo[k], &QComboBox::currentIndexChanged, this, &FacturaInfo::MostrarCambio);
    }
    return previous;
}

void FacturaInfo::BuildCustomerTab() {
    const DataAccess& db = Db();
    txtCliente_TX = TextField("txtCliente_TX", db.Translate("Nombre del cliente"));
    txtDomicilio_TX = TextField("txtDomicilio_TX", db.Translate("Domicilio de la persona"));
    txtDni_TX = TextField("txtDni_TX", db.Translate("Documento de identidad"));
    cboTipoId_SN = new QComboBox;
    cboTipoId_SN->setObjectName("cboTipoId_SN");
    cboTipoId_SN->setAccessibleName(db.Translate("Tipo de documento"));
    cboTipoId_SN->addItem(db.Translate("NIF español (DNI, NIE, CIF)"), QString());
    for (const auto& [code, name] :
         {std::pair{"02", "NIF-IVA de otro país de la UE"}, std::pair{"03", "Pasaporte"},
          std::pair{"04", "Documento oficial del país de residencia"},
          std::pair{"05", "Certificado de residencia"},
          std::pair{"06", "Otro documento probatorio"}})
        cboTipoId_SN->addItem(QLatin1String(code) + " " + db.Translate(name), QLatin1String(code));
    txtPais_TX = TextField("txtPais_TX", db.Translate("País del documento extranjero"));
    txtPais_TX->setMaxLength(2);
    txtPais_TX->setMaximumWidth(60);
    lblDocumento = new QLabel;
    lblDocumento->setObjectName("lblDocumento");
    lblDocumento->setWordWrap(true);
    auto* customer = new QFormLayout(fr2);
    // Alt+N, Alt+D and Alt+T belong to the layout buttons, which issue the invoice: the fields'
    // letters are others.
    customer->addRow(Caption(" N&ombre", txtCliente_TX), txtCliente_TX);
    customer->addRow(Caption(" Do&micilio", txtDomicilio_TX), txtDomicilio_TX);
    customer->addRow(Caption(" D.N.&I.", txtDni_TX), txtDni_TX);
    customer->addRow(Caption(" Tipo de doc&umento", cboTipoId_SN), cboTipoId_SN);
    customer->addRow(Caption(" &País", txtPais_TX), txtPais_TX);
    customer->addRow(lblDocumento);
    txtCliente_TX->setMinimumWidth(360);
    for (QLineEdit* field : {txtCliente_TX, txtDomicilio_TX, txtDni_TX, txtPais_TX})
        connect(field, &QLineEdit::textChanged, this, &FacturaInfo::MostrarDocumento);
    connect(cboTipoId_SN, &QComboBox::currentIndexChanged, this, &FacturaInfo::MostrarDocumento);
}

void FacturaInfo::Form_Load(const QString& clientId, const QString& clientName) {
    Trap("Cobro::Form_Load", [&] {
        frm->SetReturnIsTab(Gi.ReturnIsTab);
        LlenarCombosFormaCobro();
        m_nIdEfectivo = CierreCaja::TipoEfectivo();
        const QString id = QString::number(Utility::ToInt32(Utility::Val(clientId)));
        // The total the invoice of these lines will store.
        m_nTotal = PendingItems(id.toInt()).InvoiceAmounts(Money()).nTotal;
        m_nAPagar = m_nTotal;
        lblTotal_MN->setText(m_nTotal.Shown());
        lblAPagar_MN->setText(m_nAPagar.Shown());
        txtImp[0]->setText(m_nTotal.Plain());
        txtCliente_TX->setText(clientName);
        txtDomicilio_TX->setText(
            Db().GetValue("Clientes", "nIdCliente=" + id, "sDomicilio").toString());
        txtDni_TX->setText(Db().GetValue("Clientes", "nIdCliente=" + id, "sDni").toString());
        Db().PrepareForm(this, "clientes", "nIdCliente=" + id);
        m_bMostrador =
            U().SqlNumber(Db().GetValue("Clientes", "nIdCliente=" + id, "bMostrador")) != 0;
        txtDni_TX->setEnabled(!m_bMostrador);
        cboTipoId_SN->setEnabled(!m_bMostrador);
        txtPais_TX->setEnabled(!m_bMostrador);
        MostrarDocumento();
    });
}

void FacturaInfo::LlenarCombosFormaCobro() {
    Trap("Cobro::LlenarCombosFormaCobro", [&] {
        // In the order the clinic created them: the first, selected by default, is its usual one.
        Recordset rs;
        if (Db().OpenRecordset(
                "SELECT nIdTipoCobro,sTipoCobro FROM TipoCobro ORDER BY nIdTipoCobro", rs)) {
            for (; !rs.Eof(); rs.MoveNext())
                for (QComboBox* list : cboTipo)
                    list->addItem(rs.Fields("sTipoCobro").Value.toString(),
                                  rs.Fields("nIdTipoCobro").Value);
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
        // A payment has no type until one is chosen.
        for (QComboBox* list : cboTipo)
            list->setCurrentIndex(-1);
    });
}

void FacturaInfo::Form_Activate() {
    Trap("Cobro::Form_Activate", [&] {
        if (frm->ActivationCount() != 1)
            return;
        cboTipo[0]->setCurrentIndex(cboTipo[0]->count() > 0 ? 0 : -1);
        TabGral_Click(TabGral->currentIndex());
    });
}

void FacturaInfo::TabGral_Click(int index) {
    Trap("Cobro::TabGral_Click", [&] {
        if (index != 0 && index != 1)
            return;
        fr1->setEnabled(index == 0);
        fr2->setEnabled(index == 1);
        QLineEdit* first = index == 0 ? txtImp[0] : txtCliente_TX;
        frm->SetFocusTo(first);
        // What the user types first replaces the proposed text rather than joining it.
        first->selectAll();
    });
}

void FacturaInfo::txtDescuento_MN_LostFocus() {
    Trap("Cobro::txtDescuento_MN_LostFocus", [&] {
        const std::optional<Money> discount = TypedAmount(txtDescuento_MN);
        if (!discount)
            return;
        if (*discount > m_nTotal) {
            // Said once the focus has settled, as for a text that is no amount.
            QTimer::singleShot(0, this, [this] { DescuentoValido(); });
            return;
        }
        // With nothing to invoice there is no percentage to speak of.
        txtPorcDto_PN->setText(AmountText::Editable(
            m_nTotal == Money() ? 0 : double(discount->Cents()) * 100 / double(m_nTotal.Cents())));
        AplicarDescuento(*discount);
    });
}

void FacturaInfo::txtPorcDto_PN_LostFocus() {
    Trap("Cobro::txtPorcDto_PN_LostFocus", [&] {
        const std::optional<double> percentage = Typed(txtPorcDto_PN);
        if (!percentage)
            return;
        const Money discount = m_nTotal.Percent(*percentage, Money::Rounding::HalfAwayFromZero);
        txtDescuento_MN->setText(discount.Plain());
        AplicarDescuento(discount);
    });
}

void FacturaInfo::AplicarDescuento(Money discount) {
    m_nAPagar = m_nTotal - discount;
    lblAPagar_MN->setText(m_nAPagar.Plain());
    MostrarDocumento();
    m_typed[0] = false;
    txtImp[0]->setText(Resto(0).Plain());
}

Money FacturaInfo::Resto(int slot) const {
    Money others;
    for (int k = 0; k < CobroRecord::Slots; ++k)
        if (k != slot)
            others += AmountOr0(txtImp[k]);
    // Payments already above the amount due leave nothing to propose, never a negative payment.
    return std::max(Money(), m_nAPagar - others);
}

void FacturaInfo::txtImp_MN_GotFocus(int slot) {
    Trap("Cobro::txtImp_MN_GotFocus", [&] {
        // What the user typed stays; only a proposal follows the other payments.
        if (!m_typed[slot]) {
            for (int k = 0; k < CobroRecord::Slots; ++k)
                if (k != slot && !Typed(txtImp[k]))
                    return;
            txtImp[slot]->setText(Resto(slot).Plain());
        }
        txtImp[slot]->selectAll();
    });
}

bool FacturaInfo::DescuentoValido() {
    if (AmountOr0(txtDescuento_MN) <= m_nTotal)
        return true;
    TabGral->setCurrentIndex(0);
    ShowMessage(MessageKind::Notice,
                Db().Translate("El descuento no puede ser mayor que el total de la factura."));
    frm->SetFocusTo(txtDescuento_MN);
    txtDescuento_MN->selectAll();
    return false;
}

bool FacturaInfo::DatosValidos() {
    // A field of the payments tab that does not read is shown there, whichever tab is open.
    for (QLineEdit* field :
         {txtDescuento_MN, txtPorcDto_PN, txtImp[0], txtImp[1], txtImp[2], txtImp[3]})
        if (!Typed(field))
            TabGral->setCurrentIndex(0);
    if (!DescuentoValido() || !frm->InputCheck(true))
        return false;
    // An amount without its type would be booked as money out: ask for the type instead.
    for (int k = 0; k < CobroRecord::Slots; ++k) {
        if (AmountOr0(txtImp[k]) != Money() && cboTipo[k]->currentIndex() < 0) {
            TabGral->setCurrentIndex(0);
            ShowMessage(MessageKind::Notice, Db().Translate("Elija el tipo de cobro del importe") +
                                                 " " + QString::number(k + 1) + ".");
            frm->SetFocusTo(cboTipo[k]);
            return false;
        }
    }
    // Discount already applied: recompute the amount due from the fields as they stand.
    m_nAPagar = m_nTotal - AmountOr0(txtDescuento_MN);
    if (!DocumentoValido() || !EntregadoValido())
        return false;
    Money cobrado;
    for (QLineEdit* field : txtImp)
        cobrado += AmountOr0(field);
    // Nobody's balance could hold what a walk-in customer leaves unpaid or pays over.
    if (m_bMostrador && cobrado != m_nAPagar) {
        TabGral->setCurrentIndex(0);
        ShowMessage(MessageKind::Notice,
                    Db().Translate("Una venta de mostrador se cobra entera: los cobros") + " (" +
                        cobrado.Shown() + ") " + Db().Translate("deben sumar el importe a pagar") +
                        " (" + m_nAPagar.Shown() + "). " +
                        Db().Translate("El cambio que se devuelve va en «Entregado»."));
        frm->SetFocusTo(txtImp[0]);
        return false;
    }
    if (cobrado > m_nAPagar &&
        !ConfirmDefaultNo(Db().Translate("Los cobros") + " (" + cobrado.Shown() + ") " +
                          Db().Translate("superan el importe a pagar") + " (" + m_nAPagar.Shown() +
                          "): " +
                          Db().Translate("lo que pasa se anota como saldo a favor del cliente. "
                                         "El cambio que se devuelve va en «Entregado», no en "
                                         "el cobro. ¿Continuar?"))) {
        TabGral->setCurrentIndex(0);
        frm->SetFocusTo(txtImp[0]);
        return false;
    }
    return true;
}

DocumentoVenta FacturaInfo::Documento() const {
    const IdCliente id{txtCliente_TX->text(), txtDni_TX->text(), txtPais_TX->text(),
                       cboTipoId_SN->currentData().toString(), txtDomicilio_TX->text()};
    const Money limite = LimiteSimplificada(GetBranchSetting("LimiteSimplificada"));
    return m_bMostrador ? ElegirDocumentoMostrador(id, m_nAPagar, limite)
                        : ElegirDocumento(id, m_nAPagar, limite);
}

void FacturaInfo::MostrarDocumento() {
    const DocumentoVenta documento = Documento();
    lblDocumento->setText(documento.Emitible()
                              ? Db().Translate("Se emitirá:") + " " +
                                    Db().Translate(NombreDocumento(documento.sTipoFactura))
                              : documento.motivo);
}

Money FacturaInfo::EnEfectivo() const {
    Money cash;
    for (int k = 0; k < CobroRecord::Slots; ++k)
        if (cboTipo[k]->currentIndex() >= 0 && cboTipo[k]->currentData().toInt() == m_nIdEfectivo)
            cash += AmountOr0(txtImp[k]);
    return cash;
}

void FacturaInfo::MostrarCambio() {
    const std::optional<Money> handed = TypedAmount(txtEntregado_MN);
    if (!handed || txtEntregado_MN->text().trimmed().isEmpty()) {
        lblCambio_MN->clear();
        return;
    }
    const Money change = *handed - EnEfectivo();
    lblCambio_MN->setText(change < Money() ? Db().Translate("Faltan") + " " + (-change).Plain()
                                           : change.Shown());
}

// What was handed over must cover the cash payment: the change is given back, never booked as
// the client's credit.
bool FacturaInfo::EntregadoValido() {
    const std::optional<Money> handed = TypedAmount(txtEntregado_MN);
    if (!handed || txtEntregado_MN->text().trimmed().isEmpty() || *handed >= EnEfectivo())
        return true;
    TabGral->setCurrentIndex(0);
    ShowMessage(MessageKind::Notice, Db().Translate("Lo entregado") + " (" + handed->Shown() +
                                         ") " + Db().Translate("no llega al cobro en efectivo") +
                                         " (" + EnEfectivo().Shown() + ").");
    frm->SetFocusTo(txtEntregado_MN);
    return false;
}

// A wrong id is refused where it was typed, with the field that holds it given the focus.
bool FacturaInfo::DocumentoValido() {
    const DocumentoVenta documento = Documento();
    if (documento.Emitible())
        return true;
    TabGral->setCurrentIndex(1);
    ShowMessage(MessageKind::Notice, documento.motivo);
    using Campo = DocumentoVenta::Campo;
    frm->SetFocusTo(documento.campo == Campo::Nombre      ? static_cast<QWidget*>(txtCliente_TX)
                    : documento.campo == Campo::Domicilio ? txtDomicilio_TX
                    : documento.campo == Campo::Pais      ? txtPais_TX
                    : documento.campo == Campo::TipoId    ? static_cast<QWidget*>(cboTipoId_SN)
                                                          : txtDni_TX);
    return false;
}

void FacturaInfo::Frm_evtButtonPressed(const QString& sName) {
    Trap("Cobro::Frm_evtButtonPressed", [&] {
        // Leaving the field being typed in applies its recomputation first; a value that is no
        // amount keeps the dialog open with the field named.
        if (!DatosValidos())
            return;
        m_cobro.sCliente = txtCliente_TX->text();
        m_cobro.sDomicilio = txtDomicilio_TX->text();
        m_cobro.sDni = txtDni_TX->text();
        m_cobro.sPais = txtPais_TX->text();
        m_cobro.sTipoId = cboTipoId_SN->currentData().toString();
        for (int k = 0; k < CobroRecord::Slots; ++k) {
            m_cobro.sTipoCobro[k] = cboTipo[k]->currentText();
            m_cobro.nImporte[k] = AmountOr0(txtImp[k]);
        }
        m_cobro.nDescuento = AmountOr0(txtDescuento_MN);
        if (const quint8 layout = Informes::LayoutOfButton(sName))
            m_nFormatoFactura = layout;
        frm->Close();
    });
}

void FacturaInfo::Cancelar() {
    m_nFormatoFactura = 0;
    frm->Close();
}

bool FacturaInfo::eventFilter(QObject* watched, QEvent* event) {
    const bool in = event->type() == QEvent::FocusIn;
    if ((in || event->type() == QEvent::FocusOut) && ByTheUser(static_cast<QFocusEvent*>(event))) {
        // Only a typed change recomputes: tabbing through the percentage must not turn a
        // discount of 8,32 into the cent-rounded amount of its rounded percentage.
        if (!in && watched == m_edited && watched == txtDescuento_MN)
            txtDescuento_MN_LostFocus();
        else if (!in && watched == m_edited && watched == txtPorcDto_PN)
            txtPorcDto_PN_LostFocus();
        if (!in && watched == m_edited)
            m_edited = nullptr;
        for (int k = 0; k < CobroRecord::Slots; ++k) {
            if (watched != txtImp[k])
                continue;
            if (in)
                txtImp_MN_GotFocus(k);
            else if (const std::optional<Money> typed = TypedAmount(txtImp[k]);
                     typed && !txtImp[k]->text().trimmed().isEmpty())
                txtImp[k]->setText(typed->Plain()); // "20" is read back as the desk sees money
        }
    }
    return QDialog::eventFilter(watched, event);
}
