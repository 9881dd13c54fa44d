#pragma once

#include <QDialog>
#include <array>
#include <vector>

class Facturacion;
class Frm;
class Recordset;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QRadioButton;

// Every document of the client, so that any of them can be reprinted: invoices, simplified
// invoices, rectifying invoices and cancelled ones, under the headings Fecha, Número, Tipo,
// Importe and Estado, each line the date of issue, the number, the kind, the document's own amount
// due in euros and what became of it ("rectificada 27,50 €", "rectificada", "anulada", "rectifica
// A0001/26"), in a fixed-pitch font so the columns line up. Two filters narrow the list by kind and
// by year. The newest document starts highlighted. The user picks one, the action (print again,
// the default, or rectify what is left of it) and, with a layout button, the layout, or cancels it
// ("Anular…"); the choice goes into the billing window's nIdFactura_Historico, nEmitir and
// nFormatoFactura, and the billing window carries it out once this window has closed. Closing it
// any other way makes no choice. Rectifying a document with nothing left to rectify says why and
// keeps the window open.
class FacturaHist : public QDialog {
    Q_OBJECT
public:
    explicit FacturaHist(Facturacion& billing);

    Frm* Frame() const { return frm; }

    QComboBox* cboTipo_SN = nullptr;  // Todos, Facturas, Simplificadas, Rectificativas, Anuladas
    QComboBox* cboAnio_SN = nullptr;  // Todos and the years the client has documents of
    QLabel* lblCabecera_TX = nullptr; // the column headings over the list
    QListWidget* lsFras_TX = nullptr;
    std::array<QRadioButton*, 2> opEmision_TX{}; // 0 print again, 1 rectify

    void opEmision_TX_Click(int index);
    void Frm_evtButtonPressed(const QString& sName);

    // One line of the list (or its headings): date, number, kind, amount due and state in fixed
    // columns.
    static QString Entry(const QString& date, const QString& number, const QString& kind,
                         const QString& amount, const QString& state);
    // What a line adds when the document was e-mailed: when and to whom, from the queue's
    // "<time sent> <addresses>" of its last accepted message; nothing when it never was.
    static QString Mailed(const QString& lastSent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the filter by kind sorts a document into.
    enum class Clase { Factura, Simplificada, Rectificativa };
    struct Documento {
        qint32 nIdFactura = 0;
        int nAnio = 0;
        Clase clase = Clase::Factura;
        bool bAnulada = false;
        QString sTexto; // the list's line
    };

    void BuildControls();
    QHBoxLayout* BuildFilters();
    void BuildList();
    QHBoxLayout* BuildChoice();
    void OrderTabs();
    void Form_Load();
    static QString ConsultaHistorial(qint32 nIdCliente);
    static Documento LeerDocumento(const Recordset& rs);
    // Fills the list with the documents the filters let through, keeping the highlighted one
    // when it stays listed, else highlighting the newest.
    void Filtrar();

    Facturacion& m_billing;
    Frm* frm = nullptr;
    std::vector<Documento> m_documentos;
};
