// The register exported in the tax agency's own format, one RegistroAlta per record.

#include "register/ExportacionAeat.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/Decimal.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/RegistroFacturacion.h"
#include "register/SistemaInformatico.h"
#include "register/ValidacionesAeat.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QXmlStreamWriter>
#include <algorithm>
#include <optional>
#include <vector>

namespace ExportacionAeat {
namespace {

const QString Lr =
    QStringLiteral("https://www2.agenciatributaria.gob.es/static_files/common/"
                   "internet/dep/aplicaciones/es/aeat/tike/cont/ws/SuministroLR.xsd");
const QString Sf =
    QStringLiteral("https://www2.agenciatributaria.gob.es/static_files/common/internet/dep/"
                   "aplicaciones/es/aeat/tike/cont/ws/SuministroInformacion.xsd");

// A record with what its RegistroAlta says beyond the fingerprinted texts.
struct Alta {
    RegistroFacturacion::Registro registro;
    const RegistroFacturacion::Registro* anterior = nullptr; // the issuer's previous record
    IssuedDocument documento;
    TaxableBreakdown desglose;
    QString sTextoMotivo;
    bool subsanacion = false; // sent again after the agency rejected it
    // A complete invoice that replaces simplified ones: their numbers and issue dates (dd-mm-yyyy).
    std::vector<std::pair<QString, QString>> sustituidas{};
};

// dd-mm-yyyy -> yyyymmdd.
qint32 Dia(const QString& fecha) {
    return (fecha.mid(6, 4) + fecha.mid(3, 2) + fecha.left(2)).toInt();
}

// yyyymmdd -> dd-mm-yyyy.
QString Fecha(qint32 dia) {
    const QString text = QStringLiteral("%1").arg(dia, 8, 10, QLatin1Char('0'));
    return text.mid(6, 2) + "-" + text.mid(4, 2) + "-" + text.left(4);
}

// The schema's names hold at most 120 characters, descriptions 500, and the agency takes no
// control character in them (a name typed with a tab or pasted with a line break): each becomes a
// blank. The document keeps what was typed; no name is in the fingerprint.
QString Recortado(const QString& text, int length) {
    QString clean = text;
    for (QChar& c : clean)
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    return clean.trimmed().left(length);
}

void Texto(QXmlStreamWriter& xml, const char* name, const QString& text) {
    xml.writeTextElement(Sf, QLatin1String(name), text);
}

void Factura(QXmlStreamWriter& xml, const char* element, const QString& nif, const QString& numero,
             const QString& fecha) {
    xml.writeStartElement(Sf, QLatin1String(element));
    Texto(xml, "IDEmisorFactura", nif);
    Texto(xml, "NumSerieFactura", numero);
    Texto(xml, "FechaExpedicionFactura", fecha);
    xml.writeEndElement();
}

QString Descripcion(const Alta& a) {
    if (a.documento.kind == IssuedDocument::Kind::Invoice)
        return QStringLiteral("Servicios veterinarios y venta de productos");
    QString text = "Rectificación de la factura " + a.registro.sFacturaRectificada;
    if (!a.sTextoMotivo.trimmed().isEmpty())
        text += ": " + a.sTextoMotivo.trimmed();
    return Recortado(text, 500);
}

// The recipient the record names, by name and NIF or foreign document; empty for a simplified
// invoice and its rectification, and for an older document whose customer has neither (left out
// rather than named by a made-up id).
struct Destinatario {
    QString nombre, nif;
    bool otro = false;
    bool Nombrado() const { return !nombre.isEmpty(); }
};

Destinatario DestinatarioDe(const IssuedDocument& d) {
    Destinatario x{Recortado(d.cliente.sCliente, 120), d.cliente.sDni.trimmed().toUpper(),
                   !d.cliente.sIdOtroTipo.isEmpty()};
    if (d.Simplified() || (!x.otro && x.nif.size() != 9))
        x.nombre.clear();
    return x;
}

// What ends every record: the link to the previous record, the system that made it, when, and
// its fingerprint.
void Cola(QXmlStreamWriter& xml, const Alta& a, const QString& numeroInstalacion) {
    const RegistroFacturacion::Registro& r = a.registro;
    xml.writeStartElement(Sf, "Encadenamiento");
    if (!a.anterior) {
        Texto(xml, "PrimerRegistro", "S");
    } else {
        xml.writeStartElement(Sf, "RegistroAnterior");
        Texto(xml, "IDEmisorFactura", a.anterior->sIdEmisor);
        Texto(xml, "NumSerieFactura", a.anterior->sNumSerie);
        Texto(xml, "FechaExpedicionFactura", a.anterior->sFechaExpedicion);
        Texto(xml, "Huella", a.anterior->sHuella);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeStartElement(Sf, "SistemaInformatico");
    const SistemaInformatico& sistema = SistemaInformatico::DelBuild();
    Texto(xml, "NombreRazon", sistema.productorNombre);
    Texto(xml, "NIF", sistema.productorNif);
    Texto(xml, "NombreSistemaInformatico", sistema.nombre);
    Texto(xml, "IdSistemaInformatico", sistema.id);
    Texto(xml, "Version", sistema.version);
    Texto(xml, "NumeroInstalacion", numeroInstalacion);
    Texto(xml, "TipoUsoPosibleSoloVerifactu", sistema.soloVerifactu ? "S" : "N");
    Texto(xml, "TipoUsoPosibleMultiOT", sistema.variosObligados ? "S" : "N");
    Texto(xml, "IndicadorMultiplesOT", "N");
    xml.writeEndElement();
    Texto(xml, "FechaHoraHusoGenRegistro", r.sFechaHoraHuso);
    Texto(xml, "TipoHuella", "01");
    Texto(xml, "Huella", r.sHuella);
    xml.writeEndElement();
}

void EscribirAlta(QXmlStreamWriter& xml, const Alta& a, const QString& nombreEmisor,
                  const QString& numeroInstalacion) {
    const RegistroFacturacion::Registro& r = a.registro;
    const IssuedDocument& d = a.documento;
    xml.writeStartElement(Sf, "RegistroAlta");
    Texto(xml, "IDVersion", "1.0");
    Factura(xml, "IDFactura", r.sIdEmisor, r.sNumSerie, r.sFechaExpedicion);
    Texto(xml, "NombreRazonEmisor", nombreEmisor);
    if (a.subsanacion) {
        Texto(xml, "Subsanacion", "S");
        Texto(xml, "RechazoPrevio", "S");
    }
    Texto(xml, "TipoFactura", r.sTipoFactura);
    if (d.kind == IssuedDocument::Kind::Rectifying) {
        // By differences: the credit note carries the rectified amounts turned.
        Texto(xml, "TipoRectificativa", "I");
        xml.writeStartElement(Sf, "FacturasRectificadas");
        Factura(xml, "IDFacturaRectificada", r.sIdEmisor, r.sFacturaRectificada,
                Fecha(d.RectifiedDate()));
        xml.writeEndElement();
    }
    if (!a.sustituidas.empty()) {
        xml.writeStartElement(Sf, "FacturasSustituidas");
        for (const auto& [numero, fecha] : a.sustituidas)
            Factura(xml, "IDFacturaSustituida", r.sIdEmisor, numero, fecha);
        xml.writeEndElement();
    }
    Texto(xml, "DescripcionOperacion", Descripcion(a));
    if (const Destinatario x = DestinatarioDe(d); x.Nombrado()) {
        xml.writeStartElement(Sf, "Destinatarios");
        xml.writeStartElement(Sf, "IDDestinatario");
        Texto(xml, "NombreRazon", x.nombre);
        if (x.otro) {
            xml.writeStartElement(Sf, "IDOtro");
            Texto(xml, "CodigoPais", d.cliente.sIdOtroPais);
            Texto(xml, "IDType", d.cliente.sIdOtroTipo);
            Texto(xml, "ID", x.nif.left(20));
            xml.writeEndElement();
        } else {
            Texto(xml, "NIF", x.nif);
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeStartElement(Sf, "Desglose");
    for (const TaxableBreakdown::Rate& rate : a.desglose.tipos) {
        xml.writeStartElement(Sf, "DetalleDesglose");
        Texto(xml, "Impuesto", "01");
        Texto(xml, "ClaveRegimen", "01");
        Texto(xml, "CalificacionOperacion", "S1");
        Texto(xml, "TipoImpositivo", Decimal::Fixed(rate.nPorcIpto, 2));
        Texto(xml, "BaseImponibleOimporteNoSujeto", rate.nBaseImponible.Text());
        Texto(xml, "CuotaRepercutida", rate.nCuota.Text());
        xml.writeEndElement();
    }
    xml.writeEndElement();
    Texto(xml, "CuotaTotal", r.sCuotaTotal);
    Texto(xml, "ImporteTotal", r.sImporteTotal);
    Cola(xml, a, numeroInstalacion);
}

// A cancellation names the cancelled document by the agency's own element names and carries the
// chain, the system and the fingerprint as an alta does.
void EscribirAnulacion(QXmlStreamWriter& xml, const Alta& a, const QString& numeroInstalacion) {
    const RegistroFacturacion::Registro& r = a.registro;
    xml.writeStartElement(Sf, "RegistroAnulacion");
    Texto(xml, "IDVersion", "1.0");
    xml.writeStartElement(Sf, "IDFactura");
    Texto(xml, "IDEmisorFacturaAnulada", r.sIdEmisor);
    Texto(xml, "NumSerieFacturaAnulada", r.sNumSerie);
    Texto(xml, "FechaExpedicionFacturaAnulada", r.sFechaExpedicion);
    xml.writeEndElement();
    if (a.subsanacion)
        Texto(xml, "RechazoPrevio", "S");
    Cola(xml, a, numeroInstalacion);
}

// A record as the agency reads it: an alta or a cancellation.
void EscribirRegistro(QXmlStreamWriter& xml, const Alta& a, const QString& nombreEmisor,
                      const QString& numeroInstalacion) {
    if (a.registro.EsAnulacion())
        return EscribirAnulacion(xml, a, numeroInstalacion);
    EscribirAlta(xml, a, nombreEmisor, numeroInstalacion);
}

// Record a alone, as its own document would hold it but without the XML declaration.
QByteArray Suelto(const Alta& a, const QString& nombreEmisor, const QString& numeroInstalacion) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeNamespace(Sf, "sf");
    EscribirRegistro(xml, a, nombreEmisor, numeroInstalacion);
    return out;
}

QByteArray SinDeclaracion(QByteArray xml) {
    if (xml.startsWith("<?xml")) {
        xml.remove(0, xml.indexOf("?>") + 2);
        while (!xml.isEmpty() && (xml.front() == '\n' || xml.front() == '\r'))
            xml.remove(0, 1);
    }
    return xml;
}

QByteArray Escapado(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

// A RegFactuSistemaFacturacion around records already written (each a RegistroAlta or
// RegistroAnulacion without its XML declaration), put together by hand so that a signed record
// goes in byte for byte as it was signed. `cabecera` follows the issuer in the header.
QByteArray RegFactu(const std::vector<QByteArray>& registros,
                    const std::pair<QString, QString>& obligado, const QByteArray& cabecera = {}) {
    QByteArray out =
        "<sfLR:RegFactuSistemaFacturacion xmlns:sfLR=\"" + Lr.toUtf8() + "\" xmlns:sf=\"" +
        Sf.toUtf8() + "\">\n<sfLR:Cabecera><sf:ObligadoEmision><sf:NombreRazon>" +
        Escapado(obligado.first) + "</sf:NombreRazon><sf:NIF>" + Escapado(obligado.second) +
        "</sf:NIF></sf:ObligadoEmision>" + cabecera + "</sfLR:Cabecera>\n";
    for (const QByteArray& registro : registros)
        out += "<sfLR:RegistroFactura>" + registro + "</sfLR:RegistroFactura>\n";
    return out + "</sfLR:RegFactuSistemaFacturacion>\n";
}

// A submission's SOAP envelope around its RegFactuSistemaFacturacion.
QByteArray Sobre(const QByteArray& regFactu) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<soapenv:Envelope "
           "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Header/>"
           "<soapenv:Body>" +
           regFactu + "</soapenv:Body></soapenv:Envelope>";
}

// The signed XML of the records first to last (nIdRegistro) that have one, by record.
QHash<qint32, QByteArray> Firmados(qint32 first, qint32 last) {
    QHash<qint32, QByteArray> firmados;
    if (!Db().HasTable("RegistrosFirmados"))
        return firmados;
    const Rows rows =
        Db().GetRows("SELECT nIdRegistro,sXml FROM RegistrosFirmados WHERE nIdRegistro BETWEEN " +
                     QString::number(first) + " AND " + QString::number(last));
    for (int i = 0; i < rows.RowCount(); ++i)
        firmados.insert(rows(0, i).toInt(), SinDeclaracion(rows(1, i).toString().toUtf8()));
    return firmados;
}

// A record and its issuer's record just before it (none: the first).
using Par = std::pair<const RegistroFacturacion::Registro*, const RegistroFacturacion::Registro*>;

// In key order, so that the same documents always make the same text (DataAccess::ReadAhead).
QString Ids(const QSet<qint32>& ids) {
    QList<qint32> sorted(ids.begin(), ids.end());
    std::sort(sorted.begin(), sorted.end());
    QStringList keys;
    for (qint32 id : sorted)
        keys << QString::number(id);
    return " IN (" + keys.join(',') + ")";
}

const QString ObligadoQuery = QStringLiteral(
    "SELECT sNombre,sNif FROM ConfiguracionEmpresa ORDER BY nIdConfiguracionEmpresa LIMIT 1");

std::pair<QString, QString> ObligadoDe(const Rows& company) {
    return {Recortado(company(0, 0).toString(), 120), company(1, 0).toString().trimmed()};
}

// The documents' headers (with a rectification's reason beside them) and breakdowns, and with
// emisor the issuer.
QStringList Lecturas(const QSet<qint32>& ids, bool emisor) {
    QStringList lecturas{"SELECT " + IssuedDocument::HeaderColumns +
                             ",(SELECT MAX(m.sTextoMotivo) FROM FacturasRectificativas m WHERE "
                             "m.nIdFactura=Facturas.nIdFactura) FROM Facturas WHERE nIdFactura" +
                             Ids(ids),
                         "SELECT nIdFactura,nPorcIpto,nBaseImponible,nCuota FROM FacturasDesglose "
                         "WHERE nIdFactura" +
                             Ids(ids) + " ORDER BY nIdFactura,nIdFacturaDesglose"};
    if (emisor)
        lecturas << ObligadoQuery;
    return lecturas;
}

// What the RegistroAlta of each record says beyond its row, read from its document: a few
// queries for them all, so that a reader of many records does not ask for each. A record whose
// document does not exist gets nothing. With emisor, the issuer's name is read with them.
std::vector<std::optional<Alta>> Cargar(const std::vector<Par>& pares, QString* emisor = nullptr) {
    QSet<qint32> ids;
    for (const auto& [r, anterior] : pares)
        if (!r->EsAnulacion())
            ids.insert(r->nIdFactura);
    QHash<qint32, IssuedDocument> documentos;
    QHash<qint32, TaxableBreakdown> desgloses;
    QHash<qint32, QString> motivos;
    QHash<qint32, std::vector<std::pair<QString, QString>>> sustituidas;
    documentos.reserve(ids.size());
    desgloses.reserve(ids.size());
    if (!ids.isEmpty()) {
        // The reason's text beside its header: a query of its own cost every credit note one.
        const std::vector<Rows> leidas = Db().GetRowsEach(Lecturas(ids, emisor != nullptr));
        if (emisor)
            *emisor = ObligadoDe(leidas[2]).first;
        const Rows& headers = leidas[0];
        const int motivo = headers.ColumnCount() - 1;
        QSet<qint32> completas;
        for (int i = 0; i < headers.RowCount(); ++i) {
            const IssuedDocument d = IssuedDocument::FromHeader(headers, i, 0);
            if (d.kind == IssuedDocument::Kind::Rectifying)
                motivos.insert(d.nIdFactura, headers(motivo, i).toString());
            if (d.sTipoFactura == QLatin1String("F3"))
                completas.insert(d.nIdFactura);
            documentos.insert(d.nIdFactura, d);
        }
        const Rows& rates = leidas[1];
        for (int i = 0; i < rates.RowCount(); ++i)
            desgloses[rates(0, i).toInt()].tipos.push_back({U().SqlNumber(rates(1, i)),
                                                            Money::FromStored(rates(2, i)),
                                                            Money::FromStored(rates(3, i))});
        if (!completas.isEmpty()) {
            const Rows f2 = Db().GetRows(
                "SELECT s.nIdFactura,f.sFactura,f.dFactura FROM FacturasSustituidas s JOIN "
                "Facturas f ON f.nIdFactura=s.nIdFacturaSimplificada WHERE s.nIdFactura" +
                Ids(completas) + " ORDER BY s.nIdFactura,f.nIdFactura");
            for (int i = 0; i < f2.RowCount(); ++i)
                sustituidas[f2(0, i).toInt()].emplace_back(f2(1, i).toString(),
                                                           Fecha(f2(2, i).toInt()));
        }
    } else if (emisor) {
        *emisor = ObligadoDe(Db().GetRows(ObligadoQuery)).first;
    }
    // A batch's altas are thousands and each is large: a vector grown as they come moved them all
    // again at every step, which cost the check before issuing a third of its time.
    std::vector<std::optional<Alta>> altas;
    altas.reserve(pares.size());
    for (const auto& [r, anterior] : pares) {
        // A cancellation says nothing of the document beyond what its record holds.
        if (r->EsAnulacion()) {
            altas.push_back(Alta{*r, anterior, {}, {}, {}});
            continue;
        }
        const auto d = documentos.constFind(r->nIdFactura);
        if (d == documentos.constEnd()) {
            altas.emplace_back();
            continue;
        }
        const TaxableBreakdown desglose = desgloses.value(r->nIdFactura);
        Alta a{*r,
               anterior,
               *d,
               desglose.tipos.empty() ? TaxableBreakdown::Of(d->importes) : desglose,
               motivos.value(r->nIdFactura),
               false,
               sustituidas.value(r->nIdFactura)};
        // The schema wants at least one rate: a document of nothing says 0 at 0 %.
        if (a.desglose.tipos.empty())
            a.desglose.tipos.push_back({});
        altas.push_back(std::move(a));
    }
    return altas;
}

// Record r's: raises when its document does not exist.
Alta Cargar(const RegistroFacturacion::Registro& r, const RegistroFacturacion::Registro* anterior) {
    std::optional<Alta> a = std::move(Cargar(std::vector<Par>{{&r, anterior}}).front());
    if (!a)
        throw TvError(ErrorNumber::Database, "El registro " + QString::number(r.nIdRegistro) +
                                                 " nombra la factura " +
                                                 QString::number(r.nIdFactura) + ", que no existe");
    return std::move(*a);
}

// What the agency reads of alta a, its issuer's name given.
ValidacionesAeat::Datos DatosDe(const Alta& a, const QString& emisor) {
    const RegistroFacturacion::Registro& r = a.registro;
    ValidacionesAeat::Datos d;
    d.nIdSucursal = a.documento.nIdSucursal;
    d.sNumSerie = r.sNumSerie;
    d.sFechaExpedicion = r.sFechaExpedicion;
    d.sNombreEmisor = emisor;
    d.sTipoFactura = r.sTipoFactura;
    if (a.documento.kind == IssuedDocument::Kind::Rectifying) {
        d.sTipoRectificativa = QStringLiteral("I");
        d.rectificadas << r.sFacturaRectificada;
    }
    for (const auto& sustituida : a.sustituidas)
        d.sustituidas << sustituida.first;
    if (const Destinatario x = DestinatarioDe(a.documento); x.Nombrado())
        d.destinatarios << x.nombre;
    for (const TaxableBreakdown::Rate& rate : a.desglose.tipos)
        d.desglose.push_back({rate.nBaseImponible, rate.nCuota, {}});
    d.sCuotaTotal = r.sCuotaTotal;
    d.sImporteTotal = r.sImporteTotal;
    d.sFechaHoraHuso = r.sFechaHoraHuso;
    return d;
}

} // namespace

std::pair<QString, QString> Obligado() {
    return ObligadoDe(Db().GetRows(ObligadoQuery));
}

QByteArray Registro(const RegistroFacturacion::Registro& r, const QString& numeroInstalacion) {
    const std::optional<RegistroFacturacion::Registro> anterior = RegistroFacturacion::Anterior(r);
    return Registro(r, numeroInstalacion, anterior ? &*anterior : nullptr, Obligado().first);
}

QByteArray Registro(const RegistroFacturacion::Registro& r, const QString& numeroInstalacion,
                    const RegistroFacturacion::Registro* anterior, const QString& emisor) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
           Suelto(Cargar(r, anterior), emisor, numeroInstalacion);
}

std::vector<QByteArray> Registros(const std::vector<Par>& registros,
                                  const QString& numeroInstalacion, const QString& emisor) {
    std::vector<QByteArray> textos;
    for (const std::optional<Alta>& a : Cargar(registros))
        textos.push_back(a ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
                                 Suelto(*a, emisor, numeroInstalacion)
                           : QByteArray());
    return textos;
}

QStringList Exportar(const QString& file, const QString& numeroInstalacion, qint32 desde,
                     qint32 hasta) {
    constexpr int Chunk = 5000;
    const std::pair<QString, QString> obligado = Obligado();

    // Every record is read, so that the first one exported still names its predecessor.
    std::vector<RegistroFacturacion::Registro> registros;
    for (qint32 after = 0;;) {
        const std::vector<RegistroFacturacion::Registro> chunk =
            RegistroFacturacion::Leer(after, Chunk);
        registros.insert(registros.end(), chunk.begin(), chunk.end());
        if (chunk.empty())
            break;
        after = chunk.back().nIdRegistro;
        if (int(chunk.size()) < Chunk)
            break;
    }
    // Each record with its issuer's record just before it.
    std::vector<
        std::pair<const RegistroFacturacion::Registro*, const RegistroFacturacion::Registro*>>
        elegidos;
    QHash<QString, const RegistroFacturacion::Registro*> last;
    for (const RegistroFacturacion::Registro& r : registros) {
        const RegistroFacturacion::Registro* anterior = last.value(r.sIdEmisor, nullptr);
        last.insert(r.sIdEmisor, &r);
        const qint32 dia = Dia(r.sFechaExpedicion);
        if ((desde != 0 && dia < desde) || (hasta != 0 && dia > hasta))
            continue;
        elegidos.emplace_back(&r, anterior);
    }

    QStringList files;
    if (elegidos.size() <= size_t(RegistrosPorDocumento)) {
        files << file;
    } else {
        const QFileInfo info(file);
        const QString stem = info.dir().filePath(info.completeBaseName());
        const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
        for (size_t from = 0; from < elegidos.size(); from += RegistrosPorDocumento)
            files << stem + "-" + QString::number(files.size() + 1) + suffix;
    }
    // A part that may not be written is said before any is, so that a refusal leaves no export
    // half new and half old.
    for (const QString& part : files)
        ArchivoSeguro::ComprobarDestino(part);
    // A record signed when it was made is handed over as it was signed; one made while the
    // records were sent (unsigned) is written from its row and its document.
    for (qsizetype k = 0; k < files.size(); ++k) {
        const size_t from = size_t(k) * RegistrosPorDocumento;
        const size_t to = std::min(elegidos.size(), from + size_t(RegistrosPorDocumento));
        const QHash<qint32, QByteArray> firmados =
            from < to
                ? Firmados(elegidos[from].first->nIdRegistro, elegidos[to - 1].first->nIdRegistro)
                : QHash<qint32, QByteArray>();
        std::vector<QByteArray> textos;
        for (size_t i = from; i < to; ++i) {
            const auto [r, anterior] = elegidos[i];
            const auto firmado = firmados.find(r->nIdRegistro);
            textos.push_back(firmado != firmados.end()
                                 ? *firmado
                                 : Suelto(Cargar(*r, anterior), obligado.first, numeroInstalacion));
        }
        ArchivoSeguro::Escribir(files[k], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
                                              RegFactu(textos, obligado));
    }
    return files;
}

QByteArray Envio(const std::vector<RegistroFacturacion::Registro>& registros,
                 const QSet<qint32>& subsanacion, const QString& numeroInstalacion,
                 bool incidencia) {
    const std::pair<QString, QString> obligado = Obligado();
    std::vector<QByteArray> textos;
    for (const RegistroFacturacion::Registro& r : registros) {
        // Each record names the record of its issuer just before it, which need not be in this
        // submission.
        const std::optional<RegistroFacturacion::Registro> anterior =
            RegistroFacturacion::Anterior(r);
        Alta a = Cargar(r, anterior ? &*anterior : nullptr);
        a.subsanacion = subsanacion.contains(r.nIdRegistro);
        textos.push_back(Suelto(a, obligado.first, numeroInstalacion));
    }
    return Sobre(RegFactu(textos, obligado,
                          incidencia ? QByteArray("<sf:RemisionVoluntaria><sf:Incidencia>S"
                                                  "</sf:Incidencia></sf:RemisionVoluntaria>")
                                     : QByteArray()));
}

QByteArray Requerimiento(const std::vector<RegistroFacturacion::Registro>& registros,
                         const QString& referencia, bool fin, const QString& numeroInstalacion) {
    const std::pair<QString, QString> obligado = Obligado();
    const QHash<qint32, QByteArray> firmados =
        registros.empty() ? QHash<qint32, QByteArray>()
                          : Firmados(registros.front().nIdRegistro, registros.back().nIdRegistro);
    std::vector<QByteArray> textos;
    for (const RegistroFacturacion::Registro& r : registros) {
        if (const auto firmado = firmados.find(r.nIdRegistro); firmado != firmados.end()) {
            textos.push_back(*firmado);
            continue;
        }
        const std::optional<RegistroFacturacion::Registro> anterior =
            RegistroFacturacion::Anterior(r);
        textos.push_back(
            Suelto(Cargar(r, anterior ? &*anterior : nullptr), obligado.first, numeroInstalacion));
    }
    return Sobre(RegFactu(textos, obligado,
                          "<sf:RemisionRequerimiento><sf:RefRequerimiento>" + Escapado(referencia) +
                              "</sf:RefRequerimiento><sf:FinRequerimiento>" + (fin ? "S" : "N") +
                              "</sf:FinRequerimiento></sf:RemisionRequerimiento>"));
}

ValidacionesAeat::Datos Datos(const RegistroFacturacion::Registro& r, bool subsanacion) {
    ValidacionesAeat::Datos d = DatosDe(Cargar(r, nullptr), Obligado().first);
    d.subsanacion = subsanacion;
    if (subsanacion)
        d.sRechazoPrevio = QStringLiteral("S");
    return d;
}

QStringList DatosReads(const QList<qint32>& facturas) {
    return Lecturas(QSet<qint32>(facturas.begin(), facturas.end()), true);
}

std::vector<ValidacionesAeat::Datos> Datos(const std::vector<RegistroFacturacion::Registro>& rs) {
    std::vector<Par> pares;
    pares.reserve(rs.size());
    for (const RegistroFacturacion::Registro& r : rs)
        pares.push_back({&r, nullptr});
    QString emisor;
    std::vector<ValidacionesAeat::Datos> datos;
    datos.reserve(rs.size());
    std::vector<std::optional<Alta>> altas = Cargar(pares, &emisor);
    for (size_t k = 0; k < altas.size(); ++k) {
        if (!altas[k])
            throw TvError(ErrorNumber::Database, "El registro nombra la factura " +
                                                     QString::number(rs[k].nIdFactura) +
                                                     ", que no existe");
        datos.push_back(DatosDe(*altas[k], emisor));
    }
    return datos;
}

} // namespace ExportacionAeat
