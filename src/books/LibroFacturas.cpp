// The books of a period read: issued invoices per document and rate, and the VAT summary.

#include "books/LibroFacturas.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <unordered_map>

namespace {

using Sql::Id;

// The rates the return has boxes for: base, rate and tax of the general regime.
struct Casillas {
    double nPorcIpto;
    const char* sCasillas;
};
constexpr Casillas TiposDelModelo[] = {
    {0, "150, 151, 152"}, {4, "01, 02, 03"},  {5, "153, 154, 155"},
    {10, "04, 05, 06"},   {21, "07, 08, 09"},
};
// Rectifications of every rate go together into the return's modification of bases and taxes.
constexpr const char* CasillasRectificaciones = "14, 15";

// The issue date of a document: an invoice's own date, a credit note's dFacturaAbonada.
QString EnPeriodo(qint32 desde, qint32 hasta) {
    const QString range = " BETWEEN " + Id(desde) + " AND " + Id(hasta);
    return "((COALESCE(f.sFacturaAbonada,'')='' AND f.dFactura" + range +
           ") OR (COALESCE(f.sFacturaAbonada,'')<>'' AND f.dFacturaAbonada" + range + "))";
}

} // namespace

Money LibroFacturas::BaseTotal() const {
    Money sum;
    for (const Resumen& r : resumen)
        sum += r.nBase;
    return sum;
}

Money LibroFacturas::CuotaTotal() const {
    Money sum;
    for (const Resumen& r : resumen)
        sum += r.nCuota;
    return sum;
}

std::pair<QString, QString> LibroFacturas::SerieNumero(const QString& sFactura) {
    const QString number = sFactura.trimmed();
    qsizetype digit = 0;
    while (digit < number.size() && !number[digit].isDigit())
        ++digit;
    if (digit == number.size())
        return {QString(), number};
    return {number.left(digit), number.mid(digit)};
}

QString LibroFacturas::Periodo(qint32 dia) {
    return QString::number(((dia / 100) % 100 + 2) / 3) + "T";
}

std::pair<qint32, qint32> LibroFacturas::UltimoTrimestre(const QDate& today) {
    const QDate thisQuarter(today.year(), (today.month() - 1) / 3 * 3 + 1, 1);
    const QDate first = thisQuarter.addMonths(-3);
    const QDate last = thisQuarter.addDays(-1);
    auto day = [](const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); };
    return {day(first), day(last)};
}

namespace {

// The closings of the period with their lines, in two statements.
std::vector<LibroFacturas::Cierre> Cierres(qint32 desde, qint32 hasta, qint32 nIdSucursal) {
    QString where = "c.dHasta>=" + Id(desde) + " AND c.dHasta<=" + Id(hasta);
    if (nIdSucursal != 0)
        where += " AND c.nIdSucursal=" + Id(nIdSucursal);
    const Rows cabeceras = Db().GetRows(
        "SELECT c.nIdCierreCaja,c.dHasta,COALESCE(t.sTipoCaja,''),c.nNumero,c.nEsperado,"
        "c.nContado,c.nDiferencia FROM CierresCaja c LEFT JOIN TipoCaja t ON "
        "t.nIdTipoCaja=c.nIdCaja WHERE " +
        where + " ORDER BY c.dHasta,c.nIdCaja,c.nNumero");
    std::vector<LibroFacturas::Cierre> cierres;
    std::unordered_map<qint32, size_t> indice;
    for (int r = 0; r < cabeceras.RowCount(); ++r) {
        indice[Utility::ToInt32(U().SqlNumber(cabeceras(0, r)))] = cierres.size();
        cierres.push_back({Utility::ToInt32(U().SqlNumber(cabeceras(1, r))),
                           cabeceras(2, r).toString(),
                           Utility::ToInt32(U().SqlNumber(cabeceras(3, r))),
                           Money::FromStored(cabeceras(4, r)),
                           Money::FromStored(cabeceras(5, r)),
                           Money::FromStored(cabeceras(6, r)),
                           {}});
    }
    if (cierres.empty())
        return cierres;
    const Rows lineas = Db().GetRows(
        "SELECT l.nIdCierreCaja,l.sTipoCobro,l.nEsperado,l.nContado FROM CierresCajaLineas l "
        "INNER JOIN CierresCaja c ON c.nIdCierreCaja=l.nIdCierreCaja WHERE " +
        where + " ORDER BY l.nIdCierreCajaLinea");
    for (int r = 0; r < lineas.RowCount(); ++r)
        cierres[indice[Utility::ToInt32(U().SqlNumber(lineas(0, r)))]].metodos.push_back(
            {lineas(1, r).toString(), Money::FromStored(lineas(2, r)),
             Money::FromStored(lineas(3, r))});
    return cierres;
}

// Base and tax summed per kind of document (rectifying or not) and rate.
using Sumas = std::map<std::pair<bool, double>, std::pair<Money, Money>>;

// The lines of the documents of one stretch of ids that the period keeps, added to the sums.
std::vector<LibroFacturas::Linea> LeerTramo(const QString& range, const QString& where,
                                            Sumas& sums) {
    using Linea = LibroFacturas::Linea;
    // The header's key columns and the customer's name and NIF: the books need neither the
    // address nor the rest, which would be most of each row's texts.
    QStringList columns = (IssuedDocument::KeyColumns + ",sCliente,sDni").split(',');
    for (QString& column : columns)
        column.prepend(QLatin1String("f."));
    const int cliente = int(columns.size()) - 2;
    // The breakdowns and reasons first, so that the headers are walked once, straight out
    // of the engine's buffers, each made into its lines as it comes.
    std::unordered_map<qint32, TaxableBreakdown> breakdowns;
    Db().ForEachRow("SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM "
                    "FacturasDesglose WHERE " +
                        range + " ORDER BY nIdFacturaDesglose",
                    [&](const RowCursor& rate) {
                        breakdowns[rate.Int(0)].tipos.push_back(
                            {rate.Number(1), Money::FromDouble(rate.Number(2)),
                             Money::FromDouble(rate.Number(3))});
                    });
    std::unordered_map<qint32, QString> reasons;
    Db().ForEachRow(
        "SELECT nIdFactura,sMotivo FROM FacturasRectificativas WHERE " + range,
        [&](const RowCursor& motivo) { reasons[motivo.Int(0)] = motivo.Text(1).trimmed(); });

    std::vector<Linea> lote;
    const auto add = [&](const RowCursor& header) {
        IssuedDocument d = IssuedDocument::FromKeyColumns(header, 0);
        d.cliente.sCliente = header.Text(cliente);
        d.cliente.sDni = header.Text(cliente + 1);
        const auto stored = breakdowns.find(d.nIdFactura);
        const TaxableBreakdown desglose =
            stored != breakdowns.end() ? stored->second : TaxableBreakdown::Of(d.importes);
        const auto reason = reasons.find(d.nIdFactura);
        const QString motivo = reason != reasons.end() ? reason->second : QString();

        Linea linea;
        linea.nIdFactura = d.nIdFactura;
        linea.dExpedicion = d.IssueDate();
        linea.dOperacion = d.IssueDate();
        linea.nEjercicio = linea.dExpedicion / 10000;
        linea.sPeriodo = LibroFacturas::Periodo(linea.dExpedicion);
        const bool abono = d.kind == IssuedDocument::Kind::Rectifying;
        linea.sTipo = d.AgencyType(motivo);
        std::tie(linea.sSerie, linea.sNumero) = LibroFacturas::SerieNumero(d.sFactura);
        linea.sNif = d.cliente.sDni.trimmed().toUpper();
        linea.sNombre = d.cliente.sCliente.trimmed();
        linea.nTotal = d.AmountDue();
        linea.sRectificada = d.sFacturaAbonada;
        for (const TaxableBreakdown::Rate& rate : desglose.tipos) {
            linea.nPorcIpto = rate.nPorcIpto;
            linea.nBase = rate.nBaseImponible;
            linea.nCuota = rate.nCuota;
            lote.push_back(linea);
            auto& sum = sums[{abono, rate.nPorcIpto}];
            sum.first += rate.nBaseImponible;
            sum.second += rate.nCuota;
        }
    };
    Db().ForEachRow("SELECT " + columns.join(',') + " FROM Facturas f WHERE f." + range + " AND " +
                        where + " ORDER BY f.nIdFactura",
                    add);
    return lote;
}

// The summary's rows: the model's usual rates always, in its order, then any other rate, then
// the rectifications.
std::vector<LibroFacturas::Resumen> Resumenes(Sumas sums) {
    std::vector<LibroFacturas::Resumen> resumen;
    for (const Casillas& tipo : TiposDelModelo)
        sums.try_emplace({false, tipo.nPorcIpto});
    for (const Casillas& tipo : TiposDelModelo)
        if (auto it = sums.find({false, tipo.nPorcIpto}); it != sums.end())
            resumen.push_back({false, tipo.nPorcIpto, QString::fromLatin1(tipo.sCasillas),
                               it->second.first, it->second.second});
    for (const auto& [key, sum] : sums) {
        const double rate = key.second; // clang 14 lets no lambda capture a structured binding
        const bool usual = std::any_of(std::begin(TiposDelModelo), std::end(TiposDelModelo),
                                       [rate](const Casillas& c) { return c.nPorcIpto == rate; });
        if (!key.first && !usual)
            resumen.push_back({false, key.second, QString(), sum.first, sum.second});
    }
    for (const auto& [key, sum] : sums)
        if (key.first)
            resumen.push_back({true, key.second, QString::fromLatin1(CasillasRectificaciones),
                               sum.first, sum.second});
    return resumen;
}

} // namespace

LibroFacturas LibroFacturas::Leer(qint32 desde, qint32 hasta, qint32 nIdSucursal) {
    std::vector<Linea> lineas;
    LibroFacturas libro = Recorrer(desde, hasta, nIdSucursal, [&](std::vector<Linea>&& lote) {
        lineas.insert(lineas.end(), std::make_move_iterator(lote.begin()),
                      std::make_move_iterator(lote.end()));
    });
    libro.lineas = std::move(lineas);
    return libro;
}

LibroFacturas LibroFacturas::Recorrer(qint32 desde, qint32 hasta, qint32 nIdSucursal,
                                      const std::function<void(std::vector<Linea>&&)>& entrega) {
    constexpr qint32 Chunk = 5000;
    LibroFacturas libro;
    libro.desde = desde;
    libro.hasta = hasta;
    // A document cancelled as issued in error was never a sale: it leaves the books whole. A
    // simplified invoice replaced by a complete one is booked as that one, so it leaves them too,
    // or the sale would count twice.
    QString periodo = EnPeriodo(desde, hasta);
    if (nIdSucursal != 0)
        periodo += " AND f.nIdSucursal=" + Id(nIdSucursal);
    const QString where = periodo +
                          " AND NOT EXISTS (SELECT 1 FROM FacturasAnuladas x WHERE "
                          "x.nIdFactura=f.nIdFactura) AND NOT EXISTS (SELECT 1 FROM "
                          "FacturasSustituidas x WHERE x.nIdFacturaSimplificada=f.nIdFactura)";

    // The period's first and last id bound the chunks, so a quarter of a long history reads only
    // its own stretch of ids. Each chunk is three statements (headers, breakdowns, reasons)
    // rather than one join, which would repeat every header on each of its rates. The same pass
    // tells whether the ids already follow the issue dates, as they do unless a workstation
    // issued with an earlier working date: then each chunk's lines go out as soon as they are
    // read, otherwise they all wait for the sort. Both are asked of the period's documents
    // before leaving out the cancelled and the replaced ones, which would cost that pass half
    // its time again: the bounds are then at worst a chunk wider, and a cancelled document out
    // of order only sends the book through the sort.
    const QString issued =
        "CASE WHEN COALESCE(f.sFacturaAbonada,'')='' THEN f.dFactura ELSE f.dFacturaAbonada END";
    const Rows bounds = Db().GetRows(
        "SELECT MIN(x.nIdFactura),MAX(x.nIdFactura),SUM(CASE WHEN x.d<x.p THEN 1 ELSE 0 END) "
        "FROM (SELECT f.nIdFactura," +
        issued + " AS d,LAG(" + issued +
        ") OVER (ORDER BY f.nIdFactura) AS p FROM Facturas f WHERE " + periodo + ") x");
    const qint32 first = Utility::ToInt32(U().SqlNumber(bounds(0, 0)));
    const qint32 last = Utility::ToInt32(U().SqlNumber(bounds(1, 0)));
    const bool enOrden = U().SqlNumber(bounds(2, 0)) == 0;
    std::vector<Linea> retenidas;
    Sumas sums;
    for (qint32 after = first - 1; first > 0 && after < last; after += Chunk) {
        const QString range = "nIdFactura>" + Id(after) + " AND nIdFactura<=" + Id(after + Chunk);
        std::vector<Linea> lote = LeerTramo(range, where, sums);
        if (lote.empty())
            continue;
        if (enOrden)
            entrega(std::move(lote));
        else
            retenidas.insert(retenidas.end(), std::make_move_iterator(lote.begin()),
                             std::make_move_iterator(lote.end()));
    }
    if (!retenidas.empty()) {
        std::stable_sort(retenidas.begin(), retenidas.end(), [](const Linea& a, const Linea& b) {
            return a.dExpedicion < b.dExpedicion;
        });
        entrega(std::move(retenidas));
    }

    libro.resumen = Resumenes(std::move(sums));
    libro.cierres = Cierres(desde, hasta, nIdSucursal);
    return libro;
}
