#include "setup/HistoryWriter.h"

#include "invoicing/EmitirAbono.h"
#include "invoicing/EmitirFactura.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

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
    const Rows invoice = Db().GetRows(
        "SELECT nIdSucursal,nIdCliente FROM Facturas WHERE nIdFactura=" + Id(nIdFactura));
    if (invoice.IsEmpty())
        throw TvError(ErrorNumber::Database, "No existe la factura " + Id(nIdFactura));
    SolicitudAbono s;
    s.nIdFactura = nIdFactura;
    s.sTitular =
        Db().GetValue("Clientes", "nIdCliente=" + Id(Int(invoice(1, 0))), "sCliente").toString();
    s.nFechaTrabajo = dAbono;
    s.dAbono = dAbono;
    s.nIdUsuario = nIdUsuario;
    // In the same counter as the history's invoices, so that the next one follows it.
    s.sFactura = NextNumber(Int(invoice(0, 0)), dAbono);
    return EmitirAbono(s).nIdAbono;
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
