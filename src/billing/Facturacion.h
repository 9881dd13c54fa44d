#pragma once

#include "billing/BillingWindow.h"

#include <QWidget>
#include <memory>

class CSearch;
struct DocumentLine;
class EnvioVeriFactu;
class ReintentoCorreo;
struct SolicitudAbono;
class Frm;
class GridController;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

// The billing window, where the front desk spends its day: a pet and its owner are chosen, the
// owner's pending items are entered and edited in the grid, the running totals follow every
// change, and the invoice is issued from here. Closing it ends the module.
class Facturacion : public QWidget, public BillingWindow {
    Q_OBJECT
public:
    // Builds the window and runs its load: selector, session line, grid set-up, employees.
    explicit Facturacion(QWidget* parent = nullptr);
    // Releases the grid controller, then the selector.
    ~Facturacion() override;

    Frm* Frame() const { return frm; }

    // Print layout chosen in the invoice history: 1 Normal, 2 Detallada, 3 Ticket, 0 none.
    quint8 nFormatoFactura = 0;
    // Action chosen in the invoice history: 1 reprint, 2 credit note, 3 cancel, 0 none.
    quint8 nEmitir = 0;
    // Invoice chosen in the invoice history; 0 none.
    qint32 nIdFactura_Historico = 0;
    // Price level of the current client: the price column "nPvp" followed by this number applies.
    qint16 nPvpUtilizado = 1;

    std::unique_ptr<CSearch> dm;
    std::unique_ptr<GridController> gd;

    QComboBox* cboMascota_SN = nullptr;
    QComboBox* cboCliente_SN = nullptr;
    QComboBox* cboEmpleado_SN = nullptr;
    QComboBox* cboCaja_SN = nullptr;
    // Selects the branch's counter customer: a walk-in sale, products only, no pet.
    QPushButton* VentaMostrador_BT = nullptr;
    QCheckBox* ckHistorial_TX = nullptr;
    QTableView* gdFacturacion = nullptr;
    QLabel* lGd = nullptr;
    QLabel* lblTotalBI_MN = nullptr;
    QLabel* lblTotalIptos_MN = nullptr;
    QLabel* lblTotalAFacturar_MN = nullptr;

    // The first activation positions the selector (start-up pet, or pet 1) and fills the cash
    // boxes; later activations only refresh the session line.
    void Form_Activate();
    // Fills the cash boxes (the extra ones too when bTodas) and selects the user's invoicing box.
    void CargarCajas(bool bTodas);
    // Base, taxes and total of the pending lines shown in the grid.
    void Totales();
    // The price column of ProductosServicios for the current client's price level.
    QString CampoPvp() const;
    // The grid's line at row (-1 the current one) as the totals and the stored line count it.
    DocumentLine Linea(int row) const;

    // What issuing an invoice or a credit note reads of the window and asks of it.
    QString Dato(DatoPareja dato) const override;
    double EmpleadoElegido() const override;
    qint32 CajaElegida() const override;
    quint8& FormatoFactura() override { return nFormatoFactura; }
    CobroRecord MostrarCobro() override;
    void Imprimir(qint32 nIdFactura, quint8 nFormato) override;
    QString ImpresionImpedida() const override;
    void RefrescarGrid() override;

    // Frame events, also reachable from the keyboard shortcuts.
    void Frm_evtToolClick(const QString& sName);
    void Frm_evtButtonPressed(const QString& sName);
    void HistoricoFacturas_NA_Click();
    // Asks before a credit note is issued, naming the invoice, its client and its amount, and
    // takes the lines, the money given back and the reason into solicitud; a hurried Enter
    // answers No.
    bool ConfirmarAbono(qint32 nIdFactura, SolicitudAbono& solicitud);
    // Cancels an invoice issued in error, for a user with the right tvAnularFactura: asks the
    // reason, then confirms, saying that a change of amounts is a rectifying invoice instead.
    // Escape at either step writes nothing.
    void Anular(qint32 nIdFactura);
    void ImgGd_NR_Click(int index);
    // Takes the branch's counter customer (the pet box is then disabled), or, pressed again,
    // leaves it for no client.
    void VentaMostrador_BT_Click();
    // The counter customer while a counter sale is selected; 0 otherwise.
    qint32 ClienteMostrador() const { return m_nIdMostrador; }

    // Grid events.
    void gd_evtBuildSQL(QString& RV_sSQL, QString& RV_sReplacingFlds);
    void gd_evtComboDropDown(qint32 nCol);
    void gd_evtComboClickMouse(qint32 nCol);
    void gd_evtLeaveCell(qint32 nRow, qint32 nCol);
    void gd_evtRecInsert(qint32 nRow, bool& RV_bSuccess);
    void gd_evtRecEdit(qint32 nRow, qint32 nCol, bool& RV_bSuccess);
    void gd_evtRecDelete(qint32 nRow, bool& RV_bSuccess);
    void gd_evtRecInfo(qint32 nRec, qint32 nRecs, qint32 nPage, qint32 nPages);

    // Selector events.
    void dm_evtPetChanged(bool bFound);
    void dm_evtClientChanged(bool bFound);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void AddTools();
    QGridLayout* SelectionLayout();
    QHBoxLayout* NavigatorLayout();
    QHBoxLayout* TotalsLayout();
    void Form_Load();
    void Frm_evtKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void cboCliente_SN_LostFocus();
    // The client whose name the client box shows exactly; 0 when it names none.
    qint32 ClienteNombrado() const;
    void MostrarEmpleadoDeLaMascota();
    void AvisoDeuda(qint32 nIdCliente);
    // Another workstation changed pending items (of this client, or of someone: empty): the grid
    // is read again as soon as nothing typed here would be lost.
    void ItemsChangedElsewhere(const QString& client);
    void RefreshWhenIdle();
    QStringList GridLines() const;
    // Whether the current grid line may be written: a known client, and a product that is either
    // empty or in the catalogue.
    bool LineaGuardable();
    // Back to choosing a pet and its client.
    void SalirDeMostrador();

    Frm* frm = nullptr;
    // The client whose lines the grid shows: the pair's, or a client taken without a pet yet.
    // Typing in the client box searches and changes nothing until another client is taken.
    qint32 m_nIdClienteGrid = 0;
    bool m_refreshPending = false;
    qint32 m_nIdMostrador = 0;
    // Sends each issued document's record to the tax agency, in VERI*FACTU mode.
    std::unique_ptr<EnvioVeriFactu> m_envio;
    std::unique_ptr<ReintentoCorreo> m_correo;
};
