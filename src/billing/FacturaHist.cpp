// The client's history window: every document, its state, reprints, rectifications.

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
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <set>

QString FacturaHist::Entry(const QString& date, const QString& number, const QString& kind,
                           const QString& amount, const QString& state) {
    // Date, number, kind and amount due in columns of 10, 11, 14 and 12 characters; the state
    // after them, as long as it is.
    return date.leftJustified(10) + U().FitText(11, " " + number, true) + " " +
           kind.leftJustified(13) + amount.rightJustified(12) + "  " + state;
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
    Ayuda::Enlazar(*this, "historial.html");
    BuildControls();
    Form_Load();
}

void FacturaHist::BuildControls() {
    DataAccess& db = Db();
    frm = new Frm(this, db.Translate("Historial de facturas"));
    const QList<QWidget*> layoutButtons = Informes::AddLayoutButtons(*frm);
    // Short captions so that the row fits a dialog of two thirds of a 1366-pixel screen; the
    // tooltip keeps the whole name.
    frm->AddButton("FacturaElectronica_BT", db.Translate("Facturae…"))
        ->setToolTip(db.Translate("Factura electrónica…"));
    frm->AddButton("Anular_BT", db.Translate("Anular…"));
    frm->AddButton("Sustituir_BT", db.Translate("Sustituir…"))
        ->setToolTip(db.Translate("Sustituir por factura completa…"));

    auto* layout = new QVBoxLayout(frm->Content());
    layout->addLayout(BuildFilters());
    BuildList();
    layout->addWidget(lblCabecera_TX);
    layout->addWidget(lsFras_TX, 1);
    layout->addLayout(BuildChoice());
    OrderTabs();
    lsFras_TX->setFocus();

    connect(lsFras_TX, &QListWidget::itemDoubleClicked, this,
            [this] { Frm_evtButtonPressed("FormatoDetallado_BT"); });
    connect(frm, &Frm::evtButtonPressed, this, &FacturaHist::Frm_evtButtonPressed);
    connect(cboTipo_SN, &QComboBox::currentIndexChanged, this, &FacturaHist::Filtrar);
    connect(cboAnio_SN, &QComboBox::currentIndexChanged, this, &FacturaHist::Filtrar);
    connect(frm, &Frm::evtClose, frm, &Frm::Close);
}

QHBoxLayout* FacturaHist::BuildFilters() {
    const DataAccess& db = Db();
    cboTipo_SN = new QComboBox;
    cboTipo_SN->setObjectName("cboTipo_SN");
    for (const char* const kind :
         {"Todos", "Facturas", "Simplificadas", "Rectificativas", "Anuladas"})
        cboTipo_SN->addItem(db.Translate(kind));
    cboAnio_SN = new QComboBox;
    cboAnio_SN->setObjectName("cboAnio_SN");
    cboAnio_SN->addItem(db.Translate("Todos"), 0);
    auto* filters = new QHBoxLayout;
    auto* kindCaption = new QLabel(db.Translate("&Ver"));
    kindCaption->setBuddy(cboTipo_SN);
    auto* yearCaption = new QLabel(db.Translate("&Año"));
    yearCaption->setBuddy(cboAnio_SN);
    filters->addWidget(kindCaption);
    filters->addWidget(cboTipo_SN);
    filters->addWidget(yearCaption);
    filters->addWidget(cboAnio_SN);
    filters->addStretch(1);
    return filters;
}

void FacturaHist::BuildList() {
    const DataAccess& db = Db();
    lsFras_TX = new QListWidget;
    lsFras_TX->setObjectName("lsFras_TX");
    // Fixed pitch, so that dates, numbers and amounts stand in columns.
    QFont mono(QStringLiteral("Liberation Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    lsFras_TX->setFont(mono);
    lblCabecera_TX =
        new QLabel(Entry(db.Translate("Fecha"), db.Translate("Número"), db.Translate("Tipo"),
                         db.Translate("Importe"), db.Translate("Estado")));
    lblCabecera_TX->setObjectName("lblCabecera_TX");
    lblCabecera_TX->setFont(mono);
    // In line with the entries' text, which starts after the list's frame and the item's margin.
    lblCabecera_TX->setContentsMargins(lsFras_TX->frameWidth() + 3, 0, 0, 0);
    QFont bold = lblCabecera_TX->font();
    bold.setBold(true);
    lblCabecera_TX->setFont(bold);
    lsFras_TX->setMinimumSize(620, 240);
    lsFras_TX->setUniformItemSizes(true);
    lsFras_TX->installEventFilter(this);
}

QHBoxLayout* FacturaHist::BuildChoice() {
    const DataAccess& db = Db();
    const char* const options[] = {"Volver a imprimir", "Rectificar"};
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
    return choice;
}

// The filters, the list, then the action, then the layout that carries it out.
void FacturaHist::OrderTabs() {
    setTabOrder(cboTipo_SN, cboAnio_SN);
    setTabOrder(cboAnio_SN, lsFras_TX);
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
}

// Every document of the client, in the order they were issued: a server lists a table's rows in
// no fixed order.
QString FacturaHist::ConsultaHistorial(qint32 nIdCliente) {
    // The sum of an invoice's rectifications comes with it: most have none, and only those
    // that have are looked at line by line.
    return QString("SELECT nIdFactura,sFactura,dFactura,dFacturaAbonada,nTotal,"
                   "nDescuento,sTipoFactura,sFacturaAbonada,(SELECT MIN(r.sMotivo) FROM "
                   "FacturasRectificativas r WHERE r.nIdFactura=Facturas.nIdFactura) AS sMotivo,"
                   "(SELECT SUM(c.nTotal-c.nDescuento) FROM Facturas c JOIN Abonos a "
                   "ON a.nIdFactura=c.nIdFactura WHERE a.nIdFacturaAbonada=Facturas.nIdFactura) "
                   "AS nRectificado,(SELECT COUNT(*) FROM FacturasAnuladas x WHERE "
                   "x.nIdFactura=Facturas.nIdFactura) AS nAnulada,(SELECT MIN(f.sFactura) FROM "
                   "FacturasSustituidas s JOIN Facturas f ON f.nIdFactura=s.nIdFactura WHERE "
                   "s.nIdFacturaSimplificada=Facturas.nIdFactura) AS sSustituta,"
                   "(SELECT MAX(m.sEnviado || ' ' "
                   "|| m.sPara) FROM CorreosSalientes m WHERE m.nIdFactura=Facturas.nIdFactura "
                   "AND m.sEstado='aceptado') AS sCorreo ") +
           " FROM Facturas " + " WHERE nIdCliente=" + QString::number(nIdCliente) +
           " ORDER BY nIdFactura";
}

// The document on the record set's row, with its line of the list.
FacturaHist::Documento FacturaHist::LeerDocumento(const Recordset& rs) {
    Documento d;
    d.nIdFactura = rs.Fields("nIdFactura").Value.toInt();
    const QString sFactura = rs.Fields("sFactura").Value.toString();
    const QString sTipo = rs.Fields("sTipoFactura").Value.toString().trimmed();
    // A rectifying invoice carries the date of the invoice it rectifies; its own is the
    // day it was issued.
    const QVariant issued = rs.Fields("dFacturaAbonada").Value;
    const bool rectificativa = U().SqlNumber(issued) != 0;
    const QVariant date = rectificativa ? issued : rs.Fields("dFactura").Value;
    d.nAnio = int(U().SqlNumber(date)) / 10000;
    d.bAnulada = U().SqlNumber(rs.Fields("nAnulada").Value) != 0;
    QString kind = Db().Translate("Factura");
    QString state;
    if (rectificativa) {
        d.clase = Clase::Rectificativa;
        const QString code = sTipo == "R5" ? sTipo : rs.Fields("sMotivo").Value.toString();
        kind = Db().Translate("Rectif.") + " " +
               (code.isEmpty() ? MotivoRectificacion{}.sMotivo : code);
        state = Db().Translate("rectifica") + " " + rs.Fields("sFacturaAbonada").Value.toString();
    } else if (sTipo == "F2") {
        d.clase = Clase::Simplificada;
        kind = Db().Translate("Simplificada");
    }
    const QVariant rectificado = rs.Fields("nRectificado").Value;
    const QString sustituta = rs.Fields("sSustituta").Value.toString();
    if (d.bAnulada)
        state = Db().Translate("anulada");
    else if (!sustituta.isEmpty())
        state = Db().Translate("sustituida por") + " " + sustituta;
    else if (!rectificado.isNull())
        // Rectified to its last unit, nothing is left of it; in part, what was taken.
        state = MotivoNoAbonable(d.nIdFactura).isEmpty()
                    ? Db().Translate("rectificada") + " " +
                          AmountText::Euros(-U().SqlNumber(rectificado))
                    : Db().Translate("rectificada");
    const double amount =
        U().SqlNumber(rs.Fields("nTotal").Value) - U().SqlNumber(rs.Fields("nDescuento").Value);
    d.sTexto = Entry(U().FormatDate(2, date).toString(), sFactura, kind, AmountText::Euros(amount),
                     state) +
               Mailed(rs.Fields("sCorreo").Value.toString());
    return d;
}

void FacturaHist::Form_Load() {
    Trap("HistoricoFras::Form_Load", [&] {
        frm->SetReturnIsTab(Gi.ReturnIsTab);
        // The branches' counter customers share a name: a counter sale's history is its own.
        const qint32 nIdCliente =
            m_billing.ClienteMostrador() != 0
                ? m_billing.ClienteMostrador()
                : Utility::ToInt32(U().SqlNumber(Db().GetValue(
                      "Clientes",
                      "sCliente=" + U().SqlValue(m_billing.cboCliente_SN->currentText(), 0, true),
                      "nIdCliente")));
        Recordset rs;
        Db().OpenRecordset(ConsultaHistorial(nIdCliente), rs);
        std::set<int> years;
        for (; !rs.Eof(); rs.MoveNext()) {
            Documento d = LeerDocumento(rs);
            years.insert(d.nAnio);
            m_documentos.push_back(std::move(d));
        }
        if (rs.State() == Recordset::Open)
            rs.Close();
        {
            const QSignalBlocker quiet(cboAnio_SN);
            for (auto year = years.rbegin(); year != years.rend(); ++year)
                if (*year > 0)
                    cboAnio_SN->addItem(QString::number(*year), *year);
        }
        Filtrar();
        opEmision_TX[0]->setChecked(true);
    });
}

void FacturaHist::Filtrar() {
    const QListWidgetItem* current = lsFras_TX->currentItem();
    const qint32 shown = current ? current->data(Qt::UserRole).toInt() : 0;
    const int kind = cboTipo_SN->currentIndex();
    const int year = cboAnio_SN->currentData().toInt();
    lsFras_TX->clear();
    QListWidgetItem* keep = nullptr;
    for (const Documento& d : m_documentos) {
        const bool kept = kind == 0 || (kind == 1 && d.clase == Clase::Factura) ||
                          (kind == 2 && d.clase == Clase::Simplificada) ||
                          (kind == 3 && d.clase == Clase::Rectificativa) ||
                          (kind == 4 && d.bAnulada);
        if (!kept || (year != 0 && d.nAnio != year))
            continue;
        auto* item = new QListWidgetItem(d.sTexto);
        item->setData(Qt::UserRole, d.nIdFactura);
        lsFras_TX->addItem(item);
        if (d.nIdFactura == shown)
            keep = item;
    }
    // The newest document is highlighted, so a layout button acts at once on the one a
    // customer most often asks for again.
    if (keep)
        lsFras_TX->setCurrentItem(keep);
    else if (lsFras_TX->count() > 0)
        lsFras_TX->setCurrentRow(lsFras_TX->count() - 1);
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
        // Nothing is chosen while the document has nothing left to rectify; the user is told why.
        if (sName != "Anular_BT" && opEmision_TX[1]->isChecked()) {
            if (const QString why = MotivoNoAbonable(nIdFactura); !why.isEmpty()) {
                ShowMessage(MessageKind::Notice, why);
                return;
            }
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
