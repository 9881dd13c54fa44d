#include "register/ExportacionAeat.h"

#include "invoicing/core/IssuedDocument.h"
#include "invoicing/core/TaxableBreakdown.h"
#include "platform/data/DataAccess.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/Decimal.h"
#include "platform/util/TvError.h"
#include "register/RegistroFacturacion.h"
#include "register/SistemaInformatico.h"
#include "register/ValidacionesAeat.h"

#include <QDir>
#include <QFileInfo>
#include <QXmlStreamWriter>
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

// The record inside the submission's wrapper.
void EscribirRegistroFactura(QXmlStreamWriter& xml, const Alta& a, const QString& nombreEmisor,
                             const QString& numeroInstalacion) {
    xml.writeStartElement(Lr, "RegistroFactura");
    EscribirRegistro(xml, a, nombreEmisor, numeroInstalacion);
    xml.writeEndElement();
}

void EscribirRegFactu(QXmlStreamWriter& xml, const std::vector<Alta>& altas, size_t from, size_t to,
                      const std::pair<QString, QString>& obligado, const QString& numeroInstalacion,
                      bool incidencia = false) {
    xml.writeNamespace(Lr, "sfLR");
    xml.writeNamespace(Sf, "sf");
    xml.writeStartElement(Lr, "RegFactuSistemaFacturacion");
    xml.writeStartElement(Lr, "Cabecera");
    xml.writeStartElement(Sf, "ObligadoEmision");
    Texto(xml, "NombreRazon", obligado.first);
    Texto(xml, "NIF", obligado.second);
    xml.writeEndElement();
    if (incidencia) {
        xml.writeStartElement(Sf, "RemisionVoluntaria");
        Texto(xml, "Incidencia", "S");
        xml.writeEndElement();
    }
    xml.writeEndElement();
    for (size_t k = from; k < to; ++k)
        EscribirRegistroFactura(xml, altas[k], obligado.first, numeroInstalacion);
    xml.writeEndElement();
}

void EscribirDocumento(const QString& file, const std::vector<Alta>& altas, size_t from, size_t to,
                       const std::pair<QString, QString>& obligado,
                       const QString& numeroInstalacion) {
    ArchivoSeguro::Escribir(file, [&](QIODevice& out) {
        QXmlStreamWriter xml(&out);
        xml.setAutoFormatting(true);
        xml.writeStartDocument();
        EscribirRegFactu(xml, altas, from, to, obligado, numeroInstalacion);
        xml.writeEndDocument();
    });
}

// What the RegistroAlta of record r says beyond its row, read from its document.
Alta Cargar(const RegistroFacturacion::Registro& r, const RegistroFacturacion::Registro* anterior) {
    // A cancellation says nothing of the document beyond what its record holds.
    if (r.EsAnulacion())
        return Alta{r, anterior, {}, {}, {}};
    std::optional<IssuedDocument> d = IssuedDocument::LoadHeader(r.nIdFactura);
    if (!d)
        throw TvError(ErrorNumber::Database, "El registro " + QString::number(r.nIdRegistro) +
                                                 " nombra la factura " +
                                                 QString::number(r.nIdFactura) + ", que no existe");
    Alta a{r, anterior, *d, TaxableBreakdown::ReadOr(r.nIdFactura, d->importes), {}};
    // The schema wants at least one rate: a document of nothing says 0 at 0 %.
    if (a.desglose.tipos.empty())
        a.desglose.tipos.push_back({});
    if (d->kind == IssuedDocument::Kind::Rectifying)
        a.sTextoMotivo =
            Db().GetValue("FacturasRectificativas", "nIdFactura=" + QString::number(r.nIdFactura),
                          "sTextoMotivo")
                .toString();
    return a;
}

} // namespace

std::pair<QString, QString> Obligado() {
    const Rows company = Db().GetRows(
        "SELECT sNombre,sNif FROM ConfiguracionEmpresa ORDER BY nIdConfiguracionEmpresa LIMIT 1");
    return {Recortado(company(0, 0).toString(), 120), company(1, 0).toString().trimmed()};
}

QByteArray Registro(const RegistroFacturacion::Registro& r, const QString& numeroInstalacion) {
    const std::optional<RegistroFacturacion::Registro> anterior = RegistroFacturacion::Anterior(r);
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeNamespace(Sf, "sf");
    EscribirRegistro(xml, Cargar(r, anterior ? &*anterior : nullptr), Obligado().first,
                     numeroInstalacion);
    xml.writeEndDocument();
    return out;
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
    std::vector<Alta> altas;
    QHash<QString, const RegistroFacturacion::Registro*> last;
    for (const RegistroFacturacion::Registro& r : registros) {
        const RegistroFacturacion::Registro* anterior = last.value(r.sIdEmisor, nullptr);
        last.insert(r.sIdEmisor, &r);
        const qint32 dia = Dia(r.sFechaExpedicion);
        if ((desde != 0 && dia < desde) || (hasta != 0 && dia > hasta))
            continue;
        altas.push_back(Cargar(r, anterior));
    }

    QStringList files;
    if (altas.size() <= size_t(RegistrosPorDocumento)) {
        files << file;
    } else {
        const QFileInfo info(file);
        const QString stem = info.dir().filePath(info.completeBaseName());
        const QString suffix = info.suffix().isEmpty() ? QString() : "." + info.suffix();
        for (size_t from = 0; from < altas.size(); from += RegistrosPorDocumento)
            files << stem + "-" + QString::number(files.size() + 1) + suffix;
    }
    // A part that may not be written is said before any is, so that a refusal leaves no export
    // half new and half old.
    for (const QString& part : files)
        ArchivoSeguro::ComprobarDestino(part);
    for (qsizetype k = 0; k < files.size(); ++k) {
        const size_t from = size_t(k) * RegistrosPorDocumento;
        EscribirDocumento(files[k], altas, from,
                          std::min(altas.size(), from + size_t(RegistrosPorDocumento)), obligado,
                          numeroInstalacion);
    }
    return files;
}

QByteArray Envio(const std::vector<RegistroFacturacion::Registro>& registros,
                 const QSet<qint32>& subsanacion, const QString& numeroInstalacion,
                 bool incidencia) {
    // Each record names the record of its issuer just before it, which need not be in this
    // submission; the storage is sized first so that the pointers into it hold.
    std::vector<RegistroFacturacion::Registro> anteriores;
    anteriores.reserve(registros.size());
    std::vector<Alta> altas;
    for (const RegistroFacturacion::Registro& r : registros) {
        std::optional<RegistroFacturacion::Registro> anterior = RegistroFacturacion::Anterior(r);
        const RegistroFacturacion::Registro* enlace = nullptr;
        if (anterior) {
            anteriores.push_back(std::move(*anterior));
            enlace = &anteriores.back();
        }
        Alta a = Cargar(r, enlace);
        a.subsanacion = subsanacion.contains(r.nIdRegistro);
        altas.push_back(std::move(a));
    }
    const QString soap = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.writeStartDocument();
    xml.writeNamespace(soap, "soapenv");
    xml.writeStartElement(soap, "Envelope");
    xml.writeEmptyElement(soap, "Header");
    xml.writeStartElement(soap, "Body");
    EscribirRegFactu(xml, altas, 0, altas.size(), Obligado(), numeroInstalacion, incidencia);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return body;
}

ValidacionesAeat::Datos Datos(const RegistroFacturacion::Registro& r, bool subsanacion) {
    const Alta a = Cargar(r, nullptr);
    ValidacionesAeat::Datos d;
    d.nIdSucursal = a.documento.nIdSucursal;
    d.sNumSerie = r.sNumSerie;
    d.sFechaExpedicion = r.sFechaExpedicion;
    d.sNombreEmisor = Obligado().first;
    d.sTipoFactura = r.sTipoFactura;
    if (a.documento.kind == IssuedDocument::Kind::Rectifying) {
        d.sTipoRectificativa = QStringLiteral("I");
        d.rectificadas << r.sFacturaRectificada;
    }
    if (const Destinatario x = DestinatarioDe(a.documento); x.Nombrado())
        d.destinatarios << x.nombre;
    for (const TaxableBreakdown::Rate& rate : a.desglose.tipos)
        d.desglose.push_back({rate.nBaseImponible, rate.nCuota, {}});
    d.sCuotaTotal = r.sCuotaTotal;
    d.sImporteTotal = r.sImporteTotal;
    d.sFechaHoraHuso = r.sFechaHoraHuso;
    d.subsanacion = subsanacion;
    if (subsanacion)
        d.sRechazoPrevio = QStringLiteral("S");
    return d;
}

} // namespace ExportacionAeat
