#pragma once

#include "invoicing/Resultado.h"
#include "invoicing/core/Cobro.h"
#include "invoicing/core/DocumentoVenta.h"
#include "invoicing/core/PendingItems.h"
#include "platform/util/TvError.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <vector>

// Issuing an invoice as a call: everything the billing window, the demo's history and the
// benchmarks know about the sale goes in as values, so the call reads no window and no session
// global, shows nothing and never ends the program. Generar_Factura is its window's edge.
struct SolicitudFactura {
    qint32 nIdCliente = 0;
    // The client as the cash-box entries name their holder (the selector's name at the window).
    QString sTitular;
    double nIdEmpleado = 0;
    qint32 nIdCaja = 0;
    qint32 nIdSucursal = 0;
    qint32 nIdUsuario = 0;
    // The invoice's date (the working date at the window), yyyymmdd.
    qint32 dFactura = 0;
    // The day it is really issued, which the pet's history records (the clock's day at the
    // window; a generated history's own date).
    qint32 dEmision = 0;
    // What the payment dialog answered: customer texts, payments by type name, discount.
    CobroRecord cobro;
    // The client's pending items the payment was taken for, as the caller saw them (the window
    // when its user asked for the invoice, a generator as it wrote them). The invoice holds
    // exactly these: when the client's pending items are others (another workstation added,
    // changed, moved to another pet or invoiced one meanwhile), it is refused.
    std::vector<PendingLine> lineas;
};

// The step of issuing that refused an invoice.
enum class PasoEmision {
    // Nothing to invoice, lines that cannot be invoiced, or not the lines the caller saw.
    Pendientes,
    // No client, or a client twice in one batch.
    Cliente,
    // A box the payment goes into is in a closed period.
    Caja,
    // The customer's id admits no document for the sale (a complete invoice without a NIF).
    Documento,
    // The figures to be stored do not add up.
    Importes,
    // The register cannot sign the record, or the agency would reject it.
    Registro,
};

// A step of issuing failed and nothing of the invoice was written. Carries the error and the
// name of the procedure that reports it (as the window's error traps name them), or an empty
// name for a step whose failure ends the program without a report.
class FalloEmision : public TvError {
public:
    FalloEmision(const QString& procedimiento, const TvError& error, std::exception_ptr causa);

    const QString& Procedimiento() const { return m_procedimiento; }
    // Raises the original error again, so that a trap reports it exactly as it was raised.
    [[noreturn]] void Relanzar() const;

private:
    QString m_procedimiento;
    std::exception_ptr m_causa;
};

// Turns the request's lines, which must be every pending item of the client, into one invoice
// numbered sFactura, drawn by the caller before (a failure leaves it consumed): in one transaction
// the invoice row with the amounts of its lines, the items linked to it, the payments, the pet's
// history, the vaccinations, the client's balance, the stock, the cash-box entries, the breakdown
// and the register record. Answers the invoice's id, or the step that refused it with nothing
// written; raises FalloEmision, the transaction rolled back. Joins a transaction already open, so
// a generator may issue many invoices in one.
Resultado<qint32, PasoEmision> EmitirFactura(const SolicitudFactura& s, const QString& sFactura);

// The same for several invoices at once, one per request, numbered numeros[i] (drawn by the
// caller: Numeracion::Siguientes draws a batch's), for a generator that issues thousands: every
// step runs once for the whole batch, in the order above, with its rows written in one statement
// per table, so a batch costs about what one invoice does. Answers the ids in the order of the
// requests. A client may be in a batch once (refused otherwise); a refusal or a failure leaves
// none of the batch. EmitirFactura(s, sFactura) is the batch of one.
Resultado<std::vector<qint32>, PasoEmision>
EmitirFacturas(const std::vector<SolicitudFactura>& solicitudes, const QStringList& numeros);

// The document the request's sale gets: F1 or F2 (or why neither) for the amount due of the
// client's pending items less the discount, with the branch's limit of a simplified invoice;
// mostrador: the client is the branch's counter customer (Mostrador::EsMostrador).
DocumentoVenta DocumentoDeVenta(const SolicitudFactura& s, bool mostrador);
// The same with the client's pending lines as the caller holds them (DocumentLine::Read's order).
DocumentoVenta DocumentoDeVenta(const SolicitudFactura& s, bool mostrador,
                                const std::vector<DocumentLine>& lineas);

// The same for a caller without a window: the request's lines are checked first, in the window's
// order (none or adding up to nothing, no client, what MotivoNoFacturable refuses:
// refused with no number drawn), then the next number of the branch's series for the
// invoice's date is drawn and the invoice issued for exactly those lines, in the series of its
// document (DocumentoDeVenta).
Resultado<qint32, PasoEmision> EmitirFactura(const SolicitudFactura& s);
