#pragma once

#include "invoicing/core/Money.h"

#include <QList>
#include <QString>
#include <QVariantList>

// The money side of a document: cash-box entries, client payments and client balances, the cash
// box a user's entry goes to, and the clients' rows held while a document is written.
namespace Conta {

// Whether the movement type counts as money in; an unknown type does not. No trap of its own.
bool EsEntrada(qint32 nIdTipoMovimiento);

// The actual cash box that nIdCaja stands for when user nIdUsuario writes an entry: a negative
// value names one of the user's default boxes (-1 invoices, -2 client payments, -3 cash in, -4
// cash out); below -4 there is no role and the entry goes to box 0, which the caller announces.
qint32 Caja(qint32 nIdCaja, qint32 nIdUsuario);

// What the user is told before an entry goes to cash box 0.
inline const QString AvisoCajaCero =
    QStringLiteral("Está a punto de añadir un Apunte de Caja para la Caja 0.");

// A client's balance recomputed from its sums; a failure raises, for the document's transaction
// to roll back.
void SaldoCliente(qint32 nIdCliente);
// SaldoCliente for several clients at once: their sums in one query, their rows in one update.
void SaldosClientes(const QList<qint32>& clientes);
// Holds the clients' rows until the transaction ends, in the order of their keys (on a server;
// SQLite's write transaction already excludes other writers). A document takes them before
// anything else it locks: the balances are recomputed from sums, which must then see a document
// of the same client that another workstation commits meanwhile, and two documents of one client
// never hold each other's stock or register.
void BloquearClientes(QList<qint32> clientes);

// The columns and one row's values of a client payment and of a cash-box entry (money as its
// exact text), for the documents that write their rows through a BulkInsert. The cash box is an
// actual one and the user is given. The amount is signed by the movement type, entrada being what
// EsEntrada answers for it: an entry's whatever its own sign, a payment's kept under money in and
// turned under any other. nIdFactura is the document whose payment the row books (0: none); an
// entry's payment type (nIdTipoCobro) is what the till's closing counts it under, 0 cash (money
// in or out by hand).
inline const QString ColumnasCobroCliente =
    QStringLiteral("nIdFactura,dFactura,nIdCliente,nImporte,nIdTipoCobro,nIdTipoMovimiento,"
                   "sObservaciones");
QVariantList FilaCobroCliente(qint32 nIdCliente, Money nImporte, qint32 nIdTipoMovimiento,
                              bool entrada, qint32 nIdTipoCobro, qint32 nIdFactura, qint32 dFactura,
                              const QString& sObservaciones);
inline const QString ColumnasApunteCaja =
    QStringLiteral("nIdCaja,sReferencia,sTitular,dApunte,nIdUsuario,nIdTipoMovimiento,nImporte,"
                   "sDocumento,sSubcuenta,sObservaciones,nIdFactura,nIdTipoCobro");
QVariantList FilaApunteCaja(qint32 nIdCaja, qint32 nIdUsuario, const QString& sReferencia,
                            const QString& sTitular, qint32 dApunte, qint32 nIdTipoMovimiento,
                            bool entrada, Money nImporte, const QString& sSubcuenta,
                            const QString& sDocumento, const QString& sObservaciones,
                            qint32 nIdFactura, qint32 nIdTipoCobro = 0);

} // namespace Conta
