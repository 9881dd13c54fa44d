#include "payment/FacturaInfo.h"

#include "payment/Cobro.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/report/AmountText.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/Utility.h"
#include "reports/Informes.h"
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
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Whole amounts up to ten digits with up to two decimals, "," or "." as the decimal point: what
// a front desk can mean; anything else is refused when the dialog is accepted.
const QRegularExpression AmountPattern(QStringLiteral("-?\\d{0,10}([.,]\\d{0,2})?"));
const QRegularExpression PercentPattern(QStringLiteral("-?\\d{0,3}([.,]\\d{0,2})?"));

double Amount(const QLineEdit* field) {
    return U().SqlNumber(field->text());
}
double Amount(const QLabel* label) {
    return U().SqlNumber(label->text());
}
// A proposal put into a field to be typed over: the decimal comma, no thousands point.
QString Shown(double value) {
    return AmountText::Editable(value);
}

QLineEdit* AmountField(const QString& name, const QString& accessibleName,
                       const QRegularExpression& pattern) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setAccessibleName(accessibleName);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setValidator(new QRegularExpressionValidator(pattern, field));
    field->setMaximumWidth(120);
    return field;
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

    lblTotal_MN = new QLabel(AmountText::Number(0));
    lblTotal_MN->setObjectName("lblTotal_MN");
    lblTotal_MN->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont big = lblTotal_MN->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    lblTotal_MN->setFont(big);
    txtDescuento_MN = AmountField("txtDescuento_MN", db.Translate("Descuento"), AmountPattern);
    txtPorcDto_PN =
        AmountField("txtPorcDto_PN", db.Translate("Porcentaje de descuento"), PercentPattern);

    auto* payment = new QGridLayout(fr1);
    payment->setColumnStretch(4, 1);
    auto* totalCaption = new QLabel(db.Translate(" Total Factura"));
    totalCaption->setFont(big);
    payment->addWidget(totalCaption, 0, 0, 1, 2);
    payment->addWidget(lblTotal_MN, 0, 2, 1, 2);
    auto caption = [&](const QString& text, QWidget* buddy) {
        auto* label = new QLabel(db.Translate(text));
        label->setBuddy(buddy);
        return label;
    };
    payment->addWidget(caption(" Descuento", txtDescuento_MN), 1, 0);
    payment->addWidget(txtDescuento_MN, 1, 1);
    payment->addWidget(caption("Porcentaje de descuento", txtPorcDto_PN), 1, 2);
    auto* percent = new QHBoxLayout;
    percent->addWidget(txtPorcDto_PN);
    percent->addWidget(new QLabel("%"));
    payment->addLayout(percent, 1, 3);
    QWidget* previous = txtPorcDto_PN;
    setTabOrder(txtDescuento_MN, txtPorcDto_PN);
    for (int k = 0; k < CobroRecord::Slots; ++k) {
        cboTipo[k] = new QComboBox;
        cboTipo[k]->setObjectName(QString("cboTipo%1_SN").arg(k + 1));
        cboTipo[k]->setMinimumWidth(170);
        txtImp[k] =
            AmountField(QString("txtImp%1_MN").arg(k + 1),
                        db.Translate("Importe") + " " + QString::number(k + 1), AmountPattern);
        payment->addWidget(caption(" Tipo", cboTipo[k]), k + 2, 0);
        payment->addWidget(cboTipo[k], k + 2, 1);
        payment->addWidget(caption(" Importe", txtImp[k]), k + 2, 2);
        payment->addWidget(txtImp[k], k + 2, 3);
        setTabOrder(previous, cboTipo[k]);
        setTabOrder(cboTipo[k], txtImp[k]);
        previous = txtImp[k];
        txtImp[k]->installEventFilter(this);
    }
    // After the last payment come the layout buttons, then the discount again.
    for (QWidget* next : layoutButtons) {
        setTabOrder(previous, next);
        previous = next;
    }
    setTabOrder(previous, txtDescuento_MN);
    txtDescuento_MN->installEventFilter(this);
    txtPorcDto_PN->installEventFilter(this);

    txtCliente_TX = TextField("txtCliente_TX", db.Translate("Nombre del cliente"));
    txtDomicilio_TX = TextField("txtDomicilio_TX", db.Translate("Domicilio de la persona"));
    txtDni_TX = TextField("txtDni_TX", db.Translate("Documento de identidad"));
    auto* customer = new QFormLayout(fr2);
    customer->addRow(caption(" &Nombre", txtCliente_TX), txtCliente_TX);
    customer->addRow(caption(" Domicilio", txtDomicilio_TX), txtDomicilio_TX);
    customer->addRow(caption(" &D.N.I.", txtDni_TX), txtDni_TX);
    txtCliente_TX->setMinimumWidth(360);

    auto* layout = new QVBoxLayout(frm->Content());
    layout->addWidget(TabGral);

    connect(TabGral, &QTabWidget::currentChanged, this, &FacturaInfo::TabGral_Click);
    connect(frm, &Frm::evtButtonPressed, this, &FacturaInfo::Frm_evtButtonPressed);
    connect(frm, &Frm::evtActivate, this, &FacturaInfo::Form_Activate);
    connect(frm, &Frm::evtClose, this, &FacturaInfo::Cancelar);
}

void FacturaInfo::Form_Load(const QString& clientId, const QString& clientName) {
    Trap("Cobro::Form_Load", [&] {
        frm->SetReturnIsTab(Gi.ReturnIsTab);
        LlenarCombosFormaCobro();
        const QString id = QString::number(Utility::ToInt32(Utility::Val(clientId)));
        const double total = U().SqlNumber(
            Db().SumField("FacturasItems", "nTotal",
                          "(nIdFactura=0 OR ISNULL(nIdFactura)) AND nIdCliente=" + id));
        lblTotal_MN->setText(AmountText::Number(total));
        txtImp[0]->setText(Shown(total));
        txtCliente_TX->setText(clientName);
        txtDomicilio_TX->setText(
            Db().GetValue("Clientes", "nIdCliente=" + id, "sDomicilio").toString());
        txtDni_TX->setText(Db().GetValue("Clientes", "nIdCliente=" + id, "sDni").toString());
        Db().PrepareForm(this, "clientes", "nIdCliente=" + id);
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
        const double total = Amount(lblTotal_MN);
        const double discount = Amount(txtDescuento_MN);
        txtImp[0]->setText(Shown(total - discount));
        // With nothing to invoice there is no percentage to speak of.
        txtPorcDto_PN->setText(Shown(total == 0 ? 0 : discount * 100 / total));
    });
}

void FacturaInfo::txtPorcDto_PN_LostFocus() {
    Trap("Cobro::txtPorcDto_PN_LostFocus", [&] {
        const double total = Amount(lblTotal_MN);
        txtDescuento_MN->setText(Shown(total * Amount(txtPorcDto_PN) / 100));
        txtImp[0]->setText(Shown(total - Amount(txtDescuento_MN)));
    });
}

void FacturaInfo::txtImp_MN_GotFocus(int slot) {
    Trap("Cobro::txtImp_MN_GotFocus", [&] {
        double others = 0;
        for (int k = 0; k < CobroRecord::Slots; ++k)
            if (k != slot)
                others += Amount(txtImp[k]);
        txtImp[slot]->setText(Shown(Amount(lblTotal_MN) - others));
        txtImp[slot]->selectAll();
    });
}

void FacturaInfo::Frm_evtButtonPressed(const QString& sName) {
    Trap("Cobro::Frm_evtButtonPressed", [&] {
        // Leaving the field being typed in applies its recomputation first; a value that is no
        // amount keeps the dialog open with the field named.
        if (!frm->InputCheck(true))
            return;
        // An amount without its type would be booked as money out: ask for the type instead.
        for (int k = 0; k < CobroRecord::Slots; ++k) {
            if (Amount(txtImp[k]) != 0 && cboTipo[k]->currentIndex() < 0) {
                ShowMessage(0, Db().Translate("Elija el tipo de cobro del importe") + " " +
                                   QString::number(k + 1) + ".");
                frm->SetFocusTo(cboTipo[k]);
                return;
            }
        }
        Cobro.sCliente = txtCliente_TX->text();
        Cobro.sDomicilio = txtDomicilio_TX->text();
        Cobro.sDni = txtDni_TX->text();
        for (int k = 0; k < CobroRecord::Slots; ++k) {
            Cobro.sTipoCobro[k] = cboTipo[k]->currentText();
            Cobro.nImporte[k] = Amount(txtImp[k]);
        }
        Cobro.nDescuento = Amount(txtDescuento_MN);
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
        if (!in && watched == txtDescuento_MN)
            txtDescuento_MN_LostFocus();
        else if (!in && watched == txtPorcDto_PN)
            txtPorcDto_PN_LostFocus();
        for (int k = 0; in && k < CobroRecord::Slots; ++k)
            if (watched == txtImp[k])
                txtImp_MN_GotFocus(k);
    }
    return QDialog::eventFilter(watched, event);
}
