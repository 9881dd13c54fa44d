// Past sales written into the database the way the front desk writes them.

#include "setup/HistoryWriter.h"

#include "invoicing/AnularFactura.h"
#include "invoicing/EmitirAbono.h"
#include "invoicing/EmitirFactura.h"
#include "invoicing/SustituirSimplificadas.h"
#include "invoicing/core/LinePricing.h"
#include "invoicing/core/PendingItems.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

namespace {

using Sql::Id;
using Sql::Int;

QString Number(const QVariant& value) {
    return U().SqlValue(value, 0, true);
}
// The name the invoice's client is known by, as the cash-box entries carry it.
QString Titular(qint32 nIdFactura) {
    const QVariant client = Db().GetValue("Facturas", "nIdFactura=" + Id(nIdFactura), "nIdCliente");
    if (Int(client) == 0)
        throw TvError(ErrorNumber::Database, "No existe la factura " + Id(nIdFactura));
    return Db().GetValue("Clientes", "nIdCliente=" + Id(Int(client)), "sCliente").toString();
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
    const LinePricing line{nUnidades, U().SqlNumber(product(1, 0)), 0,
                           U().SqlNumber(product(2, 0))};
    return Db().InsertRecord(
        "FacturasItems",
        "nIdCliente,nIdMascota,nIdProductoServicio,sConclusion,nUnidades,nPvp,nPorcIpto,nTotal,"
        "nBaseImp,nImpuestos",
        QStringList{Id(nIdCliente), Id(nIdMascota), Number(product(0, 0)),
                    Utility::Quote(sConclusion), Number(nUnidades), Number(line.unitPrice),
                    Number(line.rate), line.Total().Text(), Number(line.ExactBase()),
                    Number(line.ExactTax())}
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
    s.cobro.sDni = sale.sDocumento.isEmpty() ? client(2, 0).toString() : sale.sDocumento;
    s.cobro.sPais = sale.sPais;
    s.cobro.sTipoId = sale.sTipoId;
    for (size_t k = 0; k < sale.payments.size(); ++k) {
        s.cobro.sTipoCobro[k] = sale.payments[k].sTipoCobro;
        s.cobro.nImporte[k] = sale.payments[k].nImporte;
    }
    s.cobro.nDescuento = sale.nDescuento;
    // The client's pending items are what this history wrote for it: the items added since its
    // last invoice and those a credit note gave back.
    s.lineas = PendingItems(sale.nIdCliente).Items();
    return *EmitirFactura(s);
}

qint32 HistoryWriter::CreditNote(qint32 nIdFactura, qint32 dAbono, qint32 nIdUsuario) {
    SolicitudAbono s;
    s.nIdFactura = nIdFactura;
    s.sTitular = Titular(nIdFactura);
    s.nFechaTrabajo = dAbono;
    s.dAbono = dAbono;
    s.nIdUsuario = nIdUsuario;
    return EmitirAbono(s)->nIdAbono;
}

void HistoryWriter::Cancel(qint32 nIdFactura, qint32 dAnulacion, qint32 nIdUsuario,
                           const QString& sMotivo) {
    SolicitudAnulacion s;
    s.nIdFactura = nIdFactura;
    s.sMotivo = sMotivo;
    s.sTitular = Titular(nIdFactura);
    s.nFechaTrabajo = dAnulacion;
    s.dAnulacion = dAnulacion;
    s.nIdUsuario = nIdUsuario;
    // Read, so that a refusal, which only a fault of the history can bring, is raised.
    *AnularFactura(s);
}

qint32 HistoryWriter::Replace(const QList<qint32>& facturas, const QString& sDni, qint32 dFactura,
                              qint32 nIdUsuario) {
    const Rows invoice = Db().GetRows(
        "SELECT f.nIdSucursal,f.nIdCliente,c.sCliente,c.sDomicilio FROM Facturas f JOIN Clientes c "
        "ON c.nIdCliente=f.nIdCliente WHERE f.nIdFactura=" +
        Id(facturas.value(0)));
    if (invoice.IsEmpty())
        throw TvError(ErrorNumber::Database, "No existe la factura " + Id(facturas.value(0)));
    SolicitudSustitucion s;
    s.nIdCliente = Int(invoice(1, 0));
    s.facturas = facturas;
    s.cliente.sNombre = invoice(2, 0).toString();
    s.cliente.sDni = sDni;
    s.cliente.sDomicilio = invoice(3, 0).toString();
    s.nIdSucursal = Int(invoice(0, 0));
    s.nIdUsuario = nIdUsuario;
    s.dFactura = dFactura;
    return SustituirSimplificadas(s)->nIdFactura;
}
