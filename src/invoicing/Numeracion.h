#pragma once

#include "platform/util/TvError.h"

#include <QString>
#include <QStringList>
#include <optional>

// Numbers a desk drew alone and lost the server's connection with, before it knew that they were
// stored: they are used up, unless the server never kept them (`nTransaccion`, the server's id of
// the transaction that drew them; 0 when it had answered that it kept them).
class NumerosSinRespuesta : public TvError {
public:
    NumerosSinRespuesta(const TvError& error, QStringList numeros, qint64 transaccion)
        : TvError(error), sNumeros(std::move(numeros)), nTransaccion(transaccion) {}
    QStringList sNumeros;
    qint64 nTransaccion;
};

// The numbers of invoices and credit notes. Every branch numbers in its own series (the branch's
// setting "SerieFacturas", for example "A"; without it numbers carry no series, as before), and
// each series starts again at 1 in the year of the document's date.
namespace Numeracion {

// The series of branch nIdSucursal's invoices; empty when the branch has none.
QString SerieFacturas(qint32 nIdSucursal);
// The series of its credit notes (rectifying invoices): the setting "SerieRectificativas" (for
// example "RA"), else the invoices' own.
QString SerieRectificativas(qint32 nIdSucursal);
// The series of its simplified invoices (F2): the setting "SerieSimplificadas" (for example
// "TA"), else the invoices' own.
QString SerieSimplificadas(qint32 nIdSucursal);
// The series of a sale issued as sTipoFactura: the simplified one for "F2", else the invoices'.
QString SerieDeVenta(qint32 nIdSucursal, const QString& sTipoFactura);
// The same with the invoices' series as the caller read it (SerieFacturas) a moment before.
QString SerieDeVenta(qint32 nIdSucursal, const QString& sTipoFactura, const QString& serieFacturas);

// The next number of branch nIdSucursal for an invoice (or a credit note, rectificativa) dated
// dFecha (yyyymmdd; 0 is today), drawn as G::IncreaseSeriesCounter draws: inside the open
// transaction, to be used or given back with it, or in a short transaction of its own. A number
// already stored (another branch numbering in the same series) is passed over.
QString Siguiente(qint32 nIdSucursal, qint32 dFecha, bool rectificativa = false);
// The next count numbers at once, in order, drawn as Siguiente draws one: for a batch of
// invoices issued together.
QStringList Siguientes(qint32 nIdSucursal, qint32 dFecha, qint32 count, bool rectificativa = false);
// The same in series sSerie of the branch.
// Drawn outside a transaction on a server whose connection falls before the numbers are known to
// be stored, it raises NumerosSinRespuesta.
QStringList SiguientesEnSerie(qint32 nIdSucursal, const QString& sSerie, qint32 dFecha,
                              qint32 count);

// Whether the server kept the numbers of e, asked once reconnected; nullopt when it does not
// answer yet or no longer knows.
std::optional<bool> Guardados(const NumerosSinRespuesta& e);

// Why branch nIdSucursal may not issue an invoice (or a credit note) dated dFecha (yyyymmdd):
// a document of the same series and year was issued on a later day, so numbers would stop following
// dates. The message names that document and its date; empty when the date is allowed.
QString FechaNoPermitida(qint32 nIdSucursal, qint32 dFecha, bool rectificativa = false);
QString FechaNoPermitidaEnSerie(qint32 nIdSucursal, const QString& sSerie, qint32 dFecha);

// "A0037/26": the series, the number with at least four digits (never cut), "/" and the last two
// digits of the year.
QString Numero(const QString& sSerie, qint32 n, qint32 nAnio);

// After a backup is put back: a series counter past the highest document of its series and year
// (numbers drawn by invoices still in flight when the copy was taken, which the copy lacks) goes
// back to the one after that document, so that the restored series goes on without a gap. In
// the caller's transaction; answers how many counters moved.
int AjustarContadores();

} // namespace Numeracion
