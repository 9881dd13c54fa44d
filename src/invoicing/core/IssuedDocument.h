#pragma once

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/Money.h"
#include "invoicing/core/TaxableBreakdown.h"

#include <QString>
#include <optional>
#include <vector>

class Rows;

// An issued invoice or credit note as its readers need it, read once by id: who issued it,
// its number and dates, what kind it is and what it rectifies, the customer as printed, the
// lines, the breakdown and totals as stored, the amount due and the payments. The register, the
// unattended export and every later output read documents through this one model instead of
// assembling them from rows and column positions of their own.
struct IssuedDocument {
    enum class Kind { Invoice, Rectifying };

    // The company's legal name and NIF, and the issuing branch's address.
    struct Issuer {
        QString sNombre, sNif, sNombreSucursal, sDomicilio, sPoblacion, sCodigoPostal, sTelefono;
    };
    // The customer as the document names it (the payment dialog's name, address and DNI; town,
    // province and post code from the client's file when it was issued).
    struct Customer {
        QString sCliente, sDomicilio, sPoblacion, sProvincia, sCodigoPostal, sDni;
        // A foreign document (sDni its number): country and type; empty for a Spanish NIF.
        QString sIdOtroPais, sIdOtroTipo;
    };
    struct Line {
        qint32 nIdFacturaItem = 0;
        QString sCodigo, sProductoServicio, sConclusion;
        // The unit price is a number: the grid takes prices with four decimals.
        double nUnidades = 0, nPvp = 0, nPorcIpto = 0;
        Money nBaseImp, nImpuestos, nTotal;
    };
    struct Payment {
        qint32 nIdTipoCobro = 0;
        // Empty for a type the clinic no longer has. A credit note's payments are stored without
        // a type; each is named by the type of the invoice's payment it returns.
        QString sTipoCobro;
        Money nImporte;
    };

    qint32 nIdFactura = 0;
    qint32 nIdSucursal = 0;
    qint32 nIdCliente = 0;
    Issuer emisor;
    QString sFactura;
    Kind kind = Kind::Invoice;
    // As stored: a credit note copies the date of the invoice it cancels into dFactura and is
    // dated itself by dFacturaAbonada (IssueDate and RectifiedDate say which is which).
    qint32 dFactura = 0;
    QString sFacturaAbonada;
    qint32 dFacturaAbonada = 0;
    // "F1" or "F2" an invoice, "R5" the rectification of an F2; empty for an older invoice (an
    // F1) or a rectification typed by its reason.
    QString sTipoFactura;
    Customer cliente;
    std::vector<Line> lineas;    // by rate, then in the order they were added
    DocumentAmounts importes;    // as the Facturas row stores them
    std::vector<Payment> cobros; // in the order they were booked
    // Base and tax per rate after the discount: what is printed, registered and exported.
    TaxableBreakdown desglose;

    // The day the document was issued (yyyymmdd).
    qint32 IssueDate() const { return kind == Kind::Invoice ? dFactura : dFacturaAbonada; }
    // The issue date of the invoice a credit note rectifies; 0 for an invoice.
    qint32 RectifiedDate() const { return kind == Kind::Invoice ? 0 : dFactura; }
    Money AmountDue() const { return importes.AmountDue(); }
    // A simplified invoice or its rectification: no recipient is named.
    bool Simplified() const { return sTipoFactura == "F2" || sTipoFactura == "R5"; }
    // Its type as the tax agency names it: F1, F2, R5, or a rectification's reason (sMotivo of
    // FacturasRectificativas, R1 to R4; R4 when it has none).
    QString AgencyType(const QString& sMotivo) const;
    Money Paid() const;
    // What the stored lines add up to; equal to importes on every document the module issued.
    DocumentAmounts FromLines() const;

    // The whole document; nothing when no document has that id.
    static std::optional<IssuedDocument> Load(qint32 nIdFactura);
    // Only what the Facturas row says (no issuer, lines, payments or breakdown), for readers that
    // go through many documents at once: HeaderColumns selected from Facturas, read from position
    // `at` of row r.
    static const QString HeaderColumns;
    static IssuedDocument FromHeader(const Rows& rows, int r, int at);
    static std::optional<IssuedDocument> LoadHeader(qint32 nIdFactura);
    // Less still, for readers of every document that name no customer (the register): its id,
    // number, dates, type and stored figures. KeyColumns selected from Facturas, read from
    // position `at` of row r.
    static const QString KeyColumns;
    static IssuedDocument FromKeyColumns(const Rows& rows, int r, int at);
    static IssuedDocument FromKeyColumns(const RowCursor& row, int at);

    // The figures of a document whose stored lines are `lines` and whose stored discount is
    // nDescuento. A credit note's lines and discount are its invoice's, turned: its figures are
    // the invoice's, turned.
    static DocumentAmounts FromLines(Kind kind, std::vector<DocumentLine> lines, Money nDescuento);

    // Spreads and writes, in one transaction of its own, the breakdown of every document that has
    // none: a history written by the setup tool, or a folder made before the table existed.
    // Answers how many documents got their rows.
    static int WriteMissingBreakdowns();
};
