#include "setup/HistoryWriter.h"

#include "invoicing/core/DocumentAmounts.h"
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
    const DocumentAmounts amounts = DocumentAmounts::Of(
        DocumentLine::Read(PendingCondition(sale.nIdCliente)), Money::FromDouble(sale.nDescuento));
    const QString sFactura = NextNumber(sale.nIdSucursal, sale.dFactura);
    const Rows client = Db().GetRows("SELECT sCliente,sDomicilio,sPoblacion,sProvincia,"
                                     "sCodigoPostal,sDni FROM Clientes WHERE nIdCliente=" +
                                     Id(sale.nIdCliente));
    QStringList values{Id(sale.nIdSucursal), Id(sale.nIdCliente)};
    for (int column = 0; column < 6; ++column)
        values << Utility::Quote(client(column, 0).toString());
    values << Id(sale.nIdUsuario) << Id(sale.nIdEmpleado) << Id(sale.nIdCaja)
           << Utility::Quote(sFactura) << Id(sale.dFactura);
    values << amounts.Texts() << Amount(0);
    const qint32 nIdFactura = Db().InsertRecord(
        "Facturas",
        "nIdSucursal, nIdCliente, sCliente, sDomicilio, sPoblacion, sProvincia, sCodigoPostal, "
        "sDni, nIdUsuario, nIdEmpleado, nIdCaja, sFactura, dFactura, nPo_1, nBi_1, nIm_1, nPo_2, "
        "nBi_2, nIm_2, nPo_3, nBi_3, nIm_3, nBi_Total, nIm_Total, nTotal, nDescuento, nExento",
        values.join(','));
    Db().UpdateRecord("FacturasItems", "nIdFactura", Id(nIdFactura),
                      PendingCondition(sale.nIdCliente));

    struct Booked {
        const Payment* payment;
        qint32 nIdTipoMovimiento;
    };
    std::vector<Booked> booked;
    for (const Payment& payment : sale.payments) {
        if (payment.nImporte == 0)
            continue;
        const qint32 nIdTipoCobro =
            Int(Db().GetValue("TipoCobro", "sTipoCobro=" + Utility::Quote(payment.sTipoCobro)));
        const qint32 nIdTipoMovimiento = Int(
            Db().GetValue("TipoCobro", "nIdTipoCobro=" + Id(nIdTipoCobro), "nIdTipoMovimiento"));
        AddPayment(sale.nIdCliente, payment.nImporte, nIdTipoMovimiento, nIdTipoCobro, nIdFactura,
                   sale.dFactura, {});
        booked.push_back({&payment, nIdTipoMovimiento});
    }
    AddPetHistory(nIdFactura, sale.nIdCliente, sale.dFactura);
    AddVaccinations(nIdFactura);
    RecomputeBalance(sale.nIdCliente);
    LowerStock(nIdFactura);
    const QString holder = ClientName(sale.nIdCliente);
    for (const Booked& entry : booked)
        AddCashEntry(sale.nIdCaja, ("Cobro " + entry.payment->sTipoCobro).left(16), holder,
                     sale.dFactura, sale.nIdUsuario, entry.nIdTipoMovimiento,
                     entry.payment->nImporte, "Fra." + sFactura, "Pago Fra.");
    return nIdFactura;
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

// The billing module dates pet history by the day of issue; the demo's day of issue is the
// invoice's date.
void HistoryWriter::AddPetHistory(qint32 nIdFactura, qint32 nIdCliente, qint32 date) {
    const Rows rows = Db().GetRows(
        "SELECT nIdMascota,nIdProductoServicio,sConclusion FROM FacturasItems WHERE nIdFactura=" +
        Id(nIdFactura) + " AND nIdCliente=" + Id(nIdCliente));
    for (int r = 0; r < rows.RowCount(); ++r)
        Db().InsertRecord("MascotasProdServ",
                          "nIdMascota,dFactura,nIdProductoServicio,sConclusion,nIdFactura",
                          QStringList{Number(rows(0, r)), Id(date), Number(rows(1, r)),
                                      Utility::Quote(rows(2, r).toString()), Id(nIdFactura)}
                              .join(','));
}

void HistoryWriter::AddVaccinations(qint32 nIdFactura) {
    const Rows rows = Db().GetRows(
        "SELECT FacturasItems.nIdFacturaItem, FacturasItems.nIdProductoServicio, "
        "FacturasItems.nIdMascota, ProductosServicios.nCadencia, Facturas.dFactura FROM "
        "((FacturasItems INNER JOIN Facturas ON Facturas.nIdFactura=FacturasItems.nIdFactura) "
        "INNER JOIN ProductosServicios ON "
        "FacturasItems.nIdProductoServicio=ProductosServicios.nIdProductoServicio) WHERE "
        "ProductosServicios.bVacuna=1 AND FacturasItems.nIdFactura=" +
        Id(nIdFactura));
    for (int r = 0; r < rows.RowCount(); ++r) {
        const int days = Int(rows(3, r));
        if (days <= 0)
            continue;
        const QVariant given = rows(4, r);
        const QVariant next = U().FormatDate(3, U().AddToDate("d", days, U().FormatDate(2, given)));
        Db().InsertRecord(
            "Vacunaciones",
            "nIdFactura,nIdFacturaItem,nIdProductoServicio,nIdMascota,dVacunado,dProximaVacuna",
            QStringList{Id(nIdFactura), Number(rows(0, r)), Number(rows(1, r)), Number(rows(2, r)),
                        Number(given), Number(next)}
                .join(','));
    }
}

void HistoryWriter::LowerStock(qint32 nIdFactura) {
    const Rows rows =
        Db().GetRows("SELECT nIdProductoServicio,nUnidades FROM FacturasItems WHERE nIdFactura=" +
                     Id(nIdFactura));
    for (int r = 0; r < rows.RowCount(); ++r) {
        const QString where = "nIdProductoServicio=" + Number(rows(0, r));
        if (U().SqlNumber(Db().GetValue("ProductosServicios", where, "bProducto")) == 0)
            continue;
        const qint32 stock = Int(Db().GetValue("ProductosServicios", where, "nStockActual"));
        Db().UpdateRecord("ProductosServicios", "nStockActual", Id(stock - Int(rows(1, r))), where);
    }
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
