// Rectifying and cancelling an issued invoice without a window: header, lines, money back.

#include "invoicing/EmitirAbono.h"

#include "caja/CierreCaja.h"
#include "invoicing/Actualizaciones.h"
#include "invoicing/Conta.h"
#include "invoicing/Numeracion.h"
#include "invoicing/SustituirSimplificadas.h"
#include "invoicing/core/AmountsCheck.h"
#include "invoicing/core/DocumentAmounts.h"
#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/WhatIsLeft.h"
#include "platform/data/BulkInsert.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/util/Utility.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"
#include "register/ValidacionesAeat.h"

#include <QHash>
#include <algorithm>
#include <map>
#include <optional>

AbonoFallido::AbonoFallido(const TvError& error, const QString& where)
    : TvError(error.Number(), error.Description(), error.Statement()), m_where(where) {}

AbonoFallido::AbonoFallido(const QString& procedimiento, const TvError& error,
                           std::exception_ptr causa)
    : TvError(error.Number(), error.Description(), error.Statement()),
      m_procedimiento(procedimiento), m_causa(std::move(causa)) {}

void AbonoFallido::Relanzar() const {
    std::rethrow_exception(m_causa);
}

namespace {

using Sql::Id;
using Sql::Int;

using AbonoRechazado = Rehusado<PasoAbono>;

bool Is(const QString& column, const char* name) {
    return column.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// A stored value by its column's prefix: "n" a number (turned when asked), "s" a text, anything
// else (dates, flags) as it was read; NULL stays NULL.
QVariant Valor(const QString& column, const QVariant& value, bool negate) {
    if (value.isNull())
        return {};
    if (column.startsWith(QLatin1Char('n'), Qt::CaseInsensitive)) {
        const double number = U().SqlNumber(value);
        // A zero turned is still 0, never "-0".
        return negate && number != 0 ? -number : number;
    }
    if (column.startsWith(QLatin1Char('s'), Qt::CaseInsensitive))
        return value.toString();
    return value;
}

// The same value as a literal: a number or a quoted text; dates and flags their own text.
QString Literal(const QString& column, const QVariant& value, bool negate) {
    const QVariant valor = Valor(column, value, negate);
    if (valor.isValid() && !column.startsWith(QLatin1Char('n'), Qt::CaseInsensitive) &&
        !column.startsWith(QLatin1Char('s'), Qt::CaseInsensitive))
        return valor.toString();
    return U().SqlValue(valor, 0, true);
}

// Runs an accounting step; its failure leaves as an AbonoFallido named after the procedure whose
// trap reports it.
template <class Body> auto EnConta(const QString& procedimiento, Body&& body) {
    try {
        return body();
    } catch (const TvError& e) {
        throw AbonoFallido(procedimiento, e, std::current_exception());
    } catch (const std::exception& e) {
        throw AbonoFallido(procedimiento, TvError(0, QString::fromLocal8Bit(e.what())),
                           std::current_exception());
    }
}

// The invoice header's identifiers: a rectifying invoice keeps them as stored and turns every
// other figure.
const QStringList Identificadores = {"nIdSucursal", "nIdCliente", "nIdUsuario", "nIdEmpleado",
                                     "nIdCaja"};

// The header columns a rectifying invoice copies from the invoice it rectifies.
QStringList ColumnasCabecera() {
    return Identificadores + QStringList{"sFactura",   "sCliente",      "sDomicilio", "sPoblacion",
                                         "sProvincia", "sCodigoPostal", "sDni",       "dFactura"} +
           DocumentAmounts::Columns +
           QStringList{"nExento",     "sFacturaAbonada", "dFacturaAbonada",     "sTipoFactura",
                       "sIdOtroPais", "sIdOtroTipo",     "sFacturasSustituidas"};
}

// An invoice's lines with the columns a rectification copies, its key first.
QString LineasQuery(qint32 nIdFactura) {
    return "SELECT nIdFacturaItem,nIdFactura,nIdCliente,nIdMascota,nIdProductoServicio,"
           "sConclusion,nUnidades,nPvp,nBaseImp,nPorcIpto,nImpuestos,nTotal,nIdFacturaOrigen FROM "
           "FacturasItems WHERE nIdFactura=" +
           QString::number(nIdFactura);
}

Rows LineasDe(qint32 nIdFactura) {
    return Db().GetRows(LineasQuery(nIdFactura));
}

// The units of a line as stored, to the four decimals they are typed with.
double Units(const QVariant& value) {
    return DocumentLine::Units(U().SqlNumber(value));
}

// Each line with the units already rectified by earlier credit notes.
QString AbonablesQuery(qint32 nIdFactura) {
    return "SELECT i.nIdFacturaItem,p.sProductoServicio,i.nUnidades,i.nPvp,i.nPorcIpto,(SELECT "
           "SUM(x.nUnidades) FROM AbonosItems x WHERE x.nIdFacturaItem=i.nIdFacturaItem) FROM "
           "FacturasItems i LEFT JOIN ProductosServicios p ON "
           "p.nIdProductoServicio=i.nIdProductoServicio WHERE i.nIdFactura=" +
           QString::number(nIdFactura) + " ORDER BY i.nIdFacturaItem";
}

std::vector<LineaAbonable> AbonablesDe(const Rows& rows) {
    std::vector<LineaAbonable> lineas;
    for (int r = 0; r < rows.RowCount(); ++r) {
        const double unidades = Units(rows(2, r));
        lineas.push_back({Int(rows(0, r)), rows(1, r).toString(), unidades,
                          std::max(0.0, DocumentLine::Units(unidades - Units(rows(5, r)))),
                          U().SqlNumber(rows(3, r)), U().SqlNumber(rows(4, r))});
    }
    return lineas;
}

// Where a credit note failed: the step reached, the item and the column being copied.
QString Where(quint8 nPaso, int i, int n) {
    return "nPaso=" + QString::number(nPaso) + " i=" + QString::number(i) +
           " n=" + QString::number(n);
}

// The position of column in DocumentAmounts::Columns; -1 when it is none of them.
int AmountColumn(const QString& column) {
    for (int k = 0; k < DocumentAmounts::Columns.size(); ++k)
        if (column.compare(DocumentAmounts::Columns[k], Qt::CaseInsensitive) == 0)
            return k;
    return -1;
}

// Item columns whose figures follow the units rectified; nPvp is only turned.
bool ScaledItemColumn(const QString& column) {
    for (const char* name : {"nUnidades", "nBaseImp", "nImpuestos", "nTotal"})
        if (Is(column, name))
            return true;
    return false;
}

struct Pedida {
    LineaAbonable linea;
    double nUnidades = 0;
};

// A line's figure for the units asked of it: the stored one when they are all of the line's,
// else what those units come to, priced as any line is.
double Scaled(const QString& column, double stored, const Pedida& p) {
    if (p.nUnidades == p.linea.nUnidades || p.linea.nUnidades == 0)
        return stored;
    const LinePricing part{p.nUnidades, p.linea.nPvp, 0, p.linea.nPorcIpto};
    if (Is(column, "nUnidades"))
        return p.nUnidades;
    if (Is(column, "nBaseImp"))
        return part.ExactBase();
    if (Is(column, "nImpuestos"))
        return part.ExactTax();
    return part.Total().ToDouble();
}

// The lines asked for, checked against what is left of each; the whole rest when none is named.
std::vector<Pedida> LineasPedidas(const std::vector<LineaAbonable>& abonables,
                                  const std::vector<LineaAbono>& lineas) {
    std::vector<Pedida> pedidas;
    if (lineas.empty()) {
        for (const LineaAbonable& linea : abonables)
            if (linea.nAbonables > 0)
                pedidas.push_back({linea, linea.nAbonables});
        return pedidas;
    }
    for (const LineaAbono& pedida : lineas) {
        const double unidades = DocumentLine::Units(pedida.nUnidades);
        if (unidades == 0)
            continue;
        const auto linea =
            std::find_if(abonables.begin(), abonables.end(), [&](const LineaAbonable& l) {
                return l.nIdFacturaItem == pedida.nIdFacturaItem;
            });
        if (linea == abonables.end())
            throw AbonoRechazado(PasoAbono::Lineas,
                                 Db().Translate("La línea elegida no es de la factura."));
        if (unidades < 0 || unidades > linea->nAbonables)
            throw AbonoRechazado(PasoAbono::Lineas,
                                 Db().Translate("De") + " " + linea->sProductoServicio + " " +
                                     Db().Translate("quedan por rectificar") + " " +
                                     AmountText::Plain(linea->nAbonables) + " " +
                                     Db().Translate("unidades: no se pueden rectificar") + " " +
                                     AmountText::Plain(unidades) + ".");
        pedidas.push_back({*linea, unidades});
    }
    if (pedidas.empty())
        throw AbonoRechazado(PasoAbono::Lineas,
                             Db().Translate("No se ha elegido ninguna línea que rectificar."));
    return pedidas;
}

// Before the discount: what the units asked for add up to.
DocumentAmounts Importes(const std::vector<Pedida>& pedidas, Money nDescuento) {
    std::vector<DocumentLine> lines;
    for (const Pedida& p : pedidas)
        lines.push_back({p.nUnidades, p.linea.nPvp, p.linea.nPorcIpto});
    return DocumentAmounts::Of(lines, nDescuento);
}

// Whether some of the invoice's units were rectified before.
bool Anteriores(const std::vector<LineaAbonable>& abonables) {
    return std::any_of(abonables.begin(), abonables.end(),
                       [](const LineaAbonable& l) { return l.nAbonables < l.nUnidades; });
}

// The invoice's discount less what its earlier rectifications took of it.
Money DescuentoPendiente(qint32 nIdFactura, Money nDescuento, bool anteriores) {
    if (!anteriores)
        return nDescuento;
    return nDescuento + Money::FromDouble(Db().GetRows("SELECT SUM(f.nDescuento) FROM Facturas f "
                                                       "JOIN Abonos a ON a.nIdFactura=f.nIdFactura "
                                                       "WHERE a.nIdFacturaAbonada=" +
                                                       Id(nIdFactura))
                                              .Value(0, 0)
                                              .toDouble());
}

// The share of the invoice's discount that a rectification carries: in proportion to its total,
// and whatever is left of it when the rectification takes the invoice's last units, so that the
// rectifications of an invoice add up to its discount.
Money Descuento(qint32 nIdFactura, const DocumentAmounts& factura,
                const std::vector<Pedida>& pedidas, bool ultima, bool anteriores) {
    if (!ultima && factura.nTotal.Cents() == 0)
        return {};
    const Money pendiente = DescuentoPendiente(nIdFactura, factura.nDescuento, anteriores);
    if (ultima)
        return pendiente;
    const Money parte = factura.nDescuento.Share(Importes(pedidas, {}).nTotal, factura.nTotal,
                                                 Money::Rounding::HalfAwayFromZero);
    return std::min(parte, pendiente);
}

// What the rectification of `pedidas` carries before it is turned: the figures of those units
// with their share of the discount or, when it takes the invoice's last units after others, what
// they left of the invoice, so that together they give back exactly what it charged.
WhatIsLeft Parte(qint32 nIdFactura, const DocumentAmounts& factura,
                 const std::vector<Pedida>& pedidas, bool ultima, bool anteriores) {
    if (ultima && anteriores) {
        std::vector<double> rates;
        for (const Pedida& p : pedidas)
            rates.push_back(p.linea.nPorcIpto);
        return WhatIsLeft::Of(nIdFactura, 0, rates);
    }
    return {Importes(pedidas, Descuento(nIdFactura, factura, pedidas, ultima, anteriores)), {}};
}

bool TomaLoQueQueda(const std::vector<Pedida>& pedidas,
                    const std::vector<LineaAbonable>& abonables) {
    int abiertas = 0;
    for (const LineaAbonable& linea : abonables)
        abiertas += linea.nAbonables > 0 ? 1 : 0;
    return std::all_of(pedidas.begin(), pedidas.end(),
                       [](const Pedida& p) { return p.nUnidades == p.linea.nAbonables; }) &&
           int(pedidas.size()) == abiertas;
}

// What was paid for the invoice and is not given back yet.
Money Devolvible(qint32 nIdFactura, bool anteriores) {
    return Money::FromDouble(
        Db().GetRows("SELECT SUM(nImporte) FROM FacturasCobros WHERE nIdFactura=" + Id(nIdFactura) +
                     (anteriores ? " OR nIdFactura IN (SELECT nIdFactura FROM Abonos WHERE "
                                   "nIdFacturaAbonada=" +
                                       Id(nIdFactura) + ")"
                                 : QString()))
            .Value(0, 0)
            .toDouble());
}

// Why the invoice with these lines cannot be rectified now; empty when it can.
// invoice: its header's row as read, sFactura and dFacturaAbonada among its columns (none when it
// no longer exists).
QString Impedimento(qint32 nIdFactura, const Rows& invoice,
                    const std::vector<LineaAbonable>& lineas) {
    if (invoice.IsEmpty())
        return Db().Translate("La factura ya no existe: otro puesto la ha borrado.");
    const QString sFactura = invoice.Value("sFactura", 0).toString();
    if (U().SqlNumber(invoice.Value("dFacturaAbonada", 0)) != 0)
        return Db().Translate("La factura") + " " + sFactura + " " +
               Db().Translate("es una factura rectificativa: no se puede rectificar.");
    if (U().SqlNumber(Db().GetValue("FacturasAnuladas", "nIdFactura=" + Id(nIdFactura))) != 0)
        return Db().Translate("La factura") + " " + sFactura + " " +
               Db().Translate("está anulada: no se puede rectificar.");
    if (const QString sustituida = Sustituida(nIdFactura); !sustituida.isEmpty())
        return sustituida;
    if (std::none_of(lineas.begin(), lineas.end(),
                     [](const LineaAbonable& l) { return l.nAbonables > 0; }) &&
        U().SqlNumber(Db().GetValue("Abonos", "nIdFacturaAbonada=" + Id(nIdFactura))) != 0)
        return Db().Translate("La factura") + " " + sFactura + " " +
               Db().Translate("ya está rectificada por completo: no queda nada que rectificar.");
    return {};
}

// The document the money given back is booked to, and under what concept: the credit note, or
// the cancelled invoice itself.
struct Documento {
    qint32 nIdAbono = 0;
    QString sFactura;
    QString sFacturaAbonada;
    qint32 nIdCliente = 0;
    qint32 nIdCaja = 0;
    QString sConcepto = QStringLiteral("Abono");
    QString sReferencia = QStringLiteral("Fra.Abonada");
};

// The money a credit note gives back, collected and written in one statement per table once it
// is all known: payments first, then cash-box entries, each failure named after the writer whose
// trap reports it. Whether a movement type is money in is read once for all the rows.
class Devolucion {
public:
    Devolucion(const SolicitudAbono& s, const Documento& d, QStringList& avisos)
        : m_s(s), m_d(d), m_avisos(avisos) {}

    void Cobro(qint32 nIdCliente, Money nImporte, qint32 nIdTipoMovimiento, qint32 nIdTipoCobro,
               const QString& sObservaciones) {
        m_cobros.Add(Conta::FilaCobroCliente(nIdCliente, nImporte, nIdTipoMovimiento,
                                             Entrada(nIdTipoMovimiento), nIdTipoCobro, m_d.nIdAbono,
                                             m_s.nFechaTrabajo, sObservaciones));
    }

    // One cash-box entry, written by the request's user.
    void Apunte(qint32 nIdCaja, qint32 salida, Money nImporte, qint32 nIdTipoCobro) {
        const qint32 caja = Conta::Caja(nIdCaja, m_s.nIdUsuario);
        if (caja == 0 && !m_avisos.contains(Conta::AvisoCajaCero))
            m_avisos << Conta::AvisoCajaCero;
        m_apuntes.Add(
            Conta::FilaApunteCaja(caja, m_s.nIdUsuario, Db().Translate(m_d.sConcepto).left(16),
                                  m_s.sTitular, m_s.nFechaTrabajo, salida, Entrada(salida),
                                  nImporte, {}, Db().Translate("Fra.") + m_d.sFactura,
                                  Db().Translate(m_d.sReferencia) + ":" + m_d.sFacturaAbonada,
                                  m_d.nIdAbono, nIdTipoCobro));
    }

    // Every movement type at once (a handful), read with the rows being given back instead of
    // one type at a time; rows: nIdTipoMovimiento, bEntrada in key order.
    void Tipos(const Rows& rows) {
        m_salida = 0;
        for (int r = 0; r < rows.RowCount(); ++r) {
            const bool entrada = U().SqlNumber(rows(1, r)) != 0;
            m_entrada.insert(Int(rows(0, r)), entrada);
            // A type that says nothing of its direction is no way out, as bEntrada=false reads.
            if (!entrada && !rows(1, r).isNull() && *m_salida == 0)
                m_salida = Int(rows(0, r));
        }
        m_todos = true;
    }

    // The movement type of money going out, read once; each ask without one adds the notice.
    qint32 Salida() {
        if (!m_salida)
            m_salida = Int(Db().GetValue("TipoMovimiento", "bEntrada=false"));
        if (*m_salida == 0)
            m_avisos << Db().Translate("No hay ningún tipo de movimiento de salida.");
        return *m_salida;
    }

    void Escribir() {
        EnConta("Conta::Generar_CobroCliente", [&] { m_cobros.Flush(); });
        EnConta("Conta::Generar_ApunteCaja", [&] { m_apuntes.Flush(); });
    }

private:
    bool Entrada(qint32 nIdTipoMovimiento) {
        if (!m_todos && !m_entrada.contains(nIdTipoMovimiento))
            m_entrada.insert(nIdTipoMovimiento, Conta::EsEntrada(nIdTipoMovimiento));
        return m_entrada.value(nIdTipoMovimiento);
    }

    const SolicitudAbono& m_s;
    const Documento& m_d;
    QStringList& m_avisos;
    BulkInsert m_cobros{"FacturasCobros", Conta::ColumnasCobroCliente};
    BulkInsert m_apuntes{"ApuntesCaja", Conta::ColumnasApunteCaja};
    QHash<qint32, bool> m_entrada;
    std::optional<qint32> m_salida;
    bool m_todos = false;
};

// The invoice's payments and cash-box entries reversed one by one.
void DevolverComoSeCobro(const SolicitudAbono& s, const Documento& d, QStringList& avisos) {
    Devolucion devolucion(s, d, avisos);
    const std::vector<Rows> leidas = Db().GetRowsEach(
        {"SELECT nIdCliente,nImporte,nIdTipoMovimiento,sObservaciones FROM FacturasCobros WHERE "
         "nIdFactura=" +
             Id(s.nIdFactura),
         "SELECT nIdCaja,nImporte,nIdTipoCobro FROM ApuntesCaja WHERE nIdFactura=" +
             Id(s.nIdFactura),
         "SELECT nIdTipoMovimiento,bEntrada FROM TipoMovimiento ORDER BY nIdTipoMovimiento"});
    devolucion.Tipos(leidas[2]);
    const Rows& cobros = leidas[0];
    for (int r = 0; r < cobros.RowCount(); ++r)
        devolucion.Cobro(Int(cobros(0, r)), -Money::FromStored(cobros(1, r)), Int(cobros(2, r)), 0,
                         Db().Translate(d.sConcepto) + cobros(3, r).toString());
    const Rows& apuntes = leidas[1];
    const qint32 salida = devolucion.Salida();
    for (int r = 0; r < apuntes.RowCount(); ++r)
        devolucion.Apunte(Int(apuntes(0, r)), salida, Money::FromStored(apuntes(1, r)),
                          Int(apuntes(2, r)));
    devolucion.Escribir();
}

// One amount given back by one payment type, out of one cash box.
void DevolverEn(const SolicitudAbono& s, const Documento& d, const QString& sTipoCobro,
                Money importe, Devolucion& devolucion) {
    const Rows tipo =
        Db().GetRows("SELECT nIdTipoMovimiento,nIdTipoCobro,nIdCaja FROM TipoCobro WHERE "
                     "sTipoCobro=" +
                     U().SqlValue(sTipoCobro, 0, true));
    if (tipo.IsEmpty())
        throw AbonoRechazado(PasoAbono::Devolucion,
                             Db().Translate("No existe la forma de pago") + " " + sTipoCobro + ".");
    devolucion.Cobro(d.nIdCliente, -importe, Int(tipo(0, 0)), Int(tipo(1, 0)),
                     Db().Translate("Abono") + " " + sTipoCobro);
    // Money goes back out of the box the payment type books into, as it came in.
    const qint32 propia = Int(tipo(2, 0));
    devolucion.Apunte(propia != 0      ? propia
                      : s.nIdCaja != 0 ? s.nIdCaja
                                       : d.nIdCaja,
                      devolucion.Salida(), importe, Int(tipo(1, 0)));
}

// A refund of `importe` the desk gave no payment type for: over the types the invoice was paid
// in, each its share of what they still hold of it (paid less what earlier rectifications gave
// back in that type), the last type the cents the shares leave; all in the first type paid when
// none holds anything.
std::vector<std::pair<QString, Money>> Reparto(qint32 nIdFactura, Money importe) {
    const Rows tipos = Db().GetRows(
        "SELECT t.sTipoCobro,SUM(c.nImporte),MIN(c.nIdFacturaCobro) FROM FacturasCobros c JOIN "
        "TipoCobro t ON t.nIdTipoCobro=c.nIdTipoCobro WHERE c.nIdFactura=" +
        Id(nIdFactura) +
        " OR c.nIdFactura IN (SELECT nIdFactura FROM Abonos WHERE "
        "nIdFacturaAbonada=" +
        Id(nIdFactura) + ") GROUP BY t.sTipoCobro ORDER BY 3");
    std::vector<std::pair<QString, Money>> held;
    qint64 total = 0;
    for (int r = 0; r < tipos.RowCount(); ++r)
        if (const Money m = Money::FromStored(tipos(1, r)); m > Money()) {
            held.emplace_back(tipos(0, r).toString(), m);
            total += m.Cents();
        }
    if (held.empty())
        return {{tipos.IsEmpty() ? QString() : tipos(0, 0).toString(), importe}};
    std::vector<std::pair<QString, Money>> parts;
    Money left = importe;
    for (size_t k = 0; k + 1 < held.size(); ++k) {
        const Money share = importe.Share(held[k].second, Money::FromCents(total),
                                          Money::Rounding::HalfAwayFromZero);
        parts.emplace_back(held[k].first, share);
        left = left - share;
    }
    parts.emplace_back(held.back().first, left);
    return parts;
}

void Devolver(const SolicitudAbono& s, const Documento& d, Money importe, QStringList& avisos) {
    if (importe.Cents() == 0)
        return;
    Devolucion devolucion(s, d, avisos);
    if (!s.sTipoCobro.isEmpty()) {
        DevolverEn(s, d, s.sTipoCobro, importe, devolucion);
    } else {
        for (const auto& [sTipoCobro, part] : Reparto(s.nIdFactura, importe))
            if (part.Cents() != 0)
                DevolverEn(s, d, sTipoCobro, part, devolucion);
    }
    devolucion.Escribir();
}

// Where a credit note's number comes from.
struct Serie {
    qint32 nIdSucursal = 0;
    QString sSerie;
};

// The credit note's number: the caller's, refused when another document carries it; else drawn
// inside the transaction, so that the counter stays locked until the commit and a failure gives
// the number back.
QString Numero(const SolicitudAbono& s, const Serie& serie) {
    if (s.sFactura.isEmpty())
        return Numeracion::SiguientesEnSerie(serie.nIdSucursal, serie.sSerie, s.nFechaTrabajo, 1)
            .front();
    if (Int(Db().GetValue("Facturas", "sFactura=" + U().SqlValue(s.sFactura, 0, true))) != 0)
        throw AbonoRechazado(
            PasoAbono::Numero,
            Db().Translate("El número") + " " + s.sFactura + " " +
                Db().Translate("ya es el de otro documento: no se emite la factura "
                               "rectificativa."));
    return s.sFactura;
}

// The pet history and vaccinations of the lines that this rectification takes to their last unit.
void QuitarHistoria(qint32 nIdFactura, const Rows& items, const std::vector<Pedida>& pedidas,
                    bool entera) {
    if (entera) {
        Db().DeleteRecords("MascotasProdServ", "nIdFactura=" + Id(nIdFactura), 0);
        Db().DeleteRecords("Vacunaciones", "nIdFactura=" + Id(nIdFactura), 0);
        return;
    }
    for (const Pedida& p : pedidas) {
        if (p.nUnidades < p.linea.nAbonables)
            continue;
        for (int r = 0; r < items.RowCount(); ++r) {
            if (Int(items.Value("nIdFacturaItem", r)) != p.linea.nIdFacturaItem)
                continue;
            // The history keeps no line id: one row of the line's pet and product goes.
            Db().Execute(
                "DELETE FROM MascotasProdServ WHERE nIdMascotaProdServ=(SELECT "
                "MIN(nIdMascotaProdServ) FROM MascotasProdServ WHERE nIdFactura=" +
                Id(nIdFactura) + " AND nIdMascota=" + Id(Int(items.Value("nIdMascota", r))) +
                " AND nIdProductoServicio=" + Id(Int(items.Value("nIdProductoServicio", r))) + ")");
        }
        Db().DeleteRecords("Vacunaciones", "nIdFacturaItem=" + Id(p.linea.nIdFacturaItem), 0);
    }
}

// The lines asked for copied from the invoice's: turned, as the lines of credit note `abono`, or
// (abono 0) as pending items of the client again, marked as come back from document `origen`;
// one statement per table. i and n follow the item and the column copied; when the writing
// fails, i is the first item the failed statement copies.
void CopiarLineas(const Rows& items, const std::vector<Pedida>& pedidas, qint32 abono,
                  qint32 origen, int& i, int& n) {
    const bool cancelling = abono != 0;
    const QStringList columns = items.ColumnNames().mid(1);
    BulkInsert lineas("FacturasItems", columns.join(','));
    BulkInsert abonadas("AbonosItems", "nIdFactura,nIdFacturaItem,nUnidades");
    int primera = -1;
    for (const Pedida& p : pedidas) {
        for (i = 0; i < items.RowCount(); ++i) {
            if (Int(items.Value("nIdFacturaItem", i)) != p.linea.nIdFacturaItem)
                continue;
            if (primera < 0)
                primera = i;
            QVariantList values;
            for (n = 1; n < items.ColumnCount(); ++n) {
                const QString& column = columns[n - 1];
                if (Is(column, "nIdFactura"))
                    values << abono;
                else if (Is(column, "nIdFacturaOrigen"))
                    values << (cancelling ? 0 : origen);
                else if (ScaledItemColumn(column) && !items(n, i).isNull())
                    values << Valor(column, Scaled(column, U().SqlNumber(items(n, i)), p),
                                    cancelling);
                else
                    values << Valor(column, items(n, i), cancelling && Is(column, "nPvp"));
            }
            lineas.Add(std::move(values));
            if (cancelling)
                abonadas.Add({abono, p.linea.nIdFacturaItem, p.nUnidades});
        }
    }
    i = std::max(primera, 0);
    lineas.Flush();
    abonadas.Flush();
}

// The units come back to the shelf; taken again only if the pending lines are invoiced. In one
// statement, product by product in the order of their keys, as an invoice takes them, so that on
// a server the two never hold one product each while waiting for the other's.
void DevolverStock(const Rows& items, const std::vector<Pedida>& pedidas) {
    std::map<qint32, double> devueltas;
    for (const Pedida& p : pedidas)
        for (int i = 0; i < items.RowCount(); ++i)
            if (Int(items.Value("nIdFacturaItem", i)) == p.linea.nIdFacturaItem)
                devueltas[Int(items.Value("nIdProductoServicio", i))] += p.nUnidades;
    if (devueltas.empty())
        return;
    QStringList filas;
    for (const auto& [producto, unidades] : devueltas)
        filas << Id(producto) + "," + Utility::NumberText(DocumentLine::Units(unidades));
    Db().Execute("UPDATE ProductosServicios SET nStockActual=nStockActual+v.column2 FROM " +
                 ValuesTable(filas) + " WHERE bProducto=True AND nIdProductoServicio=v.column1");
}

// The rectifying invoice's header, column by column: the identifiers as stored, every other
// figure turned (the part's own amounts when it is not the whole invoice), a new number, the
// rectified one named. n follows the column copied.
void InsertarCabecera(const SolicitudAbono& s, const Serie& serie, const Rows& factura,
                      const DocumentAmounts& parte, bool entera, Documento& d, int& n) {
    const QStringList cabecera = ColumnasCabecera();
    d.sFacturaAbonada = factura.Value("sFactura", 0).toString().remove(QLatin1Char('\''));
    const QStringList importesParte = parte.Negated().Texts();
    QStringList values;
    for (n = 0; n < cabecera.size(); ++n) {
        const QString& column = cabecera[n];
        const int importe = AmountColumn(column);
        if (Is(column, "sFactura")) {
            d.sFactura = Numero(s, serie);
            values << U().SqlValue(d.sFactura, 0, true);
        } else if (Is(column, "sFacturaAbonada")) {
            values << U().SqlValue(d.sFacturaAbonada, 0, true);
        } else if (Is(column, "dFacturaAbonada")) {
            values << Id(s.dAbono);
        } else if (Is(column, "sTipoFactura")) {
            // A simplified invoice is rectified by an R5; the others by their reason.
            values << U().SqlValue(factura(n, 0).toString().trimmed() == "F2" ? QStringLiteral("R5")
                                                                              : QString(),
                                   0, true);
        } else if (Is(column, "sFacturasSustituidas")) {
            // The rectification replaces nothing: the invoice it rectifies did.
            values << U().SqlValue(QString(), 0, true);
        } else if (!entera && importe >= 0) {
            values << importesParte[importe];
        } else {
            values << Literal(column, factura(n, 0), !Identificadores.contains(column));
        }
    }
    d.nIdAbono = Db().InsertRecord("Facturas", cabecera.join(','), values.join(','));
}

// Neither day of the credit note may fall in a closed period of the box the money goes out of,
// and the invoice must be the window's client's.
void ComprobarCajaYCliente(const SolicitudAbono& s, const Documento& d) {
    const qint32 caja = s.nIdCaja != 0 ? Conta::Caja(s.nIdCaja, s.nIdUsuario) : d.nIdCaja;
    for (const qint32 dia : {s.dAbono, s.nFechaTrabajo}) {
        if (const QString cerrada = CierreCaja::PeriodoCerrado(caja, dia); !cerrada.isEmpty())
            throw AbonoRechazado(PasoAbono::Caja, cerrada);
        // Both days are usually the same one.
        if (s.nFechaTrabajo == s.dAbono)
            break;
    }
    if (s.nIdCliente != 0 && s.nIdCliente != d.nIdCliente)
        throw AbonoRechazado(PasoAbono::Cliente,
                             Db().Translate("La factura elegida no es del cliente de la "
                                            "ventana: no se emite la factura rectificativa."));
}

// What a credit note takes from its invoice, read and decided under the invoice's lock.
struct Rectificacion {
    Rows factura;
    Rows items;
    std::vector<Pedida> pedidas;
    bool anteriores = false;
    bool ultima = false;
    // The whole invoice at once is its exact opposite, copied from what it stores. The last
    // lines after other parts are not, even when each of them is taken whole.
    bool entera = false;
    // The invoice's stored figures, and what this note carries of them before it is turned.
    DocumentAmounts importes;
    WhatIsLeft resto;
    // What was paid for the invoice and not given back yet, and the most this note gives back.
    Money pagado;
    Money devolvible;
    Documento d;
};

// The most the credit note may give back; an amount asked for outside it is refused.
void DevolucionPermitida(const SolicitudAbono& s, Rectificacion& r) {
    r.pagado = Devolvible(s.nIdFactura, r.anteriores);
    r.devolvible = std::max(Money(), std::min(r.resto.importes.AmountDue(), r.pagado));
    if (s.nImporteDevuelto && (*s.nImporteDevuelto < Money() || *s.nImporteDevuelto > r.devolvible))
        throw AbonoRechazado(PasoAbono::Devolucion,
                             Db().Translate("El importe a devolver no puede superar") + " " +
                                 r.devolvible.Euros() + ".");
}

// The written credit note's figures against its lines, and the agency's rules over the record
// it is about to get. Answers that record, for the register to write.
std::vector<RegistroFacturacion::Registro> ComprobarAntesDeRegistrar(qint32 nIdAbono) {
    Actualizaciones::LeerAntesDeRegistrar({nIdAbono});
    if (const QString descuadre = AmountsCheck::BeforeCommit({nIdAbono}); !descuadre.isEmpty())
        throw AbonoRechazado(PasoAbono::Importes,
                             descuadre + " " +
                                 Db().Translate("No se emite la factura rectificativa."));
    std::vector<RegistroFacturacion::Registro> registro =
        RegistroFacturacion::Provisionales({nIdAbono}, QDateTime::currentDateTime());
    if (const QString regla = ValidacionesAeat::AntesDeEmitir(registro); !regla.isEmpty())
        throw AbonoRechazado(PasoAbono::Registro,
                             regla + ". " +
                                 Db().Translate("No se emite la factura rectificativa."));
    return registro;
}

// The branch of the invoice and its series of rectifications, once the credit note's day and the
// register allow a document.
Serie SerieDelAbono(const SolicitudAbono& s) {
    const qint32 nIdSucursal =
        Int(Db().GetValue("Facturas", "nIdFactura=" + Id(s.nIdFactura), "nIdSucursal"));
    const Serie serie{nIdSucursal, Numeracion::SerieRectificativas(nIdSucursal)};
    if (const QString fecha =
            Numeracion::FechaNoPermitidaEnSerie(nIdSucursal, serie.sSerie, s.dAbono);
        !fecha.isEmpty())
        throw AbonoRechazado(PasoAbono::Numero, fecha);
    // A register that cannot sign its record would leave the credit note without one.
    if (const QString firma = FirmaRegistro::Problema(); !firma.isEmpty())
        throw AbonoRechazado(PasoAbono::Registro, firma);
    return serie;
}

// The invoice as it is now, under its lock: refused when it cannot be rectified, else what the
// request takes from it.
Rectificacion Leer(const SolicitudAbono& s, quint8& nPaso) {
    Rectificacion r;
    std::vector<Rows> leidas =
        Db().GetRowsEach({"SELECT " + ColumnasCabecera().join(',') +
                              " FROM Facturas WHERE nIdFactura=" + Id(s.nIdFactura),
                          LineasQuery(s.nIdFactura), AbonablesQuery(s.nIdFactura)});
    r.factura = std::move(leidas[0]);
    r.items = std::move(leidas[1]);
    nPaso = 2;
    // Checked under the lock, not only when the history was filled.
    const std::vector<LineaAbonable> abonables = AbonablesDe(leidas[2]);
    if (const QString rechazo = Impedimento(s.nIdFactura, r.factura, abonables); !rechazo.isEmpty())
        throw AbonoRechazado(PasoAbono::Factura, rechazo);
    r.d.nIdCliente = Int(r.factura.Value("nIdCliente", 0));
    r.d.nIdCaja = Int(r.factura.Value("nIdCaja", 0));
    ComprobarCajaYCliente(s, r.d);
    Conta::BloquearClientes({r.d.nIdCliente});
    r.anteriores = Anteriores(abonables);
    r.pedidas = LineasPedidas(abonables, s.lineas);
    r.ultima = TomaLoQueQueda(r.pedidas, abonables);
    r.entera = r.ultima && !r.anteriores;
    r.importes = IssuedDocument::LoadHeader(s.nIdFactura)->importes;
    r.resto = Parte(s.nIdFactura, r.importes, r.pedidas, r.ultima, r.anteriores);
    DevolucionPermitida(s, r);
    return r;
}

// The credit note's header and its link to the invoice, its lines (and, when they are to be
// invoiced again, the same lines as pending items that name it) and the units back on the shelf.
void EscribirDocumento(const SolicitudAbono& s, const Serie& serie, Rectificacion& r, quint8& nPaso,
                       int& i, int& n) {
    InsertarCabecera(s, serie, r.factura, r.resto.importes, r.entera, r.d, n);
    Db().InsertRecord("Abonos", "nIdFactura,nIdFacturaAbonada",
                      Id(r.d.nIdAbono) + "," + Id(s.nIdFactura));
    nPaso = 3;
    CopiarLineas(r.items, r.pedidas, r.d.nIdAbono, 0, i, n);
    if (s.bLineasPendientes)
        CopiarLineas(r.items, r.pedidas, 0, r.d.nIdAbono, i, n);
    nPaso = 4;
    DevolverStock(r.items, r.pedidas);
}

// The money back, the history and balance that follow, the breakdown and the register's record.
void Completar(const SolicitudAbono& s, const Rectificacion& r, AbonoEmitido& resultado) {
    // Copied as it was paid unless that was more than the invoice came to (a client who paid
    // what the lines show, rounded one by one, a cent above their priced sum): then what the
    // rectification gives back is shared over the types as they were paid.
    if (r.entera && !s.nImporteDevuelto && s.sTipoCobro.isEmpty() &&
        r.pagado <= r.resto.importes.AmountDue())
        DevolverComoSeCobro(s, r.d, resultado.avisos);
    else
        Devolver(s, r.d, s.nImporteDevuelto.value_or(r.devolvible), resultado.avisos);
    QuitarHistoria(s.nIdFactura, r.items, r.pedidas, r.entera);
    EnConta("Conta::Regenerar_SaldoCliente", [&] { Conta::SaldoCliente(r.d.nIdCliente); });
    Actualizaciones::Actualizar_Desglose(
        r.d.nIdAbono, s.nIdFactura, s.motivo,
        r.ultima && r.anteriores ? std::optional(r.resto.desglose.Negated()) : std::nullopt,
        r.importes);
    RegistroFacturacion::Registrar(ComprobarAntesDeRegistrar(r.d.nIdAbono));
}

} // namespace

QStringList DeshacerFactura(const SolicitudAbono& s) {
    const Rows items = LineasDe(s.nIdFactura);
    const Rows factura = Db().GetRows("SELECT sFactura,nIdCliente,nIdCaja FROM Facturas WHERE "
                                      "nIdFactura=" +
                                      Id(s.nIdFactura));
    Documento d;
    d.nIdAbono = s.nIdFactura;
    d.sFactura = factura(0, 0).toString();
    d.sFacturaAbonada = d.sFactura;
    d.nIdCliente = Int(factura(1, 0));
    d.nIdCaja = Int(factura(2, 0));
    d.sConcepto = QStringLiteral("Anulación");
    d.sReferencia = QStringLiteral("Fra.Anulada");
    const std::vector<Pedida> todas = LineasPedidas(LineasAbonables(s.nIdFactura), {});
    int i = 0;
    int n = 0;
    CopiarLineas(items, todas, 0, s.nIdFactura, i, n);
    DevolverStock(items, todas);
    QStringList avisos;
    DevolverComoSeCobro(s, d, avisos);
    QuitarHistoria(s.nIdFactura, items, todas, true);
    EnConta("Conta::Regenerar_SaldoCliente", [&] { Conta::SaldoCliente(d.nIdCliente); });
    return avisos;
}

std::vector<LineaAbonable> LineasAbonables(qint32 nIdFactura) {
    return AbonablesDe(Db().GetRows(AbonablesQuery(nIdFactura)));
}

Resultado<ImportesRectificacion, PasoAbono>
ImportesDeRectificacion(qint32 nIdFactura, const std::vector<LineaAbono>& lineas) {
    return Responder<PasoAbono>([&] {
        const std::optional<IssuedDocument> factura = IssuedDocument::LoadHeader(nIdFactura);
        if (!factura)
            return ImportesRectificacion{};
        const std::vector<LineaAbonable> abonables = LineasAbonables(nIdFactura);
        const std::vector<Pedida> pedidas = LineasPedidas(abonables, lineas);
        const bool anteriores = Anteriores(abonables);
        const WhatIsLeft parte = Parte(nIdFactura, factura->importes, pedidas,
                                       TomaLoQueQueda(pedidas, abonables), anteriores);
        const Money rectificado = parte.importes.AmountDue();
        return ImportesRectificacion{
            rectificado,
            std::max(Money(), std::min(rectificado, Devolvible(nIdFactura, anteriores)))};
    });
}

QString MotivoNoAbonable(qint32 nIdFactura) {
    return Impedimento(nIdFactura,
                       Db().GetRows("SELECT sFactura,dFacturaAbonada FROM Facturas WHERE "
                                    "nIdFactura=" +
                                    Id(nIdFactura)),
                       LineasAbonables(nIdFactura));
}

Resultado<AbonoEmitido, PasoAbono> EmitirAbono(const SolicitudAbono& s) {
    quint8 nPaso = 0;
    int i = 0;
    int n = 0;
    try {
        return Responder<PasoAbono>([&] {
            AbonoEmitido resultado;
            Db().Batched([&] {
                nPaso = 0;
                i = 0;
                n = 0;
                const Serie serie = SerieDelAbono(s);
                TransactionGuard guard;
                // On a server two workstations' transactions run side by side: the second
                // rectification of the same invoice waits here until the first has committed, then
                // sees what is left.
                Db().LockForTransaction("Facturas", s.nIdFactura);
                nPaso = 1;
                Rectificacion r = Leer(s, nPaso);
                EscribirDocumento(s, serie, r, nPaso, i, n);
                resultado = {r.d.nIdAbono, r.d.sFactura, {}};
                Completar(s, r, resultado);
                guard.Commit();
            });
            return resultado;
        });
    } catch (const AbonoFallido&) {
        throw;
    } catch (const TvError& e) {
        throw AbonoFallido(e, Where(nPaso, i, n));
    }
}
