#include "billing/FacturaHist.h"

#include "billing/FacturaElectronica.h"
#include "billing/Facturacion.h"
#include "billing/SustitucionSimplificadas.h"
#include "invoicing/EmitirAbono.h"
#include "platform/data/DataAccess.h"
#include "platform/data/Recordset.h"
#include "platform/report/AmountText.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/util/Utility.h"
#include "reports/Informes.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

QString FacturaHist::Entry(const QString& date, const QString& number, const QString& amount) {
    // Date, number and amount due in columns of 10, 10 and 14 characters.
    return date.leftJustified(10) + U().FitText(10, " " + number, true) + amount.rightJustified(14);
}

QString FacturaHist::Mailed(const QString& lastSent) {
    if (lastSent.isEmpty())
        return {};
    // "2026-12-07T23:44:05Z ana@x.es;luis@y.es": when the server took it (UTC) and to whom.
    const QDateTime when =
        QDateTime::fromString(lastSent.section(' ', 0, 0), Qt::ISODate).toLocalTime();
    return "  enviada por correo el " + when.toString("dd/MM/yyyy HH:mm") + " a " +
           lastSent.section(' ', 1).replace(';', ", ");
}

FacturaHist::FacturaHist(Facturacion& billing) : QDialog(&billing), m_billing(billing) {
    setObjectName("FacturaHist");
    BuildControls();
    Form_Load();
}

void FacturaHist::BuildControls() {
    DataAccess& db = Db();
    frm = new Frm(this, db.Translate("Historial de facturas"));
    const QList<QWidget*> layoutButtons = Informes::AddLayoutButtons(*frm);
    frm->AddButton("FacturaElectronica_BT", db.Translate("Factura electrónica…"));
    frm->AddButton("Anular_BT", db.Translate("Anular…"));
    frm->AddButton("Sustituir_BT", db.Translate("Sustituir por factura completa…"));

    lsFras_TX = new QListWidget;
    lsFras_TX->setObjectName("lsFras_TX");
    // Fixed pitch, so that dates, numbers and amounts stand in columns.
    QFont mono(QStringLiteral("Liberation Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    lsFras_TX->setFont(mono);
    lblCabecera_TX =
        new QLabel(Entry(db.Translate("Fecha"), db.Translate("Número"), db.Translate("Importe")));
    lblCabecera_TX->setObjectName("lblCabecera_TX");
    lblCabecera_TX->setFont(mono);
    // In line with the entries' text, which starts after the list's frame and the item's margin.
    lblCabecera_TX->setContentsMargins(lsFras_TX->frameWidth() + 3, 0, 0, 0);
    QFont bold = lblCabecera_TX->font();
    bold.setBold(true);
    lblCabecera_TX->setFont(bold);
    lsFras_TX->setMinimumSize(340, 240);
    lsFras_TX->setUniformItemSizes(true);
    lsFras_TX->installEventFilter(this);
    const char* const options[] = {"Volver a imprimir", "Emitir nota de crédito"};
    auto* choice = new QHBoxLayout;
    for (int index = 0; index < 2; ++index) {
        opEmision_TX[index] = new QRadioButton(db.Translate(options[index]));
        opEmision_TX[index]->setObjectName("opEmision_TX");
        opEmision_TX[index]->setProperty("index", index);
        connect(opEmision_TX[index], &QRadioButton::toggled, this, [this, index](bool on) {
            if (on)
                opEmision_TX_Click(index);
        });
        choice->addWidget(opEmision_TX[index]);
    }
    choice->addStretch(1);

    auto* layout = new QVBoxLayout(frm->Content());
    layout->addWidget(lblCabecera_TX);
    layout->addWidget(lsFras_TX, 1);
    layout->addLayout(choice);

    // The list first, then the action, then the layout that carries it out.
    QWidget* previous = lsFras_TX;
    for (QWidget* next :
         {static_cast<QWidget*>(opEmision_TX[0]), static_cast<QWidget*>(opEmision_TX[1]),
          frm->findChild<QWidget*>("FormatoNormal_BT"),
          frm->findChild<QWidget*>("FormatoDetallado_BT"),
          frm->findChild<QWidget*>("FormatoTicket_BT"),
          frm->findChild<QWidget*>("FacturaElectronica_BT"), frm->findChild<QWidget*>("Anular_BT"),
          frm->findChild<QWidget*>("Sustituir_BT")}) {
        setTabOrder(previous, next);
        previous = next;
    }
    lsFras_TX->setFocus();

    connect(lsFras_TX, &QListWidget::itemDoubleClicked, this,
            [this] { Frm_evtButtonPressed("FormatoDetallado_BT"); });
    connect(frm, &Frm::evtButtonPressed, this, &FacturaHist::Frm_evtButtonPressed);
    connect(frm, &Frm::evtClose, frm, &Frm::Close);
}

void FacturaHist::Form_Load() {
    Trap("HistoricoFras::Form_Load", [&] {
        frm->SetReturnIsTab(Gi.ReturnIsTab);
        const qint32 nIdCliente = Utility::ToInt32(U().SqlNumber(Db().GetValue(
            "Clientes", "sCliente=" + U().SqlValue(m_billing.cboCliente_SN->currentText(), 0, true),
            "nIdCliente")));
        // In the order they were issued: a server lists a table's rows in no fixed order.
        Recordset rs;
        // The sum of an invoice's rectifications comes with it: most have none, and only those
        // that have are looked at line by line.
        Db().OpenRecordset(
            QString("SELECT nIdFactura,sFactura,dFactura,dFacturaAbonada,nTotal,"
                    "nDescuento,(SELECT SUM(c.nTotal-c.nDescuento) FROM Facturas c JOIN Abonos a "
                    "ON a.nIdFactura=c.nIdFactura WHERE a.nIdFacturaAbonada=Facturas.nIdFactura) "
                    "AS nRectificado,(SELECT COUNT(*) FROM FacturasAnuladas x WHERE "
                    "x.nIdFactura=Facturas.nIdFactura) AS nAnulada,(SELECT MAX(m.sEnviado || ' ' "
                    "|| m.sPara) FROM CorreosSalientes m WHERE m.nIdFactura=Facturas.nIdFactura "
                    "AND m.sEstado='aceptado') AS sCorreo ") +
                " FROM Facturas " + " WHERE nIdCliente=" + QString::number(nIdCliente) +
                " AND (dFacturaAbonada=0 OR ISNULL(dFacturaAbonada))" + " ORDER BY nIdFactura",
            rs);
        for (; !rs.Eof(); rs.MoveNext()) {
            const QString sFactura = rs.Fields("sFactura").Value.toString();
            const QVariant rectificado = rs.Fields("nRectificado").Value;
            // An invoice rectified to its last unit is cancelled already; one rectified in part
            // shows what is left of it.
            if (!rectificado.isNull() &&
                !MotivoNoAbonable(rs.Fields("nIdFactura").Value.toInt()).isEmpty())
                continue;
            const double amount = U().SqlNumber(rs.Fields("nTotal").Value) -
                                  U().SqlNumber(rs.Fields("nDescuento").Value) +
                                  U().SqlNumber(rectificado);
            // A cancelled invoice stays listed, to be reprinted as such.
            const bool anulada = U().SqlNumber(rs.Fields("nAnulada").Value) != 0;
            auto* item = new QListWidgetItem(
                Entry(U().FormatDate(2, rs.Fields("dFactura").Value).toString(), sFactura,
                      anulada ? Db().Translate("ANULADA") : AmountText::Euros(amount)) +
                Mailed(rs.Fields("sCorreo").Value.toString()));
            item->setData(Qt::UserRole, rs.Fields("nIdFactura").Value);
            lsFras_TX->addItem(item);
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
        // The newest invoice is highlighted, so a layout button acts at once on the one a
        // customer most often asks for again.
        if (lsFras_TX->count() > 0)
            lsFras_TX->setCurrentRow(lsFras_TX->count() - 1);
        opEmision_TX[0]->setChecked(true);
    });
}

void FacturaHist::opEmision_TX_Click(int index) {
    m_billing.nEmitir = index == 0 ? 1 : 2;
}

void FacturaHist::Frm_evtButtonPressed(const QString& sName) {
    Trap("HistoricoFras::Frm_evtButtonPressed", [&] {
        const QList<QListWidgetItem*> selected = lsFras_TX->selectedItems();
        if (selected.isEmpty())
            return;
        const qint32 nIdFactura = selected.first()->data(Qt::UserRole).toInt();
        // The e-invoice is written on the spot and the window stays open for the next choice.
        if (sName == "FacturaElectronica_BT") {
            FacturaElectronica::Pedir(nIdFactura);
            return;
        }
        // The list no longer says what the replaced invoices are: it closes once one is issued.
        if (sName == "Sustituir_BT") {
            if (SustitucionSimplificadas::Pedir(nIdFactura, this))
                frm->Close();
            return;
        }
        m_billing.nIdFactura_Historico = nIdFactura;
        if (sName == "Anular_BT")
            m_billing.nEmitir = 3;
        if (const quint8 layout = Informes::LayoutOfButton(sName))
            m_billing.nFormatoFactura = layout;
        frm->Close();
    });
}

bool FacturaHist::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lsFras_TX && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Frm_evtButtonPressed("FormatoDetallado_BT");
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
