#include "register/VeriFactu.h"

#include "facturae/CertificadoP12.h"
#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"
#include "register/ExportacionAeat.h"
#include "register/SistemaInformatico.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTimeZone>
#include <QXmlStreamReader>

namespace VeriFactu {
namespace {

// The row that LockRecord holds while a workstation sends: the others leave sending to it.
const QString LockTable = QStringLiteral("EnviosAeat");

QString Text(const QString& text) {
    return U().SqlValue(text, 0, true);
}

QString Id(qint64 id) {
    return QString::number(id);
}

QString Ahora() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

// An ini value without the comment that may follow it after blanks ("VERIFACTU   ; or ...").
QString Valor(const QString& ini, const char* section, const char* key) {
    static const QRegularExpression comment(QStringLiteral("\\s+;.*$"));
    return U().ReadIni(ini, section, key).remove(comment).trimmed();
}

// A path of the ini, relative to the ini's folder when it is not absolute.
QString Ruta(const QString& ini, const QString& path) {
    if (path.isEmpty())
        return path;
    return QFileInfo(QFileInfo(ini).absoluteDir(), path).absoluteFilePath();
}

// One line of the agency's answer: a record, identified by issuer, number and date.
struct Linea {
    QString nif, numSerie, fecha, operacion, estado, descripcion;
    int codigo = 0;
};

struct Respuesta {
    QString csv, estadoEnvio, fallo; // fallo: the SOAP fault's text
    int espera = 0;
    std::vector<Linea> lineas;
};

Respuesta LeerRespuesta(const QByteArray& body) {
    Respuesta r;
    QXmlStreamReader xml(body);
    Linea* linea = nullptr;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("RespuestaLinea"))
            linea = nullptr;
        if (!xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("RespuestaLinea")) {
            r.lineas.emplace_back();
            linea = &r.lineas.back();
            continue;
        }
        static const QStringList containers{"Envelope",
                                            "Body",
                                            "RespuestaRegFactuSistemaFacturacion",
                                            "Fault",
                                            "IDFactura",
                                            "Cabecera",
                                            "Operacion",
                                            "ObligadoEmision",
                                            "DatosPresentacion"};
        if (containers.contains(name))
            continue;
        // Anything else is read whole, so that a nested part (RegistroDuplicado) is skipped.
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        if (name == QLatin1String("faultstring"))
            r.fallo = text;
        else if (!linea && name == QLatin1String("CSV"))
            r.csv = text;
        else if (!linea && name == QLatin1String("TiempoEsperaEnvio"))
            r.espera = text.toInt();
        else if (!linea && name == QLatin1String("EstadoEnvio"))
            r.estadoEnvio = text;
        else if (linea && name == QLatin1String("IDEmisorFactura"))
            linea->nif = text;
        else if (linea && name == QLatin1String("NumSerieFactura"))
            linea->numSerie = text;
        else if (linea && name == QLatin1String("FechaExpedicionFactura"))
            linea->fecha = text;
        else if (linea && name == QLatin1String("TipoOperacion"))
            linea->operacion = text;
        else if (linea && name == QLatin1String("EstadoRegistro"))
            linea->estado = text;
        else if (linea && name == QLatin1String("CodigoErrorRegistro"))
            linea->codigo = text.toInt();
        else if (linea && name == QLatin1String("DescripcionErrorRegistro"))
            linea->descripcion = text;
    }
    if (xml.hasError() && r.fallo.isEmpty())
        r.fallo = "respuesta ilegible: " + xml.errorString();
    return r;
}

QSslConfiguration Tls(const Configuracion& c) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    if (!c.certificado.isEmpty()) {
        // Opened as the signer opens it, so that a damaged file and a wrong ClaveCertificado
        // are told apart.
        const CertificadoP12::ParaTls opened =
            CertificadoP12::AbrirParaTls(c.certificado, c.claveCertificado);
        tls.setPrivateKey(QSslKey(opened.clavePem, opened.ec ? QSsl::Ec : QSsl::Rsa, QSsl::Pem));
        QList<QSslCertificate> chain;
        for (const QByteArray& der : opened.certificadosDer)
            chain << QSslCertificate(der, QSsl::Der);
        tls.setLocalCertificateChain(chain);
    }
    if (!c.ca.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(c.ca);
        if (authorities.isEmpty())
            throw TvError(ErrorNumber::FileNotFound,
                          "No se puede leer la autoridad de certificación " + c.ca);
        tls.addCaCertificates(authorities);
    }
    return tls;
}

// Posts the message and answers the agency's answer, or raises with what went wrong.
QByteArray Post(const Configuracion& c, const QByteArray& message) {
    const QUrl address(c.endpoint);
    // The records and the certificate never travel in the clear.
    if (address.scheme() != QLatin1String("https") || address.host().isEmpty())
        throw TvError(ErrorNumber::InvalidCall,
                      "la dirección de envío (Endpoint=" + c.endpoint +
                          " en la sección [VeriFactu]) no es una dirección https://");
    QNetworkRequest request{address};
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("text/xml; charset=utf-8"));
    request.setRawHeader("SOAPAction", "\"\"");
    request.setTransferTimeout(c.tiempoMaximoMs);
    request.setSslConfiguration(Tls(c));
    QNetworkAccessManager network;
    QNetworkReply* reply = network.post(request, message);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    if (reply->error() == QNetworkReply::NoError)
        return body;
    if (reply->error() == QNetworkReply::OperationCanceledError)
        throw TvError(
            ErrorNumber::PathFileAccess,
            QStringLiteral("la AEAT no ha contestado en %1 s").arg(c.tiempoMaximoMs / 1000.0));
    QString text = reply->errorString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The agency answers a refused message with a SOAP fault, which says why.
    if (const QString fault = LeerRespuesta(body).fallo; status != 0 && !fault.isEmpty())
        text = QStringLiteral("HTTP %1: %2").arg(status).arg(fault);
    else if (status != 0)
        text = QStringLiteral("HTTP %1: %2").arg(status).arg(text);
    throw TvError(ErrorNumber::PathFileAccess, text);
}

// Seconds still to wait, as the last answered submission asked.
int EsperaRestante() {
    const Rows last = Db().GetRows("SELECT sFechaHora,nTiempoEspera FROM EnviosAeat WHERE "
                                   "sEstadoEnvio<>'' ORDER BY nIdEnvio DESC LIMIT 1");
    if (last.IsEmpty())
        return 0;
    QDateTime when = QDateTime::fromString(last(0, 0).toString(), Qt::ISODate);
    when.setTimeZone(QTimeZone::utc());
    const qint64 left = QDateTime::currentDateTimeUtc().msecsTo(when.addSecs(last(1, 0).toInt()));
    return left <= 0 ? 0 : int((left + 999) / 1000);
}

void Fallido(int registros, const QString& error) {
    Db().InsertRecord("EnviosAeat", "sFechaHora,nRegistros,sError",
                      Text(Ahora()) + "," + Id(registros) + "," + Text(error));
}

// Writes the agency's answer for the records sent, in one transaction; adds to the counts.
void Guardar(const Respuesta& respuesta, const std::vector<RegistroFacturacion::Registro>& sent,
             Resultado& result) {
    // A document and its cancellation share number and date: the operation tells their lines
    // apart.
    QHash<QString, qint32> ids;
    for (const RegistroFacturacion::Registro& r : sent)
        ids.insert(r.sTipoRegistro + '|' + r.sIdEmisor + '|' + r.sNumSerie + '|' +
                       r.sFechaExpedicion,
                   r.nIdRegistro);
    const QString now = Ahora();
    TransactionGuard guard;
    const qint32 envio = Db().InsertRecord(
        "EnviosAeat", "sFechaHora,nRegistros,sEstadoEnvio,sCsv,nTiempoEspera",
        Text(now) + "," + Id(qint64(sent.size())) + "," + Text(respuesta.estadoEnvio) + "," +
            Text(respuesta.csv) + "," + Id(respuesta.espera));
    for (const Linea& linea : respuesta.lineas) {
        const QString operacion =
            linea.operacion.isEmpty() ? RegistroFacturacion::Registro::Alta : linea.operacion;
        const qint32 id =
            ids.value(operacion + '|' + linea.nif + '|' + linea.numSerie + '|' + linea.fecha, 0);
        if (id == 0)
            continue;
        QString estado = linea.estado;
        // 3000: the agency holds the record already; its answer to an earlier submission was
        // lost (the workstation stopped before writing it), so the record is there.
        if (estado == QLatin1String("Incorrecto") && linea.codigo == 3000)
            estado = QStringLiteral("Correcto");
        if (estado == QLatin1String("Correcto"))
            ++result.aceptados;
        else if (estado == QLatin1String("AceptadoConErrores"))
            ++result.conErrores;
        else
            ++result.rechazados;
        const QString csv = estado == QLatin1String("Incorrecto") ? QString() : respuesta.csv;
        if (Db().GetValue("RegistrosEnvio", "nIdRegistro=" + Id(id)).toInt() == 0)
            Db().InsertRecord("RegistrosEnvio",
                              "nIdRegistro,nIdEnvio,sEstado,nCodigoError,sDescripcionError,sCsv,"
                              "sFechaHoraEnvio,nEnvios",
                              Id(id) + "," + Id(envio) + "," + Text(estado) + "," +
                                  Id(linea.codigo) + "," + Text(linea.descripcion) + "," +
                                  Text(csv) + "," + Text(now) + ",1");
        else
            Db().Execute("UPDATE RegistrosEnvio SET nIdEnvio=" + Id(envio) +
                         ",sEstado=" + Text(estado) + ",nCodigoError=" + Id(linea.codigo) +
                         ",sDescripcionError=" + Text(linea.descripcion) + ",sCsv=" + Text(csv) +
                         ",sFechaHoraEnvio=" + Text(now) +
                         ",nEnvios=nEnvios+1 WHERE nIdRegistro=" + Id(id));
    }
    guard.Commit();
}

// The records waiting (never sent, or marked to be corrected), oldest first.
const char* const Waiting = " FROM RegistrosFacturacion r LEFT JOIN RegistrosEnvio e ON "
                            "e.nIdRegistro=r.nIdRegistro WHERE e.nIdRegistroEnvio IS NULL OR "
                            "e.sEstado='Subsanar'";

// Sends one submission of what waits; answers false when nothing was sent or it failed.
bool EnviarLote(const Configuracion& c, Resultado& result) {
    const Rows rows =
        Db().GetRows("SELECT " + RegistroFacturacion::Columnas("r") + ",e.sEstado" + Waiting +
                     " ORDER BY r.nIdRegistro LIMIT " + Id(ExportacionAeat::RegistrosPorDocumento));
    if (rows.IsEmpty())
        return false;
    std::vector<RegistroFacturacion::Registro> registros;
    QSet<qint32> subsanacion;
    for (int i = 0; i < rows.RowCount(); ++i) {
        registros.push_back(RegistroFacturacion::DeFila(rows, i));
        if (rows(RegistroFacturacion::AnchoColumnas, i).toString() == QLatin1String("Subsanar"))
            subsanacion.insert(registros.back().nIdRegistro);
    }
    const QByteArray message = ExportacionAeat::Envio(registros, subsanacion, c.numeroInstalacion);
    Respuesta respuesta;
    try {
        respuesta = LeerRespuesta(Post(c, message));
        if (!respuesta.fallo.isEmpty())
            throw TvError(ErrorNumber::PathFileAccess, respuesta.fallo);
        if (respuesta.lineas.empty())
            throw TvError(ErrorNumber::PathFileAccess,
                          "la AEAT ha rechazado el envío entero (" + respuesta.estadoEnvio + ")");
    } catch (const TvError& e) {
        result.error = "El envío a la AEAT no se ha podido hacer: " + e.Description();
        Fallido(int(registros.size()), result.error);
        return false;
    }
    Guardar(respuesta, registros, result);
    return true;
}

} // namespace

Configuracion LeerConfiguracion(const QString& ini) {
    Configuracion c;
    c.verifactu = Valor(ini, "VeriFactu", "Modo").compare("VERIFACTU", Qt::CaseInsensitive) == 0;
    c.endpoint = Valor(ini, "VeriFactu", "Endpoint");
    c.certificado = Ruta(ini, Valor(ini, "VeriFactu", "Certificado"));
    c.claveCertificado = U().ReadIni(ini, "VeriFactu", "ClaveCertificado").trimmed();
    c.ca = Ruta(ini, Valor(ini, "VeriFactu", "CA"));
    if (const double seconds = Valor(ini, "VeriFactu", "TiempoMaximo").toDouble(); seconds > 0)
        c.tiempoMaximoMs = int(seconds * 1000);
    c.numeroInstalacion = Valor(ini, "Registro", "NumeroInstalacion");
    if (c.numeroInstalacion.isEmpty())
        c.numeroInstalacion = QStringLiteral("1");
    return c;
}

QString Resultado::Texto() const {
    return QStringLiteral("sent: %1 accepted, %2 accepted with errors, %3 rejected, %4 pending")
        .arg(aceptados)
        .arg(conErrores)
        .arg(rechazados)
        .arg(pendientes);
}

Resultado Enviar(const Configuracion& c) {
    Resultado result;
    // Every record names its producer; one the agency cannot identify is not sent at all.
    if (result.error = SistemaInformatico::DelBuild().MotivoNoEnvio(); !result.error.isEmpty()) {
        result.pendientes = Pendientes();
        return result;
    }
    if (!Db().LockRecord(LockTable, 0, true, false)) {
        result.ocupado = true;
        result.pendientes = Pendientes();
        return result;
    }
    try {
        while ((result.esperaSegundos = EsperaRestante()) == 0 && EnviarLote(c, result)) {
        }
    } catch (...) {
        Db().LockRecord(LockTable, 0, false, true);
        throw;
    }
    Db().LockRecord(LockTable, 0, false, true);
    result.pendientes = Pendientes();
    return result;
}

int Pendientes() {
    return Db().GetRows(QStringLiteral("SELECT COUNT(*)") + Waiting).Value(0, 0).toInt();
}

int Rechazados() {
    return Db()
        .GetRows("SELECT COUNT(*) FROM RegistrosEnvio WHERE sEstado='Incorrecto'")
        .Value(0, 0)
        .toInt();
}

std::vector<Estado> NoAceptados() {
    const Rows rows = Db().GetRows(
        "SELECT " + RegistroFacturacion::Columnas("r") +
        ",e.sEstado,e.nCodigoError,e.sDescripcionError,e.sCsv,e.sFechaHoraEnvio FROM "
        "RegistrosFacturacion r LEFT JOIN RegistrosEnvio e ON e.nIdRegistro=r.nIdRegistro WHERE "
        "e.nIdRegistroEnvio IS NULL OR e.sEstado IN ('Incorrecto','Subsanar') ORDER BY "
        "r.nIdRegistro");
    std::vector<Estado> states;
    for (int i = 0; i < rows.RowCount(); ++i) {
        const int at = RegistroFacturacion::AnchoColumnas;
        states.push_back({RegistroFacturacion::DeFila(rows, i), rows(at, i).toString(),
                          rows(at + 1, i).toInt(), rows(at + 2, i).toString(),
                          rows(at + 3, i).toString(), rows(at + 4, i).toString()});
    }
    return states;
}

void Subsanar(qint32 nIdRegistro) {
    const QString where = "nIdRegistro=" + Id(nIdRegistro) + " AND sEstado='Incorrecto'";
    if (Db().GetValue("RegistrosEnvio", where).toInt() == 0)
        throw TvError(ErrorNumber::InvalidCall,
                      "El registro " + Id(nIdRegistro) + " no está rechazado por la AEAT");
    Db().Execute("UPDATE RegistrosEnvio SET sEstado='Subsanar' WHERE " + where);
}

std::optional<Fallo> UltimoFallo() {
    const Rows last =
        Db().GetRows("SELECT sFechaHora,sError FROM EnviosAeat ORDER BY nIdEnvio DESC LIMIT 1");
    if (last.IsEmpty() || last(1, 0).toString().isEmpty())
        return std::nullopt;
    QDateTime when = QDateTime::fromString(last(0, 0).toString(), Qt::ISODate);
    when.setTimeZone(QTimeZone::utc());
    return Fallo{when, last(1, 0).toString()};
}

} // namespace VeriFactu
