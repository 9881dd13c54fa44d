// An issued invoice or credit note read once by id, as its readers need it.

#include "invoicing/core/IssuedDocument.h"

#include "platform/data/BulkInsert.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

namespace {

using Sql::Id;
using Sql::Int;

QString Text(const QVariant& value) {
    return value.toString();
}

double Number(const QVariant& value) {
    return U().SqlNumber(value);
}

} // namespace

// Spelled out rather than built from DocumentAmounts::Columns: statics of two files are made in
// no fixed order.
const QString IssuedDocument::HeaderColumns =
    "nIdFactura,nIdSucursal,nIdCliente,sFactura,dFactura,sFacturaAbonada,dFacturaAbonada,"
    "sCliente,sDomicilio,sPoblacion,sProvincia,sCodigoPostal,sDni,nPo_1,nBi_1,nIm_1,nPo_2,nBi_2,"
    "nIm_2,nPo_3,nBi_3,nIm_3,nBi_Total,nIm_Total,nTotal,nDescuento,sTipoFactura,sIdOtroPais,"
    "sIdOtroTipo";

IssuedDocument IssuedDocument::FromHeader(const Rows& rows, int r, int at) {
    IssuedDocument d;
    d.nIdFactura = Int(rows(at, r));
    d.nIdSucursal = Int(rows(at + 1, r));
    d.nIdCliente = Int(rows(at + 2, r));
    d.sFactura = Text(rows(at + 3, r)).trimmed();
    d.dFactura = Int(rows(at + 4, r));
    d.sFacturaAbonada = Text(rows(at + 5, r)).trimmed();
    d.dFacturaAbonada = Int(rows(at + 6, r));
    // A credit note is the row that names the invoice it cancels.
    d.kind = d.sFacturaAbonada.isEmpty() ? Kind::Invoice : Kind::Rectifying;
    d.cliente = {Text(rows(at + 7, r)),
                 Text(rows(at + 8, r)),
                 Text(rows(at + 9, r)),
                 Text(rows(at + 10, r)),
                 Text(rows(at + 11, r)),
                 Text(rows(at + 12, r)),
                 Text(rows(at + 27, r)).trimmed(),
                 Text(rows(at + 28, r)).trimmed()};
    d.importes = DocumentAmounts::FromStored(rows, r, at + 13);
    d.sTipoFactura = Text(rows(at + 26, r)).trimmed();
    return d;
}

const QString IssuedDocument::KeyColumns =
    "nIdFactura,sFactura,dFactura,sFacturaAbonada,dFacturaAbonada,sTipoFactura,nPo_1,nBi_1,nIm_1,"
    "nPo_2,nBi_2,nIm_2,nPo_3,nBi_3,nIm_3,nBi_Total,nIm_Total,nTotal,nDescuento";

IssuedDocument IssuedDocument::FromKeyColumns(const Rows& rows, int r, int at) {
    return FromKeyColumns(RowsCursor(rows, r), at);
}

IssuedDocument IssuedDocument::FromKeyColumns(const RowCursor& row, int at) {
    const auto whole = [&](int c) { return Utility::ToInt32(row.Number(at + c)); };
    IssuedDocument d;
    d.nIdFactura = whole(0);
    d.sFactura = row.Text(at + 1).trimmed();
    d.dFactura = whole(2);
    d.sFacturaAbonada = row.Text(at + 3).trimmed();
    d.dFacturaAbonada = whole(4);
    d.kind = d.sFacturaAbonada.isEmpty() ? Kind::Invoice : Kind::Rectifying;
    d.sTipoFactura = row.Text(at + 5).trimmed();
    d.importes = DocumentAmounts::FromStored(row, at + 6);
    return d;
}

QString IssuedDocument::AgencyType(const QString& sMotivo) const {
    if (!sTipoFactura.isEmpty())
        return sTipoFactura;
    if (kind == Kind::Invoice)
        return QStringLiteral("F1");
    return sMotivo.trimmed().isEmpty() ? QStringLiteral("R4") : sMotivo.trimmed();
}

std::optional<IssuedDocument> IssuedDocument::LoadHeader(qint32 nIdFactura) {
    const Rows header = Db().GetRows("SELECT " + HeaderColumns +
                                     " FROM Facturas WHERE nIdFactura=" + Id(nIdFactura));
    if (header.IsEmpty())
        return std::nullopt;
    return FromHeader(header, 0, 0);
}

namespace {

// A credit note books its invoice's payments again, negated and without a type (the rest of the
// suite reads type 0 as money given back). Printed, each says the type it is returned by: that
// of the invoice's payment it reverses, matched in booking order and by amount.
void NameReturnedPayments(qint32 nIdAbono, std::vector<IssuedDocument::Payment>& cobros) {
    const Rows original = Db().GetRows(
        "SELECT t.sTipoCobro,c.nImporte FROM Abonos a JOIN FacturasCobros c ON "
        "c.nIdFactura=a.nIdFacturaAbonada LEFT JOIN TipoCobro t ON t.nIdTipoCobro=c.nIdTipoCobro "
        "WHERE a.nIdFactura=" +
        Id(nIdAbono) + " ORDER BY c.nIdFacturaCobro");
    for (size_t k = 0; k < cobros.size() && int(k) < original.RowCount(); ++k) {
        IssuedDocument::Payment& cobro = cobros[k];
        if (cobro.nIdTipoCobro == 0 && cobro.sTipoCobro.isEmpty() &&
            cobro.nImporte == -Money::FromStored(original(1, int(k))))
            cobro.sTipoCobro = Text(original(0, int(k)));
    }
}

} // namespace

std::optional<IssuedDocument> IssuedDocument::Load(qint32 nIdFactura) {
    std::optional<IssuedDocument> d = LoadHeader(nIdFactura);
    if (!d)
        return d;

    // The company's first row, as every layout reads it.
    const Rows company = Db().GetRows(
        "SELECT sNombre,sNif FROM ConfiguracionEmpresa ORDER BY nIdConfiguracionEmpresa LIMIT 1");
    d->emisor.sNombre = Text(company(0, 0)).trimmed();
    d->emisor.sNif = Text(company(1, 0)).trimmed();
    const Rows branch = Db().GetRows(
        "SELECT sDato,sValor FROM ConfiguracionSucursales WHERE nIdSucursal=" + Id(d->nIdSucursal));
    const struct {
        const char* sDato;
        QString* into;
    } settings[] = {{"sNombreSucursal", &d->emisor.sNombreSucursal},
                    {"sDomicilio", &d->emisor.sDomicilio},
                    {"sPoblacion", &d->emisor.sPoblacion},
                    {"sCodigoPostal", &d->emisor.sCodigoPostal},
                    {"sTelefono1", &d->emisor.sTelefono}};
    for (int r = 0; r < branch.RowCount(); ++r)
        for (const auto& setting : settings)
            if (Text(branch(0, r)) == QLatin1String(setting.sDato))
                *setting.into = Text(branch(1, r));

    const Rows lines = Db().GetRows(
        "SELECT i.nIdFacturaItem,p.sCodigo,p.sProductoServicio,i.sConclusion,i.nUnidades,i.nPvp,"
        "i.nPorcIpto,i.nBaseImp,i.nImpuestos,i.nTotal FROM FacturasItems i LEFT JOIN "
        "ProductosServicios p ON p.nIdProductoServicio=i.nIdProductoServicio WHERE i.nIdFactura=" +
        Id(nIdFactura) + " ORDER BY i.nPorcIpto,i.nIdFacturaItem");
    for (int r = 0; r < lines.RowCount(); ++r)
        d->lineas.push_back({Int(lines(0, r)), Text(lines(1, r)), Text(lines(2, r)),
                             Text(lines(3, r)), Number(lines(4, r)), Number(lines(5, r)),
                             Number(lines(6, r)), Money::FromStored(lines(7, r)),
                             Money::FromStored(lines(8, r)), Money::FromStored(lines(9, r))});

    d->desglose = TaxableBreakdown::ReadOr(nIdFactura, d->importes);

    const Rows payments = Db().GetRows(
        "SELECT c.nIdTipoCobro,t.sTipoCobro,c.nImporte FROM FacturasCobros c LEFT JOIN TipoCobro "
        "t ON t.nIdTipoCobro=c.nIdTipoCobro WHERE c.nIdFactura=" +
        Id(nIdFactura) + " ORDER BY c.nIdFacturaCobro");
    for (int r = 0; r < payments.RowCount(); ++r)
        d->cobros.push_back(
            {Int(payments(0, r)), Text(payments(1, r)), Money::FromStored(payments(2, r))});
    if (d->kind == Kind::Rectifying)
        NameReturnedPayments(nIdFactura, d->cobros);
    return d;
}

Money IssuedDocument::Paid() const {
    Money paid;
    for (const Payment& payment : cobros)
        paid += payment.nImporte;
    return paid;
}

DocumentAmounts IssuedDocument::FromLines() const {
    std::vector<DocumentLine> lines;
    for (const Line& line : lineas)
        lines.push_back({line.nUnidades, line.nPvp, line.nPorcIpto});
    return FromLines(kind, std::move(lines), importes.nDescuento);
}

DocumentAmounts IssuedDocument::FromLines(Kind kind, std::vector<DocumentLine> lines,
                                          Money nDescuento) {
    if (kind == Kind::Invoice)
        return DocumentAmounts::Of(lines, nDescuento);
    for (DocumentLine& line : lines) {
        line.nUnidades = -line.nUnidades;
        line.nPvp = -line.nPvp;
    }
    return DocumentAmounts::Of(lines, -nDescuento).Negated();
}

int IssuedDocument::WriteMissingBreakdowns() {
    constexpr int Chunk = 500;
    QStringList columns = HeaderColumns.split(',');
    for (QString& column : columns)
        column.prepend(QLatin1String("f."));
    int written = 0;
    TransactionGuard guard;
    for (qint32 after = 0;;) {
        const Rows documents =
            Db().GetRows("SELECT " + columns.join(',') + " FROM Facturas f WHERE f.nIdFactura>" +
                         QString::number(after) +
                         " AND NOT EXISTS (SELECT 1 FROM FacturasDesglose d WHERE "
                         "d.nIdFactura=f.nIdFactura) ORDER BY f.nIdFactura LIMIT " +
                         QString::number(Chunk));
        // Bound rows a chunk at a time: a history of years gets its rows in seconds.
        BulkInsert rows("FacturasDesglose", TaxableBreakdown::Columns);
        for (int r = 0; r < documents.RowCount(); ++r) {
            const IssuedDocument d = FromHeader(documents, r, 0);
            after = d.nIdFactura;
            for (QVariantList& values : TaxableBreakdown::Of(d.importes).Values(d.nIdFactura))
                rows.Add(std::move(values));
        }
        rows.Flush();
        written += documents.RowCount();
        if (documents.RowCount() < Chunk)
            break;
    }
    guard.Commit();
    return written;
}
