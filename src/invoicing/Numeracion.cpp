// Invoice and credit-note numbers: each branch's series, starting again at 1 every year.

#include "invoicing/Numeracion.h"

#include "platform/data/DataAccess.h"
#include "platform/util/Utility.h"
#include "session/G.h"

#include <QDate>
#include <QSet>
#include <algorithm>

namespace {

const QString CounterName = QStringLiteral("Factura");

qint32 Whole(const QVariant& value) {
    return Utility::ToInt32(U().SqlNumber(value));
}

// Where a series opens a year: after the numbers the branch already stored in it (an older data
// folder's, or a series set back to one used before). Without a series, the branch's one counter
// of older versions numbered with the clock's year, so it goes on from there in that year.
qint32 PrimerNumero(qint32 nIdSucursal, const QString& sSerie, qint32 nAnio) {
    const QString suffix = Numeracion::Numero(QString(), 0, nAnio).mid(4);
    const Rows stored = Db().GetRows(
        "SELECT sFactura FROM Facturas WHERE nIdSucursal=" + QString::number(nIdSucursal) +
        " AND sFactura LIKE " + Utility::Quote(QString(sSerie).replace('%', '_') + "%" + suffix));
    qint32 highest = 0;
    for (int r = 0; r < stored.RowCount(); ++r) {
        const QString number = stored(0, r).toString();
        if (!number.startsWith(sSerie) || !number.endsWith(suffix))
            continue;
        const QString digits = number.mid(sSerie.size(), number.size() - sSerie.size() - 3);
        if (!digits.isEmpty() &&
            std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            highest = std::max(highest, digits.toInt());
    }
    qint32 first = highest + 1;
    if (sSerie.isEmpty() && nAnio == QDate::currentDate().year())
        first = std::max(first, Whole(Db().GetValue(
                                    "Contadores",
                                    "sId=" + Utility::Quote(CounterName) + " AND nIdSucursal=" +
                                        QString::number(nIdSucursal) + " AND sSerie='' AND nAnio=0",
                                    "nContador")));
    return first;
}

} // namespace

QString Numeracion::SerieFacturas(qint32 nIdSucursal) {
    return GetBranchSetting("SerieFacturas", nIdSucursal).trimmed();
}

QString Numeracion::SerieRectificativas(qint32 nIdSucursal) {
    const QString sSerie = GetBranchSetting("SerieRectificativas", nIdSucursal).trimmed();
    return sSerie.isEmpty() ? SerieFacturas(nIdSucursal) : sSerie;
}

QString Numeracion::SerieSimplificadas(qint32 nIdSucursal) {
    const QString sSerie = GetBranchSetting("SerieSimplificadas", nIdSucursal).trimmed();
    return sSerie.isEmpty() ? SerieFacturas(nIdSucursal) : sSerie;
}

QString Numeracion::SerieDeVenta(qint32 nIdSucursal, const QString& sTipoFactura) {
    return sTipoFactura == QLatin1String("F2") ? SerieSimplificadas(nIdSucursal)
                                               : SerieFacturas(nIdSucursal);
}

QString Numeracion::SerieDeVenta(qint32 nIdSucursal, const QString& sTipoFactura,
                                 const QString& serieFacturas) {
    if (sTipoFactura != QLatin1String("F2"))
        return serieFacturas;
    const QString sSerie = GetBranchSetting("SerieSimplificadas", nIdSucursal).trimmed();
    return sSerie.isEmpty() ? serieFacturas : sSerie;
}

QString Numeracion::Siguiente(qint32 nIdSucursal, qint32 dFecha, bool rectificativa) {
    return Siguientes(nIdSucursal, dFecha, 1, rectificativa).front();
}

QStringList Numeracion::Siguientes(qint32 nIdSucursal, qint32 dFecha, qint32 count,
                                   bool rectificativa) {
    return SiguientesEnSerie(
        nIdSucursal, rectificativa ? SerieRectificativas(nIdSucursal) : SerieFacturas(nIdSucursal),
        dFecha, count);
}

QStringList Numeracion::SiguientesEnSerie(qint32 nIdSucursal, const QString& sSerie, qint32 dFecha,
                                          qint32 count) {
    const qint32 nAnio = dFecha > 0 ? dFecha / 10000 : QDate::currentDate().year();
    const bool alone = !Db().InTransaction();
    QStringList numeros, drawn;
    try {
        while (numeros.size() < count) {
            const qint32 faltan = count - qint32(numeros.size());
            const qint32 n = G::IncreaseSeriesCounter(
                CounterName, nIdSucursal, sSerie, nAnio,
                [&] { return PrimerNumero(nIdSucursal, sSerie, nAnio); }, faltan);
            QStringList quoted;
            for (qint32 k = 0; k < faltan; ++k) {
                drawn << Numero(sSerie, n + k, nAnio);
                quoted << Utility::Quote(drawn.back());
            }
            const Rows stored = Db().GetRows("SELECT sFactura FROM Facturas WHERE sFactura IN (" +
                                             quoted.join(',') + ")");
            QSet<QString> taken;
            for (int r = 0; r < stored.RowCount(); ++r)
                taken.insert(stored(0, r).toString());
            for (const QString& sFactura : std::as_const(drawn))
                if (!taken.contains(sFactura))
                    numeros << sFactura;
            drawn.clear();
        }
    } catch (const G::SinRespuesta& e) {
        for (qint32 k = 0; k < e.nCuantos; ++k)
            numeros << Numero(sSerie, e.nPrimero + k, nAnio);
        throw NumerosSinRespuesta(e, numeros, e.nTransaccion);
    } catch (const TvError& e) {
        // Inside the caller's transaction the numbers go back with it.
        if (!alone || !Db().ConnectionLost() || numeros.size() + drawn.size() == 0)
            throw;
        throw NumerosSinRespuesta(e, numeros + drawn, 0);
    }
    return numeros;
}

std::optional<bool> Numeracion::Guardados(const NumerosSinRespuesta& e) {
    if (e.nTransaccion == 0)
        return true;
    try {
        const QString estado =
            Db().GetRows("SELECT txid_status(" + QString::number(e.nTransaccion) + ")")
                .Value(0, 0)
                .toString();
        if (estado == "committed")
            return true;
        if (estado == "aborted")
            return false;
    } catch (const TvError&) {
        // The server does not answer yet: not known.
    }
    return std::nullopt;
}

QString Numeracion::FechaNoPermitida(qint32 nIdSucursal, qint32 dFecha, bool rectificativa) {
    return FechaNoPermitidaEnSerie(
        nIdSucursal, rectificativa ? SerieRectificativas(nIdSucursal) : SerieFacturas(nIdSucursal),
        dFecha);
}

QString Numeracion::FechaNoPermitidaEnSerie(qint32 nIdSucursal, const QString& sSerie,
                                            qint32 dFecha) {
    // Each year the series starts again, so only that year's numbers ("/26") count.
    const QString suffix = Numero(QString(), 0, dFecha / 10000).mid(4);
    // A credit note is issued on its dFacturaAbonada; dFactura is its invoice's. The two plain
    // comparisons let each date's index find the few later documents, so the check costs the same
    // on a year of invoices as on an empty series.
    const QString emision =
        "CASE WHEN COALESCE(sFacturaAbonada,'')='' THEN dFactura ELSE dFacturaAbonada END";
    const Rows later =
        Db().GetRows("SELECT sFactura," + emision + " FROM Facturas WHERE nIdSucursal=" +
                     QString::number(nIdSucursal) + " AND (dFactura>" + QString::number(dFecha) +
                     " OR dFacturaAbonada>" + QString::number(dFecha) + ") AND sFactura LIKE " +
                     Utility::Quote(QString(sSerie).replace('%', '_') + "%" + suffix) + " AND " +
                     emision + ">" + QString::number(dFecha) + " ORDER BY 2 DESC,nIdFactura DESC");
    for (int r = 0; r < later.RowCount(); ++r) {
        const QString sFactura = later(0, r).toString();
        // "A" must not take "AB0001/26" for one of its own.
        if (!sFactura.startsWith(sSerie) || !sFactura.endsWith(suffix) ||
            sFactura.size() <= sSerie.size() || !sFactura.at(sSerie.size()).isDigit())
            continue;
        return Db().Translate("No se puede emitir con fecha") + " " +
               U().FormatDate(2, dFecha).toString() + ": " +
               Db().Translate("el último documento de su serie,") + " " + sFactura + ", " +
               Db().Translate("es del") + " " + U().FormatDate(2, Whole(later(1, r))).toString() +
               ".";
    }
    return {};
}

int Numeracion::AjustarContadores() {
    const Rows rows = Db().GetRows("SELECT nIdContador,nIdSucursal,sSerie,nAnio,nContador FROM "
                                   "Contadores WHERE sSerie<>'' AND nAnio>0 AND sId=" +
                                   Utility::Quote(CounterName));
    int moved = 0;
    for (int r = 0; r < rows.RowCount(); ++r) {
        const qint32 first =
            PrimerNumero(Whole(rows(1, r)), rows(2, r).toString(), Whole(rows(3, r)));
        if (first < Whole(rows(4, r))) {
            Db().Execute("UPDATE Contadores SET nContador=" + QString::number(first) +
                         " WHERE nIdContador=" + QString::number(Whole(rows(0, r))));
            ++moved;
        }
    }
    return moved;
}

QString Numeracion::Numero(const QString& sSerie, qint32 n, qint32 nAnio) {
    return sSerie + QString("%1/%2").arg(n, 4, 10, QChar('0')).arg(nAnio % 100, 2, 10, QChar('0'));
}
