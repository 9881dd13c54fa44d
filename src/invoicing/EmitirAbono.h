#pragma once

#include "invoicing/MotivoRectificacion.h"
#include "invoicing/Resultado.h"
#include "invoicing/core/Money.h"
#include "platform/util/TvError.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>
#include <vector>

// Units of one invoice line to rectify: as many decimals as the line was sold with.
struct LineaAbono {
    qint32 nIdFacturaItem = 0;
    double nUnidades = 0;
};

// An invoice line with what is left of it to rectify, for the confirmation and the history.
struct LineaAbonable {
    qint32 nIdFacturaItem = 0;
    QString sProductoServicio;
    double nUnidades = 0;  // as invoiced
    double nAbonables = 0; // not rectified yet
    double nPvp = 0;
    double nPorcIpto = 0;
};

// Everything a rectifying invoice needs, read by the caller (the billing window, the setup
// tool's history) so that issuing it reads no session state.
struct SolicitudAbono {
    qint32 nIdFactura = 0;
    // The lines and units to rectify; empty: everything not rectified yet.
    std::vector<LineaAbono> lineas;
    MotivoRectificacion motivo;
    // The client the invoice must be of; 0 takes it as it is.
    qint32 nIdCliente = 0;
    // The client's name as the cash-box entries carry it.
    QString sTitular;
    // The working date, whose year numbers the document, and the day it is issued.
    qint32 nFechaTrabajo = 0;
    qint32 dAbono = 0;
    // The cash box the money goes out of; 0 the invoice's own, a negative value one of the
    // user's default boxes.
    qint32 nIdCaja = 0;
    // Who issues it: the cash-box entries carry the user.
    qint32 nIdUsuario = 0;
    // The number drawn by the caller (a generated history numbers in its own counter); empty:
    // the next of the branch's rectifying series, drawn inside the document's transaction.
    QString sFactura;
    // The money given back and how. No amount: the most that may be (ImportesDeRectificacion),
    // and when the whole invoice is rectified at once its payments and cash-box entries reversed
    // one by one. An empty type: that of the invoice's first payment.
    std::optional<Money> nImporteDevuelto;
    QString sTipoCobro;
    // Whether the lines rectified go back to the client's pending items, to be invoiced again
    // (a wrong price or customer), or not (the goods came back, the service was not given).
    bool bLineasPendientes = true;
};

struct AbonoEmitido {
    qint32 nIdAbono = 0;
    QString sFactura;
    // Warnings for the user that did not stop the document.
    QStringList avisos;
};

// The step of rectifying that refused a credit note.
enum class PasoAbono {
    // The invoice cannot be rectified now: gone, rectified to its last unit, itself a credit note.
    Factura,
    // A line that is not the invoice's, more units than are left of it, or no line at all.
    Lineas,
    // The invoice is not the window's client's.
    Cliente,
    // A day of the credit note falls in a closed period of the box the money goes out of.
    Caja,
    // More money given back than may be, or a payment type that does not exist.
    Devolucion,
    // The caller's number is another document's, or the series admits no document on that day.
    Numero,
    // The figures to be stored do not add up.
    Importes,
    // The register cannot sign the record, or the agency would reject it.
    Registro,
};

// A rectifying invoice that failed with nothing of it written: the error met and where, and the
// accounting procedure that met it (empty: a step of the document itself), whose trap reports it.
class AbonoFallido : public TvError {
public:
    AbonoFallido(const TvError& error, const QString& where);
    AbonoFallido(const QString& procedimiento, const TvError& error, std::exception_ptr causa);
    const QString& Where() const { return m_where; }
    const QString& Procedimiento() const { return m_procedimiento; }
    // Raises the original error again, so that a trap reports it exactly as it was raised.
    [[noreturn]] void Relanzar() const;

private:
    QString m_where;
    QString m_procedimiento;
    std::exception_ptr m_causa;
};

// Issues, in one transaction under the invoice's lock, a rectifying invoice by differences of the
// units asked for: a numbered Facturas row naming the invoice with the amounts of those units
// turned (the discount in proportion), its lines negated and, when asked, the same lines pending
// again for the client, the money given back as payments and cash-box entries, the stock of the
// products returned, the pet history and vaccinations of the lines rectified to their last unit
// removed, the client's balance recomputed, the breakdown, the reason and the register's record.
// Answers the document, or the step that refused it with nothing written (also when the caller's
// number is taken); raises AbonoFallido (nothing written, a number drawn here given back).
Resultado<AbonoEmitido, PasoAbono> EmitirAbono(const SolicitudAbono& solicitud);

// Undoes, inside the caller's transaction, what issuing invoice s.nIdFactura did, as its whole
// rectification undoes it: its lines pending again for the client, its products back in stock,
// its payments and cash-box entries reversed one by one (booked to the invoice itself, by the
// request's user, working date and holder), its pet history and vaccinations removed and the
// client's balance recomputed. Answers the warnings for the user.
QStringList DeshacerFactura(const SolicitudAbono& s);

// Why the invoice cannot be rectified now (it is gone, rectified to its last unit or is itself a
// credit note); empty when it can.
QString MotivoNoAbonable(qint32 nIdFactura);

// The lines of invoice nIdFactura with what is left of each to rectify, in the order invoiced.
std::vector<LineaAbonable> LineasAbonables(qint32 nIdFactura);

// What the rectification of `lineas` of invoice nIdFactura (none: all that is left) takes off it,
// its amount due, and the most that can be given back for it: that amount, but never more than
// what was paid for the invoice and is not given back yet.
struct ImportesRectificacion {
    Money rectificado;
    Money devolucion;
};
// Refused as the rectification itself would refuse those lines.
Resultado<ImportesRectificacion, PasoAbono>
ImportesDeRectificacion(qint32 nIdFactura, const std::vector<LineaAbono>& lineas);
