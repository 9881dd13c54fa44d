// The register's records signed as they are made, when the clinic keeps them instead of sending.

#include "register/FirmaRegistro.h"

#include "facturae/FirmaXades.h"
#include "platform/data/DataAccess.h"
#include "platform/util/ArchivoSeguro.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/EventosSif.h"
#include "register/ExportacionAeat.h"
#include "register/VeriFactu.h"

#include <QDir>
#include <QHash>
#include <QXmlStreamReader>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace FirmaRegistro {
namespace {

using Sql::Id;

// The agency asks the records of a system that does not send them for an enveloped XAdES
// signature under the signing policy of the General State Administration (AGE), version 1.9:
// its identifier and the SHA-1 digest of its text as the policy publishes them.
const FirmaXades::Perfil Perfil{
    QStringLiteral("urn:oid:2.16.724.1.3.1.1.2.1.9"),
    QStringLiteral("Política de firma electrónica y de certificados de la Administración General "
                   "del Estado v1.9"),
    QStringLiteral("G7roucf600+f03r/o0bAOQ6WAs0="), QStringLiteral("Registro de facturación")};

struct Estado {
    bool leido = false;
    bool firmar = false;
    QString certificado;
    QString clave;
    QString numeroInstalacion;
    QString problema;
};
Estado estado;

// What a record says of its document, in order: the issuer's name, the recipient, the breakdown
// and the documents it rectifies or replaces, each text as "element=value". Fed a reader's
// tokens one at a time, so that the signed XML is read once for this and for its fields. An
// element's text is the token right after its start, which is then taken for nothing else.
class Documento {
public:
    void Token(const QXmlStreamReader& reader) {
        static const QStringList blocks{"Destinatarios", "Desglose", "FacturasRectificadas",
                                        "FacturasSustituidas"};
        static const QStringList single{"NombreRazonEmisor", "TipoRectificativa"};
        if (ended)
            return;
        if (!element.isEmpty()) {
            if (reader.isCharacters() && !reader.isWhitespace())
                said << element + "=" + reader.text().toString().trimmed();
            element.clear();
            return;
        }
        if (reader.isStartElement() && reader.name() == u"Signature")
            ended = true;
        else if (reader.isStartElement() && blocks.contains(reader.name()))
            ++inside;
        else if (reader.isEndElement() && blocks.contains(reader.name()))
            --inside;
        else if (reader.isStartElement() && (inside > 0 || single.contains(reader.name())))
            element = reader.name().toString();
    }
    QStringList said;

private:
    bool ended = false;
    int inside = 0;
    QString element; // whose text the next token is
};

QStringList Dice(const QByteArray& xml) {
    Documento documento;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        documento.Token(reader);
    }
    return documento.said;
}

// A signed record read once: the text of each field Compare asks for, by name, the first of each
// (the record's own: its document's identifier comes before any other), never its predecessor's
// nor the signature's; the root's name under the empty key, nothing at all when the XML does not
// read. And what it says of its document.
struct Firmado {
    QHash<QString, QString> campos;
    QStringList dice;
};

Firmado Leer(const QByteArray& xml) {
    // Only the fields Compare asks for are kept: a record has some sixty elements.
    static const QStringList asked{"IDEmisorFactura",
                                   "NumSerieFactura",
                                   "FechaExpedicionFactura",
                                   "IDEmisorFacturaAnulada",
                                   "NumSerieFacturaAnulada",
                                   "FechaExpedicionFacturaAnulada",
                                   "FechaHoraHusoGenRegistro",
                                   "Huella",
                                   "TipoFactura",
                                   "CuotaTotal",
                                   "ImporteTotal"};
    Firmado firmado;
    Documento documento;
    QHash<QString, QString>& campos = firmado.campos;
    QXmlStreamReader reader(xml);
    int skipping = 0;
    QString current;
    while (!reader.atEnd()) {
        reader.readNext();
        documento.Token(reader);
        if (reader.isStartElement()) {
            if (skipping > 0 || reader.name() == u"RegistroAnterior" ||
                reader.name() == u"Signature") {
                ++skipping;
                continue;
            }
            if (!campos.contains(QString()))
                campos.insert(QString(), reader.name().toString()); // the root
            current = asked.contains(reader.name()) ? reader.name().toString() : QString();
        } else if (reader.isEndElement()) {
            skipping = std::max(0, skipping - 1);
            current.clear();
        } else if (reader.isCharacters() && !reader.isWhitespace() && skipping == 0 &&
                   !current.isEmpty() && !campos.contains(current)) {
            campos.insert(current, reader.text().toString().trimmed());
        }
    }
    if (reader.hasError())
        campos.clear();
    firmado.dice = documento.said;
    return firmado;
}

struct Comprobacion {
    QString fault;             // empty when the record and its signed XML agree
    bool sinDocumento = false; // all else agrees, but the record's document does not exist
};

// What differs between a record and its signed XML. `ahora`: the record written from its
// document as it stands (ExportacionAeat::Registros), empty when the document does not exist.
// Reads nothing from the database, so that records are checked on several threads.
Comprobacion Compare(const RegistroFacturacion::Registro& r, const QByteArray& xml,
                     const QByteArray& ahora) {
    const Firmado firmado = Leer(xml);
    const QHash<QString, QString>& campos = firmado.campos;
    if (campos.isEmpty())
        return {QStringLiteral("its signed XML cannot be read")};
    const bool anulacion = r.EsAnulacion();
    const QString root =
        anulacion ? QStringLiteral("RegistroAnulacion") : QStringLiteral("RegistroAlta");
    if (campos.value(QString()) != root)
        return {"its signed XML is no " + root};
    const QString suffix = anulacion ? QStringLiteral("Anulada") : QString();
    struct Campo {
        QString name;
        QString value;
    };
    std::vector<Campo> fields{{"IDEmisorFactura" + suffix, r.sIdEmisor},
                              {"NumSerieFactura" + suffix, r.sNumSerie},
                              {"FechaExpedicionFactura" + suffix, r.sFechaExpedicion},
                              {"FechaHoraHusoGenRegistro", r.sFechaHoraHuso},
                              {"Huella", r.sHuella}};
    if (!anulacion)
        fields.insert(fields.end(), {{"TipoFactura", r.sTipoFactura},
                                     {"CuotaTotal", r.sCuotaTotal},
                                     {"ImporteTotal", r.sImporteTotal}});
    for (const Campo& f : fields)
        if (campos.value(f.name) != f.value)
            return {QStringLiteral("%1 %2 in the register, %3 in its signed XML")
                        .arg(f.name, f.value, campos.value(f.name))};
    if (!FirmaXades::Verificar(xml))
        return {QStringLiteral("its signature does not hold")};
    // The document itself must still say what was signed of it: its customer, its breakdown,
    // what it rectifies or replaces.
    if (anulacion)
        return {};
    if (ahora.isEmpty())
        return {{}, true};
    const QStringList& signedSaid = firmado.dice;
    const QStringList now = Dice(ahora);
    for (qsizetype k = 0; k < std::max(signedSaid.size(), now.size()); ++k)
        if (signedSaid.value(k) != now.value(k))
            return {QStringLiteral("its document now says \"%1\" where its signed XML says "
                                   "\"%2\"")
                        .arg(now.value(k), signedSaid.value(k))};
    return {};
}

// Compare for every record of a chunk, on two threads: a signature's check is most of the time
// and needs nothing but its own XML.
std::vector<Comprobacion> CompareAll(const std::vector<RegistroFacturacion::Registro>& registros,
                                     const std::vector<QByteArray>& firmados,
                                     const std::vector<QByteArray>& ahora) {
    std::vector<Comprobacion> found(registros.size());
    std::atomic<size_t> next = 0;
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto work = [&] {
        try {
            for (size_t k; (k = next++) < registros.size();)
                found[k] = Compare(registros[k], firmados[k], ahora[k]);
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            failure = std::current_exception();
            next = registros.size();
        }
    };
    std::thread helper(work);
    work();
    helper.join();
    if (failure)
        std::rethrow_exception(failure);
    return found;
}

} // namespace

QString Configurar(const QString& ini, Modo modo) {
    if (ini.isEmpty()) {
        estado = Estado{};
        return {};
    }
    const VeriFactu::Configuracion c = VeriFactu::LeerConfiguracion(ini);
    estado = Estado{true,
                    !c.verifactu || modo == Modo::SinEnvio,
                    c.certificado,
                    c.claveCertificado,
                    c.numeroInstalacion,
                    {}};
    if (!estado.firmar)
        return {};
    if (c.certificado.isEmpty()) {
        estado.problema = QStringLiteral(
            "Sin envío a la AEAT (Modo=NOVERIFACTU) cada registro de facturación se firma con el "
            "certificado de la clínica, y el ini no lo indica: ponga el archivo PKCS#12 en "
            "[VeriFactu] Certificado y su contraseña en ClaveCertificado. Hasta entonces no se "
            "pueden emitir facturas.");
        return estado.problema;
    }
    try {
        FirmaXades::Firmar("<Prueba></Prueba>", c.certificado, c.claveCertificado,
                           QDateTime::currentDateTime(), Perfil);
    } catch (const TvError& e) {
        estado.problema = "El certificado de [VeriFactu] Certificado no puede firmar los registros "
                          "de facturación, y sin él no se pueden emitir facturas: " +
                          e.Description();
    }
    return estado.problema;
}

void Impedir(const QString& problema) {
    if (estado.leido && estado.firmar)
        estado.problema = problema;
}

QString Problema() {
    return estado.leido && estado.firmar ? estado.problema : QString();
}

void Firmar(const RegistroFacturacion::Registro& r) {
    if (!estado.leido || !estado.firmar)
        return;
    if (!estado.problema.isEmpty())
        throw TvError(ErrorNumber::PathFileAccess, estado.problema);
    const QByteArray xml =
        FirmaXades::Firmar(ExportacionAeat::Registro(r, estado.numeroInstalacion),
                           estado.certificado, estado.clave, QDateTime::currentDateTime(), Perfil);
    Db().Execute("INSERT INTO RegistrosFirmados (nIdRegistro,sXml) VALUES (" + Id(r.nIdRegistro) +
                 "," + U().SqlValue(QString::fromUtf8(xml), 0, true) + ")");
    EventosSif::AlDia();
}

bool Firmando() {
    return estado.leido && estado.firmar && estado.problema.isEmpty();
}

QString NumeroInstalacion() {
    return estado.numeroInstalacion;
}

QByteArray FirmarXml(const QByteArray& xml, const QByteArray& cierre) {
    return FirmaXades::Firmar(xml, estado.certificado, estado.clave, QDateTime::currentDateTime(),
                              Perfil, cierre);
}

QByteArray Firmado(qint32 nIdRegistro) {
    return Db()
        .GetRows("SELECT sXml FROM RegistrosFirmados WHERE nIdRegistro=" + Id(nIdRegistro))
        .Value(0, 0)
        .toString()
        .toUtf8();
}

int Exportar(const QString& dir) {
    constexpr int Chunk = 500;
    if (!QDir().mkpath(dir))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede crear la carpeta " + dir);
    const auto fileOf = [&dir](qint32 nIdRegistro) {
        return QDir(dir).filePath(
            QStringLiteral("registro-%1.xml").arg(nIdRegistro, 6, 10, QChar('0')));
    };
    // Every file is checked before the first is written: a refused export changes nothing.
    const Rows ids = Db().GetRows("SELECT nIdRegistro FROM RegistrosFirmados");
    for (int i = 0; i < ids.RowCount(); ++i)
        ArchivoSeguro::ComprobarDestino(fileOf(ids(0, i).toInt()));
    int written = 0;
    for (qint32 after = 0;;) {
        const Rows rows =
            Db().GetRows("SELECT nIdRegistro,sXml FROM RegistrosFirmados WHERE nIdRegistro>" +
                         Id(after) + " ORDER BY nIdRegistro LIMIT " + Id(Chunk));
        for (int i = 0; i < rows.RowCount(); ++i) {
            after = rows(0, i).toInt();
            ArchivoSeguro::Escribir(fileOf(after), rows(1, i).toString().toUtf8());
            ++written;
        }
        if (rows.RowCount() < Chunk)
            return written;
    }
}

QString Verificar(int* checked) {
    constexpr int Chunk = 500;
    int count = 0;
    if (checked)
        *checked = 0;
    if (!Db().HasTable("RegistrosFirmados"))
        return {};
    const QString emisor = ExportacionAeat::Obligado().first;
    // The newest record of each issuer so far; a signed record's predecessor may be unsigned (a
    // record made while sending), so the rest of the register is asked for it.
    QHash<QString, RegistroFacturacion::Registro> last;
    for (qint32 after = 0;;) {
        // The chunk's bound first, then its rows in the register's order: asked for the first
        // rows of the join, SQLite walked the register from `after` to its end and sorted every
        // signed XML past it, for each chunk.
        const QVariant chunkEnd =
            Db().GetRows("SELECT MAX(k) FROM (SELECT nIdRegistro AS k FROM RegistrosFirmados WHERE "
                         "nIdRegistro>" +
                         Id(after) + " ORDER BY nIdRegistro LIMIT " + Id(Chunk) + ") c")
                .Value(0, 0);
        if (chunkEnd.isNull())
            break;
        const qint32 bound = chunkEnd.toInt();
        const Rows rows = Db().GetRows(
            QStringLiteral("SELECT ") + RegistroFacturacion::Columnas("r") +
            ",s.sXml FROM RegistrosFirmados s JOIN RegistrosFacturacion r ON "
            "r.nIdRegistro=s.nIdRegistro WHERE s.nIdRegistro>" +
            Id(after) + " AND s.nIdRegistro<=" + Id(bound) + " ORDER BY r.nIdRegistro");
        std::vector<RegistroFacturacion::Registro> registros;
        std::vector<std::optional<RegistroFacturacion::Registro>> anteriores;
        std::vector<QByteArray> firmados;
        for (int i = 0; i < rows.RowCount(); ++i) {
            const RegistroFacturacion::Registro r = RegistroFacturacion::DeFila(rows, i);
            const auto previous = last.constFind(r.sIdEmisor);
            if (previous != last.constEnd() && previous->nIdRegistro == r.nIdRegistro - 1)
                anteriores.push_back(*previous);
            else
                anteriores.push_back(RegistroFacturacion::Anterior(r));
            last.insert(r.sIdEmisor, r);
            registros.push_back(r);
            firmados.push_back(rows(RegistroFacturacion::AnchoColumnas, i).toString().toUtf8());
        }
        std::vector<
            std::pair<const RegistroFacturacion::Registro*, const RegistroFacturacion::Registro*>>
            pares;
        for (size_t k = 0; k < registros.size(); ++k)
            pares.emplace_back(&registros[k], anteriores[k] ? &*anteriores[k] : nullptr);
        const std::vector<Comprobacion> found =
            CompareAll(registros, firmados,
                       ExportacionAeat::Registros(pares, estado.numeroInstalacion, emisor));
        for (size_t k = 0; k < registros.size(); ++k) {
            const RegistroFacturacion::Registro& r = registros[k];
            ++count;
            if (found[k].sinDocumento) // raises, naming the missing document
                ExportacionAeat::Registro(r, estado.numeroInstalacion, pares[k].second, emisor);
            if (!found[k].fault.isEmpty()) {
                if (checked)
                    *checked = count;
                return QStringLiteral("record %1 (%2): ").arg(r.nIdRegistro).arg(r.sNumSerie) +
                       found[k].fault;
            }
        }
        after = bound;
    }
    if (checked)
        *checked = count;
    return {};
}

} // namespace FirmaRegistro
