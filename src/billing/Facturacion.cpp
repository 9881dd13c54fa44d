// The billing window: the selector, the pending items' grid, the totals and issuing.

#include "billing/Facturacion.h"

#include "billing/AcercaDe.h"
#include "billing/CSearch.h"
#include "billing/CajaDialogo.h"
#include "billing/CodigoProducto.h"
#include "billing/ConfirmacionAbono.h"
#include "billing/EnvioVeriFactu.h"
#include "billing/FacturaHist.h"
#include "billing/GenerarAbono.h"
#include "billing/GenerarFactura.h"
#include "billing/LibrosContables.h"
#include "billing/ReintentoCorreo.h"
#include "invoicing/AnularFactura.h"
#include "invoicing/Mostrador.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/PendingItems.h"
#include "payment/FacturaInfo.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/ui/seam/Ui.h"
#include "platform/ui/widgets/Frm.h"
#include "platform/ui/widgets/GridController.h"
#include "platform/ui/widgets/ToolIcons.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "reports/Informes.h"
#include "reports/Viewer.h"
#include "session/Ayuda.h"
#include "session/G.h"
#include "session/Gi.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

// N(): a cell's text as a plain number, without rounding.
double N(const QString& text) {
    return U().SqlNumber(text);
}

const char* const kSkipFields = "Facturas.dFactura,Facturas.sFactura";

// A right-aligned amount caption; the grand total stands out.
QLabel* AmountLabel(QWidget* parent, const QString& name, bool emphasised) {
    auto* label = new QLabel(AmountText::Euros(0), parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(emphasised ? 130 : 90);
    if (emphasised) {
        QFont font = label->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.4);
        label->setFont(font);
    }
    return label;
}

} // namespace

Facturacion::Facturacion(QWidget* parent) : QWidget(parent) {
    setObjectName("Facturacion");
    Ayuda::Enlazar(*this, "facturacion.html");
    BuildControls();
    Form_Load();
}

Facturacion::~Facturacion() {
    Db().WatchItems({});
    gd.reset();
    dm.reset();
}

void Facturacion::BuildControls() {
    frm = new Frm(this, Db().Translate("Facturación"));
    frm->SetReturnIsTab(Gi.ReturnIsTab);
    AddTools();

    // Every widget is born inside the content it is laid out in: one taken in by a layout later
    // is moved under the frame's style sheet, and a combo then builds its drop-down list at once,
    // a fifth of the window's load.
    QWidget* const content = frm->Content();
    auto named = [](QWidget* widget, const QString& name) {
        widget->setObjectName(name);
        return widget;
    };
    cboMascota_SN = static_cast<QComboBox*>(named(new QComboBox(content), "cboMascota_SN"));
    cboCliente_SN = static_cast<QComboBox*>(named(new QComboBox(content), "cboCliente_SN"));
    cboEmpleado_SN = static_cast<QComboBox*>(named(new QComboBox(content), "cboEmpleado_SN"));
    cboCaja_SN = static_cast<QComboBox*>(named(new QComboBox(content), "cboCaja_SN"));
    ckHistorial_TX = static_cast<QCheckBox*>(named(
        new QCheckBox(Db().Translate("Mostrar también lo facturado"), content), "ckHistorial_TX"));
    gdFacturacion = static_cast<QTableView*>(named(new QTableView(content), "gdFacturacion"));
    lGd = static_cast<QLabel*>(named(new QLabel(content), "lGd"));
    lblTotalBI_MN = AmountLabel(content, "lblTotalBI_MN", false);
    lblTotalIptos_MN = AmountLabel(content, "lblTotalIptos_MN", false);
    lblTotalAFacturar_MN = AmountLabel(content, "lblTotalAFacturar_MN", true);
    VentaMostrador_BT = new QPushButton(Db().Translate("Venta de mostrador"), content);
    VentaMostrador_BT->setObjectName("VentaMostrador_BT");
    VentaMostrador_BT->setCheckable(true);
    VentaMostrador_BT->setToolTip(Db().Translate(
        "Vender productos a quien no tiene ficha: factura simplificada, sin mascota"));
    connect(VentaMostrador_BT, &QPushButton::clicked, this, [this] {
        Trap("Facturacion::VentaMostrador_BT_Click", [&] { VentaMostrador_BT_Click(); });
    });
    cboCliente_SN->setMinimumWidth(320);
    cboMascota_SN->setMinimumWidth(200);

    QGridLayout* selection = SelectionLayout();
    QHBoxLayout* navigator = NavigatorLayout();
    QHBoxLayout* totals = TotalsLayout();
    auto* layout = new QVBoxLayout(frm->Content());
    layout->addLayout(selection);
    layout->addWidget(gdFacturacion, 1);
    layout->addLayout(navigator);
    layout->addLayout(totals);

    setTabOrder(cboMascota_SN, cboCliente_SN);
    setTabOrder(cboCliente_SN, VentaMostrador_BT);
    setTabOrder(VentaMostrador_BT, cboEmpleado_SN);
    setTabOrder(cboEmpleado_SN, cboCaja_SN);
    setTabOrder(cboCaja_SN, ckHistorial_TX);
    setTabOrder(ckHistorial_TX, gdFacturacion);

    connect(frm, &Frm::evtToolClick, this, &Facturacion::Frm_evtToolClick);
    connect(frm, &Frm::evtButtonPressed, this, &Facturacion::Frm_evtButtonPressed);
    connect(frm, &Frm::evtKeyDown, this, &Facturacion::Frm_evtKeyDown);
    connect(frm, &Frm::evtActivate, this, &Facturacion::Form_Activate);
    connect(frm, &Frm::evtClose, this, [] { QuitSuite(false, false); });
    connect(ckHistorial_TX, &QCheckBox::clicked, this, [this] { gd->Refresh(); });
    frm->AddInputCheck([this](bool showMessage) {
        if (U().Val(Dato(DatoPareja::IdCliente)) != 0)
            return true;
        if (showMessage)
            ShowMessage(MessageKind::Notice, "Elija antes una mascota y su cliente.");
        return false;
    });
}

void Facturacion::AddTools() {
    // Function keys that no field or grid uses for itself (the grid edits on F2, a combo drops
    // down on F4), so each works wherever the cursor is.
    const struct {
        const char* name;
        const char* tip;
        ToolIcons::Kind icon;
        Qt::Key key;
    } tools[] = {
        {"Clientes_NA", "Ficha del cliente (F6)", ToolIcons::Kind::People, Qt::Key_F6},
        {"Estadisticas_NA", "Estadísticas (F7)", ToolIcons::Kind::Chart, Qt::Key_F7},
        {"CodigoProducto_NA", "Añadir por código (F3)", ToolIcons::Kind::Barcode, Qt::Key_F3},
        {"HistoricoFacturas_NA", "Historial de facturas (F8)", ToolIcons::Kind::History,
         Qt::Key_F8},
        {"LibrosContables_NA", "Libros contables (F9)", ToolIcons::Kind::Export, Qt::Key_F9},
    };
    frm->AddTool("Caja_NA", Db().Translate("Caja: informe X y cierre (F10)"),
                 ToolIcons::Letter('Z'));
    frm->SetShortcut("Caja_NA", QKeySequence(Qt::Key_F10));
    for (const auto& tool : tools) {
        frm->AddTool(tool.name, Db().Translate(tool.tip), ToolIcons::Get(tool.icon));
        frm->SetShortcut(tool.name, QKeySequence(tool.key));
    }
    frm->AddTool("AcercaDe_NA", Db().Translate("Acerca de tvFacturacion"), ToolIcons::Letter('i'));
    frm->AddButton("GenerarFactura_BT", Db().Translate("Generar factura"))
        ->setToolTip(Db().Translate("Generar la factura de lo pendiente (F12)"));
    frm->SetShortcut("GenerarFactura_BT", QKeySequence(Qt::Key_F12));
}

// The pet, the client, the counter sale, the employee, the cash box and the history's switch.
QGridLayout* Facturacion::SelectionLayout() {
    auto caption = [this](const QString& text, QWidget* buddy) {
        auto* label = new QLabel(Db().Translate(text), frm->Content());
        label->setBuddy(buddy);
        return label;
    };
    auto* selection = new QGridLayout;
    selection->addWidget(caption("&Mascota", cboMascota_SN), 0, 0);
    selection->addWidget(cboMascota_SN, 0, 1);
    selection->addWidget(caption("C&liente", cboCliente_SN), 0, 2);
    selection->addWidget(cboCliente_SN, 0, 3, 1, 2);
    selection->addWidget(VentaMostrador_BT, 0, 5);
    selection->addWidget(caption("&Empleado", cboEmpleado_SN), 1, 0);
    selection->addWidget(cboEmpleado_SN, 1, 1);
    selection->addWidget(caption("Ca&ja", cboCaja_SN), 1, 2);
    selection->addWidget(cboCaja_SN, 1, 3);
    selection->addWidget(ckHistorial_TX, 1, 4);
    selection->setColumnStretch(1, 2);
    selection->setColumnStretch(3, 3);
    return selection;
}

// The grid's line buttons and its position.
QHBoxLayout* Facturacion::NavigatorLayout() {
    auto* navigator = new QHBoxLayout;
    const struct {
        int index;
        QIcon icon;
        const char* tip;
    } images[] = {
        {0, ToolIcons::Get(ToolIcons::Kind::First), "Primera línea"},
        {1, ToolIcons::Get(ToolIcons::Kind::Previous), "Línea anterior"},
        {2, ToolIcons::Get(ToolIcons::Kind::Next), "Línea siguiente"},
        {3, ToolIcons::Get(ToolIcons::Kind::Last), "Última línea"},
        {10, ToolIcons::Get(ToolIcons::Kind::Print), "Imprimir la lista"},
    };
    for (const auto& image : images) {
        auto* button = new QToolButton(frm->Content());
        button->setObjectName("ImgGd_NR");
        button->setProperty("index", image.index);
        button->setIcon(image.icon);
        button->setToolTip(Db().Translate(image.tip));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this,
                [this, index = image.index] { ImgGd_NR_Click(index); });
        navigator->addWidget(button);
    }
    navigator->addSpacing(12);
    navigator->addWidget(lGd);
    navigator->addStretch(1);
    return navigator;
}

QHBoxLayout* Facturacion::TotalsLayout() {
    QWidget* const content = frm->Content();
    auto* totals = new QHBoxLayout;
    totals->addStretch(1);
    totals->addWidget(new QLabel(Db().Translate("Base imponible"), content));
    totals->addWidget(lblTotalBI_MN);
    totals->addSpacing(18);
    totals->addWidget(new QLabel(Db().Translate("Impuestos"), content));
    totals->addWidget(lblTotalIptos_MN);
    totals->addSpacing(18);
    auto* totalCaption = new QLabel(Db().Translate("TOTAL A FACTURAR"), content);
    QFont bold = totalCaption->font();
    bold.setBold(true);
    totalCaption->setFont(bold);
    totals->addWidget(totalCaption);
    totals->addWidget(lblTotalAFacturar_MN);
    return totals;
}

void Facturacion::Form_Load() {
    Trap("Facturacion::Form_Load", [&] {
        dm = std::make_unique<CSearch>();
        connect(dm.get(), &CSearch::evtPetChanged, this, &Facturacion::dm_evtPetChanged);
        connect(dm.get(), &CSearch::evtClientChanged, this, &Facturacion::dm_evtClientChanged);
        dm->Setup(this, cboMascota_SN, cboCliente_SN);
        // Typing in the client combo shows at once whether the name is a client of the pet; the
        // combo's line edit only exists once the selector has made it editable.
        cboCliente_SN->installEventFilter(this);

        ShowSessionStatus(*frm);
        m_envio = std::make_unique<EnvioVeriFactu>(*frm, Gi.sPathIni, Gi.sPathExe + "/tvRegistro");
        m_correo = std::make_unique<ReintentoCorreo>(Gi.sPathIni, Gi.sPathExe + "/tvCorreo");

        gd = std::make_unique<GridController>();
        gd->Attach(gdFacturacion);
        gd->SetConfirmDelete(true);
        // A hurried Delete on the wrong line must be seen for what it is before it goes.
        gd->SetDeleteQuestion([this](int row) {
            const QString producto = gd->CellText(row, "Producto Servicio").trimmed();
            return Db().Translate("¿Eliminar la línea") + " «" +
                   (producto.isEmpty() ? Db().Translate("sin producto") : producto) + "», " +
                   gd->CellText(row, "Unid") + " x " + gd->CellText(row, "Precio") + " = " +
                   gd->CellText(row, "Total") + QChar::Nbsp + "€?";
        });
        gd->SetNumberDecimals(4);
        gd->ComboColumns("5");
        gd->ColumnTypes({GridColumn::Number, GridColumn::Date, GridColumn::Text, GridColumn::Text,
                         GridColumn::Text, GridColumn::Money, GridColumn::Percentage,
                         GridColumn::Number, GridColumn::Money, GridColumn::Text});
        gd->ColumnWidths("5,11,10,0,42,10,7,5,10,14");
        gd->LockingColumns("2,3");
        // Where a pending line came back from: a rectifying invoice or a cancelled one.
        gd->ReadOnlyColumns("10");
        gd->SetEnterMovesNext(true);
        gd->SetAlternatingRows(true);
        gd->SetEditable(false);
        connect(gd.get(), &GridController::evtBuildSQL, this, &Facturacion::gd_evtBuildSQL);
        connect(gd.get(), &GridController::evtComboDropDown, this,
                &Facturacion::gd_evtComboDropDown);
        connect(gd.get(), &GridController::evtComboClickMouse, this,
                &Facturacion::gd_evtComboClickMouse);
        connect(gd.get(), &GridController::evtLeaveCell, this, &Facturacion::gd_evtLeaveCell);
        connect(gd.get(), &GridController::evtRecInsert, this, &Facturacion::gd_evtRecInsert);
        connect(gd.get(), &GridController::evtRecEdit, this, &Facturacion::gd_evtRecEdit);
        connect(gd.get(), &GridController::evtRecDelete, this, &Facturacion::gd_evtRecDelete);
        connect(gd.get(), &GridController::evtRecInfo, this, &Facturacion::gd_evtRecInfo);
        connect(gd.get(), &GridController::evtAfterDisplay, this, &Facturacion::Totales);

        Db().FillCombo(cboEmpleado_SN,
                       "SELECT nIdEmpleado,sEmpleado FROM Empleados WHERE bActivo=true",
                       "sEmpleado", "nIdEmpleado", false, false, QString(), false);
        Db().WatchItems([this](const QString& client) { ItemsChangedElsewhere(client); });
    });
}

void Facturacion::Form_Activate() {
    if (frm->nActivado == 1)
        return;
    Trap("Facturacion::Form_Activate", [&] {
        ShowSessionStatus(*frm);
        if (Gi.ExpandedForms)
            window()->setWindowState(window()->windowState() | Qt::WindowMaximized);
        frm->SetActivated(true);
        if (Gi.nParam3 > 0) {
            dm->DefineFrom_nIdMascota(Gi.nParam3);
            frm->SetToolVisible("Clientes_NA", false);
        } else {
            dm->DefineFrom_nIdMascota(1);
        }
        Gi.nParam3 = 0;
        CargarCajas(false);
    });
}

void Facturacion::CargarCajas(bool bTodas) {
    Db().FillCombo(cboCaja_SN,
                   bTodas ? "SELECT nIdTipoCaja,sTipoCaja FROM TipoCaja"
                          : "SELECT nIdTipoCaja,sTipoCaja FROM TipoCaja WHERE bCajaExtra=false",
                   "sTipoCaja", "nIdTipoCaja", true, false, QString(), true);
    const qint32 nCaja = Utility::ToInt32(U().SqlNumber(Db().GetValue(
        "Usuarios", "nIdUsuario=" + QString::number(Gi.nIdUsuario), "nCajaPara_Facturas")));
    const QString sCaja =
        Db().GetValue("TipoCaja", "nIdTipoCaja=" + QString::number(nCaja), "sTipoCaja").toString();
    frm->ComboSelectByText(cboCaja_SN, QString::number(nCaja) + ") " + sCaja);
}

void Facturacion::Totales() {
    // Only lines still to invoice count: with the history box ticked the grid also shows
    // invoiced ones. The figures are those the invoice of these lines will store.
    std::vector<DocumentLine> lines;
    for (int row = 1; row <= gd->RecordCount(); ++row)
        if (gd->CellText(row, "Factura").isEmpty())
            lines.push_back(Linea(row));
    const DocumentAmounts amounts = DocumentAmounts::Of(lines, Money());
    lblTotalBI_MN->setText(amounts.nBi_Total.Euros());
    lblTotalIptos_MN->setText(amounts.nIm_Total.Euros());
    lblTotalAFacturar_MN->setText(amounts.nTotal.Euros());
}

DocumentLine Facturacion::Linea(int row) const {
    return {N(gd->CellText(row, "Unid")), N(gd->CellText(row, "Precio")),
            N(gd->CellText(row, "Ipto"))};
}

QString Facturacion::CampoPvp() const {
    // A level outside the five price columns (an old client row with 0) buys at level 1.
    return "nPvp" + QString::number(nPvpUtilizado >= 1 && nPvpUtilizado <= 5 ? nPvpUtilizado : 1);
}

void Facturacion::Frm_evtToolClick(const QString& sName) {
    Trap("Facturacion::Frm_evtToolClick", [&] {
        if (sName == "Clientes_NA" || sName == "C") {
            G::ShellMod("tvClientesMascotas", "0|" + dm->Dato(DatoPareja::IdCliente));
        } else if (sName == "Estadisticas_NA") {
            G::ShellMod("tvEstadisticas", QString());
        } else if (sName == "CodigoProducto_NA" || sName == "A") {
            // A counter sale has no pet to read again.
            if (m_nIdMostrador == 0 && !dm->DefineFrom_nIdMascota(Utility::ToInt32(
                                           U().Val(dm->Dato(DatoPareja::IdMascota)))))
                gd->Refresh();
            if (frm->InputCheck(true)) {
                CodigoProducto dialog(*this);
                Ui::current().ShowModal(dialog);
            }
        } else if (sName == "HistoricoFacturas_NA") {
            HistoricoFacturas_NA_Click();
        } else if (sName == "LibrosContables_NA") {
            LibrosContables::Pedir();
        } else if (sName == "Caja_NA") {
            if (!G::Permiso("tvCierreCaja")) {
                ShowMessage(MessageKind::Notice, "No tiene permiso para realizar esta operación.");
                return;
            }
            CajaDialogo dialog(cboCaja_SN->currentIndex() < 0 ? 0 : CajaElegida(), this);
            Ui::current().ShowModal(dialog);
        } else if (sName == "AcercaDe_NA") {
            AcercaDe dialog(this);
            Ui::current().ShowModal(dialog);
        }
    });
}

void Facturacion::Frm_evtButtonPressed(const QString& sName) {
    if (sName != "GenerarFactura_BT" || !frm->InputCheck(true))
        return;
    // Without a cash box the payments could not be booked: better said now than after the
    // invoice number is drawn.
    if (cboCaja_SN->currentIndex() < 0) {
        ShowMessage(MessageKind::Notice, "Elija antes la caja en la que se cobra la factura.");
        frm->SetFocusTo(cboCaja_SN);
        return;
    }
    gd->Command(4);
    Generar_Factura(*this);
    if (m_envio)
        m_envio->Documento();
}

QString Facturacion::Dato(DatoPareja dato) const {
    if (m_nIdMostrador == 0)
        return dm->Dato(dato);
    // A counter sale is the branch's counter customer and no pet.
    switch (dato) {
    case DatoPareja::IdCliente:
        return QString::number(m_nIdMostrador);
    case DatoPareja::Cliente:
        return cboCliente_SN->currentText();
    case DatoPareja::Mascota:
    case DatoPareja::Especie:
        return {};
    default:
        return "0";
    }
}

double Facturacion::EmpleadoElegido() const {
    return double(frm->ComboSelectedId(cboEmpleado_SN));
}

qint32 Facturacion::CajaElegida() const {
    if (cboCaja_SN->currentIndex() < 0)
        throw TvError(ErrorNumber::NoSuchField, Db().Translate("No hay ninguna caja elegida"));
    return qint32(frm->ComboSelectedId(cboCaja_SN));
}

CobroRecord Facturacion::MostrarCobro() {
    // A dialog that closes without one of its layout buttons issues nothing, however it closed.
    nFormatoFactura = 0;
    FacturaInfo dialog(Dato(DatoPareja::IdCliente), cboCliente_SN->currentText(), nFormatoFactura,
                       this);
    Ui::current().ShowModal(dialog);
    return dialog.Cobro();
}

void Facturacion::Imprimir(qint32 nIdFactura, quint8 nFormato) {
    Informes::Factura(nIdFactura, nFormato);
}

QString Facturacion::ImpresionImpedida() const {
    return Informes::ComprobarFactura();
}

void Facturacion::RefrescarGrid() {
    gd->Refresh();
    AvisoDeuda(Utility::ToInt32(U().Val(Dato(DatoPareja::IdCliente))));
}

void Facturacion::HistoricoFacturas_NA_Click() {
    if (!frm->InputCheck(true))
        return;
    Trap("Facturacion::HistoricoFacturas_NA_Click", [&] {
        nEmitir = 0;
        nFormatoFactura = 0;
        nIdFactura_Historico = 0;
        {
            FacturaHist history(*this);
            Ui::current().ShowModal(history);
        }
        if (nIdFactura_Historico <= 0)
            return;
        if (nEmitir == 1)
            Informes::Factura(nIdFactura_Historico, nFormatoFactura, Informes::Impresion::Copia);
        else if (SolicitudAbono solicitud;
                 nEmitir == 2 && ConfirmarAbono(nIdFactura_Historico, solicitud)) {
            Generar_Abono(*this, std::move(solicitud));
            if (m_envio)
                m_envio->Documento();
        } else if (nEmitir == 3) {
            Anular(nIdFactura_Historico);
        }
    });
}

void Facturacion::Anular(qint32 nIdFactura) {
    if (!G::Permiso("tvAnularFactura")) {
        ShowMessage(MessageKind::Notice, "No tiene permiso para anular facturas.");
        return;
    }
    if (const QString rechazo = MotivoNoAnulable(nIdFactura); !rechazo.isEmpty()) {
        ShowMessage(MessageKind::Notice, rechazo);
        return;
    }
    const Rows factura = Db().GetRows("SELECT sFactura,sCliente,nTotal,nDescuento FROM Facturas "
                                      "WHERE nIdFactura=" +
                                      QString::number(nIdFactura));
    const QString sFactura = factura(0, 0).toString();
    SolicitudAnulacion solicitud;
    solicitud.nIdFactura = nIdFactura;
    solicitud.sMotivo =
        Ui::current()
            .Input("Anular la factura " + sFactura,
                   "¿Por qué se emitió por error? (cliente equivocado, emitida dos veces…)", {})
            .trimmed();
    if (solicitud.sMotivo.isEmpty())
        return;
    const double importe = U().SqlNumber(factura(2, 0)) - U().SqlNumber(factura(3, 0));
    if (!ConfirmDefaultNo(
            "Anular sirve para una factura emitida por error: un cliente equivocado, una factura "
            "emitida dos veces. Si lo que cambia es el importe o lo vendido, no la anule: emita "
            "una factura rectificativa.\n\nLa factura " +
            sFactura + " de " + factura(1, 0).toString() + " (" + AmountText::Euros(importe) +
            ") quedará anulada: se devuelven sus cobros y apuntes de caja, el stock vuelve al "
            "almacén, se quitan el historial y las vacunas de la mascota, y sus líneas vuelven a "
            "estar pendientes. La anulación se anota en el registro de facturación.\n\n"
            "¿Anular la factura " +
            sFactura + "?"))
        return;
    solicitud.nIdCliente = Utility::ToInt32(Utility::Val(Dato(DatoPareja::IdCliente)));
    solicitud.sTitular = Dato(DatoPareja::Cliente);
    solicitud.nFechaTrabajo = Gi.nFechaTrabajo;
    solicitud.nIdUsuario = Gi.nIdUsuario;
    solicitud.dAnulacion = Utility::ToInt32(U().SqlNumber(U().Today(true)));
    try {
        const Resultado<FacturaAnulada, PasoAnulacion> resultado = AnularFactura(solicitud);
        if (!resultado.Hecho()) {
            ShowMessage(MessageKind::Notice, resultado.Rechazado().mensaje);
            return;
        }
        const FacturaAnulada& anulada = *resultado;
        for (const QString& aviso : anulada.avisos)
            ShowMessage(MessageKind::Notice, aviso);
        ShowMessage(MessageKind::Notice,
                    "La factura " + anulada.sFactura +
                        " está anulada; sus líneas vuelven a estar pendientes. Al reimprimirla "
                        "sale como ANULADA.");
    } catch (const TvError& e) {
        ShowMessage(MessageKind::Error,
                    "No se ha anulado la factura " + sFactura + ": " + e.Description());
        return;
    }
    RefrescarGrid();
    if (m_envio)
        m_envio->Documento();
}

bool Facturacion::ConfirmarAbono(qint32 nIdFactura, SolicitudAbono& solicitud) {
    solicitud.nIdFactura = nIdFactura;
    const Rows factura = Db().GetRows("SELECT sFactura,sCliente,nTotal,nDescuento FROM Facturas "
                                      "WHERE nIdFactura=" +
                                      QString::number(nIdFactura));
    if (factura.IsEmpty())
        return true; // the rectification says itself that the invoice is gone
    QStringList tipos;
    const Rows rows = Db().GetRows("SELECT sTipoCobro FROM TipoCobro ORDER BY nIdTipoCobro");
    for (int r = 0; r < rows.RowCount(); ++r)
        tipos << rows(0, r).toString();
    // The refund is proposed as the invoice was paid: in its one payment type, or over its types
    // in the same proportions, which the rectification does when it is told no type.
    const Rows pagos = Db().GetRows("SELECT t.sTipoCobro FROM FacturasCobros c JOIN TipoCobro t "
                                    "ON t.nIdTipoCobro=c.nIdTipoCobro WHERE c.nIdFactura=" +
                                    QString::number(nIdFactura) +
                                    " GROUP BY t.sTipoCobro ORDER BY MIN(c.nIdFacturaCobro)");
    QString tipo = pagos.Value(0, 0).toString();
    if (pagos.RowCount() > 1) {
        tipo = Db().Translate("Como se cobró");
        tipos.prepend(tipo);
    }
    ConfirmacionAbono pregunta(
        factura(0, 0).toString(), factura(1, 0).toString(), LineasAbonables(nIdFactura), tipos,
        tipo,
        [nIdFactura](const std::vector<LineaAbono>& lineas) {
            const Resultado<ImportesRectificacion, PasoAbono> importes =
                ImportesDeRectificacion(nIdFactura, lineas);
            return importes.Hecho() ? *importes : ImportesRectificacion{};
        },
        this);
    Ui::current().ShowModal(pregunta);
    if (pregunta.result() != QDialog::Accepted)
        return false;
    solicitud.motivo = pregunta.Motivo();
    solicitud.lineas = pregunta.Lineas();
    solicitud.nImporteDevuelto = pregunta.Importe();
    solicitud.sTipoCobro = pregunta.TipoCobro();
    solicitud.bLineasPendientes = pregunta.LineasPendientes();
    return true;
}

void Facturacion::VentaMostrador_BT_Click() {
    if (m_nIdMostrador != 0) {
        SalirDeMostrador();
        dm->DefineFrom_nIdMascota(0);
        m_nIdClienteGrid = 0;
        gd->SetEditable(false);
        gd->Refresh();
        return;
    }
    const qint32 nIdMostrador = Mostrador::Cliente(Gi.nIdSucursal);
    dm->DefineFrom_nIdMascota(0);
    m_nIdMostrador = nIdMostrador;
    m_nIdClienteGrid = nIdMostrador;
    cboCliente_SN->setEditText(
        Db().GetValue("Clientes", "nIdCliente=" + QString::number(nIdMostrador), "sCliente")
            .toString());
    cboMascota_SN->setEnabled(false);
    cboMascota_SN->setToolTip(Db().Translate(
        "Una venta de mostrador no es para ninguna mascota: para elegir una, pulse otra vez "
        "«Venta de mostrador» o elija un cliente."));
    VentaMostrador_BT->setChecked(true);
    cboEmpleado_SN->setCurrentIndex(-1);
    nPvpUtilizado = 1;
    gd->SetEditable(true);
    gd->Refresh();
    AvisoDeuda(nIdMostrador);
    frm->SetFocusTo(gdFacturacion);
}

void Facturacion::SalirDeMostrador() {
    m_nIdMostrador = 0;
    cboMascota_SN->setEnabled(true);
    cboMascota_SN->setToolTip({});
    VentaMostrador_BT->setChecked(false);
}

void Facturacion::ImgGd_NR_Click(int index) {
    Trap("Facturacion::ImgGd_NR_Click", [&] {
        if (index != 10) {
            gd->NavigatorClick(index);
            return;
        }
        // The list goes through the viewer so that it can be printed, exported or mailed like
        // any other document; A4 is the listings printer's paper.
        const QSize a4(11906, 16838);
        Viewer::ShowDocument(
            gd->PrintPages("Arial", Db().Translate("Facturación"),
                           Gi.sNombreSucursal + " (" + QString::number(Gi.nIdSucursal) + ")", a4),
            Db().Translate("Facturación"));
    });
}

void Facturacion::gd_evtBuildSQL(QString& RV_sSQL, QString&) {
    Trap("Facturacion::gd_evtBuildSQL", [&] {
        RV_sSQL = QString("SELECT FacturasItems.nIdFacturaItem AS [Id], ") +
                  " Facturas.dFactura AS [Fecha], " + " Facturas.sFactura AS [Factura], " +
                  " FacturasItems.sConclusion AS [Conclusión], " +
                  " ProductosServicios.sProductoServicio AS [Producto Servicio], " +
                  " FacturasItems.nPvp AS [Precio], " + " FacturasItems.nPorcIpto AS [Ipto], " +
                  " FacturasItems.nUnidades AS [Unid], " + " FacturasItems.nTotal AS [Total]," +
                  " ('de ' || Origen.sFactura) AS [Origen]" + " FROM (((FacturasItems" +
                  " LEFT JOIN ProductosServicios ON "
                  "ProductosServicios.nIdProductoServicio=FacturasItems.nIdProductoServicio)" +
                  " LEFT JOIN Facturas ON Facturas.nIdFactura=FacturasItems.nIdFactura)" +
                  " LEFT JOIN Facturas AS Origen ON "
                  "Origen.nIdFactura=FacturasItems.nIdFacturaOrigen)" +
                  " WHERE FacturasItems.nIdCliente=" + QString::number(m_nIdClienteGrid);
        if (!ckHistorial_TX->isChecked())
            RV_sSQL += " AND " + PendingItems::Unbilled("FacturasItems");
        RV_sSQL += " ORDER BY FacturasItems.nIdFacturaItem ";
    });
}

void Facturacion::gd_evtComboDropDown(qint32) {
    Trap("Facturacion::gd_evtComboDropDown", [&] {
        // The active products by name, as the whole list was read once: a catalogue of
        // thousands is read as it is shown, at each drop-down, so one added elsewhere is offered.
        // A counter sale offers only products: services and vaccines are for a pet.
        gd->BrowseComboColumn({"ProductosServicios", "sProductoServicio",
                               QString("bActivo=true AND bLuzAguaTelefono=0") +
                                   (m_nIdMostrador != 0 ? " AND bProducto<>0 AND bVacuna=0" : ""),
                               "ProductosServiciosBusqueda"},
                              "nIdProductoServicio");
    });
}

void Facturacion::gd_evtComboClickMouse(qint32 nCol) {
    gd_evtLeaveCell(gd->CurrentRow(), nCol);
}

void Facturacion::gd_evtLeaveCell(qint32, qint32 nCol) {
    Trap("Facturacion::gd_evtLeaveCell", [&] {
        if (nCol == 5) {
            const QString sName = gd->CellText(-1, "Producto Servicio");
            const QString condition = "sProductoServicio=" + U().SqlValue(sName, 0, true);
            const qint32 nId = Utility::ToInt32(U().SqlNumber(
                Db().GetValue("ProductosServicios", condition, "nIdProductoServicio")));
            if (const QString servicio = Mostrador::MotivoProducto(condition);
                m_nIdMostrador != 0 && !servicio.isEmpty()) {
                ShowMessage(MessageKind::Notice, servicio);
                gd->SetCellText(-1, "Producto Servicio", {});
                return;
            }
            if (nId == 0 && !sName.trimmed().isEmpty()) {
                // A hurried second Enter must not create a product at 0 € and 0 %.
                if (!ConfirmDefaultNo("El ítem no existe. ¿Desea crearlo?"))
                    return;
                Db().InsertRecord("ProductosServicios", "sProductoServicio,nPvp,nPorcIpto",
                                  U().SqlValue(sName, 0, true) + "," +
                                      U().SqlValue(N(gd->CellText(-1, "Precio")), 0, true) + "," +
                                      U().SqlValue(N(gd->CellText(-1, "Ipto")), 0, true));
            }
            gd->SetCellText(-1, "Precio",
                            AmountText::Number(U().SqlNumber(
                                Db().GetValue("ProductosServicios", condition, CampoPvp()))));
            gd->SetCellText(-1, "Ipto",
                            AmountText::Number(U().SqlNumber(
                                Db().GetValue("ProductosServicios", condition, "nPorcIpto"))));
            gd->SetCellText(-1, "Unid", "1");
        }
        gd->SetCellText(-1, "Total", Linea(-1).Pricing().Total().Shown());
        bool saved = false;
        gd_evtRecEdit(gd->CurrentRow(), gd->CurrentCol(), saved);
        Totales();
    });
}

bool Facturacion::LineaGuardable() {
    if (U().Val(Dato(DatoPareja::IdCliente)) == 0)
        return false;
    const QString sName = gd->CellText(-1, "Producto Servicio");
    if (sName.trimmed().isEmpty())
        return true;
    const QString condition = "sProductoServicio=" + U().SqlValue(sName, 0, true);
    if (m_nIdMostrador != 0 && !Mostrador::MotivoProducto(condition).isEmpty())
        return false;
    return !Db().GetValue("ProductosServicios", condition, "nIdProductoServicio").isNull();
}

void Facturacion::gd_evtRecInsert(qint32, bool& RV_bSuccess) {
    Trap("Facturacion::gd_evtRecInsert", [&] {
        RV_bSuccess = false;
        if (!LineaGuardable())
            return;
        const qint32 nCli = Utility::ToInt32(U().Val(Dato(DatoPareja::IdCliente)));
        const qint32 nPet = Utility::ToInt32(U().Val(Dato(DatoPareja::IdMascota)));
        const qint32 key =
            gd->SaveRow("FacturasItems", QString(), "nIdCliente,nIdMascota",
                        QString::number(nCli) + "," + QString::number(nPet), kSkipFields);
        gd->SetRecordKey(0, key);
        RV_bSuccess = true;
    });
}

void Facturacion::gd_evtRecEdit(qint32 nRow, qint32, bool& RV_bSuccess) {
    Trap("Facturacion::gd_evtRecEdit", [&] {
        RV_bSuccess = false;
        const DocumentLine linea = Linea(-1);
        // The line and its base and tax are written together or not at all.
        TransactionGuard transaccion;
        if (gd->RecordKey(0) == 0) {
            // A line typed on the new line is stored the first time it can be.
            bool inserted = false;
            gd_evtRecInsert(nRow, inserted);
            if (!inserted)
                return;
        } else {
            if (!LineaGuardable())
                return;
            gd->SaveRow("FacturasItems", "nIdFacturaItem=" + QString::number(gd->RecordKey(0)),
                        QString(), QString(), kSkipFields);
        }
        Db().UpdateRecord("FacturasItems", "nBaseImp,nImpuestos",
                          U().SqlValue(linea.Pricing().ExactBase(), 0, true) + "," +
                              U().SqlValue(linea.Pricing().ExactTax(), 0, true),
                          "nIdFacturaItem=" + QString::number(gd->RecordKey(0)));
        transaccion.Commit();
        RV_bSuccess = true;
    });
}

void Facturacion::gd_evtRecDelete(qint32, bool& RV_bSuccess) {
    Trap("Facturacion::gd_evtRecDelete", [&] {
        if (gd->CellValue("Factura").isEmpty()) {
            Db().DeleteRecords("FacturasItems",
                               "nIdFacturaItem = " + QString::number(gd->RecordKey(0)), 0);
            RV_bSuccess = true;
        } else {
            ShowMessage(MessageKind::Notice,
                        "No es posible eliminar un ítem de una factura ya emitida!");
            RV_bSuccess = false;
        }
    });
}

void Facturacion::gd_evtRecInfo(qint32 nRec, qint32 nRecs, qint32 nPage, qint32 nPages) {
    auto four = [](qint32 n) { return QString("%1").arg(n, 4, 10, QChar('0')); };
    lGd->setText("  L: " + four(nRec) + "/" + four(nRecs) + "  P: " + four(nPage) + "/" +
                 four(nPages));
}

void Facturacion::dm_evtPetChanged(bool bFound) {
    Trap("Facturacion::dm_evtPetChanged", [&] {
        // The client, the grid's statement and the employee all ask the selector of the pair.
        const CSearch::HeldAnswers held(*dm);
        // A pet or a client chosen ends a counter sale.
        if (m_nIdMostrador != 0)
            SalirDeMostrador();
        cboEmpleado_SN->setCurrentIndex(-1);
        if (!bFound)
            return;
        const qint32 nIdPareja = Utility::ToInt32(U().Val(dm->Dato(DatoPareja::IdCliente)));
        // A client taken before one of his pets shows his lines already; lines can only be added
        // for a client that owns the chosen pet.
        const qint32 nIdCliente = nIdPareja != 0 ? nIdPareja : ClienteNombrado();
        gd->SetEditable(nIdPareja != 0);
        m_nIdClienteGrid = nIdCliente;
        gd->Refresh();
        MostrarEmpleadoDeLaMascota();
        nPvpUtilizado = Utility::ToInt16(U().SqlNumber(Db().GetValue(
            "Clientes", "nIdCliente=" + QString::number(nIdCliente), "nPvpUtilizado")));
        AvisoDeuda(nIdCliente);
    });
}

void Facturacion::dm_evtClientChanged(bool) {
    dm_evtPetChanged(true);
}

void Facturacion::MostrarEmpleadoDeLaMascota() {
    frm->ComboSelectByText(
        cboEmpleado_SN,
        Db().GetValue("Empleados", "nIdEmpleado=" + dm->Dato(DatoPareja::IdEmpleado), "sEmpleado")
            .toString());
}

void Facturacion::AvisoDeuda(qint32 nIdCliente) {
    const double saldo = U().SqlNumber(
        Db().GetValue("Clientes", "nIdCliente=" + QString::number(nIdCliente), "nSaldo"));
    if (saldo < 0)
        frm->ShowNotice(Db().Translate("Este cliente tiene una deuda de").toUpper() + " " +
                            AmountText::Euros(std::fabs(saldo)),
                        1, true, 255);
    else
        frm->ClearNotice();
}

void Facturacion::ItemsChangedElsewhere(const QString& client) {
    if (!client.isEmpty() && client != QString::number(m_nIdClienteGrid))
        return;
    m_refreshPending = true;
    RefreshWhenIdle();
}

void Facturacion::RefreshWhenIdle() {
    if (!m_refreshPending)
        return;
    // A cell being typed in, or a dialog over the window, comes first; the lines follow as soon
    // as it is done.
    if (gd->IsEditing() || QApplication::activeModalWidget()) {
        QTimer::singleShot(200, this, &Facturacion::RefreshWhenIdle);
        return;
    }
    m_refreshPending = false;
    Trap("Facturacion::RefreshWhenIdle", [&] {
        const QStringList before = GridLines();
        gd->Requery();
        if (GridLines() == before)
            return;
        Totales();
        AvisoDeuda(Utility::ToInt32(U().Val(Dato(DatoPareja::IdCliente))));
        frm->Sb_PanelText_Set(1, Db().Translate(" Lista actualizada con cambios de otro puesto."),
                              false, -1, 0, 200);
    });
}

QStringList Facturacion::GridLines() const {
    QStringList lines;
    const int columns = gdFacturacion->model()->columnCount();
    for (int row = 1; row <= gd->RecordCount(); ++row) {
        QStringList cells;
        for (int col = 1; col <= columns; ++col)
            cells << gd->CellText(row, col);
        lines << cells.join(QChar('\t'));
    }
    return lines;
}

void Facturacion::Frm_evtKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    Trap("Facturacion::Frm_evtKeyDown", [&] {
        if (key == Qt::Key_E && modifiers == Qt::ControlModifier && IsMaster(false))
            CargarCajas(true);
    });
}

qint32 Facturacion::ClienteNombrado() const {
    return Utility::ToInt32(U().SqlNumber(Db().GetValue(
        "Clientes",
        "sCliente=" + U().SqlValue(cboCliente_SN->currentText(), 0, true) + " AND bMostrador=0",
        "nIdCliente")));
}

void Facturacion::cboCliente_SN_LostFocus() {
    // A text that names no client was a search left half-way: the box shows the client of the
    // grid again. A whole name typed takes that client, as picking it would.
    if (const qint32 named = ClienteNombrado(); named == 0)
        cboCliente_SN->setEditText(
            Db().GetValue("Clientes", "nIdCliente=" + QString::number(m_nIdClienteGrid), "sCliente")
                .toString());
    else if (named != m_nIdClienteGrid)
        dm->TomarCliente(cboCliente_SN->currentText());
    if (const qint32 nIdCliente = Utility::ToInt32(U().Val(Dato(DatoPareja::IdCliente)));
        nIdCliente != 0) {
        MostrarEmpleadoDeLaMascota();
        gd->SetEditable(true);
        // A client typed rather than picked has not been through the selector's events.
        nPvpUtilizado = Utility::ToInt16(U().SqlNumber(Db().GetValue(
            "Clientes", "nIdCliente=" + QString::number(nIdCliente), "nPvpUtilizado")));
        AvisoDeuda(nIdCliente);
    } else {
        gd->SetEditable(false);
    }
}

bool Facturacion::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && watched == cboCliente_SN) {
        // The type-ahead popup takes the focus for a moment: that is not leaving the combo.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        QWidget* now = QApplication::focusWidget();
        const bool stillHere = now == cboCliente_SN || now == cboCliente_SN->lineEdit();
        if (reason != Qt::PopupFocusReason && !stillHere)
            Trap("Facturacion::cboCliente_SN_LostFocus", [&] { cboCliente_SN_LostFocus(); });
    }
    return QWidget::eventFilter(watched, event);
}
