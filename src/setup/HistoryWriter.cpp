#include "setup/HistoryWriter.h"

#include "invoicing/EmisionFactura.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <cmath>

namespace {

QString Amount(double value) {
    return U().SqlValue(value, 2, true);
}
QString Number(const QVariant& value) {
    return U().SqlValue(value, 0, true);
}
QString Id(qint64 id) {
    return QString::number(id);
}
qint32 Int(const QVariant& value) {
    return Utility::ToInt32(U().SqlNumber(value));
}
// A stored amount with its sign turned; NULL stays NULL and 0 never becomes "-0".
QString Negated(const QVariant& value) {
    const double number = U().SqlNumber(value);
    return value.isNull() ? QStringLiteral("NULL") : Number(number == 0 ? 0.0 : -number);
}

// Item columns a credit note negates on the copy that cancels the invoice.
const QStringList NegatedItemColumns = {"nPvp", "nUnidades", "nBaseImp", "nImpuestos", "nTotal"};

bool StartsWith(const QString& column, char letter) {
    return column.startsWith(QLatin1Char(letter), Qt::CaseInsensitive);
}

} // namespace

qint32 HistoryWriter::AddPendingItem(qint32 nIdCliente, qint32 nIdMascota, const QString& sCodigo,
                                     double nUnidades, const QString& sConclusion) {
    const int level =
        Int(Db().GetValue("Clientes", "nIdCliente=" + Id(nIdCliente), "nPvpUtilizado"));
    const Rows product =
        Db().GetRows("SELECT nIdProductoServicio,nPvp" + Id(level) +
                     ",nPorcIpto FROM ProductosServicios WHERE sCodigo=" + Utility::Quote(sCodigo));
    if (product.IsEmpty())
        throw TvError(ErrorNumber::Database, "No existe el producto de código " + sCodigo);
    const double price = U().SqlNumber(product(1, 0));
    const double rate = U().SqlNumber(product(2, 0));
    const double unitTax = rate / 100 * price;
    const double total = Utility::RoundHalfAway((price + unitTax) * nUnidades, 2);
    return Db().InsertRecord(
        "FacturasItems",
        "nIdCliente,nIdMascota,nIdProductoServicio,sConclusion,nUnidades,nPvp,nPorcIpto,nTotal,"
        "nBaseImp,nImpuestos",
        QStringList{Id(nIdCliente), Id(nIdMascota), Number(product(0, 0)),
                    Utility::Quote(sConclusion), Number(nUnidades), Number(price), Number(rate),
                    Amount(total), Number(price * nUnidades),
                    Number(nUnidades * (price * rate / 100))}
            .join(','));
}

qint32 HistoryWriter::Invoice(const Sale& sale) {
    if (sale.payments.size() > size_t(CobroRecord::Slots))
        throw TvError(ErrorNumber::InvalidCall,
                      "Una factura admite como mucho " + Id(CobroRecord::Slots) + " cobros");
    const Rows client = Db().GetRows("SELECT sCliente,sDomicilio,sDni FROM Clientes WHERE "
                                     "nIdCliente=" +
                                     Id(sale.nIdCliente));
    if (client.IsEmpty())
        throw TvError(ErrorNumber::Database, "No existe el cliente " + Id(sale.nIdCliente));
    // The front desk accepts the payment dialog with the client's own texts.
    SolicitudFactura s;
    s.nIdCliente = sale.nIdCliente;
    s.sTitular = client(0, 0).toString();
    s.nIdEmpleado = sale.nIdEmpleado;
    s.nIdCaja = sale.nIdCaja;
    s.nIdSucursal = sale.nIdSucursal;
    s.nIdUsuario = sale.nIdUsuario;
    s.dFactura = sale.dFactura;
    s.dEmision = sale.dFactura;
    s.cobro.sCliente = client(0, 0).toString();
    s.cobro.sDomicilio = client(1, 0).toString();
    s.cobro.sDni = client(2, 0).toString();
    for (size_t k = 0; k < sale.payments.size(); ++k) {
        s.cobro.sTipoCobro[k] = sale.payments[k].sTipoCobro;
        s.cobro.nImporte[k] = sale.payments[k].nImporte;
    }
    s.cobro.nDescuento = sale.nDescuento;
    return EmitirFactura(s, NextNumber(sale.nIdSucursal, sale.dFactura));
}

qint32 HistoryWriter::CreditNote(qint32 nIdFactura, qint32 dAbono, qint32 nIdUsuario) {
    const Rows invoice = Db().GetRows("SELECT * FROM Facturas WHERE nIdFactura=" + Id(nIdFactura));
    const Rows items =
        Db().GetRows("SELECT * FROM FacturasItems WHERE nIdFactura=" + Id(nIdFactura));
    if (invoice.IsEmpty())
        throw TvError(ErrorNumber::Database, "No existe la factura " + Id(nIdFactura));
    const QString credited = invoice.Value("sFactura", 0).toString().remove(QLatin1Char('\''));
    const qint32 nIdCliente = Int(invoice.Value("nIdCliente", 0));
    const qint32 branch = Int(invoice.Value("nIdSucursal", 0));
    const QString number = NextNumber(branch, dAbono);

    QStringList columns, values;
    for (int c = 1; c < invoice.ColumnCount(); ++c) {
        const QString name = invoice.ColumnNames()[c];
        const QVariant value = invoice(c, 0);
        columns << name;
        if (name.compare("sFactura", Qt::CaseInsensitive) == 0)
            values << Utility::Quote(number);
        else if (name.compare("sFacturaAbonada", Qt::CaseInsensitive) == 0)
            values << Utility::Quote(credited);
        else if (name.compare("dFacturaAbonada", Qt::CaseInsensitive) == 0)
            values << Id(dAbono);
        else if (StartsWith(name, 'n'))
            values << (c <= 6 ? Number(value) : Negated(value));
        else if (StartsWith(name, 's'))
            values << Utility::Quote(value.toString());
        else
            values << (value.isNull() ? QStringLiteral("NULL") : value.toString());
    }
    const qint32 nIdAbono = Db().InsertRecord("Facturas", columns.join(','), values.join(','));

    for (const bool cancelling : {true, false}) {
        for (int r = 0; r < items.RowCount(); ++r) {
            QStringList itemColumns, itemValues;
            for (int c = 1; c < items.ColumnCount(); ++c) {
                const QString name = items.ColumnNames()[c];
                const QVariant value = items(c, r);
                itemColumns << name;
                if (name.compare("nIdFactura", Qt::CaseInsensitive) == 0)
                    itemValues << (cancelling ? Id(nIdAbono) : QStringLiteral("0"));
                else if (StartsWith(name, 'n'))
                    itemValues << (cancelling &&
                                           NegatedItemColumns.contains(name, Qt::CaseInsensitive)
                                       ? Negated(value)
                                       : Number(value));
                else
                    itemValues << Utility::Quote(value.toString());
            }
            Db().InsertRecord("FacturasItems", itemColumns.join(','), itemValues.join(','));
        }
    }

    const Rows payments =
        Db().GetRows("SELECT * FROM FacturasCobros WHERE nIdFactura=" + Id(nIdFactura));
    for (int r = 0; r < payments.RowCount(); ++r)
        AddPayment(Int(payments(4, r)), -U().SqlNumber(payments(5, r)), Int(payments(7, r)), 0,
                   nIdAbono, dAbono, "Abono" + payments(2, r).toString());
    Db().DeleteRecords("MascotasProdServ", "nIdFactura=" + Id(nIdFactura));
    Db().DeleteRecords("Vacunaciones", "nIdFactura=" + Id(nIdFactura));
    RecomputeBalance(nIdCliente);

    const Rows entries =
        Db().GetRows("SELECT ApuntesCaja.nIdCaja, ApuntesCaja.nImporte, "
                     "ApuntesCaja.nIdTipoMovimiento FROM ApuntesCaja WHERE sDocumento=" +
                     Utility::Quote("Fra." + credited));
    const qint32 outgoing = Int(Db().GetValue("TipoMovimiento", "bEntrada=0"));
    const QString holder = ClientName(nIdCliente);
    for (int r = 0; r < entries.RowCount(); ++r)
        AddCashEntry(Int(entries(0, r)), "Abono", holder, dAbono, nIdUsuario, outgoing,
                     U().SqlNumber(entries(1, r)), "Fra." + number, "Fra.Abonada:" + credited);
    return nIdAbono;
}

QString HistoryWriter::PendingCondition(qint32 nIdCliente) {
    return "(nIdFactura=0 OR nIdFactura IS NULL) AND nIdCliente=" + Id(nIdCliente);
}

QString HistoryWriter::NextNumber(qint32 nIdSucursal, qint32 date) {
    const QString where = "sId='Factura' AND nIdSucursal=" + Id(nIdSucursal);
    const qint32 key = Int(Db().GetValue("Contadores", where));
    if (key == 0)
        throw TvError(ErrorNumber::Database,
                      "La sucursal " + Id(nIdSucursal) + " no tiene contador de facturas");
    const qint32 n = Int(Db().GetValue("Contadores", "nIdContador=" + Id(key), "nContador"));
    Db().UpdateRecord("Contadores", "nContador", Id(n + 1), "nIdContador=" + Id(key));
    return QString::number(n).rightJustified(4, QLatin1Char('0')) + "/" +
           QString::number(date / 10000 % 100).rightJustified(2, QLatin1Char('0'));
}

bool HistoryWriter::EsEntrada(qint32 nIdTipoMovimiento) {
    return U().SqlNumber(Db().GetValue(
               "TipoMovimiento", "nIdTipoMovimiento=" + Id(nIdTipoMovimiento), "bEntrada")) != 0;
}

void HistoryWriter::AddPayment(qint32 nIdCliente, double nImporte, qint32 nIdTipoMovimiento,
                               qint32 nIdTipoCobro, qint32 nIdFactura, qint32 dFactura,
                               const QString& sObservaciones) {
    const double sign = EsEntrada(nIdTipoMovimiento) ? 1 : -1;
    Db().InsertRecord("FacturasCobros",
                      "nIdFactura,dFactura,nIdCliente,nImporte,nIdTipoCobro,nIdTipoMovimiento,"
                      "sObservaciones",
                      QStringList{Id(nIdFactura), Id(dFactura), Id(nIdCliente),
                                  Amount(nImporte * sign), Id(nIdTipoCobro), Id(nIdTipoMovimiento),
                                  Utility::Quote(sObservaciones)}
                          .join(','));
}

void HistoryWriter::AddCashEntry(qint32 nIdCaja, const QString& sReferencia,
                                 const QString& sTitular, qint32 dApunte, qint32 nIdUsuario,
                                 qint32 nIdTipoMovimiento, double nImporte,
                                 const QString& sDocumento, const QString& sObservaciones) {
    const double sign = EsEntrada(nIdTipoMovimiento) ? 1 : -1;
    Db().InsertRecord("ApuntesCaja",
                      "nIdCaja,sReferencia,sTitular,dApunte,nIdUsuario,nIdTipoMovimiento,nImporte,"
                      "sDocumento,sSubcuenta,sObservaciones",
                      QStringList{Id(nIdCaja), Utility::Quote(sReferencia.left(16)),
                                  Utility::Quote(QString(sTitular).remove(QLatin1Char(','))),
                                  Id(dApunte), Id(nIdUsuario), Id(nIdTipoMovimiento),
                                  Amount(std::fabs(nImporte) * sign), Utility::Quote(sDocumento),
                                  Utility::Quote({}), Utility::Quote(sObservaciones)}
                          .join(','));
}

void HistoryWriter::RecomputeBalance(qint32 nIdCliente) {
    const QString where = "nIdCliente=" + Id(nIdCliente);
    const double paid = Db().SumField("FacturasCobros", "nImporte", where);
    const double invoiced =
        Db().SumField("Facturas", "nTotal", where) - Db().SumField("Facturas", "nDescuento", where);
    Db().UpdateRecord("Clientes", "nFacturado,nPagado,nSaldo",
                      Number(invoiced) + "," + Number(paid) + "," + Number(paid - invoiced), where);
}

QString HistoryWriter::ClientName(qint32 nIdCliente) {
    return Db().GetValue("Clientes", "nIdCliente=" + Id(nIdCliente), "sCliente").toString();
}
