#pragma once

#include "invoicing/core/Money.h"

#include <QList>
#include <QString>

// The accounting procedures: the breakdown of document lines by tax rate, and the writers of
// the money side (cash-box entries, client payments, client balances). Each has its own error
// trap: a failure is reported under its own name and the program ends, so the caller's
// transaction is never committed.
namespace Conta {

// Totals of a set of lines by tax rate: at most three rates, each with its percentage (nPo_k),
// taxable base (nBi_k) and tax (nIm_k), plus the base, tax and grand totals, unrounded (stored
// amounts are rounded where they are written). The slots take the lowest three rates in
// ascending order; lines of a fourth or later rate count nowhere (TaxBreakdown).
struct TotalesImpuesto {
    double nBi_Total = 0, nIm_Total = 0, nTotal = 0;
    double nPo_1 = 0, nBi_1 = 0, nIm_1 = 0;
    double nPo_2 = 0, nBi_2 = 0, nIm_2 = 0;
    double nPo_3 = 0, nBi_3 = 0, nIm_3 = 0;
};

// Source types: 0 a client's pending items, 1 a supplier's unordered purchases, 2 the lines of a
// purchase order, 3 a supplier invoice's lines, 4 a delivery note's lines; id names the client,
// supplier, order, invoice or delivery note. The lines are added onto t; types 3 and 4 also write
// the breakdown into the document's header row. Any other type ends the program.
void TotalesPorPorcImpuesto(qint32 nTipo, qint32 nId, TotalesImpuesto& t);

// Whether the movement type counts as money in; an unknown type does not. No trap of its own.
bool EsEntrada(qint32 nIdTipoMovimiento);

// The actual cash box that nIdCaja stands for when user nIdUsuario writes an entry: a negative
// value names one of the user's default boxes (-1 invoices, -2 client payments, -3 cash in, -4
// cash out); below -4 there is no role and the entry goes to box 0, which the caller announces.
qint32 Caja(qint32 nIdCaja, qint32 nIdUsuario);

// What the user is told before an entry goes to cash box 0.
inline const QString AvisoCajaCero =
    QStringLiteral("Está a punto de añadir un Apunte de Caja para la Caja 0.");

// The writers of the money side: a cash-box entry and a client payment (each answers its id), and
// a client's balance recomputed from its sums. A failure raises, for the document's transaction
// to roll back. The cash box is an actual one and the user is given. The amount is signed by the
// movement type: an entry's whatever its own sign, a payment's kept under money in and turned
// under any other. nIdFactura is the document whose payment the row books (0: none).
qint32 ApunteCaja(qint32 nIdCaja, qint32 nIdUsuario, const QString& sReferencia,
                  const QString& sTitular, qint32 dApunte, qint32 nIdTipoMovimiento, Money nImporte,
                  const QString& sSubcuenta, const QString& sDocumento,
                  const QString& sObservaciones, qint32 nIdFactura, qint32 nIdTipoCobro = 0);
qint32 CobroCliente(qint32 nIdCliente, Money nImporte, qint32 nIdTipoMovimiento,
                    qint32 nIdTipoCobro, qint32 nIdFactura, qint32 dFactura,
                    const QString& sObservaciones);
void SaldoCliente(qint32 nIdCliente);
// SaldoCliente for several clients at once: their sums in one query, their rows in one update.
void SaldosClientes(const QList<qint32>& clientes);
// Holds the clients' rows until the transaction ends, in the order of their keys (on a server;
// SQLite's write transaction already excludes other writers). A document takes them before
// anything else it locks: the balances are recomputed from sums, which must then see a document
// of the same client that another workstation commits meanwhile, and two documents of one client
// never hold each other's stock or register.
void BloquearClientes(QList<qint32> clientes);

// The columns and one row's values of a client payment and of a cash-box entry exactly as
// CobroCliente and ApunteCaja write them, for issuing that writes a batch's rows in one statement;
// entrada is what EsEntrada answers for the movement type. An entry's payment type (nIdTipoCobro)
// is what the till's closing counts it under; 0 is cash (money in or out by hand).
inline const QString ColumnasCobroCliente =
    QStringLiteral("nIdFactura,dFactura,nIdCliente,nImporte,nIdTipoCobro,nIdTipoMovimiento,"
                   "sObservaciones");
QString FilaCobroCliente(qint32 nIdCliente, Money nImporte, qint32 nIdTipoMovimiento, bool entrada,
                         qint32 nIdTipoCobro, qint32 nIdFactura, qint32 dFactura,
                         const QString& sObservaciones);
inline const QString ColumnasApunteCaja =
    QStringLiteral("nIdCaja,sReferencia,sTitular,dApunte,nIdUsuario,nIdTipoMovimiento,nImporte,"
                   "sDocumento,sSubcuenta,sObservaciones,nIdFactura,nIdTipoCobro");
QString FilaApunteCaja(qint32 nIdCaja, qint32 nIdUsuario, const QString& sReferencia,
                       const QString& sTitular, qint32 dApunte, qint32 nIdTipoMovimiento,
                       bool entrada, Money nImporte, const QString& sSubcuenta,
                       const QString& sDocumento, const QString& sObservaciones, qint32 nIdFactura,
                       qint32 nIdTipoCobro = 0);

// Recomputes the client's invoiced, paid and balance totals from all its invoices, credit notes
// and payments, whatever branch wrote them.
void Regenerar_SaldoCliente(qint32 nIdCliente);

} // namespace Conta
