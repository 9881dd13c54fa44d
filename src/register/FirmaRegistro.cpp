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
#include <optional>

namespace FirmaRegistro {
namespace {

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

QString Id(qint64 id) {
    return QString::number(id);
}

// The elements' texts of a signed record by name, the first of each: the record's own (its
// document's identifier comes before any other), never its predecessor's nor the signature's.
QHash<QString, QString> Campos(const QByteArray& xml) {
    QHash<QString, QString> campos;
    QXmlStreamReader reader(xml);
    int skipping = 0;
    QString current;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (skipping > 0 || reader.name() == u"RegistroAnterior" ||
                reader.name() == u"Signature") {
                ++skipping;
                continue;
            }
            current = reader.name().toString();
            if (!campos.contains(QString()))
                campos.insert(QString(), current); // the root
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
    return campos;
}

// What a record says of its document, in order: the issuer's name, the recipient, the breakdown
// and the documents it rectifies or replaces, each text as "element=value".
QStringList Documento(const QByteArray& xml) {
    static const QStringList blocks{"Destinatarios", "Desglose", "FacturasRectificadas",
                                    "FacturasSustituidas"};
    static const QStringList single{"NombreRazonEmisor", "TipoRectificativa"};
    QStringList said;
    QXmlStreamReader reader(xml);
    int inside = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"Signature")
            break;
        if (reader.isStartElement() && blocks.contains(reader.name().toString()))
            ++inside;
        else if (reader.isEndElement() && blocks.contains(reader.name().toString()))
            --inside;
        else if (reader.isStartElement() && (inside > 0 || single.contains(reader.name())))
            if (const QString name = reader.name().toString();
                reader.readNext() == QXmlStreamReader::Characters && !reader.isWhitespace())
                said << name + "=" + reader.text().toString().trimmed();
    }
    return said;
}

// What differs between a record and its signed XML; empty when they agree. `anterior` and
// `emisor` as ExportacionAeat::Registro takes them.
QString Compare(const RegistroFacturacion::Registro& r, const QByteArray& xml,
                const RegistroFacturacion::Registro* anterior, const QString& emisor) {
    const QHash<QString, QString> campos = Campos(xml);
    if (campos.isEmpty())
        return QStringLiteral("its signed XML cannot be read");
    const bool anulacion = r.EsAnulacion();
    const QString root =
        anulacion ? QStringLiteral("RegistroAnulacion") : QStringLiteral("RegistroAlta");
    if (campos.value(QString()) != root)
        return "its signed XML is no " + root;
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
            return QStringLiteral("%1 %2 in the register, %3 in its signed XML")
                .arg(f.name, f.value, campos.value(f.name));
    if (!FirmaXades::Verificar(xml))
        return QStringLiteral("its signature does not hold");
    // The document itself must still say what was signed of it: its customer, its breakdown,
    // what it rectifies or replaces.
    if (!anulacion) {
        const QStringList signedSaid = Documento(xml);
        const QStringList now =
            Documento(ExportacionAeat::Registro(r, estado.numeroInstalacion, anterior, emisor));
        for (qsizetype k = 0; k < std::max(signedSaid.size(), now.size()); ++k)
            if (signedSaid.value(k) != now.value(k))
                return QStringLiteral("its document now says \"%1\" where its signed XML says "
                                      "\"%2\"")
                    .arg(now.value(k), signedSaid.value(k));
    }
    return {};
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
        const Rows rows =
            Db().GetRows(QStringLiteral("SELECT ") + RegistroFacturacion::Columnas("r") +
                         ",s.sXml FROM RegistrosFirmados s JOIN RegistrosFacturacion r ON "
                         "r.nIdRegistro=s.nIdRegistro WHERE s.nIdRegistro>" +
                         Id(after) + " ORDER BY s.nIdRegistro LIMIT " + Id(Chunk));
        for (int i = 0; i < rows.RowCount(); ++i) {
            const RegistroFacturacion::Registro r = RegistroFacturacion::DeFila(rows, i);
            after = r.nIdRegistro;
            ++count;
            const auto previous = last.constFind(r.sIdEmisor);
            std::optional<RegistroFacturacion::Registro> anterior;
            if (previous != last.constEnd() && previous->nIdRegistro == r.nIdRegistro - 1)
                anterior = *previous;
            else
                anterior = RegistroFacturacion::Anterior(r);
            const QString fault =
                Compare(r, rows(RegistroFacturacion::AnchoColumnas, i).toString().toUtf8(),
                        anterior ? &*anterior : nullptr, emisor);
            last.insert(r.sIdEmisor, r);
            if (!fault.isEmpty()) {
                if (checked)
                    *checked = count;
                return QStringLiteral("record %1 (%2): ").arg(r.nIdRegistro).arg(r.sNumSerie) +
                       fault;
            }
        }
        if (rows.RowCount() < Chunk)
            break;
    }
    if (checked)
        *checked = count;
    return {};
}

} // namespace FirmaRegistro
