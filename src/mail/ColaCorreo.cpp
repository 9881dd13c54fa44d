// The outgoing mail queue: messages stored whole, claimed, sent and retried with a growing wait.

#include "mail/ColaCorreo.h"

#include "mail/Smtp.h"
#include "platform/data/DataAccess.h"
#include "platform/report/AmountText.h"
#include "platform/util/TvError.h"
#include "platform/util/Utility.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>

namespace {

using Sql::Id;

QString Q(const QString& text) {
    return Utility::Quote(text);
}

QString Now(qint64 laterSecs = 0) {
    return QDateTime::currentDateTimeUtc().addSecs(laterSecs).toString(Qt::ISODate);
}

// "host:pid:since" of the process that took a message, so that another can tell whether it
// still runs.
QString Owner() {
    return QHostInfo::localHostName() + ":" + Id(QCoreApplication::applicationPid()) + ":" +
           Id(QDateTime::currentSecsSinceEpoch());
}

bool OwnerGone(const QString& owner) {
    const QStringList parts = owner.split(':');
    if (parts.size() != 3)
        return true;
    if (parts[0] == QHostInfo::localHostName()) {
        const qint64 pid = parts[1].toLongLong();
        return pid <= 0 || (kill(pid_t(pid), 0) == -1 && errno == ESRCH);
    }
    // Another machine's send cannot last longer than the longest timeout; after an hour its
    // process is taken as gone.
    return QDateTime::currentSecsSinceEpoch() - parts[2].toLongLong() > 3600;
}

const char* const Columns =
    "nIdCorreo,nIdFactura,sPara,sAsunto,sEstado,sUltimoError,sRespuesta,sProximoIntento,"
    "sEnviado,nIntentos";

ColaCorreo::Estado Read(const Rows& rows, int r) {
    ColaCorreo::Estado e;
    e.nIdCorreo = rows(0, r).toInt();
    e.nIdFactura = rows(1, r).toInt();
    e.para = rows(2, r).toString();
    e.asunto = rows(3, r).toString();
    e.estado = rows(4, r).toString();
    e.error = rows(5, r).toString();
    e.respuesta = rows(6, r).toString();
    e.proximo = rows(7, r).toString();
    e.enviado = rows(8, r).toString();
    e.intentos = rows(9, r).toInt();
    return e;
}

ColaCorreo::Estado ReadOne(qint32 id) {
    const Rows rows = Db().GetRows(
        QString("SELECT %1 FROM CorreosSalientes WHERE nIdCorreo=%2").arg(Columns, Id(id)));
    if (rows.IsEmpty())
        throw TvError(ErrorNumber::InvalidCall, "No hay ningún correo número " + Id(id) + ".");
    return Read(rows, 0);
}

// A message taken by a process that is gone: sent again when its content never went out, held
// for somebody to decide when it did.
void Recover() {
    const Rows taken = Db().GetRows("SELECT nIdCorreo,sEstado,sPropietario FROM CorreosSalientes "
                                    "WHERE sEstado IN ('enviando','transmitiendo')");
    for (int r = 0; r < taken.RowCount(); ++r) {
        if (!OwnerGone(taken(2, r).toString()))
            continue;
        const bool sent = taken(1, r).toString() == QLatin1String("transmitiendo");
        const QString error =
            sent ? QStringLiteral("El envío se interrumpió después de entregar el contenido al "
                                  "servidor: puede que lo aceptara. Compruebe si llegó y, si no, "
                                  "reenvíelo.")
                 : QStringLiteral("El envío se interrumpió antes de entregar el mensaje; se "
                                  "reintenta.");
        Db().Execute("UPDATE CorreosSalientes SET sEstado=" +
                     Q(sent ? QStringLiteral("dudoso") : QStringLiteral("pendiente")) +
                     ",sPropietario='',sUltimoError=" + Q(error) + ",sProximoIntento=" + Q(Now()) +
                     " WHERE nIdCorreo=" + taken(0, r).toString() + " AND sEstado=" +
                     Q(taken(1, r).toString()) + " AND sPropietario=" + Q(taken(2, r).toString()));
    }
}

// Takes message id for this process when it still waits: answers false when another process
// has it or it is no longer pending.
bool Claim(qint32 id, const QString& owner) {
    return InOneTransaction([&] {
        const Rows rows =
            Db().LockedRows("SELECT nIdCorreo FROM CorreosSalientes WHERE nIdCorreo=" + Id(id) +
                                " AND sEstado='pendiente'" + Db().LockRowsClause(),
                            "el correo " + Id(id));
        if (rows.IsEmpty())
            return false;
        Db().Execute("UPDATE CorreosSalientes SET sEstado='enviando',nIntentos=nIntentos+1,"
                     "sPropietario=" +
                     Q(owner) + " WHERE nIdCorreo=" + Id(id));
        return true;
    });
}

} // namespace

int ColaCorreo::EsperaSegundos(int intentos) {
    return std::min(3600, 60 << std::clamp(intentos - 1, 0, 6));
}

QString ColaCorreo::NombreArchivo(const QString& numero, const QString& extension) {
    QString name = numero;
    for (const QChar bad : {'/', '\\', ':', '*', '?', '"', '<', '>', '|'})
        name.replace(bad, '-');
    return "Factura " + name + "." + extension;
}

ColaCorreo::Envio ColaCorreo::DeFactura(qint32 nIdFactura) {
    const Rows rows = Db().GetRows(
        "SELECT f.sFactura,f.dFactura,f.nTotal-f.nDescuento,f.nIdSucursal,c.sEmail FROM Facturas f "
        "LEFT JOIN Clientes c ON c.nIdCliente=f.nIdCliente WHERE f.nIdFactura=" +
        Id(nIdFactura));
    if (rows.IsEmpty())
        throw TvError(ErrorNumber::InvalidCall, "No existe la factura " + Id(nIdFactura) + ".");
    Envio e;
    e.nIdFactura = nIdFactura;
    e.nIdSucursal = rows(3, 0).toInt();
    e.para = rows(4, 0).toString().trimmed();
    const QString numero = rows(0, 0).toString();
    const QString clinica =
        Db().GetValue("ConfiguracionEmpresa", {}, "sNombre", {}).toString().trimmed();
    const int date = rows(1, 0).toInt();
    const QString fecha =
        QString::asprintf("%02d/%02d/%04d", date % 100, date / 100 % 100, date / 10000);
    QString plantilla =
        Db().GetValue("ConfiguracionSucursales",
                      "sDato='sEmailPlantilla' AND nIdSucursal=" + Id(e.nIdSucursal), "sValor", {})
            .toString();
    if (plantilla.trimmed().isEmpty())
        plantilla = QStringLiteral("Buenos días:\n\nLe enviamos adjunta la factura {numero} del "
                                   "{fecha}, por un importe de {total}.\n\nMuchas gracias por su "
                                   "confianza.\n\n{clinica}\n");
    e.cuerpo = plantilla.replace("{numero}", numero)
                   .replace("{fecha}", fecha)
                   .replace("{total}", AmountText::Euros(rows(2, 0).toDouble()))
                   .replace("{clinica}", clinica);
    e.asunto = "Factura " + numero + (clinica.isEmpty() ? QString() : " — " + clinica);
    return e;
}

qint32 ColaCorreo::Encolar(const Envio& envio) {
    const QStringList para = Mensaje::Direcciones(envio.para);
    const QStringList cc = Mensaje::Direcciones(envio.cc);
    if (para.isEmpty())
        throw TvError(ErrorNumber::InvalidCall,
                      QStringLiteral("Escriba al menos una dirección de destino (Para)."));
    Mensaje::ComprobarCabecera("Asunto", envio.asunto);
    const Smtp::Cuenta cuenta = Smtp::LeerCuenta(envio.nIdSucursal);
    if (const QString problem = cuenta.Problema(); !problem.isEmpty())
        throw TvError(ErrorNumber::InvalidCall, problem);
    Mensaje::Correo correo;
    correo.remitente = cuenta.Remitente();
    correo.nombreRemitente =
        Db().GetValue("ConfiguracionEmpresa", {}, "sNombre", {}).toString().trimmed();
    correo.para = para;
    correo.cc = cc;
    correo.asunto = envio.asunto;
    correo.cuerpo = envio.cuerpo;
    correo.adjuntos = envio.adjuntos;
    const QString messageId = Mensaje::NuevoMessageId(correo.remitente);
    const QByteArray mime = Mensaje::Mime(correo, QDateTime::currentDateTime(), messageId);
    return InOneTransaction([&] {
        return Db().InsertRecord(
            "CorreosSalientes",
            "nIdFactura,nIdSucursal,sPara,sCc,sAsunto,sMessageId,sMensaje,sEstado,sCreado,"
            "sProximoIntento",
            Id(envio.nIdFactura) + "," + Id(envio.nIdSucursal) + "," + Q(para.join(';')) + "," +
                Q(cc.join(';')) + "," + Q(envio.asunto) + "," + Q(messageId) + "," +
                Q(QString::fromLatin1(mime)) + ",'pendiente'," + Q(Now()) + "," + Q(Now()));
    });
}

ColaCorreo::Estado ColaCorreo::Enviar(qint32 id) {
    Recover();
    const QString owner = Owner();
    if (!Claim(id, owner))
        return ReadOne(id);
    const Rows rows = Db().GetRows(
        "SELECT nIdSucursal,sPara,sCc,sMensaje,nIntentos FROM CorreosSalientes WHERE nIdCorreo=" +
        Id(id));
    const QStringList recipients =
        (rows(1, 0).toString() + ";" + rows(2, 0).toString()).split(';', Qt::SkipEmptyParts);
    const QString where = " WHERE nIdCorreo=" + Id(id) + " AND sPropietario=" + Q(owner);
    const Smtp::Resultado result = Smtp::Enviar(
        Smtp::LeerCuenta(rows(0, 0).toInt()), recipients, rows(3, 0).toString().toLatin1(),
        [&] { Db().Execute("UPDATE CorreosSalientes SET sEstado='transmitiendo'" + where); });
    if (result.aceptado) {
        Db().Execute("UPDATE CorreosSalientes SET sEstado='aceptado',sPropietario='',"
                     "sUltimoError='',sRespuesta=" +
                     Q(result.respuesta) + ",sEnviado=" + Q(Now()) + where);
    } else {
        // A refusal answered to the content is final for this attempt; a connection lost after
        // the content went out leaves the server's decision unknown.
        const bool unknown = result.contenidoEnviado && !result.respuesta.startsWith('4') &&
                             !result.respuesta.startsWith('5');
        Db().Execute("UPDATE CorreosSalientes SET sEstado=" +
                     Q(unknown ? QStringLiteral("dudoso") : QStringLiteral("pendiente")) +
                     ",sPropietario='',sUltimoError=" + Q(result.error) +
                     ",sRespuesta=" + Q(result.respuesta) +
                     ",sProximoIntento=" + Q(Now(EsperaSegundos(rows(4, 0).toInt() + 1))) + where);
    }
    return ReadOne(id);
}

std::vector<ColaCorreo::Estado> ColaCorreo::EnviarPendientes(bool todos) {
    Recover();
    const Rows waiting = Db().GetRows(
        "SELECT nIdCorreo FROM CorreosSalientes WHERE sEstado='pendiente'" +
        (todos ? QString() : " AND sProximoIntento<=" + Q(Now())) + " ORDER BY nIdCorreo");
    std::vector<Estado> states;
    for (int r = 0; r < waiting.RowCount(); ++r)
        states.push_back(Enviar(waiting(0, r).toInt()));
    return states;
}

void ColaCorreo::Reenviar(qint32 id) {
    const Estado e = ReadOne(id);
    if (e.estado != QLatin1String("dudoso") && e.estado != QLatin1String("pendiente"))
        throw TvError(ErrorNumber::InvalidCall, "El correo " + Id(id) + " está " + e.estado +
                                                    "; solo se reenvía uno pendiente o dudoso.");
    Db().Execute("UPDATE CorreosSalientes SET sEstado='pendiente',sProximoIntento=" + Q(Now()) +
                 " WHERE nIdCorreo=" + Id(id) + " AND sEstado IN ('dudoso','pendiente')");
}

std::vector<ColaCorreo::Estado> ColaCorreo::Lista() {
    const Rows rows = Db().GetRows(
        QString("SELECT %1 FROM CorreosSalientes ORDER BY CASE WHEN sEstado='aceptado' THEN 1 "
                "ELSE 0 END, nIdCorreo DESC")
            .arg(Columns));
    std::vector<Estado> states;
    for (int r = 0; r < rows.RowCount(); ++r)
        states.push_back(Read(rows, r));
    return states;
}
