// The system's event log: signed events chained by fingerprint, and their periodic summary.

#include "register/EventosSif.h"

#include "facturae/FirmaXades.h"
#include "invoicing/core/Money.h"
#include "platform/data/DataAccess.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/Sha256.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/ExportacionAeat.h"
#include "register/FirmaRegistro.h"
#include "register/RegistroFacturacion.h"
#include "register/SistemaInformatico.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

namespace EventosSif {
namespace {

using Sql::Id;
using Sql::Text;

const QString Ns =
    QStringLiteral("https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/"
                   "aplicaciones/es/aeat/tike/cont/ws/EventosSIF.xsd");

// The agency asks for a summary of the events at least every six hours of operation.
constexpr qint64 SeisHoras = 6 * 3600;

QString E(const QString& name, const QString& text) {
    return QStringLiteral("<sf:%1>%2</sf:%1>").arg(name, text.toHtmlEscaped());
}

QString E(const char* name, const QString& text) {
    return E(QLatin1String(name), text);
}

QString Ahora() {
    return RegistroFacturacion::FechaHoraHuso(QDateTime::currentDateTime());
}

struct Evento {
    qint32 id = 0;
    QString tipo, fecha, huellaAnterior, huella;
    QByteArray xml;
};

const char* const Columnas = "nIdEvento,sTipoEvento,sFechaHoraHuso,sHuellaAnterior,sHuella,sXml";

Evento DeFila(const Rows& rows, int i) {
    return {rows(0, i).toInt(),    rows(1, i).toString(), rows(2, i).toString(),
            rows(3, i).toString(), rows(4, i).toString(), rows(5, i).toString().toUtf8()};
}

std::optional<Evento> Ultimo(const QString& where = {}) {
    const Rows rows = Db().GetRows(QStringLiteral("SELECT ") + Columnas + " FROM EventosSIF" +
                                   (where.isEmpty() ? QString() : " WHERE " + where) +
                                   " ORDER BY nIdEvento DESC LIMIT 1");
    if (rows.IsEmpty())
        return std::nullopt;
    return DeFila(rows, 0);
}

// The text an event's fingerprint is taken over, as the agency publishes it for events.
QString TextoHuella(const QString& productorNif, const QString& idSistema, const QString& version,
                    const QString& instalacion, const QString& obligadoNif, const QString& tipo,
                    const QString& anterior, const QString& fecha) {
    return "NIF=" + productorNif.trimmed() + "&ID=&IdSistemaInformatico=" + idSistema.trimmed() +
           "&Version=" + version.trimmed() + "&NumeroInstalacion=" + instalacion.trimmed() +
           "&NIF=" + obligadoNif.trimmed() + "&TipoEvento=" + tipo +
           "&HuellaEvento=" + anterior.trimmed() + "&FechaHoraHusoGenEvento=" + fecha;
}

QDateTime Momento(const QString& fechaHoraHuso) {
    return QDateTime::fromString(fechaHoraHuso, Qt::ISODate);
}

// What the register's records that `where` picks add up to, and their first and last.
struct Suma {
    int filas = 0, altas = 0, anulaciones = 0;
    Money cuota, importe;
    QString primero, ultimo; // IDFacturaExpedidaHuella contents
};

QString Factura(const RegistroFacturacion::Registro& r) {
    return E("IDEmisorFactura", r.sIdEmisor) + E("NumSerieFactura", r.sNumSerie) +
           E("FechaExpedicionFactura", r.sFechaExpedicion) + E("Huella", r.sHuella);
}

Suma Sumar(const QString& where) {
    const Rows rows = Db().GetRows("SELECT " + RegistroFacturacion::Columnas("r") +
                                   " FROM RegistrosFacturacion r WHERE r.nIdRegistro>0" + where +
                                   " ORDER BY r.nIdRegistro");
    Suma suma;
    suma.filas = rows.RowCount();
    for (int i = 0; i < rows.RowCount(); ++i) {
        const RegistroFacturacion::Registro r = RegistroFacturacion::DeFila(rows, i);
        if (i == 0)
            suma.primero = Factura(r);
        if (i == rows.RowCount() - 1)
            suma.ultimo = Factura(r);
        if (r.EsAnulacion()) {
            ++suma.anulaciones;
            continue;
        }
        ++suma.altas;
        suma.cuota += Money::FromStored(r.sCuotaTotal);
        suma.importe += Money::FromStored(r.sImporteTotal);
    }
    return suma;
}

QString Periodo(const Suma& suma, const char* inicial, const char* final) {
    return QStringLiteral("<sf:%1>%2</sf:%1><sf:%3>%4</sf:%3>")
        .arg(QLatin1String(inicial), suma.primero, QLatin1String(final), suma.ultimo);
}

// The summary's data: the events since the last summary, by type, and the records made since.
QString DatosResumen(qint32 desdeEvento) {
    const Rows tipos = Db().GetRows("SELECT sTipoEvento,COUNT(*) FROM EventosSIF WHERE nIdEvento>" +
                                    Id(desdeEvento) + " GROUP BY sTipoEvento ORDER BY sTipoEvento");
    QString datos = QStringLiteral("<sf:ResumenEventos>");
    for (int i = 0; i < tipos.RowCount() && i < 20; ++i)
        datos += "<sf:TipoEvento>" + E("TipoEvento", tipos(0, i).toString()) +
                 E("NumeroDeEventos", Id(std::min(tipos(1, i).toInt(), 9999))) + "</sf:TipoEvento>";
    // The records made since the last summary: those signed after its moment.
    const QString desde =
        desdeEvento == 0 ? QString()
                         : Db().GetRows("SELECT sFechaHoraHuso FROM EventosSIF WHERE nIdEvento=" +
                                        Id(desdeEvento))
                               .Value(0, 0)
                               .toString();
    const Suma suma = Sumar(desde.isEmpty() ? QString() : " AND r.sFechaHoraHuso>" + Text(desde));
    if (suma.filas > 0)
        datos +=
            Periodo(suma, "RegistroFacturacionInicialPeriodo", "RegistroFacturacionFinalPeriodo");
    return datos + E("NumeroDeRegistrosFacturacionAltaGenerados", Id(suma.altas)) +
           E("SumaCuotaTotalAlta", suma.cuota.Text()) +
           E("SumaImporteTotalAlta", suma.importe.Text()) +
           E("NumeroDeRegistrosFacturacionAnulacionGenerados", Id(suma.anulaciones)) +
           "</sf:ResumenEventos>";
}

void Escribir(const char* tipo, const QString& datos, const QString& otros) {
    const std::optional<Evento> anterior = Ultimo();
    const SistemaInformatico& sistema = SistemaInformatico::DelBuild();
    const QString instalacion = FirmaRegistro::NumeroInstalacion();
    const std::pair<QString, QString> obligado = ExportacionAeat::Obligado();
    const QString fecha = Ahora();
    const QString previa = anterior ? anterior->huella : QString();
    const QString huella =
        Sha256::HexText(TextoHuella(sistema.productorNif, sistema.id, sistema.version, instalacion,
                                    obligado.second, QLatin1String(tipo), previa, fecha)
                            .toUtf8());
    QString xml = "<sf:RegistroEvento xmlns:sf=\"" + Ns + "\">" + E("IDVersion", "1.0") +
                  "<sf:Evento><sf:SistemaInformatico>" + E("NombreRazon", sistema.productorNombre) +
                  E("NIF", sistema.productorNif) + E("NombreSistemaInformatico", sistema.nombre) +
                  E("IdSistemaInformatico", sistema.id) + E("Version", sistema.version) +
                  E("NumeroInstalacion", instalacion) +
                  E("TipoUsoPosibleSoloVerifactu", sistema.soloVerifactu ? "S" : "N") +
                  E("TipoUsoPosibleMultiOT", sistema.variosObligados ? "S" : "N") +
                  E("IndicadorMultiplesOT", "N") + "</sf:SistemaInformatico><sf:ObligadoEmision>" +
                  E("NombreRazon", obligado.first) + E("NIF", obligado.second) +
                  "</sf:ObligadoEmision>" + E("FechaHoraHusoGenEvento", fecha) +
                  E("TipoEvento", QLatin1String(tipo));
    if (!datos.isEmpty())
        xml += "<sf:DatosPropiosEvento>" + datos + "</sf:DatosPropiosEvento>";
    if (!otros.trimmed().isEmpty())
        xml += E("OtrosDatosEvento", otros.trimmed().left(100));
    xml += QStringLiteral("<sf:Encadenamiento>");
    if (anterior)
        xml += "<sf:EventoAnterior>" + E("TipoEvento", anterior->tipo) +
               E("FechaHoraHusoGenEvento", anterior->fecha) + E("HuellaEvento", anterior->huella) +
               "</sf:EventoAnterior>";
    else
        xml += E("PrimerEvento", "S");
    xml += "</sf:Encadenamiento>" + E("TipoHuella", "01") + E("HuellaEvento", huella) +
           "</sf:Evento></sf:RegistroEvento>";
    const QByteArray firmado = FirmaRegistro::FirmarXml(xml.toUtf8(), "</sf:Evento>");
    Db().Execute(QStringLiteral("INSERT INTO EventosSIF (") + Columnas + ") VALUES (" +
                 Id(anterior ? anterior->id + 1 : 1) + "," + Text(QLatin1String(tipo)) + "," +
                 Text(fecha) + "," + Text(previa) + "," + Text(huella) + "," +
                 Text(QString::fromUtf8(firmado)) + ")");
}

// The texts of an event's XML by path below Evento ("TipoEvento",
// "Encadenamiento/EventoAnterior/HuellaEvento"), its signature left out.
QHash<QString, QString> Campos(const QByteArray& xml) {
    QHash<QString, QString> campos;
    QXmlStreamReader reader(xml);
    QStringList path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            path << reader.name().toString();
            if (reader.name() == u"Signature")
                reader.skipCurrentElement(), path.removeLast();
        } else if (reader.isEndElement()) {
            path.removeLast();
        } else if (reader.isCharacters() && !reader.isWhitespace() && path.size() > 2) {
            campos.insert(path.mid(2).join('/'), reader.text().toString());
        }
    }
    if (reader.hasError())
        campos.clear();
    return campos;
}

// What is wrong with event e after `anterior`; empty when nothing is.
QString Falta(const Evento& e, const Evento* anterior) {
    const QHash<QString, QString> c = Campos(e.xml);
    if (c.isEmpty())
        return QStringLiteral("its XML cannot be read");
    if (e.id != (anterior ? anterior->id + 1 : 1))
        return QStringLiteral("the event before it is missing");
    const QString previa = anterior ? anterior->huella : QString();
    if (e.huellaAnterior != previa ||
        (anterior ? c.value("Encadenamiento/EventoAnterior/HuellaEvento") != previa ||
                        c.value("Encadenamiento/EventoAnterior/TipoEvento") != anterior->tipo ||
                        c.value("Encadenamiento/EventoAnterior/FechaHoraHusoGenEvento") !=
                            anterior->fecha
                  : c.value("Encadenamiento/PrimerEvento") != "S"))
        return QStringLiteral("it is not chained to the event before it");
    if (c.value("TipoEvento") != e.tipo || c.value("FechaHoraHusoGenEvento") != e.fecha ||
        c.value("HuellaEvento") != e.huella)
        return QStringLiteral("its signed XML does not say what the log says");
    const QString huella =
        Sha256::HexText(TextoHuella(c.value("SistemaInformatico/NIF"),
                                    c.value("SistemaInformatico/IdSistemaInformatico"),
                                    c.value("SistemaInformatico/Version"),
                                    c.value("SistemaInformatico/NumeroInstalacion"),
                                    c.value("ObligadoEmision/NIF"), e.tipo, previa, e.fecha)
                            .toUtf8());
    if (huella != e.huella)
        return QStringLiteral("its fingerprint is not that of its contents");
    if (!FirmaXades::Verificar(e.xml))
        return QStringLiteral("its signature does not hold");
    return {};
}

QString RegEvento(const char* name, const Evento& e) {
    return QStringLiteral("<sf:%1>").arg(QLatin1String(name)) + E("TipoEvento", e.tipo) +
           E("FechaHoraHusoEvento", e.fecha) + E("HuellaEvento", e.huella) +
           QStringLiteral("</sf:%1>").arg(QLatin1String(name));
}

QString Dia(qint32 yyyymmdd, bool fin) {
    if (yyyymmdd == 0)
        return fin ? Ahora() : QStringLiteral("2000-01-01T00:00:00+01:00");
    const QDate day = QDate::fromString(QString::number(yyyymmdd), QStringLiteral("yyyyMMdd"));
    return RegistroFacturacion::FechaHoraHuso(fin ? day.endOfDay().addMSecs(-999)
                                                  : day.startOfDay());
}

} // namespace

namespace {

// The summary when six hours have passed since the last one (or since the first event), in the
// caller's transaction, which holds the log's lock.
void ResumenDebido() {
    const std::optional<Evento> resumen = Ultimo("sTipoEvento='10'");
    const std::optional<Evento> desde =
        resumen ? resumen : Ultimo("nIdEvento=(SELECT MIN(nIdEvento) FROM EventosSIF)");
    if (desde && Momento(desde->fecha).secsTo(QDateTime::currentDateTime()) >= SeisHoras)
        Escribir(Resumen, DatosResumen(resumen ? resumen->id : 0), {});
}

} // namespace

void Registrar(const char* tipo, const QString& datos, const QString& otros) {
    if (!FirmaRegistro::Firmando())
        return;
    TransactionGuard guard;
    // One chain for every workstation: each event takes the last one's fingerprint.
    Db().LockForTransaction("EventosSIF", 0);
    ResumenDebido();
    Escribir(tipo, datos, otros);
    guard.Commit();
}

void AlDia() {
    if (!FirmaRegistro::Firmando())
        return;
    // Read first without the log's lock, which an invoice would otherwise take every time: the
    // summary is due a few times a day, and is looked at again under the lock.
    const Rows since = Db().GetRows(
        "SELECT sFechaHoraHuso FROM EventosSIF WHERE nIdEvento=COALESCE((SELECT MAX(nIdEvento) "
        "FROM EventosSIF WHERE sTipoEvento='10'),(SELECT MIN(nIdEvento) FROM EventosSIF))");
    if (since.IsEmpty() ||
        Momento(since(0, 0).toString()).secsTo(QDateTime::currentDateTime()) < SeisHoras)
        return;
    TransactionGuard guard;
    Db().LockForTransaction("EventosSIF", 0);
    ResumenDebido();
    guard.Commit();
}

namespace {

// The last event this workstation saw logged, kept beside its data: a database that lacks it is
// older than what this workstation last saw, a backup put back.
QString Marca(const QString& carpeta) {
    return carpeta + "/EventosSIF.ultimo";
}

void Recordar(const QString& carpeta) {
    const std::optional<Evento> ultimo = Ultimo();
    if (carpeta.isEmpty() || !ultimo)
        return;
    // A mark that cannot be written only means the next start cannot tell a restore.
    try {
        ArchivoSeguro::Escribir(Marca(carpeta), (Id(ultimo->id) + ' ' + ultimo->huella).toUtf8(),
                                ArchivoSeguro::Sustituir::Siempre);
    } catch (const TvError&) {
    }
}

// The event the mark names, when the database no longer holds it as it was.
QString Restaurada(const QString& carpeta) {
    QFile file(Marca(carpeta));
    if (carpeta.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    const QStringList mark = QString::fromUtf8(file.readAll()).trimmed().split(' ');
    if (mark.size() != 2 || mark[0].toLongLong() <= 0)
        return {};
    const Rows held =
        Db().GetRows("SELECT sHuella FROM EventosSIF WHERE nIdEvento=" + Id(mark[0].toLongLong()));
    return !held.IsEmpty() && held(0, 0).toString() == mark[1] ? QString() : mark[0];
}

} // namespace

void Arrancar(const QString& carpeta) {
    if (!FirmaRegistro::Firmando())
        return;
    if (const QString falta = Restaurada(carpeta); !falta.isEmpty())
        Registrar(Restauracion, {},
                  "Restaurada una copia de la base de datos anterior al evento " + falta);
    const std::optional<Evento> ultimo = Ultimo("sTipoEvento IN ('01','02')");
    Registrar(Inicio, {},
              ultimo && ultimo->tipo == QLatin1String(Inicio)
                  ? QStringLiteral("El funcionamiento anterior terminó sin su evento de fin")
                  : QString());
    Recordar(carpeta);
    // The daily check: once a day, at the first start that finds none of that day.
    const QString hoy = QDate::currentDate().toString(Qt::ISODate);
    if (Ultimo("sTipoEvento='03' AND sFechaHoraHuso>=" + Text(hoy)))
        return;
    const RegistroFacturacion::Verificacion registros = RegistroFacturacion::Verificar();
    const QString firmas = registros.intact ? FirmaRegistro::Verificar() : QString();
    Registrar(ControlRegistros, ControlDeRegistros(registros.records));
    if (!registros.intact || !firmas.isEmpty())
        Registrar(AnomaliaRegistros, Anomalia(false, registros.intact ? "02" : "03",
                                              registros.intact ? firmas : registros.message));
    int events = 0;
    const QString fault = Verificar(&events);
    Registrar(ControlEventos, ControlDeEventos(events));
    if (!fault.isEmpty())
        Registrar(AnomaliaEventos, Anomalia(true, "03", fault));
}

void Terminar(const QString& carpeta) {
    if (!FirmaRegistro::Firmando())
        return;
    Registrar(Fin);
    Recordar(carpeta);
}

void RegistrarRestauracion(const QString& carpeta, const QString& otros) {
    if (!FirmaRegistro::Firmando())
        return;
    Registrar(Restauracion, {}, otros);
    Recordar(carpeta);
}

QString Verificar(int* checked) {
    constexpr int Chunk = 500;
    std::optional<Evento> anterior;
    int count = 0;
    for (qint32 after = 0;;) {
        const Rows rows = Db().GetRows(QStringLiteral("SELECT ") + Columnas +
                                       " FROM EventosSIF WHERE nIdEvento>" + Id(after) +
                                       " ORDER BY nIdEvento LIMIT " + Id(Chunk));
        for (int i = 0; i < rows.RowCount(); ++i) {
            const Evento e = DeFila(rows, i);
            if (const QString why = Falta(e, anterior ? &*anterior : nullptr); !why.isEmpty())
                return QStringLiteral("event %1 (%2, %3): %4").arg(e.id).arg(e.tipo, e.fecha, why);
            anterior = e;
            ++count;
        }
        if (checked)
            *checked = count;
        if (rows.RowCount() < Chunk)
            return {};
        after = anterior->id;
    }
}

int Exportar(const QString& dir, qint32 desde, qint32 hasta) {
    const QString where =
        "sFechaHoraHuso>=" + Text(Dia(desde, false).left(10)) +
        (hasta == 0 ? QString()
                    : " AND sFechaHoraHuso<" +
                          Text(QDate::fromString(QString::number(hasta), QStringLiteral("yyyyMMdd"))
                                   .addDays(1)
                                   .toString(Qt::ISODate)));
    const Rows rows = Db().GetRows(QStringLiteral("SELECT ") + Columnas +
                                   " FROM EventosSIF WHERE " + where + " ORDER BY nIdEvento");
    if (!QDir().mkpath(dir))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede crear la carpeta " + dir);
    for (int i = 0; i < rows.RowCount(); ++i) {
        const Evento e = DeFila(rows, i);
        ArchivoSeguro::Escribir(QDir(dir).filePath(QStringLiteral("evento-%1.xml").arg(e.id)),
                                e.xml);
    }
    if (rows.RowCount() > 0)
        Registrar(ExportacionEventos,
                  "<sf:ExportacionRegEventoPeriodo>" +
                      E("FechaHoraHusoInicioPeriodoExport", Dia(desde, false)) +
                      E("FechaHoraHusoFinPeriodoExport", Dia(hasta, true)) +
                      RegEvento("RegistroEventoInicialPeriodo", DeFila(rows, 0)) +
                      RegEvento("RegistroEventoFinalPeriodo", DeFila(rows, rows.RowCount() - 1)) +
                      E("NumeroDeRegEventoExportados", Id(rows.RowCount())) +
                      E("RegEventoExportadosDejanDeConservarse", "N") +
                      "</sf:ExportacionRegEventoPeriodo>");
    return rows.RowCount();
}

namespace {

// A check's four processes, all but the dates' done over `n` records: of the invoice records
// ("RegFacturacion", "Facturacion") or of the events ("RegEvento", "Evento").
QString Lanzamiento(const QString& de, const QString& registros, int n) {
    const QString element = "LanzamientoProcesoDeteccionAnomalias" + de;
    QString datos = "<sf:" + element + ">";
    for (const QString proceso :
         {"IntegridadHuellas", "IntegridadFirmas", "TrazabilidadCadena", "TrazabilidadFechas"}) {
        const bool realizado = proceso != QLatin1String("TrazabilidadFechas");
        datos += E("RealizadoProcesoSobre" + proceso + de, realizado ? "S" : "N");
        if (realizado)
            datos += E("NumeroDeRegistros" + registros + "ProcesadosSobre" + proceso, Id(n));
    }
    return datos + "</sf:" + element + ">";
}

} // namespace

QString ControlDeRegistros(int records) {
    return Lanzamiento("RegFacturacion", "Facturacion", std::min(records, 9999999));
}

QString ControlDeEventos(int events) {
    return Lanzamiento("RegEvento", "Evento", std::min(events, 99999));
}

QString Anomalia(bool eventos, const char* tipo, const QString& texto) {
    const QString element = eventos ? QStringLiteral("DeteccionAnomaliasRegEvento")
                                    : QStringLiteral("DeteccionAnomaliasRegFacturacion");
    return "<sf:" + element + ">" + E("TipoAnomalia", QLatin1String(tipo)) +
           E("OtrosDatosAnomalia", texto.left(100)) + "</sf:" + element + ">";
}

QString ExportacionDeRegistros(qint32 desde, qint32 hasta) {
    const auto dia = [](qint32 d) { return QStringLiteral("%1").arg(d, 8, 10, QLatin1Char('0')); };
    // The register's issue dates are dd-mm-yyyy: compared by their parts.
    const QString fecha =
        QStringLiteral("substr(r.sFechaExpedicion,7,4)||substr(r.sFechaExpedicion,4,2)||"
                       "substr(r.sFechaExpedicion,1,2)");
    QString where;
    if (desde > 0)
        where += " AND " + fecha + ">=" + Text(dia(desde));
    if (hasta > 0)
        where += " AND " + fecha + "<=" + Text(dia(hasta));
    const Suma suma = Sumar(where);
    if (suma.filas == 0)
        return {};
    return "<sf:ExportacionRegFacturacionPeriodo>" +
           E("FechaHoraHusoInicioPeriodoExport", Dia(desde, false)) +
           E("FechaHoraHusoFinPeriodoExport", Dia(hasta, true)) +
           Periodo(suma, "RegistroFacturacionInicialPeriodo", "RegistroFacturacionFinalPeriodo") +
           E("NumeroDeRegistrosFacturacionAltaExportados", Id(suma.altas)) +
           E("SumaCuotaTotalAlta", suma.cuota.Text()) +
           E("SumaImporteTotalAlta", suma.importe.Text()) +
           E("NumeroDeRegistrosFacturacionAnulacionExportados", Id(suma.anulaciones)) +
           E("RegistrosFacturacionExportadosDejanDeConservarse", "N") +
           "</sf:ExportacionRegFacturacionPeriodo>";
}

} // namespace EventosSif
