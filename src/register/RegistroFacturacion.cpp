// The register of issued documents: one fingerprinted record each, chained to the one before.

#include "register/RegistroFacturacion.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/BulkInsert.h"
#include "platform/data/DataAccess.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/Sha256.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/FirmaRegistro.h"

#include <QFile>
#include <QHash>
#include <QTextStream>
#include <QUrl>
#include <QXmlStreamWriter>
#include <cstdlib>
#include <memory>
#include <optional>

namespace RegistroFacturacion {
namespace {

using Sql::Id;
using Sql::Text;

const char* const Columns = "nIdFactura,sIdEmisor,sNumSerie,sFechaExpedicion,sTipoFactura,"
                            "sFacturaRectificada,sCuotaTotal,sImporteTotal,sHuellaAnterior,"
                            "sFechaHoraHuso,sHuella,sTipoRegistro";

// yyyymmdd -> dd-mm-yyyy; no day (0, or a year the suite does not write) -> "".
QString Day(qint32 yyyymmdd) {
    const QDate day(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
    return day.year() >= 1 && day.year() <= 9999 ? Utility::DayText(day, u'-') : QString();
}

QString Emisor() {
    return Db().GetValue("ConfiguracionEmpresa", {}, "sNif").toString().trimmed();
}

// The invoice row's side of a record: what the register must say about it. A record made before
// documents had a breakdown and a reason said the undiscounted tax and R1 for a credit note
// without one; sCuotaAntes and sTipoAntes hold what such a record says (empty: nothing else).
struct Factura {
    QString sNumSerie, sFechaExpedicion, sTipoFactura, sFacturaRectificada, sCuotaTotal,
        sImporteTotal, sCuotaAntes, sTipoAntes;
};

// What the register reads of a document and, beside it, the tax of its stored breakdown and its
// reason, selected from Facturas as alias f.
QString InvoiceColumns() {
    QStringList names = IssuedDocument::KeyColumns.split(',');
    for (QString& name : names)
        name.prepend(QLatin1String("f."));
    return names.join(',') +
           ",(SELECT SUM(d.nCuota) FROM FacturasDesglose d WHERE d.nIdFactura=f.nIdFactura),"
           "(SELECT MAX(m.sMotivo) FROM FacturasRectificativas m WHERE "
           "m.nIdFactura=f.nIdFactura)";
}

// The record's side of document d, given the tax of its stored breakdown (none: the document
// has no breakdown) and its reason.
Factura FacturaOf(const IssuedDocument& d, std::optional<double> cuota, const QString& motivo) {
    const bool abono = d.kind == IssuedDocument::Kind::Rectifying;
    Factura f;
    f.sNumSerie = d.sFactura;
    f.sFechaExpedicion = Day(d.IssueDate());
    f.sTipoFactura = d.AgencyType(motivo);
    f.sFacturaRectificada = d.sFacturaAbonada;
    f.sCuotaTotal =
        cuota ? Money::FromDouble(*cuota).Text() : TaxableBreakdown::Of(d.importes).Cuota().Text();
    f.sImporteTotal = d.AmountDue().Text();
    f.sCuotaAntes = d.importes.nIm_Total.Text();
    if (abono && motivo.isEmpty() && d.sTipoFactura.isEmpty())
        f.sTipoAntes = QStringLiteral("R1");
    return f;
}

// The invoice's columns (InvoiceColumns) from position `at` of row r.
Factura FacturaFrom(const RowCursor& row, int at) {
    static const int width = int(IssuedDocument::KeyColumns.count(QLatin1Char(',')) + 1);
    const int extra = at + width;
    return FacturaOf(IssuedDocument::FromKeyColumns(row, at),
                     row.IsNull(extra) ? std::nullopt : std::optional(row.Number(extra)),
                     row.Text(extra + 1).trimmed());
}

Registro FromRow(const RowCursor& row) {
    Registro reg;
    reg.nIdRegistro = row.Int(0);
    reg.nIdFactura = row.Int(1);
    QString* texts[] = {&reg.sIdEmisor,     &reg.sNumSerie,           &reg.sFechaExpedicion,
                        &reg.sTipoFactura,  &reg.sFacturaRectificada, &reg.sCuotaTotal,
                        &reg.sImporteTotal, &reg.sHuellaAnterior,     &reg.sFechaHoraHuso,
                        &reg.sHuella,       &reg.sTipoRegistro};
    for (int c = 0; c < 11; ++c)
        *texts[c] = row.Text(c + 2);
    return reg;
}

// "a,b" as alias.a,alias.b.
QString Qualified(const char* columns, const char* alias) {
    QStringList names = QString::fromLatin1(columns).split(',');
    for (QString& name : names)
        name.prepend(QLatin1String(alias) + QLatin1Char('.'));
    return names.join(',');
}

// The records after nIdRegistro `after`, at most `limit`, in order.
Rows ReadRecords(qint32 after, int limit) {
    return Db().GetRows(QStringLiteral("SELECT nIdRegistro,") + Columns +
                        " FROM RegistrosFacturacion WHERE nIdRegistro>" + Id(after) +
                        " ORDER BY nIdRegistro LIMIT " + Id(limit));
}

QString Named(const Registro& r) {
    return QStringLiteral("record %1 (%2)").arg(r.nIdRegistro).arg(r.sNumSerie);
}

// What differs between the record and its invoice; empty when they agree.
QString Compare(const Registro& r, const Factura& f) {
    const QString none;
    const struct {
        const char* what;
        const QString& registered;
        const QString& stored;
        const QString& before; // what a record made before the breakdown says; empty: nothing
    } fields[] = {{"number", r.sNumSerie, f.sNumSerie, none},
                  {"date", r.sFechaExpedicion, f.sFechaExpedicion, none},
                  {"type", r.sTipoFactura, f.sTipoFactura, f.sTipoAntes},
                  {"rectified invoice", r.sFacturaRectificada, f.sFacturaRectificada, none},
                  {"tax", r.sCuotaTotal, f.sCuotaTotal, f.sCuotaAntes},
                  {"amount", r.sImporteTotal, f.sImporteTotal, none}};
    for (const auto& field : fields)
        if (field.registered != field.stored &&
            (field.before.isEmpty() || field.registered != field.before))
            return QStringLiteral("%1 %2 in the register, %3 in Facturas")
                .arg(QLatin1String(field.what), field.registered, field.stored);
    return {};
}

// What differs between a cancellation record and the document it cancels; empty when they agree.
QString CompareCancellation(const Registro& r, const Factura& f, qint32 cancelled) {
    if (r.sNumSerie != f.sNumSerie || r.sFechaExpedicion != f.sFechaExpedicion)
        return QStringLiteral("cancels %1 of %2, but the invoice is %3 of %4")
            .arg(r.sNumSerie, r.sFechaExpedicion, f.sNumSerie, f.sFechaExpedicion);
    if (cancelled == 0)
        return QStringLiteral("cancels an invoice that Facturas does not mark as cancelled");
    return {};
}

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

// The key the next record must take: the database refuses any other, so it is drawn inside the
// transaction that holds the chain.
qint32 NextKey() {
    return Db()
        .GetRows("SELECT COALESCE(MAX(nIdRegistro),0)+1 FROM RegistrosFacturacion")
        .Value(0, 0)
        .toInt();
}

// The columns an insert names: the key first, then Columns.
QString Inserted() {
    return QStringLiteral("nIdRegistro,") + Columns;
}

QString NewestHuella(const QString& emisor) {
    return Db()
        .GetRows("SELECT sHuella FROM RegistrosFacturacion WHERE sIdEmisor=" + Text(emisor) +
                 " ORDER BY nIdRegistro DESC LIMIT 1")
        .Value(0, 0)
        .toString();
}

// The register locked for the transaction, then NextKey and NewestHuella read under the lock, in
// one request where the engine can: for the records of documents being issued.
std::pair<qint32, QString> Siguiente(const QString& emisor) {
    const Rows rows = Db().LockThenRead(
        "RegistrosFacturacion", 0,
        "SELECT COALESCE(MAX(nIdRegistro),0)+1,(SELECT sHuella FROM RegistrosFacturacion WHERE "
        "sIdEmisor=" +
            Text(emisor) + " ORDER BY nIdRegistro DESC LIMIT 1) FROM RegistrosFacturacion");
    return {rows.Value(0, 0).toInt(), rows.Value(1, 0).toString()};
}

// The record's key and the values of a record, in the order of Columns.
QVariantList Values(const Registro& r) {
    return {r.nIdRegistro,      r.nIdFactura,      r.sIdEmisor,           r.sNumSerie,
            r.sFechaExpedicion, r.sTipoFactura,    r.sFacturaRectificada, r.sCuotaTotal,
            r.sImporteTotal,    r.sHuellaAnterior, r.sFechaHoraHuso,      r.sHuella,
            r.sTipoRegistro};
}

// The record of an invoice chained after `previous`, not yet fingerprinted: a provisional record
// gets its fingerprint only once it is chained.
Registro Build(qint32 nIdFactura, const Factura& f, const QString& emisor, const QString& previous,
               const QString& when) {
    Registro r;
    r.nIdFactura = nIdFactura;
    r.sIdEmisor = emisor;
    r.sNumSerie = f.sNumSerie;
    r.sFechaExpedicion = f.sFechaExpedicion;
    r.sTipoFactura = f.sTipoFactura;
    r.sFacturaRectificada = f.sFacturaRectificada;
    r.sCuotaTotal = f.sCuotaTotal;
    r.sImporteTotal = f.sImporteTotal;
    r.sHuellaAnterior = previous;
    r.sFechaHoraHuso = when;
    return r;
}

} // namespace

namespace {

// The fingerprinted fields of a record, as UTF-8.
struct CamposHuella {
    QByteArrayView emisor, numSerie, fecha, tipo, cuota, importe, anterior, momento;
};

// Appends the text TextoHuella answers, as UTF-8, to out: verify writes every record's into the
// same buffer, with no string of its own per field.
void AppendTexto(QByteArray& out, bool anulacion, const CamposHuella& c) {
    const auto add = [&](const char* name, QByteArrayView value) {
        out.append(name).append(value);
    };
    if (anulacion) {
        add("IDEmisorFacturaAnulada=", c.emisor);
        add("&NumSerieFacturaAnulada=", c.numSerie);
        add("&FechaExpedicionFacturaAnulada=", c.fecha);
    } else {
        add("IDEmisorFactura=", c.emisor);
        add("&NumSerieFactura=", c.numSerie);
        add("&FechaExpedicionFactura=", c.fecha);
        add("&TipoFactura=", c.tipo);
        add("&CuotaTotal=", c.cuota);
        add("&ImporteTotal=", c.importe);
    }
    add("&Huella=", c.anterior);
    add("&FechaHoraHusoGenRegistro=", c.momento);
}

QByteArray TextoUtf8(const Registro& r) {
    QByteArray text;
    AppendTexto(text, r.EsAnulacion(),
                {r.sIdEmisor.toUtf8(), r.sNumSerie.toUtf8(), r.sFechaExpedicion.toUtf8(),
                 r.sTipoFactura.toUtf8(), r.sCuotaTotal.toUtf8(), r.sImporteTotal.toUtf8(),
                 r.sHuellaAnterior.toUtf8(), r.sFechaHoraHuso.toUtf8()});
    return text;
}

} // namespace

QString TextoHuella(const Registro& r) {
    return QString::fromUtf8(TextoUtf8(r));
}

QString Huella(const Registro& r) {
    return Sha256::HexText(TextoUtf8(r));
}

QString FechaHoraHuso(const QDateTime& moment) {
    const int offset = moment.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

namespace {

// Writes record r and, when the clinic keeps its records, their signature: every record is made
// here, so none goes unsigned.
Registro Guardar(Registro r) {
    r.nIdRegistro = NextKey();
    Db().InsertRows("RegistrosFacturacion", Inserted(), {Values(r)});
    FirmaRegistro::Firmar(r);
    return r;
}

// Invoice nIdFactura as its records read it; throws when there is no such invoice.
Factura LeerFactura(qint32 nIdFactura) {
    const Rows invoice = Db().GetRows("SELECT " + InvoiceColumns() +
                                      " FROM Facturas f WHERE f.nIdFactura=" + Id(nIdFactura));
    if (invoice.IsEmpty())
        throw TvError(ErrorNumber::Database,
                      "No existe la factura " + Id(nIdFactura) + " para el registro");
    return FacturaFrom(RowsCursor(invoice, 0), 0);
}

// The issuer's NIF as Emisor reads it, for a query of the invoices to carry beside them.
const char* const EmisorColumn = "(SELECT sNif FROM ConfiguracionEmpresa LIMIT 1)";

int Fila(const QHash<qint32, int>& row, qint32 nIdFactura) {
    const auto at = row.constFind(nIdFactura);
    if (at == row.constEnd())
        throw TvError(ErrorNumber::Database,
                      "No existe la factura " + Id(nIdFactura) + " para el registro");
    return *at;
}

} // namespace

Registro Registrar(qint32 nIdFactura, const QDateTime& moment) {
    const Factura f = LeerFactura(nIdFactura);
    const QString emisor = Emisor();
    // Two workstations never chain to the same record: the issuer's chain is held until the
    // transaction that extends it ends.
    Db().LockForTransaction("RegistrosFacturacion", 0);
    Registro r = Build(nIdFactura, f, emisor, NewestHuella(emisor), FechaHoraHuso(moment));
    r.sHuella = Huella(r);
    return Guardar(std::move(r));
}

// Documents `facturas`' rows, their id first, then what LeerFactura reads and the issuer's NIF
// (EmisorColumn).
QString ProvisionalesRead(const QList<qint32>& facturas) {
    QStringList ids;
    for (qint32 nIdFactura : facturas)
        ids << Id(nIdFactura);
    return "SELECT f.nIdFactura," + InvoiceColumns() + "," + EmisorColumn +
           " FROM Facturas f WHERE f.nIdFactura IN (" + ids.join(',') + ")";
}

std::vector<Registro> Provisionales(const QList<qint32>& facturas, const QDateTime& moment) {
    const Rows invoices = Db().GetRows(ProvisionalesRead(facturas));
    QHash<qint32, int> row;
    for (int r = 0; r < invoices.RowCount(); ++r)
        row.insert(invoices(0, r).toInt(), r);
    const QString emisor = invoices.Value(invoices.ColumnCount() - 1, 0).toString().trimmed();
    const QString when = FechaHoraHuso(moment);
    std::vector<Registro> registros;
    for (qint32 nIdFactura : facturas)
        registros.push_back(Build(nIdFactura,
                                  FacturaFrom(RowsCursor(invoices, Fila(row, nIdFactura)), 1),
                                  emisor, {}, when));
    return registros;
}

Registro RegistrarAnulacion(qint32 nIdFactura, const QDateTime& moment) {
    const Factura f = LeerFactura(nIdFactura);
    const QString emisor = Emisor();
    Db().LockForTransaction("RegistrosFacturacion", 0);
    Registro r;
    r.nIdFactura = nIdFactura;
    r.sIdEmisor = emisor;
    r.sNumSerie = f.sNumSerie;
    r.sFechaExpedicion = f.sFechaExpedicion;
    r.sHuellaAnterior = NewestHuella(emisor);
    r.sFechaHoraHuso = FechaHoraHuso(moment);
    r.sTipoRegistro = Registro::Anulacion;
    r.sHuella = Huella(r);
    return Guardar(std::move(r));
}

void Registrar(const QList<qint32>& facturas, const QDateTime& moment) {
    if (!facturas.isEmpty())
        Registrar(Provisionales(facturas, moment));
}

void Registrar(std::vector<Registro> provisionales) {
    if (provisionales.empty())
        return;
    auto [key, previous] = Siguiente(provisionales.front().sIdEmisor);
    BulkInsert records("RegistrosFacturacion", Inserted());
    for (Registro& r : provisionales) {
        r.nIdRegistro = key++;
        r.sHuellaAnterior = previous;
        r.sHuella = Huella(r);
        previous = r.sHuella;
        records.Add(Values(r));
    }
    records.Flush();
    for (const Registro& r : provisionales)
        FirmaRegistro::Firmar(r);
}

int RegistrarPendientes(const QDateTime& moment) {
    constexpr int Chunk = 500;
    const QString emisor = Emisor();
    const QString when = FechaHoraHuso(moment);
    int written = 0;
    TransactionGuard guard;
    Db().LockForTransaction("RegistrosFacturacion", 0);
    QString previous = NewestHuella(emisor);
    qint32 key = NextKey();
    for (qint32 after = 0;;) {
        const Rows pending =
            Db().GetRows("SELECT f.nIdFactura," + InvoiceColumns() +
                         " FROM Facturas f LEFT JOIN RegistrosFacturacion r ON "
                         "r.nIdFactura=f.nIdFactura WHERE r.nIdRegistro IS NULL AND f.nIdFactura>" +
                         Id(after) + " ORDER BY f.nIdFactura LIMIT " + Id(Chunk));
        // Written a chunk at a time with bound values: a history of years is recorded in seconds.
        QList<QVariantList> rows;
        for (int i = 0; i < pending.RowCount(); ++i) {
            after = pending(0, i).toInt();
            Registro r =
                Build(after, FacturaFrom(RowsCursor(pending, i), 1), emisor, previous, when);
            r.nIdRegistro = key++;
            r.sHuella = Huella(r);
            previous = r.sHuella;
            rows << Values(r);
        }
        Db().InsertRows("RegistrosFacturacion", Inserted(), rows);
        written += pending.RowCount();
        if (pending.RowCount() < Chunk)
            break;
    }
    guard.Commit();
    return written;
}

namespace {

// The register read a chunk of records at a time against its data, the records before it and
// the invoices, so that a register of years keeps its memory small.
class Verificador {
public:
    Verificacion Recorrer();

private:
    static constexpr int Chunk = 5000;

    // The chunk's bound, read first: the records are immutable and every invoice's breakdown,
    // reason and cancellation is written before its record, so the bound names records whose
    // invoice's rows are all there. Answers how many records it holds.
    int Tramo();
    // The breakdown's tax, the reason and the cancellations of the chunk's invoices, each table
    // read once in key order: looked up per record, they were most of SQLite's work.
    void LeerFacturas();
    // The record in `row` against its data, its predecessor and its invoice; the fault, or empty.
    QString Comprobar(const RowCursor& row);
    // The first invoice since the register began that has no record, or empty.
    QString SinRegistro() const;

    Verificacion m_result;
    QHash<QString, Registro> m_last; // the newest record of each issuer so far
    qint32 m_first = 0;
    // Every key, those at or below zero included: the module never draws one, so such a row is
    // a forgery and must be seen, not skipped.
    QString m_from = QStringLiteral("1=1");
    QString m_chunk;
    QHash<qint32, double> m_cuotas;
    QHash<qint32, QString> m_motivos;
    QHash<qint32, qint32> m_anuladas;
    QByteArray m_texto;
};

int Verificador::Tramo() {
    const Rows bound = Db().GetRows(
        "SELECT COUNT(*),MAX(k) FROM (SELECT r.nIdRegistro AS k FROM RegistrosFacturacion r "
        "WHERE " +
        m_from + " ORDER BY r.nIdRegistro LIMIT " + Id(Chunk) + ") c");
    m_chunk = m_from + " AND r.nIdRegistro<=" + bound(1, 0).toString();
    return bound(0, 0).toInt();
}

void Verificador::LeerFacturas() {
    const QString invoices =
        " WHERE nIdFactura IN (SELECT r.nIdFactura FROM RegistrosFacturacion r WHERE " + m_chunk +
        ") GROUP BY nIdFactura";
    m_cuotas.clear();
    m_motivos.clear();
    m_anuladas.clear();
    Db().ForEachRow("SELECT nIdFactura,SUM(nCuota) FROM FacturasDesglose" + invoices,
                    [&](const RowCursor& row) { m_cuotas.insert(row.Int(0), row.Number(1)); });
    Db().ForEachRow("SELECT nIdFactura,MAX(sMotivo) FROM FacturasRectificativas" + invoices,
                    [&](const RowCursor& row) { m_motivos.insert(row.Int(0), row.Text(1)); });
    Db().ForEachRow("SELECT nIdFactura,COUNT(*) FROM FacturasAnuladas" + invoices,
                    [&](const RowCursor& row) { m_anuladas.insert(row.Int(0), row.Int(1)); });
}

QString Verificador::Comprobar(const RowCursor& row) {
    const Registro r = FromRow(row);
    if (r.nIdRegistro <= 0)
        return Named(r) + ": key " + Id(r.nIdRegistro) + " is outside the register's numbering";
    if (m_first == 0)
        m_first = r.nIdFactura;
    // The row's own UTF-8, as the engine holds it (Columns' order from sIdEmisor at 2).
    m_texto.resize(0);
    AppendTexto(m_texto, r.EsAnulacion(),
                {row.Utf8(2), row.Utf8(3), row.Utf8(4), row.Utf8(5), row.Utf8(7), row.Utf8(8),
                 row.Utf8(9), row.Utf8(10)});
    const std::array<char, 64> recomputed = Sha256::Hex(m_texto);
    const QLatin1StringView hex(recomputed.data(), qsizetype(recomputed.size()));
    if (hex != r.sHuella)
        return Named(r) + ": fingerprint " + r.sHuella + " does not match its data (recomputed " +
               hex + ")";
    const auto previous = m_last.find(r.sIdEmisor);
    const QString expected = previous == m_last.end() ? QString() : previous->sHuella;
    if (r.sHuellaAnterior != expected)
        return Named(r) + ": chained to " +
               (r.sHuellaAnterior.isEmpty() ? QStringLiteral("nothing") : r.sHuellaAnterior) +
               ", but the record before it is " +
               (previous == m_last.end() ? QStringLiteral("none")
                                         : Named(*previous) + " " + expected);
    if (row.IsNull(AnchoColumnas))
        return Named(r) + ": invoice " + Id(r.nIdFactura) + " is not in Facturas";
    const auto cuota = m_cuotas.constFind(r.nIdFactura);
    const Factura f = FacturaOf(IssuedDocument::FromKeyColumns(row, AnchoColumnas),
                                cuota == m_cuotas.cend() ? std::nullopt : std::optional(*cuota),
                                m_motivos.value(r.nIdFactura).trimmed());
    if (QString difference = r.EsAnulacion()
                                 ? CompareCancellation(r, f, m_anuladas.value(r.nIdFactura))
                                 : Compare(r, f);
        !difference.isEmpty())
        return Named(r) + ": " + difference;
    if (previous == m_last.end())
        m_last.insert(r.sIdEmisor, r);
    else
        *previous = r;
    ++m_result.records;
    m_from = "r.nIdRegistro>" + Id(r.nIdRegistro);
    return {};
}

QString Verificador::SinRegistro() const {
    // NOT EXISTS rather than NOT IN: a server that cannot hash the whole register in memory would
    // search it again for every invoice.
    const Rows missing =
        Db().GetRows("SELECT nIdFactura,sFactura FROM Facturas WHERE nIdFactura>=" + Id(m_first) +
                     " AND NOT EXISTS (SELECT 1 FROM RegistrosFacturacion r WHERE "
                     "r.nIdFactura=Facturas.nIdFactura) ORDER BY nIdFactura LIMIT 1");
    if (missing.IsEmpty())
        return {};
    return "invoice " + missing(1, 0).toString() + " (id " + missing(0, 0).toString() +
           ") has no record";
}

Verificacion Verificador::Recorrer() {
    QString fault;
    for (int count = Chunk; fault.isEmpty() && count == Chunk;) {
        count = Tramo();
        if (count == 0)
            break;
        LeerFacturas();
        Db().ForEachRow("SELECT r.nIdRegistro," + Qualified(Columns, "r") + ",f." +
                            IssuedDocument::KeyColumns.split(',').join(",f.") +
                            " FROM RegistrosFacturacion r LEFT JOIN Facturas f ON "
                            "f.nIdFactura=r.nIdFactura WHERE " +
                            m_chunk + " ORDER BY r.nIdRegistro",
                        [&](const RowCursor& row) {
                            if (fault.isEmpty())
                                fault = Comprobar(row);
                        });
    }
    // Every document issued since the register began has its record.
    if (fault.isEmpty() && m_result.records > 0)
        fault = SinRegistro();
    if (!fault.isEmpty()) {
        m_result.intact = false;
        m_result.message = fault;
    } else {
        m_result.message =
            QStringLiteral("register: %1 records, chain intact").arg(m_result.records);
    }
    return m_result;
}

} // namespace

Verificacion Verificar() {
    return Verificador().Recorrer();
}

void Exportar(const QString& file) {
    constexpr int Chunk = 5000;
    ArchivoSeguro out(file);
    const QStringList names =
        QStringList{QStringLiteral("nIdRegistro")} + QString::fromLatin1(Columns).split(',');
    const bool xml = file.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive);
    QXmlStreamWriter document(&out);
    QTextStream csv(&out);
    if (xml) {
        document.setAutoFormatting(true);
        document.writeStartDocument();
        document.writeStartElement("RegistrosFacturacion");
    } else {
        csv << names.join(';') << '\n';
    }
    for (qint32 after = 0;;) {
        const Rows rows = ReadRecords(after, Chunk);
        for (int r = 0; r < rows.RowCount(); ++r) {
            QStringList fields;
            for (int c = 0; c < names.size(); ++c)
                fields << rows(c, r).toString();
            if (xml) {
                document.writeStartElement("Registro");
                for (int c = 0; c < names.size(); ++c)
                    document.writeTextElement(names[c], fields[c]);
                document.writeEndElement();
            } else {
                for (QString& field : fields)
                    field = CsvField(field);
                csv << fields.join(';') << '\n';
            }
            after = rows(0, r).toInt();
        }
        if (rows.RowCount() < Chunk)
            break;
    }
    if (xml) {
        document.writeEndElement();
        document.writeEndDocument();
    }
    csv.flush();
    out.Terminar();
}

QString UrlQr(const QString& sIdEmisor, const QString& sNumSerie, const QString& sFecha,
              const QString& sImporte, bool verifactu) {
    return QString("https://www2.agenciatributaria.gob.es/wlpl/TIKE-CONT/") +
           (verifactu ? "ValidarQR" : "ValidarQRNoVerifactu") +
           "?nif=" + QString::fromLatin1(QUrl::toPercentEncoding(sIdEmisor)) +
           "&numserie=" + QString::fromLatin1(QUrl::toPercentEncoding(sNumSerie)) +
           "&fecha=" + sFecha + "&importe=" + sImporte;
}

std::vector<Registro> Leer(qint32 after, int limit) {
    const Rows rows = ReadRecords(after, limit);
    std::vector<Registro> records;
    records.reserve(size_t(rows.RowCount()));
    for (int r = 0; r < rows.RowCount(); ++r)
        records.push_back(FromRow(RowsCursor(rows, r)));
    return records;
}

std::optional<Registro> DeFactura(qint32 nIdFactura) {
    const Rows rows = Db().GetRows(QStringLiteral("SELECT nIdRegistro,") + Columns +
                                   " FROM RegistrosFacturacion WHERE nIdFactura=" + Id(nIdFactura) +
                                   " AND sTipoRegistro='Alta' ORDER BY nIdRegistro DESC LIMIT 1");
    if (rows.IsEmpty())
        return std::nullopt;
    return FromRow(RowsCursor(rows, 0));
}

QString Columnas(const QString& alias) {
    return alias + ".nIdRegistro," + Qualified(Columns, qPrintable(alias));
}

Registro DeFila(const Rows& rows, int row) {
    return FromRow(RowsCursor(rows, row));
}

std::optional<Registro> Anterior(const Registro& r) {
    const Rows rows = Db().GetRows(
        QStringLiteral("SELECT nIdRegistro,") + Columns +
        " FROM RegistrosFacturacion WHERE sIdEmisor=" + Text(r.sIdEmisor) + " AND nIdRegistro<" +
        Id(r.nIdRegistro) + " ORDER BY nIdRegistro DESC LIMIT 1");
    if (rows.IsEmpty())
        return std::nullopt;
    return FromRow(RowsCursor(rows, 0));
}

} // namespace RegistroFacturacion
