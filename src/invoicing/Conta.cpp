// The money side of a document: cash-box entries, client payments, balances and client locks.

#include "invoicing/Conta.h"

#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/BulkInsert.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <algorithm>

namespace {

using Sql::Id;

// A cancelled document owes nothing: its payments were reversed and its total leaves the balance.
// A simplified invoice replaced by a complete one is owed through that one, which counts instead;
// its payments stay where they were booked.
QString NoAnulada(const QString& facturas) {
    return "NOT EXISTS (SELECT 1 FROM FacturasAnuladas x WHERE x.nIdFactura=" + facturas +
           ".nIdFactura) AND NOT EXISTS (SELECT 1 FROM FacturasSustituidas x WHERE "
           "x.nIdFacturaSimplificada=" +
           facturas + ".nIdFactura)";
}

// The counter customer's sales are paid at the counter by whoever walked in: what is booked to it
// is nobody's balance, so its row keeps none.
const QString ConSaldo = QStringLiteral("bMostrador=0");

double Number(const QVariant& value) {
    return U().SqlNumber(value);
}

// A sum of stored cent amounts, without the binary noise that adding doubles leaves behind.
double Cents(double sum) {
    return Utility::RoundHalfAway(sum, 2);
}

} // namespace

bool Conta::EsEntrada(qint32 nIdTipoMovimiento) {
    return Number(Db().GetValue("TipoMovimiento", "nIdTipoMovimiento=" + Id(nIdTipoMovimiento),
                                "bEntrada")) != 0;
}

qint32 Conta::Caja(qint32 nIdCaja, qint32 nIdUsuario) {
    static const char* const roles[] = {"nCajaPara_Facturas", "nCajaPara_PagosClientes",
                                        "nCajaPara_EntradasCaja", "nCajaPara_SalidasCaja"};
    if (nIdCaja >= 0)
        return nIdCaja;
    // Below -4 there is no role: the entry goes to box 0, with the notice.
    if (nIdCaja < -4)
        return 0;
    return Utility::ToInt32(
        Number(Db().GetValue("Usuarios", "nIdUsuario=" + Id(nIdUsuario), roles[-nIdCaja - 1])));
}

QVariantList Conta::FilaApunteCaja(qint32 nIdCaja, qint32 nIdUsuario, const QString& sReferencia,
                                   const QString& sTitular, qint32 dApunte,
                                   qint32 nIdTipoMovimiento, bool entrada, Money nImporte,
                                   const QString& sSubcuenta, const QString& sDocumento,
                                   const QString& sObservaciones, qint32 nIdFactura,
                                   qint32 nIdTipoCobro) {
    const QString referencia = sReferencia.left(16);
    const QString titular = QString(sTitular).remove(QLatin1Char(','));
    const Money magnitud = nImporte < Money() ? -nImporte : nImporte;
    const Money importe = entrada ? magnitud : -magnitud;
    return {nIdCaja,        referencia, titular,    dApunte,        nIdUsuario, nIdTipoMovimiento,
            importe.Text(), sDocumento, sSubcuenta, sObservaciones, nIdFactura, nIdTipoCobro};
}

QVariantList Conta::FilaCobroCliente(qint32 nIdCliente, Money nImporte, qint32 nIdTipoMovimiento,
                                     bool entrada, qint32 nIdTipoCobro, qint32 nIdFactura,
                                     qint32 dFactura, const QString& sObservaciones) {
    const Money importe = entrada ? nImporte : -nImporte;
    return {nIdFactura,   dFactura,          nIdCliente,    importe.Text(),
            nIdTipoCobro, nIdTipoMovimiento, sObservaciones};
}

void Conta::SaldoCliente(qint32 nIdCliente) {
    SaldosClientes({nIdCliente});
}

void Conta::BloquearClientes(QList<qint32> clientes) {
    if (clientes.isEmpty() || !Db().IsServerDb())
        return;
    std::sort(clientes.begin(), clientes.end());
    QStringList ids;
    for (qint32 nIdCliente : clientes)
        ids << Id(nIdCliente);
    Db().LockedRows("SELECT nIdCliente FROM Clientes WHERE nIdCliente IN (" + ids.join(',') +
                        ") ORDER BY nIdCliente" + Db().LockRowsClause(),
                    clientes.size() == 1 ? "la ficha del cliente " + ids.front()
                                         : "las fichas de " + Id(clientes.size()) + " clientes");
}

void Conta::SaldosClientes(const QList<qint32>& clientes) {
    if (clientes.isEmpty())
        return;
    QStringList ids;
    for (qint32 nIdCliente : clientes)
        ids << Id(nIdCliente);
    const Rows sums =
        Db().GetRows("SELECT c.nIdCliente,(SELECT SUM(p.nImporte) FROM FacturasCobros p WHERE "
                     "p.nIdCliente=c.nIdCliente),(SELECT SUM(f.nDescuento) FROM Facturas f WHERE "
                     "f.nIdCliente=c.nIdCliente AND " +
                     NoAnulada("f") +
                     "),(SELECT SUM(f.nTotal) FROM Facturas f WHERE "
                     "f.nIdCliente=c.nIdCliente AND " +
                     NoAnulada("f") + ") FROM Clientes c WHERE c.nIdCliente IN (" + ids.join(',') +
                     ") AND c." + ConSaldo);
    if (sums.RowCount() == 0)
        return;
    QStringList saldos;
    for (int r = 0; r < sums.RowCount(); ++r) {
        const double nPagado = Cents(sums(1, r).toDouble());
        const double nFacturado =
            Cents(Cents(sums(3, r).toDouble()) - Cents(sums(2, r).toDouble()));
        saldos << QStringList{Id(Utility::ToInt32(Number(sums(0, r)))),
                              U().SqlValue(nFacturado, 0, true), U().SqlValue(nPagado, 0, true),
                              U().SqlValue(Cents(nPagado - nFacturado), 0, true)}
                      .join(',');
    }
    Db().Execute(
        "UPDATE Clientes SET nFacturado=v.column2,nPagado=v.column3,nSaldo=v.column4 FROM " +
        ValuesTable(saldos) + " WHERE nIdCliente=v.column1");
}
